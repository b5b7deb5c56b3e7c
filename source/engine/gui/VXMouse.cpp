#include "engine/gui/VXMouse.h"

#include "core/VXTime.h"

namespace vx
{

    void Mouse::setMousePos(float x, float y, bool reset)
    {
        position = {x, y};
        if (reset)
        {
            previous = position;
            delta = {0.0f, 0.0f};
        }
    }

    void Mouse::setClickedState(bool pressed, int button)
    {
        if (! isButton(button))
            return;
        dragging = false;
        if (pressed)
        {
            pressTimes[button] = getCurrentTime();
            clickedFlags[button] = true;
            downFlags[button] = true;
        }
        else
        {
            clickedFlags[button] = false;
            downFlags[button] = false;
        }
    }

    void Mouse::setReleasedState(bool released, int button)
    {
        if (! released || ! isButton(button))
            return;
        heldDurations[button] = getCurrentTime() - pressTimes[button];
        if (downFlags[button])
            releasedFlags[button] = true;
        downFlags[button] = false;
        clickedFlags[button] = false;
    }

    void Mouse::setDoubleClickedState(bool on, int button)
    {
        if (! isButton(button))
            return;
        doubleClickedFlags[button] = on;
        downFlags[button] = on;
    }

    void Mouse::setClickedState(bool button0, bool button1, bool button2)
    {
        setClickedState(button0, 0);
        setClickedState(button1, 1);
        setClickedState(button2, 2);
    }

    void Mouse::setReleasedState(bool button0, bool button1, bool button2)
    {
        setReleasedState(button0, 0);
        setReleasedState(button1, 1);
        setReleasedState(button2, 2);
    }

    void Mouse::setDoubleClickedState(bool button0, bool button1, bool button2)
    {
        doubleClickedFlags[0] = button0;
        doubleClickedFlags[1] = button1;
        doubleClickedFlags[2] = button2;
    }

    void Mouse::preUpdate()
    {
        delta = position - previous;
        if (delta != TVec2<float>() && (downFlags[0] || downFlags[1] || downFlags[2]))
            dragging = true;
        previous = position;
    }

    void Mouse::postUpdate()
    {
        for (int b = 0; b < numButtons; ++b)
        {
            doubleClickedFlags[b] = false;
            releasedFlags[b] = false;
            clickedFlags[b] = false;
        }
        popupRequested = false;
    }

    bool Mouse::isButtonDown(int button) const
    {
        return isButton(button) && downFlags[button];
    }

    bool Mouse::buttonClicked(int button) const
    {
        return isButton(button) && clickedFlags[button];
    }

    bool Mouse::buttonReleased(int button) const
    {
        return isButton(button) && releasedFlags[button];
    }

    bool Mouse::doubleClicked(int button) const
    {
        return isButton(button) && doubleClickedFlags[button];
    }

    bool Mouse::buttonReleasedWithDragState(int button, bool drag) const
    {
        return buttonReleased(button) && dragging == drag;
    }

    bool Mouse::buttonStateChanged(int button) const
    {
        return buttonReleased(button) || buttonClicked(button);
    }

    double Mouse::getHeldDuration(int button) const
    {
        return isButton(button) ? heldDurations[button] : 0.0;
    }

} // namespace vx
