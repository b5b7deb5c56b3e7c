#include "engine/renderpasses/VXShaderEffect.h"

#include "VXRenderPassTestSupport.h"
#include "engine/gfx/VXScopedRenderState.h"
#include "support/VXLogRecorder.h"

namespace vx::test
{
    namespace
    {
        // Draws input 0 unchanged, upright or upside down.
        class CopyPass : public AddConstantPass
        {
        public:
            explicit CopyPass(bool flipped) : AddConstantPass(0.0), flip(flipped) {}
            bool render(Renderer& renderer) override
            {
                if (! begin(renderer))
                    return false;
                getShader()->setSampler("source", 0);
                getShader()->setFloat("amount", 0.0f);
                drawQuad(renderer, flip);
                end(renderer);
                return true;
            }
            bool flip;
        };

        class ShaderEffectGLTest : public RenderPassGLTest
        {
        protected:
            bool renderAlone(RenderPass& pass)
            {
                const ScopedRenderState state(renderer->getRenderContext());
                return pass.render(*renderer);
            }
        };

        TEST_F(ShaderEffectGLTest, SourcesThatFailAreLoggedAndTheFailureIsRemembered)
        {
            AddConstantPass pass;
            pass.brokenShader = true;
            pass.setSize(4, 4);
            pass.setInput(0, makeInput(4, 4, PixelRGBA8{1, 2, 3, 4}), 0, 0);
            LogRecorder log;
            EXPECT_FALSE(renderAlone(pass));
            // The program's own compile report, then the effect's three lines.
            const auto lines = log.lines();
            ASSERT_EQ(lines.size(), 4u) << log.dump();
            EXPECT_EQ(lines[1].text, "ERROR: init: The following shaders failed to load.");
            EXPECT_EQ(lines[2].text, std::string("ERROR: Vertex Shader:\n") + AddConstantPass::vertexSource());
            EXPECT_EQ(lines[3].text, std::string("ERROR: Fragment Shader:\n") + pass.fragmentSource());
            EXPECT_TRUE(pass.didInitFail());
            EXPECT_NE(pass.getShader(), nullptr) << "the failed program is kept";
            EXPECT_EQ(targets().getUsedRTCount(), 0u);

            log.clear();
            EXPECT_FALSE(renderAlone(pass));
            EXPECT_EQ(log.count(), 0u) << "not tried again";

            pass.release();
            EXPECT_EQ(pass.getShader(), nullptr);
            pass.brokenShader = false;
            EXPECT_TRUE(renderAlone(pass)) << "release re-arms init";
        }

        TEST_F(ShaderEffectGLTest, APlainShaderEffectDrawsNothing)
        {
            ShaderEffect pass(1);
            pass.setSize(4, 4);
            EXPECT_FALSE(renderAlone(pass));
            EXPECT_EQ(targets().getUsedRTCount(), 0u);
        }

        TEST_F(ShaderEffectGLTest, FlippedQuadsAreUpsideDown)
        {
            // Bottom row white, the rest black.
            Texture* input = makeInput(4, 4,
                                       [](int, int y) {
                                           return y == 0 ? PixelRGBA8{255, 255, 255, 255} : PixelRGBA8{0, 0, 0, 255};
                                       });
            for (const bool flip : {false, true})
            {
                CopyPass pass(flip);
                pass.setSize(4, 4);
                pass.setInput(0, input, 0, 0);
                pass.retainOutput(true);
                ASSERT_TRUE(renderAlone(pass));
                const Picture out = readBack(*pass.getOutput(0)->texture);
                EXPECT_EQ(out.at(1, flip ? 3 : 0).r, 255) << "flip " << flip;
                EXPECT_EQ(out.at(1, flip ? 0 : 3).r, 0) << "flip " << flip;
                pass.retainOutput(false);
            }
        }
    }
}
