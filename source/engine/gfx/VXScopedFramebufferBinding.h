#pragma once

namespace vx
{
    // Keeps the draw and read framebuffer bindings (the host's framebuffer)
    // for the scope and binds them again after. restore() binds them early,
    // as needed before the attribute stack is popped: the draw and read
    // buffers it restores are valid only for the host's framebuffer.
    class ScopedFramebufferBinding
    {
    public:
        ScopedFramebufferBinding();
        ~ScopedFramebufferBinding();
        ScopedFramebufferBinding(const ScopedFramebufferBinding&) = delete;
        ScopedFramebufferBinding& operator=(const ScopedFramebufferBinding&) = delete;

        void restore() const;

    private:
        int drawFramebuffer = 0;
        int readFramebuffer = 0;
    };
}
