#pragma once

#include "core/VXCurrentInstance.h"

#include <memory>
#include <string>

namespace vx
{
    class File;
    class Pixels;

    // The seam through which image parameters load files: the engine root
    // names its video-format manager here while that manager exists. Null
    // when there is none (no root, or a root without the manager).
    class PixelsLoader : public CurrentInstance<PixelsLoader>
    {
    public:
        enum LoadResult
        {
            // Nothing reads the file as pixels; nothing was decoded.
            loadNoReader = 0,
            // A reader took the file but delivered no frame.
            loadNoFrame = 1,
            loadDone = 2
        };

        virtual ~PixelsLoader() = default;

        // Decodes the file's first frame into pixels, naming the codec the
        // reader reports; pixels and codecName are set only on loadDone.
        virtual LoadResult loadPixels(const File& file, std::shared_ptr<Pixels>& pixels, std::string& codecName) = 0;
    };
}
