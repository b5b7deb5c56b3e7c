// Arbitrary bytes as a GIF file: the image must compose every frame inside
// its canvas or refuse the file, and the reader must open, play every frame
// and hand it out, never reading or writing out of bounds.

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "VXFuzzSupport.h"
#include "core/VXFile.h"
#include "engine/video/formats/VXGIFImage.h"
#include "engine/video/formats/VXGIFVideoFormatReader.h"
#include "engine/video/formats/VXPixels.h"

namespace
{
    const std::string& path()
    {
        static const std::string file = vx::fuzz::makeScratchFolder("gif") + "/input.gif";
        return file;
    }

    using vx::fuzz::touch;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    vx::fuzz::writeInput(path(), data, size);
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
