#pragma once

#include <string>

namespace vx
{
    class SourceExtension;

    // The size of source thumbnails, VideoSource::THUMBNAIL_WIDTH and
    // THUMBNAIL_HEIGHT: here, below the render passes, for the generators
    // that draw their own.
    constexpr int sourceThumbnailWidth = 160;
    constexpr int sourceThumbnailHeight = 120;

    // Who a source is: the four strings of the extension that offers its
    // kind.
    struct SourceInfo
    {
        std::string name;
        std::string description;
        std::string uniqueId;
        std::string categoryName;

        // The extension with this unique id from the current source
        // directory; null while there is none or it does not know the id.
        SourceExtension* getExtension() const;
    };
}
