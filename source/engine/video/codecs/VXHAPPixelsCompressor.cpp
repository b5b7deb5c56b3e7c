#include "engine/video/codecs/VXHAPPixelsCompressor.h"

#include <new>

#include "core/VXTaskGroup.h"
#include "core/VXTaskManager.h"
#include "engine/gfx/VXTexture.h"
#include "engine/video/codecs/VXHap.h"
#include "engine/video/formats/VXPixels.h"

namespace vx
{
    namespace
    {
        // Chunks as threaded tasks, the calling thread helping until all ran;
        // in order here without a task manager.
        void runChunks(HapChunkFunction function, void* chunks, unsigned count, void*)
        {
            TaskManager* manager = TaskManager::getCurrent();
            if (manager == nullptr || count < 2)
            {
                for (unsigned i = 0; i < count; ++i)
                    function(chunks, i);
                return;
            }
            TaskGroup group;
            UncollapseSettings settings;
            settings.waitForCompletion = true;
            group.setUncollapseSettings(settings);
            for (unsigned i = 0; i < count; ++i)
                group.addSubTask(manager->constructTask(TaskThreadMode::Threaded, 0,
                                                        [function, chunks, i]() { function(chunks, i); }, false));
            group.executeGroup();
        }
    }

    HAPPixelsCompressor::HAPPixelsCompressor() : PixelsCompressor(HAP) { inputPixelsOrder = 1; }

    bool HAPPixelsCompressor::compress(const Pixels* pixels, CompressedPixels& out)
    {
        if (pixels == nullptr || pixels->data == nullptr || pixels->getDataSize() <= 0 ||
            (pixels->format != Texture::DXT1_RGB && pixels->format != Texture::DXT1_RGBA))
            return false;
        const unsigned long size = unsigned(pixels->getDataSize());
        const unsigned long bound = HapMaxEncodedLength(size);
        unsigned char* work = resizeWorkBuffer(bound);
        if (work == nullptr)
            return false;
        unsigned long used = 0;
        if (HapEncode(pixels->data, size, hapFormatDXT1, hapCompressorSnappy, work, bound, &used) != hapNoError ||
            used == 0)
            return false;
        return store(*pixels, work, long(used), out);
    }

    Pixels* HAPPixelsCompressor::decompress(const CompressedPixels& in)
    {
        unsigned format = 0;
        if (in.data == nullptr || in.size <= 0 || in.width <= 0 || in.height <= 0 || in.bytesPerPixel <= 0 ||
            HapGetFrameTextureFormat(in.data, unsigned(in.size), &format) != hapNoError ||
            (format != hapFormatDXT1 && format != hapFormatDXT5))
            return nullptr;
        const long long blocks = (long long)((in.width + 3) / 4) * ((in.height + 3) / 4);
        const long long size = blocks * (format == hapFormatDXT5 ? 16 : 8);
        if (size > 0x7FFFFFFF)
            return nullptr;
        auto* image = new (std::nothrow) Pixels(in.width, in.height, in.bytesPerPixel, long(size));
        unsigned long used = 0;
        if (image == nullptr || image->data == nullptr ||
            HapDecode(in.data, unsigned(in.size), runChunks, nullptr, image->data, unsigned(size), &used, &format) !=
                hapNoError ||
            used != unsigned(size))
        {
            delete image;
            return nullptr;
        }
        image->format = format == hapFormatDXT5 ? Texture::DXT5_RGBA : Texture::DXT1_RGBA;
        return image;
    }
}
