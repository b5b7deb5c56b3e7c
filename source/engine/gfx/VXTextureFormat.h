#pragma once

#include <string>

namespace vx
{

    /** The layout of a texture's pixels: GL internal format, upload format and
        component type, and the byte size of one pixel as uploaded. A plain value.
        Numeric fields are -1 when unknown. */
    class TextureFormat
    {
    public:
        /** Unknown in every field, name "UNKNOWN". */
        TextureFormat();
        /** When bytesPerPixel is -1 and the type is known, it is derived from
            format and type (see computeBytesPerPixel). */
        TextureFormat(int internalFormat, int format, int type, int bytesPerPixel, const std::string& name,
                      bool compressed, int divisor);

        /** Compares every field but the name. */
        bool operator==(const TextureFormat& other) const;
        bool operator!=(const TextureFormat& other) const { return ! (*this == other); }

        /** Bytes per pixel from format and type: components (RGB 3, RGBA 4,
            LUMINANCE 1, LUMINANCE_ALPHA 2) times component size (FLOAT 4,
            UNSIGNED_SHORT 2, HALF_FLOAT 2, otherwise 1). Other formats leave the
            field as it was. */
        void computeBytesPerPixel();

        /** Bytes one pixel takes in video memory by internal format and type, for
            accounting only; 0 when the pair is not known. */
        int getInternalBytesPerPixel() const;

        /** Bytes GL reads or writes per pixel of a client-memory format / type
            pair (packed types included); 0 when the pair is not known. */
        static int packedPixelSize(unsigned int format, unsigned int type);

        int internalFormat = -1;
        int format = -1;
        int type = -1;
        int bytesPerPixel = -1;
        std::string name = "UNKNOWN";
        bool compressed = false;
        /** Compressed size = width * height * bytesPerPixel / divisor; 1 when uncompressed. */
        int divisor = 1;
        int reserved = -1;
    };

} // namespace vx
