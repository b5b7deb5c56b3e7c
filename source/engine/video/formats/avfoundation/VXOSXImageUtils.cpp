#include "engine/video/formats/avfoundation/VXOSXImageUtils.h"

#include "engine/video/formats/VXPixels.h"
#include "engine/video/formats/avfoundation/VXCoreMedia.h"

#include <vector>

namespace vx::OSXImageUtils
{
    Pixels* NSImageToPixels(const av::NSImage* image)
    {
        if (image == nullptr || image->image == nullptr)
            return nullptr;
        const av::CGImage& bitmap = *image->image;
        const std::size_t count = static_cast<std::size_t>(bitmap.width) * static_cast<std::size_t>(bitmap.height);
        if (bitmap.width <= 0 || bitmap.height <= 0 || bitmap.rgba.size() < count * 4)
            return nullptr;
        // Drawn with blend mode copy into a premultiplied-last context.
        std::vector<unsigned char> buffer(count * 4);
        for (std::size_t i = 0; i < count; ++i)
        {
            const unsigned char* from = &bitmap.rgba[i * 4];
            unsigned char* to = &buffer[i * 4];
            const unsigned alpha = from[3];
            for (int c = 0; c < 3; ++c)
                to[c] = static_cast<unsigned char>((from[c] * alpha + 127) / 255);
            to[3] = static_cast<unsigned char>(alpha);
        }
        auto* pixels = new Pixels(bitmap.width, bitmap.height, 4, buffer.data());
        if (pixels->data == nullptr)
        {
            delete pixels;
            return nullptr;
        }
        return pixels;
    }
}
