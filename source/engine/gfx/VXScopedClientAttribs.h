#pragma once

namespace vx
{
    // Pushes the client attribute groups of mask (GL_CLIENT_PIXEL_STORE_BIT,
    // GL_CLIENT_VERTEX_ARRAY_BIT) for the scope and pops them after.
    class ScopedClientAttribs
    {
    public:
        explicit ScopedClientAttribs(unsigned int mask);
        ~ScopedClientAttribs();
        ScopedClientAttribs(const ScopedClientAttribs&) = delete;
        ScopedClientAttribs& operator=(const ScopedClientAttribs&) = delete;
    };
}
