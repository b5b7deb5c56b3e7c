#pragma once

#include "core/VXVec2.h"

namespace vx
{

    // The mouse as a GUI frame sees it: position and per-frame delta, and per
    // button (0, 1, 2) a level state and one-frame flags that live from the
    // event setting them to the next postUpdate, so a press and a release
    // between two frames are both seen in the next one. Button numbers
    // outside 0..2 are ignored by the setters and answer false.
    class Mouse
    {
    public:
        enum Button
        {
            leftButton = 0,
            rightButton = 1,
            middleButton = 2
        };
        static constexpr int numButtons = 3;

        // With reset the previous position follows and the delta is zero.
        void setMousePos(float x, float y, bool reset);
        // A press (pressed) starts a click and ends any dragging; otherwise
        // the button is up and its click flag clear.
        void setClickedState(bool pressed, int button);
        // Records how long the button was held; a release of a button that was
        // not down sets no released flag.
        void setReleasedState(bool released, int button);
        void setDoubleClickedState(bool on, int button);
        void setClickedState(bool button0, bool button1, bool button2);
        void setReleasedState(bool button0, bool button1, bool button2);
        // Only the double-click flags; the down states stay.
        void setDoubleClickedState(bool button0, bool button1, bool button2);
        // Kept for surfaces that report levels; they change nothing.
        void setButtonState(bool, bool, bool) {}
        void setButtonState(bool, int) {}
        void triggerPopupMenu() { popupRequested = true; }

        // Start of a GUI frame: delta from the last frame; moving with a button
        // down starts dragging.
        void preUpdate();
        // End of a GUI frame: the one-frame flags clear; down and dragging stay.
        void postUpdate();

        bool isButtonDown(int button) const;
        bool buttonClicked(int button) const;
        bool buttonReleased(int button) const;
        bool doubleClicked(int button) const;
        bool buttonReleasedWithDragState(int button, bool drag) const;
        bool buttonStateChanged(int button) const;
        bool popupMenuButtonClicked() const { return popupRequested; }
        bool isDragging() const { return dragging; }
        // Release time minus press time of the button's last release, in ms.
        double getHeldDuration(int button) const;

        const TVec2<float>& getPosition() const { return position; }
        const TVec2<float>& getDelta() const { return delta; }

    private:
        static bool isButton(int button) { return button >= 0 && button < numButtons; }

        TVec2<float> previous;
        TVec2<float> delta;
        TVec2<float> position;
        double heldDurations[numButtons] = {};
        double pressTimes[numButtons] = {};
        bool doubleClickedFlags[numButtons] = {};
        bool releasedFlags[numButtons] = {};
        bool clickedFlags[numButtons] = {};
        bool downFlags[numButtons] = {};
        bool dragging = false;
        bool popupRequested = false;
    };

} // namespace vx
