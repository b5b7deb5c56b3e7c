#include "engine/renderpasses/VXRenderPassManager.h"

#include "core/VXFile.h"
#include "core/VXLog.h"
#include "core/VXPresetFileNames.h"
#include "core/VXStringUtils.h"
#include "core/parameters/VXParamChoice.h"
#include "core/xml/VXXmlAttributes.h"
#include "core/xml/VXXmlState.h"
#include "core/xml/VXXmlStates.h"
#include "core/xml/VXXmlUtils.h"
#include "engine/gfx/VXGfxObject.h"
#include "engine/renderpasses/VXFFGLPluginInstance.h"
#include "engine/renderpasses/VXGenerator.h"
#include "engine/renderpasses/VXGeneratorSources.h"
#include "engine/renderpasses/VXRenderPass.h"
#include "engine/renderpasses/VXRenderPassFactory.h"
#include "engine/renderpasses/catalogue/VXFormatConversion.h"
#include "engine/renderpasses/catalogue/VXRGBASwitch.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <set>

namespace vx
{
    std::string pluginExtensions = ".bundle";

    namespace
    {
        const char* const presetElementName = "Preset";
        const char* const defaultPresetName = "default";
        // The kind's category: kinds of one name in several categories tell
        // their presets apart by it.
        const char* const presetCategoryAttribute = "renderPassCategory";

        // A preset name is the file's name as it stands, one path component:
        // refused only when it is none ("", ".", "..") or could leave its
        // kind's folder or cut the path short. "Fade out..." is a name.
        bool isSafeFileName(const std::string& name)
        {
            return ! name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
                   name.find('\0') == std::string::npos;
        }

        std::string attributeText(const XmlNode& node, const char* name, bool& present)
        {
            const XmlAttribute* attribute = node.first_attribute(name);
            present = attribute != nullptr;
            return present ? std::string(attribute->value(), attribute->value_size()) : std::string();
        }

        void skipFile(const File& file, const char* why)
        {
            logPrint(logWarning, "RenderPassManager::loadPresets: skipped '%s': %s", file.getFullPath().c_str(), why);
        }

        const char* categoryName(RenderPassCategory category)
        {
            switch (category)
            {
                case RenderPassCategoryAny:
                    return "Any";
                case RenderPassCategoryEffect:
                    return "Effect";
                case RenderPassCategoryMixer:
                    return "Mixer";
                case RenderPassCategoryGenerator:
                    return "Generator";
                case RenderPassCategoryManyInputs:
                    return "Many Inputs";
            }
            return "Other";
        }

        PresetFileNames::Entry folderEntry(const RenderPassInfo& info)
        {
            // Kinds of one name in several categories tell their folders
            // apart by it ("Add (Mixer)").
            return {info.getExtensionName(), categoryName(info.getRenderPassCategory())};
        }

        // The kind a preset element belongs to: the one of its "renderPass"
        // name with its "renderPassId" and "renderPassCategory" (either left
        // out: any). A file written before the category was stored takes,
        // among the kinds of that name, the one whose passes write the
        // snapshot's type, else the first. Null when none is registered or the
        // category is no number.
        RenderPassInfo* findPresetKind(const std::vector<RenderPassManager::InfoPtr>& infos, const XmlNode& root)
        {
            bool hasKind = false, hasId = false;
            const std::string kindName = attributeText(root, "renderPass", hasKind);
            const std::string id = attributeText(root, "renderPassId", hasId);
            const XmlAttribute* categoryAttribute = root.first_attribute(presetCategoryAttribute);
            int category = 0;
            if (! hasKind || (categoryAttribute != nullptr && ! readAttribute(categoryAttribute, &category)))
                return nullptr;

            const XmlNode* snapshot = root.first_node();
            const XmlAttribute* snapshotType = snapshot != nullptr ? snapshot->first_attribute("type") : nullptr;
            RenderPassInfo* first = nullptr;
            for (const RenderPassManager::InfoPtr& info : infos)
            {
                if (info->getExtensionName() != kindName || (hasId && info->getExtensionUniqueId() != id))
                    continue;
                if (categoryAttribute != nullptr)
                {
                    if (info->getRenderPassCategory() == category)
                        return info.get();
                    continue;
                }
                if (first == nullptr)
                    first = info.get();
                const XmlState* fallback = info->getPresets()->getDefaultState();
                const XmlNode* defaultNode = fallback != nullptr ? fallback->getNode() : nullptr;
                const XmlAttribute* defaultType = defaultNode != nullptr ? defaultNode->first_attribute("type") : nullptr;
                if (snapshotType != nullptr && defaultType != nullptr &&
                    readAttribute(snapshotType, std::string()) == readAttribute(defaultType, std::string()))
                    return info.get();
            }
            return first;
        }

        // Whose preset file holds: kind's own, another kind's (registered or
        // not, told by its name and category), or none (no such file, no
        // preset of any kind: may be replaced).
        PresetFileNames::FileOwner findPresetFileOwner(const std::vector<RenderPassManager::InfoPtr>& infos,
                                                       const File& file, const RenderPassInfo& kind,
                                                       std::string* presetName = nullptr)
        {
            PresetFileNames::FileOwner owner;
            if (! file.existsAsFile())
                return owner;
            const std::unique_ptr<XmlDocument> document = XmlUtils::loadXmlFromFile(file, true);
            const XmlNode* root = document != nullptr ? document->first_node() : nullptr;
            if (root == nullptr || std::string(root->name(), root->name_size()) != presetElementName ||
                root->first_attribute("renderPass") == nullptr)
                return owner;
            if (presetName != nullptr)
                *presetName = readAttribute(root->first_attribute("name"), std::string());
            if (findPresetKind(infos, *root) == &kind)
            {
                owner.kind = PresetFileNames::FileOwner::own;
                return owner;
            }
            owner.kind = PresetFileNames::FileOwner::another;
            owner.other.name = readAttribute(root->first_attribute("renderPass"), std::string());
            int category = 0;
            if (readAttribute(root->first_attribute(presetCategoryAttribute), &category))
                owner.other.tag = categoryName(RenderPassCategory(category));
            return owner;
        }

        // The attributes that name a preset's kind in its file.
        void appendKindAttributes(XmlPool& pool, XmlNode& element, const RenderPassInfo& kind)
        {
            element.append_attribute(createAttribute(pool, "renderPassId", kind.getExtensionUniqueId()));
            element.append_attribute(createAttribute(pool, "renderPass", kind.getExtensionName()));
            element.append_attribute(createAttribute(pool, presetCategoryAttribute, int(kind.getRenderPassCategory())));
        }

        // A preset file as this manager loaded or wrote it: read again only
        // when replaced or edited since.
        struct FileStamp
        {
            const RenderPassInfo* kind = nullptr;
            // The preset tree it lies in, the state it holds, and that
            // state's name in it.
            std::string tree;
            int stateId = -1;
            std::string presetName;
            PresetFileNames::Stamp stamp;
            // What it was written from; nothing for a file loaded.
            PresetFileNames::WrittenFrom writtenFrom;

            // withBytes: as where the file is about to be replaced or
            // removed; without, its size and time tell.
            bool sameFile(const File& file, bool withBytes) const
            {
                return PresetFileNames::isAsStamped(file, stamp, withBytes);
            }
        };
    }

    struct RenderPassManager::Pimpl
    {
        struct SharedPass
        {
            std::string name;
            std::shared_ptr<RenderPass> pass;
        };

        std::vector<InfoPtr> infos;
        RenderPassFactory factory;
        File livePresetsFile;
        std::vector<SharedPass> sharedPasses;
        // Preset files this manager wrote or loaded, by path: a re-save
        // replaces one still as it was without reading whose it is, and
        // removes one whose preset was deleted or went elsewhere.
        std::map<std::string, FileStamp> presetFiles;

        // now: the file's stamp as it was loaded or written just now.
        void remember(const File& file, const std::optional<PresetFileNames::Stamp>& now, const RenderPassInfo& kind,
                      const std::string& tree, int stateId, const std::string& presetName,
                      const PresetFileNames::WrittenFrom& writtenFrom = {})
        {
            if (! now.has_value())
            {
                presetFiles.erase(file.getFullPath());
                return;
            }
            presetFiles[file.getFullPath()] = {&kind, tree, stateId, presetName, *now, writtenFrom};
        }

        void addShared(const std::string& name, RenderPass* pass)
        {
            pass->setStorage(XmlCapable::storageNever);
            sharedPasses.push_back({name, std::shared_ptr<RenderPass>(pass, &GfxObject::deleteUsingManager)});
        }
    };

    RenderPassManager::RenderPassManager() : pimpl(std::make_unique<Pimpl>())
    {
        pimpl->addShared("FormatConversion", new FormatConversion());
        pimpl->addShared("RGBASwitch", new RGBASwitch());
    }

    RenderPassManager::~RenderPassManager()
    {
        clearCurrent(this);
        clear();
    }

    bool RenderPassManager::registerRenderPass(const std::string& name, const std::string& displayName,
                                               RenderPassInfo::CreationFunc creationFunc, RenderPassCategory category,
                                               int numInputs, bool dryWetWrappable, bool hidden)
    {
        InfoPtr info(pimpl->factory.registerRenderPass(name, displayName, creationFunc, category, numInputs,
                                                       dryWetWrappable, hidden));
        if (info == nullptr)
            return false;
        // The bare pass, never a wrapper: it is what the presets of the kind
        // hold.
        if (RenderPass* pass = info->createRenderPass(nullptr, false))
        {
            info->setDefaultStateFromInstance(*pass);
            GfxObject::deleteUsingManager(pass);
        }
        registerRenderPassFromInstance(std::move(info));
        return true;
    }

    void RenderPassManager::registerRenderPassFromInstance(InfoPtr info)
    {
        if (info == nullptr)
            return;
        info->addListener(*this, false);
        if (info->getRenderPassCategory() == RenderPassCategoryGenerator)
            addSourceExtension(*info);
        pimpl->infos.push_back(std::move(info));
        sort();
    }

    bool RenderPassManager::registerRenderPassFromFFGLInstance(FFGLPluginInstance* plugin)
    {
        InfoPtr info(pimpl->factory.registerRenderPass(plugin));
        if (info == nullptr)
            return false;
        info->addListener(*this, false);
        // Never initialised, so it holds no GL names: deleted here, its
        // plugin gives its library back now rather than whenever the
        // GPU-object manager next drains (a scan would leave every library
        // open).
        if (RenderPass* pass = info->createBarePass())
        {
            info->setDefaultStateFromInstance(*pass);
            delete pass;
        }
        if (info->getRenderPassCategory() == RenderPassCategoryGenerator)
            addSourceExtension(*info);
        pimpl->infos.push_back(std::move(info));
        return true;
    }

    void RenderPassManager::scanDirectoryForPlugins(const File& folder)
    {
        std::vector<File> files;
        folder.scanForChildFiles(files, true, false);
        for (const File& file : files)
        {
            // An empty extension occurs within any text: the executable
            // inside a bundle has none.
            if (pluginExtensions.find(file.getExtension()) == std::string::npos)
                continue;
            debugPrint("Found Plugin: %s.", file.getFullPath().c_str());
            const std::unique_ptr<FFGLPluginInstance> plugin(FFGLPluginInstance::load(file));
            if (plugin == nullptr)
                continue;
            registerRenderPassFromFFGLInstance(plugin.get());
            plugin->unload();
        }
        sort();
    }

    void RenderPassManager::sort()
    {
        std::stable_sort(pimpl->infos.begin(), pimpl->infos.end(),
                         [](const InfoPtr& a, const InfoPtr& b)
                         { return a->getExtensionName() < b->getExtensionName(); });
        GeneratorSources* sources = GeneratorSources::getCurrent();
        if (sources == nullptr)
            return;
        std::stable_sort(sourceExtensions.begin(), sourceExtensions.end(),
                         [sources](const SourceExtensionPtr& a, const SourceExtensionPtr& b)
                         { return sources->getExtensionName(*a) < sources->getExtensionName(*b); });
    }

    void RenderPassManager::addSourceExtension(RenderPassInfo& info)
    {
        if (GeneratorSources* sources = GeneratorSources::getCurrent())
            if (SourceExtensionPtr extension = sources->makeExtension(info))
                sourceExtensions.push_back(std::move(extension));
    }

    std::vector<RenderPassManager::SourceExtensionPtr> RenderPassManager::getSourceExtensions() const
    {
        return sourceExtensions;
    }

    VideoSource* RenderPassManager::createSource(const std::string& name)
    {
        GeneratorSources* sources = GeneratorSources::getCurrent();
        RenderPassInfo* info = pimpl->factory.findRenderPass(name, RenderPassCategoryGenerator);
        if (sources == nullptr || info == nullptr || info->getRenderPassCategory() != RenderPassCategoryGenerator)
            return nullptr;
        Generator* generator = info->createGenerator();
        if (generator == nullptr)
            return nullptr;
        return sources->makeSource(generator, this);
    }

    XmlCapable* RenderPassManager::createSourceFromXML(const XmlNode& node)
    {
        GeneratorSources* sources = GeneratorSources::getCurrent();
        if (sources == nullptr || node.first_node("GeneratorInfo") == nullptr)
            return nullptr;
        return sources->asXmlCapable(sources->makeSourceFromXML(node));
    }

    XmlNode* RenderPassManager::saveSourceToXML(XmlPool& pool, XmlCapable*)
    {
        return XmlCapable::createNode(pool, "GeneratorInfo");
    }

    int RenderPassManager::getNumberOfRenderPasses() const
    {
        return int(pimpl->infos.size());
    }

    std::vector<RenderPassManager::InfoPtr> RenderPassManager::getRenderPassInfos(bool includeHidden) const
    {
        if (includeHidden)
            return pimpl->infos;
        std::vector<InfoPtr> shown;
        std::copy_if(pimpl->infos.begin(), pimpl->infos.end(), std::back_inserter(shown),
                     [](const InfoPtr& info) { return ! info->isHidden(); });
        return shown;
    }

    RenderPassInfo* RenderPassManager::getRenderPassInfo(int index) const
    {
        if (index < 0 || index >= getNumberOfRenderPasses())
            return nullptr;
        return pimpl->infos[size_t(index)].get();
    }

    RenderPassInfo* RenderPassManager::getRenderPassInfo(const std::string& name, RenderPassCategory category) const
    {
        return pimpl->factory.findRenderPass(name, category);
    }

    RenderPassInfo* RenderPassManager::getRenderPassInfoById(const std::string& uniqueId) const
    {
        for (const InfoPtr& info : pimpl->infos)
            if (info->getExtensionUniqueId() == uniqueId)
                return info.get();
        return nullptr;
    }

    RenderPassFactory& RenderPassManager::getFactory() const
    {
        return pimpl->factory;
    }

    void RenderPassManager::populateChoiceWithRenderPassesByCategory(ParamChoice<unsigned long long>& choice,
                                                                     RenderPassCategory category) const
    {
        choice.clearChoices();
        for (const InfoPtr& info : pimpl->infos)
        {
            const std::string uniqueId = info->getExtensionUniqueId();
            if (info->getRenderPassCategory() != category || uniqueId.empty())
                continue;
            const std::string name = info->getExtensionName();
            ParamChoice<unsigned long long>::Choice entry(name, hashFromString(uniqueId), true, true);
            entry.setShortName(info->getShortName() == "EXT" ? name.substr(0, 4) : info->getShortName());
            choice.addChoice(entry);
        }
    }

    std::shared_ptr<RenderPass> RenderPassManager::findSharedPass(const std::string& name) const
    {
        for (const Pimpl::SharedPass& shared : pimpl->sharedPasses)
            if (shared.name == name)
                return shared.pass;
        return {};
    }

    bool RenderPassManager::savePresets(const File& folder)
    {
        const std::vector<InfoPtr>& infos = pimpl->infos;
        std::vector<PresetFileNames::Entry> entries;
        for (const InfoPtr& info : infos)
            entries.push_back(folderEntry(*info));
        const std::vector<std::string> folders = PresetFileNames::uniqueNames(entries);
        // Kinds that leave the folder they shared go first: their files there
        // move out before the kind that keeps the folder writes its own.
        const std::vector<size_t> order = PresetFileNames::movingFirst(entries, folders);
        const std::string tree = PresetFileNames::treeKey(folder);

        // Files this save puts presets in, written or not: never removed.
        std::set<std::string> targets;
        // Presets this save did not write (refused, failed): the files they
        // were loaded from or saved to stay.
        std::set<int> notWritten;

        // The name of the preset a file of kind holds, none where it holds
        // another kind's or no preset.
        const auto storedNameOf = [&](const RenderPassInfo& kind)
        {
            return [&infos, &kind](const File& file) -> std::optional<std::string>
            {
                std::string storedName;
                if (findPresetFileOwner(infos, file, kind, &storedName).kind != PresetFileNames::FileOwner::own)
                    return std::nullopt;
                return storedName;
            };
        };
        // A file this manager loaded or wrote into this tree for kind that
        // no preset was written to now: its preset was deleted, renamed or
        // numbered apart since, so it goes, unless that preset was not
        // written or the file holds something else by now (another program's
        // copy among them), or it holds a preset of the kind that turns did
        // not write. False when one could not be removed.
        const auto removeFormerFiles = [&](const RenderPassInfo& kind, const PresetFileNames::WriteTurns* turns)
        {
            std::vector<PresetFileNames::FormerCopy> copies;
            for (const auto& [path, stamp] : pimpl->presetFiles)
                if (stamp.tree == tree && stamp.kind == &kind && targets.count(path) == 0 &&
                    notWritten.count(stamp.stateId) == 0)
                    copies.push_back({File(path), stamp.presetName, stamp.stamp});
            return PresetFileNames::removeFormerCopies(
                copies, targets, storedNameOf(kind),
                [&](const PresetFileNames::FormerCopy& copy, bool)
                { pimpl->presetFiles.erase(copy.file.getFullPath()); },
                "RenderPassManager::savePresets", turns);
        };
        // A file placeFor moved out of another kind's way is remembered
        // where it lies now.
        const auto followMove = [&](const File& from, const File& to)
        {
            const auto known = pimpl->presetFiles.find(from.getFullPath());
            if (known == pimpl->presetFiles.end())
                return;
            FileStamp stamp = known->second;
            pimpl->presetFiles.erase(known);
            pimpl->presetFiles[to.getFullPath()] = stamp;
        };

        bool allWritten = true;
        for (const size_t index : order)
        {
            const InfoPtr& info = infos[index];
            const std::shared_ptr<XmlStates> presets = info->getPresets();
            const std::string& folderName = folders[index];
            std::vector<XmlState*> states;
            std::vector<PresetFileNames::Entry> fileEntries;
            // The ids of the kind's presets, and the index in states of each
            // of those written.
            std::set<int> storeIds;
            std::map<int, size_t> stateIndex;
            bool hasPresets = false;
            for (int i = 0; i < presets->getNumStates(); ++i)
            {
                XmlState* preset = presets->getState(i);
                storeIds.insert(preset->getUniqueId());
                if (preset->getName() == defaultPresetName)
                    continue;
                notWritten.insert(preset->getUniqueId());
                hasPresets = true;
                if (folderName.empty())
                    continue;
                if (! isSafeFileName(preset->getName()))
                {
                    logPrint(logError,
                             "RenderPassManager::savePresets: refused the preset \"%s\" of \"%s\": its name "
                             "is no file name",
                             preset->getName().c_str(), info->getExtensionName().c_str());
                    allWritten = false;
                    continue;
                }
                stateIndex.emplace(preset->getUniqueId(), states.size());
                states.push_back(preset);
                fileEntries.push_back({preset->getName(), {}});
            }
            if (folderName.empty() && hasPresets)
            {
                logPrint(logError, "RenderPassManager::savePresets: the kind \"%s\" has no name to make a folder of",
                         info->getExtensionName().c_str());
                allWritten = false;
                removeFormerFiles(*info, nullptr);
                continue;
            }
            // Presets of one name each get a file of their own ("Soft",
            // "Soft 2"), the one they lie in where they do.
            std::vector<std::string> fileNames = PresetFileNames::uniqueNames(fileEntries, PresetFileNames::Form::kept);
            {
                const std::string kindFolder =
                    PresetFileNames::childOf(PresetFileNames::childOf(folder, folderName), "").getFullPath();
                // Only presets that share their name take the name they lie in.
                std::map<std::string, int> nameUses;
                for (const XmlState* state : states)
                    ++nameUses[state->getName()];
                std::vector<std::string> current(states.size());
                for (const auto& [path, stamp] : pimpl->presetFiles)
                    if (stamp.tree == tree && stamp.kind == info.get() && path.size() > kindFolder.size() + 4 &&
                        path.compare(0, kindFolder.size(), kindFolder) == 0 &&
                        path.find('/', kindFolder.size()) == std::string::npos &&
                        stateIndex.count(stamp.stateId) != 0 &&
                        nameUses[states[stateIndex[stamp.stateId]]->getName()] > 1 && stamp.sameFile(File(path), false))
                        current[stateIndex[stamp.stateId]] =
                            path.substr(kindFolder.size(), path.size() - kindFolder.size() - 4);
                PresetFileNames::keepCurrentNames(fileEntries, fileNames, current);
            }

            // How every file of the kind is framed around its preset: the
            // element's attributes of the kind, the document's declaration
            // and version.
            std::string framing;
            {
                XmlPool pool;
                XmlNode* element = XmlCapable::createNode(pool, presetElementName);
                appendKindAttributes(pool, *element, *info);
                XmlUtils::printXmlFile(element, framing);
            }
            // The presets this manager wrote where they go now from what
            // they are now, their file holding what it wrote still (its
            // bytes too: another program may have written as many within the
            // file system's tick): not printed, and left as they are.
            const File kindFolder = PresetFileNames::childOf(folder, folderName);
            std::vector<bool> reused(states.size());
            for (size_t i = 0; i < states.size(); ++i)
            {
                const File file = PresetFileNames::childOf(kindFolder, fileNames[i] + ".xml");
                const auto known = pimpl->presetFiles.find(file.getFullPath());
                reused[i] = states[i]->getNode() != nullptr && known != pimpl->presetFiles.end() &&
                            known->second.kind == info.get() && known->second.tree == tree &&
                            known->second.stateId == states[i]->getUniqueId() &&
                            known->second.writtenFrom == PresetFileNames::writtenFrom(*states[i], framing) &&
                            known->second.sameFile(file, true);
            }

            // Each preset as its file holds it; empty for one that writes
            // nothing, or is left as it is.
            std::vector<std::string> texts(states.size());
            const auto print = [&](size_t i)
            {
                XmlPool pool;
                XmlNode* element = states[i]->writeState(pool, false);
                if (element == nullptr)
                    return;
                element->name(presetElementName);
                appendKindAttributes(pool, *element, *info);
                if (! XmlUtils::printXmlFile(element, texts[i]))
                {
                    logPrint(logError, "RenderPassManager::savePresets: could not print the preset \"%s\" of \"%s\"",
                             states[i]->getName().c_str(), info->getExtensionName().c_str());
                    texts[i].clear();
                    allWritten = false;
                }
            };
            for (size_t i = 0; i < states.size(); ++i)
                if (! reused[i])
                    print(i);

            // Folders the kind had before that exist: its presets there move out.
            const std::vector<File> formerFolders = PresetFileNames::formerFolders(folder, entries[index], folderName);
            // The preset being written, and what a file of the kind that this
            // manager wrote or loaded, unchanged since, is to it (not read
            // again): a file is replaced only when it holds that very preset
            // or a former copy of one written whole elsewhere by now (a file
            // this save put another preset in is that one's). heldStamp: the
            // file's stamp where it was just found to hold the very bytes of
            // the preset being written (so it is its own by name), else null.
            const XmlState* writing = nullptr;
            const auto ownerOfHeld = [&](const File& file, const std::optional<PresetFileNames::Stamp>* heldStamp)
            {
                const auto known = pimpl->presetFiles.find(file.getFullPath());
                if (known != pimpl->presetFiles.end() && known->second.kind == info.get() &&
                    (heldStamp != nullptr ? *heldStamp == known->second.stamp : known->second.sameFile(file, true)))
                {
                    const int held = known->second.stateId;
                    const PresetFileNames::Copy copy =
                        held == writing->getUniqueId() ? PresetFileNames::Copy::ofThisPreset
                        : storeIds.count(held) == 0    ? PresetFileNames::Copy::unknown
                        : notWritten.count(held) != 0 || targets.count(file.getFullPath()) != 0
                            ? PresetFileNames::Copy::ofPresetNotWritten
                            : PresetFileNames::Copy::ofPresetWritten;
                    return PresetFileNames::ofOwnersFile(known->second.presetName, writing->getName(), copy);
                }
                if (heldStamp != nullptr)
                    return PresetFileNames::ofOwnersFile(writing->getName(), writing->getName(),
                                                         PresetFileNames::Copy::unknown);
                std::string storedName;
                const PresetFileNames::FileOwner owner = findPresetFileOwner(infos, file, *info, &storedName);
                if (owner.kind != PresetFileNames::FileOwner::own)
                    return owner;
                return PresetFileNames::ofOwnersFile(storedName, writing->getName(), PresetFileNames::Copy::unknown);
            };
            const auto ownerOf = [&](const File& file) { return ownerOfHeld(file, nullptr); };

            // The copies the kind's presets leave in the folders it had
            // before: removed once all of them are written, or they would
            // load twice.
            std::vector<PresetFileNames::FormerCopy> formerCopies;
            bool kindWritten = true;
            using Outcome = PresetFileNames::WriteTurns::Outcome;
            PresetFileNames::WriteTurns turns(texts);
            // Which preset of the kind a file holds as this manager left it,
            // if any (its size and time tell: it only orders the writes).
            const auto heldBy = [&](const File& file) -> std::optional<size_t>
            {
                const auto known = pimpl->presetFiles.find(file.getFullPath());
                if (known == pimpl->presetFiles.end() || known->second.kind != info.get() ||
                    ! known->second.sameFile(file, false))
                    return std::nullopt;
                const auto held = stateIndex.find(known->second.stateId);
                return held != stateIndex.end() ? std::optional<size_t>(held->second) : std::nullopt;
            };
            const auto writePreset = [&](size_t presetIndex, bool last)
            {
                XmlState* preset = states[presetIndex];
                const std::string fileName = fileNames[presetIndex] + ".xml";
                File file = PresetFileNames::childOf(kindFolder, fileName);
                // Its file as written still, unless a turn before took it;
                // else it is printed now, and the turns learn its text.
                const auto known = pimpl->presetFiles.find(file.getFullPath());
                bool unchanged = reused[presetIndex] && known != pimpl->presetFiles.end() &&
                                 known->second.stateId == preset->getUniqueId() && known->second.sameFile(file, false);
                if (reused[presetIndex] && ! unchanged)
                {
                    print(presetIndex);
                    turns.printed(presetIndex);
                }
                const std::string& text = texts[presetIndex];
                if (text.empty() && ! unchanged)
                {
                    kindWritten = false;
                    return Outcome::failed;
                }
                writing = preset;

                // A file that already holds these bytes, and is no other
                // preset's copy, is where placeFor would put it: left as it is.
                std::optional<PresetFileNames::Stamp> stamp;
                if (unchanged)
                    stamp = known->second.stamp;
                else if (XmlUtils::fileHolds(file, text))
                {
                    stamp = PresetFileNames::stampOf(file, text);
                    unchanged = ownerOfHeld(file, &stamp).kind == PresetFileNames::FileOwner::own;
                }
                // One holding another preset of the save still to be written
                // is taken once that one has moved out.
                if (const std::optional<size_t> held = unchanged ? std::nullopt : heldBy(file);
                    held.has_value() && turns.waitsFor(*held, last))
                    return Outcome::waiting;
                if (! unchanged)
                {
                    file = PresetFileNames::placeFor(folder, entries, folders, index,
                                                     {fileEntries, fileNames, presetIndex, PresetFileNames::Form::kept},
                                                     ownerOf, followMove);
                    if (file.getFullPath().empty())
                    {
                        logPrint(logError,
                                 "RenderPassManager::savePresets: did not write the preset \"%s\" of \"%s\": its "
                                 "files hold presets of other kinds",
                                 preset->getName().c_str(), info->getExtensionName().c_str());
                        allWritten = kindWritten = false;
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
                                 "RenderPassManager::savePresets: did not write the preset \"%s\" of \"%s\": '%s' "
                                 "holds the only copy of another preset not written",
                                 preset->getName().c_str(), info->getExtensionName().c_str(),
                                 file.getFullPath().c_str());
                        allWritten = kindWritten = false;
                        return Outcome::failed;
                    }
                }
                targets.insert(file.getFullPath());
                if (! unchanged)
                {
                    debugPrint(file.getFullPath());
                    if (! XmlUtils::replaceFileText(file, text))
                    {
                        logPrint(logError, "RenderPassManager::savePresets: could not write '%s'",
                                 file.getFullPath().c_str());
                        allWritten = kindWritten = false;
                        return Outcome::failed;
                    }
                    stamp = PresetFileNames::stampOf(file, text);
                }
                notWritten.erase(preset->getUniqueId());
                pimpl->remember(file, stamp, *info, tree, preset->getUniqueId(), preset->getName(),
                                PresetFileNames::writtenFrom(*preset, framing));

                // The same preset left in a folder the kind had before, when
                // other kinds were registered, has moved.
                for (const File& formerFolder : formerFolders)
                {
                    const File formerFile = PresetFileNames::childOf(formerFolder, fileName);
                    if (formerFile.getFullPath() == file.getFullPath())
                        continue;
                    // One this manager knows goes only as it knew it.
                    const auto known = pimpl->presetFiles.find(formerFile.getFullPath());
                    formerCopies.push_back({formerFile, preset->getName(),
                                            known != pimpl->presetFiles.end()
                                                ? std::optional<PresetFileNames::Stamp>(known->second.stamp)
                                                : std::nullopt});
                }
                return Outcome::written;
            };
            turns.run(PresetFileNames::movingFirst(fileEntries, fileNames, PresetFileNames::Form::kept), writePreset);
            if (kindWritten)
                allWritten = PresetFileNames::removeFormerCopies(
                                 formerCopies, targets, storedNameOf(*info),
                                 [&](const PresetFileNames::FormerCopy& copy, bool removed)
                                 {
                                     if (removed)
                                         pimpl->presetFiles.erase(copy.file.getFullPath());
                                 },
                                 "RenderPassManager::savePresets", &turns) &&
                             allWritten;
            // Before the next kind writes: one of these may lie where it does.
            allWritten = removeFormerFiles(*info, &turns) && allWritten;
        }
        return allWritten;
    }

    int RenderPassManager::loadPresets(const File& folder)
    {
        int added = 0;
        std::vector<File> kindFolders;
        File::getFilesInDirectory(folder, kindFolders, false);
        for (const File& kindFolder : kindFolders)
        {
            if (! kindFolder.existsAsDirectory())
                continue;
            std::vector<File> files;
            File::getFilesInDirectory(kindFolder, files, false);
            for (const File& file : files)
            {
                // The extension must occur within ".xml": so does an empty one,
                // and a file without one is read (stray text in it is skipped
                // below, logged, as unreadable).
                const std::string extension = file.getExtension();
                if (std::strstr(".xml", extension.c_str()) == nullptr || file.existsAsDirectory())
                    continue;

                // One read gives the preset and the file's stamp.
                std::string bytes;
                const std::optional<PresetFileNames::Stamp> stamp = PresetFileNames::readStamped(file, bytes);
                const std::unique_ptr<XmlDocument> document = XmlUtils::loadXmlFromFileText(file, bytes, true);
                const XmlNode* root = document != nullptr ? document->first_node() : nullptr;
                if (root == nullptr)
                {
                    skipFile(file, "not readable as XML");
                    continue;
                }
                if (std::string(root->name(), root->name_size()) != presetElementName)
                {
                    debugPrint("not a preset file!");
                    skipFile(file, "not a preset file");
                    continue;
                }
                bool hasName = false;
                const std::string presetName = attributeText(*root, "name", hasName);
                if (root->first_attribute("renderPass") == nullptr || ! hasName)
                {
                    skipFile(file, "the preset names no kind or has no name");
                    continue;
                }
                if (presetName == defaultPresetName)
                    continue;
                RenderPassInfo* info = findPresetKind(pimpl->infos, *root);
                if (info == nullptr)
                {
                    skipFile(file, "no registered kind has its name, id and category");
                    continue;
                }
                const int loaded = info->loadPreset(root);
                if (loaded == -1)
                {
                    skipFile(file, "the preset holds no state");
                    continue;
                }
                pimpl->remember(file, stamp, *info, PresetFileNames::treeKey(folder), loaded, presetName);
                ++added;
            }
        }
        return added;
    }

    void RenderPassManager::setLivePresetsFile(const File& folder)
    {
        pimpl->livePresetsFile = folder;
    }

    const File& RenderPassManager::getLivePresetsFile() const
    {
        return pimpl->livePresetsFile;
    }

    void RenderPassManager::presetsChanged()
    {
        if (pimpl->livePresetsFile.exists())
            savePresets(pimpl->livePresetsFile);
    }

    void RenderPassManager::release()
    {
        for (Pimpl::SharedPass& shared : pimpl->sharedPasses)
            shared.pass->release();
    }

    void RenderPassManager::clear()
    {
        pimpl->factory.clear();
        sourceExtensions.clear();
        while (! pimpl->infos.empty())
        {
            pimpl->infos.back()->removeListener(*this);
            pimpl->infos.pop_back();
        }
        pimpl->presetFiles.clear();
    }

    void RenderPassManager::printInfo() const
    {
        for (const InfoPtr& info : pimpl->infos)
            debugPrint("RenderPass: " + info->getExtensionName() + " (" + info->getExtensionDisplayName() + ", " +
                       info->getExtensionUniqueId() + ")");
    }
}
