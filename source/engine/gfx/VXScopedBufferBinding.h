#pragma once

namespace vx
{
    // Binds a buffer object (0: none) to a target for the scope and puts the
    // previous binding back after; does nothing when it is already bound.
    // bindingQuery is the target's GL_*_BUFFER_BINDING. Without a buffer to
    // bind, the binding found is kept and put back after, whatever the scope
    // binds. No binding here is in the renderer's cache.
    class ScopedBufferBinding
    {
    public:
        ScopedBufferBinding(unsigned int target, unsigned int bindingQuery, unsigned int buffer);
        ScopedBufferBinding(unsigned int target, unsigned int bindingQuery);
        ~ScopedBufferBinding();
        ScopedBufferBinding(const ScopedBufferBinding&) = delete;
        ScopedBufferBinding& operator=(const ScopedBufferBinding&) = delete;

    private:
        unsigned int target;
        int previous = -1; // -1: nothing to put back
    };
}
