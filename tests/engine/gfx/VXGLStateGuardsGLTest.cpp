// The GL state guards put back what they borrowed, in GL and in the binding
// cache of the current context's renderer, so that binds made through the
// cache inside a guard's scope never leave it recording what GL no longer has
// (the texture-unit guard is exercised by the repeated pixel read-back).

#include "engine/gfx/VXGfxUtils.h"
#include "engine/gfx/VXRenderTargetTestSupport.h"
#include "engine/gfx/VXScopedCurrentColor.h"
#include "engine/gfx/VXScopedProgram.h"
#include "engine/gfx/VXScopedRenderState.h"
#include "engine/gfx/VXScopedScissorState.h"
#include "engine/gfx/VXScopedTextureBinding.h"
#include "engine/gfx/VXScopedTextureEnvironment.h"
#include "engine/gfx/VXShaderProgram.h"
#include "engine/gfx/VXTexture.h"

#include <algorithm>
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
