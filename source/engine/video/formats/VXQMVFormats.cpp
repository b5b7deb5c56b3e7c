// Installs the QMI and QMV formats as basic formats of the format registry,
// which stands below them. The engine links this file into every program that
// uses it, so each registry made registers them in their places.

#include "engine/video/formats/VXQMIVideoFormat.h"
#include "engine/video/formats/VXQMVVideoFormat.h"
#include "engine/video/formats/VXVideoFormatManager.h"

namespace vx
{
    namespace
    {
        bool installMakers()
        {
            using BasicFormat = VideoFormatManager::BasicFormat;
            VideoFormatManager::setBasicFormatMaker(BasicFormat::QMI,
                                                    [] () -> VideoFormat* { return new QMIVideoFormat(); });
            VideoFormatManager::setBasicFormatMaker(BasicFormat::QMV,
                                                    [] () -> VideoFormat* { return new QMVVideoFormat(); });
            return true;
        }

        const bool installed = installMakers();
    }
}
