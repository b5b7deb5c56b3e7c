#pragma once

namespace vx
{
    // Made with one framebuffer bound for drawing and reading: reads, for the
    // scope, from the colour buffer it draws into first (GL_DRAW_BUFFER0), so
    // a scope reads back what it draws whichever attachment the caller drew
    // into. After it that framebuffer's read buffer is the caller's again,
    // even when another framebuffer is bound for reading by then (each
    // framebuffer keeps its own read buffer, and the attribute stack restores
    // only the bound one's). Nothing is changed when it draws into no single
    // buffer (none, or front and back).
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
