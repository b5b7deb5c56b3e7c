#pragma once

#include <string>

#include "core/VXCodecFourCC.h"

namespace vx
{
    class Compressor;
    class Decompressor;
    class TextureFormat;
    class VideoCodecInfo;

    // The size, frame rate and codec choice of one stream, copied by value into
    // every compressor and decompressor made from it.
    class VideoCodecSettings
    {
    public:
        // The defaults; with info, info->fillSettings(*this) and info is kept.
        VideoCodecSettings(int width, int height, double fps, VideoCodecInfo* info);
        explicit VideoCodecSettings(VideoCodecInfo* info = nullptr);

        void setCodec(VideoCodecInfo& info);

        // New objects the caller owns; null without a codec.
        Compressor* getCompressor();
        Decompressor* getDecompressor(unsigned char* header, int size);

        int formatRevision = 2; // read by the QMV file layer
        unsigned char hasAlpha = 0;
        std::string codecName;
        const TextureFormat* textureFormat;
        int needsShader = 0;
        int paddedWidth = 0;
        int paddedHeight = 0;
        int compressedSize = 0; // block-data bytes per frame
        int codecFilled = 0;    // 1 once a QMV codec filled the settings
        int bytesPerPixel = 4;
        int width = 0;
        int height = 0;
        int maxFrameSize = 0; // one frame with its header
        unsigned char reserved = 0;
        double fps = 0.0;
        unsigned char useLA16A8 = 0;
        unsigned char oldFrameFlag = 0;
        CodecFourCC fourCC;
        int layoutRevision = 2; // read by the QMV file layer
        VideoCodecInfo* codecInfo = nullptr;
    };
}
