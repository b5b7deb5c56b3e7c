#include <gtest/gtest.h>

#include "support/VXLogRecorder.h"
#include "engine/devices/VXDeckLinkDevice.h"
#include "platform/decklink/VXDeckLinkAPI.h"

// Its own executable: the driver loads once per process, and here it is never
// pointed anywhere but the default location, where nothing is installed.
namespace vx::test
{
    namespace
    {
        TEST(DeckLinkAbsentTest, EnumerationReportsNoDriverAndNoCards)
        {
            LogRecorder log;
            std::vector<DDInfo> devices;
            EXPECT_FALSE(decklink_getAvailableDevices(devices));
            EXPECT_TRUE(devices.empty());
            EXPECT_TRUE(log.contains("A DeckLink iterator could not be created. The DeckLink drivers may not be "
                                     "installed."))
                << log.dump();
            EXPECT_FALSE(IsDeckLinkAPIPresent());
            EXPECT_EQ(CreateDeckLinkAPIInformationInstance(), nullptr);
            EXPECT_EQ(CreateBMDStreamingDiscoveryInstance(), nullptr);

            DeckLinkDevice device("M 1");
            EXPECT_FALSE(device.initialize());
            EXPECT_TRUE(log.contains("initialize: Failed finding decklink device 'M 1'.")) << log.dump();
            EXPECT_EQ(DeckLinkDevice::getDeviceState("M 1"), 0);
        }
    }
}
