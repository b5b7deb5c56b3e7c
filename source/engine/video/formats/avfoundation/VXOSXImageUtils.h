#pragma once

namespace vx
{
    class Pixels;
    namespace av
    {
        struct NSImage;
    }

    namespace OSXImageUtils
    {
        // A new caller-owned 4-byte image, premultiplied RGBA, first row the
        // top of the picture; null for a missing or empty image.
        Pixels* NSImageToPixels(const av::NSImage* image);
    }
}
