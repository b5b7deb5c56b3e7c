#include "support/VXMovieClips.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <sys/stat.h>

namespace vx::test
{
    std::string captureCommand(const std::string& command)
    {
        std::string out;
        if (FILE* pipe = popen(command.c_str(), "r"))
        {
            char chunk[4096];
            for (std::size_t n; (n = std::fread(chunk, 1, sizeof(chunk), pipe)) > 0;)
                out.append(chunk, n);
            pclose(pipe);
        }
        return out;
    }

    bool hasFFmpegEncoder(const std::string& name)
    {
        static const std::string list = captureCommand("ffmpeg -hide_banner -encoders 2>/dev/null");
        return list.find(" " + name + " ") != std::string::npos;
    }

    bool makeClip(const std::string& path, const ClipSpec& clip)
    {
        const double seconds = clip.frames / clip.fps;
        std::ostringstream command;
        command << "ffmpeg -v error -y -f lavfi -i \"color=c=black:s=" << clip.width << "x" << clip.height
                << ":r=" << clip.fps << ":d=" << seconds << ",format=yuv444p,geq=lum='" << clip.luma
                << "':cb=128:cr=128\"";
        if (clip.sound)
            command << " -f lavfi -i \"sine=frequency=440:duration=" << seconds << "\" -c:a pcm_s16le";
        command << " -frames:v " << clip.frames << " " << clip.codec << " \"" << path << "\"";
        struct stat made = {};
        return std::system(command.str().c_str()) == 0 && stat(path.c_str(), &made) == 0 && made.st_size > 0;
    }
}
