#pragma once

#include <cstdint>
#include <istream>
#include <ostream>

namespace vx
{
    // A four-character codec code held as one 32-bit value, the first
    // character in the most significant byte; 0 stands for any codec.
    // Compared by its code; streamed as an unsigned decimal number.
    class CodecFourCC
    {
    public:
        constexpr CodecFourCC() = default;
        constexpr explicit CodecFourCC(std::uint32_t fourCC) : code(fourCC) {}

        constexpr std::uint32_t getCode() const { return code; }

        friend constexpr bool operator==(const CodecFourCC& a, const CodecFourCC& b) { return a.code == b.code; }

        friend std::ostream& operator<<(std::ostream& stream, const CodecFourCC& fourCC)
        {
            return stream << fourCC.code;
        }

        // A failure leaves the stream's fail state (and the code as the
        // unsigned extraction left it).
        friend std::istream& operator>>(std::istream& stream, CodecFourCC& fourCC) { return stream >> fourCC.code; }

    private:
        std::uint32_t code = 0;
    };
}
