#pragma once

#include "core/VXBroadcaster.h"
#include "core/VXPresetFileNames.h"
#include "engine/network/VXNetworkVideoServerManager.h"
#include "engine/video/sources/VXSourceDirectory.h"
#include "engine/video/sources/VXSourceExtension.h"
#include "engine/video/sources/VXSpoutManagerListener.h"
#include "engine/video/sources/VXSyphonListener.h"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vx
{
    class File;
    class ScreenCaptureSourceExtension;
    class SourceFactory;
    class SpoutManager;
    class VideoFormatReader;
    class VideoSource;
    class VideoSourceDataDriver;
    class VideoSourceExtension;
    class XmlStates;

    class VideoSourceManagerListener
    {
    public:
        virtual ~VideoSourceManagerListener() = default;
        // The extensions on offer may have changed.
        virtual void sourcesChanged() = 0;
    };

    // The registry of every source extension, made by the engine root (the
    // current source directory while it lives). It owns the DataDriver and
    // the file-reader and screen-capture extensions, gathers the extensions of
    // capture devices, network servers and generators from their managers
    // when asked, makes sources again from XML by asking each factory in
    // turn, and keeps the presets of every extension as one XML file each
    // under a folder per extension.
    //
    // No lock: registration, listing, source creation and the preset
    // operations run on one thread at a time.
    class VideoSourceManager : public Broadcaster<VideoSourceManagerListener>,
                               public NetworkVideoServerManagerListener,
                               public SyphonListener,
                               public SpoutManagerListener,
                               public SourceDirectory
    {
    public:
        // Starts the DataDriver and browses for network video servers.
        VideoSourceManager();
        // clearSources, stops listening, stops the DataDriver.
        ~VideoSourceManager() override;
        VideoSourceManager(const VideoSourceManager&) = delete;
        VideoSourceManager& operator=(const VideoSourceManager&) = delete;

        // Owned by the manager; found by id, not listed.
        void registerInternalSource(VideoSourceExtension* extension);
        // Owned by the manager; listed after the gathered ones.
        void registerSource(VideoSourceExtension* extension);
        // Asked by createVideoSourceFromXML, in registration order; not owned.
        void registerSourceFactory(SourceFactory& factory) override;
        void registerInternalSources();

        VideoSourceExtension* findInternalSource(const std::string& id) const;
        VideoSourceExtension* getInternalSourceExtension(const std::string& id) override;
        // An internal extension, else the first listed one with that id; null
        // when none.
        VideoSourceExtension* getSourceExtension(const std::string& id) override;

        // Capture devices with an input, network servers, generators, the
        // extra and registered extensions, screen capture. Hidden extensions
        // only with includeAll.
        std::vector<std::shared_ptr<VideoSourceExtension>> getSources(bool includeAll);

        // The first source a factory makes of node (the screen-capture
        // factory asked last); null (debug line) when none does.
        VideoSource* createVideoSourceFromXML(const XmlNode& node);
        // A file source on reader (taken over), with the file-reader
        // extension's info; null (logged) for a null reader.
        VideoSource* createSource(VideoFormatReader* reader);
        bool canRecreateVideoSource(VideoSource& source);
        SpoutManager* getSpoutManager() { return nullptr; }

        // Every preset but "default" of every extension as
        // folder/<extension name>/<preset name>.xml, each name as
        // PresetFileNames makes it: without the characters invalid in paths
        // while no other extension's (or preset's) name then reads the same,
        // else those characters spelled out, so no two share a file; where
        // names are equal, an extension's folder also carries its id, and a
        // network server's its id and port, so two servers on one machine
        // each keep their folder whatever order they are listed in. A file
        // that already holds the bytes a preset would be written as is left
        // as it is; the others are replaced whole or not at all
        // (XmlUtils::replaceFileText). Once all of an extension's presets are
        // written, and before the next extension writes, a copy of one left
        // where it lay before (in a folder the extension had beside others,
        // or a file it was loaded from or saved to under this or an earlier
        // name) is removed; so is the file of a preset deleted since this
        // manager loaded or saved it, when its source is present. A file this
        // save writes never is, nor one this manager neither loaded nor
        // wrote, nor one rewritten since (its size, time or bytes changed:
        // PresetFileNames::Stamp; a folder mounted again keeps its copies),
        // nor one holding byte for byte a preset of the extension this save
        // did not write. A file is replaced only when it holds the very preset
        // written (same extension and name, or the copy this manager loaded
        // or saved there), or a former copy of one written whole by now; a
        // file holding another extension's preset (one not present now, say)
        // or another of its presets (saved by another program, or still to
        // be written) never is: each goes where PresetFileNames::placeFor
        // puts it beside the other. So a save that fails part way (a full
        // disk) leaves every preset that was on disk before it there. A
        // network server that left this session counts as present
        // while it holds presets (or deleted some): the server manager keeps
        // its entry. Each file names its extension by "sourceId" and
        // "source", and a network server's also by "sourcePort" (two servers
        // at one address share the other two). False, logged, when a preset
        // was not written; the others still are.
        bool savePresets(const File& folder);
        // The ".xml" files one level below folder whose "Preset" element
        // names a present extension: the one of its "sourceId" and "source"
        // name (and "sourcePort", where it has one), or, for a file without
        // a "source", the first of its "sourceId"; a server's preset stored
        // without a port goes to the first server listed at its address. A
        // preset of a source not present now (an offline server, one at
        // another address or port) is not loaded, and its file stays
        // for when it is. Others are skipped. A network server listed later
        // gets its presets from the folders loaded before, once, when
        // getSources first lists it (or first finds it gone: a server that
        // left keeps its presets for its return).
        void loadPresets(const File& folder);

        void clearSources();

        void serversChanged() override;
        void networkVideoServersChanged() override;

        VideoSourceDataDriver& getDataDriver() const { return *dataDriver; }
        const std::vector<SourceFactory*>& getFactories() const { return factories; }

    private:
        using ExtensionPtr = std::shared_ptr<VideoSourceExtension>;

        // The extension a "Preset" element belongs to among extensions (and
        // the internal ones); null when it is not present.
        VideoSourceExtension* findPresetOwner(const XmlNode& preset, const std::vector<ExtensionPtr>& extensions) const;
        // Loads the presets of folder whose owner among extensions is one of
        // recipients (all of them when null).
        void loadPresetFiles(const File& folder, const std::vector<ExtensionPtr>& extensions,
                             const std::vector<ExtensionPtr>* recipients);
        // Gives the network servers listed (or gone) since a loadPresets
        // their presets from its folder.
        void loadLateServerPresets();

        std::unique_ptr<VideoSourceDataDriver> dataDriver;
        std::vector<ExtensionPtr> extraExtensions;
        std::vector<ExtensionPtr> registeredExtensions;
        std::vector<ExtensionPtr> networkExtensions;
        // The entries of the network servers that left, as getSources last
        // found them: their presets are kept, loaded and saved as a listed
        // server's.
        std::vector<ExtensionPtr> departedNetworkExtensions;
        std::vector<std::unique_ptr<VideoSourceExtension>> ownedExtensions;
        // Two lists nothing fills on this platform; the second is emptied by
        // clearSources.
        std::vector<ExtensionPtr> unusedExtensions;
        std::vector<ExtensionPtr> sharedExtensions;
        std::vector<SourceFactory*> factories;
        std::shared_ptr<ScreenCaptureSourceExtension> screenCaptureExtension;
        std::map<std::string, std::unique_ptr<VideoSourceExtension>> internalExtensions;
        bool listensToServers = false;
        // A file a preset was loaded from or saved to, with the preset's
        // name in it, the store it belongs to, and the file as it was then
        // (rewritten since, it is another program's copy).
        struct PresetOrigin
        {
            std::string path;
            std::string name;
            std::weak_ptr<XmlStates> store;
            std::optional<PresetFileNames::Stamp> stamp;
            // What it was written from; nothing for a file loaded.
            PresetFileNames::WrittenFrom writtenFrom;
        };
        // The files this manager loaded or wrote, by preset folder and the
        // state's unique id: a save into that folder that puts the preset
        // elsewhere, or no longer finds it in its present source's store,
        // removes them (a save into another folder, an export, leaves them).
        std::map<std::pair<std::string, int>, std::vector<PresetOrigin>> presetOrigins;
        // The folders loadPresets read, each with the network servers that
        // had its presets (listed at the load or given them since).
        std::map<std::string, std::vector<std::weak_ptr<VideoSourceExtension>>> serverPresetFolders;
        bool loadingLatePresets = false;
    };
}
