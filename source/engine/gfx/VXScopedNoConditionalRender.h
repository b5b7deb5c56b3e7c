#pragma once

namespace vx
{
    // Lets a scope's drawing reach the framebuffer under conditional
    // rendering a caller left discarding it. GL tells neither whether
    // conditional rendering is on nor with which query, so the guard asks:
    // it draws one point (rasterizer discard on for it, so nothing is
    // written) inside a count of primitives; none counted means discarded,
    // and it ends the conditional rendering. After the scope it begins
    // conditional rendering again, with a query of its own that passed no
    // sample, waiting for it: every draw is discarded as before, until the
    // caller ends it. A caller whose conditional rendering lets draws through
    // keeps it untouched.
    //
    // Made with no program, no transform feedback running and the zero vertex
    // array object bound; while the caller counts primitives itself nothing
    // can be asked, and nothing is done.
    class ScopedNoConditionalRender
    {
    public:
        // The guard's query names, in the context they were made in: kept
        // across frames (the one discarding must live while conditional
        // rendering uses it), deleted by release() with that context current.
        struct Queries
        {
            unsigned int probe = 0, discarding = 0;
            void release();
        };

        explicit ScopedNoConditionalRender(Queries& queriesToUse);
        ~ScopedNoConditionalRender();
        ScopedNoConditionalRender(const ScopedNoConditionalRender&) = delete;
        ScopedNoConditionalRender& operator=(const ScopedNoConditionalRender&) = delete;

    private:
        Queries& queries;
        bool suspended = false;
    };
}
