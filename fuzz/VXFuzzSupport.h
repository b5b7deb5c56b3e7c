// What the fuzz targets share: a scratch folder made once per process, the
// input written to a file there, a read of every byte a decoder hands out (so
// a short buffer shows under the address sanitizer), and the input as an XML
// element.

#pragma once

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "core/xml/VXXmlUtils.h"

#include <unistd.h>

namespace vx::fuzz
{
    // A new folder under /tmp named after tag; the process stops if none can be made.
    inline std::string makeScratchFolder(const char* tag)
    {
        std::string pattern = std::string("/tmp/vx-") + tag + "-fuzz-XXXXXX";
        const char* made = mkdtemp(pattern.data());
        if (made == nullptr)
            std::abort();
        return made;
    }

    inline void writeInput(const std::string& path, const std::uint8_t* data, std::size_t size)
    {
        std::ofstream(path, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }

    inline void touch(const unsigned char* bytes, std::uint64_t size)
    {
        unsigned sum = 0;
        for (std::uint64_t i = 0; i < size; ++i)
            sum += bytes[i];
        (void)sum;
    }

    // The input parsed as XML; null unless it has a first element.
    inline std::unique_ptr<XmlDocument> parseElement(const std::uint8_t* data, std::size_t size)
    {
        auto document = XmlUtils::loadXmlFromString(std::string(reinterpret_cast<const char*>(data), size), true);
        if (document == nullptr || document->first_node() == nullptr)
            return nullptr;
        return document;
    }
}
