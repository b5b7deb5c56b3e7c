#include "engine/video/codecs/VXYCoCgCoder.h"

#include "engine/video/codecs/VXBC5Coder.h"

namespace vx
{
    namespace
    {
        constexpr int yCoCg6TileBytes = 48;
        constexpr int yACoCg10TileBytes = 80;

        // Frees the workplace on every way out.
        class ScopedWorkplace
        {
        public:
            explicit ScopedWorkplace(int size) { allocated = YCOCG_allocateWorkplace(&workplace, size); }
            ~ScopedWorkplace() { YCOCG_freeWorkplace(&workplace); }
            ScopedWorkplace(const ScopedWorkplace&) = delete;
            ScopedWorkplace& operator=(const ScopedWorkplace&) = delete;

            bool isAllocated() const { return allocated; }
            YCoCgWorkplace* get() { return &workplace; }

        private:
            YCoCgWorkplace workplace;
            bool allocated = false;
        };

        // Tiles in size bytes, 0 when size is not a positive whole number of them.
        int tilesIn(int size, int tileBytes)
        {
            return size > 0 && size % tileBytes == 0 ? size / tileBytes : 0;
        }
    }

    int YCoCg6_compress(std::uint8_t* dst, int dstCapacity, const std::uint8_t* src, int size)
    {
        const int n = tilesIn(size, yCoCg6TileBytes);
        if (n == 0 || dst == nullptr || src == nullptr || dstCapacity <= 0)
            return 0;
        ScopedWorkplace workplace(4 * n);
        if (! workplace.isAllocated())
            return 0;
        const int luma = BC4_Compress(dst, dstCapacity, src, 4 * n, workplace.get());
        if (luma == 0)
            return 0;
        const int chroma = BC5_Compress(dst + luma, dstCapacity - luma, src + 32 * n, n, workplace.get());
        return chroma == 0 ? 0 : luma + chroma;
    }

    int YCoCg6_decompress(const std::uint8_t* src, std::uint8_t* dst, int srcSize, int size)
    {
        const int n = tilesIn(size, yCoCg6TileBytes);
        if (n == 0 || dst == nullptr || src == nullptr || srcSize <= 0)
            return 0;
        ScopedWorkplace workplace(4 * n);
        if (! workplace.isAllocated())
            return 0;
        const int luma = BC4_Decompress(dst, 4 * n, src, workplace.get(), srcSize);
        if (luma == 0)
            return 0;
        const int chroma = BC5_Decompress(dst + 32 * n, n, src + luma, workplace.get(), srcSize - luma);
        return chroma == 0 ? 0 : luma + chroma;
    }

    int YACoCg10_compress(std::uint8_t* dst, int dstCapacity, const std::uint8_t* src, int size)
    {
        const int n = tilesIn(size, yACoCg10TileBytes);
        if (n == 0 || dst == nullptr || src == nullptr || dstCapacity <= 0)
            return 0;
        ScopedWorkplace workplace(8 * n);
        if (! workplace.isAllocated())
            return 0;
        const int lumaAlpha = BC5_Compress(dst, dstCapacity, src, 4 * n, workplace.get());
        if (lumaAlpha == 0)
            return 0;
        const int chroma = BC5_Compress(dst + lumaAlpha, dstCapacity - lumaAlpha, src + 64 * n, n, workplace.get());
        return chroma == 0 ? 0 : lumaAlpha + chroma;
    }

    int YACoCg10_decompress(const std::uint8_t* src, std::uint8_t* dst, int srcSize, int size)
    {
        const int n = tilesIn(size, yACoCg10TileBytes);
        if (n == 0 || dst == nullptr || src == nullptr || srcSize <= 0)
            return 0;
        ScopedWorkplace workplace(8 * n);
        if (! workplace.isAllocated())
            return 0;
        const int lumaAlpha = BC5_Decompress(dst, 4 * n, src, workplace.get(), srcSize);
        if (lumaAlpha == 0)
            return 0;
        const int chroma = BC5_Decompress(dst + 64 * n, n, src + lumaAlpha, workplace.get(), srcSize - lumaAlpha);
        return chroma == 0 ? 0 : lumaAlpha + chroma;
    }
}
