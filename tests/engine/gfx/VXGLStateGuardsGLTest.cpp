// The GL state guards put back what they borrowed, in GL and in the binding
// cache of the current context's renderer, so that binds made through the
// cache inside a guard's scope never leave it recording what GL no longer has
// (the texture-unit guard is exercised by the repeated pixel read-back).

#include "engine/gfx/VXGfxUtils.h"
#include "engine/gfx/VXRenderTargetTestSupport.h"
#include "engine/gfx/VXScopedCurrentColor.h"
#include "engine/gfx/VXScopedNoClientArrays.h"
#include "engine/gfx/VXScopedProgram.h"
#include "engine/gfx/VXScopedRenderState.h"
#include "engine/gfx/VXScopedScissorState.h"
#include "engine/gfx/VXScopedTextureBinding.h"
#include "engine/gfx/VXScopedTextureEnvironment.h"
#include "engine/gfx/VXShaderProgram.h"
#include "engine/gfx/VXTexture.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

namespace vx
{
    namespace
    {
        class GLStateGuardsGLTest : public test::GLTest
        {
        protected:
            void SetUp() override
            {
                test::GLTest::SetUp();
                host = std::make_unique<test::ScopedHostRenderer>(manager);
                ASSERT_NE(host->renderer, nullptr);
                ASSERT_EQ(Renderer::getCurrent(), host->renderer);
                for (auto* texture : {&outer, &inner})
                    ASSERT_TRUE(texture->create(4, 4, Texture::RGBA8));
            }

            void TearDown() override
            {
                host.reset();
                test::GLTest::TearDown();
            }

            RenderContext& cache() { return host->cache(); }

            static GLuint boundOn(unsigned int unit)
            {
                const GLint active = test::getInteger(GL_ACTIVE_TEXTURE);
                glActiveTexture(GL_TEXTURE0 + unit);
                const auto bound = static_cast<GLuint>(test::getInteger(GL_TEXTURE_BINDING_2D));
                glActiveTexture(static_cast<GLenum>(active));
                return bound;
            }

            ContextManager manager;
            std::unique_ptr<test::ScopedHostRenderer> host;
            Texture outer, inner;
        };

        TEST_F(GLStateGuardsGLTest, TextureBindingPutBackIsRecorded)
        {
            ASSERT_TRUE(cache().bind2DTexture(0, outer));
            {
                const ScopedTextureBinding binding(GL_TEXTURE_2D, 0);
                ASSERT_TRUE(cache().bind2DTexture(0, inner));
            }
            EXPECT_EQ(boundOn(0), outer.getGLName());
            EXPECT_EQ(cache().getBoundTexture(0), outer.getGLName());
            ASSERT_TRUE(cache().bind2DTexture(0, inner));
            EXPECT_EQ(boundOn(0), inner.getGLName());
        }

        TEST_F(GLStateGuardsGLTest, ProgramComesBackInGLAndInTheCache)
        {
            const ShaderProgram& flat = host->renderer->getShaders().get(Shaders::FlatColor);
            const ShaderProgram& textured = host->renderer->getShaders().get(Shaders::Textured);
            ASSERT_TRUE(cache().bindShader(flat));
            {
                const ScopedProgram program;
                ASSERT_TRUE(cache().bindShader(textured));
            }
            EXPECT_EQ(static_cast<GLuint>(test::getInteger(GL_CURRENT_PROGRAM)), flat.getProgram());
            EXPECT_EQ(cache().getBoundShader(), flat.getProgram());
            ASSERT_TRUE(cache().bindShader(textured));
            EXPECT_EQ(static_cast<GLuint>(test::getInteger(GL_CURRENT_PROGRAM)), textured.getProgram());
        }

        TEST_F(GLStateGuardsGLTest, ADeletedTextureLeavesTheCache)
        {
            Texture doomed;
            ASSERT_TRUE(doomed.create(4, 4, Texture::RGBA8));
            ASSERT_TRUE(cache().bind2DTexture(1, doomed));
            glActiveTexture(GL_TEXTURE0);
            cache().ensureSamplerActive(0);
            doomed.release();
            EXPECT_EQ(cache().getBoundTexture(1), 0u);
            EXPECT_EQ(boundOn(1), 0u);

            // A texture given the freed name, if GL hands it out again, is bound.
            ASSERT_TRUE(doomed.create(4, 4, Texture::RGBA8));
            ASSERT_TRUE(cache().bind2DTexture(1, doomed));
            EXPECT_EQ(boundOn(1), doomed.getGLName());
            cache().ensureSamplerActive(0);
        }

        // Inside the scope a colour is set and then saved again by a nested
        // push, as a pass does before a hosted plugin's frame: the caller's
        // colour still holds after a later state change.
        TEST_F(GLStateGuardsGLTest, TheRenderStateKeepsTheCallersCurrentColour)
        {
            const GLfloat callers[4] = {0.5f, 0.25f, 0.125f, 1.0f};
            glColor4fv(callers);
            {
                const ScopedRenderState state(cache());
                gfx::color(1.0f, 1.0f, 1.0f, 1.0f);
                glPushAttrib(GL_CURRENT_BIT);
                glPopAttrib();
            }
            glEnable(GL_BLEND);
            glDisable(GL_BLEND);
            GLfloat colour[4] = {};
            glGetFloatv(GL_CURRENT_COLOR, colour);
            EXPECT_TRUE(std::equal(colour, colour + 4, callers))
                << colour[0] << ", " << colour[1] << ", " << colour[2] << ", " << colour[3];
            glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
        }

        // The same road as a plugin adapter's frame: its own push around a
        // colour change and a nested push; the colour comes from the guard.
        TEST_F(GLStateGuardsGLTest, TheCurrentColourOutlivesANestedPushAfterAColourChange)
        {
            const GLfloat callers[4] = {0.25f, 0.5f, 0.75f, 0.625f};
            glColor4fv(callers);
            {
                const ScopedCurrentColor colour;
                glPushAttrib(GL_ALL_ATTRIB_BITS);
                gfx::color(1.0f, 1.0f, 1.0f, 1.0f);
                glPushAttrib(GL_TEXTURE_BIT);
                glPopAttrib();
                glPopAttrib();
            }
            glEnable(GL_BLEND);
            glDisable(GL_BLEND);
            GLfloat colour[4] = {};
            glGetFloatv(GL_CURRENT_COLOR, colour);
            EXPECT_TRUE(std::equal(colour, colour + 4, callers))
                << colour[0] << ", " << colour[1] << ", " << colour[2] << ", " << colour[3];
            glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
        }

        // Every value of the combiner on the unit active on entry comes back
        // there; the unit the scope made active stays active.
        TEST_F(GLStateGuardsGLTest, TheTextureEnvironmentComesBackOnItsUnit)
        {
            const auto environment = []
            {
                std::vector<GLfloat> values;
                for (const GLenum pname :
                     {GL_TEXTURE_ENV_MODE, GL_COMBINE_RGB, GL_COMBINE_ALPHA, GL_SRC0_RGB, GL_SRC1_RGB, GL_SRC2_RGB,
                      GL_SRC0_ALPHA, GL_SRC1_ALPHA, GL_SRC2_ALPHA, GL_OPERAND0_RGB, GL_OPERAND1_RGB, GL_OPERAND2_RGB,
                      GL_OPERAND0_ALPHA, GL_OPERAND1_ALPHA, GL_OPERAND2_ALPHA, GL_RGB_SCALE, GL_ALPHA_SCALE,
                      GL_TEXTURE_ENV_COLOR})
                {
                    GLfloat value[4] = {};
                    glGetTexEnvfv(GL_TEXTURE_ENV, pname, value);
                    values.insert(values.end(), value, value + (pname == GL_TEXTURE_ENV_COLOR ? 4 : 1));
                }
                return values;
            };
            const auto setAll =
                [](GLint mode, GLint function, GLint source, GLint operand, GLfloat scale, GLfloat colourValue)
            {
                glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, mode);
                for (const GLenum pname : {GL_COMBINE_RGB, GL_COMBINE_ALPHA})
                    glTexEnvi(GL_TEXTURE_ENV, pname, function);
                for (const GLenum pname :
                     {GL_SRC0_RGB, GL_SRC1_RGB, GL_SRC2_RGB, GL_SRC0_ALPHA, GL_SRC1_ALPHA, GL_SRC2_ALPHA})
                    glTexEnvi(GL_TEXTURE_ENV, pname, source);
                for (const GLenum pname : {GL_OPERAND0_RGB, GL_OPERAND1_RGB, GL_OPERAND2_RGB})
                    glTexEnvi(GL_TEXTURE_ENV, pname, operand);
                for (const GLenum pname : {GL_OPERAND0_ALPHA, GL_OPERAND1_ALPHA, GL_OPERAND2_ALPHA})
                    glTexEnvi(GL_TEXTURE_ENV, pname, GL_ONE_MINUS_SRC_ALPHA);
                glTexEnvf(GL_TEXTURE_ENV, GL_RGB_SCALE, scale);
                glTexEnvf(GL_TEXTURE_ENV, GL_ALPHA_SCALE, scale);
                const GLfloat colour[4] = {colourValue, colourValue, colourValue, colourValue};
                glTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, colour);
            };

            glActiveTexture(GL_TEXTURE1);
            const std::vector<GLfloat> defaults = environment();
            {
                const ScopedTextureEnvironment keepsDefaults;
                setAll(GL_BLEND, GL_ADD_SIGNED, GL_CONSTANT, GL_ONE_MINUS_SRC_COLOR, 2.0f, 0.5f);
                const std::vector<GLfloat> callers = environment();
                {
                    const ScopedTextureEnvironment guard;
                    setAll(GL_COMBINE, GL_INTERPOLATE, GL_PRIMARY_COLOR, GL_SRC_ALPHA, 4.0f, 0.25f);
                    glActiveTexture(GL_TEXTURE2);
                }
                EXPECT_EQ(test::getInteger(GL_ACTIVE_TEXTURE), GL_TEXTURE2);
                glActiveTexture(GL_TEXTURE1);
                EXPECT_EQ(environment(), callers);
            }
            EXPECT_EQ(environment(), defaults);
            glActiveTexture(GL_TEXTURE0);
        }

        // What a caller's arrays are: for each fixed-function array (the
        // texture coordinates of client unit 2) and generic attributes 1 and
        // 5, whether enabled, the buffer, the pointer and the layout; then
        // the array buffer binding and the client active unit.
        std::vector<std::intptr_t> clientArrays()
        {
            std::vector<std::intptr_t> values;
            const auto add = [&values](GLenum pname) { values.push_back(pname == 0 ? 0 : test::getInteger(pname)); };
            const auto addPointer = [&values](const void* pointer)
            { values.push_back(reinterpret_cast<std::intptr_t>(pointer)); };
            const GLint clientUnit = test::getInteger(GL_CLIENT_ACTIVE_TEXTURE);
            glClientActiveTexture(GL_TEXTURE2);
            for (const auto& [array, size, type, stride, buffer, pointerName] :
                 std::initializer_list<std::array<GLenum, 6>>{
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
                     {GL_EDGE_FLAG_ARRAY, 0, 0, GL_EDGE_FLAG_ARRAY_STRIDE, GL_EDGE_FLAG_ARRAY_BUFFER_BINDING,
                      GL_EDGE_FLAG_ARRAY_POINTER},
                     {GL_TEXTURE_COORD_ARRAY, GL_TEXTURE_COORD_ARRAY_SIZE, GL_TEXTURE_COORD_ARRAY_TYPE,
                      GL_TEXTURE_COORD_ARRAY_STRIDE, GL_TEXTURE_COORD_ARRAY_BUFFER_BINDING,
                      GL_TEXTURE_COORD_ARRAY_POINTER}})
            {
                values.push_back(glIsEnabled(array));
                for (const GLenum pname : {size, type, stride, buffer})
                    add(pname);
                void* pointer = nullptr;
                glGetPointerv(pointerName, &pointer);
                addPointer(pointer);
            }
            glClientActiveTexture(static_cast<GLenum>(clientUnit));
            for (const GLuint index : {1u, 5u})
            {
                for (const GLenum pname :
                     {GL_VERTEX_ATTRIB_ARRAY_ENABLED, GL_VERTEX_ATTRIB_ARRAY_SIZE, GL_VERTEX_ATTRIB_ARRAY_TYPE,
                      GL_VERTEX_ATTRIB_ARRAY_STRIDE, GL_VERTEX_ATTRIB_ARRAY_NORMALIZED, GL_VERTEX_ATTRIB_ARRAY_INTEGER,
                      GL_VERTEX_ATTRIB_ARRAY_DIVISOR, GL_VERTEX_ATTRIB_ARRAY_BUFFER_BINDING})
                {
                    GLint value = 0;
                    glGetVertexAttribiv(index, pname, &value);
                    values.push_back(value);
                }
                void* pointer = nullptr;
                glGetVertexAttribPointerv(index, GL_VERTEX_ATTRIB_ARRAY_POINTER, &pointer);
                addPointer(pointer);
            }
            add(GL_ARRAY_BUFFER_BINDING);
            add(GL_CLIENT_ACTIVE_TEXTURE);
            return values;
        }

        // Arrays of every kind, from a buffer at an offset or from memory:
        // none is enabled inside the scope, whose draws set and leave their
        // own, and each comes back as it was.
        TEST_F(GLStateGuardsGLTest, TheCallersClientArraysAreOffInsideAndComeBack)
        {
            GLuint buffers[2] = {};
            glGenBuffers(2, buffers);
            glBindBuffer(GL_ARRAY_BUFFER, buffers[0]);
            glBufferData(GL_ARRAY_BUFFER, 256, nullptr, GL_STATIC_DRAW);
            const auto offset = [](std::uintptr_t bytes) { return reinterpret_cast<const void*>(bytes); };
            static const float memory[64] = {};
            glNormalPointer(GL_SHORT, 16, offset(4));
            glColorPointer(GL_BGRA, GL_UNSIGNED_BYTE, 12, offset(8));
            glSecondaryColorPointer(3, GL_FLOAT, 20, offset(12));
            glFogCoordPointer(GL_FLOAT, 8, offset(16));
            glEdgeFlagPointer(4, offset(24));
            glVertexAttribIPointer(5, 2, GL_INT, 24, offset(32));
            glVertexAttribDivisor(5, 3);
            glClientActiveTexture(GL_TEXTURE2);
            glTexCoordPointer(3, GL_FLOAT, 28, offset(20));
            glBindBuffer(GL_ARRAY_BUFFER, 0);
            glVertexPointer(3, GL_FLOAT, 0, memory);
            glVertexAttribPointer(1, 4, GL_UNSIGNED_BYTE, GL_TRUE, 0, memory + 8);
            for (const GLenum array : {GL_VERTEX_ARRAY, GL_NORMAL_ARRAY, GL_COLOR_ARRAY, GL_SECONDARY_COLOR_ARRAY,
                                       GL_FOG_COORD_ARRAY, GL_EDGE_FLAG_ARRAY, GL_TEXTURE_COORD_ARRAY})
                glEnableClientState(array);
            glEnableVertexAttribArray(1);
            glEnableVertexAttribArray(5);
            glBindBuffer(GL_ARRAY_BUFFER, buffers[1]);

            const std::vector<std::intptr_t> callers = clientArrays();
            {
                const ScopedNoClientArrays guard;
                EXPECT_EQ(test::getInteger(GL_CLIENT_ACTIVE_TEXTURE), GL_TEXTURE2);
                EXPECT_EQ(static_cast<GLuint>(test::getInteger(GL_ARRAY_BUFFER_BINDING)), buffers[1]);
                for (const GLenum array : {GL_VERTEX_ARRAY, GL_NORMAL_ARRAY, GL_COLOR_ARRAY, GL_SECONDARY_COLOR_ARRAY,
                                           GL_FOG_COORD_ARRAY, GL_EDGE_FLAG_ARRAY, GL_TEXTURE_COORD_ARRAY})
                    EXPECT_EQ(glIsEnabled(array), GL_FALSE) << std::hex << array;
                for (const GLuint index : {1u, 5u})
                {
                    GLint enabled = 1;
                    glGetVertexAttribiv(index, GL_VERTEX_ATTRIB_ARRAY_ENABLED, &enabled);
                    EXPECT_EQ(enabled, 0) << "attribute " << index;
                }

                // Draws of the scope's own, leaving their pointers behind.
                const float corners[8] = {-1.0f, -1.0f, 1.0f, -1.0f, 1.0f, 1.0f, -1.0f, 1.0f};
                glBindBuffer(GL_ARRAY_BUFFER, 0);
                glClientActiveTexture(GL_TEXTURE0);
                for (const GLuint unit : {0u, 2u})
                {
                    glClientActiveTexture(GL_TEXTURE0 + unit);
                    glTexCoordPointer(2, GL_FLOAT, 0, corners);
                }
                glVertexPointer(2, GL_FLOAT, 0, corners);
                glColorPointer(4, GL_FLOAT, 0, corners);
                glEnableClientState(GL_VERTEX_ARRAY);
                glDrawArrays(GL_TRIANGLE_FAN, 0, 4);
                glDisableClientState(GL_VERTEX_ARRAY);
                glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, 0, corners);
                glVertexAttribPointer(5, 2, GL_FLOAT, GL_FALSE, 0, corners);
                glVertexAttribDivisor(5, 0);
            }
            EXPECT_EQ(clientArrays(), callers);

            for (const GLenum array : {GL_VERTEX_ARRAY, GL_NORMAL_ARRAY, GL_COLOR_ARRAY, GL_SECONDARY_COLOR_ARRAY,
                                       GL_FOG_COORD_ARRAY, GL_EDGE_FLAG_ARRAY, GL_TEXTURE_COORD_ARRAY})
                glDisableClientState(array);
            glClientActiveTexture(GL_TEXTURE0);
            glDisableVertexAttribArray(1);
            glDisableVertexAttribArray(5);
            glVertexAttribDivisor(5, 0);
            glBindBuffer(GL_ARRAY_BUFFER, 0);
            glDeleteBuffers(2, buffers);
        }

        // What generic attributes 2 and 3 are with GL 4.3: enable, separate
        // format (64-bit and integer kinds among it), binding point and
        // buffer; then binding point 6: buffer, offset, stride, divisor.
        std::vector<std::int64_t> separateFormats()
        {
            std::vector<std::int64_t> values;
            for (const GLuint index : {2u, 3u})
                for (const GLenum pname :
                     {GL_VERTEX_ATTRIB_ARRAY_ENABLED, GL_VERTEX_ATTRIB_ARRAY_SIZE, GL_VERTEX_ATTRIB_ARRAY_TYPE,
                      GL_VERTEX_ATTRIB_ARRAY_NORMALIZED, GL_VERTEX_ATTRIB_ARRAY_INTEGER, GL_VERTEX_ATTRIB_ARRAY_LONG,
                      GL_VERTEX_ATTRIB_RELATIVE_OFFSET, GL_VERTEX_ATTRIB_BINDING, GL_VERTEX_ATTRIB_ARRAY_BUFFER_BINDING,
                      GL_VERTEX_ATTRIB_ARRAY_DIVISOR})
                {
                    GLint value = 0;
                    glGetVertexAttribiv(index, pname, &value);
                    values.push_back(value);
                }
            for (const GLenum pname : {GL_VERTEX_BINDING_BUFFER, GL_VERTEX_BINDING_OFFSET, GL_VERTEX_BINDING_STRIDE,
                                       GL_VERTEX_BINDING_DIVISOR})
            {
                GLint64 value = 0;
                glGetInteger64i_v(pname, 6, &value);
                values.push_back(value);
            }
            return values;
        }

        // Two attributes of separate formats reading one binding point at
        // their offsets: the scope sets plain pointers on both, and the
        // point's buffer and divisor; all come back, the 64-bit one 64-bit.
        TEST_F(GLStateGuardsGLTest, SeparateAttributeFormatsAndBindingsComeBack)
        {
            ASSERT_GE(epoxy_gl_version(), 44);
            GLuint buffer = 0;
            glGenBuffers(1, &buffer);
            glBindBuffer(GL_ARRAY_BUFFER, buffer);
            glBufferData(GL_ARRAY_BUFFER, 256, nullptr, GL_STATIC_DRAW);
            glBindBuffer(GL_ARRAY_BUFFER, 0);
            glVertexAttribLFormat(2, 3, GL_DOUBLE, 8);
            glVertexAttribIFormat(3, 2, GL_SHORT, 4);
            glVertexAttribBinding(2, 6);
            glVertexAttribBinding(3, 6);
            glBindVertexBuffer(6, buffer, 32, 48);
            glVertexBindingDivisor(6, 2);
            glEnableVertexAttribArray(2);
            glEnableVertexAttribArray(3);

            const std::vector<std::int64_t> callers = separateFormats();
            {
                const ScopedNoClientArrays guard;
                static const float corners[8] = {};
                glVertexAttribPointer(2, 2, GL_FLOAT, GL_FALSE, 0, corners);
                glVertexAttribPointer(3, 2, GL_FLOAT, GL_TRUE, 8, corners);
                glBindVertexBuffer(6, 0, 0, 16);
                glVertexBindingDivisor(6, 0);
            }
            EXPECT_EQ(separateFormats(), callers);

            for (const GLuint index : {2u, 3u})
            {
                glDisableVertexAttribArray(index);
                glVertexAttribFormat(index, 4, GL_FLOAT, GL_FALSE, 0);
                glVertexAttribBinding(index, index);
            }
            glBindVertexBuffer(6, 0, 0, 16);
            glVertexBindingDivisor(6, 0);
            glDeleteBuffers(1, &buffer);
        }

        TEST_F(GLStateGuardsGLTest, TheScissorTestAndBoxComeBack)
        {
            for (const bool enabled : {true, false})
            {
                SCOPED_TRACE(enabled ? "enabled" : "disabled");
                glScissor(3, 4, 50, 60);
                if (enabled)
                    glEnable(GL_SCISSOR_TEST);
                {
                    const ScopedScissorState guard;
                    gfx::setScissor(10, 20, 30, 40);
                    if (enabled)
                        glDisable(GL_SCISSOR_TEST);
                }
                EXPECT_EQ(glIsEnabled(GL_SCISSOR_TEST), enabled ? GL_TRUE : GL_FALSE);
                GLint box[4] = {};
                glGetIntegerv(GL_SCISSOR_BOX, box);
                EXPECT_EQ(std::vector<GLint>(box, box + 4), (std::vector<GLint>{3, 4, 50, 60}));
                glDisable(GL_SCISSOR_TEST);
            }
            const GLint size = test::GLTestContext::defaultFramebufferSize;
            glScissor(0, 0, size, size);
        }
    }
}
