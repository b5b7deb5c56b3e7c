#include "engine/devices/VXDisplayCollection.h"

#include <cmath>
#include <cstdlib>

#include "core/VXStringUtils.h"
#include "engine/devices/VXDeviceChangeDetector.h"
#include "platform/coregraphics/VXCoreGraphics.h"
#include "platform/iokit/VXIOKit.h"

namespace vx
{
    bool DisplayCollectionItem::captureDisplay()
    {
        return displayId != 0 && cg::getBackend()->displayCapture(displayId) == cg::kCGErrorSuccess;
    }

    bool DisplayCollectionItem::releaseDisplay()
    {
        return displayId != 0 && cg::getBackend()->displayRelease(displayId) == cg::kCGErrorSuccess;
    }

    std::string DisplayCollectionItem::getNameIncludingResolution() const
    {
        const int width = std::abs(bounds.x2 - bounds.x1);
        const int height = std::abs(bounds.y2 - bounds.y1);
        return name + " (" + intToString(width) + "x" + intToString(height) + ")";
    }

    DisplayCollection::DisplayCollection(DeviceChangeDetector& changeDetector) : detector(changeDetector)
    {
        detector.addListener(*this, false);
        enumerateDisplays();
    }

    DisplayCollection::~DisplayCollection()
    {
        detector.removeListener(*this);
        while (! items.empty())
            items.pop_back();
    }

    void DisplayCollection::enumerateDisplays()
    {
        if (! dirty)
            return;
        dirty = false;
        for (auto& item : items)
            retired.push_back(std::move(item));
        items.clear();

        std::shared_ptr<cg::Backend> graphics = cg::getBackend();
        std::shared_ptr<iokit::Backend> registry = iokit::getBackend();
        const cg::DirectDisplayID mainDisplay = graphics->mainDisplayID();
        cg::DirectDisplayID displays[8] = {};
        uint32_t count = 0;
        if (graphics->getOnlineDisplayList(8, displays, &count) != cg::kCGErrorSuccess || count == 0)
            return;
        if (count > 8)
            count = 8;
        for (uint32_t i = 0; i < count; ++i)
        {
            auto item = std::make_unique<DisplayCollectionItem>();
            const cg::DirectDisplayID display = displays[i];
            const iokit::Object service = graphics->displayIOServicePort(display);
            std::vector<uint8_t> bytes;
            if (registry->registryEntrySearchData(service, "IOService", "model", true, bytes))
                item->model.assign(bytes.begin(), bytes.end());
            // Read as the platform does, not kept.
            bytes.clear();
            registry->registryEntrySearchData(service, "IOService", "device-id", true, bytes);
            item->monitorName = getMonitorName(display);

            item->displayId = display;
            item->defaultName = "Display " + intToString(int(i) + 1);
            item->id = item->defaultName;
            item->name = item->defaultName;
            item->hashedId = hashFromString(item->id);
            item->valid = true;
            item->index = int(i);
            item->isPrimary = display == mainDisplay;
            const cg::Rect rect = graphics->displayBounds(display);
            item->bounds = RectT<int32_t>(int32_t(rect.x), int32_t(rect.y), int32_t(rect.x + rect.width),
                                          int32_t(rect.y + rect.height));
            items.push_back(std::move(item));
        }
    }

    void DisplayCollection::DeviceGotConnected(DeviceCategory category)
    {
        if (category == DeviceCategoryDisplay)
            dirty = true;
    }

    void DisplayCollection::DeviceGotDisconnected(DeviceCategory category)
    {
        if (category == DeviceCategoryDisplay)
            dirty = true;
    }

    void DisplayCollection::DeviceChanged(DeviceCategory category)
    {
        if (category == DeviceCategoryDisplay)
            dirty = true;
    }

    DisplayCollectionItem* DisplayCollection::getDisplayContaining(TVec2<float> point) const
    {
        if (items.empty())
            return nullptr;
        DisplayCollectionItem* result = items.front().get();
        float best = 1e10f;
        const int x = int(point.x);
        const int y = int(point.y);
        for (auto item = items.rbegin(); item != items.rend(); ++item)
        {
            const RectT<int32_t>& b = (*item)->bounds;
            if (b.x1 < x && x < b.x2 && b.y1 < y && y < b.y2)
                return item->get();
            const float dx = point.x - float(b.x1 + b.x2) / 2.0f;
            const float dy = point.y - float(b.y1 + b.y2) / 2.0f;
            const float distance = std::sqrt(dx * dx + dy * dy);
            if (distance < best)
            {
                best = distance;
                result = item->get();
            }
        }
        return result;
    }

    DisplayCollectionItem* DisplayCollection::getPrimaryDisplayItem() const
    {
        for (const auto& item : items)
            if (item->isPrimary)
                return item.get();
        return nullptr;
    }

    DisplayCollectionItem* DisplayCollection::getFirstSecondaryDisplayItem() const
    {
        for (const auto& item : items)
            if (! item->isPrimary)
                return item.get();
        return nullptr;
    }

    DisplayCollectionItem* DisplayCollection::getDisplayItemByIndex(int index) const
    {
        return index >= 0 && size_t(index) < items.size() ? items[size_t(index)].get() : nullptr;
    }

    DisplayCollectionItem* DisplayCollection::getDisplayItemById(const std::string& id) const
    {
        for (const auto& item : items)
            if (item->id == id)
                return item.get();
        return nullptr;
    }

    DisplayCollectionItem* DisplayCollection::getDisplayItemByHashedId(uint64_t hashedId) const
    {
        for (const auto& item : items)
            if (item->hashedId == hashedId)
                return item.get();
        return nullptr;
    }

    std::string getMonitorName(uint32_t displayId)
    {
        std::map<std::string, std::string> names;
        const iokit::Object service = cg::getBackend()->displayIOServicePort(displayId);
        if (! iokit::getBackend()->displayProductNames(service, names))
            return {};
        auto english = names.find("en_US");
        if (english == names.end())
            return {};
        // CFStringGetCString into 256 bytes: longer names are cut.
        return english->second.substr(0, 255);
    }
}
