#include "support/VXMovieClips.h"

#include <algorithm>
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
        const int upscale = std::max(clip.upscale, 1);
        command << "ffmpeg -v error -y -f lavfi -i \"color=c=black:s=" << clip.width / upscale << "x"
                << clip.height / upscale << ":r=" << clip.fps << ":d=" << seconds;
        if (clip.colour.empty())
            command << ",format=yuv444p,geq=lum='" << clip.luma << "':cb=128:cr=128";
        else
            command << ",format=gbrp,geq=" << clip.colour;
        if (upscale > 1)
            command << ",scale=" << clip.width << ":" << clip.height << ":flags=neighbor";
        command << "\"";
        if (clip.sound)
            command << " -f lavfi -i \"sine=frequency=440:duration=" << seconds << "\" -c:a pcm_s16le";
        // A turned clip is made unturned, then copied with the display
        // matrix: the tool sets one only on copied streams.
        const std::size_t dot = path.find_last_of("./");
        const std::string unturned =
            path + ".unturned" + (dot != std::string::npos && path[dot] == '.' ? path.substr(dot) : std::string());
        const std::string encoded = clip.rotation != 0 ? unturned : path;
        command << " -frames:v " << clip.frames << " " << clip.codec << " \"" << encoded << "\"";
        struct stat made = {};
        if (std::system(command.str().c_str()) != 0 || stat(encoded.c_str(), &made) != 0 || made.st_size <= 0)
            return false;
        if (clip.rotation == 0)
            return true;
        // Newer tools take the angle by an input option, older ones by the
        // rotate tag; both counter-clockwise.
        static const bool displayRotation =
            captureCommand("ffmpeg -hide_banner -h full 2>/dev/null").find("display_rotation") != std::string::npos;
        std::ostringstream turn;
        turn << "ffmpeg -v error -y";
        if (displayRotation)
            turn << " -display_rotation " << -clip.rotation;
        turn << " -i \"" << unturned << "\" -map 0 -c copy";
        if (! displayRotation)
            turn << " -metadata:s:v:0 rotate=" << -clip.rotation;
        turn << " \"" << path << "\"";
        const bool turned = std::system(turn.str().c_str()) == 0 && stat(path.c_str(), &made) == 0 && made.st_size > 0;
        std::remove(unturned.c_str());
        return turned;
    }
}
