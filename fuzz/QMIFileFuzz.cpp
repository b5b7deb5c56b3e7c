// Arbitrary bytes as a QMI image: the reader opens it or refuses it, and an
// image it opens is read whole and decoded into its buffer, never reading or
// writing out of bounds.

#include <cstdint>
#include <string>

#include "VXFuzzSupport.h"
#include "core/VXFile.h"
#include "engine/video/codecs/VXQMVDecompressor.h"
#include "engine/video/codecs/VXQMVFrame.h"
#include "engine/video/formats/VXQMIVideoFormatReader.h"

namespace
{
    const std::string& path()
    {
        static const std::string file = vx::fuzz::makeScratchFolder("qmi") + "/input.qmi";
        return file;
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    vx::fuzz::writeInput(path(), data, size);
    vx::QMIVideoFormatReader reader{vx::File(path())};
    if (! reader.isOpened())
        return 0;
    if (static_cast<std::uint64_t>(reader.getTextureWidth()) * reader.getTextureHeight() > (4u << 20))
        return 0;
    if (! reader.init(0, 0) || ! reader.readFrame(0.0))
        return 0;
    const int bytes = qmv::getCompressedSize(reader.getTextureWidth(), reader.getTextureHeight(),
                                             reader.getDecompressor()->getType());
    vx::fuzz::touch(reader.getDecompressedBuffer(), static_cast<std::uint64_t>(bytes));
    reader.release();
    return 0;
}
