#include "engine/video/sources/VXVideoSourceManager.h"

#include "core/VXFile.h"
#include "core/VXLog.h"
#include "core/VXStringUtils.h"
#include "core/xml/VXXmlState.h"
#include "core/xml/VXXmlStates.h"
#include "core/xml/VXXmlUtils.h"
#include "engine/devices/VXCaptureDeviceExtension.h"
#include "engine/devices/VXCaptureDeviceManager.h"
#include "engine/renderpasses/VXRenderPassManager.h"
#include "engine/video/sources/VXGeneratorSourceExtension.h"
#include "engine/video/sources/VXScreenCaptureVideoSource.h"
#include "engine/video/sources/VXVideoFormatReaderSource.h"
#include "engine/video/sources/VXVideoFormatReaderSourceExtension.h"
#include "engine/video/sources/VXVideoSource.h"
#include "engine/video/sources/VXVideoSourceDataDriver.h"

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
        if (NetworkVideoServerManager* servers = NetworkVideoServerManager::getInstanceWithoutCreating())
        {
            const int count = servers->getNumServers();
            for (int i = 0; i < count; ++i)
            {
                ExtensionPtr extension = servers->getServerInfo(i);
                if (extension == nullptr)
                    continue;
                networkExtensions.push_back(extension);
                if (listed(*extension, includeAll))
                    sources.push_back(extension);
            }
        }

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

    void VideoSourceManager::savePresets(const File& folder)
    {
        for (const ExtensionPtr& extension : getSources(true))
        {
            std::shared_ptr<XmlStates> presets = extension->getPresets();
            if (presets == nullptr)
                continue;
            for (int i = 0; i < presets->getNumStates(); ++i)
            {
                XmlState* state = presets->getState(i);
                if (state == nullptr || state->getName() == "default")
                    continue;
                XmlDocument pool;
                XmlNode* element = state->writeState(pool, false);
                if (element == nullptr)
                    continue;
                element->name(createValue(pool, "Preset"));
                element->append_attribute(createAttribute(pool, "sourceId", extension->getExtensionUniqueId()));
                element->append_attribute(createAttribute(pool, "source", extension->getExtensionName()));

                std::string folderName = extension->getExtensionName();
                stringStripInvalidFilePathCharacters(folderName);
                const File sub = folder.getChildFile(folderName);
                sub.createDirectory();
                // Preset names are the user's: no "/" or ".." may lead
                // outside the folder.
                std::string fileName = state->getName();
                stringStripInvalidFilePathCharacters(fileName);
                const File file = sub.getChildFile(fileName + ".xml");
                if (file.exists())
                    file.deleteFile();
                file.create();
                debugPrint(file.getFullPath());
                if (! XmlUtils::writeXmlToFile(file, element))
                    logPrint(logError, "%s: The preset could not be written to '%s'.", "savePresets",
                             file.getFullPath().c_str());
            }
        }
    }

    void VideoSourceManager::loadPresets(const File& folder)
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
                std::unique_ptr<XmlDocument> document = XmlUtils::loadXmlFromFile(file, true);
                const XmlNode* node = document != nullptr ? document->first_node() : nullptr;
                if (node == nullptr || std::string(node->name(), node->name_size()) != "Preset")
                {
                    debugPrint("not a preset file!");
                    continue;
                }
                const std::string sourceId = readAttribute(node->first_attribute("sourceId"), std::string());
                const std::string name = readAttribute(node->first_attribute("name"), std::string());
                if (name == "default")
                    continue;
                if (VideoSourceExtension* extension = getSourceExtension(sourceId))
                    extension->loadPreset(node);
            }
        }
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
