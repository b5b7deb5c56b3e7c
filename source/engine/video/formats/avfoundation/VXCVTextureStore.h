#pragma once

#include "engine/video/formats/avfoundation/VXCoreMedia.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

// The CoreVideo OpenGL texture cache's store: GL textures made from pixel
// buffers, reused by size. Render thread only, with the context it was made
// on (or one sharing with it) current. Implemented in
// source/platform/avfoundation/.
namespace vx::av
{
    class TextureStorePool;

    // One texture handed out by the store; its GL texture goes back to the
    // store's free list when the last reference is dropped.
    class CVOpenGLTexture
    {
    public:
        CVOpenGLTexture(std::shared_ptr<TextureStorePool> pool, unsigned name, int width, int height);
        ~CVOpenGLTexture();
        CVOpenGLTexture(const CVOpenGLTexture&) = delete;
        CVOpenGLTexture& operator=(const CVOpenGLTexture&) = delete;

        unsigned getName() const { return name; }
        // GL_TEXTURE_RECTANGLE.
        unsigned getTarget() const;
        // The first row is the picture's top.
        bool isFlipped() const { return true; }
        int getWidth() const { return width; }
        int getHeight() const { return height; }

    private:
        std::shared_ptr<TextureStorePool> pool;
        unsigned name;
        int width, height;
    };
    using CVOpenGLTextureRef = std::shared_ptr<CVOpenGLTexture>;

    class TextureStore
    {
    public:
        // A store on the current GL context; null without one.
        static std::unique_ptr<TextureStore> create();
        // Deletes the free textures; those still held are deleted when dropped.
        ~TextureStore();
        TextureStore(const TextureStore&) = delete;
        TextureStore& operator=(const TextureStore&) = delete;

        // An RGBA rectangle texture of the buffer's size: '2vuy' converted
        // from video range with the buffer's matrix (untagged: as its height
        // says, defaultYCbCrMatrixFor), 'BGRA' as it is. Null with the reason
        // in error for other formats or when GL fails.
        CVOpenGLTextureRef createTextureFromImage(const PixelBuffer& buffer, std::string* error);
        // Deletes the textures nobody holds.
        void flush();
        // Free plus held textures.
        int getTextureCount() const;
        void* getContext() const { return context; }

        // The 4:2:2 conversion.
        struct Converter;

    private:
        TextureStore() = default;
        std::shared_ptr<TextureStorePool> pool;
        void* context = nullptr;
        std::vector<unsigned char> scratch;
    };

    // 4:2:2 U0 Y0 V0 Y1 rows to RGBA8 rows (alpha 255), video range in, full
    // range out; the conversion the store uploads. A row of odd width ends in
    // a whole group whose second luma is not shown.
    void convert422ToRGBA(const unsigned char* source, std::size_t sourceBytesPerRow, int width, int height,
                          unsigned char* destination, bool bt709);
}
