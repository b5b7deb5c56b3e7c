#pragma once

#include "core/VXCriticalSection.h"
#include "core/VXCurrentInstance.h"
#include "engine/devices/VXCaptureDeviceInfo.h"
#include "engine/devices/VXDeviceChangeListener.h"
#include "engine/video/sources/VXSourceFactory.h"

#include <memory>
#include <string>
#include <vector>

namespace vx
{
    class CaptureDevice;
    class CaptureDeviceExtension;
    class DeviceChangeDetector;

    // Lists the capture devices of every kind (cameras, then capture cards),
    // offers one source extension per input device, opens devices on request
    // and shares each opened device between the sources showing it, and
    // lists again when the detector reports USB or PCI changes. Made by the
    // engine root with its detector; lower layers find it through getCurrent.
    //
    // Every operation takes the manager's (re-entrant) lock; listing runs
    // lazily on the first query. Infos and extensions stay paired: a device
    // that leaves takes its extension along; a source still showing it keeps
    // the opened device until it releases it.
    class CaptureDeviceManager : public VideoSourceFactory,
                                 public DeviceChangeListener,
                                 public CurrentInstance<CaptureDeviceManager>
    {
    public:
        // Listens to detector (synchronously); lists nothing yet.
        explicit CaptureDeviceManager(DeviceChangeDetector& detector);
        // Stops listening, then clearDevices.
        ~CaptureDeviceManager() override;
        CaptureDeviceManager(const CaptureDeviceManager&) = delete;
        CaptureDeviceManager& operator=(const CaptureDeviceManager&) = delete;

        // Forgets the input infos and their extensions; lists again on the
        // next query. The output infos stay.
        void clearDevices();
        // Lists the devices again (see the class comment).
        void enumerateDevices();

        int getNumInputDevices();
        // Valid until the devices are listed again; null out of range.
        const CaptureDeviceInfo* getInputDeviceInfo(int index);
        const CaptureDeviceInfo* getInputDeviceInfo(const std::string& uniqueId);
        // A copy of the index-th info; false out of range. For threads that
        // may race a new listing.
        bool getInputDeviceInfo(int index, CaptureDeviceInfo& info);
        int getNumOutputDevices();
        bool getOutputDeviceInfo(unsigned long index, CaptureOutputDeviceInfo& info);
        void getOuputDeviceInfos(std::vector<CaptureOutputDeviceInfo>& infos);
        // The extension of the index-th input device; empty out of range.
        // Lists nothing.
        std::shared_ptr<CaptureDeviceExtension> getDeviceExtension(int index);

        // The opened device with one more holder: shared when open, else
        // made, opened and started. Null when the id is not listed or the
        // device does not open. Balance each with releaseDevice.
        CaptureDevice* getInputDevice(const std::string& uniqueId);
        // One holder fewer; the last destroys the device.
        void releaseDevice(CaptureDevice* device);

        // A new source on the index-th device, without creator; null out of
        // range or when the device does not open.
        VideoSource* getDeviceAsSource(int index);
        VideoSource* getDefaultDeviceAsSource();

        // A source on the device with that id, made by this manager; null
        // when the device does not open.
        VideoSource* createSource(const std::string& uniqueId) override;
        // A source that has read node when node holds a "CaptureInfo" child;
        // else null.
        XmlCapable* createSourceFromXML(const XmlNode& node) override;
        // "CaptureInfo" with "deviceId" = the source's device id.
        XmlNode* saveSourceToXML(XmlPool& pool, XmlCapable* source) override;
        // The element saveSourceToXML writes, for that device id.
        static XmlNode* createCaptureInfo(XmlPool& pool, const std::string& deviceId);

        // USB, PCI and category-1 changes list the devices again.
        void DeviceGotConnected(DeviceCategory category) override;
        void DeviceGotDisconnected(DeviceCategory category) override;

        void printInfo();

    private:
        void enumerateIfNeeded();

        DeviceChangeDetector& detector;
        CriticalSection lock;
        std::vector<std::unique_ptr<CaptureDeviceInfo>> inputInfos;
        std::vector<CaptureOutputDeviceInfo> outputInfos;
        std::vector<std::shared_ptr<CaptureDeviceExtension>> extensions;
        int defaultDeviceIndex = 0;
        bool enumerated = false;
    };
}
