// The GL state guards put back what they borrowed, in GL and in the binding
// cache of the current context's renderer, so that binds made through the
// cache inside a guard's scope never leave it recording what GL no longer has
// (the texture-unit guard is exercised by the repeated pixel read-back).

#include "engine/gfx/VXGfxUtils.h"
#include "engine/gfx/VXRenderTargetTestSupport.h"
#include "engine/gfx/VXScopedProgram.h"
#include "engine/gfx/VXScopedRenderState.h"
#include "engine/gfx/VXScopedTextureBinding.h"
#include "engine/gfx/VXShaderProgram.h"
#include "engine/gfx/VXTexture.h"

#include <algorithm>

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
    }
}
