#pragma once

#include "engine/renderpasses/VXFFGLPluginInstance.h"

#include <string>

namespace vx
{
    // One open plugin library: the loader's handle and the number of
    // instances holding it.
    struct OSXPluginLib
    {
        void* handle = nullptr;
        int refCount = 0;
    };

    // The module-wide library cache, by the path given to the loader: each
    // file is opened once however many instances use it, and closed when the
    // last one gives it back; a library is open exactly as long as its entry
    // lives. Two paths to one file (a link, "a//b") are two entries, but the
    // loader answers both with one library: the plugin's initialise and
    // de-initialise go by that library, never by the path. Any thread may load and unload: one lock orders every look-up,
    // open, count change and close (a hosted pass may be deleted on the
    // render thread while the application thread scans and loads), and is
    // held while a library opens or closes and while its last instance
    // de-initialises it.
    //
    // The entry of path, or null. The look-up is locked; the entry is the
    // caller's to read only while no other thread loads or unloads path,
    // and valid until it is removed.
    OSXPluginLib* getLib(const std::string& path);
    // Erases the entry, when there is one (the library is not closed).
    void removeLib(const std::string& path);

    // A plugin instance over a library opened with the dynamic loader (now,
    // with its symbols kept local). Loading answers false with nothing held
    // when the file does not open, exports no plugMain or refuses to
    // initialise.
    class OSXPluginInstance : public FFGLPluginInstance
    {
    public:
        OSXPluginInstance() = default;
        // Unloads what is still held; a library under a live OpenGL instance
        // stays open (logged), as closing it would pull the code from under
        // that instance.
        ~OSXPluginInstance() override;

        // Gives back what was held, then opens, finds plugMain and asks the
        // plugin for what it offers; only the library's first instance sends
        // its initialise (the last sends its de-initialise, see unload).
        // False (nothing held) on any failure, or while an OpenGL instance
        // lives.
        bool load(const char* path) override;
        // Refused while an OpenGL instance lives. The plugin's library-wide
        // state belongs to all instances of its library: the last of them to
        // go de-initialises the plugin (then closes the library); the others
        // only forget it.
        bool unload() override;

        // Takes a reference on the cached library of path, opening it first
        // when no instance has.
        bool loadLib(const char* path);
        // Gives back this instance's reference on path's library, closing it
        // when it was the last; false when this instance holds none there.
        bool unloadLib(const char* path);

    private:
        // loadLib and unloadLib with the cache lock held (this instance
        // holding no library for takeLib).
        bool takeLib(const std::string& path);
        bool giveBackLib(const std::string& path);

        void* libHandle = nullptr;
        std::string libPath;
    };
}
