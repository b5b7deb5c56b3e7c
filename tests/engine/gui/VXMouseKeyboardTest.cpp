#include "engine/gui/VXKeyboard.h"
#include "engine/gui/VXMouse.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace vx
{
    namespace
    {

        class MouseTest : public ::testing::Test
        {
        protected:
            // One GUI frame: events first, then what the frame sees, then its end.
            void frame(const std::function<void()>& events, const std::function<void()>& during)
            {
                events();
                mouse.preUpdate();
                during();
                mouse.postUpdate();
            }

            Mouse mouse;
        };

        TEST_F(MouseTest, PressAndReleaseWithinOneFrameAreBothSeen)
        {
            frame(
                [&]
                {
                    mouse.setClickedState(true, 0);
                    mouse.setReleasedState(true, 0);
                },
                [&]
                {
                    EXPECT_FALSE(mouse.buttonClicked(0)) << "the release clears the click";
                    EXPECT_TRUE(mouse.buttonReleased(0));
                    EXPECT_FALSE(mouse.isButtonDown(0));
                    EXPECT_TRUE(mouse.buttonStateChanged(0));
                });
            frame([] {}, [&] { EXPECT_FALSE(mouse.buttonStateChanged(0)) << "one-frame flags are gone"; });
        }

        TEST_F(MouseTest, ReleasingAButtonThatWasNotDownStoresOnlyItsDuration)
        {
            frame([&] { mouse.setReleasedState(true, 1); }, [&] { EXPECT_FALSE(mouse.buttonReleased(1)); });
            frame(
                [&]
                {
                    mouse.setClickedState(true, 1);
                    mouse.setReleasedState(false, 1);
                },
                [&] { EXPECT_TRUE(mouse.isButtonDown(1)) << "a release that did not happen changes nothing"; });
        }

        TEST_F(MouseTest, DraggingNeedsAButtonDownAndLastsUntilTheNextPress)
        {
            mouse.setMousePos(10.0f, 10.0f, true);
            frame([&] { mouse.setMousePos(20.0f, 15.0f, false); }, [&] { EXPECT_FALSE(mouse.isDragging()); });
            EXPECT_EQ(mouse.getDelta(), TVec2<float>(10.0f, 5.0f));

            frame([&] { mouse.setClickedState(true, 0); }, [] {});
            frame([&] { mouse.setMousePos(30.0f, 15.0f, false); }, [&] { EXPECT_TRUE(mouse.isDragging()); });
            frame([&] { mouse.setReleasedState(true, 0); },
                  [&] { EXPECT_TRUE(mouse.buttonReleasedWithDragState(0, true)); });
            frame([] {}, [&] { EXPECT_TRUE(mouse.isDragging()) << "dragging outlives the release"; });
            frame([&] { mouse.setClickedState(true, 0); }, [&] { EXPECT_FALSE(mouse.isDragging()); });
        }

        TEST_F(MouseTest, DoubleClicksAndPopups)
        {
            frame(
                [&]
                {
                    mouse.setDoubleClickedState(true, 2);
                    mouse.triggerPopupMenu();
                },
                [&]
                {
                    EXPECT_TRUE(mouse.doubleClicked(2));
                    EXPECT_TRUE(mouse.isButtonDown(2));
                    EXPECT_TRUE(mouse.popupMenuButtonClicked());
                });
            frame([&] { mouse.setDoubleClickedState(true, false, false); },
                  [&]
                  {
                      EXPECT_TRUE(mouse.doubleClicked(0));
                      EXPECT_FALSE(mouse.isButtonDown(0)) << "the three-button form leaves the down states";
                      EXPECT_FALSE(mouse.popupMenuButtonClicked());
                  });
        }

        // Buttons a surface may report beyond the three kept are ignored
        // rather than written past the arrays.
        TEST_F(MouseTest, ButtonsOutsideTheRangeAreIgnored)
        {
            for (int button : {-1, 3, 7, 1 << 20})
            {
                mouse.setClickedState(true, button);
                mouse.setReleasedState(true, button);
                mouse.setDoubleClickedState(true, button);
                EXPECT_FALSE(mouse.isButtonDown(button));
                EXPECT_FALSE(mouse.buttonClicked(button));
                EXPECT_FALSE(mouse.buttonReleased(button));
                EXPECT_FALSE(mouse.doubleClicked(button));
                EXPECT_EQ(mouse.getHeldDuration(button), 0.0);
            }
            for (int b = 0; b < Mouse::numButtons; ++b)
                EXPECT_FALSE(mouse.isButtonDown(b));
        }

        TEST(KeyboardTest, SpecialKeysReportEveryChangeUntilUpdate)
        {
            Keyboard keys;
            keys.setSpecialKey(Keyboard::leftSpecial, 1);
            EXPECT_TRUE(keys.isSpecialKeyDown(Keyboard::leftSpecial));
            EXPECT_TRUE(keys.wasSpecialKeyPressed(Keyboard::leftSpecial));
            keys.update();
            EXPECT_FALSE(keys.wasSpecialKeyPressed(Keyboard::leftSpecial));
            keys.setSpecialKey(Keyboard::leftSpecial, 0);
            EXPECT_TRUE(keys.wasSpecialKeyPressed(Keyboard::leftSpecial)) << "a release is a change too";
            EXPECT_FALSE(keys.isSpecialKeyDown(Keyboard::leftSpecial));
        }

        TEST(KeyboardTest, IndicesOutsideTheArraysAreIgnored)
        {
            Keyboard keys;
            for (int index : {-1, 5, 100})
            {
                keys.setModifierState(Keyboard::Modifier(index), true);
                keys.setSpecialKey(Keyboard::SPECIAL(index), 1);
                EXPECT_FALSE(keys.isModifierDown(Keyboard::Modifier(index)));
                EXPECT_FALSE(keys.isSpecialKeyDown(Keyboard::SPECIAL(index)));
                EXPECT_FALSE(keys.wasSpecialKeyPressed(Keyboard::SPECIAL(index)));
            }
            keys.setModifierState(Keyboard::altModifier, true);
            EXPECT_TRUE(keys.isModifierDown(Keyboard::altModifier));
            EXPECT_FALSE(keys.isModifierDown(Keyboard::shiftModifier));
        }

    } // namespace
} // namespace vx
