#pragma once

namespace vx
{

    // Receives the key events of a GUI surface. Every operation does nothing
    // unless overridden.
    class KeyboardListener
    {
    public:
        virtual ~KeyboardListener() = default;
        virtual void ascii(int) {}
        virtual void keyDown(int) {}
        virtual void keyUp(int) {}
    };

} // namespace vx
