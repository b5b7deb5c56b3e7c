#pragma once

// Movies made by the ffmpeg tool whose frames carry their index: frame n is
// eight vertical bars, bar b (16 pixels wide, left first) white when bit b of
// n is set, else black. The bars survive lossy codecs, scaling to RGBA and a
// vertical flip, so a picture read back from a source names its frame.

#include "core/VXFile.h"
#include "support/VXMovieClips.h"

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace vx::test
{
    struct IndexedClip
    {
        // Codec and its options, e.g. "-c:v mpeg4 -g 12 -bf 2 -q:v 2".
        std::string video;
        bool sound = false;
        double seconds = 2.0;
        // Frames per second as ffmpeg takes them: "25", "24000/1001".
        std::string fps = "25";
        int height = 32;
        // Filters after the bars are drawn, e.g. "select='not(between(n\\,26\\,49))'":
        // frames kept still carry their number.
        std::string filter;
        // Container options, e.g. "-f matroska".
        std::string container;
    };

    // 128 x clip.height pixels; false when ffmpeg failed.
    inline bool makeIndexedClip(const std::string& path, const IndexedClip& clip)
    {
        std::ostringstream command;
        command << "ffmpeg -v error -y -f lavfi -i \"color=c=black:s=128x" << clip.height << ":r=" << clip.fps
                << ":d=" << clip.seconds
                << ",format=yuv420p,geq=lum='if(bitand(N\\,pow(2\\,floor(X/16)))\\,235\\,16)':cb=128:cr=128"
                << (clip.filter.empty() ? "" : ",") << clip.filter << "\"";
        if (clip.sound)
            command << " -f lavfi -i \"sine=frequency=440:duration=" << clip.seconds << "\" -c:a pcm_s16le";
        command << " " << clip.video << " " << clip.container << " \"" << path << "\" 2>&1";
        return std::system(command.str().c_str()) == 0 && File(path).exists();
    }

    // The index a 128-pixel-wide row of grey levels (one per pixel) shows;
    // -1 when a bar is neither clearly white nor clearly black.
    inline long indexOfRow(const std::vector<int>& grey)
    {
        if (grey.size() < 128)
            return -1;
        long index = 0;
        for (int bit = 0; bit < 8; ++bit)
        {
            const int level = grey[static_cast<std::size_t>(bit * 16 + 8)];
            if (level > 170)
                index |= 1L << bit;
            else if (level > 70)
                return -1;
        }
        return index;
    }
}
