#include "engine/gfx/VXTextureFormat.h"

#include <epoxy/gl.h>

namespace vx
{

    TextureFormat::TextureFormat() = default;

    TextureFormat::TextureFormat(int internalFormatToUse, int formatToUse, int typeToUse, int bytesPerPixelToUse,
                                 const std::string& nameToUse, bool isCompressed, int divisorToUse)
        : internalFormat(internalFormatToUse), format(formatToUse), type(typeToUse), bytesPerPixel(bytesPerPixelToUse),
          name(nameToUse), compressed(isCompressed), divisor(divisorToUse)
    {
        if (bytesPerPixel == -1 && type != -1)
            computeBytesPerPixel();
    }

    bool TextureFormat::operator==(const TextureFormat& other) const
    {
        return internalFormat == other.internalFormat && format == other.format && type == other.type &&
               bytesPerPixel == other.bytesPerPixel && compressed == other.compressed && divisor == other.divisor;
    }

    void TextureFormat::computeBytesPerPixel()
    {
        int componentSize = 1;
        if (type == GL_FLOAT)
            componentSize = 4;
        else if (type == GL_UNSIGNED_SHORT || type == GL_HALF_FLOAT)
            componentSize = 2;

        switch (format)
        {
            case GL_RGB:
                bytesPerPixel = 3 * componentSize;
                break;
            case GL_RGBA:
                bytesPerPixel = 4 * componentSize;
                break;
            case GL_LUMINANCE:
                bytesPerPixel = componentSize;
                break;
            case GL_LUMINANCE_ALPHA:
                bytesPerPixel = 2 * componentSize;
                break;
            default:
                break;
        }
    }

    int TextureFormat::getInternalBytesPerPixel() const
    {
        int componentSize = 0;
        switch (type)
        {
            case GL_UNSIGNED_BYTE:
                componentSize = 1;
                break;
            case GL_UNSIGNED_SHORT:
                componentSize = 2;
                break;
            case GL_HALF_FLOAT:
                componentSize = 2;
                break;
            case GL_FLOAT:
                componentSize = 4;
                break;
            default:
                return 0;
        }

        switch (internalFormat)
        {
            case GL_RGB:
            case GL_RGB8:
            case GL_COMPRESSED_RGB_S3TC_DXT1_EXT:
                return 3 * componentSize;
            case GL_RGBA:
            case GL_RGBA8:
            case GL_RGBA16:
            case GL_RGBA32F_ARB:
            case GL_COMPRESSED_RGBA_S3TC_DXT1_EXT:
            case GL_COMPRESSED_RGBA_S3TC_DXT5_EXT:
            // Half floats: four 2-byte components, as uploaded.
            case GL_RGBA16F_ARB:
                return 4 * componentSize;
            case GL_LUMINANCE:
            case GL_ALPHA8:
            case GL_ALPHA16:
            case GL_INTENSITY:
            case GL_INTENSITY8:
            case GL_INTENSITY32F_ARB:
            case GL_INTENSITY16F_ARB:
            case GL_COMPRESSED_RED_RGTC1:
                return componentSize;
            case GL_LUMINANCE_ALPHA:
            case GL_LUMINANCE16_ALPHA16:
            case GL_INTENSITY16:
            case GL_YCBCR_422_APPLE:
            case GL_LUMINANCE16F_ARB:
            case GL_COMPRESSED_RG_RGTC2:
                return 2 * componentSize;
            default:
                return 0;
        }
    }

    int TextureFormat::packedPixelSize(unsigned int format, unsigned int type)
    {
        switch (type)
        {
            case GL_UNSIGNED_BYTE_3_3_2:
            case GL_UNSIGNED_BYTE_2_3_3_REV:
                return 1;
            case GL_UNSIGNED_SHORT_5_6_5:
            case GL_UNSIGNED_SHORT_5_6_5_REV:
            case GL_UNSIGNED_SHORT_4_4_4_4:
            case GL_UNSIGNED_SHORT_4_4_4_4_REV:
            case GL_UNSIGNED_SHORT_5_5_5_1:
            case GL_UNSIGNED_SHORT_1_5_5_5_REV:
                return 2;
            case GL_UNSIGNED_INT_8_8_8_8:
            case GL_UNSIGNED_INT_8_8_8_8_REV:
            case GL_UNSIGNED_INT_10_10_10_2:
            case GL_UNSIGNED_INT_2_10_10_10_REV:
                return 4;
            default:
                break;
        }
        int componentSize = 0;
        switch (type)
        {
            case GL_UNSIGNED_BYTE:
            case GL_BYTE:
                componentSize = 1;
                break;
            case GL_UNSIGNED_SHORT:
            case GL_SHORT:
            case GL_HALF_FLOAT:
                componentSize = 2;
                break;
            case GL_UNSIGNED_INT:
            case GL_INT:
            case GL_FLOAT:
                componentSize = 4;
                break;
            default:
                return 0;
        }
        switch (format)
        {
            case GL_RED:
            case GL_GREEN:
            case GL_BLUE:
            case GL_ALPHA:
            case GL_LUMINANCE:
            case GL_DEPTH_COMPONENT:
            case GL_STENCIL_INDEX:
                return componentSize;
            case GL_LUMINANCE_ALPHA:
            case GL_RG:
                return 2 * componentSize;
            case GL_RGB:
            case GL_BGR:
                return 3 * componentSize;
            case GL_RGBA:
            case GL_BGRA:
                return 4 * componentSize;
            default:
                return 0;
        }
    }

} // namespace vx
