#include "engine/video/formats/VXImagePNGFormatWriter.h"

#include "core/VXLog.h"
#include "engine/video/formats/VXImageUtils.h"
#include "engine/video/formats/VXPixels.h"

#include <cstdio>

namespace vx
{
    ImagePNGFormatWriter::ImagePNGFormatWriter(File& target, float framesPerSecond, unsigned depth, unsigned w,
                                               unsigned h, VideoCodecSettings& settings)
        : VideoFormatWriter(target, "PNG", framesPerSecond, depth, w, h, settings),
          directory(target.getParentDirectory().getChildFile(target.getFilenameWithoutExtension()))
    {
        flip = true;
        ready = directory.existsAsDirectory() || File(directory.getFullPath() + "/").createDirectory();
        if (! ready)
            logPrint(logError, "ImagePNGFormatWriter: cannot make the folder %s", directory.getFullPath().c_str());
    }

    ImagePNGFormatWriter::~ImagePNGFormatWriter() = default;

    bool ImagePNGFormatWriter::write(std::shared_ptr<Pixels> pixels)
    {
        if (! ready || pixels == nullptr || pixels->data == nullptr)
            return false;
        char name[32];
        std::snprintf(name, sizeof(name), "sequence_%010u.png", counter);
        const File file(directory.getFullPath() + "/" + name);
        if (! ImageUtils::writeToPng(file, pixels->width, pixels->height, pixels->bytesPerPixel, pixels->data,
                                     pixels->stride))
            return false;
        ++counter;
        return true;
    }
}
