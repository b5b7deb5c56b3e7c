#include "VXHostGLState.h"

#include <epoxy/gl.h>

#include <cstdint>
#include <cstdio>
#include <initializer_list>

namespace vx::host
{
    namespace
    {
        void addIntegers(std::vector<HostGLState::Entry>& entries, const char* name, GLenum pname, int count)
        {
            GLint values[16] = {};
            glGetIntegerv(pname, values);
            HostGLState::Entry entry{name, {}};
            for (int i = 0; i < count; ++i)
                entry.values.push_back(values[i]);
            entries.push_back(entry);
        }

        void addFloats(std::vector<HostGLState::Entry>& entries, const char* name, GLenum pname, int count)
        {
            GLfloat values[16] = {};
            glGetFloatv(pname, values);
            HostGLState::Entry entry{name, {}};
            for (int i = 0; i < count; ++i)
                entry.values.push_back(values[i]);
            entries.push_back(entry);
        }

        void addEnabled(std::vector<HostGLState::Entry>& entries, const char* name, GLenum capability)
        {
            entries.push_back({name, {glIsEnabled(capability) ? 1.0 : 0.0}});
        }

        // A buffer by object, not only by name: whether the name is a buffer
        // (a name deleted while an unbound vertex array object holds the
        // buffer is not) and its size. Binding the name again would make a
        // new, empty buffer of it.
        void addBufferObject(HostGLState::Entry& entry, GLint name)
        {
            const bool isBuffer = name != 0 && glIsBuffer(static_cast<GLuint>(name));
            GLint64 size = 0;
            if (isBuffer && epoxy_gl_version() >= 45)
                glGetNamedBufferParameteri64v(static_cast<GLuint>(name), GL_BUFFER_SIZE, &size);
            entry.values.insert(entry.values.end(), {isBuffer ? 1.0 : 0.0, static_cast<double>(size)});
        }

        void addBuffer(std::vector<HostGLState::Entry>& entries, const char* name, GLenum pname)
        {
            GLint buffer = 0;
            glGetIntegerv(pname, &buffer);
            HostGLState::Entry entry{name, {static_cast<double>(buffer)}};
            addBufferObject(entry, buffer);
            entries.push_back(entry);
        }

        // Enabled, buffer, pointer, then the layout queries that exist for
        // the array (0 where one does not).
        void addClientArray(std::vector<HostGLState::Entry>& entries, const std::string& name, GLenum array,
                            GLenum buffer, GLenum pointerName, std::initializer_list<GLenum> layout)
        {
            void* pointer = nullptr;
            glGetPointerv(pointerName, &pointer);
            HostGLState::Entry entry{
                name,
                {glIsEnabled(array) ? 1.0 : 0.0, 0.0, static_cast<double>(reinterpret_cast<std::uintptr_t>(pointer))}};
            GLint value = 0;
            glGetIntegerv(buffer, &value);
            entry.values[1] = value;
            addBufferObject(entry, value);
            for (const GLenum pname : layout)
            {
                value = 0;
                if (pname != 0)
                    glGetIntegerv(pname, &value);
                entry.values.push_back(value);
            }
            entries.push_back(entry);
        }

        // Every fixed-function array, the texture coordinates of each client
        // unit and each generic attribute array (its format and, with GL 4.3,
        // the vertex buffer binding it reads), then (GL 4.4) each vertex
        // buffer binding: buffer, offset, stride, divisor.
        void addClientArrays(std::vector<HostGLState::Entry>& e)
        {
            addClientArray(e, "vertex array", GL_VERTEX_ARRAY, GL_VERTEX_ARRAY_BUFFER_BINDING, GL_VERTEX_ARRAY_POINTER,
                           {GL_VERTEX_ARRAY_SIZE, GL_VERTEX_ARRAY_TYPE, GL_VERTEX_ARRAY_STRIDE});
            addClientArray(e, "normal array", GL_NORMAL_ARRAY, GL_NORMAL_ARRAY_BUFFER_BINDING, GL_NORMAL_ARRAY_POINTER,
                           {0, GL_NORMAL_ARRAY_TYPE, GL_NORMAL_ARRAY_STRIDE});
            addClientArray(e, "colour array", GL_COLOR_ARRAY, GL_COLOR_ARRAY_BUFFER_BINDING, GL_COLOR_ARRAY_POINTER,
                           {GL_COLOR_ARRAY_SIZE, GL_COLOR_ARRAY_TYPE, GL_COLOR_ARRAY_STRIDE});
            addClientArray(
                e, "secondary colour array", GL_SECONDARY_COLOR_ARRAY, GL_SECONDARY_COLOR_ARRAY_BUFFER_BINDING,
                GL_SECONDARY_COLOR_ARRAY_POINTER,
                {GL_SECONDARY_COLOR_ARRAY_SIZE, GL_SECONDARY_COLOR_ARRAY_TYPE, GL_SECONDARY_COLOR_ARRAY_STRIDE});
            addClientArray(e, "fog coordinate array", GL_FOG_COORD_ARRAY, GL_FOG_COORD_ARRAY_BUFFER_BINDING,
                           GL_FOG_COORD_ARRAY_POINTER, {0, GL_FOG_COORD_ARRAY_TYPE, GL_FOG_COORD_ARRAY_STRIDE});
            addClientArray(e, "colour index array", GL_INDEX_ARRAY, GL_INDEX_ARRAY_BUFFER_BINDING,
                           GL_INDEX_ARRAY_POINTER, {0, GL_INDEX_ARRAY_TYPE, GL_INDEX_ARRAY_STRIDE});
            addClientArray(e, "edge flag array", GL_EDGE_FLAG_ARRAY, GL_EDGE_FLAG_ARRAY_BUFFER_BINDING,
                           GL_EDGE_FLAG_ARRAY_POINTER, {0, 0, GL_EDGE_FLAG_ARRAY_STRIDE});

            GLint clientUnit = GL_TEXTURE0, units = 1;
            glGetIntegerv(GL_CLIENT_ACTIVE_TEXTURE, &clientUnit);
            glGetIntegerv(GL_MAX_TEXTURE_COORDS, &units);
            for (GLint unit = 0; unit < units; ++unit)
            {
                glClientActiveTexture(static_cast<GLenum>(GL_TEXTURE0 + unit));
                addClientArray(
                    e, "texture coordinate array of client unit " + std::to_string(unit), GL_TEXTURE_COORD_ARRAY,
                    GL_TEXTURE_COORD_ARRAY_BUFFER_BINDING, GL_TEXTURE_COORD_ARRAY_POINTER,
                    {GL_TEXTURE_COORD_ARRAY_SIZE, GL_TEXTURE_COORD_ARRAY_TYPE, GL_TEXTURE_COORD_ARRAY_STRIDE});
            }
            glClientActiveTexture(static_cast<GLenum>(clientUnit));

            GLint attributes = 0;
            glGetIntegerv(GL_MAX_VERTEX_ATTRIBS, &attributes);
            for (GLint index = 0; index < attributes; ++index)
            {
                const auto i = static_cast<GLuint>(index);
                HostGLState::Entry entry{"vertex attribute array " + std::to_string(index), {}};
                const auto add = [&entry, i](GLenum pname)
                {
                    GLint value = 0;
                    glGetVertexAttribiv(i, pname, &value);
                    entry.values.push_back(value);
                    return value;
                };
                add(GL_VERTEX_ATTRIB_ARRAY_ENABLED);
                addBufferObject(entry, add(GL_VERTEX_ATTRIB_ARRAY_BUFFER_BINDING));
                for (const GLenum pname : {GL_VERTEX_ATTRIB_ARRAY_SIZE, GL_VERTEX_ATTRIB_ARRAY_TYPE,
                                           GL_VERTEX_ATTRIB_ARRAY_STRIDE, GL_VERTEX_ATTRIB_ARRAY_NORMALIZED,
                                           GL_VERTEX_ATTRIB_ARRAY_INTEGER, GL_VERTEX_ATTRIB_ARRAY_DIVISOR})
                    add(pname);
                if (epoxy_gl_version() >= 41)
                    add(GL_VERTEX_ATTRIB_ARRAY_LONG);
                if (epoxy_gl_version() >= 43)
                    for (const GLenum pname : {GL_VERTEX_ATTRIB_RELATIVE_OFFSET, GL_VERTEX_ATTRIB_BINDING})
                        add(pname);
                void* pointer = nullptr;
                glGetVertexAttribPointerv(i, GL_VERTEX_ATTRIB_ARRAY_POINTER, &pointer);
                entry.values.push_back(static_cast<double>(reinterpret_cast<std::uintptr_t>(pointer)));
                e.push_back(entry);
            }

            GLint bindings = 0;
            if (epoxy_gl_version() >= 44) // a binding point's buffer is asked for from 4.4
                glGetIntegerv(GL_MAX_VERTEX_ATTRIB_BINDINGS, &bindings);
            for (GLint index = 0; index < bindings; ++index)
            {
                const auto i = static_cast<GLuint>(index);
                GLint buffer = 0, stride = 0, divisor = 0;
                GLint64 offset = 0;
                glGetIntegeri_v(GL_VERTEX_BINDING_BUFFER, i, &buffer);
                glGetInteger64i_v(GL_VERTEX_BINDING_OFFSET, i, &offset);
                glGetIntegeri_v(GL_VERTEX_BINDING_STRIDE, i, &stride);
                glGetIntegeri_v(GL_VERTEX_BINDING_DIVISOR, i, &divisor);
                HostGLState::Entry entry{"vertex buffer binding " + std::to_string(index),
                                         {static_cast<double>(buffer)}};
                addBufferObject(entry, buffer);
                entry.values.insert(entry.values.end(), {static_cast<double>(offset), static_cast<double>(stride),
                                                         static_cast<double>(divisor)});
                e.push_back(entry);
            }
        }

        void addTextureEnvironment(std::vector<HostGLState::Entry>& entries, const char* name,
                                   std::initializer_list<GLenum> pnames)
        {
            HostGLState::Entry entry{name, {}};
            for (const GLenum pname : pnames)
            {
                GLfloat values[4] = {};
                glGetTexEnvfv(GL_TEXTURE_ENV, pname, values);
                for (int i = 0; i < (pname == GL_TEXTURE_ENV_COLOR ? 4 : 1); ++i)
                    entry.values.push_back(values[i]);
            }
            entries.push_back(entry);
        }

        // Unit 0's texture matrix and stack depth, whichever unit is active.
        void addTextureMatrixOfUnitZero(std::vector<HostGLState::Entry>& entries)
        {
            GLint active = GL_TEXTURE0;
            glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
            glActiveTexture(GL_TEXTURE0);
            addFloats(entries, "texture matrix of unit 0", GL_TEXTURE_MATRIX, 16);
            addIntegers(entries, "texture stack depth of unit 0", GL_TEXTURE_STACK_DEPTH, 1);
            glActiveTexture(static_cast<GLenum>(active));
        }

        // The sampler object bound to each texture unit (GL 3.3).
        void addSamplerBindings(std::vector<HostGLState::Entry>& entries)
        {
            if (epoxy_gl_version() < 33)
                return;
            GLint active = GL_TEXTURE0, units = 0;
            glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
            glGetIntegerv(GL_MAX_COMBINED_TEXTURE_IMAGE_UNITS, &units);
            HostGLState::Entry entry{"sampler objects of the texture units", {}};
            for (GLint unit = 0; unit < units; ++unit)
            {
                glActiveTexture(static_cast<GLenum>(GL_TEXTURE0 + unit));
                GLint sampler = 0;
                glGetIntegerv(GL_SAMPLER_BINDING, &sampler);
                entry.values.push_back(sampler);
            }
            glActiveTexture(static_cast<GLenum>(active));
            entries.push_back(entry);
        }

        // Each draw buffer's attachment and blending (enabled, factors,
        // equations; per buffer from GL 4.0), and the read buffer of the
        // read framebuffer and of the draw framebuffer.
        void addDrawBuffers(std::vector<HostGLState::Entry>& entries)
        {
            GLint buffers = 0;
            glGetIntegerv(GL_MAX_DRAW_BUFFERS, &buffers);
            for (GLint index = 0; index < buffers; ++index)
            {
                const auto i = static_cast<GLuint>(index);
                HostGLState::Entry entry{"draw buffer " + std::to_string(index), {}};
                GLint value = 0;
                glGetIntegerv(static_cast<GLenum>(GL_DRAW_BUFFER0 + index), &value);
                entry.values.push_back(value);
                if (epoxy_gl_version() >= 30)
                    entry.values.push_back(glIsEnabledi(GL_BLEND, i) ? 1.0 : 0.0);
                if (epoxy_gl_version() >= 40)
                    for (const GLenum pname : {GL_BLEND_SRC_RGB, GL_BLEND_DST_RGB, GL_BLEND_SRC_ALPHA,
                                               GL_BLEND_DST_ALPHA, GL_BLEND_EQUATION_RGB, GL_BLEND_EQUATION_ALPHA})
                    {
                        glGetIntegeri_v(pname, i, &value);
                        entry.values.push_back(value);
                    }
                entries.push_back(entry);
            }
            addIntegers(entries, "read buffer", GL_READ_BUFFER, 1);
            GLint drawFramebuffer = 0, readFramebuffer = 0;
            glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &drawFramebuffer);
            glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &readFramebuffer);
            glBindFramebuffer(GL_READ_FRAMEBUFFER, static_cast<GLuint>(drawFramebuffer));
            addIntegers(entries, "read buffer of the draw framebuffer", GL_READ_BUFFER, 1);
            glBindFramebuffer(GL_READ_FRAMEBUFFER, static_cast<GLuint>(readFramebuffer));
        }

        // What decides whether a primitive reaches the framebuffer at all.
        void addRasterization(std::vector<HostGLState::Entry>& entries)
        {
            addIntegers(entries, "depth function", GL_DEPTH_FUNC, 1);
            addIntegers(entries, "culled faces", GL_CULL_FACE_MODE, 1);
            addIntegers(entries, "front face", GL_FRONT_FACE, 1);
            addIntegers(entries, "polygon mode", GL_POLYGON_MODE, 2);
            if (epoxy_gl_version() >= 30)
                addEnabled(entries, "rasterizer discard", GL_RASTERIZER_DISCARD);
            if (epoxy_gl_version() >= 32)
            {
                addEnabled(entries, "sample mask", GL_SAMPLE_MASK);
                GLint mask = 0;
                glGetIntegeri_v(GL_SAMPLE_MASK_VALUE, 0, &mask);
                entries.push_back({"sample mask word 0", {static_cast<double>(static_cast<GLuint>(mask))}});
            }
            if (epoxy_gl_version() >= 45)
            {
                addIntegers(entries, "clip origin", GL_CLIP_ORIGIN, 1);
                addIntegers(entries, "clip depth mode", GL_CLIP_DEPTH_MODE, 1);
            }
            GLint planes = 0;
            glGetIntegerv(GL_MAX_CLIP_PLANES, &planes);
            HostGLState::Entry clipPlanes{"clip planes enabled", {}};
            for (GLint plane = 0; plane < planes; ++plane)
                clipPlanes.values.push_back(glIsEnabled(static_cast<GLenum>(GL_CLIP_PLANE0 + plane)) ? 1.0 : 0.0);
            entries.push_back(clipPlanes);
            if (epoxy_gl_version() >= 40)
            {
                addIntegers(entries, "transform feedback active", GL_TRANSFORM_FEEDBACK_ACTIVE, 1);
                addIntegers(entries, "transform feedback paused", GL_TRANSFORM_FEEDBACK_PAUSED, 1);
            }
        }

        // Unit 0's texture coordinate generation, whichever unit is active.
        void addTextureGenerationOfUnitZero(std::vector<HostGLState::Entry>& entries)
        {
            GLint active = GL_TEXTURE0;
            glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
            glActiveTexture(GL_TEXTURE0);
            HostGLState::Entry entry{"texture generation of unit 0", {}};
            for (const GLenum coordinate : {GL_TEXTURE_GEN_S, GL_TEXTURE_GEN_T, GL_TEXTURE_GEN_R, GL_TEXTURE_GEN_Q})
                entry.values.push_back(glIsEnabled(coordinate) ? 1.0 : 0.0);
            glActiveTexture(static_cast<GLenum>(active));
            entries.push_back(entry);
        }

        std::string format(const std::vector<double>& values)
        {
            std::string text;
            for (std::size_t i = 0; i < values.size(); ++i)
            {
                char number[32];
                std::snprintf(number, sizeof number, "%s%g", i == 0 ? "" : " ", values[i]);
                text += number;
            }
            return values.size() > 1 ? "(" + text + ")" : text;
        }
    }

    void HostGLState::handOver(unsigned int framebuffer, int width, int height)
    {
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
        glViewport(0, 0, width, height);
        for (const GLenum mode : {GL_TEXTURE, GL_PROJECTION, GL_MODELVIEW})
        {
            glMatrixMode(mode);
            glLoadIdentity();
        }
        glUseProgram(0);
        glActiveTexture(GL_TEXTURE0);
        glClientActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, 0);
        glBindBuffer(GL_ARRAY_BUFFER, 0);
        glDisable(GL_TEXTURE_2D);
        glDisable(GL_BLEND);
        glBlendFunc(GL_ONE, GL_ZERO);
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_SCISSOR_TEST);
        glDisable(GL_CULL_FACE);
        glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    }

    HostGLState HostGLState::capture()
    {
        HostGLState state;
        auto& e = state.entries;
        addIntegers(e, "viewport", GL_VIEWPORT, 4);
        addIntegers(e, "matrix mode", GL_MATRIX_MODE, 1);
        addFloats(e, "modelview matrix", GL_MODELVIEW_MATRIX, 16);
        addFloats(e, "projection matrix", GL_PROJECTION_MATRIX, 16);
        addIntegers(e, "modelview stack depth", GL_MODELVIEW_STACK_DEPTH, 1);
        addIntegers(e, "projection stack depth", GL_PROJECTION_STACK_DEPTH, 1);
        addIntegers(e, "attribute stack depth", GL_ATTRIB_STACK_DEPTH, 1);
        addIntegers(e, "client attribute stack depth", GL_CLIENT_ATTRIB_STACK_DEPTH, 1);
        addIntegers(e, "draw framebuffer", GL_DRAW_FRAMEBUFFER_BINDING, 1);
        addIntegers(e, "read framebuffer", GL_READ_FRAMEBUFFER_BINDING, 1);
        addIntegers(e, "program", GL_CURRENT_PROGRAM, 1);
        addIntegers(e, "active texture unit", GL_ACTIVE_TEXTURE, 1);
        addIntegers(e, "client active texture unit", GL_CLIENT_ACTIVE_TEXTURE, 1);
        addIntegers(e, "array buffer", GL_ARRAY_BUFFER_BINDING, 1);
        addIntegers(e, "vertex array object", GL_VERTEX_ARRAY_BINDING, 1);
        addBuffer(e, "element array buffer", GL_ELEMENT_ARRAY_BUFFER_BINDING);
        addIntegers(e, "pixel pack buffer", GL_PIXEL_PACK_BUFFER_BINDING, 1);
        addIntegers(e, "pixel unpack buffer", GL_PIXEL_UNPACK_BUFFER_BINDING, 1);
        addIntegers(e, "2D texture of the active unit", GL_TEXTURE_BINDING_2D, 1);
        addFloats(e, "texture matrix of the active unit", GL_TEXTURE_MATRIX, 16);
        addIntegers(e, "texture stack depth of the active unit", GL_TEXTURE_STACK_DEPTH, 1);
        addTextureMatrixOfUnitZero(e);
        addTextureGenerationOfUnitZero(e);
        addSamplerBindings(e);
        addEnabled(e, "2D texturing", GL_TEXTURE_2D);
        addTextureEnvironment(e, "texture environment of the active unit", {GL_TEXTURE_ENV_MODE, GL_TEXTURE_ENV_COLOR});
        addTextureEnvironment(e, "combiner of the active unit",
                              {GL_COMBINE_RGB, GL_COMBINE_ALPHA, GL_SRC0_RGB, GL_SRC1_RGB, GL_SRC2_RGB, GL_SRC0_ALPHA,
                               GL_SRC1_ALPHA, GL_SRC2_ALPHA, GL_OPERAND0_RGB, GL_OPERAND1_RGB, GL_OPERAND2_RGB,
                               GL_OPERAND0_ALPHA, GL_OPERAND1_ALPHA, GL_OPERAND2_ALPHA, GL_RGB_SCALE, GL_ALPHA_SCALE});
        addFloats(e, "current texture coordinates of the active unit", GL_CURRENT_TEXTURE_COORDS, 4);
        addEnabled(e, "blending", GL_BLEND);
        addIntegers(e, "blend source colour", GL_BLEND_SRC_RGB, 1);
        addIntegers(e, "blend destination colour", GL_BLEND_DST_RGB, 1);
        addIntegers(e, "blend source alpha", GL_BLEND_SRC_ALPHA, 1);
        addIntegers(e, "blend destination alpha", GL_BLEND_DST_ALPHA, 1);
        addIntegers(e, "blend equation colour", GL_BLEND_EQUATION_RGB, 1);
        addIntegers(e, "blend equation alpha", GL_BLEND_EQUATION_ALPHA, 1);
        addDrawBuffers(e);
        addEnabled(e, "depth test", GL_DEPTH_TEST);
        addEnabled(e, "scissor test", GL_SCISSOR_TEST);
        addIntegers(e, "scissor box", GL_SCISSOR_BOX, 4);
        addEnabled(e, "stencil test", GL_STENCIL_TEST);
        addEnabled(e, "face culling", GL_CULL_FACE);
        addEnabled(e, "lighting", GL_LIGHTING);
        addRasterization(e);
        addFloats(e, "current colour", GL_CURRENT_COLOR, 4);
        addFloats(e, "clear colour", GL_COLOR_CLEAR_VALUE, 4);
        addFloats(e, "clear depth", GL_DEPTH_CLEAR_VALUE, 1);
        addIntegers(e, "colour write mask", GL_COLOR_WRITEMASK, 4);
        addIntegers(e, "depth write mask", GL_DEPTH_WRITEMASK, 1);
        addClientArrays(e);
        addIntegers(e, "pack alignment", GL_PACK_ALIGNMENT, 1);
        addIntegers(e, "unpack alignment", GL_UNPACK_ALIGNMENT, 1);
        return state;
    }

    std::vector<std::string> HostGLState::differencesTo(const HostGLState& after) const
    {
        std::vector<std::string> lines;
        for (std::size_t i = 0; i < entries.size() && i < after.entries.size(); ++i)
            if (entries[i].values != after.entries[i].values)
                lines.push_back(entries[i].name + ": " + format(entries[i].values) + " -> " +
                                format(after.entries[i].values));
        return lines;
    }
}
