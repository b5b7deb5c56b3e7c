#include "engine/renderpasses/VXRenderPassChain.h"

#include "VXRenderPassTestSupport.h"
#include "engine/gfx/VXGlobalFBO.h"
#include "engine/gfx/VXRenderTarget.h"
#include "engine/gfx/VXRenderTargetManager.h"
#include "engine/gfx/VXScopedRenderState.h"
#include "support/VXLogRecorder.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace vx::test
{
    namespace
    {
        const PixelRGBA8 grey{100, 100, 100, 255};

        using ChainGLTest = RenderPassGLTest;

        TEST_F(ChainGLTest, EachPassReadsThePreviousPassAtTheChainsSize)
        {
            RenderPassChain chain;
            chain.setSize(8, 4);
            Texture* input = makeInput(8, 4, grey);
            chain.setInput(0, input, 0, 0);
            auto* p1 = new AddConstantPass(0.1);
            auto* p2 = new AddConstantPass(0.1);
            auto* p3 = new AddConstantPass(0.1);
            for (auto* p : {p1, p2, p3})
                chain.addRenderPass(p);

            const Picture out = renderAndRead(chain);
            expectUniform(out, 8, 4, added(grey, 3), 3);

            EXPECT_EQ(p1->seenInput, input);
            ASSERT_NE(p2->seenInput, nullptr);
            EXPECT_NE(p2->seenInput, input);
            EXPECT_NE(p3->seenInput, p2->seenInput) << "ping-pong: each pass reads the other set";
            for (auto* p : {p1, p2, p3})
            {
                EXPECT_EQ(p->seenWidth, 8);
                EXPECT_EQ(p->seenHeight, 4);
                EXPECT_EQ(p->getRenderTarget(), nullptr) << "passes draw into the chain's target";
            }
            chain.retainOutput(false);
            EXPECT_EQ(targets().getUsedRTCount(), 0u);
        }

        struct SkipCase
        {
            const char* name;
            std::function<void(AddConstantPass&, Renderer&)> skip;
        };

        class ChainSkipTest : public RenderPassGLTest, public ::testing::WithParamInterface<SkipCase>
        {
        };

        TEST_P(ChainSkipTest, SkippedPassesAreLeftOutAndAllSkippedDrawsTheInputOnlyWhenAsked)
        {
            RenderPassChain chain;
            prepare(chain, grey);
            auto* skipped = new AddConstantPass(0.4);
            chain.addRenderPass(new AddConstantPass(0.1));
            chain.addRenderPass(skipped);
            GetParam().skip(*skipped, *renderer);
            const int rendersBefore = skipped->renders;

            expectUniform(renderAndRead(chain), 4, 4, added(grey, 1), 1);
            EXPECT_EQ(skipped->renders, rendersBefore);

            chain.removeRenderPass(chain.getRenderPass(0));
            EXPECT_TRUE(renderAndRead(chain).pixels.empty()) << "nothing can render: begin refused";
            chain.setRenderWithoutPasses(true);
            expectUniform(renderAndRead(chain), 4, 4, grey, 0);
            chain.retainOutput(false);
        }

        INSTANTIATE_TEST_SUITE_P(Kinds, ChainSkipTest,
                                 ::testing::Values(SkipCase{"Bypassed",
                                                            [](AddConstantPass& p, Renderer&)
                                                            {
                                                                auto bypass = std::dynamic_pointer_cast<Param<bool>>(
                                                                    p.getParams().getParamByName("bypassed"));
                                                                bypass->setValue(true, ValueChangeInfo());
                                                            }},
                                                   SkipCase{"Disabled",
                                                            [](AddConstantPass& p, Renderer&) { p.setEnabled(false); }},
                                                   SkipCase{"InitFailed",
                                                            [](AddConstantPass& p, Renderer& r)
                                                            {
                                                                // A program that does not build fails init, which is
                                                                // remembered.
                                                                p.brokenShader = true;
                                                                p.setSize(4, 4);
                                                                LogRecorder quiet;
                                                                EXPECT_FALSE(p.begin(r));
                                                            }}),
                                 [](const ::testing::TestParamInfo<SkipCase>& info) { return info.param.name; });

        TEST_F(ChainGLTest, AnEmptyChainRendersOnlyWithTheFlagAndThenPassesItsInput)
        {
            RenderPassChain chain;
            prepare(chain, grey);
            EXPECT_FALSE(chain.render(*renderer));
            chain.setRenderWithoutPasses(true);
            expectUniform(renderAndRead(chain), 4, 4, grey, 0);
            chain.retainOutput(false);
        }

        TEST_F(ChainGLTest, AFailedPassIsDiscardedAndTheNextReadsTheLastGoodPicture)
        {
            struct Case
            {
                const char* name;
                bool failFirst;
            };
            for (const Case c : {Case{"failure in the middle", false}, Case{"failure first", true}})
            {
                SCOPED_TRACE(c.name);
                RenderPassChain chain;
                prepare(chain, grey);
                auto* failing = new FailingPass();
                if (c.failFirst)
                    chain.addRenderPass(failing);
                chain.addRenderPass(new AddConstantPass(0.1));
                if (! c.failFirst)
                    chain.addRenderPass(failing);
                chain.addRenderPass(new AddConstantPass(0.1));

                expectUniform(renderAndRead(chain), 4, 4, added(grey, 2), 2);
                EXPECT_EQ(failing->renders, 1);

                // Nothing good at all: the input, not the failed drawing.
                chain.removeRenderPass(chain.getRenderPass(c.failFirst ? 1 : 0));
                chain.removeRenderPass(chain.getLastRenderPass());
                expectUniform(renderAndRead(chain), 4, 4, grey, 0);
                chain.retainOutput(false);
            }
        }

        TEST_F(ChainGLTest, ANonTransparentClearColourIsComposedUnderTheInputFirst)
        {
            RenderPassChain chain;
            chain.setSize(4, 4);
            // Premultiplied half-transparent grey over opaque blue.
            chain.setInput(0, makeInput(4, 4, PixelRGBA8{100, 100, 100, 128}), 0, 0);
            chain.setClearColor(Color(0.0f, 0.0f, 1.0f, 1.0f));
            auto* pass = new AddConstantPass(0.0);
            chain.addRenderPass(pass);

            const PixelRGBA8 composed{100, 100, uint8_t(100 + 127), 255};
            expectUniform(renderAndRead(chain), 4, 4, composed, 1);
            EXPECT_NE(pass->seenInput, chain.getInput(0)->texture) << "the pass reads the composition";

            // With every pass skipped the composition is the output.
            pass->setEnabled(false);
            chain.setRenderWithoutPasses(true);
            expectUniform(renderAndRead(chain), 4, 4, composed, 1);
            chain.retainOutput(false);
        }

        TEST_F(ChainGLTest, AGeneratorRendersWithoutInput)
        {
            RenderPassChain chain;
            chain.setSize(4, 4);
            chain.addRenderPass(new AddConstantPass(0.1)); // skipped: nothing to read yet
            chain.addRenderPass(new SolidColourPass(Color(0.0f, 0.0f, 1.0f, 1.0f)));
            chain.addRenderPass(new AddConstantPass(0.2));
            expectUniform(renderAndRead(chain), 4, 4, added(PixelRGBA8{0, 0, 255, 255}, 1, 0.2), 1);
            EXPECT_EQ(static_cast<AddConstantPass&>(*chain.getRenderPass(0)).renders, 0);
            chain.retainOutput(false);
        }

        TEST_F(ChainGLTest, RenderSeperatedSplitsAtTheFirstTransform)
        {
            struct Case
            {
                const char* name;
                int transformAt; // -1: none
                int firstSeen, secondSeen;
            };
            // Input 4 x 4; first size 8 x 8, second 16 x 16.
            for (const Case c : {Case{"no transform", -1, 8, 8}, Case{"transform first", 0, 16, 16},
                                 Case{"transform between", 1, 8, 16}})
            {
                SCOPED_TRACE(c.name);
                RenderPassChain chain;
                Texture* input = makeInput(4, 4, grey);
                chain.setInput(0, input, 0, 0);
                auto* first = new AddConstantPass(0.1);
                auto* second = new AddConstantPass(0.1);
                chain.addRenderPass(first);
                chain.addRenderPass(second);
                if (c.transformAt >= 0)
                    chain.insertRenderPass(c.transformAt, new TransformEffect(), false);

                chain.retainOutput(true);
                ASSERT_TRUE(chain.renderSeperated(*renderer, 8, 8, 16, 16));
                EXPECT_EQ(first->seenWidth, c.firstSeen);
                EXPECT_EQ(second->seenWidth, c.secondSeen);
                EXPECT_EQ(chain.getWidth(), 16);
                EXPECT_EQ(chain.getInput(0)->texture, input) << "input 0 is put back";
                ASSERT_TRUE(chain.isOutputRetained());
                const RenderPassTexture* output = chain.getOutput(0);
                ASSERT_NE(output->texture, nullptr);
                EXPECT_EQ(output->width, 16.0f);
                // A transform draws its input at the input's own size, centred.
                const Picture picture = readBack(*output->texture);
                EXPECT_TRUE(isNear(picture.at(8, 8), added(grey, 2), 2)) << picture.at(8, 8);
                if (c.transformAt < 0) // the outer column and row also sample beyond the 8 x 8 picture
                    expectUniform(picture, 15, 15, added(grey, 2), 2);
                chain.retainOutput(false);
            }
            EXPECT_EQ(textures().getUsedTextureCount(), 3u) << "only the built-ins stay lent out";
        }

        TEST_F(ChainGLTest, TheCallersStateAndTargetComeBack)
        {
            RenderPassChain chain;
            prepare(chain, grey);
            chain.addRenderPass(new AddConstantPass(0.1));

            // A caller drawing into a pooled target of its own, with its own
            // program, textures, blending, viewport and matrices.
            RenderTarget* outer = targets().retain(16, 16, Texture::RGBA8, false, DEFAULT_DEPTH_FMT);
            ASSERT_NE(outer, nullptr);
            ASSERT_TRUE(outer->bind());
            Texture* bound = makeInput(2, 2, grey);
            ShaderProgram& program = renderer->getShaders().get(Shaders::FlatColor);
            RenderContext& cache = renderer->getRenderContext();
            {
                const ScopedRenderState callers(cache);
                cache.bind2DTexture(1, *bound);
                cache.bindShader(program);
                glEnable(GL_BLEND);
                glBlendFunc(GL_SRC_ALPHA, GL_ONE);
                glViewport(1, 2, 3, 4);
                glClearColor(0.25f, 0.5f, 0.75f, 1.0f);
                glMatrixMode(GL_PROJECTION);
                glLoadIdentity();
                glOrtho(0, 16, 0, 16, -1, 1);
                glMatrixMode(GL_MODELVIEW);
                float projection[16];
                glGetFloatv(GL_PROJECTION_MATRIX, projection);

                ASSERT_TRUE(chain.render(*renderer));

                EXPECT_EQ(RenderTarget::getCurrentRenderTarget(), outer);
                EXPECT_EQ(getInteger(GL_DRAW_FRAMEBUFFER_BINDING), GLint(targets().getGlobalFBO()->getName()));
                EXPECT_EQ(targets().getGlobalFBO()->getAttachedTexture(0), outer->getTexture(0));
                EXPECT_EQ(getInteger(GL_CURRENT_PROGRAM), GLint(program.getProgram()));
                EXPECT_EQ(cache.getBoundShader(), program.getProgram());
                cache.ensureSamplerActive(1);
                EXPECT_EQ(getInteger(GL_TEXTURE_BINDING_2D), GLint(bound->getGLName()));
                cache.ensureSamplerActive(0);
                EXPECT_EQ(cache.getBoundTexture(1), bound->getGLName());
                EXPECT_EQ(cache.getBoundTexture(0), GLuint(getInteger(GL_TEXTURE_BINDING_2D)));
                EXPECT_TRUE(glIsEnabled(GL_BLEND));
                EXPECT_EQ(getInteger(GL_BLEND_DST_RGB), GLint(GL_ONE));
                GLint viewport[4];
                glGetIntegerv(GL_VIEWPORT, viewport);
                EXPECT_EQ(viewport[0], 1);
                EXPECT_EQ(viewport[3], 4);
                GLfloat clear[4];
                glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
                EXPECT_EQ(clear[1], 0.5f);
                float after[16];
                glGetFloatv(GL_PROJECTION_MATRIX, after);
                EXPECT_TRUE(std::equal(projection, projection + 16, after));
                EXPECT_EQ(getInteger(GL_MATRIX_MODE), GLint(GL_MODELVIEW));
            }
            RenderTarget::unbind();
            targets().release(outer);
            EXPECT_EQ(cache.getBoundShader(), 0u);
        }

        TEST_F(ChainGLTest, SteadyFramesCreateNoGLObjects)
        {
            RenderPassChain chain;
            chain.setInput(0, makeInput(8, 8, grey), 0, 0);
            chain.setSize(8, 8);
            chain.addRenderPass(new AddConstantPass(0.1));
            chain.addRenderPass(new TransformEffect());
            chain.addRenderPass(new AddConstantPass(0.1));
            const auto frame = [&]
            {
                ASSERT_TRUE(chain.render(*renderer));
                chain.retainOutput(true);
                ASSERT_TRUE(chain.renderSeperated(*renderer, 8, 8, 16, 16));
                TextureRef stolen = chain.stealOutput();
                ASSERT_NE(stolen.get(), nullptr);
                chain.retainOutput(false);
            };
            frame();
            frame();

            GLCallCounter<&epoxy_glGenTextures> textureNames("glGenTextures");
            GLCallCounter<&epoxy_glGenFramebuffers> framebufferNames("glGenFramebuffers");
            GLCallCounter<&epoxy_glGenRenderbuffers> renderbufferNames("glGenRenderbuffers");
            GLCallCounter<&epoxy_glGenBuffers> bufferNames("glGenBuffers");
            GLCallCounter<&epoxy_glCreateProgram> programs("glCreateProgram");
            for (int i = 0; i < 5; ++i)
                frame();
            EXPECT_EQ(textureNames.count(), 0);
            EXPECT_EQ(framebufferNames.count(), 0);
            EXPECT_EQ(renderbufferNames.count(), 0);
            EXPECT_EQ(bufferNames.count(), 0);
            EXPECT_EQ(programs.count(), 0);
        }

        // Renders slowly, so that another thread can try to take it out meanwhile.
        class SlowPass : public AddConstantPass
        {
        public:
            bool render(Renderer& renderer) override
            {
                rendering = true;
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
                const bool ok = AddConstantPass::render(renderer);
                finished = true;
                return ok;
            }
            std::atomic<bool> rendering{false};
            std::atomic<bool> finished{false};
        };

        TEST_F(ChainGLTest, APassRemovedWhileTheChainRendersOutlivesTheRender)
        {
            RenderPassChain chain;
            prepare(chain, grey);
            auto* slow = new SlowPass();
            std::shared_ptr<RenderPass> held = chain.addRenderPass(slow);
            std::weak_ptr<RenderPass> watch = held;

            std::atomic<bool> removedBeforeRenderEnded{false};
            std::thread editor(
                [&]
                {
                    while (! slow->rendering)
                        std::this_thread::yield();
                    chain.removeRenderPass(std::move(held));
                    removedBeforeRenderEnded = ! slow->finished;
                });
            EXPECT_TRUE(chain.render(*renderer));
            editor.join();
            EXPECT_FALSE(removedBeforeRenderEnded) << "the list edit waited for the render";
            EXPECT_EQ(chain.getNumPasses(), 0);
            root->getGfxObjectManager()->cleanAll();
            EXPECT_TRUE(watch.expired());
        }
    }
}
