#include "engine/video/formats/VXImage.h"

#include <epoxy/gl.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "core/VXColor.h"
#include "core/VXFile.h"
#include "core/VXLog.h"
#include "engine/gfx/VXRenderer.h"
#include "engine/gfx/VXScopedPackState.h"
#include "engine/gfx/VXTexture.h"

namespace vx
{
    namespace
    {
        constexpr float byteToUnit = 0.003922f;

        bool isValidFormat(int format)
        {
            return format >= 0 && format <= 3;
        }

        // Channel x 255 truncated, keeping the low 8 bits as PACKCOLOR does;
        // not-a-number and infinities give 0 instead of undefined conversions.
        unsigned char toByte(float channel)
        {
            const float scaled = channel * 255.0f;
            if (! std::isfinite(scaled))
                return 0;
            const long long whole = static_cast<long long>(std::fmax(std::fmin(scaled, 1.0e9f), -1.0e9f));
            return static_cast<unsigned char>(whole & 0xFF);
        }

        // entry [i][j] = floor(i x j / 255 + 0.5) in float. Built once,
        // thread-safe (a function-local static).
        const std::array<unsigned char, 256 * 256>& tintTable()
        {
            static const std::array<unsigned char, 256 * 256> table = []
            {
                std::array<unsigned char, 256 * 256> t{};
                for (int i = 0; i < 256; ++i)
                    for (int j = 0; j < 256; ++j)
                        t[size_t(i * 256 + j)] = static_cast<unsigned char>(std::floor(float(i * j) / 255.0f + 0.5f));
                return t;
            }();
            return table;
        }

        size_t byteCount(int width, int height, int bytesPerPixel)
        {
            return size_t(width) * size_t(height) * size_t(bytesPerPixel);
        }

        const TextureFormat* textureFormatOf(int format)
        {
            switch (format)
            {
                case 0:
                    return &Texture::RGB8;
                case 1:
                    return &Texture::RGBA8;
                case 2:
                    return &Texture::I8;
                default:
                    return nullptr;
            }
        }
    }

    Image::Image() = default;

    Image::Image(int w, int h, int f)
    {
        create(w, h, f);
    }

    Image::Image(const File& file, int f)
    {
        load(file, f);
    }

    Image::Image(const Image& other)
    {
        copy(other);
    }

    Image::~Image()
    {
        release();
    }

    int Image::bytesPerPixelOfFormat(int f)
    {
        switch (f)
        {
            case 0:
                return 3;
            case 1:
                return 4;
            case 2:
                return 1;
            default:
                return 0;
        }
    }

    size_t Image::getDataSize() const
    {
        return data != nullptr ? byteCount(width, height, bytesPerPixel) : 0;
    }

    void Image::deleteTexture()
    {
        GfxObject::deleteUsingManager(texture);
        texture = nullptr;
    }

    void Image::release()
    {
        deleteTexture();
        data.reset();
    }

    bool Image::allocate(int newWidth, int newHeight, int newBytesPerPixel, bool zeroFill)
    {
        data.reset();
        width = newWidth;
        height = newHeight;
        bytesPerPixel = newBytesPerPixel;
        // One byte at least, so an image of no pixels still has (empty) data.
        const size_t bytes = std::max<size_t>(byteCount(newWidth, newHeight, newBytesPerPixel), 1);
        data.reset(static_cast<unsigned char*>(zeroFill ? std::calloc(bytes, 1) : std::malloc(bytes)));
        if (data == nullptr)
        {
            logPrint(logError, "Image: cannot allocate %dx%d pixels of %d bytes.", newWidth, newHeight,
                     newBytesPerPixel);
            width = height = 0;
            return false;
        }
        dirty = true;
        return true;
    }

    bool Image::create(int w, int h, int f)
    {
        return recreate(w, h, f, true);
    }

    bool Image::create(int w, int h, int f, void*)
    {
        return recreate(w, h, f, false);
    }

    bool Image::recreate(int w, int h, int f, bool zeroFill)
    {
        release();
        if (w < 0 || h < 0 || ! isValidFormat(f))
        {
            logPrint(logError, "Image::create: refused %dx%d in format %d.", w, h, f);
            width = height = 0;
            return false;
        }
        format = f;
        return allocate(w, h, bytesPerPixelOfFormat(f), zeroFill);
    }

    bool Image::takeDecoded(unsigned char* pixels, unsigned long decodedWidth, unsigned long decodedHeight,
                            int channels, int requestedFormat)
    {
        MallocBuffer owned(pixels);
        if (owned == nullptr)
            return false;
        if (decodedWidth > 0x7FFFFFFFul || decodedHeight > 0x7FFFFFFFul)
            return false;
        width = int(decodedWidth);
        height = int(decodedHeight);
        bytesPerPixel = requestedFormat == 3 ? channels : bytesPerPixelOfFormat(requestedFormat);
        format = requestedFormat;
        if (bytesPerPixel == 4)
            format = 1;
        else if (bytesPerPixel == 3)
            format = 0;
        else if (bytesPerPixel == 1)
            format = 2;
        data = std::move(owned);
        return true;
    }

    bool Image::load(const File& file, int f)
    {
        release();
        dirty = true;
        width = height = 0;
        if (! isValidFormat(f))
        {
            logPrint(logError, "Image::load: no format %d for %s.", f, file.getFullPath().c_str());
            return false;
        }
        unsigned long w = 0, h = 0;
        int channels = 0;
        unsigned char* pixels = ImageUtils::imageFromFile(file, &w, &h, &channels, bytesPerPixelOfFormat(f));
        return takeDecoded(pixels, w, h, channels, f);
    }

    bool Image::fromMemory(const unsigned char* bytes, int size, int f)
    {
        release();
        dirty = true;
        width = height = 0;
        if (! isValidFormat(f))
        {
            logPrint(logError, "Image::fromMemory: no format %d.", f);
            return false;
        }
        unsigned long w = 0, h = 0;
        int channels = 0;
        unsigned char* pixels = ImageUtils::imageFromMemory(bytes, size, &w, &h, &channels, bytesPerPixelOfFormat(f));
        return takeDecoded(pixels, w, h, channels, f);
    }

    void Image::copy(const Image& other)
    {
        if (&other == this)
            return;
        dirty = true;
        if (! other.hasData())
        {
            release();
            width = height = 0;
            return;
        }
        if (! hasData())
        {
            format = other.format;
            if (! allocate(other.width, other.height, other.bytesPerPixel, false))
                return;
            std::memcpy(data.get(), other.data.get(), other.getDataSize());
            return;
        }
        if (width != other.width || height != other.height)
        {
            deleteTexture();
            if (! allocate(other.width, other.height, bytesPerPixel, true))
                return;
        }
        // Same format and pixel size only: format 3 images differ in bytes.
        if (format == other.format && bytesPerPixel == other.bytesPerPixel)
            std::memcpy(data.get(), other.data.get(), other.getDataSize());
    }

    void Image::copy(const void* bytes)
    {
        if (bytes == nullptr || ! hasData())
            return;
        std::memcpy(data.get(), bytes, getDataSize());
        dirty = true;
    }

    void Image::clear()
    {
        if (hasData())
            std::memset(data.get(), 0, getDataSize());
        dirty = true;
    }

    bool Image::save(const File& file) const
    {
        if (! hasData())
        {
            logPrint(logError, "Image::save: no pixels to write to %s.", file.getFullPath().c_str());
            return false;
        }
        return ImageUtils::writeToPng(file, width, height, bytesPerPixel, data.get(), 0);
    }

    void Image::setPixel(int x, int y, const Color& color)
    {
        if (! hasData() || x < 0 || y < 0 || x >= width || y >= height)
            return;
        dirty = true;
        unsigned char* p = data.get() + (size_t(y) * size_t(width) + size_t(x)) * size_t(bytesPerPixel);
        switch (format)
        {
            case 1:
                p[0] = toByte(color.b);
                p[1] = toByte(color.g);
                p[2] = toByte(color.r);
                p[3] = toByte(color.a);
                break;
            case 0:
                p[0] = toByte(color.r);
                p[1] = toByte(color.g);
                p[2] = toByte(color.b);
                break;
            case 2:
                p[0] = toByte(color.r);
                break;
            default:
                break;
        }
    }

    Color Image::getPixel(int x, int y) const
    {
        if (! hasData() || x < 0 || y < 0 || x >= width || y >= height || format == 3)
            return Color(0.0f, 0.0f, 0.0f, 0.0f);
        const unsigned char* p = data.get() + (size_t(y) * size_t(width) + size_t(x)) * size_t(bytesPerPixel);
        switch (format)
        {
            case 2:
            {
                const float grey = p[0] * byteToUnit;
                return Color(grey, grey, grey, grey);
            }
            case 1:
                return Color(p[0] * byteToUnit, p[1] * byteToUnit, p[2] * byteToUnit, p[3] * byteToUnit);
            default:
                return Color(p[0] * byteToUnit, p[1] * byteToUnit, p[2] * byteToUnit, 1.0f);
        }
    }

    float Image::getIntensity(int x, int y) const
    {
        if (! hasData() || x < 0 || y < 0 || x >= width || y >= height || format == 3)
            return 0.0f;
        const unsigned char* p = data.get() + (size_t(y) * size_t(width) + size_t(x)) * size_t(bytesPerPixel);
        switch (format)
        {
            case 2:
                return p[0] * byteToUnit;
            case 1:
                return Color(p[2], p[1], p[0], p[3]).luminosity() * byteToUnit;
            default:
                return Color(p[0], p[1], p[2], 1.0f).luminosity() * byteToUnit;
        }
    }

    Texture* Image::getTexture()
    {
        if (! hasData())
            return nullptr;
        if (texture != nullptr)
            return texture;
        texture = new Texture();
        dirty = false;
        const TextureFormat* textureFormat = textureFormatOf(format);
        if (textureFormat == nullptr)
            return texture;
        if (! texture->create(data.get(), width, height, *textureFormat))
        {
            debugPrint("Failed to create texture!");
            deleteTexture();
            return nullptr;
        }
        return texture;
    }

    bool Image::updateTexture()
    {
        Texture* t = getTexture();
        if (t == nullptr)
            return false;
        dirty = false;
        return t->update(data.get(), width, height);
    }

    void Image::draw(Renderer& renderer, float x, float y, float w, float h, bool flip, const Color& color)
    {
        if (! hasData())
            return;
        if (dirty && texture != nullptr)
            updateTexture();
        Texture* t = getTexture();
        if (t == nullptr || ! t->isValid())
            return;
        renderer.drawTexture(*t, x, y, w == 0.0f ? float(width) : w, h == 0.0f ? float(height) : h, flip, color);
    }

    bool Image::grabFrameBuffer(int w, int h, int f)
    {
        if (w < 0 || h < 0 || ! isValidFormat(f))
        {
            logPrint(logError, "Image::grabFrameBuffer: refused %dx%d in format %d.", w, h, f);
            return false;
        }
        if (! hasData() || w != width || h != height || f != format)
        {
            if (! create(w, h, f, nullptr))
                return false;
        }
        dirty = true;
        GLenum layout = 0;
        switch (f)
        {
            case 2:
                layout = GL_LUMINANCE;
                break;
            case 1:
                layout = GL_BGRA;
                break;
            case 0:
                layout = GL_RGB;
                break;
            default:
                return false;
        }
        if (w == 0 || h == 0)
            return true;
        // Rows tightly packed whatever the pixel size (1 and 3 bytes would be
        // padded to 4 by the default alignment and overrun the buffer).
        const ScopedPackState pack(1, 0);
        glReadPixels(0, 0, w, h, layout, GL_UNSIGNED_BYTE, data.get());
        return true;
    }

    void Image::multiplyImageWithColour(Image& image, const Color& color)
    {
        const int step = image.bytesPerPixel;
        if (! image.hasData() || (step != 1 && step != 3 && step != 4))
            return;
        const auto& table = tintTable();
        const unsigned char factors[4] = {toByte(color.r), toByte(color.g), toByte(color.b), toByte(color.a)};
        unsigned char* p = image.data.get();
        const size_t pixels = size_t(image.width) * size_t(image.height);
        for (size_t i = 0; i < pixels; ++i, p += step)
            for (int c = 0; c < step; ++c)
                p[c] = table[size_t(p[c]) * 256 + factors[c]];
    }

} // namespace vx
