#pragma once

#include <vector>

namespace vx
{
    // Starts a scope with no client array enabled and gives the caller's
    // arrays back after it: draws inside read only the arrays they set
    // (never a caller's colours, nor a buffer offset taken for an address),
    // and the caller's arrays never stay pointing into memory the scope
    // freed. Every fixed-function array (vertex, normal, colour, secondary
    // colour, fog coordinate, colour index, edge flag, the texture
    // coordinates of each client texture unit) and every generic vertex
    // attribute array comes back with its enable, layout, pointer and the
    // buffer it reads from, as do the vertex array object, the array buffer
    // binding and the client active texture unit. Queried and set directly:
    // no client attribute stack level is used (a nested push and pop there
    // may not give everything back).
    class ScopedNoClientArrays
    {
    public:
        ScopedNoClientArrays();
        ~ScopedNoClientArrays();
        ScopedNoClientArrays(const ScopedNoClientArrays&) = delete;
        ScopedNoClientArrays& operator=(const ScopedNoClientArrays&) = delete;

    private:
        struct Array
        {
            unsigned int array = 0; // GL_VERTEX_ARRAY ... or, for a generic attribute, 0
            unsigned int index = 0; // the client texture unit or the attribute index
            bool enabled = false;
            int size = 0, type = 0, stride = 0, normalized = 0, integer = 0, divisor = 0;
            unsigned int buffer = 0;
            void* pointer = nullptr;
        };

        std::vector<Array> arrays;
        int vertexArrayObject = 0, arrayBuffer = 0, clientActiveTexture = 0;
    };
}
