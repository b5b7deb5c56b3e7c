#include "engine/devices/VXOutputDeviceDeckLink.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "VXDeckLinkSimFixture.h"
#include "core/parameters/VXParamContainer.h"
#include "core/parameters/VXParamRange.h"
#include "engine/gfx/VXGfxObjectManager.h"
#include "engine/gfx/VXRenderTargetTestSupport.h"
#include "engine/gfx/VXTexture.h"
#include "support/VXLogRecorder.h"

namespace vx::test
{
    namespace
    {
        // One U Y0 V Y1 group of a scheduled frame.
        struct Group
        {
            int u, y0, v, y1;
        };

        // The conversion rounds on the GPU: a step either way.
        void expectNear(const Group& got, const Group& want, const std::string& where)
        {
            EXPECT_LE(std::abs(got.u - want.u), 1) << where << " U " << got.u;
            EXPECT_LE(std::abs(got.y0 - want.y0), 1) << where << " Y0 " << got.y0;
            EXPECT_LE(std::abs(got.v - want.v), 1) << where << " V " << got.v;
            EXPECT_LE(std::abs(got.y1 - want.y1), 1) << where << " Y1 " << got.y1;
        }

        class OutputDeviceDeckLinkGLTest : public HostRendererGLTest
        {
        protected:
            void SetUp() override
            {
                HostRendererGLTest::SetUp();
                ASSERT_FALSE(HasFatalFailure());
                sim = deckLinkSimulator();
                ASSERT_NE(sim, nullptr);
                sim->reset();
            }

            void TearDown() override
            {
                device.reset();
                sim->reset();
                HostRendererGLTest::TearDown();
            }

            // A card whose only mode is width x height.
            void open(long width, long height)
            {
                DeckLinkSimCard card = simCard(0, 2);
                card.model = "GL";
                card.modes = {{deckLinkFourCC('t', 'e', 's', 't'), "Test", width, height, 1000, 30000}};
                sim->addCard(card);
                device = std::make_unique<OutputDeviceDeckLink>("GL 1");
                ASSERT_TRUE(device->initialize());
            }

            // What the host does for one frame: fills the picture with
            // colour bars of the given widths (left to right), then ends.
            void drawFrame(const std::vector<std::pair<int, Color>>& bars)
            {
                ASSERT_EQ(sim->completeFrames(0, 1), 1);
                ASSERT_TRUE(device->begin());
                glEnable(GL_SCISSOR_TEST);
                int x = 0;
                for (const auto& [barWidth, colour] : bars)
                {
                    glScissor(x, 0, barWidth, device->getHeight());
                    glClearColor(colour.r, colour.g, colour.b, colour.a);
                    glClear(GL_COLOR_BUFFER_BIT);
                    x += barWidth;
                }
                glDisable(GL_SCISSOR_TEST);
                glClearColor(0, 0, 0, 0);
                device->end();
            }

            // Closes the card and lets the render thread run what the close
            // queued (the render target's way back to the pool).
            void close()
            {
                device.reset();
                sim->reset();
                root->executeRenderTask();
            }

            Group group(int x, int y)
            {
                const auto frames = sim->getScheduledFrames(0);
                const std::vector<uint8_t>& frame = frames.back();
                const size_t at = size_t(y) * size_t(device->getWidth()) * 2 + size_t(x) * 4;
                return {frame[at], frame[at + 1], frame[at + 2], frame[at + 3]};
            }

            DeckLinkSimControl* sim = nullptr;
            std::unique_ptr<OutputDeviceDeckLink> device;
        };

        TEST_F(OutputDeviceDeckLinkGLTest, PacedByTheCardAndScheduledAfterThePreroll)
        {
            open(1920, 1080);
            EXPECT_FALSE(device->begin()) << "no frame completed yet";
            drawFrame({{1920, Color::black}});
            EXPECT_FALSE(device->begin()) << "one picture per completed frame";
            const auto schedules = filterCalls(sim->getCallLog(), {"ScheduleVideoFrame"});
            EXPECT_EQ(schedules.back(), "ScheduleVideoFrame(60000, 1000, 30000)");
            const auto frames = sim->getScheduledFrames(0);
            ASSERT_EQ(frames.back().size(), 3840u * 1080u);
            expectNear(group(0, 0), {128, 16, 128, 16}, "corner");
            expectNear(group(959, 1079), {128, 16, 128, 16}, "far corner");
            EXPECT_EQ(device->getNumFreeFrames(), 2) << "frames rotate through the queue";
        }

        // A completion the driver took before a close and delivers after the
        // card was opened again paces nothing of the new opening.
        TEST_F(OutputDeviceDeckLinkGLTest, ACompletionFromBeforeAReopenPacesNothing)
        {
            open(64, 8);
            sim->holdCalls();
            {
                DriverCallThread driver(*sim, [&] { sim->completeFrames(0, 1); });
                ASSERT_TRUE(sim->waitForHeldCall(30000));
                device->release();
                ASSERT_TRUE(device->initialize());
            }
            const bool drawn = device->begin();
            if (drawn)
                device->end();
            EXPECT_FALSE(drawn) << "the card completed nothing since the reopening";
            drawFrame({{64, Color::black}});
        }

        struct Colour
        {
            const char* name;
            Color colour;
            Group yuv;
        };

        class OutputColourGLTest : public OutputDeviceDeckLinkGLTest, public ::testing::WithParamInterface<Colour>
        {
        };

        TEST_P(OutputColourGLTest, ConvertsToLimitedRangeYUV)
        {
            open(64, 8);
            // The colour as a bar between two others, wide enough that no
            // sample near its middle mixes in a neighbour.
            drawFrame({{24, Color(0.3f)}, {16, GetParam().colour}, {24, Color(0.7f)}});
            expectNear(group(15, 4), GetParam().yuv, "inside the bar");
            drawFrame({{64, GetParam().colour}});
            expectNear(group(0, 0), GetParam().yuv, "whole field");
            expectNear(group(31, 7), GetParam().yuv, "whole field");
        }

        INSTANTIATE_TEST_SUITE_P(Colours, OutputColourGLTest,
                                 ::testing::Values(Colour{"Black", Color::black, {128, 16, 128, 16}},
                                                   Colour{"White", Color::white, {128, 235, 128, 235}},
                                                   Colour{"Red", Color::red, {90, 81, 239, 81}}),
                                 [](const auto& info) { return std::string(info.param.name); });

        TEST_F(OutputDeviceDeckLinkGLTest, OverscanInsetsThePictureOnYUVBlack)
        {
            open(128, 64);
            drawFrame({{128, Color::white}});
            expectNear(group(0, 0), {128, 235, 128, 235}, "no overscan: the corner is the picture");

            auto overscan = std::dynamic_pointer_cast<ParamRange>(device->getParams()->getParam(2));
            overscan->setValue(5.0, ValueChangeInfo());
            drawFrame({{128, Color::white}});
            // The viewport is 64 x 64 texels; the picture spans -0.9 to 0.9:
            // texels 3.2 to 60.8 on both axes.
            expectNear(group(0, 0), {128, 16, 128, 16}, "border corner");
            expectNear(group(2, 32), {128, 16, 128, 16}, "left border");
            expectNear(group(32, 62), {128, 16, 128, 16}, "bottom border");
            expectNear(group(4, 4), {128, 235, 128, 235}, "picture corner");
            expectNear(group(32, 32), {128, 235, 128, 235}, "picture middle");
        }

        TEST_F(OutputDeviceDeckLinkGLTest, UnavailableFrameBytesAreNotScheduled)
        {
            open(64, 8);
            sim->clearCallLog();
            sim->failCall("GetBytes", 0);
            drawFrame({{64, Color::white}});
            EXPECT_TRUE(filterCalls(sim->getCallLog(), {"ScheduleVideoFrame"}).empty());
            EXPECT_EQ(device->getNumFreeFrames(), 2) << "the frame goes back to the queue";
        }

        // The card's render target comes from the pool and goes back to it:
        // the one target serves every size in turn, growing and shrinking,
        // and each picture fills every column of the frame.
        TEST_F(OutputDeviceDeckLinkGLTest, EverySizeFillsTheWholeFrameFromOnePooledTarget)
        {
            for (const auto& [w, h] : {std::pair{16L, 8L}, {80L, 40L}, {120L, 64L}, {32L, 16L}, {96L, 48L}})
            {
                SCOPED_TRACE(std::to_string(w) + " x " + std::to_string(h));
                open(w, h);
                ASSERT_FALSE(HasFatalFailure());
                drawFrame({{int(w), Color::white}});
                for (int x = 0; x < int(w / 2); ++x)
                {
                    expectNear(group(x, 0), {128, 235, 128, 235}, "column " + std::to_string(x) + ", first row");
                    expectNear(group(x, int(h) - 1), {128, 235, 128, 235},
                               "column " + std::to_string(x) + ", last row");
                }
                close();
                EXPECT_EQ(targets().getUsedRTCount(), 0u) << "the target went back to the pool";
            }
            EXPECT_EQ(targets().getTotalRTCount(), 1u);
        }

        // Closing the card queues its render target's return; releasing the
        // engine right after lets go of the pool before that return runs.
        TEST_F(OutputDeviceDeckLinkGLTest, ReleasingTheEngineRightAfterClosingTheCard)
        {
            open(64, 8);
            drawFrame({{64, Color::white}});
            device.reset();
            root->release();
            EXPECT_EQ(targets().getTotalRTCount(), 0u);
            EXPECT_EQ(root->getGfxObjectManager()->getNumReleasingObjects(), 0);
        }

        // The engine lets go of its render targets while the card is open:
        // the card keeps no pointer into the old pool. Drawn again after the
        // engine's GL start-up, it takes a fresh target and shows the
        // picture; closed, it gives nothing back to the new pool.
        TEST_F(OutputDeviceDeckLinkGLTest, ACardOpenWhileTheEngineReleasesTakesAFreshTarget)
        {
            open(64, 8);
            drawFrame({{64, Color::black}});
            root->release();
            root->init();
            ASSERT_TRUE(targets().init());
            RenderTarget* other = targets().retain(64, 8, *DEFAULT_COLOR_FMT, false, DEFAULT_DEPTH_FMT);
            ASSERT_NE(other, nullptr);

            LogRecorder log;
            drawFrame({{64, Color::white}});
            expectNear(group(0, 0), {128, 235, 128, 235}, "first column");
            expectNear(group(31, 7), {128, 235, 128, 235}, "last column");
            EXPECT_EQ(targets().getUsedRTCount(), 2u) << "the card's fresh target and the other";
            close();
            EXPECT_EQ(targets().getUsedRTCount(), 1u) << "only the card's own target went back";
            targets().release(other);
            EXPECT_EQ(log.count(logError), 0u) << log.dump();
        }

        // Closed after the engine's release, before any new start-up: nothing
        // is given back to the pool that let go of its targets.
        TEST_F(OutputDeviceDeckLinkGLTest, ACardClosedAfterTheEngineReleasedReturnsNothing)
        {
            open(64, 8);
            drawFrame({{64, Color::white}});
            root->release();
            LogRecorder log;
            close();
            EXPECT_EQ(targets().getTotalRTCount(), 0u);
            EXPECT_EQ(log.count(logError), 0u) << log.dump();
        }
    }
}
