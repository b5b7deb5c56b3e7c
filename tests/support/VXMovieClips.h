#pragma once

#include <string>

// Movie clips made by the ffmpeg command-line tool, for suites that play
// what a user would.
namespace vx::test
{
    // The standard output of a shell command.
    std::string captureCommand(const std::string& command);
    // Whether the ffmpeg tool has the encoder (e.g. "libx264").
    bool hasFFmpegEncoder(const std::string& name);

    struct ClipSpec
    {
        int width = 64, height = 32;
        int frames = 10;
        double fps = 25.0;
        // The picture, as an ffmpeg "geq" luma expression of X, Y, W, H and
        // N (the frame index); chroma is neutral.
        std::string luma = "128";
        // Or the picture in colour, as ffmpeg "geq" expressions of red,
        // green and blue ("r='...':g='...':b='...'"); the luma is then unused.
        std::string colour;
        // Drawn at width and height divided by this, then scaled up without
        // smoothing (the expressions see the smaller size): quicker to make.
        int upscale = 1;
        // Degrees the picture turns clockwise for display, as a phone's
        // portrait movie does (90); kept in the file's display matrix.
        int rotation = 0;
        // Encoder options, e.g. "-c:v libx264 -pix_fmt yuv420p".
        std::string codec = "-c:v mpeg4";
        bool sound = false;
    };

    // Writes the clip to path; false (ffmpeg's messages on stderr) when it
    // cannot.
    bool makeClip(const std::string& path, const ClipSpec& clip);
}
