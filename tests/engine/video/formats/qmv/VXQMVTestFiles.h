#pragma once

// What the QMV and QMI suites share: seeded pictures, the codec settings of a
// frame type, movies written through the real writer, the block data a frame
// decodes to by the codec alone, and little-endian reads of file bytes.

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/VXFile.h"
#include "core/VXTaskManager.h"
#include "core/parameters/VXParamChoice.h"
#include "engine/video/codecs/VXQMVFrame.h"
#include "engine/video/codecs/VXVideoCodecInfoQMV.h"
#include "engine/video/codecs/VXVideoCodecSettings.h"
#include "engine/video/formats/VXPixels.h"
#include "engine/video/formats/VXQMVVideoFormatWriter.h"

namespace vx::test::qmvfiles
{
    using Bytes = std::vector<std::uint8_t>;

    // A task manager named current while it lives.
    class ScopedTaskManager
    {
    public:
        explicit ScopedTaskManager(unsigned char threads) : manager(threads) { TaskManager::setCurrent(&manager); }
        ~ScopedTaskManager() { TaskManager::setCurrent(nullptr); }
        TaskManager manager;
    };

    inline std::uint16_t u16At(const std::string& bytes, std::size_t at)
    {
        return std::uint16_t(std::uint8_t(bytes[at]) | std::uint8_t(bytes[at + 1]) << 8);
    }

    inline std::uint32_t u32At(const std::string& bytes, std::size_t at)
    {
        return std::uint32_t(u16At(bytes, at)) | std::uint32_t(u16At(bytes, at + 2)) << 16;
    }

    inline float f32At(const std::string& bytes, std::size_t at)
    {
        const std::uint32_t bits = u32At(bytes, at);
        float value;
        std::memcpy(&value, &bits, 4);
        return value;
    }

    inline void putU32(std::string& bytes, std::size_t at, std::uint32_t value)
    {
        for (int i = 0; i < 4; ++i)
            bytes[at + i] = char(value >> (8 * i));
    }

    // A w x h RGBA8 picture: a gradient with a block whose place and colour
    // follow seed, and an alpha ramp; pictures of different seeds differ.
    inline std::shared_ptr<Pixels> makePicture(int w, int h, unsigned seed)
    {
        auto pixels = std::make_shared<Pixels>(w, h, 4, nullptr);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
            {
                std::uint8_t* p = pixels->data + (std::size_t(y) * w + x) * 4;
                const bool block = (x / 8 + y / 8) % 5 == int(seed % 5);
                p[0] = std::uint8_t(x * 255 / (w > 1 ? w - 1 : 1));
                p[1] = std::uint8_t(block ? 40 * seed + 30 : y * 255 / (h > 1 ? h - 1 : 1));
                p[2] = std::uint8_t(block ? 200 - 17 * seed : 128);
                p[3] = std::uint8_t(255 - (x + y + seed) % 97);
            }
        return pixels;
    }

    // The QMV codec with one frame type chosen, and settings made from it.
    struct Codec
    {
        Codec(int type, int w, int h, double fps = 25.0)
        {
            info.getFormatType()->setValue(type, ValueChangeInfo());
            settings = VideoCodecSettings(w, h, fps, &info);
        }
        VideoCodecInfoQMV info;
        VideoCodecSettings settings;
    };

    // The block data frame decodes to through the frame codec alone.
    inline Bytes decodeFrame(const std::uint8_t* frame, std::size_t size, int w, int h)
    {
        const qmv::QMVHeader header = qmv::getFrameHeader(frame);
        const int type = qmv::fourccToQMVType(header.fourcc, header.version);
        Bytes blocks(std::size_t(qmv::getCompressedSize(w, h, type)));
        if (! qmv::decompressFrame(blocks.data(), frame, size, qmv::nd16(w), qmv::nd16(h), -1, int(blocks.size())))
            return {};
        return blocks;
    }

    // The frame the writer makes of picture (one thread, no swizzle).
    inline Bytes compressPicture(const Pixels& picture, int type)
    {
        Bytes frame(std::size_t(qmv::getCompressedSize(picture.width, picture.height, type) + qmv::headerSize));
        const int size = qmv::compressFrame(frame.data(), picture.data, std::size_t(picture.stride), picture.width,
                                            picture.height, type, 1, -1, false, nullptr);
        frame.resize(std::size_t(size));
        return frame;
    }

    // The block data a picture comes back as after the codec.
    inline Bytes expectedBlocks(const Pixels& picture, int type)
    {
        const Bytes frame = compressPicture(picture, type);
        return decodeFrame(frame.data(), frame.size(), picture.width, picture.height);
    }

    // Records pictures 0 .. count - 1 (makePicture) through the writer;
    // frameCount 0 records through the temporary file. Answers endRecording's result.
    inline bool writeMovie(const std::string& path, int w, int h, int type, unsigned count, unsigned frameCount,
                           double fps = 25.0)
    {
        Codec codec(type, w, h, fps);
        File file(path);
        QMVVideoFormatWriter writer(file, float(fps), unsigned(codec.settings.bytesPerPixel), unsigned(w),
                                    unsigned(h), codec.settings, frameCount);
        if (! writer.isReady())
            return false;
        for (unsigned i = 0; i < count; ++i)
            if (! writer.write(makePicture(w, h, i)))
                return false;
        return writer.endRecording();
    }
}
