#include "engine/video/codecs/VXDummyPixelsCompressor.h"

#include <algorithm>
#include <cstring>

#include "engine/video/formats/VXPixels.h"

namespace vx
{
    bool DummyPixelsCompressor::compress(const Pixels* pixels, CompressedPixels& out)
    {
        if (pixels == nullptr || pixels->data == nullptr)
            return false;
        return store(*pixels, pixels->data, pixels->getDataSize(), out);
    }

    Pixels* DummyPixelsCompressor::decompress(const CompressedPixels& in)
    {
        Pixels* image = makeImage(in);
        if (image != nullptr && in.data != nullptr && in.size > 0)
            std::memcpy(image->data, in.data, size_t(std::min<long>(in.size, image->getDataSize())));
        return image;
    }
}
