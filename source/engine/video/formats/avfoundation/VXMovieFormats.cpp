// Installs the movie and composition formats as the registry's first and
// fifth basic formats. The engine links this file into every program that
// uses it.

#include "engine/video/formats/VXAVFVideoFormat.h"
#include "engine/video/formats/VXQuartzComposerVideoFormat.h"
#include "engine/video/formats/VXVideoFormatManager.h"

namespace vx
{
    namespace
    {
        const bool installed =
            (VideoFormatManager::setBasicFormatMaker(VideoFormatManager::BasicFormat::AVF,
                                                     []() -> VideoFormat* { return new AVFVideoFormat(); }),
             VideoFormatManager::setBasicFormatMaker(VideoFormatManager::BasicFormat::QuartzComposer,
                                                     []() -> VideoFormat* { return new QuartzComposerVideoFormat(); }),
             true);
    }
}
