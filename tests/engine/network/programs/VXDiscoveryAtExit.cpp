// A program that browses and announces, gives up two browses of its own,
// says "ready" on its output and then ends as a program does: its objects
// first, then what lives as long as the process.
// The network suite times its end against a frozen mDNS daemon.
//
//   vx_discovery_at_exit <service type> <port>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/network/VXZeroConfigBrowser.h"
#include "engine/network/VXZeroConfigRegistration.h"

int main(int argc, char** argv)
{
    if (argc != 3)
    {
        std::fprintf(stderr, "usage: %s <service type> <port>\n", argv[0]);
        return 2;
    }
    const std::string type = argv[1];
    const auto port = std::uint16_t(std::atoi(argv[2]));
    {
        vx::ZeroConfigBrowser browser;
        browser.browseForService(type);
        vx::ZeroConfigRegistration own("VX At Exit", type, port);
        // Each given up while its opening waits (a registration's wait
        // would hold this program 5 s more).
        for (int i = 0; i < 2; ++i)
        {
            vx::ZeroConfigBrowser givenUp;
            givenUp.browseForService(type);
        }
        std::printf("ready\n");
        std::fflush(stdout);
    }
    return 0;
}
