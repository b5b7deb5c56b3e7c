#include "engine/devices/VXCaptureDevice.h"

#include <gtest/gtest.h>

#include "core/VXTimeInfo.h"
#include "core/parameters/VXParamContainer.h"
#include "core/parameters/VXParamRange.h"
#include "core/xml/VXXmlAttributes.h"

namespace vx
{
    namespace
    {
        // Counts uploads; the base decides when they happen.
        class CountingDevice : public CaptureDevice
        {
        public:
            using CaptureDevice::CaptureDevice;
            bool initDevice() override { return true; }
            void deInitDevice() override {}
            void updateTexture() override { ++uploads; }
            int uploads = 0;
        };

        CaptureDeviceInfo makeInfo(const std::string& id)
        {
            CaptureDeviceInfo info;
            info.uniqueId = id;
            info.name = id + " name";
            info.description = id + " description";
            info.category = id + " category";
            info.resolutions = {{1920, 1080}, {1280, 720}};
            info.inUseForOutput = 1;
            info.hasInput = 0;
            info.hasOutput = 1;
            return info;
        }

        TEST(CaptureDeviceInfoTest, DefaultsAndIdGatedAssignment)
        {
            CaptureDeviceInfo fresh;
            EXPECT_EQ(fresh.uniqueId, "CAPTURE_SRC");
            EXPECT_TRUE(fresh.name.empty() && fresh.description.empty() && fresh.category.empty());
            EXPECT_EQ(fresh.inUseForOutput, 0);
            EXPECT_EQ(fresh.hasInput, 1);
            EXPECT_EQ(fresh.hasOutput, 0);

            CaptureDeviceInfo target = makeInfo("A");
            target.name = "kept";
            target = makeInfo("B");
            EXPECT_EQ(target.uniqueId, "A") << "another device's info leaves the target as it was";
            EXPECT_EQ(target.name, "kept");

            CaptureDeviceInfo same = makeInfo("A");
            same.inUseForOutput = 0;
            same.hasInput = 1;
            same.hasOutput = 0;
            same = makeInfo("A");
            EXPECT_EQ(same.name, "A name");
            EXPECT_EQ(same.description, "A description");
            EXPECT_EQ(same.category, "A category");
            ASSERT_EQ(same.resolutions.size(), 2u);
            EXPECT_EQ(same.resolutions[1].width, 1280);
            EXPECT_EQ(same.inUseForOutput, 1);
            EXPECT_EQ(same.hasInput, 1) << "the has-input flag is the target's own";
            EXPECT_EQ(same.hasOutput, 0) << "the has-output flag is the target's own";
        }

        TEST(CaptureDeviceTest, UploadsOncePerFrameStamp)
        {
            CountingDevice device(makeInfo("cam"));
            EXPECT_EQ(device.getUniqueId(), "cam");
            EXPECT_FALSE(device.isStarted());
            EXPECT_EQ(device.getTexture(), nullptr);

            TimeInfo time(0.0);
            device.update(time);
            device.update(time);
            EXPECT_EQ(device.uploads, 1) << "two sources sharing the device in one frame";
            time.increment(16.0);
            device.update(time);
            EXPECT_EQ(device.uploads, 2);

            device.startDevice();
            EXPECT_TRUE(device.isStarted());
            device.stopDevice();
            EXPECT_FALSE(device.isStarted());
        }

        TEST(CaptureDeviceTest, StateHoldsCaptureParams)
        {
            CountingDevice device(makeInfo("cam"));
            auto level = device.getParams()->addParamRange("Level", 0.25);

            XmlPool pool;
            XmlNode* element = device.writeState(pool, true);
            ASSERT_NE(element, nullptr);
            EXPECT_STREQ(element->name(), "CaptureDevice");
            ASSERT_NE(element->first_node(), nullptr);
            EXPECT_STREQ(element->first_node()->first_attribute("name")->value(), "Capture Params");

            level->setValue(0.75, ValueChangeInfo());
            CountingDevice restored(makeInfo("cam"));
            auto restoredLevel = restored.getParams()->addParamRange("Level", 0.25);
            restored.readState(element, false);
            EXPECT_DOUBLE_EQ(restoredLevel->getValue(), 0.25) << "the state written before the change";
            device.readState(element, false);
            EXPECT_DOUBLE_EQ(level->getValue(), 0.25);
        }
    }
}
