#pragma once

// STAND-IN until the codec classes exist: the one field of the codec
// settings record the format registry and the writers read. When the codec
// library provides vx::VideoCodecSettings, this file goes and its users
// include the codec library's header instead.

#include "core/VXCodecFourCC.h"

namespace vx
{
    struct VideoCodecSettings
    {
        // The codec asked for; 0 (or "0000") stands for any codec.
        CodecFourCC fourCC;
    };
}
