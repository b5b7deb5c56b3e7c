#include "engine/video/sources/VXVideoSourceManager.h"

#include "core/VXFile.h"
#include "core/VXLog.h"
#include "core/VXPresetFileNames.h"
#include "core/VXStringUtils.h"
#include "core/xml/VXXmlState.h"
#include "core/xml/VXXmlStates.h"
#include "core/xml/VXXmlUtils.h"
#include "engine/devices/VXCaptureDeviceExtension.h"
#include "engine/devices/VXCaptureDeviceManager.h"
#include "engine/network/VXNetworkVideoExtension.h"
#include "engine/renderpasses/VXRenderPassManager.h"
#include "engine/video/sources/VXGeneratorSourceExtension.h"
#include "engine/video/sources/VXScreenCaptureVideoSource.h"
#include "engine/video/sources/VXVideoFormatReaderSource.h"
#include "engine/video/sources/VXVideoFormatReaderSourceExtension.h"
#include "engine/video/sources/VXVideoSource.h"
#include "engine/video/sources/VXVideoSourceDataDriver.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace vx
{
    namespace
    {
        bool listed(const VideoSourceExtension& extension, bool includeAll)
        {
            return includeAll || ! extension.isHidden();
        }
    }

    VideoSourceManager::VideoSourceManager() : dataDriver(std::make_unique<VideoSourceDataDriver>())
    {
        NetworkVideoServerManager* servers = NetworkVideoServerManager::getInstance();
        listensToServers = servers->addListener(*this, true);
        servers->findServers(NetworkVideoServerManager::serverServiceType);
        screenCaptureExtension = std::make_shared<ScreenCaptureSourceExtension>();
        registerInternalSource(new VideoFormatReaderSourceExtension(*dataDriver));
        factories.push_back(servers);
    }

    VideoSourceManager::~VideoSourceManager()
    {
        clearSources();
        if (listensToServers)
            if (NetworkVideoServerManager* servers = NetworkVideoServerManager::getInstanceWithoutCreating())
                servers->removeListener(*this);
        dataDriver.reset();
    }

    void VideoSourceManager::registerInternalSource(VideoSourceExtension* extension)
    {
        if (extension == nullptr)
            return;
        factories.push_back(extension);
        internalExtensions[extension->getExtensionUniqueId()].reset(extension);
    }

    void VideoSourceManager::registerSource(VideoSourceExtension* extension)
    {
        if (extension == nullptr)
            return;
        factories.push_back(extension);
        registeredExtensions.emplace_back(extension);
    }

    void VideoSourceManager::registerSourceFactory(SourceFactory& factory)
    {
        factories.push_back(&factory);
    }

    void VideoSourceManager::registerInternalSources()
    {
        callListeners(&VideoSourceManagerListener::sourcesChanged, CallType::standard);
    }

    VideoSourceExtension* VideoSourceManager::findInternalSource(const std::string& id) const
    {
        auto found = internalExtensions.find(id);
        return found != internalExtensions.end() ? found->second.get() : nullptr;
    }

    VideoSourceExtension* VideoSourceManager::getInternalSourceExtension(const std::string& id)
    {
        return findInternalSource(id);
    }

    VideoSourceExtension* VideoSourceManager::getSourceExtension(const std::string& id)
    {
        if (VideoSourceExtension* internal = findInternalSource(id))
            return internal;
        for (const ExtensionPtr& extension : getSources(true))
            if (extension->getExtensionUniqueId() == id)
                return extension.get();
        return nullptr;
    }

    std::vector<std::shared_ptr<VideoSourceExtension>> VideoSourceManager::getSources(bool includeAll)
    {
        std::vector<ExtensionPtr> sources;

        // Capture devices with an input; output-only cards are never listed.
        if (CaptureDeviceManager* devices = CaptureDeviceManager::getCurrent())
        {
            const int count = devices->getNumInputDevices();
            for (int i = 0; i < count; ++i)
            {
                CaptureDeviceInfo info;
                if (! devices->getInputDeviceInfo(i, info) || info.hasInput == 0)
                    continue;
                std::shared_ptr<CaptureDeviceExtension> extension = devices->getDeviceExtension(i);
                if (extension != nullptr && extension->getExtensionUniqueId() == info.uniqueId &&
                    listed(*extension, includeAll))
                    sources.push_back(extension);
            }
        }

        networkExtensions.clear();
        departedNetworkExtensions.clear();
        if (NetworkVideoServerManager* servers = NetworkVideoServerManager::getInstanceWithoutCreating())
        {
            std::vector<std::shared_ptr<NetworkVideoExtension>> present;
            std::vector<std::shared_ptr<NetworkVideoExtension>> departed;
            servers->getServerEntries(present, departed);
            for (const auto& extension : present)
            {
                if (extension == nullptr)
                    continue;
                networkExtensions.push_back(extension);
                if (listed(*extension, includeAll))
                    sources.push_back(extension);
            }
            departedNetworkExtensions.assign(departed.begin(), departed.end());
        }

        loadLateServerPresets();

        if (RenderPassManager* passes = RenderPassManager::getCurrent())
            for (const auto& extension : passes->getSourceExtensions())
                if (extension != nullptr && listed(*extension, includeAll))
                    sources.push_back(extension);

        for (const std::vector<ExtensionPtr>* list : {&extraExtensions, &registeredExtensions})
            for (const ExtensionPtr& extension : *list)
                if (listed(*extension, includeAll))
                    sources.push_back(extension);

        if (screenCaptureExtension != nullptr && listed(*screenCaptureExtension, includeAll))
            sources.push_back(screenCaptureExtension);
        return sources;
    }

    VideoSource* VideoSourceManager::createVideoSourceFromXML(const XmlNode& node)
    {
        std::vector<SourceFactory*> asked = factories;
        // Screen sources come back too, after every other kind had its say.
        if (screenCaptureExtension != nullptr)
            asked.push_back(screenCaptureExtension.get());
        for (SourceFactory* factory : asked)
        {
            XmlCapable* made = factory->createSourceFromXML(node);
            if (made == nullptr)
                continue;
            if (auto* source = dynamic_cast<VideoSource*>(made))
                return source;
            delete made;
        }
        debugPrint("%s: Could not create source from XML", "createVideoSourceFromXML");
        return nullptr;
    }

    VideoSource* VideoSourceManager::createSource(VideoFormatReader* reader)
    {
        if (reader == nullptr)
        {
            logEscapedError("createSource", 437, "You cannot create a source with no reader.");
            return nullptr;
        }
        auto* extension =
            dynamic_cast<VideoFormatReaderSourceExtension*>(findInternalSource(VideoFormatReaderSourceExtension::UNIQUE_ID));
        return extension != nullptr ? extension->createSourceForReader(reader) : nullptr;
    }

    bool VideoSourceManager::canRecreateVideoSource(VideoSource& source)
    {
        return source.getExtension() != nullptr;
    }

    namespace
    {
        const char* const presetElementName = "Preset";
        const char* const defaultPresetName = "default";

        // The "Preset" element of a file, or null (none there, unreadable,
        // another element).
        const XmlNode* presetElementOf(const XmlDocument* document)
        {
            const XmlNode* node = document != nullptr ? document->first_node() : nullptr;
            return node != nullptr && std::string(node->name(), node->name_size()) == presetElementName ? node
                                                                                                        : nullptr;
        }

        // The port of a network server's presets, which tells two servers at
        // one address (one name) apart; none for other extensions.
        std::optional<std::uint16_t> presetPortOf(const VideoSourceExtension& extension)
        {
            if (const auto* server = dynamic_cast<const NetworkVideoExtension*>(&extension))
                return server->getPort();
            return std::nullopt;
        }

        // The attributes that name a preset's source in its file.
        void appendSourceAttributes(XmlPool& pool, XmlNode& element, const VideoSourceExtension& extension)
        {
            element.append_attribute(createAttribute(pool, "sourceId", extension.getExtensionUniqueId()));
            element.append_attribute(createAttribute(pool, "source", extension.getExtensionName()));
            if (const std::optional<std::uint16_t> port = presetPortOf(extension))
                element.append_attribute(createAttribute(pool, "sourcePort", std::to_string(*port)));
        }

        // Whether a preset element is the extension's: its "sourceId", its
        // "source" where it names one (network servers share an id) and its
        // "sourcePort" where it has one. A server's preset stored without a
        // port is any server's at its address: the first asked takes it.
        bool isPresetOf(const XmlNode& preset, const VideoSourceExtension& extension)
        {
            const XmlAttribute* source = preset.first_attribute("source");
            const XmlAttribute* port = preset.first_attribute("sourcePort");
            const std::optional<std::uint16_t> ownPort = presetPortOf(extension);
            return readAttribute(preset.first_attribute("sourceId"), std::string()) ==
                       extension.getExtensionUniqueId() &&
                   (source == nullptr || readAttribute(source, std::string()) == extension.getExtensionName()) &&
                   (port == nullptr ||
                    (ownPort.has_value() && readAttribute(port, std::string()) == std::to_string(*ownPort)));
        }

        // How a source's presets folder is told apart from others of its name:
        // by its id, and a network server (all of one id, named by address)
        // also by its port, so two servers on one machine each keep a folder
        // whatever the order they are listed in.
        PresetFileNames::Entry folderEntry(const std::string& name, const std::string& id, const std::string& port)
        {
            const std::string tag = PresetFileNames::spelledOut(id);
            return {name, port.empty() ? tag : tag + " " + port};
        }

        PresetFileNames::Entry folderEntry(const VideoSourceExtension& extension)
        {
            const std::optional<std::uint16_t> port = presetPortOf(extension);
            return folderEntry(extension.getExtensionName(), extension.getExtensionUniqueId(),
                               port.has_value() ? std::to_string(*port) : std::string());
        }

        // Whose preset file holds: the extension's own, another's (present or
        // not, told by its name and id), or none (no such file, no preset in
        // it: may be replaced).
        PresetFileNames::FileOwner findPresetFileOwner(const File& file, const VideoSourceExtension& extension,
                                                       std::string* presetName = nullptr)
        {
            PresetFileNames::FileOwner owner;
            if (! file.existsAsFile())
                return owner;
            const std::unique_ptr<XmlDocument> document = XmlUtils::loadXmlFromFile(file, true);
            const XmlNode* preset = presetElementOf(document.get());
            if (preset == nullptr)
                return owner;
            if (presetName != nullptr)
                *presetName = readAttribute(preset->first_attribute("name"), std::string());
            if (isPresetOf(*preset, extension))
            {
                owner.kind = PresetFileNames::FileOwner::own;
                return owner;
            }
            // As savePresets names an extension's folder; a file without a
            // "source" name goes by its id.
            const std::string id = readAttribute(preset->first_attribute("sourceId"), std::string());
            owner.kind = PresetFileNames::FileOwner::another;
            owner.other = folderEntry(readAttribute(preset->first_attribute("source"), id), id,
                                      readAttribute(preset->first_attribute("sourcePort"), std::string()));
            return owner;
        }
    }

    VideoSourceExtension* VideoSourceManager::findPresetOwner(const XmlNode& preset,
                                                              const std::vector<ExtensionPtr>& extensions) const
    {
        const std::string id = readAttribute(preset.first_attribute("sourceId"), std::string());
        // A preset that names its source is that source's alone: network
        // servers share one id, and a server listed now is not the one whose
        // preset it is only because the id matches.
        const bool named = preset.first_attribute("source") != nullptr;
        VideoSourceExtension* internal = findInternalSource(id);
        if (internal != nullptr && (! named || isPresetOf(preset, *internal)))
            return internal;
        for (const ExtensionPtr& extension : extensions)
            if (named ? isPresetOf(preset, *extension) : extension->getExtensionUniqueId() == id)
                return extension.get();
        return nullptr;
    }

    bool VideoSourceManager::savePresets(const File& folder)
    {
        std::vector<ExtensionPtr> extensions = getSources(true);
        const std::string treeKey = PresetFileNames::treeKey(folder);
        // A server that left keeps the presets made or loaded for it: they
        // are written as a listed server's are, and the files of those
        // deleted go. One with neither is left out, so it moves no folder.
        for (const ExtensionPtr& departed : departedNetworkExtensions)
        {
            const std::shared_ptr<XmlStates> presets = departed->getPresets();
            if (presets == nullptr)
                continue;
            bool keeps = false;
            for (int i = 0; i < presets->getNumStates() && ! keeps; ++i)
            {
                const XmlState* state = presets->getState(i);
                keeps = state != nullptr && state->getName() != defaultPresetName;
            }
            for (auto known = presetOrigins.begin(); known != presetOrigins.end() && ! keeps; ++known)
                keeps = known->first.first == treeKey && ! known->second.empty() &&
                        known->second.front().store.lock() == presets;
            if (keeps)
                extensions.push_back(departed);
        }
        std::vector<PresetFileNames::Entry> folderEntries;
        for (const ExtensionPtr& extension : extensions)
            folderEntries.push_back(folderEntry(*extension));
        const std::vector<std::string> folderNames = PresetFileNames::uniqueNames(folderEntries);

        // Files this save puts presets in: none of them is ever removed as a
        // former copy (two presets of one name each have the other's file
        // among their possible names).
        std::set<std::string> targets;
        // Those of targets whose write failed: each holds what it held
        // before, so what this manager knew of it stays.
        std::set<std::string> failedTargets;
        // The presets this manager knows files of the tree for, by path, so
        // that a file is looked up by key: every path an origin of the tree
        // has, or had earlier in this save (originsAt checks).
        std::map<std::string, std::set<std::pair<std::string, int>>> keysByPath;
        for (const auto& [key, origins] : presetOrigins)
            if (key.first == treeKey)
                for (const PresetOrigin& origin : origins)
                    keysByPath[origin.path].insert(key);
        // The origins of the tree at path, in the order of their presets' keys.
        const auto originsAt = [&](const std::string& path)
        {
            std::vector<std::pair<const std::pair<std::string, int>*, PresetOrigin*>> found;
            const auto keys = keysByPath.find(path);
            if (keys == keysByPath.end())
                return found;
            for (const std::pair<std::string, int>& key : keys->second)
                if (const auto known = presetOrigins.find(key); known != presetOrigins.end())
                    for (PresetOrigin& origin : known->second)
                        if (origin.path == path)
                            found.emplace_back(&known->first, &origin);
            return found;
        };
        // Where presets written now may have lain before: folders they had
        // beside other extensions, the files they were loaded from. Removed
        // once the extension's presets are all written, before the next
        // extension writes (its place may be one of them).
        struct FormerCopy
        {
            PresetFileNames::FormerCopy copy;
            const VideoSourceExtension* extension;
            // The preset's entry in presetOrigins, when the copy is one it
            // names: forgotten there once dealt with.
            const std::pair<std::string, int>* origin = nullptr;
        };

        // The stores of the extensions present, and the presets of theirs
        // that this save did not write (refused, failed): the files these
        // were loaded from or saved to stay.
        std::set<const XmlStates*> presentStores;
        std::set<int> notWritten;

        // The files of presets of store (present) deleted since they were
        // loaded or saved. A source not present keeps its files, and so does
        // a preset not written.
        const auto deletedCopies = [&](const XmlStates* only)
        {
            std::vector<FormerCopy> copies;
            const VideoSourceExtension* extension = nullptr;
            for (const ExtensionPtr& present : extensions)
                if (only != nullptr && present->getPresets().get() == only)
                    extension = present.get();
            if (extension == nullptr || presentStores.count(only) == 0)
                return copies;
            // Its presets but "default", by id.
            std::set<int> kept;
            for (int i = 0; i < only->getNumStates(); ++i)
                if (const XmlState* state = only->getState(i);
                    state != nullptr && state->getName() != defaultPresetName)
                    kept.insert(state->getUniqueId());
            for (auto known = presetOrigins.begin(); known != presetOrigins.end(); ++known)
            {
                const auto& [tree, id] = known->first;
                if (tree != treeKey || known->second.empty() || kept.count(id) != 0 || notWritten.count(id) != 0 ||
                    known->second.front().store.lock().get() != only)
                    continue;
                for (const PresetOrigin& origin : known->second)
                    copies.push_back({{File(origin.path), origin.name, origin.stamp}, extension, &known->first});
            }
            return copies;
        };
        // Removes each copy that still holds its preset (as this manager
        // knew it, where it did) and none of those turns did not write;
        // false when one could not be removed.
        const auto removeCopies = [&](const std::vector<FormerCopy>& copies, const PresetFileNames::WriteTurns* turns)
        {
            bool removed = true;
            for (const FormerCopy& copy : copies)
            {
                const auto storedNameOf = [&copy](const File& file) -> std::optional<std::string>
                {
                    std::string storedName;
                    if (findPresetFileOwner(file, *copy.extension, &storedName).kind !=
                        PresetFileNames::FileOwner::own)
                        return std::nullopt;
                    return storedName;
                };
                // Removed, or no longer this preset's: the next save tries a
                // copy only when its removal failed, or when a write over it
                // failed.
                const auto forget = [&](const PresetFileNames::FormerCopy& former, bool)
                {
                    if (copy.origin != nullptr && failedTargets.count(former.file.getFullPath()) == 0)
                        std::erase_if(presetOrigins[*copy.origin], [&](const PresetOrigin& origin)
                                      { return origin.path == former.file.getFullPath(); });
                };
                removed = PresetFileNames::removeFormerCopies({copy.copy}, targets, storedNameOf, forget,
                                                              "savePresets", turns) &&
                          removed;
            }
            return removed;
        };
        // Which preset of the store whose presets have storeIds a file
        // holding one named storedName is a copy of, as this manager loaded
        // or saved it there: state itself, another still to be written (or
        // not written in this save, or written to this very file), one
        // written whole elsewhere by now, or none it knows. heldStamp: the
        // file's stamp, where its bytes were just read, else null: they are
        // read only here, where they decide whether it may be replaced.
        const auto copyHeld = [&](const File& file, const std::string& storedName, const std::set<int>& storeIds,
                                  const XmlState& state, const std::optional<PresetFileNames::Stamp>* heldStamp)
        {
            for (const auto& [key, origin] : originsAt(file.getFullPath()))
            {
                if (storeIds.count(key->second) == 0 || origin->name != storedName ||
                    ! (heldStamp != nullptr ? *heldStamp == origin->stamp
                                            : PresetFileNames::isAsStamped(file, origin->stamp)))
                    continue;
                if (key->second == state.getUniqueId())
                    return PresetFileNames::Copy::ofThisPreset;
                return notWritten.count(key->second) != 0 || targets.count(origin->path) != 0
                           ? PresetFileNames::Copy::ofPresetNotWritten
                           : PresetFileNames::Copy::ofPresetWritten;
            }
            return PresetFileNames::Copy::unknown;
        };
        // How this manager last loaded or wrote a file of the tree, where it
        // did: a copy it knows goes only as it knew it.
        const auto knownStamp = [&](const std::string& path) -> std::optional<PresetFileNames::Stamp>
        {
            const auto found = originsAt(path);
            return found.empty() ? std::nullopt : found.front().second->stamp;
        };
        // A file placeFor moved out of another's way is where that one's
        // preset lies now.
        const auto followMove = [&](const File& from, const File& to)
        {
            for (const auto& [key, origin] : originsAt(from.getFullPath()))
            {
                origin->path = to.getFullPath();
                keysByPath[origin->path].insert(*key);
            }
        };

        bool allWritten = true;
        for (const size_t index : PresetFileNames::movingFirst(folderEntries, folderNames))
        {
            VideoSourceExtension& extension = *extensions[index];
            const std::shared_ptr<XmlStates> presets = extension.getPresets();
            presentStores.insert(presets.get());
            std::vector<XmlState*> states;
            std::vector<PresetFileNames::Entry> fileEntries;
            // The ids of the store's presets, and the index in states of each
            // of those written.
            std::set<int> storeIds;
            std::map<int, size_t> stateIndex;
            for (int i = 0; presets != nullptr && i < presets->getNumStates(); ++i)
            {
                XmlState* state = presets->getState(i);
                if (state != nullptr)
                    storeIds.insert(state->getUniqueId());
                if (state == nullptr || state->getName() == defaultPresetName)
                    continue;
                stateIndex.emplace(state->getUniqueId(), states.size());
                states.push_back(state);
                fileEntries.push_back({state->getName(), {}});
                notWritten.insert(state->getUniqueId());
            }
            if (states.empty())
            {
                allWritten = removeCopies(deletedCopies(presets.get()), nullptr) && allWritten;
                continue;
            }
            const std::string& folderName = folderNames[index];
            if (folderName.empty())
            {
                logPrint(logError, "%s: the source \"%s\" has no name to make a folder of", "savePresets",
                         extension.getExtensionName().c_str());
                allWritten = false;
                removeCopies(deletedCopies(presets.get()), nullptr);
                continue;
            }
            const File sub = PresetFileNames::childOf(folder, folderName);
            if (! sub.existsAsDirectory())
                sub.createDirectory();
            std::vector<File> folders = PresetFileNames::formerFolders(folder, folderEntries[index], folderName);
            folders.insert(folders.begin(), sub);

            bool extensionWritten = true;
            std::vector<FormerCopy> extensionCopies;
            // Presets of one name keep the numbered files they lie in.
            std::vector<std::string> fileNames = PresetFileNames::uniqueNames(fileEntries);
            {
                const std::string subPath = PresetFileNames::childOf(sub, "").getFullPath();
                // Only presets that share their name take the name they lie in.
                std::map<std::string, int> nameUses;
                for (const XmlState* state : states)
                    ++nameUses[state->getName()];
                std::vector<std::string> current(states.size());
                for (size_t i = 0; i < states.size(); ++i)
                {
                    const auto known = presetOrigins.find({treeKey, states[i]->getUniqueId()});
                    if (known == presetOrigins.end() || nameUses[states[i]->getName()] < 2)
                        continue;
                    for (const PresetOrigin& origin : known->second)
                        if (origin.path.size() > subPath.size() + 4 &&
                            origin.path.compare(0, subPath.size(), subPath) == 0 &&
                            origin.path.find('/', subPath.size()) == std::string::npos &&
                            PresetFileNames::isAsStamped(File(origin.path), origin.stamp, false))
                            current[i] = origin.path.substr(subPath.size(), origin.path.size() - subPath.size() - 4);
                }
                PresetFileNames::keepCurrentNames(fileEntries, fileNames, current);
            }
            // How every file of the source is framed around its preset: the
            // element's attributes of the source, the document's declaration
            // and version.
            std::string framing;
            {
                XmlDocument pool;
                XmlNode* element = XmlCapable::createNode(pool, presetElementName);
                appendSourceAttributes(pool, *element, extension);
                XmlUtils::printXmlFile(element, framing);
            }
            // The origin of a preset at file as this manager wrote it from
            // what the preset is now, file holding what it wrote still (by
            // its bytes where withBytes: another program may have written as
            // many within the file system's tick); else null.
            const auto writtenAsIs = [&](const XmlState& state, const File& file, bool withBytes) -> const PresetOrigin*
            {
                const auto known = presetOrigins.find({treeKey, state.getUniqueId()});
                if (known == presetOrigins.end() || state.getNode() == nullptr)
                    return nullptr;
                for (const PresetOrigin& origin : known->second)
                    if (origin.path == file.getFullPath() && origin.stamp.has_value() &&
                        origin.writtenFrom == PresetFileNames::writtenFrom(state, framing) &&
                        PresetFileNames::isAsStamped(file, origin.stamp, withBytes))
                        return &origin;
                return nullptr;
            };
            // Each preset as its file holds it; empty for one that writes
            // nothing or has no name to make a file of, or that is left as
            // it is (writtenAsIs: not printed).
            std::vector<std::string> texts(states.size());
            const auto print = [&](size_t i)
            {
                XmlDocument pool;
                XmlNode* element = states[i]->writeState(pool, false);
                if (element == nullptr)
                    return;
                element->name(createValue(pool, presetElementName));
                appendSourceAttributes(pool, *element, extension);
                if (! XmlUtils::printXmlFile(element, texts[i]))
                {
                    logPrint(logError, "%s: the preset \"%s\" of \"%s\" could not be printed", "savePresets",
                             states[i]->getName().c_str(), extension.getExtensionName().c_str());
                    texts[i].clear();
                    extensionWritten = false;
                }
            };
            std::vector<bool> reused(states.size());
            for (size_t i = 0; i < states.size(); ++i)
            {
                if (fileNames[i].empty())
                {
                    logPrint(logError, "%s: the preset \"%s\" of \"%s\" has no name to make a file of", "savePresets",
                             states[i]->getName().c_str(), extension.getExtensionName().c_str());
                    extensionWritten = false;
                    continue;
                }
                reused[i] =
                    writtenAsIs(*states[i], PresetFileNames::childOf(sub, fileNames[i] + ".xml"), true) != nullptr;
                if (! reused[i])
                    print(i);
            }

            using Outcome = PresetFileNames::WriteTurns::Outcome;
            PresetFileNames::WriteTurns turns(texts);
            // Which other preset of the source a file holds as this manager
            // left it, if any (its size and time tell: it only orders the
            // writes).
            const auto heldBy = [&](const File& file) -> std::optional<size_t>
            {
                for (const auto& [key, origin] : originsAt(file.getFullPath()))
                    if (const auto held = stateIndex.find(key->second);
                        held != stateIndex.end() && origin->stamp.has_value() &&
                        PresetFileNames::isAsStamped(file, origin->stamp, false))
                        return held->second;
                return std::nullopt;
            };
            const auto writePreset = [&](size_t presetIndex, bool last)
            {
                XmlState& state = *states[presetIndex];
                const std::string& presetName = state.getName();
                const std::string fileName = fileNames[presetIndex] + ".xml";
                File file = PresetFileNames::childOf(sub, fileName);
                // Left as it is where its file is as written from it still,
                // unless a turn before took it; else printed now, and the
                // turns learn its text.
                std::optional<PresetFileNames::Stamp> stamp;
                const PresetOrigin* asIs = reused[presetIndex] ? writtenAsIs(state, file, false) : nullptr;
                if (asIs != nullptr)
                    stamp = asIs->stamp;
                else if (reused[presetIndex])
                {
                    print(presetIndex);
                    turns.printed(presetIndex);
                }
                const std::string& text = texts[presetIndex];
                if (text.empty() && asIs == nullptr)
                {
                    extensionWritten = false;
                    return Outcome::failed;
                }

                // A file is replaced only when it holds this very preset (its
                // name, or as this manager loaded or wrote it there), or a
                // former copy of one written whole by now.
                const auto ownerOf = [&](const File& candidate)
                {
                    std::string storedName;
                    const PresetFileNames::FileOwner owner = findPresetFileOwner(candidate, extension, &storedName);
                    if (owner.kind != PresetFileNames::FileOwner::own)
                        return owner;
                    return PresetFileNames::ofOwnersFile(storedName, presetName,
                                                         copyHeld(candidate, storedName, storeIds, state, nullptr));
                };
                // A file that already holds these bytes, and is no other
                // preset's copy, is where placeFor would put it: left as it is.
                // Holding them, it holds this preset of this source by name;
                // only whose copy it is, as this manager knows, is asked.
                bool unchanged = asIs != nullptr || XmlUtils::fileHolds(file, text);
                if (unchanged && asIs == nullptr)
                {
                    stamp = PresetFileNames::stampOf(file, text);
                    unchanged = PresetFileNames::ofOwnersFile(presetName, presetName,
                                                              copyHeld(file, presetName, storeIds, state, &stamp))
                                    .kind == PresetFileNames::FileOwner::own;
                }
                // One holding another preset of the save still to be written
                // is taken once that one has moved out.
                if (const std::optional<size_t> held = unchanged ? std::nullopt : heldBy(file);
                    held.has_value() && turns.waitsFor(*held, last))
                    return Outcome::waiting;
                if (! unchanged)
                {
                    file = PresetFileNames::placeFor(
                        folder, folderEntries, folderNames, index,
                        {fileEntries, fileNames, presetIndex, PresetFileNames::Form::stripped}, ownerOf, followMove);
                    if (file.getFullPath().empty())
                    {
                        logPrint(logError,
                                 "%s: did not write the preset \"%s\" of \"%s\": its files hold other sources'",
                                 "savePresets", presetName.c_str(), extension.getExtensionName().c_str());
                        extensionWritten = false;
                        return Outcome::failed;
                    }
                }
                if (! unchanged)
                {
                    const PresetFileNames::WriteTurns::Holds held = turns.holds(file, presetIndex);
                    if (held == PresetFileNames::WriteTurns::Holds::pendingCopy && ! last)
                        return Outcome::waiting;
                    if (held == PresetFileNames::WriteTurns::Holds::failedCopy)
                    {
                        logPrint(logError,
                                 "%s: did not write the preset \"%s\" of \"%s\": '%s' holds the only copy of "
                                 "another preset not written",
                                 "savePresets", presetName.c_str(), extension.getExtensionName().c_str(),
                                 file.getFullPath().c_str());
                        extensionWritten = false;
                        return Outcome::failed;
                    }
                }
                // Never removed as a former copy, written or not.
                targets.insert(file.getFullPath());
                if (! unchanged)
                {
                    debugPrint(file.getFullPath());
                    if (! XmlUtils::replaceFileText(file, text))
                    {
                        logPrint(logError, "%s: The preset could not be written to '%s'.", "savePresets",
                                 file.getFullPath().c_str());
                        failedTargets.insert(file.getFullPath());
                        extensionWritten = false;
                        return Outcome::failed;
                    }
                    stamp = PresetFileNames::stampOf(file, text);
                }

                // Each once, and not the file just written (never removed).
                const std::vector<std::string> possible = PresetFileNames::possibleNames(fileEntries[presetIndex]);
                const std::set<std::string> names(possible.begin(), possible.end());
                for (const File& former : folders)
                    for (const std::string& name : names)
                    {
                        const File formerFile = PresetFileNames::childOf(former, name + ".xml");
                        if (formerFile.getFullPath() == file.getFullPath())
                            continue;
                        extensionCopies.push_back(
                            {{formerFile, presetName, knownStamp(formerFile.getFullPath())}, &extension});
                    }
                // Where it was loaded from or saved to before, under the name
                // it had there (it may have been renamed since).
                const auto known = presetOrigins.try_emplace({treeKey, state.getUniqueId()}).first;
                std::vector<PresetOrigin>& origins = known->second;
                std::erase_if(origins, [&](const PresetOrigin& origin) { return origin.path == file.getFullPath(); });
                for (const PresetOrigin& origin : origins)
                    extensionCopies.push_back(
                        {{File(origin.path), origin.name, origin.stamp}, &extension, &known->first});
                origins.push_back(
                    {file.getFullPath(), presetName, presets, stamp, PresetFileNames::writtenFrom(state, framing)});
                keysByPath[file.getFullPath()].insert(known->first);
                notWritten.erase(state.getUniqueId());
                return Outcome::written;
            };
            turns.run(PresetFileNames::movingFirst(fileEntries, fileNames), writePreset);
            // A preset not written may be in one of these files only.
            std::vector<FormerCopy> copies = deletedCopies(presets.get());
            if (extensionWritten)
                copies.insert(copies.begin(), extensionCopies.begin(), extensionCopies.end());
            allWritten = removeCopies(copies, &turns) && allWritten && extensionWritten;
        }

        std::erase_if(presetOrigins, [](const auto& known) { return known.second.empty(); });
        return allWritten;
    }

    void VideoSourceManager::loadPresets(const File& folder)
    {
        const std::vector<ExtensionPtr> extensions = getSources(true);
        loadPresetFiles(folder, extensions, nullptr);
        std::vector<std::weak_ptr<VideoSourceExtension>>& given = serverPresetFolders[PresetFileNames::treeKey(folder)];
        for (const ExtensionPtr& extension : networkExtensions)
            given.push_back(extension);
    }

    void VideoSourceManager::loadPresetFiles(const File& folder, const std::vector<ExtensionPtr>& extensions,
                                             const std::vector<ExtensionPtr>* recipients)
    {
        std::vector<File> entries;
        File::getFilesInDirectory(folder, entries, false);
        for (const File& entry : entries)
        {
            std::vector<File> files;
            if (! entry.existsAsDirectory())
                continue;
            File::getFilesInDirectory(entry, files, true);
            for (const File& file : files)
            {
                debugPrint(file.getFullPath());
                if (toLower(file.getExtension()) != "xml")
                    continue;
                // One read gives the preset and the file's stamp.
                std::string bytes;
                const std::optional<PresetFileNames::Stamp> stamp = PresetFileNames::readStamped(file, bytes);
                if (! stamp)
                {
                    logPrint(logError, "%s: Failed to open file '%s'.", "loadXmlFromFile", file.getFullPath().c_str());
                    continue;
                }
                std::unique_ptr<XmlDocument> document = XmlUtils::loadXmlFromFileText(file, bytes, true);
                const XmlNode* node = presetElementOf(document.get());
                if (node == nullptr)
                {
                    debugPrint("not a preset file!");
                    continue;
                }
                if (readAttribute(node->first_attribute("name"), std::string()) == defaultPresetName)
                    continue;
                // A preset whose source is not present stays in its file for
                // when it is.
                VideoSourceExtension* owner = findPresetOwner(*node, extensions);
                if (owner != nullptr && recipients != nullptr &&
                    std::none_of(recipients->begin(), recipients->end(),
                                 [owner](const ExtensionPtr& recipient) { return recipient.get() == owner; }))
                    continue;
                const int loaded = owner != nullptr ? owner->loadPreset(node) : -1;
                if (loaded != -1)
                    presetOrigins[{PresetFileNames::treeKey(folder), loaded}].push_back(
                        {file.getFullPath(),
                         readAttribute(node->first_attribute("name"), std::string()),
                         owner->getPresets(),
                         stamp,
                         {}});
            }
        }
    }

    void VideoSourceManager::loadLateServerPresets()
    {
        if (serverPresetFolders.empty() || loadingLatePresets)
            return;
        loadingLatePresets = true;
        for (auto& [folderKey, given] : serverPresetFolders)
        {
            std::erase_if(given, [](const std::weak_ptr<VideoSourceExtension>& entry) { return entry.expired(); });
            std::vector<ExtensionPtr> had;
            for (const auto& entry : given)
                if (ExtensionPtr extension = entry.lock())
                    had.push_back(extension);
            // A server that left before it had them gets them too: it keeps
            // them for its return, and a save writes its own presets beside
            // them rather than over their files.
            std::vector<ExtensionPtr> newcomers;
            for (const std::vector<ExtensionPtr>* list : {&networkExtensions, &departedNetworkExtensions})
                for (const ExtensionPtr& extension : *list)
                    if (std::none_of(had.begin(), had.end(), [&](const ExtensionPtr& old) { return old == extension; }))
                        newcomers.push_back(extension);
            if (newcomers.empty())
                continue;
            // A preset one of the servers that had this folder's owns (two
            // servers on one host share a name) stays with it: the newcomers
            // are asked after them, so it is not loaded twice.
            std::vector<ExtensionPtr> owners = had;
            owners.insert(owners.end(), newcomers.begin(), newcomers.end());
            loadPresetFiles(File(folderKey + "/"), owners, &newcomers);
            given.insert(given.end(), newcomers.begin(), newcomers.end());
        }
        loadingLatePresets = false;
    }

    void VideoSourceManager::clearSources()
    {
        // Registered and internal extensions are factories too: they leave
        // the factory list with their owners.
        for (const ExtensionPtr& extension : registeredExtensions)
            std::erase(factories, static_cast<SourceFactory*>(extension.get()));
        for (const auto& entry : internalExtensions)
            std::erase(factories, static_cast<SourceFactory*>(entry.second.get()));
        extraExtensions.clear();
        registeredExtensions.clear();
        networkExtensions.clear();
        departedNetworkExtensions.clear();
        ownedExtensions.clear();
        sharedExtensions.clear();
        internalExtensions.clear();
    }

    void VideoSourceManager::serversChanged()
    {
        callListeners(&VideoSourceManagerListener::sourcesChanged, CallType::standard);
    }

    void VideoSourceManager::networkVideoServersChanged()
    {
        callListeners(&VideoSourceManagerListener::sourcesChanged, CallType::standard);
    }
}
