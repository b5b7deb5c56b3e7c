#pragma once

namespace vx
{
    // Keeps the current program for the scope and makes it current again
    // after, recording it in the binding cache of the current context's
    // renderer.
    class ScopedProgram
    {
    public:
        ScopedProgram();
        ~ScopedProgram();
        ScopedProgram(const ScopedProgram&) = delete;
        ScopedProgram& operator=(const ScopedProgram&) = delete;

    private:
        int previous = 0;
    };
}
