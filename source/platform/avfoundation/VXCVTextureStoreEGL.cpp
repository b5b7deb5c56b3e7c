// The texture cache's store over the current EGL context: RGBA rectangle
// textures, converted from 4:2:2 on the CPU (Mesa has no 4:2:2 texture
// format to sample from).

#include "engine/video/formats/avfoundation/VXCVTextureStore.h"

#include "core/VXLog.h"
#include "engine/gfx/VXScopedTextureBinding.h"
#include "engine/gfx/VXScopedUnpackState.h"

#include <epoxy/egl.h>
#include <epoxy/gl.h>

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vx::av
{
    // Free GL textures by size, shared with the textures handed out.
    class TextureStorePool
    {
    public:
        struct Entry
        {
            unsigned name;
            int width, height;
            int generation;
        };

        TextureStorePool() = default;
        ~TextureStorePool() { deleteFree(); }

        void giveBack(unsigned name, int width, int height)
        {
            std::lock_guard<std::mutex> hold(lock);
            --held;
            free.push_back({name, width, height, generation});
        }

        unsigned take(int width, int height)
        {
            std::lock_guard<std::mutex> hold(lock);
            for (auto it = free.begin(); it != free.end(); ++it)
                if (it->width == width && it->height == height)
                {
                    const unsigned name = it->name;
                    free.erase(it);
                    ++held;
                    return name;
                }
            return 0;
        }

        void madeOne()
        {
            std::lock_guard<std::mutex> hold(lock);
            ++held;
        }

        // Deletes the free textures, or with aged only those given back before
        // the previous flush (a texture given back and flushed in one frame is
        // reused by the next frame's).
        void deleteFree(bool agedOnly = false)
        {
            std::lock_guard<std::mutex> hold(lock);
            const int before = generation++;
            if (agedOnly)
            {
                std::vector<Entry> young;
                std::vector<Entry> old;
                for (const Entry& entry : free)
                    (entry.generation < before ? old : young).push_back(entry);
                if (! old.empty() && eglGetCurrentContext() != EGL_NO_CONTEXT)
                    for (const Entry& entry : old)
                        glDeleteTextures(1, &entry.name);
                free.swap(young);
                return;
            }
            if (free.empty())
                return;
            // Names die only with their context (or one sharing it) current.
            if (eglGetCurrentContext() == EGL_NO_CONTEXT)
            {
                logPrint(logWarning, "CVOpenGLTextureCache: %d texture(s) left undeleted, no GL context current",
                         static_cast<int>(free.size()));
                free.clear();
                return;
            }
            for (const Entry& entry : free)
                glDeleteTextures(1, &entry.name);
            free.clear();
        }

        int count() const
        {
            std::lock_guard<std::mutex> hold(lock);
            return held + static_cast<int>(free.size());
        }

    private:
        mutable std::mutex lock;
        std::vector<Entry> free;
        int held = 0;
        int generation = 0;
    };

    CVOpenGLTexture::CVOpenGLTexture(std::shared_ptr<TextureStorePool> texturePool, unsigned glName, int w, int h)
        : pool(std::move(texturePool)), name(glName), width(w), height(h)
    {
    }

    CVOpenGLTexture::~CVOpenGLTexture()
    {
        pool->giveBack(name, width, height);
    }

    unsigned CVOpenGLTexture::getTarget() const
    {
        return GL_TEXTURE_RECTANGLE_ARB;
    }

    //==============================================================================
    // Video-range Y'CbCr to full-range RGB. Eight pixels at a time with SSE2
    // (16-bit lanes, coefficients in Q14), the rest in 16.16 fixed point:
    // libswscale's unscaled path for this pair of layouts has no SIMD form.
    struct TextureStore::Converter
    {
        struct Coefficients
        {
            double y, rv, gu, gv, bu;
        };

        // Video range from the matrix's luma weights of red and blue.
        static constexpr Coefficients coefficientsFor(double kr, double kb)
        {
            const double kg = 1.0 - kr - kb, chroma = 255.0 / 224.0;
            return {255.0 / 219.0, 2.0 * (1.0 - kr) * chroma, 2.0 * (1.0 - kb) * kb / kg * chroma,
                    2.0 * (1.0 - kr) * kr / kg * chroma, 2.0 * (1.0 - kb) * chroma};
        }

        static Coefficients coefficientsFor(YCbCrMatrix matrix)
        {
            switch (matrix)
            {
                case YCbCrMatrix::itu709:
                    return coefficientsFor(0.2126, 0.0722);
                case YCbCrMatrix::smpte240M:
                    return coefficientsFor(0.212, 0.087);
                case YCbCrMatrix::itu2020:
                    return coefficientsFor(0.2627, 0.0593);
                default:
                    return coefficientsFor(0.299, 0.114);
            }
        }

        static inline unsigned char clampByte(int v)
        {
            return static_cast<unsigned char>(v < 0 ? 0 : v > 255 ? 255 : v);
        }

        static void convertPairs(const unsigned char* in, int pairs, unsigned char* out, const Coefficients& c)
        {
            const int ky = static_cast<int>(c.y * 65536 + 0.5), krv = static_cast<int>(c.rv * 65536 + 0.5),
                      kgu = static_cast<int>(c.gu * 65536 + 0.5), kgv = static_cast<int>(c.gv * 65536 + 0.5),
                      kbu = static_cast<int>(c.bu * 65536 + 0.5);
            for (int i = 0; i < pairs; ++i, in += 4, out += 8)
            {
                const int u = in[0] - 128, v = in[2] - 128;
                const int y0 = (in[1] - 16) * ky + 32768, y1 = (in[3] - 16) * ky + 32768;
                const int r = krv * v, g = -kgu * u - kgv * v, b = kbu * u;
                out[0] = clampByte((y0 + r) >> 16);
                out[1] = clampByte((y0 + g) >> 16);
                out[2] = clampByte((y0 + b) >> 16);
                out[3] = 255;
                out[4] = clampByte((y1 + r) >> 16);
                out[5] = clampByte((y1 + g) >> 16);
                out[6] = clampByte((y1 + b) >> 16);
                out[7] = 255;
            }
        }

        static void convertRow(const unsigned char* source, int width, unsigned char* destination,
                               const Coefficients& c)
        {
            int x = 0;
#if defined(__SSE2__)
            const auto q14 = [](double k) { return _mm_set1_epi16(static_cast<short>(k * 16384 + 0.5)); };
            const __m128i ky = q14(c.y), krv = q14(c.rv), kgu = q14(c.gu), kgv = q14(c.gv), kbu = q14(c.bu - 1.0);
            const __m128i lowBytes = _mm_set1_epi16(0x00FF), sixteen = _mm_set1_epi16(16), half = _mm_set1_epi16(128),
                          rounding = _mm_set1_epi16(16), alpha = _mm_set1_epi8(-1);
            for (; x + 8 <= width; x += 8)
            {
                const __m128i in = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + x * 2));
                // Lanes of (U, V) and of Y, scaled up by 128 for the Q14 products (results in Q5).
                const __m128i uv = _mm_slli_epi16(_mm_sub_epi16(_mm_and_si128(in, lowBytes), half), 7);
                const __m128i y = _mm_mulhi_epi16(_mm_slli_epi16(_mm_sub_epi16(_mm_srli_epi16(in, 8), sixteen), 7), ky);
                const __m128i u = _mm_shufflehi_epi16(_mm_shufflelo_epi16(uv, 0xA0), 0xA0);
                const __m128i v = _mm_shufflehi_epi16(_mm_shufflelo_epi16(uv, 0xF5), 0xF5);
                __m128i r = _mm_adds_epi16(y, _mm_mulhi_epi16(v, krv));
                __m128i g = _mm_subs_epi16(_mm_subs_epi16(y, _mm_mulhi_epi16(u, kgu)), _mm_mulhi_epi16(v, kgv));
                __m128i b = _mm_adds_epi16(_mm_adds_epi16(y, _mm_srai_epi16(u, 2)), _mm_mulhi_epi16(u, kbu));
                r = _mm_srai_epi16(_mm_adds_epi16(r, rounding), 5);
                g = _mm_srai_epi16(_mm_adds_epi16(g, rounding), 5);
                b = _mm_srai_epi16(_mm_adds_epi16(b, rounding), 5);
                const __m128i rg = _mm_unpacklo_epi8(_mm_packus_epi16(r, r), _mm_packus_epi16(g, g));
                const __m128i ba = _mm_unpacklo_epi8(_mm_packus_epi16(b, b), alpha);
                _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + x * 4), _mm_unpacklo_epi16(rg, ba));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + x * 4 + 16), _mm_unpackhi_epi16(rg, ba));
            }
#endif
            convertPairs(source + x * 2, (width - x) / 2, destination + x * 4, c);
            if (width % 2 != 0)
            {
                // An odd row ends in a whole group whose second luma is padding.
                unsigned char last[8];
                convertPairs(source + (width - 1) * 2, 1, last, c);
                std::memcpy(destination + (width - 1) * 4, last, 4);
            }
        }

        static void convert(const unsigned char* source, std::size_t sourceBytesPerRow, int width, int height,
                            unsigned char* destination, YCbCrMatrix matrix)
        {
            const Coefficients c = coefficientsFor(matrix);
            for (int y = 0; y < height; ++y)
                convertRow(source + static_cast<std::size_t>(y) * sourceBytesPerRow, width,
                           destination + static_cast<std::size_t>(y) * static_cast<std::size_t>(width) * 4, c);
        }
    };

    void convert422ToRGBA(const unsigned char* source, std::size_t sourceBytesPerRow, int width, int height,
                          unsigned char* destination, bool bt709)
    {
        TextureStore::Converter::convert(source, sourceBytesPerRow, width, height, destination,
                                         bt709 ? YCbCrMatrix::itu709 : YCbCrMatrix::itu601);
    }

    std::unique_ptr<TextureStore> TextureStore::create()
    {
        EGLContext current = eglGetCurrentContext();
        if (current == EGL_NO_CONTEXT)
            return nullptr;
        std::unique_ptr<TextureStore> store(new TextureStore());
        store->context = current;
        store->pool = std::make_shared<TextureStorePool>();
        return store;
    }

    TextureStore::~TextureStore()
    {
        pool->deleteFree();
    }

    void TextureStore::flush()
    {
        pool->deleteFree(true);
    }

    int TextureStore::getTextureCount() const
    {
        return pool->count();
    }

    CVOpenGLTextureRef TextureStore::createTextureFromImage(const PixelBuffer& buffer, std::string* error)
    {
        const int w = buffer.getWidth(), h = buffer.getHeight();
        const unsigned char* pixels = buffer.getBaseAddress();
        if (buffer.getPixelFormat() == pixelFormat422YpCbCr8)
        {
            scratch.resize(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 4);
            // In the matrix the samples were coded with; a buffer that does
            // not say is taken as its height says.
            const YCbCrMatrix matrix =
                buffer.yCbCrMatrix != YCbCrMatrix::unknown ? buffer.yCbCrMatrix : defaultYCbCrMatrixFor(h);
            Converter::convert(pixels, buffer.getBytesPerRow(), w, h, scratch.data(), matrix);
            pixels = scratch.data();
        }
        else if (buffer.getPixelFormat() != pixelFormat32BGRA ||
                 buffer.getBytesPerRow() != static_cast<std::size_t>(w) * 4)
        {
            if (error != nullptr)
                *error = "pixel format without a texture layout";
            return nullptr;
        }
        const GLenum uploadFormat = buffer.getPixelFormat() == pixelFormat32BGRA ? GL_BGRA : GL_RGBA;

        unsigned name = pool->take(w, h);
        const ScopedUnpackState unpack;
        if (name == 0)
        {
            glGenTextures(1, &name);
            if (name == 0)
            {
                if (error != nullptr)
                    *error = "glGenTextures failed";
                return nullptr;
            }
            pool->madeOne();
            const ScopedTextureBinding binding(GL_TEXTURE_RECTANGLE_ARB, name);
            glTexParameteri(GL_TEXTURE_RECTANGLE_ARB, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
            glTexParameteri(GL_TEXTURE_RECTANGLE_ARB, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
            glTexParameteri(GL_TEXTURE_RECTANGLE_ARB, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
            glTexParameteri(GL_TEXTURE_RECTANGLE_ARB, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
            glTexImage2D(GL_TEXTURE_RECTANGLE_ARB, 0, GL_RGBA8, w, h, 0, uploadFormat, GL_UNSIGNED_BYTE, pixels);
        }
        else
        {
            const ScopedTextureBinding binding(GL_TEXTURE_RECTANGLE_ARB, name);
            glTexSubImage2D(GL_TEXTURE_RECTANGLE_ARB, 0, 0, 0, w, h, uploadFormat, GL_UNSIGNED_BYTE, pixels);
        }
        return std::make_shared<CVOpenGLTexture>(pool, name, w, h);
    }
}
