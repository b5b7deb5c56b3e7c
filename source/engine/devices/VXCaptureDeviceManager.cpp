#include "engine/devices/VXCaptureDeviceManager.h"

#include "core/VXLog.h"
#include "core/VXScopedLock.h"
#include "core/VXStringUtils.h"
#include "core/xml/VXXmlCapable.h"
#include "engine/devices/VXAVFCaptureDevice.h"
#include "engine/devices/VXCaptureDevice.h"
#include "engine/devices/VXCaptureDeviceDeckLink.h"
#include "engine/devices/VXCaptureDeviceExtension.h"
#include "engine/devices/VXCaptureDeviceInstanceManager.h"
#include "engine/devices/VXCaptureDeviceSources.h"
#include "engine/devices/VXDeviceChangeDetector.h"
#include "engine/devices/VXOutputDeviceDeckLink.h"

#include <algorithm>
#include <utility>

namespace vx
{
    CaptureDeviceManager::CaptureDeviceManager(DeviceChangeDetector& changeDetector) : detector(changeDetector)
    {
        detector.addListener(*this, false);
    }

    CaptureDeviceManager::~CaptureDeviceManager()
    {
        detector.removeListener(*this);
        clearDevices();
    }

    void CaptureDeviceManager::clearDevices()
    {
        // Extensions go after the lock is released: their broadcasters
        // withdraw pending updates from the scheduler, which may be calling
        // into this manager.
        std::vector<std::shared_ptr<CaptureDeviceExtension>> dropped;
        const ScopedLock hold(lock);
        while (! inputInfos.empty())
            inputInfos.pop_back();
        dropped.swap(extensions);
        enumerated = false;
    }

    void CaptureDeviceManager::enumerateDevices()
    {
        // Dropped extensions go after the lock is released (see clearDevices).
        std::vector<std::shared_ptr<CaptureDeviceExtension>> dropped;
        const ScopedLock hold(lock);
        logPrint(logInfo, "Enumerating capture devices.");
        outputInfos.clear();

        std::vector<CaptureDeviceInfo*> rawFound;
        AVFCaptureDevice::getAvailableDevices(rawFound);
        std::vector<std::unique_ptr<CaptureDeviceInfo>> found;
        for (CaptureDeviceInfo* info : rawFound)
            found.emplace_back(info);
        // Capture cards also appear as cameras; they are taken from the card
        // side only.
        for (size_t i = found.size(); i-- > 0;)
            if (toLower(std::as_const(found[i]->name)).find("blackmagic") != std::string::npos)
                found.erase(found.begin() + static_cast<std::ptrdiff_t>(i));

        rawFound.clear();
        if (! CaptureDeviceDeckLink::enumerateDevices(rawFound))
            logPrint(logWarning, "Failed getting available decklink capture devices.");
        for (CaptureDeviceInfo* info : rawFound)
            found.emplace_back(info);

        OutputDeviceDeckLink::enumerateDevices(outputInfos);

        logPrint(logInfo, "Found the following capture devices: ");
        for (const auto& info : found)
            logPrint(logInfo, "-%s", info->name.c_str());

        auto isFound = [&found](const std::string& uniqueId) {
            return std::any_of(found.begin(), found.end(),
                               [&uniqueId](const auto& info) { return info->uniqueId == uniqueId; });
        };
        // A device that left loses its info and extension, and its opened
        // device is retired: never handed out again, held by the sources still
        // showing it until they let it go (and take the device plugged in again).
        for (size_t i = inputInfos.size(); i-- > 0;)
            if (! isFound(inputInfos[i]->uniqueId))
            {
                instanceManager.retireDevice(inputInfos[i]->uniqueId);
                inputInfos.erase(inputInfos.begin() + static_cast<std::ptrdiff_t>(i));
                if (i < extensions.size())
                {
                    dropped.push_back(std::move(extensions[i]));
                    extensions.erase(extensions.begin() + static_cast<std::ptrdiff_t>(i));
                }
            }

        // Taken from the back and put in front: new devices come first, in
        // the order they were found.
        while (! found.empty())
        {
            std::unique_ptr<CaptureDeviceInfo> info = std::move(found.back());
            found.pop_back();
            auto known = std::find_if(inputInfos.begin(), inputInfos.end(),
                                      [&info](const auto& held) { return held->uniqueId == info->uniqueId; });
            if (known != inputInfos.end())
            {
                **known = *info;
                continue;
            }
            auto extension = std::make_shared<CaptureDeviceExtension>(*this, *info);
            inputInfos.insert(inputInfos.begin(), std::move(info));
            extensions.insert(extensions.begin(), std::move(extension));
        }
    }

    void CaptureDeviceManager::enumerateIfNeeded()
    {
        if (enumerated)
            return;
        enumerateDevices();
        enumerated = true;
    }

    int CaptureDeviceManager::getNumInputDevices()
    {
        const ScopedLock hold(lock);
        enumerateIfNeeded();
        return static_cast<int>(inputInfos.size());
    }

    const CaptureDeviceInfo* CaptureDeviceManager::getInputDeviceInfo(int index)
    {
        const ScopedLock hold(lock);
        enumerateIfNeeded();
        if (index < 0 || index >= static_cast<int>(inputInfos.size()))
            return nullptr;
        return inputInfos[static_cast<size_t>(index)].get();
    }

    const CaptureDeviceInfo* CaptureDeviceManager::getInputDeviceInfo(const std::string& uniqueId)
    {
        const ScopedLock hold(lock);
        enumerateIfNeeded();
        for (const auto& info : inputInfos)
            if (info->uniqueId == uniqueId)
                return info.get();
        return nullptr;
    }

    bool CaptureDeviceManager::getInputDeviceInfo(int index, CaptureDeviceInfo& info)
    {
        const ScopedLock hold(lock);
        const CaptureDeviceInfo* held = getInputDeviceInfo(index);
        if (held == nullptr)
            return false;
        // The info's assignment copies only within one device and keeps the
        // input and output flags: take the id and the flags first.
        info.uniqueId = held->uniqueId;
        info = *held;
        info.hasInput = held->hasInput;
        info.hasOutput = held->hasOutput;
        return true;
    }

    int CaptureDeviceManager::getNumOutputDevices()
    {
        const ScopedLock hold(lock);
        enumerateIfNeeded();
        return static_cast<int>(outputInfos.size());
    }

    bool CaptureDeviceManager::getOutputDeviceInfo(unsigned long index, CaptureOutputDeviceInfo& info)
    {
        const ScopedLock hold(lock);
        enumerateIfNeeded();
        if (index >= outputInfos.size())
            return false;
        info.name = outputInfos[index].name;
        info.connections = outputInfos[index].connections;
        return true;
    }

    void CaptureDeviceManager::getOuputDeviceInfos(std::vector<CaptureOutputDeviceInfo>& infos)
    {
        const ScopedLock hold(lock);
        enumerateIfNeeded();
        infos.insert(infos.end(), outputInfos.begin(), outputInfos.end());
    }

    std::shared_ptr<CaptureDeviceExtension> CaptureDeviceManager::getDeviceExtension(int index)
    {
        // Locked: a listing on the detector's thread replaces the list.
        const ScopedLock hold(lock);
        if (index < 0 || index >= static_cast<int>(extensions.size()))
            return {};
        return extensions[static_cast<size_t>(index)];
    }

    CaptureDevice* CaptureDeviceManager::getInputDevice(const std::string& uniqueId)
    {
        const ScopedLock hold(lock);
        enumerateIfNeeded();
        if (CaptureDevice* open = instanceManager.getDevice(uniqueId))
            return open;
        const CaptureDeviceInfo* info = getInputDeviceInfo(uniqueId);
        if (info == nullptr)
            return nullptr;
        std::unique_ptr<CaptureDevice> device;
        if (info->category == CaptureDeviceDeckLink::deviceCategory)
            device = std::make_unique<CaptureDeviceDeckLink>(*info);
        else
            device = std::make_unique<AVFCaptureDevice>(*info);
        if (! device->initDevice())
        {
            debugPrint("%s: initDevice failed.\n", "getInputDevice");
            return nullptr;
        }
        device->startDevice();
        CaptureDevice* opened = device.release();
        instanceManager.addDevice(uniqueId, opened);
        return opened;
    }

    void CaptureDeviceManager::releaseDevice(CaptureDevice* device)
    {
        if (device == nullptr)
            return;
        const ScopedLock hold(lock);
        instanceManager.releaseDevice(device);
    }

    VideoSource* CaptureDeviceManager::getDeviceAsSource(int index)
    {
        const ScopedLock hold(lock);
        const CaptureDeviceInfo* info = getInputDeviceInfo(index);
        CaptureDeviceSources* sources = CaptureDeviceSources::getCurrent();
        if (info == nullptr || sources == nullptr)
            return nullptr;
        CaptureDevice* device = getInputDevice(info->uniqueId);
        return device != nullptr ? sources->makeSource(device, nullptr) : nullptr;
    }

    VideoSource* CaptureDeviceManager::getDefaultDeviceAsSource()
    {
        return getDeviceAsSource(defaultDeviceIndex);
    }

    VideoSource* CaptureDeviceManager::createSource(const std::string& uniqueId)
    {
        CaptureDeviceSources* sources = CaptureDeviceSources::getCurrent();
        if (sources == nullptr)
            return nullptr;
        CaptureDevice* device = getInputDevice(uniqueId);
        return device != nullptr ? sources->makeSource(device, this) : nullptr;
    }

    XmlCapable* CaptureDeviceManager::createSourceFromXML(const XmlNode& node)
    {
        CaptureDeviceSources* sources = CaptureDeviceSources::getCurrent();
        if (sources == nullptr || node.first_node("CaptureInfo") == nullptr)
            return nullptr;
        // The source reads the whole element, as every source kind does; its
        // "CaptureInfo" child names the device.
        VideoSource* source = sources->makeSourceFromXML(node);
        return source != nullptr ? sources->asXmlCapable(source) : nullptr;
    }

    XmlNode* CaptureDeviceManager::saveSourceToXML(XmlPool& pool, XmlCapable* source)
    {
        CaptureDeviceSources* sources = CaptureDeviceSources::getCurrent();
        return createCaptureInfo(pool, sources != nullptr && source != nullptr ? sources->getDeviceId(source) : "");
    }

    XmlNode* CaptureDeviceManager::createCaptureInfo(XmlPool& pool, const std::string& deviceId)
    {
        XmlNode* element = XmlCapable::createNode(pool, "CaptureInfo");
        element->append_attribute(createAttribute(pool, "deviceId", deviceId));
        return element;
    }

    void CaptureDeviceManager::DeviceGotConnected(DeviceCategory category)
    {
        if (category >= DeviceCategoryOther && category <= DeviceCategoryPCI)
            enumerateDevices();
    }

    void CaptureDeviceManager::DeviceGotDisconnected(DeviceCategory category)
    {
        if (category >= DeviceCategoryOther && category <= DeviceCategoryPCI)
            enumerateDevices();
    }

    void CaptureDeviceManager::printInfo()
    {
        const ScopedLock hold(lock);
        debugPrint("CaptureDeviceManager found the following input devices:\n");
        for (const auto& info : inputInfos)
        {
            debugPrint("name: %s\n", info->name.c_str());
            debugPrint("id: %s\n", info->uniqueId.c_str());
        }
    }
}
