#include "plugin/FlakeSimulation.h"

#include "engine/video/formats/VXPixels.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

namespace
{
    using kelvo::FlakeSimulation;
    using kelvo::Particle;

    // A one-byte-per-pixel read-back, row 0 = bottom, all black.
    struct Readback
    {
        Readback(int w, int h) : width(w), height(h), bytes(static_cast<std::size_t>(w * h), 0) {}
        void light(int column, int row) { bytes[static_cast<std::size_t>(row * width + column)] = 255; }
        float pointX(int column) const { return static_cast<float>(column) * 2.0f / static_cast<float>(width) - 1.0f; }
        float pointY(int row) const { return 1.0f - static_cast<float>(row) * 2.0f / static_cast<float>(height); }

        int width, height;
        std::vector<unsigned char> bytes;
    };

    std::vector<FlakeSimulation::Point> allPoints(const FlakeSimulation& simulation)
    {
        std::vector<FlakeSimulation::Point> points;
        for (int b = 0; b < FlakeSimulation::numBuckets; ++b)
            points.insert(points.end(), simulation.getBucket(b).begin(), simulation.getBucket(b).end());
        return points;
    }

    Particle fallingAt(float x, float y, float velocityX, float velocityY)
    {
        Particle p;
        p.x = x;
        p.y = y;
        p.velocityX = velocityX;
        p.velocityY = velocityY;
        p.width = p.height = 0.02f;
        return p;
    }

    // No spawn in these updates: the last spawn is "now".
    constexpr double now = 1000.0;

    class FlakeSimulationTest : public ::testing::Test
    {
    protected:
        void SetUp() override
        {
            std::srand(1234);
            simulation.setLastSpawnTime(now);
        }

        void rebuild(const Readback& readback, bool smartEdges = true)
        {
            simulation.findEdgePoints(readback.bytes.data(), readback.width, readback.height, smartEdges);
        }

        FlakeSimulation simulation;
        FlakeSimulation::Settings settings;
    };

    // ---- Edge points.

    TEST_F(FlakeSimulationTest, EdgePointsIgnoreTheFivePixelBorderAndLandInTheirStrip)
    {
        Readback readback(100, 50);
        // Just outside the border on every side, then just inside it.
        readback.light(4, 20);
        readback.light(95, 20);
        readback.light(30, 4);
        readback.light(30, 45);
        readback.light(5, 20);
        readback.light(94, 20);
        readback.light(30, 5);
        readback.light(31, 44);
        rebuild(readback, false);

        ASSERT_EQ(simulation.getNumEdgePoints(), 4u);
        // Column 5 of 100: x = -0.9, bucket 2; row 5 of 50 is near the bottom.
        const auto& left = simulation.getBucket(FlakeSimulation::bucketFor(readback.pointX(5)));
        ASSERT_EQ(left.size(), 1u);
        EXPECT_FLOAT_EQ(left[0].x, -0.9f);
        EXPECT_FLOAT_EQ(left[0].y, readback.pointY(20));
        for (const auto& point : allPoints(simulation))
        {
            const auto& strip = simulation.getBucket(FlakeSimulation::bucketFor(point.x));
            EXPECT_NE(std::find(strip.begin(), strip.end(), point), strip.end());
        }
        // The strips cover the whole width, the right edge included.
        EXPECT_EQ(FlakeSimulation::bucketFor(-1.0f), 0);
        EXPECT_EQ(FlakeSimulation::bucketFor(1.0f), 39);
    }

    TEST_F(FlakeSimulationTest, SmartEdgesKeepTheThreePointsNearestTheTopOfEachColumn)
    {
        Readback readback(64, 64);
        for (int row = 10; row <= 20; ++row)
            readback.light(32, row);
        readback.light(33, 12);

        rebuild(readback, true);
        auto points = allPoints(simulation);
        ASSERT_EQ(points.size(), 4u);
        std::vector<float> column32;
        for (const auto& point : points)
            if (point.x == readback.pointX(32))
                column32.push_back(point.y);
        // Visited from the top row down: rows 20, 19, 18.
        EXPECT_EQ(column32, (std::vector<float>{readback.pointY(20), readback.pointY(19), readback.pointY(18)}));

        rebuild(readback, false);
        EXPECT_EQ(simulation.getNumEdgePoints(), 12u);
    }

    TEST_F(FlakeSimulationTest, ABlackOrMissingReadbackEmptiesTheBuckets)
    {
        Readback readback(64, 64);
        readback.light(20, 20);
        rebuild(readback);
        ASSERT_EQ(simulation.getNumEdgePoints(), 1u);

        rebuild(Readback(64, 64));
        EXPECT_EQ(simulation.getNumEdgePoints(), 0u);

        rebuild(readback);
        simulation.findEdgePoints(nullptr, 64, 64, true);
        EXPECT_EQ(simulation.getNumEdgePoints(), 0u);

        // Too small for anything inside the border.
        Readback tiny(10, 10);
        for (int i = 0; i < 10; ++i)
            tiny.light(i, i);
        rebuild(tiny);
        EXPECT_EQ(simulation.getNumEdgePoints(), 0u);
    }

    TEST_F(FlakeSimulationTest, PixelsBuffersOfOneBytePerPixelAreReadAndOthersRefused)
    {
        vx::Pixels single(64, 64, 1, nullptr);
        single.data[20 * 64 + 20] = 7;
        simulation.findEdgePoints(&single, true);
        EXPECT_EQ(simulation.getNumEdgePoints(), 1u);

        // A null buffer leaves the buckets as they are.
        simulation.findEdgePoints(static_cast<const vx::Pixels*>(nullptr), true);
        EXPECT_EQ(simulation.getNumEdgePoints(), 1u);

        // Four bytes per pixel would be read as a picture four times as wide.
        vx::Pixels rgba(64, 64, 4, nullptr);
        std::fill(rgba.data, rgba.data + rgba.dataSize, 255);
        simulation.findEdgePoints(&rgba, true);
        EXPECT_EQ(simulation.getNumEdgePoints(), 0u);
    }

    // ---- Landing.

    struct LandingCase
    {
        const char* name;
        float x, y, velocityX, velocityY;
        float pointDx, pointDy; // the point relative to the flake after its move
        bool lands;
    };

    class FlakeLandingTest : public FlakeSimulationTest, public ::testing::WithParamInterface<LandingCase>
    {
    };

    TEST_P(FlakeLandingTest, LandsOnlyOnAPointJustBelowWhenMovingSlowly)
    {
        const LandingCase& c = GetParam();
        constexpr double frameMs = 16.0; // step 1.6 at speed 1
        const float movedX = c.x + c.velocityX * 1.6f;
        const float movedY = c.y + c.velocityY * 1.6f;
        const float pointX = movedX + c.pointDx;
        const float pointY = movedY + c.pointDy;

        // A read-back whose one lit pixel lies at the wanted point is not
        // exact enough; put the point straight into a bucket by a readback of
        // matching resolution instead: 2000 x 2000 gives a 0.001 grid.
        Readback readback(2000, 2000);
        const int column = static_cast<int>(std::lround((pointX + 1.0f) * 1000.0f));
        const int row = static_cast<int>(std::lround((1.0f - pointY) * 1000.0f));
        readback.light(column, row);
        rebuild(readback);
        ASSERT_EQ(simulation.getNumEdgePoints(), 1u);
        const auto point = allPoints(simulation)[0];

        simulation.addParticle(fallingAt(c.x, c.y, c.velocityX, c.velocityY));
        simulation.update(now, frameMs, settings);

        ASSERT_EQ(simulation.getParticles().size(), 1u);
        const Particle& p = simulation.getParticles()[0];
        EXPECT_EQ(! p.falling, c.lands);
        if (c.lands)
        {
            EXPECT_FLOAT_EQ(p.life, 1.0f);
            EXPECT_EQ(p.pointX, point.x);
            EXPECT_EQ(p.pointY, point.y);
            EXPECT_EQ(p.bucket, FlakeSimulation::bucketFor(point.x));
        }
        else
        {
            EXPECT_NEAR(p.life, 1.0f - 0.00084f, 1e-6f);
        }
    }

    INSTANTIATE_TEST_SUITE_P(Cases, FlakeLandingTest,
                             ::testing::Values(
                                 // Moves 0.0016 down (and 0.016 sideways): slow in y, so tested.
                                 LandingCase{"SlowDownFastSideways", 0.1f, 0.2f, 0.01f, 0.001f, 0.0f, 0.003f, true},
                                 LandingCase{"PointDirectlyBelow", -0.52f, 0.0f, 0.0f, 0.001f, 0.002f, 0.002f, true},
                                 LandingCase{"FastBothWays", 0.1f, 0.2f, 0.01f, 0.005f, 0.0f, 0.002f, false},
                                 LandingCase{"PointAbove", 0.1f, 0.2f, 0.0f, 0.001f, 0.0f, -0.002f, false},
                                 LandingCase{"PointTooFarBelow", 0.1f, 0.2f, 0.0f, 0.001f, 0.0f, 0.006f, false},
                                 LandingCase{"PointTooFarAside", 0.1f, 0.2f, 0.0f, 0.001f, 0.006f, 0.002f, false}),
                             [](const auto& info) { return std::string(info.param.name); });

    // ---- Settled flakes.

    TEST_F(FlakeSimulationTest, ASettledFlakeStaysWhileItsPointSurvivesAndFallsWithHalfItsLifeAfter)
    {
        Readback readback(640, 360);
        readback.light(320, 180);
        rebuild(readback);
        const auto point = allPoints(simulation)[0];

        simulation.addParticle(fallingAt(point.x, point.y - 0.002f, 0.0f, 0.001f));
        simulation.update(now, 10.0, settings);
        ASSERT_FALSE(simulation.getParticles()[0].falling);

        // The next pass finds the same pixel: same exact coordinates.
        rebuild(readback);
        simulation.update(now, 100.0, settings);
        ASSERT_FALSE(simulation.getParticles()[0].falling);
        EXPECT_NEAR(simulation.getParticles()[0].life, 1.0f - 100.0f * 5.25e-5f, 1e-6f);

        // The edge moved by one pixel.
        Readback moved(640, 360);
        moved.light(321, 180);
        rebuild(moved);
        simulation.update(now, 100.0, settings);
        const Particle& p = simulation.getParticles()[0];
        EXPECT_TRUE(p.falling);
        EXPECT_NEAR(p.life, (1.0f - 2.0f * 100.0f * 5.25e-5f) * 0.5f, 1e-6f);
    }

    TEST_F(FlakeSimulationTest, AnAllBlackReadbackReleasesEverySettledFlake)
    {
        Readback readback(640, 360);
        for (int column = 100; column < 540; column += 40)
            readback.light(column, 200);
        rebuild(readback);
        for (const auto& point : allPoints(simulation))
            simulation.addParticle(fallingAt(point.x, point.y - 0.001f, 0.0f, 0.001f));
        simulation.update(now, 5.0, settings);
        for (const Particle& p : simulation.getParticles())
            ASSERT_FALSE(p.falling);

        rebuild(Readback(640, 360));
        simulation.update(now, 5.0, settings);
        ASSERT_EQ(simulation.getParticles().size(), 11u);
        for (const Particle& p : simulation.getParticles())
            EXPECT_TRUE(p.falling);
    }

    // ---- Leaving the picture.

    TEST_F(FlakeSimulationTest, AFlakePastTheRightEdgeKeepsFallingUntilItsLifeRunsOut)
    {
        // A point right where the flake will be: outside the picture it is
        // never tested.
        Readback readback(2000, 2000);
        readback.light(1994, 1000);
        rebuild(readback);
        simulation.addParticle(fallingAt(1.01f, -0.001f, 0.0f, 0.0001f));

        // 500 ms at speed 1: decay 0.02625 a frame; 38 frames leave 0.0025.
        for (int frame = 0; frame < 38; ++frame)
        {
            simulation.update(now, 500.0, settings);
            ASSERT_EQ(simulation.getParticles().size(), 1u) << "frame " << frame;
            ASSERT_TRUE(simulation.getParticles()[0].falling);
        }
        simulation.update(now, 500.0, settings);
        EXPECT_TRUE(simulation.getParticles().empty());
    }

    TEST_F(FlakeSimulationTest, FlakesBelowThePictureAreRemovedAtOnceKeepingTheOrderOfTheRest)
    {
        simulation.addParticle(fallingAt(-0.5f, 0.0f, 0.0f, 0.001f));
        simulation.addParticle(fallingAt(0.0f, 0.999f, 0.0f, 0.005f));
        simulation.addParticle(fallingAt(0.5f, 0.0f, 0.0f, 0.001f));
        simulation.update(now, 16.0, settings);
        ASSERT_EQ(simulation.getParticles().size(), 2u);
        EXPECT_EQ(simulation.getParticles()[0].x, -0.5f);
        EXPECT_EQ(simulation.getParticles()[1].x, 0.5f);
        EXPECT_FLOAT_EQ(simulation.getParticles()[0].y, 0.0016f);
    }

    TEST_F(FlakeSimulationTest, SpeedScalesTheStepAndTheDecay)
    {
        settings.speed = 2.5;
        simulation.addParticle(fallingAt(0.0f, -0.5f, 0.002f, 0.004f));
        simulation.update(now, 20.0, settings); // k = 50: step 5, decay 0.002625
        const Particle& p = simulation.getParticles()[0];
        EXPECT_FLOAT_EQ(p.x, 0.01f);
        EXPECT_FLOAT_EQ(p.y, -0.48f);
        EXPECT_NEAR(p.life, 1.0f - 0.002625f, 1e-6f);
    }

    // ---- Spawning.

    TEST_F(FlakeSimulationTest, SpawnsAmountFlakesAboveThePictureAtMostEvery20Ms)
    {
        settings.amount = 20.9;
        settings.size = 2.0;
        simulation.setAspectRatio(0.5625f);
        simulation.setLastSpawnTime(0.0);

        simulation.update(20.0, 0.0, settings);
        EXPECT_TRUE(simulation.getParticles().empty()); // exactly 20 ms: not yet
        simulation.update(20.5, 0.0, settings);
        ASSERT_EQ(simulation.getParticles().size(), 20u);
        EXPECT_EQ(simulation.getLastSpawnTime(), 20.5);
        simulation.update(40.5, 0.0, settings);
        EXPECT_EQ(simulation.getParticles().size(), 20u);
        simulation.update(41.0, 0.0, settings);
        EXPECT_EQ(simulation.getParticles().size(), 40u);

        for (const Particle& p : simulation.getParticles())
        {
            EXPECT_EQ(p.y, -1.2f);
            EXPECT_TRUE(p.falling);
            EXPECT_EQ(p.life, 1.0f);
            EXPECT_GE(p.x, -1.1f);
            EXPECT_LT(p.x, 1.1f);
            EXPECT_GE(p.velocityY, 0.001f);
            EXPECT_LT(p.velocityY, 0.006f);
            EXPECT_LE(std::fabs(p.velocityX), 0.002f * 0.25f);
            EXPECT_GE(p.height, 0.005f * 2.0f);
            EXPECT_LT(p.height, 0.05f * 2.0f);
            EXPECT_FLOAT_EQ(p.width, p.height * 0.5625f);
            // Blue's hue and value with at most 0.1 saturation: near white.
            EXPECT_EQ(p.color.b, 1.0f);
            EXPECT_GE(p.color.r, 0.9f);
            EXPECT_FLOAT_EQ(p.color.r, p.color.g);
            EXPECT_EQ(p.color.a, 1.0f);
        }
    }

    struct LimitCase
    {
        const char* name;
        int alive;
        int expectedAfter;
    };

    class FlakeSpawnLimitTest : public FlakeSimulationTest, public ::testing::WithParamInterface<LimitCase>
    {
    };

    TEST_P(FlakeSpawnLimitTest, SpawningStopsOnceTheListPasses9999)
    {
        settings.amount = 50.0;
        for (int i = 0; i < GetParam().alive; ++i)
            simulation.addParticle(fallingAt(0.0f, 0.0f, 0.0f, 0.0f));
        simulation.setLastSpawnTime(0.0);
        simulation.update(now, 0.0, settings);
        EXPECT_EQ(static_cast<int>(simulation.getParticles().size()), GetParam().expectedAfter);
    }

    INSTANTIATE_TEST_SUITE_P(Cases, FlakeSpawnLimitTest,
                             ::testing::Values(LimitCase{"Empty", 0, 50}, LimitCase{"Near", 9990, 10000},
                                               LimitCase{"AtLimit", 9999, 10000}, LimitCase{"Full", 10000, 10001},
                                               LimitCase{"Over", 10020, 10021}),
                             [](const auto& info) { return std::string(info.param.name); });

    // ---- Settings that are not numbers.

    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    constexpr double infinity = std::numeric_limits<double>::infinity();

    struct AmountCase
    {
        const char* name;
        double amount;
        std::size_t spawned;
    };

    class FlakeAmountTest : public FlakeSimulationTest, public ::testing::WithParamInterface<AmountCase>
    {
    };

    TEST_P(FlakeAmountTest, AnAmountBeyondAnIntegerSpawnsNoneOrUpToTheLimit)
    {
        settings.amount = GetParam().amount;
        simulation.setLastSpawnTime(0.0);
        simulation.update(now, 16.0, settings);
        EXPECT_EQ(simulation.getParticles().size(), GetParam().spawned);
    }

    INSTANTIATE_TEST_SUITE_P(Cases, FlakeAmountTest,
                             ::testing::Values(AmountCase{"NaN", nan, 0}, AmountCase{"MinusInfinity", -infinity, 0},
                                               AmountCase{"Negative", -3e12, 0}, AmountCase{"BelowOne", 0.99, 0},
                                               AmountCase{"Huge", 3e12, 10000},
                                               AmountCase{"Infinity", infinity, 10000}),
                             [](const auto& info) { return std::string(info.param.name); });

    struct NonFiniteCase
    {
        const char* name;
        double FlakeSimulation::Settings::*setting;
        double value;
        bool flakesLive; // whether flakes outlive the frame they were born in
    };

    class FlakeNonFiniteTest : public FlakeSimulationTest, public ::testing::WithParamInterface<NonFiniteCase>
    {
    };

    // Flakes whose position is not a number fall through the edges without a
    // landing test, and those whose life is not a number go: nothing piles
    // up, and a later sound setting brings the effect back.
    TEST_P(FlakeNonFiniteTest, FlakesOfNonFiniteSettingsNeitherLandAnywhereNorPileUp)
    {
        const NonFiniteCase& c = GetParam();
        // A row of edge points across the picture, and falling flakes just
        // above them that land on the next slow step.
        Readback readback(640, 360);
        for (int column = 10; column < 630; ++column)
            readback.light(column, 180);
        rebuild(readback);
        for (int i = 0; i < 20; ++i)
            simulation.addParticle(fallingAt(-0.9f + 0.09f * static_cast<float>(i), -0.002f, 0.0f, 0.001f));

        settings.*c.setting = c.value;
        double time = now;
        // Long frames bring the newborn flakes into the picture in a few steps.
        for (int frame = 0; frame < 30; ++frame)
        {
            time += 25.0;
            simulation.update(time, 100.0, settings);
            for (const Particle& p : simulation.getParticles())
            {
                ASSERT_GT(p.life, 0.0f) << "frame " << frame;
                if (! p.falling)
                {
                    ASSERT_TRUE(std::isfinite(p.x) && std::isfinite(p.y)) << "frame " << frame;
                }
            }
        }
        // Every update spawns 20; without a life, only the newest are left.
        if (c.flakesLive)
            EXPECT_GT(simulation.getParticles().size(), 20u);
        else
            EXPECT_EQ(simulation.getParticles().size(), 20u);

        simulation.clearParticles();
        settings = FlakeSimulation::Settings();
        for (int frame = 0; frame < 200; ++frame)
        {
            time += 25.0;
            simulation.update(time, 50.0, settings);
        }
        std::size_t settled = 0;
        for (const Particle& p : simulation.getParticles())
            settled += p.falling ? 0 : 1;
        EXPECT_GT(settled, 0u);
    }

    INSTANTIATE_TEST_SUITE_P(
        Cases, FlakeNonFiniteTest,
        ::testing::Values(NonFiniteCase{"SpeedNaN", &FlakeSimulation::Settings::speed, nan, false},
                          NonFiniteCase{"SpeedInfinity", &FlakeSimulation::Settings::speed, infinity, false},
                          NonFiniteCase{"SpreadNaN", &FlakeSimulation::Settings::spread, nan, true},
                          NonFiniteCase{"SpreadInfinity", &FlakeSimulation::Settings::spread, infinity, true},
                          NonFiniteCase{"SizeNaN", &FlakeSimulation::Settings::size, nan, true}),
        [](const auto& info) { return std::string(info.param.name); });

    TEST_F(FlakeSimulationTest, ASeededRunIsRepeatable)
    {
        auto run = [this]
        {
            std::srand(99);
            FlakeSimulation s;
            Readback readback(320, 180);
            for (int column = 10; column < 310; ++column)
                readback.light(column, 60 + column % 7);
            s.findEdgePoints(readback.bytes.data(), 320, 180, true);
            for (int frame = 0; frame < 200; ++frame)
                s.update(frame * 16.0, 16.0, settings);
            return s.getParticles();
        };
        const auto first = run();
        const auto second = run();
        ASSERT_EQ(first.size(), second.size());
        ASSERT_FALSE(first.empty());
        int settled = 0;
        for (std::size_t i = 0; i < first.size(); ++i)
        {
            EXPECT_EQ(first[i].x, second[i].x);
            EXPECT_EQ(first[i].y, second[i].y);
            settled += first[i].falling ? 0 : 1;
        }
        // Over 3.2 s flakes reach the edge near the bottom third and stay.
        EXPECT_GT(settled, 0);
    }

    // ---- Frame clock of one instance.

    TEST(InstanceFrameClockTest, EachInstanceMeasuresFromItsOwnPreviousTick)
    {
        kelvo::InstanceFrameClock a, b;
        EXPECT_EQ(a.tick(1000.0), 0.0);
        EXPECT_EQ(b.tick(1008.0), 0.0);
        EXPECT_EQ(a.tick(1016.0), 16.0);
        EXPECT_EQ(b.tick(1024.0), 16.0);
        EXPECT_EQ(a.tick(1032.0), 16.0);
        a.reset();
        EXPECT_EQ(a.tick(5000.0), 0.0);
    }

}
