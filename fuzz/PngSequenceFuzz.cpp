// Arbitrary bytes as a PNG sequence: the input is split at each "|NEXT|"
// into up to four files, read as one sequence, and every frame is prepared
// and decoded. A file that does not decode, or decodes to another layout
// than the first, must fail its frame without writing past it.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "VXFuzzSupport.h"
#include "core/VXFile.h"
#include "engine/video/formats/VXPNGImageFormatReader.h"

namespace
{
    const std::string& folder()
    {
        static const std::string path = vx::fuzz::makeScratchFolder("png-sequence");
        return path;
    }

    std::vector<std::string> split(const std::string& bytes)
    {
        static const std::string marker = "|NEXT|";
        std::vector<std::string> parts;
        std::size_t start = 0;
        while (parts.size() < 3)
        {
            const std::size_t at = bytes.find(marker, start);
            if (at == std::string::npos)
                break;
            parts.push_back(bytes.substr(start, at - start));
            start = at + marker.size();
        }
        parts.push_back(bytes.substr(start));
        return parts;
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::vector<std::string> parts = split(std::string(reinterpret_cast<const char*>(data), size));
    std::vector<vx::File> files;
    for (std::size_t i = 0; i < parts.size(); ++i)
    {
        const std::string path = folder() + "/f" + std::to_string(i) + ".png";
        std::ofstream(path, std::ios::binary | std::ios::trunc) << parts[i];
        files.emplace_back(path);
    }

    vx::PNGImageFormatReader reader(files.front());
    if (! reader.isOpened())
        return 0;
    for (std::size_t i = 1; i < files.size(); ++i)
        reader.addFile(files[i], false);

    const std::size_t frameSize = reader.getFrameSize();
    if (frameSize == 0 || frameSize > (64u << 20))
        return 0;
    int count = static_cast<int>(reader.getTotalFrames());
    reader.prepareFrames(0, count, nullptr);
    // A guard byte after the frame shows any write past it.
    std::vector<unsigned char> frame(frameSize + 1, 0xA5);
    for (int i = 0; i <= count; ++i)
    {
        unsigned char* target = frame.data();
        reader.decompressPreparedFrame(i, &target);
        if (frame[frameSize] != 0xA5)
            std::abort();
    }
    return 0;
}
