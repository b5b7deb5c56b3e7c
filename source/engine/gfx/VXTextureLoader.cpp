// The parts of vx::Texture that reach beyond the texture itself: decoding
// images into it, random test textures, the per-format pixel writers and the
// copies drawn through pooled render targets.

#include "engine/gfx/VXTexture.h"

#include "core/VXFile.h"
#include "core/VXLog.h"
#include "engine/gfx/VXGfxUtils.h"
#include "engine/gfx/VXImageDecoder.h"
#include "engine/gfx/VXRenderTarget.h"
#include "engine/gfx/VXRenderTargetManager.h"
#include "engine/gfx/VXRenderer.h"
#include "engine/gfx/VXTextureEffects.h"
#include "engine/gfx/VXTextureManager.h"
#include "engine/gfx/VXTextureRef.h"

#include <epoxy/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>

namespace vx
{

    namespace
    {
        // float to int without the undefined conversion of NaN or huge values;
        // the writers keep only the low bits, as the packed layouts ask.
        int toInt(float v)
        {
            if (! std::isfinite(v))
                return 0;
            return static_cast<int>(std::clamp(v, -2147483520.0f, 2147483520.0f));
        }

        unsigned char* pixelAt(void* data, int x, int y, int z, int rowPitch, int slicePitch, int pixelSize)
        {
            return static_cast<unsigned char*>(data) + static_cast<ptrdiff_t>(x) * pixelSize +
                   static_cast<ptrdiff_t>(y) * rowPitch + static_cast<ptrdiff_t>(z) * slicePitch;
        }

        void writeI8(void* data, int x, int y, int z, int rowPitch, int slicePitch, float r, float, float, float)
        {
            *pixelAt(data, x, y, z, rowPitch, slicePitch, 1) = static_cast<unsigned char>(toInt(r) & 0xFF);
        }

        void writeRGB8(void* data, int x, int y, int z, int rowPitch, int slicePitch, float r, float g, float b, float)
        {
            unsigned char* p = pixelAt(data, x, y, z, rowPitch, slicePitch, 3);
            p[0] = static_cast<unsigned char>(toInt(b) & 0xFF);
            p[1] = static_cast<unsigned char>(toInt(g) & 0xFF);
            p[2] = static_cast<unsigned char>(toInt(r) & 0xFF);
        }

        void writeRGBA8(void* data, int x, int y, int z, int rowPitch, int slicePitch, float r, float g, float b,
                        float a)
        {
            const uint32_t word = (static_cast<uint32_t>(toInt(a * 255.0f) & 0xFF) << 24) |
                                  (static_cast<uint32_t>(toInt(r * 255.0f) & 0xFF) << 16) |
                                  (static_cast<uint32_t>(toInt(g * 255.0f) & 0xFF) << 8) |
                                  static_cast<uint32_t>(toInt(b * 255.0f) & 0xFF);
            std::memcpy(pixelAt(data, x, y, z, rowPitch, slicePitch, 4), &word, sizeof(word));
        }

        void writeR32F(void* data, int x, int y, int z, int rowPitch, int slicePitch, float r, float, float, float)
        {
            std::memcpy(pixelAt(data, x, y, z, rowPitch, slicePitch, 4), &r, sizeof(r));
        }

        void writeRGBA32F(void* data, int x, int y, int z, int rowPitch, int slicePitch, float r, float g, float b,
                          float a)
        {
            const float values[4] = {r, g, b, a};
            std::memcpy(pixelAt(data, x, y, z, rowPitch, slicePitch, 16), values, sizeof(values));
        }

        const TextureFormat customFormat(GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE, -1, "CUSTOM", false, 1);

        using Decoder = std::function<unsigned char*(ImageDecoder&, unsigned long*, unsigned long*, int*, int)>;

        // A copy drawn into a pooled target, with the renderer's matrices, the
        // viewport and the bound target saved around it; finish() ends it and
        // takes the result out of the pool. A job over a target, not a GL state
        // guard: the state it borrows goes back through the engine's own stacks.
        class CopyTarget
        {
        public:
            CopyTarget(Renderer& rendererToUse, int w, int h, const TextureFormat& format)
                : renderer(rendererToUse), manager(RenderTargetManager::getCurrent())
            {
                glGetIntegerv(GL_VIEWPORT, savedViewport);
                savedRendererViewport = renderer.getViewport();
                if (manager == nullptr)
                {
                    logPrint(logError, "Texture copy: no render-target pool");
                    return;
                }
                if (w <= 0 || h <= 0 || w > 0xFFFF || h > 0xFFFF)
                {
                    logPrint(logError, "Texture copy: size %d x %d is empty or too large", w, h);
                    return;
                }
                RenderTarget::pushCurrentTarget();
                pushed = true;
                target = manager->retain(w, h, format, false, DEFAULT_DEPTH_FMT);
                if (target == nullptr || ! target->bind())
                {
                    logPrint(logError, "Texture copy: cannot bind a %d x %d render target", w, h);
                    return;
                }
                renderer.pushMatrix();
                matricesPushed = true;
                renderer.setViewport(RectT<float>(0.0f, 0.0f, float(w), float(h)));
                renderer.setupGuiMatrices(100.0f);
                glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
                glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
                ready = true;
            }

            ~CopyTarget() { finish(); }

            bool isReady() const { return ready; }

            /** Ends drawing, gives the target back and answers its colour
                texture taken out of the pool (null when there was none). */
            Texture* finish()
            {
                Texture* result = nullptr;
                if (matricesPushed)
                {
                    renderer.popMatrix();
                    matricesPushed = false;
                }
                if (target != nullptr)
                {
                    if (target->isBound())
                        RenderTarget::unbind();
                    Texture* texture = ready ? target->getTexture(0) : nullptr;
                    manager->release(target);
                    target = nullptr;
                    if (texture != nullptr)
                    {
                        TextureManager* textures = TextureManager::getCurrent();
                        if (textures != nullptr && textures->unManageTexture(*texture))
                            result = texture;
                        else
                            logPrint(logError, "Texture copy: the result is not in the texture pool");
                    }
                }
                if (pushed)
                {
                    RenderTarget::popCurrentTarget();
                    pushed = false;
                    renderer.setViewport(savedRendererViewport);
                    glViewport(savedViewport[0], savedViewport[1], savedViewport[2], savedViewport[3]);
                }
                ready = false;
                return result;
            }

        private:
            Renderer& renderer;
            RenderTargetManager* manager;
            RenderTarget* target = nullptr;
            GLint savedViewport[4] = {};
            RectT<float> savedRendererViewport;
            bool pushed = false;
            bool matricesPushed = false;
            bool ready = false;
        };

        void reportMissingEffect(const char* operation, const char* effect)
        {
            // The effects come from the render-pass layer, which installs
            // them when it is linked in.
            logPrint(logError, "Texture::%s: no render-pass manager to run the \"%s\" effect", operation, effect);
        }
    } // namespace

    //==============================================================================
    static bool loadDecoded(Texture& texture, const TextureFormat& requested, const Decoder& decode,
                            const std::string& what)
    {
        TextureFormat format = requested.internalFormat == -1 ? customFormat : requested;

        int wanted = 0;
        if (requested.format != -1)
        {
            switch (requested.format)
            {
                case GL_RGB:
                    wanted = 3;
                    break;
                case GL_RGBA:
                    wanted = 4;
                    break;
                case GL_LUMINANCE:
                    wanted = 1;
                    break;
                default:
                    debugPrint("Texture::load : data format not supported!");
                    logPrint(logError, "Texture::load: upload format 0x%X is not supported", requested.format);
                    return false;
            }
            format.format = requested.format;
        }

        ImageDecoder* decoder = ImageDecoder::getCurrent();
        if (decoder == nullptr)
        {
            logPrint(logError, "Texture::load: no image decoder is installed");
            return false;
        }
        unsigned long w = 0, h = 0;
        int channels = 0;
        unsigned char* pixels = decode(*decoder, &w, &h, &channels, wanted);
        if (pixels == nullptr)
        {
            debugPrint("Texture::load : failed to load %s", what.c_str());
            logPrint(logError, "Texture::load: failed to decode %s", what.empty() ? "image in memory" : what.c_str());
            return false;
        }

        // The decoder hands out 8-bit samples (two bytes for 16-bit RGBA), so
        // the upload layout must describe those, whatever was asked for.
        format.type = GL_UNSIGNED_BYTE;
        if (wanted == 0)
        {
            switch (channels)
            {
                case 1:
                    format.format = GL_LUMINANCE;
                    break;
                case 2:
                    format.format = GL_LUMINANCE_ALPHA;
                    break;
                case 3:
                    format.format = GL_RGB;
                    break;
                case 4:
                    format.format = GL_RGBA;
                    break;
                case 8:
                    format.format = GL_RGBA;
                    format.type = GL_UNSIGNED_SHORT;
                    break;
                default:
                    std::free(pixels);
                    logPrint(logError, "Texture::load: %d channels of %s are not supported", channels, what.c_str());
                    return false;
            }
        }
        if (format.internalFormat == -1)
            format.internalFormat = GL_RGBA8;
        format.bytesPerPixel = -1;
        format.computeBytesPerPixel();

        const bool created = w <= 0xFFFF && h <= 0xFFFF && texture.create(pixels, int(w), int(h), format);
        std::free(pixels);
        if (! created)
            logPrint(logError, "Texture::load: cannot create a %lu x %lu texture of %s", w, h, what.c_str());
        return created;
    }

    bool Texture::load(const File& file, const TextureFormat& requested)
    {
        return loadDecoded(
            *this, requested,
            [&file](ImageDecoder& decoder, unsigned long* w, unsigned long* h, int* channels, int wanted)
            { return decoder.decodeFile(file, w, h, channels, wanted); },
            file.getFullPath());
    }

    bool Texture::load(const unsigned char* data, int size, const TextureFormat& requested)
    {
        if (data == nullptr || size <= 0)
        {
            debugPrint("Texture::load : failed to load");
            logPrint(logError, "Texture::load: no image data (%d bytes)", size);
            return false;
        }
        return loadDecoded(
            *this, requested,
            [data, size](ImageDecoder& decoder, unsigned long* w, unsigned long* h, int* channels, int wanted)
            { return decoder.decodeMemory(data, size, w, h, channels, wanted); },
            std::string());
    }

    Texture* Texture::createRandom(uint16_t w, uint16_t h)
    {
        const size_t count = size_t(w) * size_t(h);
        if (count == 0)
            return nullptr;
        std::vector<uint32_t> words(count);
        for (auto& word : words)
            word = static_cast<uint32_t>(double(std::rand()) * (4294967295.0 / 2147483647.0));
        auto* texture = new Texture();
        if (! texture->create(words.data(), w, h, RGBA8))
        {
            delete texture;
            return nullptr;
        }
        return texture;
    }

    bool Texture::setPixelFunc()
    {
        if (format == I8)
            pixelFunc = &writeI8;
        else if (format == RGB8)
            pixelFunc = &writeRGB8;
        else if (format == RGBA8)
            pixelFunc = &writeRGBA8;
        else if (format == R32F)
            pixelFunc = &writeR32F;
        else if (format == RGBA32F)
            pixelFunc = &writeRGBA32F;
        else if (pixelFunc == nullptr)
        {
            debugPrint("Texture:Can't set pixel callback.");
            return false;
        }
        return true;
    }

    //==============================================================================
    Texture* Texture::createClone(Renderer& renderer, const Texture& source, float scale)
    {
        if (! source.isValid() || ! std::isfinite(scale) || scale <= 0.0f)
        {
            logPrint(logError, "Texture::createClone: no source texture or scale %g", double(scale));
            return nullptr;
        }
        const int w = int(float(source.getWidth()) * scale);
        const int h = int(float(source.getHeight()) * scale);
        CopyTarget copy(renderer, w, h, source.isCompressed() ? RGBA8 : source.getFormat());
        if (! copy.isReady())
            return nullptr;
        renderer.drawTexture(source, 0.0f, 0.0f, float(w), float(h), false);
        return copy.finish();
    }

    TextureRef Texture::applyAlpha(Renderer& renderer, const Texture& source, const Texture& alpha)
    {
        if (! source.isValid() || ! alpha.isValid())
        {
            logPrint(logError, "Texture::applyAlpha: a texture has no GL name");
            return TextureRef();
        }
        const int w = std::max(source.getWidth(), alpha.getWidth());
        const int h = std::max(source.getHeight(), alpha.getHeight());
        CopyTarget copy(renderer, w, h, alpha.getFormat());
        if (! copy.isReady())
            return TextureRef();
        renderer.drawTexture(source, 0.0f, 0.0f, float(w), float(h), false);
        gfx::setBlendMode(gfx::BLEND_ALPHA);
        renderer.drawTexture(alpha, 0.0f, 0.0f, float(w), float(h), false);
        gfx::setBlendMode(gfx::BLEND_OFF);
        return TextureRef(copy.finish());
    }

    TextureRef Texture::toLuminosity(Renderer& renderer, const Texture& source)
    {
        if (TextureEffects* effects = TextureEffects::getCurrent())
            return effects->toLuminosity(renderer, source);
        reportMissingEffect("toLuminosity", "ToLuminosity");
        return TextureRef();
    }

    TextureRef Texture::applyMask(Renderer& renderer, const Texture& source, const Texture& mask)
    {
        if (TextureEffects* effects = TextureEffects::getCurrent())
            return effects->applyMask(renderer, source, mask);
        reportMissingEffect("applyMask", "Mask");
        return TextureRef();
    }

} // namespace vx
