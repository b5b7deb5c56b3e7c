#include "engine/video/codecs/VXDXTPixelsCompressor.h"

#include <cstring>
#include <new>

#include "engine/gfx/VXTexture.h"
#include "engine/video/codecs/VXDXTCompression.h"
#include "engine/video/codecs/VXQMVFrame.h"
#include "engine/video/formats/VXPixels.h"

namespace vx
{
    bool DXTPixelsCompressor::compress(const Pixels* pixels, CompressedPixels& out)
    {
        if (pixels == nullptr || pixels->data == nullptr || pixels->width <= 0 || pixels->height <= 0)
            return false;
        const int w = pixels->width, h = pixels->height;
        int frameSize = 0;
        if (pixels->isCompressed())
        {
            const int type = pixels->format == Texture::DXT5_RGBA ? qmv::typeDXT5 : qmv::typeDXT1;
            const int blockBytes = type == qmv::typeDXT5 ? 16 : 8;
            const int size = qmv::getCompressedSize(w, h, type);
            // The frame's blocks are rows of nd16(w) / 4; a tightly packed DXT
            // image has rows of its own block count and is laid out anew.
            const long columns = (w + 3) / 4, rows = (h + 3) / 4;
            const unsigned char* blocks = pixels->data;
            if (pixels->getDataSize() != size)
            {
                if (size == 0 || pixels->getDataSize() != columns * rows * blockBytes)
                    return false;
                paddedBlocks.assign(size_t(size), 0);
                const size_t rowBytes = size_t(columns) * blockBytes;
                const size_t paddedRowBytes = size_t(qmv::nd16(w) / 4) * blockBytes;
                for (long row = 0; row < rows; ++row)
                    std::memcpy(&paddedBlocks[size_t(row) * paddedRowBytes], pixels->data + size_t(row) * rowBytes,
                                rowBytes);
                blocks = paddedBlocks.data();
            }
            unsigned char* work = resizeWorkBuffer(size_t(size) + qmv::headerSize);
            if (work == nullptr)
                return false;
            frameSize = qmv::compressFrameLosslessStep(work, blocks, unsigned(size), type, -1);
        }
        else
        {
            if (pixels->bytesPerPixel != 4 || pixels->format != Texture::RGBA8)
                return false;
            const int size = qmv::getCompressedSize(w, h, qmv::typeDXT1);
            unsigned char* work = size == 0 ? nullptr : resizeWorkBuffer(size_t(size) + qmv::headerSize);
            if (work == nullptr)
                return false;
            frameSize = qmv::compressFrame(work, pixels->data, unsigned(pixels->stride), w, h, qmv::typeDXT1,
                                           qmv::getNumCores(), -1, false, nullptr);
        }
        if (frameSize < 1 || ! store(*pixels, getWorkBuffer(), frameSize, out))
            return false;
        out.paddedWidth = qmv::nd16(w);
        out.paddedHeight = qmv::nd16(h);
        return true;
    }

    Pixels* DXTPixelsCompressor::decompress(const CompressedPixels& in)
    {
        if (in.data == nullptr || in.size < qmv::oldHeaderSize || in.width <= 0 || in.height <= 0 ||
            in.bytesPerPixel <= 0 || in.width > 0x7FF0 || in.height > 0x7FF0)
            return nullptr;
        if (! qmv::isOldHeader(in.data) && in.size < qmv::headerSize)
            return nullptr;
        const qmv::QMVHeader header = qmv::getFrameHeader(in.data);
        const int type = qmv::fourccToQMVType(header.fourcc, header.version);
        if (type != qmv::typeDXT1 && type != qmv::typeDXT5)
            return nullptr;
        const int w16 = qmv::nd16(in.width), h16 = qmv::nd16(in.height);
        if ((in.paddedWidth != 0 && in.paddedWidth != w16) || (in.paddedHeight != 0 && in.paddedHeight != h16))
            return nullptr;
        const int size = qmv::getCompressedSize(w16, h16, type);
        if (size == 0)
            return nullptr;
        auto* image = new (std::nothrow) Pixels(w16, h16, in.bytesPerPixel, long(size));
        if (image == nullptr || image->data == nullptr ||
            ! qmv::decompressFrame(image->data, in.data, unsigned(in.size), in.width, in.height,
                                   type == qmv::typeDXT1 ? 3 : 4, size))
        {
            delete image;
            return nullptr;
        }
        image->format = type == qmv::typeDXT1 ? Texture::DXT1_RGBA : Texture::DXT5_RGBA;
        return image;
    }
}
