#pragma once

namespace vx
{

    // Receives the mouse events of a GUI surface, in its pixel coordinates.
    // Every operation does nothing unless overridden.
    class MouseListener
    {
    public:
        virtual ~MouseListener() = default;
        virtual void mouseMove(int, int) {}
        virtual void mouseEnter() {}
        virtual void mouseExit() {}
        virtual void mouseDrag(int, int) {}
        virtual void mouseDown(int, int) {}
        virtual void mouseUp(int, int) {}
        virtual void mouseWheel(int) {}
        virtual void doubleClick(int, int) {}
    };

} // namespace vx
