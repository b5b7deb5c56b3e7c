#include "engine/gfx/VXTexture.h"

#include "core/VXBitUtils.h"
#include "core/VXLog.h"
#include "engine/gfx/VXContext.h"
#include "engine/gfx/VXGfxInfo.h"
#include "engine/gfx/VXRenderContext.h"
#include "engine/gfx/VXScopedPackState.h"
#include "engine/gfx/VXScopedTextureBinding.h"
#include "engine/gfx/VXScopedUnpackState.h"

#include <epoxy/gl.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <vector>

namespace vx
{

    const TextureFormat Texture::UNKNOWN_FORMAT;
    const TextureFormat Texture::RGBA8test(GL_RGBA, GL_RGBA, GL_UNSIGNED_BYTE, 4, "RGBA8", false, 1);
    const TextureFormat Texture::RGBA8(GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE, 4, "RGBA8", false, 1);
    const TextureFormat Texture::RGB8(GL_RGB8, GL_RGB, GL_UNSIGNED_BYTE, 3, "RGB8", false, 1);
    const TextureFormat Texture::BGRA8(GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE, 4, "BGRA8", false, 1);
    const TextureFormat Texture::BGR8(GL_RGB8, GL_BGR, GL_UNSIGNED_BYTE, 3, "BGR8", false, 1);
    const TextureFormat Texture::A8(GL_ALPHA8, GL_ALPHA, GL_UNSIGNED_BYTE, 1, "A8", false, 1);
    const TextureFormat Texture::I8(GL_INTENSITY8, GL_LUMINANCE, GL_UNSIGNED_BYTE, 1, "L8", false, 1);
    const TextureFormat Texture::I16I(GL_INTENSITY16, GL_LUMINANCE, GL_UNSIGNED_SHORT, 2, "I16I", false, 1);
    const TextureFormat Texture::I16F(GL_INTENSITY16F_ARB, GL_LUMINANCE, GL_UNSIGNED_SHORT, 2, "I16F", false, 1);
    const TextureFormat Texture::LA8(GL_LUMINANCE_ALPHA, GL_LUMINANCE_ALPHA, GL_UNSIGNED_BYTE, 2, "LA8", false, 1);
    const TextureFormat Texture::LA16(GL_LUMINANCE16_ALPHA16, GL_LUMINANCE_ALPHA, GL_UNSIGNED_SHORT, 4, "LA16", false,
                                      1);
    // Eight bytes per pixel are four half floats, so the data is uploaded as such.
    const TextureFormat Texture::RGBA16F(GL_RGBA16F_ARB, GL_RGBA, GL_HALF_FLOAT, 8, "RGBA16F", false, 1);
    const TextureFormat Texture::RGBA16I(GL_RGBA16, GL_RGBA, GL_UNSIGNED_SHORT, 8, "RGBA16I", false, 1);
    const TextureFormat Texture::R32F(GL_INTENSITY32F_ARB, GL_LUMINANCE, GL_FLOAT, 4, "R32F", false, 1);
    const TextureFormat Texture::RGBA32F(GL_RGBA32F_ARB, GL_RGBA, GL_FLOAT, 16, "RGBA32F", false, 1);
    const TextureFormat Texture::DXT1_RGB(GL_COMPRESSED_RGB_S3TC_DXT1_EXT, GL_RGB, GL_UNSIGNED_BYTE, 3, "DXT1_RGB",
                                          true, 8);
    const TextureFormat Texture::DXT1_RGBA(GL_COMPRESSED_RGBA_S3TC_DXT1_EXT, GL_RGBA, GL_UNSIGNED_BYTE, 4, "DXT1_RGBA",
                                           true, 8);
    const TextureFormat Texture::DXT5_RGBA(GL_COMPRESSED_RGBA_S3TC_DXT5_EXT, GL_RGBA, GL_UNSIGNED_BYTE, 4, "DXT5_RGBA",
                                           true, 4);
    const TextureFormat Texture::RED_RGTC1(GL_COMPRESSED_RED_RGTC1, GL_COMPRESSED_RED_RGTC1, GL_UNSIGNED_BYTE, 1,
                                           "RED_RGTC1", true, 2);
    const TextureFormat Texture::RG_RGTC2(GL_COMPRESSED_RG_RGTC2, GL_COMPRESSED_RG_RGTC2, GL_UNSIGNED_BYTE, 2,
                                          "RG_RGTC2", true, 2);
    const TextureFormat Texture::YCBCR_422(GL_RGB8, GL_YCBCR_422_APPLE, GL_UNSIGNED_SHORT_8_8_APPLE, 2, "YCBCR", false,
                                           1);

    Texture::FILTER Texture::defaultFilter = Texture::LINEAR;

    const TextureFormat* DEFAULT_COLOR_FMT = &Texture::RGBA8;

    namespace
    {
        const GLint wrapValues[] = {GL_CLAMP_TO_EDGE, GL_CLAMP, GL_REPEAT};
        const GLint filterValues[] = {GL_NEAREST, GL_LINEAR};

        GLenum targetOrDefault(long target)
        {
            return target != 0 ? static_cast<GLenum>(target) : GL_TEXTURE_2D;
        }

        // Tells apart every GL texture a Texture comes to hold, so the shared
        // framebuffer never takes one for another.
        std::atomic<uint64_t> lastSerial{0};

        uint64_t nextSerial()
        {
            return lastSerial.fetch_add(1, std::memory_order_relaxed) + 1;
        }

        bool isDXT1(const TextureFormat& format)
        {
            return format.internalFormat == GL_COMPRESSED_RGB_S3TC_DXT1_EXT ||
                   format.internalFormat == GL_COMPRESSED_RGBA_S3TC_DXT1_EXT;
        }

        // Bytes of one 4x4 block of a compressed format.
        int blockBytes(const TextureFormat& format)
        {
            if (isDXT1(format))
                return 8;
            return format.divisor > 0 ? 16 * format.bytesPerPixel / format.divisor : 0;
        }

        int blocksFor(int side)
        {
            return (side + 3) / 4;
        }

        unsigned int compressedImageSize(int w, int h, const TextureFormat& format)
        {
            return static_cast<unsigned int>(blocksFor(w)) * static_cast<unsigned int>(blocksFor(h)) *
                   static_cast<unsigned int>(blockBytes(format));
        }

        float coordinateLimit(int side, int hardwareSide)
        {
            return hardwareSide > 0 ? std::min(1.0f, static_cast<float>(side) / static_cast<float>(hardwareSide))
                                    : 0.0f;
        }
    }

    //==============================================================================
    Texture::Texture() = default;

    Texture::~Texture()
    {
        delete[] lockBuffer;
        lockBuffer = nullptr;
        // Still bound by lock or startBind: the binding goes back while GL can
        // be called.
        if (heldBinding && Context::getCurrentNativeContext() == nullptr)
            heldBinding->dismiss();
        heldBinding.reset();
        Texture::release();
    }

    void Texture::init()
    {
        release();
    }

    void Texture::release()
    {
        GfxObject::release();
        if (glName != 0 && ! foreign)
        {
            // Without a context GL calls cannot be made (libepoxy would abort
            // resolving one): the name is dropped instead.
            if (Context::getCurrentNativeContext() != nullptr)
            {
                const GLuint name = glName;
                glDeleteTextures(1, &name);
                // GL unbound it from every unit; so does the cache.
                if (RenderContext* cache = RenderContext::getCurrent())
                    cache->forgetTexture(name);
            }
            else
            {
                logPrint(logWarning, "Texture::release: no GL context current; texture %u is dropped", glName);
            }
        }
        maxU = maxV = 0.0f;
        width = height = 0;
        hardwareWidth = hardwareHeight = 0;
        compressedSize = 0;
        target = 0;
        glName = 0;
        serial = 0;
        foreign = false;
        minFilterValue = magFilterValue = 0;
        minFilters.clear();
        magFilters.clear();
    }

    //==============================================================================
    uint16_t Texture::getExpectedHardwareWidth(uint16_t w, const TextureFormat& textureFormat)
    {
        if (GfxInfo::VX_GFX_CARD_SUPPORTS_NONPOWEROFTWOTEXTURES && ! textureFormat.compressed)
            return w;
        return static_cast<uint16_t>(nextPowerOf2(w));
    }

    uint16_t Texture::getExpectedHardwareHeight(uint16_t h, const TextureFormat& textureFormat)
    {
        return getExpectedHardwareWidth(h, textureFormat);
    }

    unsigned int Texture::getFrameSize(uint16_t w, uint16_t h, const TextureFormat& textureFormat)
    {
        if (textureFormat.compressed)
            return compressedImageSize(w, h, textureFormat);
        if (textureFormat.bytesPerPixel <= 0 || textureFormat.divisor <= 0)
            return 0;
        return static_cast<unsigned int>(w) * h * static_cast<unsigned int>(textureFormat.bytesPerPixel) /
               static_cast<unsigned int>(textureFormat.divisor);
    }

    unsigned int Texture::getVRAMSize() const
    {
        return static_cast<unsigned int>(hardwareWidth) * static_cast<unsigned int>(hardwareHeight) *
               static_cast<unsigned int>(format.getInternalBytesPerPixel());
    }

    void Texture::getGLData(int* w, int* h, int* hardwareW, int* hardwareH, int* internalFormat, unsigned int* name,
                            int* minFilter, int* magFilter) const
    {
        if (w != nullptr)
            *w = width;
        if (h != nullptr)
            *h = height;
        if (hardwareW != nullptr)
            *hardwareW = hardwareWidth;
        if (hardwareH != nullptr)
            *hardwareH = hardwareHeight;
        if (internalFormat != nullptr)
            *internalFormat = format.internalFormat;
        if (name != nullptr)
            *name = glName;
        if (minFilter != nullptr)
            *minFilter = minFilterValue;
        if (magFilter != nullptr)
            *magFilter = magFilterValue;
    }

    //==============================================================================
    bool Texture::create(int w, int h, const TextureFormat& textureFormat)
    {
        return create(nullptr, w, h, textureFormat);
    }

    bool Texture::create(const void* data, int w, int h, const TextureFormat& textureFormat)
    {
        if (w <= 0 || h <= 0 || w > GfxInfo::VX_MAX_TEXTURE_SIZE || h > GfxInfo::VX_MAX_TEXTURE_SIZE || w > 0xFFFF ||
            h > 0xFFFF)
        {
            logPrint(logError, "Texture::create: size %d x %d is outside 1 to %d", w, h, GfxInfo::VX_MAX_TEXTURE_SIZE);
            return false;
        }
        if (textureFormat.internalFormat == -1 || textureFormat.format == -1 || textureFormat.type == -1 ||
            textureFormat.bytesPerPixel <= 0 || (textureFormat.compressed && blockBytes(textureFormat) <= 0))
        {
            logPrint(logError, "Texture::create: format \"%s\" is not a complete layout", textureFormat.name.c_str());
            return false;
        }
        if (textureFormat.format == GL_YCBCR_422_APPLE)
        {
            logPrint(logError, "Texture::create: format \"%s\" is not supported by this OpenGL; convert to RGB first",
                     textureFormat.name.c_str());
            return false;
        }

        init();

        format = textureFormat;
        width = static_cast<uint16_t>(w);
        height = static_cast<uint16_t>(h);
        target = GL_TEXTURE_2D;
        hardwareWidth = getExpectedHardwareWidth(width, format);
        hardwareHeight = getExpectedHardwareHeight(height, format);

        // Pad into a zeroed image of the hardware size: rows of pixels, or for
        // compressed layouts rows of whole 4x4 blocks.
        std::vector<unsigned char> padded;
        const void* upload = data;
        if (format.compressed)
        {
            const int rowBytes = blocksFor(w) * blockBytes(format);
            const int hardwareRowBytes = blocksFor(hardwareWidth) * blockBytes(format);
            if (data == nullptr || rowBytes != hardwareRowBytes || blocksFor(h) != blocksFor(hardwareHeight))
            {
                padded.assign(static_cast<size_t>(hardwareRowBytes) * static_cast<size_t>(blocksFor(hardwareHeight)),
                              0);
                if (data != nullptr)
                    for (int row = 0; row < blocksFor(h); ++row)
                        std::memcpy(padded.data() + static_cast<size_t>(row) * static_cast<size_t>(hardwareRowBytes),
                                    static_cast<const unsigned char*>(data) +
                                        static_cast<size_t>(row) * static_cast<size_t>(rowBytes),
                                    static_cast<size_t>(rowBytes));
                upload = padded.data();
            }
        }
        else if (data == nullptr || hardwareWidth != w || hardwareHeight != h)
        {
            const size_t pixelBytes = static_cast<size_t>(format.bytesPerPixel);
            const size_t hardwareRowBytes = static_cast<size_t>(hardwareWidth) * pixelBytes;
            padded.assign(hardwareRowBytes * static_cast<size_t>(hardwareHeight), 0);
            if (data != nullptr)
                for (int row = 0; row < h; ++row)
                    std::memcpy(padded.data() + static_cast<size_t>(row) * hardwareRowBytes,
                                static_cast<const unsigned char*>(data) +
                                    static_cast<size_t>(row) * static_cast<size_t>(w) * pixelBytes,
                                static_cast<size_t>(w) * pixelBytes);
            upload = padded.data();
        }

        maxU = coordinateLimit(w, hardwareWidth);
        maxV = coordinateLimit(h, hardwareHeight);

        GLuint name = 0;
        glGenTextures(1, &name);
        glName = name;
        serial = nextSerial();

        const ScopedUnpackState unpack;
        const ScopedTextureBinding binding(GL_TEXTURE_2D, glName);
        pushMagFilter(defaultFilter == LINEAR ? LINEAR : NEAREST);
        pushMinFilter(defaultFilter == LINEAR ? LINEAR : NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);

        if (format.compressed)
        {
            compressedSize = static_cast<int>(compressedImageSize(hardwareWidth, hardwareHeight, format));
            glCompressedTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLenum>(format.internalFormat), hardwareWidth,
                                   hardwareHeight, 0, compressedSize, upload);
        }
        else
        {
            compressedSize = 0;
            glTexImage2D(GL_TEXTURE_2D, 0, format.internalFormat, hardwareWidth, hardwareHeight, 0,
                         static_cast<GLenum>(format.format), static_cast<GLenum>(format.type), upload);
        }
        setPixelFunc();
        return true;
    }

    bool Texture::update(const void* data, int w, int h)
    {
        return update(data, 0, 0, w, h);
    }

    bool Texture::update(const void* data, int x, int y, int w, int h)
    {
        if (glName == 0 || data == nullptr)
        {
            logPrint(logError, "Texture::update: %s", glName == 0 ? "texture has no GL texture" : "no data");
            return false;
        }
        if (w == 0)
            w = width - x;
        if (h == 0)
            h = height - y;
        if (x < 0 || y < 0 || w <= 0 || h <= 0 || x + w > hardwareWidth || y + h > hardwareHeight)
        {
            logPrint(logError, "Texture::update: rectangle (%d, %d, %d x %d) outside the %d x %d texture", x, y, w, h,
                     hardwareWidth, hardwareHeight);
            return false;
        }

        const ScopedTextureBinding binding(targetOrDefault(target), glName);
        const ScopedUnpackState unpack;
        if (format.compressed)
            glCompressedTexSubImage2D(static_cast<GLenum>(target), 0, x, y, w, h,
                                      static_cast<GLenum>(format.internalFormat),
                                      static_cast<GLsizei>(compressedImageSize(w, h, format)), data);
        else
            glTexSubImage2D(static_cast<GLenum>(target), 0, x, y, w, h, static_cast<GLenum>(format.format),
                            static_cast<GLenum>(format.type), data);
        return true;
    }

    bool Texture::updateRows(const void* data, int w, int h, int bytesPerRow)
    {
        const int pixelBytes = format.bytesPerPixel;
        if (format.compressed || pixelBytes <= 0 || bytesPerRow < w * pixelBytes || bytesPerRow % pixelBytes != 0)
        {
            logPrint(logError, "Texture::updateRows: rows of %d bytes do not hold %d pixels of format %s", bytesPerRow,
                     w, format.name.c_str());
            return false;
        }
        if (glName == 0 || data == nullptr || w <= 0 || h <= 0 || w > hardwareWidth || h > hardwareHeight)
            return update(data, 0, 0, w, h);

        const ScopedTextureBinding binding(targetOrDefault(target), glName);
        const ScopedUnpackState unpack;
        glPixelStorei(GL_UNPACK_ROW_LENGTH, bytesPerRow / pixelBytes);
        glTexSubImage2D(static_cast<GLenum>(target), 0, 0, 0, w, h, static_cast<GLenum>(format.format),
                        static_cast<GLenum>(format.type), data);
        return true;
    }

    bool Texture::resize(int w, int h)
    {
        if (glName == 0)
        {
            debugPrint("Texture::resize called on unitizlized texture");
            return false;
        }
        if (w == width && h == height)
            return true;
        if (w > 0 && h > 0 && w <= hardwareWidth && h <= hardwareHeight)
        {
            width = static_cast<uint16_t>(w);
            height = static_cast<uint16_t>(h);
            if (target == GL_TEXTURE_RECTANGLE_ARB)
            {
                maxU = static_cast<float>(w);
                maxV = static_cast<float>(h);
            }
            else
            {
                maxU = coordinateLimit(w, hardwareWidth);
                maxV = coordinateLimit(h, hardwareHeight);
            }
            return true;
        }
        const TextureFormat ownFormat = format;
        return create(w, h, ownFormat);
    }

    //==============================================================================
    void Texture::setFilterParameter(unsigned int parameter, FILTER filter)
    {
        const GLint value = filterValues[filter == NEAREST ? 0 : 1];
        if (parameter == GL_TEXTURE_MIN_FILTER)
            minFilterValue = value;
        else
            magFilterValue = value;
        if (glName == 0)
            return;
        const ScopedTextureBinding binding(targetOrDefault(target), glName);
        glTexParameteri(static_cast<GLenum>(targetOrDefault(target)), parameter, value);
    }

    void Texture::setMinFilter(FILTER filter)
    {
        setFilterParameter(GL_TEXTURE_MIN_FILTER, filter);
    }
    void Texture::setMagFilter(FILTER filter)
    {
        setFilterParameter(GL_TEXTURE_MAG_FILTER, filter);
    }

    void Texture::pushMinFilter(FILTER filter)
    {
        if (minFilters.empty() || minFilters.back() != filter)
            setFilterParameter(GL_TEXTURE_MIN_FILTER, filter);
        minFilters.push_back(filter);
    }

    void Texture::pushMagFilter(FILTER filter)
    {
        if (magFilters.empty() || magFilters.back() != filter)
            setFilterParameter(GL_TEXTURE_MAG_FILTER, filter);
        magFilters.push_back(filter);
    }

    void Texture::popMinFilter()
    {
        if (minFilters.size() < 2)
        {
            logEscapedError("popMinFilter", 420, "You cannot pop the initial minification filter setting.");
            return;
        }
        const FILTER popped = minFilters.back();
        minFilters.pop_back();
        if (minFilters.back() != popped)
            setFilterParameter(GL_TEXTURE_MIN_FILTER, minFilters.back());
    }

    void Texture::popMagFilter()
    {
        if (magFilters.size() < 2)
        {
            logEscapedError("popMagFilter", 436, "You cannot pop the initial magnification filter setting.");
            return;
        }
        const FILTER popped = magFilters.back();
        magFilters.pop_back();
        if (magFilters.back() != popped)
            setFilterParameter(GL_TEXTURE_MAG_FILTER, magFilters.back());
    }

    void Texture::setWrap(WRAP wrap)
    {
        if (glName == 0)
            return;
        const ScopedTextureBinding binding(targetOrDefault(target), glName);
        glTexParameteri(targetOrDefault(target), GL_TEXTURE_WRAP_S, wrapValues[wrap]);
        glTexParameteri(targetOrDefault(target), GL_TEXTURE_WRAP_T, wrapValues[wrap]);
    }

    void Texture::setWrapS(WRAP wrap)
    {
        if (glName == 0)
            return;
        const ScopedTextureBinding binding(targetOrDefault(target), glName);
        glTexParameteri(targetOrDefault(target), GL_TEXTURE_WRAP_S, wrapValues[wrap]);
    }

    void Texture::setWrapT(WRAP wrap)
    {
        if (glName == 0)
            return;
        const ScopedTextureBinding binding(targetOrDefault(target), glName);
        glTexParameteri(targetOrDefault(target), GL_TEXTURE_WRAP_T, wrapValues[wrap]);
    }

    void Texture::startBind()
    {
        saveBindingAndBind();
    }

    void Texture::endBind()
    {
        restoreBinding();
    }

    void Texture::saveBindingAndBind()
    {
        heldBinding.emplace(targetOrDefault(target), glName);
    }

    void Texture::restoreBinding()
    {
        heldBinding.reset();
    }

    //==============================================================================
    void Texture::setGLData(int w, int h, int hardwareW, int hardwareH, long glTarget, long name, long internalFormat,
                            unsigned int minFilter, unsigned int magFilter, bool isForeign)
    {
        // A texture we made and still hold would be lost by the adoption.
        if (glName != 0 && ! foreign && static_cast<long>(glName) != name)
            release();
        if (serial == 0 || static_cast<long>(glName) != name || target != glTarget)
            serial = name != 0 ? nextSerial() : 0;

        width = static_cast<uint16_t>(std::clamp(w, 0, 0xFFFF));
        height = static_cast<uint16_t>(std::clamp(h, 0, 0xFFFF));
        hardwareWidth = hardwareW;
        hardwareHeight = hardwareH;
        target = glTarget;
        glName = static_cast<unsigned int>(name);
        format.internalFormat = static_cast<int>(internalFormat);
        foreign = isForeign;
        minFilterValue = static_cast<int>(minFilter);
        magFilterValue = static_cast<int>(magFilter);
        minFilters.clear();
        magFilters.clear();
        minFilters.push_back(minFilter == GL_NEAREST ? NEAREST : LINEAR);
        magFilters.push_back(magFilter == GL_NEAREST ? NEAREST : LINEAR);
        compressedSize = 0;

        if (glTarget == GL_TEXTURE_RECTANGLE_ARB)
        {
            maxU = static_cast<float>(w);
            maxV = static_cast<float>(h);
        }
        else if (glTarget == GL_TEXTURE_2D)
        {
            maxU = hardwareW > 0 ? static_cast<float>(w) / static_cast<float>(hardwareW) : 0.0f;
            maxV = hardwareH > 0 ? static_cast<float>(h) / static_cast<float>(hardwareH) : 0.0f;
        }
    }

    void Texture::setGLData(const TextureInfo& info, long internalFormat, bool isForeign)
    {
        setGLData(info.width, info.height, info.hardwareWidth, info.hardwareHeight, info.target, info.name,
                  internalFormat, info.minFilter, info.magFilter, isForeign);
    }

    //==============================================================================
    bool Texture::grabFrameBuffer()
    {
        return grabFrameBuffer(0, 0, width, height);
    }

    bool Texture::grabFrameBuffer(int x, int y, int w, int h)
    {
        if (glName == 0 || w <= 0 || h <= 0 || w > hardwareWidth || h > hardwareHeight)
        {
            logPrint(logError, "Texture::grabFrameBuffer: cannot copy %d x %d into a %d x %d texture", w, h,
                     hardwareWidth, hardwareHeight);
            return false;
        }
        const ScopedTextureBinding binding(targetOrDefault(target), glName);
        glCopyTexSubImage2D(targetOrDefault(target), 0, 0, 0, x, y, w, h);
        return true;
    }

    //==============================================================================
    void* Texture::lock(int flags)
    {
        return lock(flags, format.format, format.type, format.bytesPerPixel);
    }

    void* Texture::lock(int flags, int pixelFormat, int pixelType, int bytesPerPixel)
    {
        if (glName == 0 || lockBuffer != nullptr || bytesPerPixel <= 0)
        {
            logPrint(logError, "Texture::lock: %s",
                     glName == 0             ? "texture has no GL texture"
                     : lockBuffer != nullptr ? "texture is already locked"
                                             : "bytes per pixel must be positive");
            return nullptr;
        }
        const int packedSize = TextureFormat::packedPixelSize(static_cast<unsigned int>(pixelFormat),
                                                              static_cast<unsigned int>(pixelType));
        if (packedSize != bytesPerPixel)
        {
            logPrint(logError, "Texture::lock: format 0x%x / type 0x%x is not %d bytes per pixel", pixelFormat,
                     pixelType, bytesPerPixel);
            return nullptr;
        }
        if (format.compressed && (flags & LOCK_WRITE) != 0)
        {
            logPrint(logError, "Texture::lock: compressed texture \"%s\" cannot be written through a lock",
                     format.name.c_str());
            return nullptr;
        }

        const size_t bytes = static_cast<size_t>(hardwareWidth) * static_cast<size_t>(bytesPerPixel) *
                             static_cast<size_t>(hardwareHeight);
        lockBuffer = new unsigned char[bytes]();
        lockFlags = flags;
        lockFormat = pixelFormat;
        lockType = pixelType;
        // The pitch of the buffer handed out, i.e. of the requested layout.
        lockPitch = bytesPerPixel * hardwareWidth;

        saveBindingAndBind();
        if ((flags & LOCK_READ) != 0)
        {
            const ScopedPackState pack(1, 0);
            glGetTexImage(targetOrDefault(target), 0, static_cast<GLenum>(pixelFormat), static_cast<GLenum>(pixelType),
                          lockBuffer);
        }
        return lockBuffer;
    }

    bool Texture::unlock()
    {
        if (lockBuffer == nullptr)
            return false;
        if ((lockFlags & LOCK_WRITE) != 0)
        {
            // The buffer holds the layout it was locked with.
            const ScopedUnpackState unpack;
            glTexSubImage2D(targetOrDefault(target), 0, 0, 0, hardwareWidth, hardwareHeight,
                            static_cast<GLenum>(lockFormat), static_cast<GLenum>(lockType), lockBuffer);
        }
        delete[] lockBuffer;
        lockBuffer = nullptr;
        lockFlags = 0;
        lockPitch = 0;
        restoreBinding();
        return true;
    }

    //==============================================================================
    TVec4<float> Texture::buildScrollVector(float u, float v, bool flip) const
    {
        if (target == GL_TEXTURE_RECTANGLE_ARB)
        {
            const float w = width, h = height;
            if (flip)
                return {w, -h, u * w, v * h + h};
            return {w, h, u * w, v * h};
        }
        if (flip)
            return {maxU, -maxV, u, v + maxV};
        return {maxU, maxV, u, v};
    }

    Matrix4x4 Texture::buildMatrix(float x, float y, float w, float h, bool flip) const
    {
        if (flip && ! ignoreFlip)
            return Matrix4x4::translation(x, y, 0.0f) * Matrix4x4::scaling(w, h, 1.0f);
        return Matrix4x4::translation(x, y + h, 0.0f) * Matrix4x4::scaling(w, -h, 1.0f);
    }

} // namespace vx
