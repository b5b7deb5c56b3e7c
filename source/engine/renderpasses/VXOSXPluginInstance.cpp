#include "engine/renderpasses/VXOSXPluginInstance.h"

#include "core/VXFile.h"
#include "core/VXLog.h"

#include <dlfcn.h>

#include <cstdio>
#include <map>
#include <mutex>

namespace vx
{
    namespace
    {
        std::mutex pluginLibsLock;
        std::map<std::string, OSXPluginLib> pluginLibs;
        // Instances per loaded library, by the loader's handle: two paths to
        // one file (a link, "a//b") are two cache entries but one library,
        // whose plugin is initialised by its first instance and
        // de-initialised by its last, whichever path each came by.
        std::map<void*, int> libraryUsers;

        const char* loaderError()
        {
            const char* error = dlerror();
            return error != nullptr ? error : "";
        }
    }

    OSXPluginLib* getLib(const std::string& path)
    {
        const std::lock_guard<std::mutex> hold(pluginLibsLock);
        const auto found = pluginLibs.find(path);
        return found != pluginLibs.end() ? &found->second : nullptr;
    }

    void removeLib(const std::string& path)
    {
        const std::lock_guard<std::mutex> hold(pluginLibsLock);
        pluginLibs.erase(path);
    }

    FFGLPluginInstance* FFGLPluginInstance::createInstance()
    {
        return new OSXPluginInstance();
    }

    FFGLPluginInstance* FFGLPluginInstance::load(const File& file)
    {
        FFGLPluginInstance* instance = createInstance();
        if (instance->load(file.getFullPath().c_str()))
            return instance;
        delete instance; // a failed load holds nothing
        return nullptr;
    }

    OSXPluginInstance::~OSXPluginInstance()
    {
        if (libHandle == nullptr)
            return;
        debugPrint("plugin deleted without calling Unload()");
        if (! unload())
            logPrint(logError,
                     "OSXPluginInstance: \"%s\" deleted with its OpenGL instance alive; its library stays open",
                     libPath.c_str());
    }

    bool OSXPluginInstance::load(const char* path)
    {
        if (path == nullptr || *path == '\0')
            return false;
        // A copy: path may be this instance's own record, cleared by unload.
        const std::string key = path;
        if (! unload())
            return false;
        // The plugin's library-wide state starts with the library's first
        // instance and ends with its last (unload): whether this one is the
        // first and its initialise are one step, so no other instance asks
        // the plugin anything before that, nor initialises it again.
        const std::lock_guard<std::mutex> hold(pluginLibsLock);
        if (! takeLib(key))
            return false;
        const bool first = libraryUsers.at(libHandle) == 1;
        std::printf("Instantiating plugin %s", key.c_str());

        auto entry = reinterpret_cast<FFGL::PlugMainFunction>(dlsym(libHandle, "plugMain"));
        if (entry != nullptr)
        {
            setEntryPoint(entry);
            if (first ? initPluginLibrary() : joinPluginLibrary())
            {
                setLoaded(true, key);
                return true;
            }
            if (first)
                deinitPluginLibrary();
            else
                forgetPluginLibrary();
        }
        giveBackLib(key);
        return false;
    }

    bool OSXPluginInstance::unload()
    {
        if (hasGLInstance())
        {
            debugPrint("Failed to call DeInstantiateGL before Unload()");
            return false;
        }
        if (libHandle == nullptr)
        {
            deinitPluginLibrary();
            setLoaded(false, std::string());
            return true;
        }
        // Whether this is the last instance, its de-initialise and the close
        // are one step: no other thread takes the library in between.
        const std::string path = libPath;
        const std::lock_guard<std::mutex> hold(pluginLibsLock);
        const auto found = pluginLibs.find(path);
        if (found != pluginLibs.end() && found->second.handle == libHandle && libraryUsers[libHandle] == 1)
            deinitPluginLibrary();
        else
            forgetPluginLibrary();
        giveBackLib(path);
        setLoaded(false, std::string());
        return true;
    }

    bool OSXPluginInstance::loadLib(const char* path)
    {
        if (path == nullptr)
            return false;
        const std::string key = path;
        if (libHandle != nullptr)
            unloadLib(libPath.c_str());
        const std::lock_guard<std::mutex> hold(pluginLibsLock);
        return takeLib(key);
    }

    bool OSXPluginInstance::takeLib(const std::string& path)
    {
        auto found = pluginLibs.find(path);
        if (found == pluginLibs.end())
        {
            debugPrint("Loading plugin %s lib", path.c_str());
            void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
            if (handle == nullptr)
            {
                std::printf("Unable to load plugin\n%s", loaderError());
                return false;
            }
            dlerror();
            if (dlsym(handle, "plugMain") == nullptr)
            {
                std::printf("Unable to load symbol plugMain\n%s\n", loaderError());
                // Nothing else will ever close it.
                dlclose(handle);
                return false;
            }
            found = pluginLibs.emplace(path, OSXPluginLib{handle, 0}).first;
        }
        libHandle = found->second.handle;
        libPath = path;
        ++found->second.refCount;
        ++libraryUsers[libHandle];
        return true;
    }

    bool OSXPluginInstance::unloadLib(const char* path)
    {
        // A copy: path may be this instance's own record, cleared below.
        const std::string key = path != nullptr ? path : "";
        const std::lock_guard<std::mutex> hold(pluginLibsLock);
        return giveBackLib(key);
    }

    bool OSXPluginInstance::giveBackLib(const std::string& path)
    {
        const auto found = pluginLibs.find(path);
        // Only a reference this instance holds is given back.
        if (found == pluginLibs.end() || libHandle == nullptr || found->second.handle != libHandle)
            return false;
        OSXPluginLib& lib = found->second;
        debugPrint("Deleting instance for plugin %s lib", path.c_str());
        if (--libraryUsers[libHandle] <= 0)
            libraryUsers.erase(libHandle);
        libHandle = nullptr;
        libPath.clear();
        if (lib.refCount-- > 1)
            return true;

        debugPrint("Unloading plugin %s lib", path.c_str());
        bool closed = true;
        if (dlclose(lib.handle) != 0)
        {
            debugPrint("Unable to close lib %s\ndlerr:%s", path.c_str(), loaderError());
            closed = false;
        }
        pluginLibs.erase(found);
        return closed;
    }
}
