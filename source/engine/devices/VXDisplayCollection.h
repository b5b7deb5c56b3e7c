#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/VXRect.h"
#include "core/VXVec2.h"
#include "engine/devices/VXDeviceChangeListener.h"

namespace vx
{
    class DeviceChangeDetector;

    // One online display: position in the online list, names, bounds in
    // global display coordinates (points).
    class DisplayCollectionItem
    {
    public:
        // CGDisplayCapture / CGDisplayRelease; false without a display id.
        bool captureDisplay();
        bool releaseDisplay();
        // name + " (" + width + "x" + height + ")".
        std::string getNameIncludingResolution() const;

        bool valid = false;
        bool isPrimary = false;
        std::string defaultName;
        std::string unused;
        std::string id;
        std::string name;
        int index = 0;
        uint64_t hashedId = 0;
        std::string monitorName;
        std::string model;
        // left, top, right, bottom
        RectT<int32_t> bounds;
        uint32_t displayId = 0;
    };

    // The online displays, rebuilt by enumerateDisplays after a display event
    // marked the list stale. Main thread only (display events arrive there);
    // no lock. Items dropped by a rebuild stay allocated (retired) until the
    // collection goes, so pointers handed out earlier stay readable.
    class DisplayCollection : public DeviceChangeListener
    {
    public:
        explicit DisplayCollection(DeviceChangeDetector& detector);
        ~DisplayCollection() override;
        DisplayCollection(const DisplayCollection&) = delete;
        DisplayCollection& operator=(const DisplayCollection&) = delete;

        // Rebuilds the list when stale; nothing otherwise.
        void enumerateDisplays();

        // Display events (category 0) mark the list stale.
        void DeviceGotConnected(DeviceCategory category) override;
        void DeviceGotDisconnected(DeviceCategory category) override;
        void DeviceChanged(DeviceCategory category) override;

        // The display strictly containing the point, else the one whose centre
        // is nearest (later items first); null without displays.
        DisplayCollectionItem* getDisplayContaining(TVec2<float> point) const;
        DisplayCollectionItem* getPrimaryDisplayItem() const;
        DisplayCollectionItem* getFirstSecondaryDisplayItem() const;
        DisplayCollectionItem* getDisplayItemByIndex(int index) const;
        DisplayCollectionItem* getDisplayItemById(const std::string& id) const;
        DisplayCollectionItem* getDisplayItemByHashedId(uint64_t hashedId) const;

        int getNumDisplays() const { return int(items.size()); }
        bool isDirty() const { return dirty; }

    private:
        DeviceChangeDetector& detector;
        std::vector<std::unique_ptr<DisplayCollectionItem>> items;
        std::vector<std::unique_ptr<DisplayCollectionItem>> retired;
        bool dirty = true;
    };

    // The display's product name in "en_US"; empty when unavailable.
    std::string getMonitorName(uint32_t displayId);
}
