#include "engine/renderpasses/VXShaderEffect.h"

#include "VXRenderPassTestSupport.h"
#include "engine/gfx/VXPixelReadback.h"
#include "engine/gfx/VXRenderTarget.h"
#include "engine/gfx/VXScopedRenderState.h"
#include "engine/renderpasses/VXDryWetEffect.h"
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

        // The engine's read-backs of a pass's output, each answering the red
        // channel of row y (0 the bottom) in column 1.
        struct ReadBackCase
        {
            const char* name;
            std::function<std::vector<int>(RenderPass&, std::unique_ptr<PixelReadback>&)> redColumn;
        };

        class ShaderEffectReadBackTest : public ShaderEffectGLTest, public ::testing::WithParamInterface<ReadBackCase>
        {
        };

        // After a chain whose pass failed at begin, the pooled target a flipped
        // and an upright quad are drawn into reads back each new picture, not
        // the one before it (frames repeated: the driver draws on threads).
        TEST_P(ShaderEffectReadBackTest, APooledOutputReadsBackTheNewPictureAfterAFailedChain)
        {
            Texture* input = makeInput(4, 4,
                                       [](int, int y) {
                                           return y == 0 ? PixelRGBA8{255, 255, 255, 255} : PixelRGBA8{0, 0, 0, 255};
                                       });
            Texture* chainInput = makeInput(4, 4, PixelRGBA8{100, 100, 100, 255});
            // Kept across frames, as the video output keeps its own.
            std::unique_ptr<PixelReadback> readback;
            for (int frame = 0; frame < 16; ++frame)
            {
                {
                    RenderPassChain chain;
                    chain.setSize(4, 4);
                    chain.setInput(0, chainInput, 0, 0);
                    chain.addRenderPass(new DryWetEffect()); // neither effect nor mixer: begin fails
                    LogRecorder quiet;
                    ASSERT_TRUE(chain.render(*renderer));
                }
                for (const bool flip : {false, true})
                {
                    CopyPass pass(flip);
                    pass.setSize(4, 4);
                    pass.setInput(0, input, 0, 0);
                    pass.retainOutput(true);
                    ASSERT_TRUE(renderAlone(pass));
                    const std::vector<int> red = GetParam().redColumn(pass, readback);
                    ASSERT_EQ(red.size(), 4u);
                    EXPECT_EQ(red[flip ? 3 : 0], 255) << "frame " << frame << ", flip " << flip;
                    EXPECT_EQ(red[flip ? 0 : 3], 0) << "frame " << frame << ", flip " << flip;
                    pass.retainOutput(false);
                }
            }
        }

        INSTANTIATE_TEST_SUITE_P(
            Reads, ShaderEffectReadBackTest,
            ::testing::Values(ReadBackCase{"PixelReadback",
                                           [](RenderPass& pass, std::unique_ptr<PixelReadback>& readback)
                                           {
                                               std::vector<int> red;
                                               if (! pass.getRenderTarget()->bind())
                                                   return red;
                                               if (readback == nullptr)
                                                   readback =
                                                       std::make_unique<PixelReadback>(4, 4, GL_RGBA, GL_UNSIGNED_BYTE);
                                               else
                                                   readback->startPixelRead();
                                               RenderTarget::unbind();
                                               if (const unsigned char* pixels = readback->beginPixelProcessing())
                                                   for (int y = 0; y < 4; ++y)
                                                       red.push_back(pixels[(y * 4 + 1) * 4]);
                                               readback->endPixelProcessing();
                                               return red;
                                           }},
                              ReadBackCase{"TextureLock",
                                           [](RenderPass& pass, std::unique_ptr<PixelReadback>&)
                                           {
                                               std::vector<int> red;
                                               Texture& texture = *pass.getOutput(0)->texture;
                                               if (const auto* pixels = static_cast<const unsigned char*>(
                                                       texture.lock(Texture::LOCK_READ)))
                                                   for (int y = 0; y < 4; ++y)
                                                       red.push_back(pixels[y * texture.getLockPitch() + 4]);
                                               texture.unlock();
                                               return red;
                                           }}),
            [](const ::testing::TestParamInfo<ReadBackCase>& info) { return info.param.name; });
    }
}
