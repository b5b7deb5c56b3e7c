#include "engine/video/formats/VXAVFVideoFormat.h"

#include "engine/video/formats/avfoundation/VXAVFSelfTimedVideoFormatReader.h"
#include "engine/video/formats/avfoundation/VXAVFVideoFormatReader.h"
#include "engine/video/formats/avfoundation/VXAVFVideoFormatWriter.h"
#include "engine/video/formats/avfoundation/VXCVOpenGLTextureCache.h"

namespace vx
{
    AVFVideoFormat::AVFVideoFormat()
        : VideoFormat("AV Foundation video file", "*.mov;*.mp4;*.avi;*.mpg",
                      {fourCCFromText("apch"), fourCCFromText("apcn"), fourCCFromText("h264")})
    {
    }

    std::vector<unsigned char> AVFVideoFormat::getPossibleBitDepths()
    {
        return {3, 4, 8};
    }

    VideoFormatReader* AVFVideoFormat::createReaderFor(const File& file)
    {
        bool containsAudio = false;
        if (! AVFVideoFormatReader::canPlaybackAsset(file, containsAudio))
            return nullptr;
        if (containsAudio)
            return keepIfOpened(new AVFVideoFormatReader(file));
        return keepIfOpened(new AVFSelfTimedVideoFormatReader(file));
    }

    VideoFormatWriter* AVFVideoFormat::createWriterFor(File& file, double fps, unsigned bitDepth, unsigned width,
                                                       unsigned height, int, VideoCodecSettings& settings)
    {
        return new AVFVideoFormatWriter(file, fps, bitDepth, width, height, settings);
    }

    void AVFVideoFormat::release()
    {
        AVFoundation::releaseCache();
    }
}
