#pragma once

#include <cstdint>
#include <vector>

namespace vx
{
    // Starts a scope with no client array enabled and gives the caller's
    // arrays back after it: draws inside read only the arrays they set
    // (never a caller's colours, nor a buffer offset taken for an address),
    // and the caller's arrays never stay pointing into memory the scope
    // freed.
    //
    // A caller's vertex array object other than zero is left alone: the
    // scope binds the zero object (the only one client memory may be read
    // from) and binds the caller's again on leaving, so an object whose
    // buffers the caller deleted after setting it up keeps them.
    //
    // Every array of the zero object comes back as it was: every
    // fixed-function array (vertex, normal, colour, secondary colour, fog
    // coordinate, colour index, edge flag, the texture coordinates of each
    // client texture unit) and every generic vertex attribute array, with its
    // enable, layout, pointer and buffer; with GL 4.3 also each attribute's
    // separate format and binding and each vertex buffer binding (buffer,
    // offset, stride, divisor); and the element buffer. Only what the scope
    // changed is set again, so a buffer whose name was deleted stays bound
    // as the object it is. The array buffer binding and the client active
    // texture unit come back too. Queried and set directly: no client
    // attribute stack level is used (a nested push and pop there may not give
    // everything back).
    class ScopedNoClientArrays
    {
    public:
        ScopedNoClientArrays();
        ~ScopedNoClientArrays();
        ScopedNoClientArrays(const ScopedNoClientArrays&) = delete;
        ScopedNoClientArrays& operator=(const ScopedNoClientArrays&) = delete;

        struct Array
        {
            unsigned int array = 0; // GL_VERTEX_ARRAY ... or, for a generic attribute, 0
            unsigned int index = 0; // the client texture unit or the attribute index
            bool enabled = false;
            int size = 0, type = 0, stride = 0, normalized = 0, integer = 0, isLong = 0, divisor = 0;
            int relativeOffset = 0, binding = 0; // GL 4.3
            unsigned int buffer = 0;
            void* pointer = nullptr;
            bool operator==(const Array&) const = default;
        };

        // A vertex buffer binding point (GL 4.3).
        struct Binding
        {
            unsigned int buffer = 0;
            std::int64_t offset = 0;
            int stride = 0, divisor = 0;
            bool operator==(const Binding&) const = default;
        };

    private:
        std::vector<Array> arrays;
        std::vector<Binding> bindings;
        int vertexArrayObject = 0, elementBuffer = 0, arrayBuffer = 0, clientActiveTexture = 0;
    };
}
