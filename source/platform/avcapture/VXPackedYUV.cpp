#include "platform/avcapture/VXPackedYUV.h"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace vx::packedyuv
{
    void packPlanar(const uint8_t* const planes[3], const size_t bytesPerRow[3], int width, int height,
                    int chromaRowShift, uint8_t* out, size_t outRow)
    {
        const int pairs = width / 2;
        for (int y = 0; y < height; ++y)
        {
            const uint8_t* luma = planes[0] + size_t(y) * bytesPerRow[0];
            const uint8_t* cb = planes[1] + size_t(y >> chromaRowShift) * bytesPerRow[1];
            const uint8_t* cr = planes[2] + size_t(y >> chromaRowShift) * bytesPerRow[2];
            uint8_t* row = out + size_t(y) * outRow;
            int x = 0;
#if defined(__SSE2__)
            // Chroma interleaved (U V U V ...), then with luma: U Y0 V Y1 ...
            for (; x + 8 <= pairs; x += 8)
            {
                const __m128i chroma = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(cb + x)),
                                                         _mm_loadl_epi64(reinterpret_cast<const __m128i*>(cr + x)));
                const __m128i lumas = _mm_loadu_si128(reinterpret_cast<const __m128i*>(luma + 2 * x));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(row + 4 * x), _mm_unpacklo_epi8(chroma, lumas));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(row + 4 * x + 16), _mm_unpackhi_epi8(chroma, lumas));
            }
#endif
            for (; x < pairs; ++x)
            {
                row[4 * x] = cb[x];
                row[4 * x + 1] = luma[2 * x];
                row[4 * x + 2] = cr[x];
                row[4 * x + 3] = luma[2 * x + 1];
            }
            if (width % 2 != 0)
            {
                uint8_t* last = row + 4 * size_t(pairs);
                last[0] = cb[pairs];
                last[1] = last[3] = luma[2 * pairs];
                last[2] = cr[pairs];
            }
        }
    }

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
    namespace
    {
        // 32 bytes a shuffle where the processor has AVX2, which keeps pace with memcpy.
        __attribute__((target("avx2"))) size_t swapPairsAVX2(uint8_t* out, const uint8_t* in, size_t bytes)
        {
            const __m256i order = _mm256_setr_epi8(1, 0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14, 1, 0, 3, 2, 5,
                                                   4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14);
            size_t i = 0;
            for (; i + 64 <= bytes; i += 64)
            {
                const __m256i low = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i));
                const __m256i high = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i + 32));
                _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), _mm256_shuffle_epi8(low, order));
                _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i + 32), _mm256_shuffle_epi8(high, order));
            }
            return i;
        }

        bool hasAVX2()
        {
            static const bool avx2 = []
            {
                __builtin_cpu_init();
                return __builtin_cpu_supports("avx2") != 0;
            }();
            return avx2;
        }
    }
#endif

    // Ordinary stores throughout: the upload reads the frame right after and
    // finds it in cache (streaming stores would send it to memory first).
    void copySwappingPairs(uint8_t* out, const uint8_t* in, size_t bytes)
    {
        size_t i = 0;
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
        if (hasAVX2())
            i = swapPairsAVX2(out, in, bytes);
#endif
#if defined(__SSE2__)
        for (; i + 16 <= bytes; i += 16)
        {
            const __m128i pairs = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i),
                             _mm_or_si128(_mm_slli_epi16(pairs, 8), _mm_srli_epi16(pairs, 8)));
        }
#endif
        for (; i + 8 <= bytes; i += 8)
        {
            uint64_t word;
            std::memcpy(&word, in + i, 8);
            word = ((word & 0x00FF00FF00FF00FFull) << 8) | ((word >> 8) & 0x00FF00FF00FF00FFull);
            std::memcpy(out + i, &word, 8);
        }
        for (; i + 2 <= bytes; i += 2)
        {
            out[i] = in[i + 1];
            out[i + 1] = in[i];
        }
    }
}
