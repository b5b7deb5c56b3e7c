#include "engine/video/formats/avfoundation/VXAVFSelfTimedVideoFormatReader.h"

#include "engine/video/formats/VXPixels.h"
#include "engine/video/formats/avfoundation/VXAVFPlayer.h"

namespace vx
{
    AVFSelfTimedVideoFormatReader::AVFSelfTimedVideoFormatReader(const File& readFile)
        : SelfTimedVideoFormatReader(readFile, "Media Foundation file", "AVF")
    {
        textureFormat = nullptr;
        initialize(true);
    }

    SelfTimedPlayer* AVFSelfTimedVideoFormatReader::createPlayerFromPath(const char* path)
    {
        return new AVFPlayer(path);
    }

    std::shared_ptr<Pixels> AVFSelfTimedVideoFormatReader::getCustomThumbnail()
    {
        return thumbnailOf(file.getFullPath().c_str());
    }

    std::shared_ptr<Pixels> AVFSelfTimedVideoFormatReader::thumbnailOf(const char* path)
    {
        // A player of its own: the reader's may be released or playing.
        AVFPlayer player(path);
        return std::shared_ptr<Pixels>(player.generateThumbnail());
    }
}
