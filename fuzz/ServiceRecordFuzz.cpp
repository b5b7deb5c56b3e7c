// Arbitrary bytes as the data of an SRV record a listed service's watch
// reports: read into a port and a target host or refused, never past the
// data's end; a target read back is made of the data's labels.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "engine/network/VXZeroConfigBrowser.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::uint16_t port = 7;
    std::string host = "kept";
    if (! vx::ZeroConfigBrowser::readServiceRecord(data, size, port, host))
    {
        if (port != 7 || host != "kept")
            std::abort();
        return 0;
    }
    if (host.empty() || host.back() != '.' || host.size() + 7 > size || port != ((data[4] << 8) | data[5]))
        std::abort();
    return 0;
}
