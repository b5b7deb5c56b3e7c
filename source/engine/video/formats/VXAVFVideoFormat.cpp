#include "engine/video/formats/VXAVFVideoFormat.h"

namespace vx
{
    AVFVideoFormat::AVFVideoFormat() : VideoFormat("AV Foundation video file", "*.mov;*.mp4;*.avi;*.mpg", {fourCCFromText("apch"), fourCCFromText("apcn"), fourCCFromText("h264")}) {}

    std::vector<unsigned char> AVFVideoFormat::getPossibleBitDepths() const
    {
        return {3, 4, 8};
    }
}
