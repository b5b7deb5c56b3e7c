#pragma once

namespace vx
{
    // Turns off, for the scope, the two switches that drop everything drawn
    // and that the attribute stack does not keep: rasterizer discard (GL 3.0)
    // and the sample mask (GL 3.2). Each comes back on after if it was; the
    // mask's words are never written.
    class ScopedNoDiscard
    {
    public:
        ScopedNoDiscard();
        ~ScopedNoDiscard();
        ScopedNoDiscard(const ScopedNoDiscard&) = delete;
        ScopedNoDiscard& operator=(const ScopedNoDiscard&) = delete;

    private:
        bool rasterizerDiscard = false;
        bool sampleMask = false;
    };
}
