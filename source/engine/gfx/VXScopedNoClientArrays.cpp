#include "engine/gfx/VXScopedNoClientArrays.h"

#include <epoxy/gl.h>

#include <cstdint>
#include <iterator>

namespace vx
{
    namespace
    {
        // The queries of one fixed-function array; 0 where it has none.
        struct FixedArray
        {
            GLenum array, size, type, stride, buffer, pointer;
        };

        constexpr FixedArray fixedArrays[] = {
            {GL_VERTEX_ARRAY, GL_VERTEX_ARRAY_SIZE, GL_VERTEX_ARRAY_TYPE, GL_VERTEX_ARRAY_STRIDE,
             GL_VERTEX_ARRAY_BUFFER_BINDING, GL_VERTEX_ARRAY_POINTER},
            {GL_NORMAL_ARRAY, 0, GL_NORMAL_ARRAY_TYPE, GL_NORMAL_ARRAY_STRIDE, GL_NORMAL_ARRAY_BUFFER_BINDING,
             GL_NORMAL_ARRAY_POINTER},
            {GL_COLOR_ARRAY, GL_COLOR_ARRAY_SIZE, GL_COLOR_ARRAY_TYPE, GL_COLOR_ARRAY_STRIDE,
             GL_COLOR_ARRAY_BUFFER_BINDING, GL_COLOR_ARRAY_POINTER},
            {GL_SECONDARY_COLOR_ARRAY, GL_SECONDARY_COLOR_ARRAY_SIZE, GL_SECONDARY_COLOR_ARRAY_TYPE,
             GL_SECONDARY_COLOR_ARRAY_STRIDE, GL_SECONDARY_COLOR_ARRAY_BUFFER_BINDING,
             GL_SECONDARY_COLOR_ARRAY_POINTER},
            {GL_FOG_COORD_ARRAY, 0, GL_FOG_COORD_ARRAY_TYPE, GL_FOG_COORD_ARRAY_STRIDE,
             GL_FOG_COORD_ARRAY_BUFFER_BINDING, GL_FOG_COORD_ARRAY_POINTER},
            {GL_INDEX_ARRAY, 0, GL_INDEX_ARRAY_TYPE, GL_INDEX_ARRAY_STRIDE, GL_INDEX_ARRAY_BUFFER_BINDING,
             GL_INDEX_ARRAY_POINTER},
            {GL_EDGE_FLAG_ARRAY, 0, 0, GL_EDGE_FLAG_ARRAY_STRIDE, GL_EDGE_FLAG_ARRAY_BUFFER_BINDING,
             GL_EDGE_FLAG_ARRAY_POINTER},
            {GL_TEXTURE_COORD_ARRAY, GL_TEXTURE_COORD_ARRAY_SIZE, GL_TEXTURE_COORD_ARRAY_TYPE,
             GL_TEXTURE_COORD_ARRAY_STRIDE, GL_TEXTURE_COORD_ARRAY_BUFFER_BINDING, GL_TEXTURE_COORD_ARRAY_POINTER},
        };

        GLint getInteger(GLenum pname)
        {
            GLint value = 0;
            if (pname != 0)
                glGetIntegerv(pname, &value);
            return value;
        }

        // Vertex array objects and integer attributes came with GL 3.0,
        // divisors with 3.3.
        bool hasVertexArrayObjects()
        {
            static const bool has = epoxy_gl_version() >= 30 || epoxy_has_gl_extension("GL_ARB_vertex_array_object");
            return has;
        }

        bool hasIntegerAttributes()
        {
            static const bool has = epoxy_gl_version() >= 30;
            return has;
        }

        bool hasDivisors()
        {
            static const bool has = epoxy_gl_version() >= 33;
            return has;
        }
    }

    ScopedNoClientArrays::ScopedNoClientArrays()
    {
        vertexArrayObject = hasVertexArrayObjects() ? getInteger(GL_VERTEX_ARRAY_BINDING) : 0;
        arrayBuffer = getInteger(GL_ARRAY_BUFFER_BINDING);
        clientActiveTexture = getInteger(GL_CLIENT_ACTIVE_TEXTURE);
        const GLint units = getInteger(GL_MAX_TEXTURE_COORDS);
        const GLint attributes = getInteger(GL_MAX_VERTEX_ATTRIBS);
        arrays.reserve(static_cast<std::size_t>(std::size(fixedArrays) - 1 + units + attributes));

        for (const FixedArray& fixed : fixedArrays)
        {
            const bool perUnit = fixed.array == GL_TEXTURE_COORD_ARRAY;
            for (GLint unit = 0; unit < (perUnit ? units : 1); ++unit)
            {
                if (perUnit)
                    glClientActiveTexture(static_cast<GLenum>(GL_TEXTURE0 + unit));
                Array a;
                a.array = fixed.array;
                a.index = static_cast<unsigned int>(unit);
                a.enabled = glIsEnabled(fixed.array) == GL_TRUE;
                a.size = getInteger(fixed.size);
                a.type = getInteger(fixed.type);
                a.stride = getInteger(fixed.stride);
                a.buffer = static_cast<unsigned int>(getInteger(fixed.buffer));
                glGetPointerv(fixed.pointer, &a.pointer);
                if (a.enabled)
                    glDisableClientState(fixed.array);
                arrays.push_back(a);
            }
        }
        glClientActiveTexture(static_cast<GLenum>(clientActiveTexture));

        for (GLuint index = 0; index < static_cast<GLuint>(attributes); ++index)
        {
            const auto query = [index](GLenum pname)
            {
                GLint value = 0;
                glGetVertexAttribiv(index, pname, &value);
                return value;
            };
            Array a;
            a.index = index;
            a.enabled = query(GL_VERTEX_ATTRIB_ARRAY_ENABLED) != 0;
            a.size = query(GL_VERTEX_ATTRIB_ARRAY_SIZE);
            a.type = query(GL_VERTEX_ATTRIB_ARRAY_TYPE);
            a.stride = query(GL_VERTEX_ATTRIB_ARRAY_STRIDE);
            a.normalized = query(GL_VERTEX_ATTRIB_ARRAY_NORMALIZED);
            a.integer = hasIntegerAttributes() ? query(GL_VERTEX_ATTRIB_ARRAY_INTEGER) : 0;
            a.divisor = hasDivisors() ? query(GL_VERTEX_ATTRIB_ARRAY_DIVISOR) : 0;
            a.buffer = static_cast<unsigned int>(query(GL_VERTEX_ATTRIB_ARRAY_BUFFER_BINDING));
            glGetVertexAttribPointerv(index, GL_VERTEX_ATTRIB_ARRAY_POINTER, &a.pointer);
            if (a.enabled)
                glDisableVertexAttribArray(index);
            arrays.push_back(a);
        }
    }

    ScopedNoClientArrays::~ScopedNoClientArrays()
    {
        // The arrays are the vertex array object's state: its own first.
        if (hasVertexArrayObjects() && getInteger(GL_VERTEX_ARRAY_BINDING) != vertexArrayObject)
            glBindVertexArray(static_cast<GLuint>(vertexArrayObject));
        for (const Array& a : arrays)
        {
            // Each pointer takes the array buffer bound when it is set.
            glBindBuffer(GL_ARRAY_BUFFER, a.buffer);
            const auto type = static_cast<GLenum>(a.type);
            switch (a.array)
            {
                case GL_VERTEX_ARRAY:
                    glVertexPointer(a.size, type, a.stride, a.pointer);
                    break;
                case GL_NORMAL_ARRAY:
                    glNormalPointer(type, a.stride, a.pointer);
                    break;
                case GL_COLOR_ARRAY:
                    glColorPointer(a.size, type, a.stride, a.pointer);
                    break;
                case GL_SECONDARY_COLOR_ARRAY:
                    glSecondaryColorPointer(a.size, type, a.stride, a.pointer);
                    break;
                case GL_FOG_COORD_ARRAY:
                    glFogCoordPointer(type, a.stride, a.pointer);
                    break;
                case GL_INDEX_ARRAY:
                    glIndexPointer(type, a.stride, a.pointer);
                    break;
                case GL_EDGE_FLAG_ARRAY:
                    glEdgeFlagPointer(a.stride, a.pointer);
                    break;
                case GL_TEXTURE_COORD_ARRAY:
                    glClientActiveTexture(static_cast<GLenum>(GL_TEXTURE0 + a.index));
                    glTexCoordPointer(a.size, type, a.stride, a.pointer);
                    break;
                default:
                    if (a.integer != 0)
                        glVertexAttribIPointer(a.index, a.size, type, a.stride, a.pointer);
                    else
                        glVertexAttribPointer(a.index, a.size, type, static_cast<GLboolean>(a.normalized), a.stride,
                                              a.pointer);
                    if (hasDivisors())
                        glVertexAttribDivisor(a.index, static_cast<GLuint>(a.divisor));
                    if (a.enabled)
                        glEnableVertexAttribArray(a.index);
                    else
                        glDisableVertexAttribArray(a.index);
                    continue;
            }
            if (a.enabled)
                glEnableClientState(a.array);
            else
                glDisableClientState(a.array);
        }
        glClientActiveTexture(static_cast<GLenum>(clientActiveTexture));
        glBindBuffer(GL_ARRAY_BUFFER, static_cast<GLuint>(arrayBuffer));
    }
}
