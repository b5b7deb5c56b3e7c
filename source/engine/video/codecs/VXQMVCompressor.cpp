#include "engine/video/codecs/VXQMVCompressor.h"

#include <climits>
#include <cstring>

#include "core/VXLog.h"
#include "core/VXSystem.h"
#include "engine/gfx/VXTexture.h"
#include "engine/video/codecs/VXDXTCompression.h"
#include "engine/video/codecs/VXLZ4PixelsCompressor.h"
#include "engine/video/codecs/VXUVAPixelsCompressor.h"

namespace vx
{
    namespace
    {
        void writeU32(unsigned char* p, std::uint32_t v)
        {
            for (int i = 0; i < 4; ++i)
                p[i] = static_cast<unsigned char>(v >> (8 * i));
        }
    }

    QMVCompressor::QMVCompressor(VideoCodecSettings& streamSettings, qmv::QMVType frameType)
        : Compressor(streamSettings), type(frameType), session(qmv::beginCompressionPersistent())
    {
        switch (type)
        {
            case qmv::typeUVMap:
                streamSettings.bytesPerPixel = 8;
                streamSettings.textureFormat = &Texture::RGBA16I;
                break;
            case qmv::typeMask:
                streamSettings.bytesPerPixel = 2;
                streamSettings.textureFormat = &Texture::I16I;
                break;
            default: streamSettings.bytesPerPixel = 4; break;
        }
    }

    QMVCompressor::~QMVCompressor() { qmv::endCompressionPersistent(&session); }

    int QMVCompressor::getSafeBufferSize() { return qmv::getCompressedSize(settings.width, settings.height, type) + 12; }

    void QMVCompressor::flush()
    {
        qmv::endCompressionPersistent(&session);
        totalBytes = 0.0;
        frameCount = 0;
    }

    int QMVCompressor::compressFrame(unsigned char* src, unsigned char* dst, int srcStride)
    {
        if (src == nullptr || dst == nullptr || srcStride < 0)
            return 0;
        if (type != qmv::typeUVMap && type != qmv::typeMask)
        {
            const int threads = multiThreading ? int(System::getNumParallelThreads()) : 1;
            return qmv::compressFrame(dst, src, unsigned(srcStride), settings.width, settings.height, type, threads,
                                      -1, swizzleSource, multiThreading ? session : nullptr);
        }

        const int payload = compressPlanes(src, dst, srcStride);
        if (payload <= 0)
            return 0;
        totalBytes += payload;
        ++frameCount;
        const double megabytes = totalBytes / 1024.0 / 1024.0;
        debugPrint("Total frames:%d", frameCount);
        debugPrint("Total mb:%.4f", megabytes);
        debugPrint("Average size per frame, mb:%.4f", megabytes / frameCount);
        return payload + qmv::headerSize;
    }

    int QMVCompressor::compressPlanes(const unsigned char* src, unsigned char* dst, int srcStride)
    {
        const int w = settings.width, h = settings.height;
        const int pixelBytes = type == qmv::typeUVMap ? 8 : 2;
        const int size = qmv::getCompressedSize(w, h, type);
        const int rowBytes = w * pixelBytes;
        if (size == 0 || srcStride < rowBytes)
            return 0;

        // The coders read tightly packed, aligned rows.
        const bool packed = srcStride == rowBytes && reinterpret_cast<std::uintptr_t>(src) % 2 == 0;
        if (! packed)
        {
            packedRows.resize(size_t(size) / 2);
            for (int y = 0; y < h; ++y)
                std::memcpy(reinterpret_cast<unsigned char*>(packedRows.data()) + size_t(y) * rowBytes,
                            src + size_t(y) * srcStride, size_t(rowBytes));
            src = reinterpret_cast<const unsigned char*>(packedRows.data());
        }

        int payload = 0;
        if (type == qmv::typeUVMap)
        {
            if (uvCompressor.get() == nullptr)
                uvCompressor.reset(new UVAPixelsCompressor());
            payload = int(uvCompressor->compress(dst + qmv::headerSize, unsigned(size), src, unsigned(size), unsigned(w),
                                                 unsigned(h)));
        }
        else
        {
            payload = LZ4PixelsCompressor::compress(reinterpret_cast<const char*>(src),
                                                    reinterpret_cast<char*>(dst + qmv::headerSize), size, size);
        }
        if (payload <= 0)
            return 0;
        writeU32(dst, qmv::QMVTypeToFourcc(type));
        dst[4] = 4;
        dst[5] = 0;
        dst[6] = 0;
        dst[7] = 0;
        writeU32(dst + 8, std::uint32_t(payload));
        return payload;
    }
}
