#include "core/VXSelfIniter.h"

#include <gtest/gtest.h>

#include <cstddef>

namespace
{
    class Sized : public vx::SelfIniter
    {
    public:
        int getWidth() const override { return width; }
        int getHeight() const override { return height; }
        bool init() override
        {
            ++initCalls;
            return initSucceeds;
        }

        int width = 4;
        int height = 4;
        bool initSucceeds = true;
        int initCalls = 0;
    };

    class SelfIniterTest : public ::testing::Test
    {
    protected:
        // The base never touches the renderer, only passes it on; the graphics
        // core is not part of this suite, so an opaque stand-in address serves.
        alignas(std::max_align_t) unsigned char rendererStandIn[64] = {};
        vx::Renderer& renderer = *reinterpret_cast<vx::Renderer*>(rendererStandIn);
        Sized object;
    };

    TEST_F(SelfIniterTest, InitRunsOnceOnFirstBegin)
    {
        EXPECT_FALSE(object.isInitialized());
        EXPECT_TRUE(object.begin(renderer));
        EXPECT_TRUE(object.begin(renderer));
        object.end(renderer);
        EXPECT_EQ(1, object.initCalls);
        EXPECT_TRUE(object.isInitialized());
        EXPECT_FALSE(object.didInitFail());
    }

    TEST_F(SelfIniterTest, ZeroSizeRefusesWithoutInit)
    {
        object.width = 0;
        EXPECT_FALSE(object.begin(renderer));
        object.width = 4;
        object.height = 0;
        EXPECT_FALSE(object.begin(renderer));
        EXPECT_EQ(0, object.initCalls);
        EXPECT_FALSE(object.didInitFail());
    }

    TEST_F(SelfIniterTest, FailedInitIsNotRetriedUntilReset)
    {
        object.initSucceeds = false;
        EXPECT_FALSE(object.begin(renderer));
        object.initSucceeds = true;
        EXPECT_FALSE(object.begin(renderer));
        EXPECT_EQ(1, object.initCalls);
        EXPECT_TRUE(object.didInitFail());
        EXPECT_FALSE(object.isInitialized());

        object.resetState();
        EXPECT_FALSE(object.didInitFail());
        EXPECT_TRUE(object.begin(renderer));
        EXPECT_EQ(2, object.initCalls);
    }

}
