#include "engine/video/codecs/VXVideoCodecSettings.h"

#include "engine/gfx/VXTexture.h"
#include "engine/video/codecs/VXQMVFrame.h"
#include "engine/video/codecs/VXVideoCodecInfo.h"

namespace vx
{
    VideoCodecSettings::VideoCodecSettings(int w, int h, double framesPerSecond, VideoCodecInfo* info)
        : textureFormat(&Texture::RGBA8), width(w), height(h), fps(framesPerSecond),
          fourCC(qmv::makeFourCC("QMDI"))
    {
        if (info != nullptr)
            setCodec(*info);
    }

    VideoCodecSettings::VideoCodecSettings(VideoCodecInfo* info) : VideoCodecSettings(0, 0, 0.0, info) {}

    void VideoCodecSettings::setCodec(VideoCodecInfo& info)
    {
        info.fillSettings(*this);
        codecInfo = &info;
    }

    Compressor* VideoCodecSettings::getCompressor()
    {
        return codecInfo != nullptr ? codecInfo->getCompressor(*this) : nullptr;
    }

    Decompressor* VideoCodecSettings::getDecompressor(unsigned char* header, int size)
    {
        return codecInfo != nullptr ? codecInfo->getDecompressor(*this, header, size) : nullptr;
    }
}
