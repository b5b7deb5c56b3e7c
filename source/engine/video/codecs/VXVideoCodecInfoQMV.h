#pragma once

#include "engine/video/codecs/VXVideoCodecInfo.h"

namespace vx
{
    // The QMV codec: "Four CC" offers "QMDI" and "QMD3" (selected), and
    // "Format Type" picks the frame type (1, normal quality with alpha, at
    // first).
    class VideoCodecInfoQMV : public VideoCodecInfo
    {
    public:
        VideoCodecInfoQMV();

        int getIdentifier() const override { return 1; }
        // Name, FourCC and the pixel size and texture format of the chosen type.
        void fillSettings(VideoCodecSettings& settings) override;
        // "QMV " and the chosen type's name ("QMV" when none matches).
        std::string getDescription() const override;
        Compressor* getCompressor(VideoCodecSettings& settings) override;
        // Null when the header is too short to read.
        Decompressor* getDecompressor(VideoCodecSettings& settings, unsigned char* header, int size) override;

        const std::shared_ptr<ParamChoice<int>>& getFormatType() const { return formatType; }

    private:
        std::shared_ptr<ParamChoice<int>> formatType;
    };
}
