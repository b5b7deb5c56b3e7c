#pragma once

#include <memory>
#include <string>

#include "core/VXCodecFourCC.h"

namespace vx
{
    class Compressor;
    class Decompressor;
    class ParamContainer;
    class VideoCodecSettings;
    template <typename T>
    class ParamChoice;

    // A codec and its user-visible settings: the container "Params" holding the
    // choice "Four CC" (shown with visibility 1). The base makes nothing.
    class VideoCodecInfo
    {
    public:
        VideoCodecInfo();
        virtual ~VideoCodecInfo();
        VideoCodecInfo(const VideoCodecInfo&) = delete;
        VideoCodecInfo& operator=(const VideoCodecInfo&) = delete;

        // The value of "Four CC".
        virtual CodecFourCC getFourCC() const;
        virtual int getIdentifier() const = 0;
        virtual void fillSettings(VideoCodecSettings& settings);
        virtual std::string getDescription() const;
        // New objects the caller owns, or null.
        virtual Compressor* getCompressor(VideoCodecSettings& settings);
        virtual Decompressor* getDecompressor(VideoCodecSettings& settings, unsigned char* header, int size);

        const std::shared_ptr<ParamContainer>& getParams() const { return params; }
        const std::shared_ptr<ParamChoice<CodecFourCC>>& getFourCCParam() const { return fourCCParam; }

    protected:
        std::shared_ptr<ParamContainer> params;
        std::shared_ptr<ParamChoice<CodecFourCC>> fourCCParam;
    };
}
