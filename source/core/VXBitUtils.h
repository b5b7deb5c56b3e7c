#pragma once

#include <cstdint>

// Small bit tricks and build-target constants.

namespace vx
{
    constexpr bool isLittleEndian()
    {
        return __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__;
    }

    constexpr bool is64bit()
    {
        return sizeof(void*) == 8;
    }

    // Not 0 and exactly one bit set.
    constexpr bool isPowerOf2(unsigned int value)
    {
        return value != 0 && (value & (value - 1)) == 0;
    }

    // Index of the highest set bit; 0 for 0.
    constexpr int floorLog2(unsigned int value)
    {
        int result = 0;
        while (value > 1)
        {
            value >>= 1;
            ++result;
        }
        return result;
    }

    // floorLog2, plus 1 when more than one bit is set; 0 for 0 and 1.
    constexpr int ceilLog2(unsigned int value)
    {
        return floorLog2(value) + ((value & (value - 1)) != 0 ? 1 : 0);
    }

    // The value itself when it is a power of two, otherwise twice its highest
    // set bit (5 gives 8). 0 for values of 0 or below and for values whose
    // next power of two does not fit in an int.
    constexpr int nextPowerOf2(int value)
    {
        if (value <= 0)
            return 0;
        const unsigned int u = static_cast<unsigned int>(value);
        if (isPowerOf2(u))
            return value;
        const unsigned int next = 2u << floorLog2(u);
        return next > 0x7fffffffu ? 0 : static_cast<int>(next);
    }

    // Smallest multiple of 16 (of 4) not below the value.
    constexpr int nd16(int value)
    {
        return static_cast<int>((static_cast<long long>(value) + 15) & ~15ll);
    }

    constexpr int nd4(int value)
    {
        return static_cast<int>((static_cast<long long>(value) + 3) & ~3ll);
    }

    // Bit 0 becomes bit 31.
    constexpr unsigned int reverse32(unsigned int value)
    {
        unsigned int result = 0;
        for (int i = 0; i < 32; ++i)
        {
            result = (result << 1) | (value & 1u);
            value >>= 1;
        }
        return result;
    }

    // Number of set bits, 0 to 32.
    constexpr int ones32(unsigned int value)
    {
        int count = 0;
        while (value != 0)
        {
            value &= value - 1;
            ++count;
        }
        return count;
    }
}
