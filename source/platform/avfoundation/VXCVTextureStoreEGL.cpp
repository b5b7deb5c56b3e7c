// The texture cache's store over the current EGL context: RGBA rectangle
// textures, converted from 4:2:2 with libswscale (Mesa has no 4:2:2
// texture format to sample from).

#include "engine/video/formats/avfoundation/VXCVTextureStore.h"

#include "core/VXLog.h"
#include "engine/gfx/VXScopedTextureBinding.h"
#include "engine/gfx/VXScopedUnpackState.h"

#include <epoxy/egl.h>
#include <epoxy/gl.h>

extern "C"
{
#include <libswscale/swscale.h>
}

#include <algorithm>

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
    struct TextureStore::Converter
    {
        SwsContext* context = nullptr;
        int width = 0, height = 0;
        bool bt709 = false;

        ~Converter() { sws_freeContext(context); }

        bool prepare(int w, int h, bool useBt709)
        {
            if (context != nullptr && w == width && h == height && useBt709 == bt709)
                return true;
            sws_freeContext(context);
            context = sws_getContext(w, h, AV_PIX_FMT_UYVY422, w, h, AV_PIX_FMT_RGBA, SWS_POINT, nullptr, nullptr,
                                     nullptr);
            if (context == nullptr)
                return false;
            const int* coefficients = sws_getCoefficients(useBt709 ? SWS_CS_ITU709 : SWS_CS_ITU601);
            sws_setColorspaceDetails(context, coefficients, 0, coefficients, 1, 0, 1 << 16, 1 << 16);
            width = w;
            height = h;
            bt709 = useBt709;
            return true;
        }

        void convert(const unsigned char* source, std::size_t sourceBytesPerRow, unsigned char* destination)
        {
            const uint8_t* sourcePlanes[4] = {source, nullptr, nullptr, nullptr};
            const int sourceStrides[4] = {static_cast<int>(sourceBytesPerRow), 0, 0, 0};
            uint8_t* destinationPlanes[4] = {destination, nullptr, nullptr, nullptr};
            const int destinationStrides[4] = {width * 4, 0, 0, 0};
            sws_scale(context, sourcePlanes, sourceStrides, 0, height, destinationPlanes, destinationStrides);
        }
    };

    void convert422ToRGBA(const unsigned char* source, std::size_t sourceBytesPerRow, int width, int height,
                          unsigned char* destination, bool bt709)
    {
        TextureStore::Converter converter;
        if (converter.prepare(width, height, bt709))
            converter.convert(source, sourceBytesPerRow, destination);
    }

    std::unique_ptr<TextureStore> TextureStore::create()
    {
        EGLContext current = eglGetCurrentContext();
        if (current == EGL_NO_CONTEXT)
            return nullptr;
        std::unique_ptr<TextureStore> store(new TextureStore());
        store->context = current;
        store->pool = std::make_shared<TextureStorePool>();
        store->converter = std::make_unique<Converter>();
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
            if (w % 2 != 0 || ! converter->prepare(w, h, h >= 720))
            {
                if (error != nullptr)
                    *error = "cannot convert a 4:2:2 buffer of odd width";
                return nullptr;
            }
            scratch.resize(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 4);
            converter->convert(pixels, buffer.getBytesPerRow(), scratch.data());
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
