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
        // divisors with 3.3, 64-bit attributes with 4.1, separate attribute
        // formats and vertex buffer bindings with 4.3, and the query of a
        // binding point's buffer with 4.4. Below 4.4 an attribute the scope
        // set comes back through its pointer alone.
        struct Features
        {
            bool vertexArrayObjects, integerAttributes, divisors, longAttributes, vertexBufferBindings;
        };

        // Asked once, of the context current in the first scope.
        const Features& features()
        {
            static const Features asked{
                epoxy_gl_version() >= 30 || epoxy_has_gl_extension("GL_ARB_vertex_array_object"),
                epoxy_gl_version() >= 30, epoxy_gl_version() >= 33, epoxy_gl_version() >= 41, epoxy_gl_version() >= 44};
            return asked;
        }

        using Array = ScopedNoClientArrays::Array;
        using Binding = ScopedNoClientArrays::Binding;

        // The bound vertex array object's arrays; the client active texture
        // unit is left as it was.
        std::vector<Array> queryArrays()
        {
            const GLint clientActiveTexture = getInteger(GL_CLIENT_ACTIVE_TEXTURE);
            const GLint units = getInteger(GL_MAX_TEXTURE_COORDS);
            const GLint attributes = getInteger(GL_MAX_VERTEX_ATTRIBS);
            std::vector<Array> arrays;
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
                a.integer = features().integerAttributes ? query(GL_VERTEX_ATTRIB_ARRAY_INTEGER) : 0;
                a.isLong = features().longAttributes ? query(GL_VERTEX_ATTRIB_ARRAY_LONG) : 0;
                a.divisor = features().divisors ? query(GL_VERTEX_ATTRIB_ARRAY_DIVISOR) : 0;
                if (features().vertexBufferBindings)
                {
                    a.relativeOffset = query(GL_VERTEX_ATTRIB_RELATIVE_OFFSET);
                    a.binding = query(GL_VERTEX_ATTRIB_BINDING);
                }
                a.buffer = static_cast<unsigned int>(query(GL_VERTEX_ATTRIB_ARRAY_BUFFER_BINDING));
                glGetVertexAttribPointerv(index, GL_VERTEX_ATTRIB_ARRAY_POINTER, &a.pointer);
                arrays.push_back(a);
            }
            return arrays;
        }

        std::vector<Binding> queryBindings()
        {
            std::vector<Binding> bindings;
            if (! features().vertexBufferBindings)
                return bindings;
            const GLint count = getInteger(GL_MAX_VERTEX_ATTRIB_BINDINGS);
            for (GLuint index = 0; index < static_cast<GLuint>(count); ++index)
            {
                const auto query = [index](GLenum pname)
                {
                    GLint value = 0;
                    glGetIntegeri_v(pname, index, &value);
                    return value;
                };
                Binding b;
                b.buffer = static_cast<unsigned int>(query(GL_VERTEX_BINDING_BUFFER));
                GLint64 offset = 0;
                glGetInteger64i_v(GL_VERTEX_BINDING_OFFSET, index, &offset);
                b.offset = offset;
                b.stride = query(GL_VERTEX_BINDING_STRIDE);
                b.divisor = query(GL_VERTEX_BINDING_DIVISOR);
                bindings.push_back(b);
            }
            return bindings;
        }

        // What one pointer call sets: the layout, the buffer and the pointer.
        bool samePointer(const Array& a, const Array& b)
        {
            return a.size == b.size && a.type == b.type && a.stride == b.stride && a.normalized == b.normalized &&
                   a.integer == b.integer && a.isLong == b.isLong && a.buffer == b.buffer && a.pointer == b.pointer;
        }

        // Each pointer takes the array buffer bound when it is set. A
        // generic attribute's pointer also makes it read from the binding
        // point of its own index at relative offset 0 (with GL 4.3).
        void setPointer(const Array& a)
        {
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
                    if (a.isLong != 0)
                        glVertexAttribLPointer(a.index, a.size, type, a.stride, a.pointer);
                    else if (a.integer != 0)
                        glVertexAttribIPointer(a.index, a.size, type, a.stride, a.pointer);
                    else
                        glVertexAttribPointer(a.index, a.size, type, static_cast<GLboolean>(a.normalized), a.stride,
                                              a.pointer);
                    break;
            }
        }

        // The attribute's separate format and the binding point it reads.
        void setFormat(const Array& a)
        {
            const auto type = static_cast<GLenum>(a.type);
            const auto offset = static_cast<GLuint>(a.relativeOffset);
            if (a.isLong != 0)
                glVertexAttribLFormat(a.index, a.size, type, offset);
            else if (a.integer != 0)
                glVertexAttribIFormat(a.index, a.size, type, offset);
            else
                glVertexAttribFormat(a.index, a.size, type, static_cast<GLboolean>(a.normalized), offset);
            glVertexAttribBinding(a.index, static_cast<GLuint>(a.binding));
        }

        void setEnabled(const Array& a, bool enabled)
        {
            if (a.array == 0)
            {
                if (enabled)
                    glEnableVertexAttribArray(a.index);
                else
                    glDisableVertexAttribArray(a.index);
                return;
            }
            if (a.array == GL_TEXTURE_COORD_ARRAY)
                glClientActiveTexture(static_cast<GLenum>(GL_TEXTURE0 + a.index));
            if (enabled)
                glEnableClientState(a.array);
            else
                glDisableClientState(a.array);
        }
    }

    ScopedNoClientArrays::ScopedNoClientArrays()
    {
        if (features().vertexArrayObjects)
        {
            vertexArrayObject = getInteger(GL_VERTEX_ARRAY_BINDING);
            if (vertexArrayObject != 0)
                glBindVertexArray(0);
        }
        elementBuffer = getInteger(GL_ELEMENT_ARRAY_BUFFER_BINDING);
        arrayBuffer = getInteger(GL_ARRAY_BUFFER_BINDING);
        clientActiveTexture = getInteger(GL_CLIENT_ACTIVE_TEXTURE);
        arrays = queryArrays();
        bindings = queryBindings();
        for (const Array& a : arrays)
            if (a.enabled)
                setEnabled(a, false);
        glClientActiveTexture(static_cast<GLenum>(clientActiveTexture));
    }

    ScopedNoClientArrays::~ScopedNoClientArrays()
    {
        // The arrays are the zero object's: it is bound for all of them.
        if (features().vertexArrayObjects && getInteger(GL_VERTEX_ARRAY_BINDING) != 0)
            glBindVertexArray(0);

        // Set again only what the scope changed: setting names a buffer by
        // its name, which for one deleted after it was attached would make a
        // new, empty buffer.
        const std::vector<Array> found = queryArrays();
        for (std::size_t i = 0; i < arrays.size(); ++i)
            if (! samePointer(found[i], arrays[i]))
                setPointer(arrays[i]);

        if (features().vertexBufferBindings)
        {
            // After the pointers, which rebind their own points.
            const std::vector<Binding> current = queryBindings();
            for (std::size_t i = 0; i < bindings.size(); ++i)
            {
                const Binding& b = bindings[i];
                if (current[i] == b)
                    continue;
                const auto index = static_cast<GLuint>(i);
                if (current[i].buffer != b.buffer || current[i].offset != b.offset || current[i].stride != b.stride)
                    glBindVertexBuffer(index, b.buffer, static_cast<GLintptr>(b.offset), b.stride);
                glVertexBindingDivisor(index, static_cast<GLuint>(b.divisor));
            }
            for (std::size_t i = 0; i < arrays.size(); ++i)
            {
                const Array& a = arrays[i];
                if (a.array == 0 && (! samePointer(found[i], a) || found[i].relativeOffset != a.relativeOffset ||
                                     found[i].binding != a.binding))
                    setFormat(a);
            }
        }
        else if (features().divisors)
        {
            for (std::size_t i = 0; i < arrays.size(); ++i)
                if (arrays[i].array == 0 && found[i].divisor != arrays[i].divisor)
                    glVertexAttribDivisor(arrays[i].index, static_cast<GLuint>(arrays[i].divisor));
        }

        for (std::size_t i = 0; i < arrays.size(); ++i)
            if (found[i].enabled != arrays[i].enabled)
                setEnabled(arrays[i], arrays[i].enabled);

        if (getInteger(GL_ELEMENT_ARRAY_BUFFER_BINDING) != elementBuffer)
            glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLuint>(elementBuffer));
        glClientActiveTexture(static_cast<GLenum>(clientActiveTexture));
        if (getInteger(GL_ARRAY_BUFFER_BINDING) != arrayBuffer)
            glBindBuffer(GL_ARRAY_BUFFER, static_cast<GLuint>(arrayBuffer));
        if (vertexArrayObject != 0)
            glBindVertexArray(static_cast<GLuint>(vertexArrayObject));
    }
}
