#include "engine/devices/VXDisplayChangeDetector.h"

#include "platform/coregraphics/VXCoreGraphics.h"

namespace vx
{
    DisplayChangeDetector* DisplayChangeDetector::Create()
    {
        return new DisplayChangeDetectorMacos();
    }

    DisplayChangeDetectorMacos::DisplayChangeDetectorMacos()
    {
        cg::displayRegisterReconfigurationCallback(&displayReconfigurationCallback, this);
        cg::getBackend()->getOnlineDisplayList(0, nullptr, &displayCount);
    }

    DisplayChangeDetectorMacos::~DisplayChangeDetectorMacos()
    {
        cg::displayRemoveReconfigurationCallback(&displayReconfigurationCallback, this);
        stopTimer();
        cleanup();
    }

    void DisplayChangeDetectorMacos::displayReconfigurationCallback(uint32_t, uint32_t flags, void* userInfo)
    {
        if (flags == cg::kCGDisplayBeginConfigurationFlag)
            return;
        constexpr uint32_t watched = cg::kCGDisplaySetModeFlag | cg::kCGDisplayDesktopShapeChangedFlag |
                                     cg::kCGDisplayAddFlag | cg::kCGDisplayEnabledFlag | cg::kCGDisplayRemoveFlag |
                                     cg::kCGDisplayDisabledFlag;
        if ((flags & watched) != 0)
            static_cast<DisplayChangeDetectorMacos*>(userInfo)->startTimer(250);
    }

    void DisplayChangeDetectorMacos::timerCallback()
    {
        stopTimer();
        uint32_t count = 0;
        if (cg::getBackend()->getOnlineDisplayList(0, nullptr, &count) != cg::kCGErrorSuccess)
            return;
        if (count > displayCount)
            callListeners(&DeviceChangeListener::DeviceGotConnected, DeviceCategoryDisplay, CallType::standard);
        else if (count < displayCount)
            callListeners(&DeviceChangeListener::DeviceGotDisconnected, DeviceCategoryDisplay, CallType::standard);
        else
            callListeners(&DeviceChangeListener::DeviceChanged, DeviceCategoryDisplay, CallType::standard);
        displayCount = count;
    }
}
