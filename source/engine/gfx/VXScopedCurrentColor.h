#pragma once

namespace vx
{
    // Keeps the caller's current colour (glColor) across a scope and sets it
    // again on leaving. Declared before a scope's glPushAttrib and ended after
    // its glPopAttrib, it is what gives the colour back: with Mesa's llvmpipe
    // a glColor inside the scope followed by a nested glPushAttrib and
    // glPopAttrib stays in the driver's immediate-mode state and is written
    // over the colour the outer pop restores at a later flush.
    class ScopedCurrentColor
    {
    public:
        ScopedCurrentColor();
        ~ScopedCurrentColor();
        ScopedCurrentColor(const ScopedCurrentColor&) = delete;
        ScopedCurrentColor& operator=(const ScopedCurrentColor&) = delete;

    private:
        float colour[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    };
}
