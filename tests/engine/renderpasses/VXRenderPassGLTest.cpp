#include "engine/renderpasses/VXRenderPass.h"

#include "VXRenderPassTestSupport.h"
#include "engine/gfx/VXRenderTarget.h"
#include "engine/gfx/VXRenderTargetManager.h"
#include "engine/gfx/VXScopedRenderState.h"
#include "engine/gfx/VXTextureManager.h"

namespace vx::test
{
    namespace
    {
        const PixelRGBA8 grey{100, 100, 100, 255};

        class RenderPassBaseGLTest : public RenderPassGLTest
        {
        protected:
            // Renders one pass on its own, with the fixture's state kept.
            bool renderAlone(RenderPass& pass)
            {
                const ScopedRenderState state(renderer->getRenderContext());
                return pass.render(*renderer);
            }
        };

        TEST_F(RenderPassBaseGLTest, TheTargetIsHeldOnlyForTheRenderUnlessRetained)
        {
            AddConstantPass pass(0.1);
            prepare(pass, grey, 8);

            ASSERT_TRUE(renderAlone(pass));
            EXPECT_EQ(pass.getOutput(0)->texture, nullptr);
            EXPECT_EQ(pass.getOutput(0)->width, 8.0f);
            EXPECT_EQ(pass.getRenderTarget(), nullptr);
            EXPECT_EQ(targets().getUsedRTCount(), 0u);

            pass.retainOutput(true);
            ASSERT_TRUE(renderAlone(pass));
            ASSERT_NE(pass.getOutput(0)->texture, nullptr);
            RenderTarget* held = pass.getRenderTarget();
            EXPECT_EQ(targets().getUsedRTCount(), 1u);
            expectUniform(readBack(*pass.getOutput(0)->texture), 8, 8, added(grey, 1), 1);
            ASSERT_TRUE(renderAlone(pass));
            EXPECT_EQ(pass.getRenderTarget(), held) << "a retained target of the right size is kept";

            pass.retainOutput(false);
            EXPECT_EQ(pass.getOutput(0)->texture, nullptr);
            EXPECT_EQ(targets().getUsedRTCount(), 0u);

            pass.retainOutput(true);
            ASSERT_TRUE(renderAlone(pass));
            pass.release();
            EXPECT_EQ(pass.getRenderTarget(), nullptr);
            EXPECT_EQ(targets().getUsedRTCount(), 0u);
            EXPECT_FALSE(pass.isInitialized()) << "release re-arms the lazy init";
        }

        // A solid pass that draws with a depth buffer.
        class DepthSolidColourPass : public SolidColourPass
        {
        public:
            using SolidColourPass::SolidColourPass;
            bool requiresDepthBuffer() const override { return true; }
        };

        // Passes with depth take the pool's one target in turn at growing and
        // shrinking sizes: each fills every column of its output.
        TEST_F(RenderPassBaseGLTest, PassesTakingOnePooledTargetInTurnFillTheirWholeOutput)
        {
            const Color colour(0.0f, 1.0f, 0.0f, 1.0f);
            DepthSolidColourPass first(colour), second(colour);
            int turn = 0;
            for (const auto& [w, h] : {std::pair{16, 8}, {80, 40}, {120, 100}, {24, 12}, {100, 60}})
            {
                SCOPED_TRACE(std::to_string(w) + " x " + std::to_string(h));
                RenderPass& pass = turn++ % 2 == 0 ? static_cast<RenderPass&>(first) : second;
                pass.setSize(w, h);
                pass.retainOutput(true);
                ASSERT_TRUE(renderAlone(pass));
                ASSERT_NE(pass.getOutput(0)->texture, nullptr);
                expectUniform(readBack(*pass.getOutput(0)->texture), w, h, PixelRGBA8{0, 255, 0, 255}, 0);
                pass.retainOutput(false);
            }
            EXPECT_EQ(targets().getTotalRTCount(), 1u) << "one target served every pass";
            first.release();
            second.release();
        }

        TEST_F(RenderPassBaseGLTest, StealingTheOutputTakesItOutOfThePools)
        {
            AddConstantPass pass(0.0);
            prepare(pass, grey, 8);
            EXPECT_EQ(pass.stealOutput().get(), nullptr) << "nothing rendered";
            pass.retainOutput(true);
            ASSERT_TRUE(renderAlone(pass));
            Texture* output = pass.getOutput(0)->texture;
            const int freeBefore = textures().getFreeTextureCount();
            {
                TextureRef stolen = pass.stealOutput();
                EXPECT_EQ(stolen.get(), output);
                EXPECT_EQ(pass.getOutput(0)->texture, nullptr);
                EXPECT_EQ(targets().getUsedRTCount(), 0u);
                EXPECT_EQ(textures().getFreeTextureCount(), freeBefore + 1) << "only the other set's texture is free";
                expectUniform(readBack(*stolen), 8, 8, grey, 0);
                EXPECT_EQ(pass.stealOutput().get(), nullptr) << "stolen once";
            }
            EXPECT_EQ(textures().getFreeTextureCount(), freeBefore + 2) << "the reference gives it back";
        }

        TEST_F(RenderPassBaseGLTest, ANullInputIsTheBlankTexture)
        {
            AddConstantPass pass(0.2);
            pass.setInput(0, nullptr, 0, 0);
            EXPECT_EQ(pass.getInput(0)->texture, textures().getBlankTexture());
            EXPECT_EQ(pass.getInput(0)->width, float(textures().getBlankTexture()->getWidth()));
        }

        TEST_F(RenderPassBaseGLTest, AnUnsizedPassRefusesToBeginAndStaysUninitialised)
        {
            AddConstantPass pass;
            pass.setSize(0, 8);
            EXPECT_FALSE(renderAlone(pass));
            EXPECT_FALSE(pass.isInitialized());
            EXPECT_FALSE(pass.didInitFail());
            EXPECT_EQ(targets().getTotalRTCount(), 0u);
        }

        TEST_F(RenderPassBaseGLTest, DrawingIntoTheCurrentBufferDropsTheRetainedTarget)
        {
            AddConstantPass pass(0.1);
            prepare(pass, grey, 8);
            pass.retainOutput(true);
            ASSERT_TRUE(renderAlone(pass));
            pass.setOutputToCurrentBuffer(true);
            EXPECT_FALSE(pass.isOutputRetained());
            EXPECT_EQ(pass.getRenderTarget(), nullptr);
            EXPECT_EQ(targets().getUsedRTCount(), 0u);

            ScopedTestFramebuffer framebuffer(8, 8);
            ASSERT_TRUE(renderAlone(pass));
            EXPECT_EQ(targets().getTotalRTCount(), 1u) << "no new target was taken";
            EXPECT_TRUE(isNear(readPixel(3, 3), added(grey, 1), 1)) << readPixel(3, 3);
        }

        // Texture coordinates of the slot: the covered part, bottom row at the
        // bottom unless the texture's ignoreFlip asks for the mirror.
        TEST_F(RenderPassBaseGLTest, SlotDrawingCoversItsPartInItsOrientation)
        {
            // Left half red, right half green; bottom row blue.
            Texture* input = makeInput(8, 8,
                                       [](int x, int y)
                                       {
                                           if (y == 0)
                                               return PixelRGBA8{0, 0, 255, 255};
                                           return x < 4 ? PixelRGBA8{255, 0, 0, 255} : PixelRGBA8{0, 255, 0, 255};
                                       });
            const RenderPassTexture left(input, 4.0f, 8.0f, RenderPassTexture::Default);
            RenderContext& cache = renderer->getRenderContext();
            ScopedTestFramebuffer framebuffer(8, 8);
            {
                const ScopedRenderState state(cache);
                gfx::setIdentityTransform();
                gfx::color(Color(1.0f));
                left.draw(*renderer, -1.0f, -1.0f, 2.0f, 2.0f);
                EXPECT_EQ(cache.getBoundTexture(0), 0u) << "unbound after";
            }
            EXPECT_EQ(readPixel(6, 4), (PixelRGBA8{255, 0, 0, 255})) << "only the covered left half";
            EXPECT_EQ(readPixel(3, 0), (PixelRGBA8{0, 0, 255, 255})) << "bottom row at the bottom";

            input->ignoreFlip = true;
            {
                const ScopedRenderState state(cache);
                gfx::setIdentityTransform();
                gfx::color(Color(1.0f));
                left.draw(*renderer, -1.0f, -1.0f, 2.0f, 2.0f);
            }
            EXPECT_EQ(readPixel(3, 7), (PixelRGBA8{0, 0, 255, 255})) << "mirrored: bottom row at the top";
            EXPECT_EQ(readPixel(3, 0), (PixelRGBA8{255, 0, 0, 255}));
            EXPECT_FLOAT_EQ(left.getMaxCoords().x, 0.5f);
        }
    }
}
