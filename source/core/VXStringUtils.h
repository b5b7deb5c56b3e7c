#pragma once

#include <cstdarg>
#include <string>
#include <vector>

// Formatting, string editing, path and name helpers, text-to-number
// conversion. Everything works on the caller's strings or stack and may be
// called from any thread.

namespace vx
{
    // Expansions are composed in a buffer of this many bytes (NUL included);
    // longer results are cut to fit.
    constexpr int formatBufferSize = 4096;

    // ---- Formatting

    std::string formattedString(const char* format, ...) __attribute__((format(printf, 1, 2)));
    // Expands into output; leaves output untouched when the format itself is
    // longer than the working buffer.
    void stdPrintf(std::string& output, const char* format, ...) __attribute__((format(printf, 2, 3)));
    // The expansion of a va_list, cut to fit bufferBytes (at most
    // formatBufferSize, NUL included) and assigned to output. Answers false,
    // output untouched, for a null format or a failed expansion.
    bool formatStringV(std::string& output, int bufferBytes, const char* format, va_list args)
        __attribute__((format(printf, 3, 0)));

    // Fixed notation with exactly `decimals` digits after the point.
    std::string floatToString(float value, int decimals);
    std::string doubleToString(double value, int decimals);
    std::string intToString(int value);
    std::string longToString(long value);
    // Default stream formatting with boolalpha; defined for int and float.
    template <typename T>
    std::string toString(const T& value);

    // Listing "0x01, 0x02, ..." with a newline after every itemsPerLine items.
    // sizeInBytes is the array's size in bytes for all three forms; trailing
    // bytes short of a whole item are ignored. itemsPerLine below 1 or a null
    // array with a positive size is refused: logged, empty result.
    std::string hexDump(const unsigned char* data, int sizeInBytes, int itemsPerLine);
    std::string hexDump(const unsigned short* data, int sizeInBytes, int itemsPerLine);
    std::string hexDump(const unsigned int* data, int sizeInBytes, int itemsPerLine);

    // ---- Editing (in place, or on a copy for the const overloads)

    // Replaces every occurrence; inserted text is not searched again. An
    // empty search text leaves the text unchanged.
    void stringReplace(std::string& text, const std::string& search, const std::string& replacement);
    std::string stringReplace(const std::string& text, const std::string& search, const std::string& replacement);

    // Removes every occurrence of each character of `characters`.
    void stringStripCharacters(std::string& text, const std::string& characters);
    // Removes \ , / : ? < > | and full stops.
    void stringStripInvalidFilePathCharacters(std::string& text);

    // ASCII letters only.
    void toUpper(std::string& text);
    std::string toUpper(const std::string& text);
    void toLower(std::string& text);
    std::string toLower(const std::string& text);

    // Case-insensitive forms compare upper-cased copies. An empty prefix or
    // part always matches.
    bool stringBeginsWith(const std::string& text, const std::string& prefix, bool caseSensitive = true);
    bool stringContains(const std::string& text, const std::string& part, bool caseSensitive = true);

    // Orders texts byte by byte, except that runs of decimal digits met at the
    // same place are compared by their values, of any length: "frame_2" comes
    // before "frame_10", and texts whose numbers are all zero-padded to one
    // width keep their byte order. Texts equal in every value ("01", "1")
    // fall back to byte order, so this is a strict weak ordering for sorting.
    bool lessByNumberValues(const std::string& a, const std::string& b);

    // Reads the line starting at position into `line` (newline excluded) and
    // answers the position after it, or -1 (line untouched) when position is
    // at or past the end, or negative. Loop while the answer is not -1.
    int readLine(std::string& line, const std::string& text, int position);

    // ---- Paths and names

    // Backslashes become "/".
    std::string makePathNice(const std::string& path);
    // Text after the last "/" or backslash; the whole path when it has neither.
    std::string getFilenameFromPath(const std::string& path);
    // Text before the FIRST "."; the whole text when it has none.
    std::string getFilenameWithoutExt(const std::string& name);
    // Text after the LAST "."; the whole text when it has none.
    std::string getFileExt(const std::string& name);

    // Value of the trailing run of decimal digits ("Layer 12" gives 12), 0
    // when there is none; wraps modulo 2^32 for runs too long for an int.
    int getTrailingIntValue(const std::string& text);
    // The text without its trailing digits ("Layer 12" gives "Layer ").
    std::string removeTrailingIntValue(const std::string& text);

    // A name for a copy, made unique against existingNames by the number at
    // its end ("Clip" gives "Clip 2", "Clip 7" gives "Clip 7" or the next free
    // number). An empty proposal is logged and answers "".
    std::string getCopyNameIncremental(const std::vector<std::string>& existingNames, const std::string& proposedName);

    // h = c + h * 65599 over the text up to its first NUL, characters taken as
    // signed bytes, modulo 2^32; the upper 32 bits of the answer are 0.
    unsigned long long hashFromString(const std::string& text);

    // ---- Text to numbers: longest numeric prefix after leading white space,
    // 0 when there is none or for a null text; no error is reported.

    float stringToFloat(const char* text);
    // Values beyond the int range are clamped to it.
    int stringToInt(const char* text);
    unsigned int stringToUnsignedInt(const char* text);
}
