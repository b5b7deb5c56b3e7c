#include "core/VXStringUtils.h"

#include <algorithm>
#include <cerrno>
#include <cfloat>
#include <climits>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iomanip>
#include <limits>
#include <sstream>

#include "core/VXLog.h"

namespace vx
{
    namespace
    {
        bool isDecimalDigit(char c)
        {
            return c >= '0' && c <= '9';
        }

        char asciiUpper(char c)
        {
            return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
        }

        char asciiLower(char c)
        {
            return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        }

        // Index where the trailing run of decimal digits starts (size when none).
        size_t trailingDigitsStart(const std::string& text)
        {
            size_t start = text.size();
            while (start > 0 && isDecimalDigit(text[start - 1]))
                --start;
            return start;
        }

        template <typename Item>
        std::string hexDumpItems(const Item* data, int sizeInBytes, int itemsPerLine, const char* itemFormat)
        {
            if (sizeInBytes <= 0)
                return std::string();
            if (itemsPerLine < 1)
            {
                logPrint(logError, "hexDump: items per line must be at least 1, got %i.", itemsPerLine);
                return std::string();
            }
            if (data == nullptr)
            {
                logPrint(logError, "hexDump: no data for %i bytes.", sizeInBytes);
                return std::string();
            }
            const int count = sizeInBytes / static_cast<int>(sizeof(Item));
            std::string result;
            char item[16];
            for (int i = 0; i < count; ++i)
            {
                if (i != 0 && i % itemsPerLine == 0)
                    result += "\n";
                std::snprintf(item, sizeof(item), itemFormat, static_cast<unsigned int>(data[i]));
                result += item;
                if (i != count - 1)
                    result += ", ";
            }
            return result;
        }

        std::string fixedToString(double value, int decimals)
        {
            std::ostringstream stream;
            stream << std::fixed << std::setprecision(std::max(decimals, 0)) << value;
            return stream.str();
        }
    }

    bool formatStringV(std::string& output, int bufferBytes, const char* format, va_list args)
    {
        if (format == nullptr || bufferBytes < 1)
            return false;
        char buffer[formatBufferSize];
        const int size = std::min(bufferBytes, formatBufferSize);
        if (std::vsnprintf(buffer, static_cast<size_t>(size), format, args) < 0)
            return false;
        output = buffer;
        return true;
    }

    std::string formattedString(const char* format, ...)
    {
        std::string result;
        va_list args;
        va_start(args, format);
        formatStringV(result, formatBufferSize, format, args);
        va_end(args);
        return result;
    }

    void stdPrintf(std::string& output, const char* format, ...)
    {
        if (format == nullptr || std::strlen(format) > static_cast<size_t>(formatBufferSize))
            return;
        va_list args;
        va_start(args, format);
        formatStringV(output, formatBufferSize, format, args);
        va_end(args);
    }

    std::string floatToString(float value, int decimals)
    {
        return fixedToString(value, decimals);
    }

    std::string doubleToString(double value, int decimals)
    {
        return fixedToString(value, decimals);
    }

    std::string intToString(int value)
    {
        return std::to_string(value);
    }

    std::string longToString(long value)
    {
        return std::to_string(value);
    }

    template <typename T>
    std::string toString(const T& value)
    {
        std::ostringstream stream;
        stream << std::boolalpha << value;
        return stream.str();
    }

    template std::string toString<int>(const int&);
    template std::string toString<float>(const float&);

    std::string hexDump(const unsigned char* data, int sizeInBytes, int itemsPerLine)
    {
        return hexDumpItems(data, sizeInBytes, itemsPerLine, "0x%02X");
    }

    std::string hexDump(const unsigned short* data, int sizeInBytes, int itemsPerLine)
    {
        return hexDumpItems(data, sizeInBytes, itemsPerLine, "0x%04X");
    }

    std::string hexDump(const unsigned int* data, int sizeInBytes, int itemsPerLine)
    {
        return hexDumpItems(data, sizeInBytes, itemsPerLine, "0x%08X");
    }

    void stringReplace(std::string& text, const std::string& search, const std::string& replacement)
    {
        // An empty search text would match at every position forever.
        if (search.empty())
            return;
        size_t position = text.find(search);
        while (position != std::string::npos)
        {
            text.replace(position, search.size(), replacement);
            position = text.find(search, position + replacement.size());
        }
    }

    std::string stringReplace(const std::string& text, const std::string& search, const std::string& replacement)
    {
        std::string result = text;
        stringReplace(result, search, replacement);
        return result;
    }

    void stringStripCharacters(std::string& text, const std::string& characters)
    {
        text.erase(std::remove_if(text.begin(), text.end(),
                                  [&characters](char c) { return characters.find(c) != std::string::npos; }),
                   text.end());
    }

    void stringStripInvalidFilePathCharacters(std::string& text)
    {
        stringStripCharacters(text, "\\,/:?<>|.");
    }

    void toUpper(std::string& text)
    {
        std::transform(text.begin(), text.end(), text.begin(), asciiUpper);
    }

    std::string toUpper(const std::string& text)
    {
        std::string result = text;
        toUpper(result);
        return result;
    }

    void toLower(std::string& text)
    {
        std::transform(text.begin(), text.end(), text.begin(), asciiLower);
    }

    std::string toLower(const std::string& text)
    {
        std::string result = text;
        toLower(result);
        return result;
    }

    bool stringBeginsWith(const std::string& text, const std::string& prefix, bool caseSensitive)
    {
        if (prefix.size() > text.size())
            return false;
        if (caseSensitive)
            return text.compare(0, prefix.size(), prefix) == 0;
        return toUpper(text).compare(0, prefix.size(), toUpper(prefix)) == 0;
    }

    bool stringContains(const std::string& text, const std::string& part, bool caseSensitive)
    {
        if (part.size() > text.size())
            return false;
        if (caseSensitive)
            return text.find(part) != std::string::npos;
        return toUpper(text).find(toUpper(part)) != std::string::npos;
    }

    bool lessByNumberValues(const std::string& a, const std::string& b)
    {
        const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
        std::size_t i = 0, j = 0;
        while (i < a.size() && j < b.size())
        {
            if (! isDigit(a[i]) || ! isDigit(b[j]))
            {
                if (a[i] != b[j])
                    return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
                ++i;
                ++j;
                continue;
            }
            // Two numbers: leading zeros skipped, the longer is the larger,
            // of equal lengths the first differing digit decides.
            std::size_t endA = i, endB = j;
            while (endA < a.size() && isDigit(a[endA]))
                ++endA;
            while (endB < b.size() && isDigit(b[endB]))
                ++endB;
            while (i + 1 < endA && a[i] == '0')
                ++i;
            while (j + 1 < endB && b[j] == '0')
                ++j;
            if (endA - i != endB - j)
                return endA - i < endB - j;
            const int digits = a.compare(i, endA - i, b, j, endB - j);
            if (digits != 0)
                return digits < 0;
            i = endA;
            j = endB;
        }
        // One ended first: the shorter comes first.
        if (i < a.size() || j < b.size())
            return i == a.size();
        return a < b;
    }

    int readLine(std::string& line, const std::string& text, int position)
    {
        if (position < 0 || static_cast<size_t>(position) >= text.size())
            return -1;
        line.clear();
        const size_t start = static_cast<size_t>(position);
        const size_t newline = text.find('\n', start);
        if (newline != std::string::npos)
        {
            line.assign(text, start, newline - start);
            return static_cast<int>(newline + 1);
        }
        line.assign(text, start, std::string::npos);
        return static_cast<int>(text.size());
    }

    std::string makePathNice(const std::string& path)
    {
        std::string result = path;
        std::replace(result.begin(), result.end(), '\\', '/');
        return result;
    }

    std::string getFilenameFromPath(const std::string& path)
    {
        const size_t separator = path.find_last_of("/\\");
        return separator == std::string::npos ? path : path.substr(separator + 1);
    }

    std::string getFilenameWithoutExt(const std::string& name)
    {
        const size_t dot = name.find('.');
        return dot == std::string::npos ? name : name.substr(0, dot);
    }

    std::string getFileExt(const std::string& name)
    {
        const size_t dot = name.rfind('.');
        return dot == std::string::npos ? name : name.substr(dot + 1);
    }

    int getTrailingIntValue(const std::string& text)
    {
        // Unsigned arithmetic: a run too long for 32 bits wraps instead of
        // overflowing.
        unsigned int value = 0;
        unsigned int factor = 1;
        for (size_t i = text.size(); i > 0 && isDecimalDigit(text[i - 1]); --i)
        {
            value += static_cast<unsigned int>(text[i - 1] - '0') * factor;
            factor *= 10u;
        }
        return static_cast<int>(value);
    }

    std::string removeTrailingIntValue(const std::string& text)
    {
        return text.substr(0, trailingDigitsStart(text));
    }

    std::string getCopyNameIncremental(const std::vector<std::string>& existingNames, const std::string& proposedName)
    {
        if (proposedName.empty())
        {
            logEscapedError("getCopyNameIncremental", __LINE__, "New Name cannot be empty.");
            return std::string();
        }
        if (! isDecimalDigit(proposedName.back()))
            return getCopyNameIncremental(existingNames, proposedName + " 2");

        const size_t digitsStart = trailingDigitsStart(proposedName);
        const std::string base = proposedName.substr(0, digitsStart);
        // Names in use carry short numbers; digits beyond 17 are dropped so a
        // long run cannot overflow.
        unsigned long long number = 0;
        for (size_t i = digitsStart; i < proposedName.size(); ++i)
        {
            if (number < 10000000000000000ull)
                number = number * 10 + static_cast<unsigned long long>(proposedName[i] - '0');
        }

        for (;; ++number)
        {
            std::string candidate = base + std::to_string(number);
            if (std::find(existingNames.begin(), existingNames.end(), candidate) == existingNames.end())
                return candidate;
        }
    }

    unsigned long long hashFromString(const std::string& text)
    {
        std::uint32_t hash = 0;
        for (char c : text)
        {
            if (c == '\0')
                break;
            const std::uint32_t widened =
                static_cast<std::uint32_t>(static_cast<std::int32_t>(static_cast<signed char>(c)));
            hash = widened + hash * 65599u;
        }
        return hash;
    }

    float stringToFloat(const char* text)
    {
        if (text == nullptr)
            return 0.0f;
        // Narrowing a double beyond the float range is undefined: saturate to infinity.
        const double value = std::atof(text);
        if (value > FLT_MAX)
            return std::numeric_limits<float>::infinity();
        if (value < -FLT_MAX)
            return -std::numeric_limits<float>::infinity();
        return static_cast<float>(value);
    }

    int stringToInt(const char* text)
    {
        if (text == nullptr)
            return 0;
        const long value = std::strtol(text, nullptr, 10);
        return static_cast<int>(std::clamp<long>(value, INT_MIN, INT_MAX));
    }

    unsigned int stringToUnsignedInt(const char* text)
    {
        if (text == nullptr)
            return 0;
        return static_cast<unsigned int>(std::strtoul(text, nullptr, 10));
    }
}
