// Arbitrary bytes as a QMV movie: the records must refuse a damaged
// container before allocating for it, and every frame of one they accept
// goes through the reader's checks and decoding, never reading or writing
// out of bounds.

#include <cstdint>
#include <string>

#include "VXFuzzSupport.h"
#include "core/VXFile.h"
#include "engine/video/formats/VXQMVVideoFormatReader.h"

namespace
{
    const std::string& path()
    {
        static const std::string file = vx::fuzz::makeScratchFolder("qmv") + "/input.qmv";
        return file;
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    vx::fuzz::writeInput(path(), data, size);
    vx::QMVVideoFormatReader reader{vx::File(path())};
    if (! reader.isOpened())
        return 0;
    // Frames of many megapixels add nothing small ones miss.
    if (static_cast<std::uint64_t>(reader.getTextureWidth()) * reader.getTextureHeight() > (4u << 20))
        return 0;
    const unsigned frames = reader.getTotalFrames();
    for (unsigned i = 0; i < frames && i < 64; ++i)
        if (reader.decodeFrame(i))
            vx::fuzz::touch(reader.getDecodedFrame(), reader.getDecodedSize());
    return 0;
}
