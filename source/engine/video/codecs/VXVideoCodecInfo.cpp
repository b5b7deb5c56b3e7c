#include "engine/video/codecs/VXVideoCodecInfo.h"

#include "core/parameters/VXParamChoice.h"
#include "core/parameters/VXParamContainer.h"
#include "core/parameters/VXParamView.h"

namespace vx
{
    VideoCodecInfo::VideoCodecInfo()
        : params(std::make_shared<ParamContainer>("Params")),
          fourCCParam(std::make_shared<ParamChoice<CodecFourCC>>("Four CC"))
    {
        params->addParam(fourCCParam);
        params->setViewForParam(fourCCParam, ParamView().withVisiblity(ParamView::visibilityHidden), false);
    }

    VideoCodecInfo::~VideoCodecInfo() = default;

    CodecFourCC VideoCodecInfo::getFourCC() const { return fourCCParam->getValue(); }

    void VideoCodecInfo::fillSettings(VideoCodecSettings&) {}

    std::string VideoCodecInfo::getDescription() const { return {}; }

    Compressor* VideoCodecInfo::getCompressor(VideoCodecSettings&) { return nullptr; }

    Decompressor* VideoCodecInfo::getDecompressor(VideoCodecSettings&, unsigned char*, int) { return nullptr; }
}
