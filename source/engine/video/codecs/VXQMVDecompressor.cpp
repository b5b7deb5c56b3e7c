#include "engine/video/codecs/VXQMVDecompressor.h"

#include <climits>

#include "core/VXLog.h"
#include "core/VXTime.h"
#include "engine/gfx/VXGfxUtils.h"
#include "engine/gfx/VXRenderContext.h"
#include "engine/gfx/VXRenderer.h"
#include "engine/gfx/VXShaders.h"
#include "engine/gfx/VXTexture.h"
#include "engine/video/codecs/VXLZ4PixelsCompressor.h"
#include "engine/video/codecs/VXUVAPixelsCompressor.h"

namespace vx
{
    namespace
    {
        struct Plane
        {
            TextureRef* slot;
            const TextureFormat* format;
            int width, height;
            long offset;
            const char* sampler;
        };

        // The slot's texture at the plane's size and format, made when missing
        // or different; null when it cannot be made.
        Texture* planeTexture(const Plane& plane)
        {
            Texture* texture = plane.slot->get();
            if (texture != nullptr && texture->isValid() && texture->getWidth() == plane.width &&
                texture->getHeight() == plane.height && texture->getFormat() == *plane.format)
                return texture;
            plane.slot->reset();
            auto* made = new Texture();
            if (! made->create(plane.width, plane.height, *plane.format))
            {
                delete made;
                return nullptr;
            }
            // Each chroma sample covers its 2 x 2 pixels, as the CPU expansion
            // has it; filtering would blend neighbouring groups.
            made->setMinFilter(Texture::NEAREST);
            made->setMagFilter(Texture::NEAREST);
            plane.slot->reset(made);
            return made;
        }
    }

    QMVDecompressor::QMVDecompressor(const VideoCodecSettings& streamSettings, qmv::QMVType frameType,
                                     std::uint8_t version, std::uint8_t subVersion)
        : Decompressor(streamSettings)
    {
        applyHeader(frameType, version, subVersion);
    }

    QMVDecompressor::~QMVDecompressor() = default;

    std::string QMVDecompressor::buildCodecName(int version, int subVersion, int frameType)
    {
        static const char* const suffixes[8] = {" Normal Quality, No Alpha",  " Normal Quality, With Alpha",
                                                " High Quality, No Alpha",    " High Quality, With Alpha",
                                                " Normal Quality, No Alpha",  " Normal Quality, With Alpha",
                                                " UV Map",                    " MASK"};
        std::string name = "QMV " + std::to_string(version - 1) + "." + std::to_string(subVersion);
        if (frameType >= 0 && frameType < 8)
            name += suffixes[frameType];
        return name;
    }

    void QMVDecompressor::applyHeader(qmv::QMVType frameType, std::uint8_t version, std::uint8_t subVersion)
    {
        type = frameType;
        settings.compressedSize = qmv::getCompressedSize(settings.width, settings.height, type);
        settings.maxFrameSize = settings.compressedSize + qmv::headerSize;
        settings.paddedWidth = qmv::nd16(settings.width);
        settings.paddedHeight = qmv::nd16(settings.height);
        settings.codecName = buildCodecName(version, subVersion, type);
        settings.oldFrameFlag =
            subVersion == 0 && version < 4 && (type == qmv::typeDXT1Old || type == qmv::typeDXT5Old) ? 1 : 0;
        updateFormatFromQMVType();
    }

    bool QMVDecompressor::updateFormatFromQMVType()
    {
        switch (type)
        {
            case qmv::typeDXT1:
            case qmv::typeDXT1Old: settings.textureFormat = &Texture::DXT1_RGBA; break;
            case qmv::typeDXT5:
            case qmv::typeDXT5Old:
                settings.textureFormat = &Texture::DXT5_RGBA;
                settings.hasAlpha = 1;
                break;
            case qmv::typeYCoCg6: settings.needsShader = 1; break;
            case qmv::typeYACoCg10:
                settings.needsShader = 1;
                settings.hasAlpha = 1;
                break;
            case qmv::typeUVMap:
                settings.useLA16A8 = 0;
                settings.textureFormat = &Texture::RGBA16I;
                settings.paddedWidth = settings.width;
                settings.paddedHeight = settings.height;
                settings.hasAlpha = 1;
                settings.bytesPerPixel = 8;
                break;
            case qmv::typeMask:
                settings.textureFormat = &Texture::I16I;
                settings.paddedWidth = settings.width;
                settings.paddedHeight = settings.height;
                settings.bytesPerPixel = 2;
                break;
            default: return false;
        }
        return true;
    }

    bool QMVDecompressor::readHeaderInfo(unsigned char* header, int size)
    {
        if (header == nullptr || size < qmv::oldHeaderSize || (! qmv::isOldHeader(header) && size < qmv::headerSize))
            return false;
        const qmv::QMVHeader info = qmv::getFrameHeader(header);
        applyHeader(qmv::fourccToQMVType(info.fourcc, info.version), info.version, info.subVersion);
        return updateFormatFromQMVType();
    }

    bool QMVDecompressor::decompressFrame(unsigned char* dst, unsigned char* frame, int size)
    {
        if (dst == nullptr || frame == nullptr || size <= 0 || type < qmv::typeDXT1 || type > qmv::typeMask)
            return false;
        if (type != qmv::typeUVMap && type != qmv::typeMask)
            return qmv::decompressFrame(dst, frame, unsigned(size), settings.paddedWidth, settings.paddedHeight, -1,
                                        settings.compressedSize);

        if (size <= qmv::headerSize || qmv::isOldHeader(frame) ||
            qmv::fourccToQMVType(qmv::getFrameHeader(frame).fourcc, frame[4]) != type)
            return false;
        const double start = getTickCount();
        const unsigned char* payload = frame + qmv::headerSize;
        const int payloadSize = size - qmv::headerSize;
        bool decoded;
        if (type == qmv::typeMask)
        {
            const int expected = settings.compressedSize;
            decoded = expected > 0 &&
                      LZ4PixelsCompressor::decompress(reinterpret_cast<const char*>(payload),
                                                      reinterpret_cast<char*>(dst), payloadSize, expected) == expected;
        }
        else
        {
            if (uvCompressor.get() == nullptr)
                uvCompressor.reset(new UVAPixelsCompressor());
            uvCompressor->setUseLA16A8(settings.useLA16A8 != 0);
            decoded = uvCompressor->decompress(dst, payload, unsigned(payloadSize), unsigned(settings.width),
                                               unsigned(settings.height));
        }
        debugPrint("decompressFrame took: %.4f\n", getTickCount() - start);
        return decoded;
    }

    bool QMVDecompressor::renderInternal(Renderer& renderer, const unsigned char* data, int size)
    {
        const int w = settings.width, h = settings.height;
        const int pw = settings.paddedWidth, ph = settings.paddedHeight;
        Plane planes[2];
        Shaders::Slot slot;
        bool flip = false;
        switch (type)
        {
            case qmv::typeYCoCg6:
                planes[0] = {&yPlane, &Texture::RED_RGTC1, pw, ph, 0, "Y_TextureUnit"};
                planes[1] = {&cocgPlane, &Texture::RG_RGTC2, pw / 2, ph / 2, long(pw) * ph / 2, "CoCg_TextureUnit"};
                slot = Shaders::QMVYCoCg;
                break;
            case qmv::typeYACoCg10:
                planes[0] = {&yaPlane, &Texture::RG_RGTC2, pw, ph, 0, "YA_TextureUnit"};
                planes[1] = {&cocgPlane, &Texture::RG_RGTC2, pw / 2, ph / 2, long(pw) * ph, "CoCg_TextureUnit"};
                slot = Shaders::QMVYCoCgAlpha;
                break;
            case qmv::typeUVMap:
                planes[0] = {&laPlane, &Texture::LA16, w, h, 0, "LA_TextureUnit"};
                planes[1] = {&aPlane, &Texture::A8, w, h, long(w) * h * 4, "A_TextureUnit"};
                slot = Shaders::QMVAlphaPlanes;
                flip = true;
                break;
            default: return false;
        }
        if (data == nullptr || w <= 0 || h <= 0 || pw > 0xFFFF || ph > 0xFFFF)
            return false;

        gfx::setViewport(0, 0, w, h);
        gfx::clear(0.0f, 0.0f, 0.0f, 0.0f, true, 1.0f);

        Texture* textures[2];
        long needed = 0;
        for (int i = 0; i < 2; ++i)
        {
            textures[i] = planeTexture(planes[i]);
            if (textures[i] == nullptr)
                return false;
            needed += Texture::getFrameSize(std::uint16_t(planes[i].width), std::uint16_t(planes[i].height),
                                            *planes[i].format);
        }
        if (needed > size)
            return false;

        ShaderProgram& program = renderer.getShaders().get(slot);
        RenderContext& context = renderer.getRenderContext();
        if (! context.bindShader(program))
            return true;
        for (int i = 0; i < 2; ++i)
        {
            textures[i]->update(data + planes[i].offset, 0, 0, planes[i].width, planes[i].height);
            context.bind2DTexture(unsigned(i), *textures[i]);
            program.setSampler(planes[i].sampler, i);
        }
        gfx::color(1.0f, 1.0f, 1.0f, 1.0f);
        // The picture is the top-left w x h of the planes: the rows and
        // columns padding it to whole blocks stay outside the viewport.
        const float s = float(w) / float(planes[0].width), t = float(h) / float(planes[0].height);
        drawTexturePart(*textures[0], -1.0f, -1.0f, 2.0f, 2.0f, 0.0f, 0.0f, s, t, flip);
        context.unbind2DTextures();
        context.unbindShader();
        return true;
    }
}
