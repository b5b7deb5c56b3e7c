#include "core/VXBitUtils.h"

#include <gtest/gtest.h>

namespace
{
    TEST(BitUtils, PowersOfTwo)
    {
        EXPECT_FALSE(vx::isPowerOf2(0));
        EXPECT_TRUE(vx::isPowerOf2(1));
        EXPECT_TRUE(vx::isPowerOf2(0x80000000u));
        EXPECT_FALSE(vx::isPowerOf2(6));
        EXPECT_EQ(1, vx::nextPowerOf2(1));
        EXPECT_EQ(8, vx::nextPowerOf2(5));
        EXPECT_EQ(64, vx::nextPowerOf2(64));
        EXPECT_EQ(0, vx::nextPowerOf2(0));
        // Outside the int range the answer is 0.
        EXPECT_EQ(0, vx::nextPowerOf2(-5));
        EXPECT_EQ(0, vx::nextPowerOf2(0x40000001));
        EXPECT_EQ(0x40000000, vx::nextPowerOf2(0x40000000));
    }

    TEST(BitUtils, RoundUpToMultiples)
    {
        EXPECT_EQ(48, vx::nd16(33));
        EXPECT_EQ(36, vx::nd4(33));
        EXPECT_EQ(32, vx::nd16(32));
        EXPECT_EQ(32, vx::nd4(32));
        EXPECT_EQ(0, vx::nd16(0));
    }

    TEST(BitUtils, Logarithms)
    {
        EXPECT_EQ(0, vx::floorLog2(0));
        EXPECT_EQ(0, vx::floorLog2(1));
        EXPECT_EQ(3, vx::floorLog2(8));
        EXPECT_EQ(3, vx::floorLog2(9));
        EXPECT_EQ(31, vx::floorLog2(0xffffffffu));
        EXPECT_EQ(0, vx::ceilLog2(0));
        EXPECT_EQ(0, vx::ceilLog2(1));
        EXPECT_EQ(3, vx::ceilLog2(8));
        EXPECT_EQ(4, vx::ceilLog2(9));
    }

    TEST(BitUtils, ReverseAndCount)
    {
        EXPECT_EQ(0x80000000u, vx::reverse32(1));
        EXPECT_EQ(0x0000000Fu, vx::reverse32(0xF0000000u));
        EXPECT_EQ(0x12345678u, vx::reverse32(vx::reverse32(0x12345678u)));
        EXPECT_EQ(0, vx::ones32(0));
        EXPECT_EQ(32, vx::ones32(0xffffffffu));
        EXPECT_EQ(3, vx::ones32(0x10010010u));
    }

}
