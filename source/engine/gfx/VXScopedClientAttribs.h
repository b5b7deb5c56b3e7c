#pragma once

#include <utility>
#include <vector>

namespace vx
{
    // Pushes the client attribute groups of mask (GL_CLIENT_PIXEL_STORE_BIT,
    // GL_CLIENT_VERTEX_ARRAY_BIT) for the scope and pops them after. On a
    // full client attribute stack (a host may leave it so) nothing is pushed,
    // so no level of the caller's is popped: the pixel-store values are kept
    // and set again instead (the vertex-array group is then not kept).
    class ScopedClientAttribs
    {
    public:
        explicit ScopedClientAttribs(unsigned int mask);
        ~ScopedClientAttribs();
        ScopedClientAttribs(const ScopedClientAttribs&) = delete;
        ScopedClientAttribs& operator=(const ScopedClientAttribs&) = delete;

    private:
        bool pushed = false;
        std::vector<std::pair<unsigned int, int>> pixelStore; // kept by value when not pushed
    };
}
