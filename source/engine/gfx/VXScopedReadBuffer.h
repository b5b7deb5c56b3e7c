#pragma once

namespace vx
{
    // Made with one framebuffer bound for drawing and reading: reads, for the
    // scope, from the colour buffer it draws into first (GL_DRAW_BUFFER0), so
    // a scope reads back what it draws whichever attachment the caller drew
    // into.
    // After it that framebuffer's read buffer is the caller's again, even when
    // another framebuffer is bound for reading by then (a framebuffer keeps
    // its read buffer, which the attribute stack restores only for the one
    // bound). Nothing is changed when it draws into no
    // single buffer (none, or front and back).
    class ScopedReadBuffer
    {
    public:
        ScopedReadBuffer();
        ~ScopedReadBuffer();
        ScopedReadBuffer(const ScopedReadBuffer&) = delete;
        ScopedReadBuffer& operator=(const ScopedReadBuffer&) = delete;

    private:
        int framebuffer = 0;
        int previous = 0;
        bool changed = false;
    };
}
