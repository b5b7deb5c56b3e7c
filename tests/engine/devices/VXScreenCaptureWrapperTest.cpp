#include "engine/devices/VXScreenCaptureWrapper.h"

#include <gtest/gtest.h>

#include "core/parameters/VXParamChoice.h"
#include "engine/devices/scripted/VXScriptedCoreGraphics.h"
#include "support/VXLogRecorder.h"

namespace vx::test
{
    namespace
    {
        class ScreenCaptureWrapperTest : public ::testing::Test
        {
        protected:
            void SetUp() override
            {
                graphics = ScriptedCoreGraphics::install();
                cg::Dictionary unreadable = windowEntry(77, "", "", 5);
                unreadable.set("kCGWindowOwnerName", 12345LL); // a number where a name belongs
                graphics->setWindows({windowEntry(40, "Safari", "Apple", 300), windowEntry(41, "Dock", "", 100),
                                      windowEntry(42, "", "Nameless owner", 101), unreadable,
                                      windowEntry(43, "Terminal", "bash", 200)});
            }

            void TearDown() override { ScriptedCoreGraphics::uninstall(); }

            std::shared_ptr<ScriptedCoreGraphics> graphics;
        };

        TEST_F(ScreenCaptureWrapperTest, WindowsAreListedFrontToBackByOwnerAndName)
        {
            ScreenCaptureWrapper wrapper;
            ParamChoice<int> windows("Windows");
            windows.addChoice("kept", 9, true, true);
            EXPECT_TRUE(wrapper.getWindows(windows));
            ASSERT_EQ(windows.getNumChoices(), 4u);
            EXPECT_EQ(windows.getNameOfChoice(0), "kept");
            EXPECT_EQ(windows.getNameOfChoice(1), "Safari - Apple");
            EXPECT_EQ(windows.getNameOfChoice(2), "Dock") << "no window name: the owner's alone";
            EXPECT_EQ(windows.getNameOfChoice(3), "Terminal - bash") << "unreadable entries are skipped";
            EXPECT_EQ(windows.getChoices()[3].getValue(), 43);
        }

        TEST_F(ScreenCaptureWrapperTest, AClickGoesToTheChosenWindowsOwnerAfterRaisingIt)
        {
            ScreenCaptureWrapper wrapper;
            wrapper.setWindowId(43);
            EXPECT_EQ(wrapper.getOwnerPid(), 200) << "the chosen window's owner, not the frontmost";
            wrapper.sendMouseDown(120, 80);
            EXPECT_EQ(graphics->getCalls(),
                      (std::vector<std::string>{"SetFrontProcess 200", "CGEventPostToPSN 200 type 5 at 120,80 button 0",
                                                "CGEventPostToPSN 200 type 1 at 120,80 button 0",
                                                "CGEventPostToPSN 200 type 2 at 120,80 button 0"}));
        }

        TEST_F(ScreenCaptureWrapperTest, WithoutAWindowNothingIsGrabbedOrClicked)
        {
            ScreenCaptureWrapper wrapper;
            EXPECT_FALSE(wrapper.grab(nullptr));
            wrapper.setWindowId(999); // not on screen
            EXPECT_EQ(wrapper.getOwnerPid(), 0);
            LogRecorder log;
            wrapper.sendMouseDown(1, 2);
            EXPECT_TRUE(graphics->getCalls().empty());
            EXPECT_EQ(log.count(logWarning), 1u) << log.dump();
            EXPECT_EQ(graphics->getNumImagesMade(), 0);
        }

        TEST(ScreenCaptureWrapperLinuxTest, TheEmptyPlatformListsNoWindow)
        {
            ScreenCaptureWrapper wrapper;
            ParamChoice<int> windows("Windows");
            EXPECT_TRUE(wrapper.getWindows(windows));
            EXPECT_EQ(windows.getNumChoices(), 0u);
        }
    }
}
