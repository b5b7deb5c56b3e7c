// Arbitrary bytes as a GIF file: the image must compose every frame inside
// its canvas or refuse the file, and the reader must open, play every frame
// and hand it out, never reading or writing out of bounds.

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include <unistd.h>

#include "core/VXFile.h"
#include "engine/video/formats/VXGIFImage.h"
#include "engine/video/formats/VXGIFVideoFormatReader.h"
#include "engine/video/formats/VXPixels.h"

namespace
{
    const std::string& path()
    {
        static const std::string file = []
        {
            char pattern[] = "/tmp/vx-gif-fuzz-XXXXXX";
            const char* made = mkdtemp(pattern);
            if (made == nullptr)
                std::abort();
            return std::string(made) + "/input.gif";
        }();
        return file;
    }

    void touch(const unsigned char* bytes, std::uint64_t size)
    {
        unsigned sum = 0;
        for (std::uint64_t i = 0; i < size; ++i)
            sum += bytes[i];
        (void)sum;
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::ofstream(path(), std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(data),
                                                                    static_cast<std::streamsize>(size));
    vx::GIFVideoFormatReader reader{vx::File(path())};
    if (! reader.isOpened())
        return 0;
    const unsigned frames = reader.getTotalFrames();
    // Canvases of many megabytes add nothing small ones miss.
    if (static_cast<std::uint64_t>(reader.getTextureWidth()) * reader.getTextureHeight() > (4u << 20))
        return 0;
    const double step = reader.getMsecPerFrame();
    for (unsigned i = 0; i < frames && i < 64; ++i)
    {
        reader.readFrame(i * step);
        std::shared_ptr<vx::Pixels> pixels;
        if (reader.updatePixels(pixels) && pixels != nullptr)
        {
            if (pixels->width != reader.getTextureWidth() || pixels->height != reader.getTextureHeight())
                std::abort();
            touch(pixels->data, static_cast<std::uint64_t>(pixels->dataSize));
        }
    }
    reader.init(0, 0);
    return 0;
}
