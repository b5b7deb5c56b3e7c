// Arbitrary bytes as a TIFF file: the image classes must answer a buffer of
// exactly the size they report or nothing, and the reader must open, read
// and hand out its frame, never reading or writing out of bounds.

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "VXFuzzSupport.h"
#include "core/VXFile.h"
#include "engine/video/formats/VXPixels.h"
#include "engine/video/formats/VXTIFFImage.h"
#include "engine/video/formats/VXTIFFImageFormatReader.h"

namespace
{
    const std::string& path()
    {
        static const std::string file = vx::fuzz::makeScratchFolder("tiff") + "/input.tif";
        return file;
    }

    using vx::fuzz::touch;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    vx::fuzz::writeInput(path(), data, size);
    {
        std::unique_ptr<vx::TIFFImageBase> image(vx::TIFFImageFormat::load(path().c_str()));
        if (image == nullptr || ! image->isValid())
            return 0;
        unsigned bytes = 0;
        unsigned char* decoded = image->decompressToBytes(&bytes);
        if (decoded != nullptr)
        {
            if (bytes != static_cast<std::uint64_t>(image->getWidth()) * image->getHeight() * image->getBytesPerPixel())
                std::abort();
            touch(decoded, bytes);
            delete[] decoded;
            unsigned char* bgra = image->to32bitARGB();
            if (bgra != nullptr)
                touch(bgra, static_cast<std::uint64_t>(image->getWidth()) * image->getHeight() * 4);
            std::free(bgra);
        }
    }

    vx::TIFFImageFormatReader reader{vx::File(path())};
    if (! reader.isOpened())
        return 0;
    reader.readFrame(0.0);
    std::shared_ptr<vx::Pixels> pixels;
    if (reader.updatePixels(pixels) && pixels != nullptr)
        touch(pixels->data, static_cast<std::uint64_t>(pixels->dataSize));
    return 0;
}
