#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vx
{
    // One capture device before it is opened: names, the sizes it offers and
    // what the card has. A plain value.
    class CaptureDeviceInfo
    {
    public:
        struct Resolution
        {
            uint16_t width = 0;
            uint16_t height = 0;
        };

        CaptureDeviceInfo() = default;
        CaptureDeviceInfo(const CaptureDeviceInfo&) = default;
        // Copies only between infos of one device (the same unique id): the
        // category, names, resolutions and the in-use-for-output flag; the
        // has-input and has-output flags stay. Another id leaves this unchanged.
        CaptureDeviceInfo& operator=(const CaptureDeviceInfo& other);

        std::string name;
        std::string description;
        std::string uniqueId = "CAPTURE_SRC";
        std::string category;
        std::vector<Resolution> resolutions;
        uint8_t inUseForOutput = 0;
        uint8_t hasInput = 1;
        uint8_t hasOutput = 0;
    };

    // An output card: its connections, each with the display modes it offers.
    class CaptureOutputDeviceInfo
    {
    public:
        struct Mode
        {
            std::string name;
            int index = 0;
        };
        struct Connection
        {
            std::string name;
            int index = 0;
            std::vector<Mode> modes;
        };

        std::string name;
        std::vector<Connection> connections;
    };
}
