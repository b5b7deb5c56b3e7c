#include "engine/video/formats/VXRecordStreams.h"

#include "core/VXBitUtils.h"
#include "core/VXInputStream.h"
#include "core/VXOutputStream.h"

#include <cstdint>

namespace vx
{
    namespace
    {
        std::uint16_t swapped(std::uint16_t v) { return static_cast<std::uint16_t>((v << 8) | (v >> 8)); }
        std::uint32_t swapped(std::uint32_t v) { return __builtin_bswap32(v); }
        std::uint64_t swapped(std::uint64_t v) { return __builtin_bswap64(v); }

        template <typename T>
        unsigned raw(OutputStream& stream, const T* values, unsigned long long count)
        {
            return static_cast<unsigned>(stream.writeBytes(values, sizeof(T) * count));
        }

        template <typename T>
        unsigned raw(InputStream& stream, T* values, unsigned long long count)
        {
            return static_cast<unsigned>(stream.readBytes(values, sizeof(T) * count));
        }

        template <typename T>
        unsigned writeInteger(OutputStream& stream, T value)
        {
            if constexpr (! isLittleEndian())
                value = swapped(value);
            return raw(stream, &value, 1);
        }

        template <typename T>
        unsigned readInteger(InputStream& stream, T& value)
        {
            if constexpr (isLittleEndian())
                return raw(stream, &value, 1);
            T read = 0;
            const unsigned count = raw(stream, &read, 1);
            value = swapped(read);
            return count;
        }

        template <typename T>
        unsigned writeIntegers(OutputStream& stream, const T* values, unsigned count)
        {
            if constexpr (isLittleEndian())
                return raw(stream, values, count);
            unsigned last = 0;
            for (unsigned i = 0; i < count; ++i)
                last = writeInteger(stream, values[i]);
            return last;
        }

        template <typename T>
        unsigned readIntegers(InputStream& stream, T* values, unsigned count)
        {
            if constexpr (isLittleEndian())
                return raw(stream, values, count);
            unsigned last = 0;
            for (unsigned i = 0; i < count; ++i)
                last = readInteger(stream, values[i]);
            return last;
        }
    }

    unsigned write_char(OutputStream& stream, char value) { return raw(stream, &value, 1); }
    unsigned read_char(InputStream& stream, char& value) { return raw(stream, &value, 1); }
    unsigned write_byte(OutputStream& stream, unsigned char value) { return raw(stream, &value, 1); }
    unsigned read_byte(InputStream& stream, unsigned char& value) { return raw(stream, &value, 1); }
    unsigned write_bool(OutputStream& stream, bool value) { return raw(stream, &value, 1); }

    unsigned read_bool(InputStream& stream, bool& value)
    {
        // Through a byte: any stored value other than 0 reads as true, never
        // as a bool holding another bit pattern.
        unsigned char byte = 0;
        const unsigned count = raw(stream, &byte, 1);
        if (count == 1)
            value = byte != 0;
        return count;
    }

    unsigned write_uint8(OutputStream& stream, unsigned char value) { return raw(stream, &value, 1); }
    unsigned read_uint8(InputStream& stream, unsigned char& value) { return raw(stream, &value, 1); }
    unsigned write_uint16(OutputStream& stream, unsigned short value) { return writeInteger<std::uint16_t>(stream, value); }

    unsigned read_uint16(InputStream& stream, unsigned short& value)
    {
        std::uint16_t v = value;
        const unsigned count = readInteger(stream, v);
        value = v;
        return count;
    }

    unsigned write_uint32(OutputStream& stream, unsigned int value) { return writeInteger<std::uint32_t>(stream, value); }

    unsigned read_uint32(InputStream& stream, unsigned int& value)
    {
        std::uint32_t v = value;
        const unsigned count = readInteger(stream, v);
        value = v;
        return count;
    }

    unsigned write_uint64(OutputStream& stream, unsigned long long value)
    {
        return writeInteger<std::uint64_t>(stream, value);
    }

    unsigned read_uint64(InputStream& stream, unsigned long long& value)
    {
        std::uint64_t v = value;
        const unsigned count = readInteger(stream, v);
        value = v;
        return count;
    }

    unsigned write_float(OutputStream& stream, float value) { return raw(stream, &value, 1); }
    unsigned read_float(InputStream& stream, float& value) { return raw(stream, &value, 1); }
    unsigned write_string(OutputStream& stream, const std::string& text) { return raw(stream, text.data(), text.size()); }

    unsigned write_n_char(OutputStream& stream, const char* values, unsigned count) { return raw(stream, values, count); }
    unsigned read_n_char(InputStream& stream, char* values, unsigned count) { return raw(stream, values, count); }

    unsigned write_n_byte(OutputStream& stream, const unsigned char* values, unsigned count)
    {
        return raw(stream, values, count);
    }

    unsigned read_n_byte(InputStream& stream, unsigned char* values, unsigned count) { return raw(stream, values, count); }
    unsigned write_n_bool(OutputStream& stream, const bool* values, unsigned count) { return raw(stream, values, count); }

    unsigned read_n_bool(InputStream& stream, bool* values, unsigned count)
    {
        unsigned last = 0;
        for (unsigned i = 0; i < count; ++i)
            last = read_bool(stream, values[i]);
        return count == 0 ? 0 : last;
    }

    unsigned write_n_uint8(OutputStream& stream, const unsigned char* values, unsigned count)
    {
        return raw(stream, values, count);
    }

    unsigned read_n_uint8(InputStream& stream, unsigned char* values, unsigned count) { return raw(stream, values, count); }

    unsigned write_n_uint16(OutputStream& stream, const unsigned short* values, unsigned count)
    {
        return writeIntegers(stream, reinterpret_cast<const std::uint16_t*>(values), count);
    }

    unsigned read_n_uint16(InputStream& stream, unsigned short* values, unsigned count)
    {
        return readIntegers(stream, reinterpret_cast<std::uint16_t*>(values), count);
    }

    unsigned write_n_uint32(OutputStream& stream, const unsigned int* values, unsigned count)
    {
        return writeIntegers(stream, reinterpret_cast<const std::uint32_t*>(values), count);
    }

    unsigned read_n_uint32(InputStream& stream, unsigned int* values, unsigned count)
    {
        return readIntegers(stream, reinterpret_cast<std::uint32_t*>(values), count);
    }

    unsigned write_n_uint64(OutputStream& stream, const unsigned long long* values, unsigned count)
    {
        return writeIntegers(stream, reinterpret_cast<const std::uint64_t*>(values), count);
    }

    unsigned read_n_uint64(InputStream& stream, unsigned long long* values, unsigned count)
    {
        return readIntegers(stream, reinterpret_cast<std::uint64_t*>(values), count);
    }

    unsigned write_n_float(OutputStream& stream, const float* values, unsigned count) { return raw(stream, values, count); }
    unsigned read_n_float(InputStream& stream, float* values, unsigned count) { return raw(stream, values, count); }

    memstream::memstream(const char* begin, const char* end) : std::istream(static_cast<std::streambuf*>(this))
    {
        char* first = const_cast<char*>(begin);
        setg(first, first, first + (end - begin));
    }

    std::streambuf::pos_type memstream::seekoff(std::streambuf::off_type offset, std::ios_base::seekdir direction,
                                                std::ios_base::openmode)
    {
        using pos_type = std::streambuf::pos_type;
        using off_type = std::streambuf::off_type;
        char* base = direction == std::ios_base::beg ? eback() : direction == std::ios_base::cur ? gptr() : egptr();
        if (offset < eback() - base || offset > egptr() - base)
            return pos_type(off_type(-1));
        char* target = base + offset;
        setg(eback(), target, egptr());
        return pos_type(target - eback());
    }

    std::streambuf::pos_type memstream::seekpos(std::streambuf::pos_type position, std::ios_base::openmode mode)
    {
        return seekoff(std::streambuf::off_type(position), std::ios_base::beg, mode);
    }
}
