#pragma once

#include <cstdint>
#include <string>

#include "core/VXScopedPointer.h"
#include "engine/gfx/VXTextureRef.h"
#include "engine/video/codecs/VXDecompressor.h"
#include "engine/video/codecs/VXQMVFrame.h"

namespace vx
{
    class UVAPixelsCompressor;

    // Reads QMV frames: types 0 to 5 as their block data, UV maps (type 6) as
    // RGBA16 or, with useLA16A8, as the two planes the ALA program draws,
    // masks (type 7) as 16-bit samples. renderInternal draws YCoCg and UV-map
    // frames with the renderer's QMV programs into the current target.
    class QMVDecompressor : public Decompressor
    {
    public:
        QMVDecompressor(const VideoCodecSettings& streamSettings, qmv::QMVType frameType, std::uint8_t version,
                        std::uint8_t subVersion);
        ~QMVDecompressor() override;

        // Draws a decoded YCoCg6, YACoCg10 or two-plane UV-map frame over the
        // viewport (0, 0, width, height), cleared first. False for other types,
        // data shorter than the planes or textures that cannot be made; true
        // without drawing when the program cannot be bound.
        bool renderInternal(Renderer& renderer, const unsigned char* data, int size) override;
        // The frame (size bytes) into dst: the block data (compressedSize bytes)
        // for types 0 to 5, the map or planes for 6, the samples for 7.
        bool decompressFrame(unsigned char* dst, unsigned char* frame, int size) override;
        bool isImageFlipped() override { return false; }
        // Reads a frame header of size bytes and updates the settings; false
        // for a header too short to read.
        bool readHeaderInfo(unsigned char* header, int size) override;

        bool isMissingLastLine() const { return missingLastLine != 0; }
        qmv::QMVType getType() const { return type; }
        // The settings after the header: type, sizes, format, codec name.
        VideoCodecSettings& getSettings() { return settings; }

        // "QMV ", version - 1 and subVersion joined by ".", and the type's name.
        static std::string buildCodecName(int version, int subVersion, int type);

    private:
        void applyHeader(qmv::QMVType frameType, std::uint8_t version, std::uint8_t subVersion);
        bool updateFormatFromQMVType();

        qmv::QMVType type = qmv::typeDXT1Old;
        std::uint8_t missingLastLine = 0;
        TextureRef yPlane, yaPlane, cocgPlane, aPlane, laPlane;
        ScopedPointer<UVAPixelsCompressor> uvCompressor;
    };
}
