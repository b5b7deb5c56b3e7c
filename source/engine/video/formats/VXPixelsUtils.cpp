#include "engine/video/formats/VXPixelsUtils.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include <epoxy/gl.h>

#include "core/VXFile.h"
#include "core/VXLog.h"
#include "engine/gfx/VXGfxUtils.h"
#include "engine/gfx/VXRenderContext.h"
#include "engine/gfx/VXRenderTarget.h"
#include "engine/gfx/VXRenderTargetManager.h"
#include "engine/gfx/VXRenderer.h"
#include "engine/gfx/VXScopedPackState.h"
#include "engine/gfx/VXScopedTextureUnit.h"
#include "engine/gfx/VXShaders.h"
#include "engine/gfx/VXTexture.h"
#include "engine/video/formats/VXImageUtils.h"
#include "engine/video/formats/VXPixels.h"

namespace vx
{
    namespace
    {
        // Type and format of a plain pixel size; false for others.
        bool layoutForBytesPerPixel(int bytesPerPixel, unsigned int& type, unsigned int& format)
        {
            switch (bytesPerPixel)
            {
                case 1:
                    format = GL_LUMINANCE;
                    type = GL_UNSIGNED_BYTE;
                    return true;
                case 2:
                    format = GL_LUMINANCE;
                    type = GL_UNSIGNED_SHORT;
                    return true;
                case 3:
                    format = GL_RGB;
                    type = GL_UNSIGNED_BYTE;
                    return true;
                case 4:
                    format = GL_RGBA;
                    type = GL_UNSIGNED_BYTE;
                    return true;
                case 8:
                    format = GL_RGBA;
                    type = GL_UNSIGNED_SHORT;
                    return true;
                default:
                    return false;
            }
        }

        // A source the copy operations can walk: data, pixel size and
        // width x height rows of stride bytes inside the buffer.
        bool isCopySource(const Pixels* pixels, int bytesPerPixel)
        {
            return pixels != nullptr && pixels->data != nullptr && pixels->bytesPerPixel == bytesPerPixel &&
                   pixels->width > 0 && pixels->height > 0 && pixels->stride >= pixels->width * bytesPerPixel &&
                   static_cast<long long>(pixels->stride) * (pixels->height - 1) +
                           static_cast<long long>(pixels->width) * bytesPerPixel <=
                       pixels->dataSize;
        }

        template <typename PixelFunction>
        void forEachPixel(const Pixels& pixels, unsigned char* out, int outBytesPerPixel, PixelFunction&& convert)
        {
            for (int y = 0; y < pixels.height; ++y)
            {
                const unsigned char* in = pixels.data + static_cast<size_t>(y) * pixels.stride;
                for (int x = 0; x < pixels.width; ++x, in += pixels.bytesPerPixel, out += outBytesPerPixel)
                    convert(in, out);
            }
        }

        unsigned char floatToByte(float value)
        {
            if (! (value > 0.0f)) // NaN too
                return 0;
            if (value >= 1.0f)
                return 255;
            return static_cast<unsigned char>(value * 255.0f);
        }
    }

    bool PixelsUtils::readFromFrameBufferToBuffer(int x, int y, int width, int height, int bytesPerPixel,
                                                  unsigned char* buffer, unsigned int glType, unsigned int glFormat)
    {
        if (glType == 0 || glFormat == 0)
        {
            if (! layoutForBytesPerPixel(bytesPerPixel, glType, glFormat))
            {
                logPrint(logError, "PixelsUtils::readFromFrameBufferToBuffer: no layout for %d bytes per pixel.\n",
                         bytesPerPixel);
                return false;
            }
        }
        if (buffer == nullptr || width <= 0 || height <= 0)
        {
            logPrint(logError, "PixelsUtils::readFromFrameBufferToBuffer: nothing to read into (%dx%d).\n", width,
                     height);
            return false;
        }
        // The buffer is sized for bytesPerPixel; GL must not write more.
        if (TextureFormat::packedPixelSize(glFormat, glType) != bytesPerPixel)
        {
            logPrint(
                logError,
                "PixelsUtils::readFromFrameBufferToBuffer: format 0x%x, type 0x%x do not give %d bytes per pixel.\n",
                glFormat, glType, bytesPerPixel);
            return false;
        }

        const ScopedPackState pack((width * bytesPerPixel) % 4 == 0 ? 4 : 1, width);
        glReadPixels(x, y, width, height, glFormat, glType, buffer);
        return true;
    }

    Pixels* PixelsUtils::readPixelsFromFrameBuffer(int x1, int y1, int x2, int y2, int bytesPerPixel,
                                                   unsigned int glType, unsigned int glFormat)
    {
        if (x2 <= x1 || y2 <= y1)
        {
            logPrint(logError, "PixelsUtils::readPixelsFromFrameBuffer: empty rectangle (%d, %d)-(%d, %d).\n", x1, y1,
                     x2, y2);
            return nullptr;
        }
        auto* pixels = new Pixels(x2 - x1, y2 - y1, bytesPerPixel, nullptr);
        readFromFrameBufferToBuffer(x1, y1, pixels->width, pixels->height, bytesPerPixel, pixels->data, glType,
                                    glFormat);
        return pixels;
    }

    namespace
    {
        // Draws the texture over the clip square; flip false puts its first
        // data row at the bottom, where the read-back starts.
        // Unit 0 is borrowed through the guard, which leaves its binding, its
        // enable and the active unit as they were, in GL and in the renderer's
        // binding cache alike.
        bool drawForReadback(Texture& texture, PixelsUtils::PixelsOrder order, bool flip)
        {
            if (order == PixelsUtils::keepOrder)
            {
                const ScopedTextureUnit unitZero(0);
                drawTexture(texture, -1.0f, -1.0f, 2.0f, 2.0f, ! flip);
                return true;
            }

            // Other orders go through the channel-order program of the renderer
            // of the context drawn in (the engine's primary one in the plugin).
            Renderer* renderer = Renderer::getCurrent();
            ShaderProgram* program = renderer != nullptr ? &renderer->getShaders().get(Shaders::Swizzle) : nullptr;
            if (program == nullptr || ! renderer->getRenderContext().bindShader(*program))
            {
                logPrint(logError, "PixelsUtils: no channel-order program to draw %s with order %d.\n",
                         texture.getFormat().name.c_str(), static_cast<int>(order));
                return false;
            }
            program->setInt("order", static_cast<int>(order));
            program->setSampler("inTex", 0);
            RenderContext& cache = renderer->getRenderContext();
            const ScopedTextureUnit unitZero(0);
            cache.bind2DTexture(0, texture);
            drawTexture(texture, -1.0f, -1.0f, 2.0f, 2.0f, ! flip);
            cache.unbindAll();
            return true;
        }
    }

    bool PixelsUtils::drawTextureAndGetFrameBufferPixels(Texture* texture, int bytesPerPixel, PixelsOrder order,
                                                         bool flip, int width, int height, unsigned char* buffer)
    {
        if (texture == nullptr || ! texture->isValid() || buffer == nullptr)
        {
            logPrint(logError, "PixelsUtils::drawTextureAndGetFrameBufferPixels: no texture or buffer.\n");
            return false;
        }
        if (width == 0)
            width = texture->getWidth();
        if (height == 0)
            height = texture->getHeight();

        gfx::setViewport(0, 0, width, height, true);
        gfx::setIdentityTransform();
        gfx::clear(0.0f, 0.0f, 0.0f, 0.0f, true, 1.0f);
        gfx::color(1.0f, 1.0f, 1.0f, 1.0f);
        drawForReadback(*texture, order, flip);
        return readFromFrameBufferToBuffer(0, 0, width, height, bytesPerPixel, buffer, 0, 0);
    }

    Pixels* PixelsUtils::drawTextureAndGetFrameBufferPixels(Texture* texture, int bytesPerPixel, PixelsOrder order,
                                                            bool flip, int width, int height)
    {
        if (texture == nullptr)
            return nullptr;
        auto* pixels = new Pixels(width != 0 ? width : texture->getWidth(), height != 0 ? height : texture->getHeight(),
                                  bytesPerPixel, nullptr);
        drawTextureAndGetFrameBufferPixels(texture, bytesPerPixel, order, flip, pixels->width, pixels->height,
                                           pixels->data);
        return pixels;
    }

    bool PixelsUtils::textureToPixelsBuffer(Texture* texture, int bytesPerPixel, PixelsOrder order, bool flip,
                                            bool useRenderTarget, unsigned char* buffer)
    {
        if (texture == nullptr)
            return false;
        if (! useRenderTarget)
            return drawTextureAndGetFrameBufferPixels(texture, bytesPerPixel, order, flip, texture->getWidth(),
                                                      texture->getHeight(), buffer);

        RenderTargetManager* manager = RenderTargetManager::getCurrent();
        if (manager == nullptr)
        {
            logPrint(logError, "PixelsUtils::textureToPixelsBuffer: the engine has no render-target manager.\n");
            return false;
        }
        const TextureFormat& format = bytesPerPixel == 2 || bytesPerPixel == 8 ? Texture::RGBA16I : Texture::RGBA8;
        RenderTarget* target =
            manager->retain(texture->getWidth(), texture->getHeight(), format, true, DEFAULT_DEPTH_FMT);
        if (target == nullptr)
            return false;
        // The target that was bound comes back afterwards.
        RenderTarget* previous = RenderTarget::getCurrentRenderTarget();
        bool read = false;
        if (target->bind())
            read = drawTextureAndGetFrameBufferPixels(texture, bytesPerPixel, order, flip, texture->getWidth(),
                                                      texture->getHeight(), buffer);
        RenderTarget::unbind();
        manager->release(target);
        if (previous != nullptr)
            previous->bind();
        return read;
    }

    Pixels* PixelsUtils::textureToPixels(Texture* texture, int bytesPerPixel, PixelsOrder order, bool flip,
                                         bool useRenderTarget)
    {
        if (texture == nullptr)
            return nullptr;
        auto* pixels = new Pixels(texture->getWidth(), texture->getHeight(), bytesPerPixel, nullptr);
        textureToPixelsBuffer(texture, bytesPerPixel, order, flip, useRenderTarget, pixels->data);
        return pixels;
    }

    Pixels* PixelsUtils::textureToPixelsUsingGetTexImage(Texture* texture, int bytesPerPixel)
    {
        if (texture == nullptr || ! texture->isValid())
            return nullptr;
        const TextureFormat& format = texture->getFormat();
        if ((bytesPerPixel != 3 && bytesPerPixel != 4 && bytesPerPixel != 8) || format.compressed ||
            format.bytesPerPixel != bytesPerPixel)
        {
            logPrint(logError,
                     "PixelsUtils::textureToPixelsUsingGetTexImage: %d bytes per pixel do not fit format %s.\n",
                     bytesPerPixel, format.name.c_str());
            return nullptr;
        }

        // GL writes the whole hardware-size level; the Pixels get the logical part.
        const int hardwareWidth = texture->getHardwareWidth();
        const int hardwareHeight = texture->getHardwareHeight();
        const size_t hardwareRow = static_cast<size_t>(hardwareWidth) * bytesPerPixel;
        std::vector<unsigned char> level(hardwareRow * hardwareHeight);
        {
            const ScopedPackState pack(1, 0);
            texture->startBind();
            glGetTexImage(static_cast<GLenum>(texture->getTarget()), 0, format.format, format.type, level.data());
            texture->endBind();
        }

        auto* pixels = new Pixels(texture->getWidth(), texture->getHeight(), bytesPerPixel, nullptr);
        const size_t rowBytes = static_cast<size_t>(pixels->width) * bytesPerPixel;
        for (int row = 0; row < pixels->height && row < hardwareHeight; ++row)
            std::memcpy(pixels->data + row * static_cast<size_t>(pixels->stride), level.data() + row * hardwareRow,
                        rowBytes);
        return pixels;
    }

    Pixels* PixelsUtils::compressedTextureToPixels(Texture* texture)
    {
        if (texture == nullptr || ! texture->isValid())
            return nullptr;
        const TextureFormat& format = texture->getFormat();
        int blockBytes = 0;
        if (format == Texture::DXT1_RGB || format == Texture::DXT1_RGBA)
            blockBytes = 8;
        else if (format == Texture::DXT5_RGBA)
            blockBytes = 16;
        else
        {
            logPrint(logError, "PixelsUtils::compressedTextureToPixels: %s is not a DXT format.\n",
                     format.name.c_str());
            return nullptr;
        }

        const GLenum target = static_cast<GLenum>(texture->getTarget());
        texture->startBind();
        GLint isCompressed = 0;
        GLint levelSize = 0;
        glGetTexLevelParameteriv(target, 0, GL_TEXTURE_COMPRESSED, &isCompressed);
        if (isCompressed != 0)
            glGetTexLevelParameteriv(target, 0, GL_TEXTURE_COMPRESSED_IMAGE_SIZE, &levelSize);

        // Whole 4x4 blocks, for the logical and the hardware size.
        const int blockColumns = (texture->getWidth() + 3) / 4;
        const int blockRows = (texture->getHeight() + 3) / 4;
        const int hardwareBlockColumns = (texture->getHardwareWidth() + 3) / 4;
        const size_t hardwareRowBytes = static_cast<size_t>(hardwareBlockColumns) * blockBytes;
        const size_t rowBytes = static_cast<size_t>(blockColumns) * blockBytes;

        if (isCompressed == 0 || levelSize <= 0 || static_cast<size_t>(levelSize) < hardwareRowBytes * blockRows ||
            blockColumns > hardwareBlockColumns)
        {
            texture->endBind();
            logPrint(logError, "PixelsUtils::compressedTextureToPixels: GL holds no compressed image for %s.\n",
                     format.name.c_str());
            return nullptr;
        }
        std::vector<unsigned char> level(static_cast<size_t>(levelSize));
        {
            const ScopedPackState pack(1, 0);
            glGetCompressedTexImage(target, 0, level.data());
        }
        texture->endBind();

        auto* pixels =
            new Pixels(texture->getWidth(), texture->getHeight(), 4, static_cast<long>(rowBytes * blockRows));
        pixels->format = format;
        for (int row = 0; row < blockRows; ++row)
            std::memcpy(pixels->data + row * rowBytes, level.data() + row * hardwareRowBytes, rowBytes);
        return pixels;
    }

    bool PixelsUtils::updateTextureFromPixels(Texture& texture, Pixels& pixels)
    {
        if (pixels.data == nullptr || pixels.width <= 0 || pixels.height <= 0)
        {
            logPrint(logError, "PixelsUtils::updateTextureFromPixels: empty image.\n");
            return false;
        }
        if (texture.isValid() && texture.getFormat() == pixels.format)
        {
            if (! texture.resize(pixels.width, pixels.height))
                return false;
            return texture.update(pixels.data, pixels.width, pixels.height);
        }
        if (texture.isValid())
            texture.release();
        return texture.create(pixels.data, pixels.width, pixels.height, pixels.format);
    }

    Pixels* PixelsUtils::pixelsFromMemory(const unsigned char* bytes, int size)
    {
        unsigned long width = 0, height = 0;
        int channels = 0;
        MallocBuffer decoded(ImageUtils::imageFromMemory(bytes, size, &width, &height, &channels, 0));
        if (! decoded)
            return nullptr;
        return new Pixels(static_cast<int>(width), static_cast<int>(height), channels, decoded.get());
    }

    Pixels* PixelsUtils::pixelsFromFile(const File& file)
    {
        unsigned long width = 0, height = 0;
        int channels = 0;
        MallocBuffer decoded(ImageUtils::imageFromFile(file, &width, &height, &channels, 0));
        if (! decoded)
            return nullptr;
        return new Pixels(static_cast<int>(width), static_cast<int>(height), channels, decoded.get());
    }

    unsigned char* PixelsUtils::rawpixelsFromFile(const File& file, int* width, int* height, int* channels)
    {
        unsigned long w = 0, h = 0;
        unsigned char* decoded = ImageUtils::imageFromFile(file, &w, &h, channels, 0);
        if (decoded != nullptr)
        {
            if (width != nullptr)
                *width = static_cast<int>(w);
            if (height != nullptr)
                *height = static_cast<int>(h);
        }
        return decoded;
    }

    bool PixelsUtils::writeToPngAsCFiles(const File& header, const File& source, Pixels* pixels, bool inEngineNamespace,
                                         const std::string& ns, const std::string& name)
    {
        if (pixels == nullptr)
            return false;
        return ImageUtils::writeToPngAsCFiles(header, source, inEngineNamespace, ns, name, pixels->width,
                                              pixels->height, pixels->bytesPerPixel, pixels->data, pixels->stride);
    }

    bool PixelsUtils::copyPixelsToBufferAndSwapRB(Pixels* pixels, unsigned char* out, int, int)
    {
        if (out == nullptr || pixels == nullptr)
            return false;
        if (isCopySource(pixels, 3))
            forEachPixel(*pixels, out, 3,
                         [](const unsigned char* in, unsigned char* o)
                         {
                             o[0] = in[2];
                             o[1] = in[1];
                             o[2] = in[0];
                         });
        else if (isCopySource(pixels, 4))
            forEachPixel(*pixels, out, 4,
                         [](const unsigned char* in, unsigned char* o)
                         {
                             o[0] = in[2];
                             o[1] = in[1];
                             o[2] = in[0];
                             o[3] = in[3];
                         });
        else
            return false;
        return true;
    }

    bool PixelsUtils::copyPixels24BitTo32BitBuffer(Pixels* pixels, unsigned char* out, int, int, bool swapRB)
    {
        if (out == nullptr || ! isCopySource(pixels, 3))
            return false;
        const int r = swapRB ? 2 : 0, b = swapRB ? 0 : 2;
        forEachPixel(*pixels, out, 4,
                     [r, b](const unsigned char* in, unsigned char* o)
                     {
                         o[0] = in[r];
                         o[1] = in[1];
                         o[2] = in[b];
                         o[3] = 255;
                     });
        return true;
    }

    bool PixelsUtils::copyPixels32BitTo24BitBuffer(Pixels* pixels, unsigned char* out, int, int, bool swapRB)
    {
        if (out == nullptr || ! isCopySource(pixels, 4))
            return false;
        const int r = swapRB ? 2 : 0, b = swapRB ? 0 : 2;
        forEachPixel(*pixels, out, 3,
                     [r, b](const unsigned char* in, unsigned char* o)
                     {
                         o[0] = in[r];
                         o[1] = in[1];
                         o[2] = in[b];
                     });
        return true;
    }

    bool PixelsUtils::copyPixels64BitTo32BitBuffer(Pixels* pixels, unsigned char* out, int, int, bool swapRB)
    {
        if (out == nullptr || ! isCopySource(pixels, 8))
            return false;
        // Channel c's high byte is byte 2c + 1 (little-endian samples).
        const int r = swapRB ? 5 : 1, b = swapRB ? 1 : 5;
        forEachPixel(*pixels, out, 4,
                     [r, b](const unsigned char* in, unsigned char* o)
                     {
                         o[0] = in[r];
                         o[1] = in[3];
                         o[2] = in[b];
                         o[3] = in[7];
                     });
        return true;
    }

    bool PixelsUtils::copyPixels128FloatBitTo32BitBuffer(Pixels* pixels, unsigned char* out, int, int, bool swapRB)
    {
        if (out == nullptr || ! isCopySource(pixels, 16))
            return false;
        const int r = swapRB ? 2 : 0, b = swapRB ? 0 : 2;
        forEachPixel(*pixels, out, 4,
                     [r, b](const unsigned char* in, unsigned char* o)
                     {
                         float channels[4];
                         std::memcpy(channels, in, sizeof(channels));
                         o[0] = floatToByte(channels[r]);
                         o[1] = floatToByte(channels[1]);
                         o[2] = floatToByte(channels[b]);
                         o[3] = floatToByte(channels[3]);
                     });
        return true;
    }
}
