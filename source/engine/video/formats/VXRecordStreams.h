#pragma once

#include <istream>
#include <streambuf>
#include <string>

namespace vx
{
    class InputStream;
    class OutputStream;

    // Values on positioned byte streams in little-endian order, whatever the
    // host: the building blocks of the engine's own containers. Every function
    // answers the stream's byte count of its (last) transfer and never throws;
    // a short read leaves the target partly written, so callers that need
    // completeness compare the count themselves.
    //
    // char, byte, bool, uint8 and float go as they lie in memory (a float is
    // its IEEE-754 bytes); 16-, 32- and 64-bit integers least significant byte
    // first. A string is its characters only (no length, no terminator): a
    // reader reads a known count with read_n_char.
    unsigned write_char(OutputStream& stream, char value);
    unsigned read_char(InputStream& stream, char& value);
    unsigned write_byte(OutputStream& stream, unsigned char value);
    unsigned read_byte(InputStream& stream, unsigned char& value);
    unsigned write_bool(OutputStream& stream, bool value);
    unsigned read_bool(InputStream& stream, bool& value);
    unsigned write_uint8(OutputStream& stream, unsigned char value);
    unsigned read_uint8(InputStream& stream, unsigned char& value);
    unsigned write_uint16(OutputStream& stream, unsigned short value);
    unsigned read_uint16(InputStream& stream, unsigned short& value);
    unsigned write_uint32(OutputStream& stream, unsigned int value);
    unsigned read_uint32(InputStream& stream, unsigned int& value);
    unsigned write_uint64(OutputStream& stream, unsigned long long value);
    unsigned read_uint64(InputStream& stream, unsigned long long& value);
    unsigned write_float(OutputStream& stream, float value);
    unsigned read_float(InputStream& stream, float& value);
    unsigned write_string(OutputStream& stream, const std::string& text);

    // Arrays: one transfer of count values (per element on big-endian hosts
    // for the wider integers, answering the last element's count).
    unsigned write_n_char(OutputStream& stream, const char* values, unsigned count);
    unsigned read_n_char(InputStream& stream, char* values, unsigned count);
    unsigned write_n_byte(OutputStream& stream, const unsigned char* values, unsigned count);
    unsigned read_n_byte(InputStream& stream, unsigned char* values, unsigned count);
    unsigned write_n_bool(OutputStream& stream, const bool* values, unsigned count);
    unsigned read_n_bool(InputStream& stream, bool* values, unsigned count);
    unsigned write_n_uint8(OutputStream& stream, const unsigned char* values, unsigned count);
    unsigned read_n_uint8(InputStream& stream, unsigned char* values, unsigned count);
    unsigned write_n_uint16(OutputStream& stream, const unsigned short* values, unsigned count);
    unsigned read_n_uint16(InputStream& stream, unsigned short* values, unsigned count);
    unsigned write_n_uint32(OutputStream& stream, const unsigned int* values, unsigned count);
    unsigned read_n_uint32(InputStream& stream, unsigned int* values, unsigned count);
    unsigned write_n_uint64(OutputStream& stream, const unsigned long long* values, unsigned count);
    unsigned read_n_uint64(InputStream& stream, unsigned long long* values, unsigned count);
    unsigned write_n_float(OutputStream& stream, const float* values, unsigned count);
    unsigned read_n_float(InputStream& stream, float* values, unsigned count);

    // A read-only std::istream over [begin, end) of caller memory, which must
    // outlive the stream; nothing is copied. Seeking stays inside the range.
    class memstream : private std::streambuf, public std::istream
    {
    public:
        memstream(const char* begin, const char* end);
        memstream(const memstream&) = delete;
        memstream& operator=(const memstream&) = delete;

    protected:
        std::streambuf::pos_type seekoff(std::streambuf::off_type offset, std::ios_base::seekdir direction,
                                         std::ios_base::openmode mode) override;
        std::streambuf::pos_type seekpos(std::streambuf::pos_type position, std::ios_base::openmode mode) override;
    };
}
