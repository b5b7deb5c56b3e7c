#pragma once

namespace vx
{
    // Keeps the caller's scissor test across a scope that sets its own:
    // whether GL_SCISSOR_TEST is enabled and the scissor box come back after.
    // Queried and set directly: no attribute stack level is used.
    class ScopedScissorState
    {
    public:
        ScopedScissorState();
        ~ScopedScissorState();
        ScopedScissorState(const ScopedScissorState&) = delete;
        ScopedScissorState& operator=(const ScopedScissorState&) = delete;

    private:
        bool enabled = false;
        int box[4] = {};
    };
}
