#include "engine/video/codecs/VXHap.h"

#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

#include <snappy-c.h>

namespace vx
{
    namespace
    {
        constexpr unsigned int stageStored = 0xA;
        constexpr unsigned int stageSnappy = 0xB;
        constexpr unsigned int stageChunked = 0xC;

        constexpr unsigned int sectionDecodeInstructions = 0x01;
        constexpr unsigned int sectionChunkStages = 0x02;
        constexpr unsigned int sectionChunkSizes = 0x03;
        constexpr unsigned int sectionChunkOffsets = 0x04;

        constexpr unsigned long longHeaderAbove = 0xFFFFFF;

        unsigned long readU32(const std::uint8_t* p)
        {
            return p[0] | (unsigned long)(p[1]) << 8 | (unsigned long)(p[2]) << 16 | (unsigned long)(p[3]) << 24;
        }

        // The texture format of a top section's type; 0 for none this decoder reads.
        unsigned int formatOfType(unsigned int type)
        {
            switch (type & 0x0F)
            {
                case 0xB: return hapFormatDXT1;
                case 0xE: return hapFormatDXT5;
                case 0xF: return hapFormatYCoCgDXT5;
                default: return 0;
            }
        }

        int nibbleOfFormat(unsigned int format)
        {
            switch (format)
            {
                case hapFormatDXT1: return 0xB;
                case hapFormatDXT5: return 0xE;
                case hapFormatYCoCgDXT5: return 0xF;
                default: return -1;
            }
        }

        void runInOrder(HapChunkFunction function, void* chunks, unsigned int count, void*)
        {
            for (unsigned int i = 0; i < count; ++i)
                function(chunks, i);
        }

        // The decoded size of a snappy stream: 3 when it is not one, 4 for other
        // failures.
        unsigned int snappyLength(const char* packed, unsigned long packedBytes, unsigned long& length)
        {
            size_t n = 0;
            const snappy_status status = snappy_uncompressed_length(packed, packedBytes, &n);
            if (status == SNAPPY_INVALID_INPUT)
                return hapBadFrame;
            if (status != SNAPPY_OK)
                return hapInternalError;
            length = n;
            return hapNoError;
        }

        // The tables of a decode-instructions section.
        struct Instructions
        {
            const std::uint8_t* stages = nullptr;
            const std::uint8_t* sizes = nullptr;
            const std::uint8_t* offsets = nullptr;
            unsigned long count = 0;
        };

        unsigned int readInstructions(const std::uint8_t* at, unsigned long bytes, Instructions& out)
        {
            bool counted = false;
            while (bytes > 0)
            {
                unsigned int headerLength, type;
                unsigned long length;
                const unsigned int result = hap_read_section_header(at, bytes, &headerLength, &length, &type);
                if (result != hapNoError)
                    return result;
                const std::uint8_t* content = at + headerLength;
                unsigned long count = length;
                bool table = true;
                switch (type)
                {
                    case sectionChunkStages: out.stages = content; break;
                    case sectionChunkSizes:
                        out.sizes = content;
                        count = length / 4;
                        break;
                    case sectionChunkOffsets:
                        out.offsets = content;
                        count = length / 4;
                        break;
                    default: table = false; break;
                }
                if (table)
                {
                    if (type != sectionChunkStages && length % 4 != 0)
                        return hapBadFrame;
                    if (counted && count != out.count)
                        return hapBadFrame;
                    out.count = count;
                    counted = true;
                }
                at += headerLength + length;
                bytes -= headerLength + length;
            }
            return out.stages != nullptr && out.sizes != nullptr ? hapNoError : hapBadFrame;
        }

        unsigned int decodeChunked(const std::uint8_t* content, unsigned long contentBytes, HapChunkRunner runner,
                                   void* info, char* output, unsigned long outputBytes, unsigned long& used)
        {
            unsigned int headerLength, type;
            unsigned long length;
            unsigned int result = hap_read_section_header(content, contentBytes, &headerLength, &length, &type);
            if (result != hapNoError)
                return result;
            if (type != sectionDecodeInstructions || length == 0)
                return hapBadFrame;
            Instructions instructions;
            result = readInstructions(content + headerLength, length, instructions);
            if (result != hapNoError)
                return result;

            const std::uint8_t* data = content + headerLength + length;
            const unsigned long dataBytes = contentBytes - headerLength - length;
            const unsigned long count = instructions.count;
            used = 0;
            if (count == 0)
                return hapNoError;

            std::vector<HapChunk> chunks;
            try
            {
                chunks.resize(count);
            }
            catch (const std::bad_alloc&)
            {
                return hapInternalError;
            }
            unsigned long running = 0, total = 0;
            for (unsigned long i = 0; i < count; ++i)
            {
                HapChunk& chunk = chunks[i];
                chunk.kind = instructions.stages[i];
                chunk.packedBytes = readU32(instructions.sizes + 4 * i);
                const unsigned long offset = instructions.offsets != nullptr ? readU32(instructions.offsets + 4 * i)
                                                                             : running;
                if (offset > dataBytes || chunk.packedBytes > dataBytes - offset)
                    return hapBadFrame;
                running = offset + chunk.packedBytes;
                chunk.packed = reinterpret_cast<const char*>(data + offset);
                if (chunk.kind == stageSnappy)
                {
                    result = snappyLength(chunk.packed, chunk.packedBytes, chunk.decodedBytes);
                    if (result != hapNoError)
                        return result;
                }
                else
                    chunk.decodedBytes = chunk.packedBytes;
                if (chunk.decodedBytes > outputBytes - total)
                    return hapBufferTooSmall;
                chunk.output = output + total;
                total += chunk.decodedBytes;
            }

            (runner != nullptr ? runner : runInOrder)(hap_decode_chunk, chunks.data(), unsigned(count), info);
            for (const HapChunk& chunk : chunks)
                if (chunk.result != hapNoError)
                    return chunk.result;
            used = total;
            return hapNoError;
        }
    }

    unsigned long HapMaxEncodedLength(unsigned long inputBytes)
    {
        const unsigned long bound = snappy_max_compressed_length(inputBytes);
        return (bound > inputBytes ? bound : inputBytes) + 8;
    }

    unsigned int HapEncode(const void* input, unsigned long inputBytes, unsigned int textureFormat,
                           unsigned int compressor, void* output, unsigned long outputBytes,
                           unsigned long* outputBytesUsed)
    {
        const int formatNibble = nibbleOfFormat(textureFormat);
        if (input == nullptr || inputBytes == 0 || formatNibble < 0 || compressor > hapCompressorSnappy)
            return hapBadArguments;
        const unsigned int headerLength = inputBytes > longHeaderAbove ? 8 : 4;
        const unsigned long bound =
            compressor == hapCompressorSnappy ? snappy_max_compressed_length(inputBytes) : inputBytes;
        if (output == nullptr)
            return hapBufferTooSmall;
        const unsigned long needed = bound > inputBytes ? bound : inputBytes;
        if (outputBytes < headerLength || needed > outputBytes - headerLength)
            return hapBufferTooSmall;

        auto* out = static_cast<std::uint8_t*>(output);
        unsigned int stage = stageStored;
        unsigned long length = inputBytes;
        if (compressor == hapCompressorSnappy)
        {
            size_t packed = outputBytes - headerLength;
            if (snappy_compress(static_cast<const char*>(input), inputBytes, reinterpret_cast<char*>(out + headerLength),
                                &packed) != SNAPPY_OK)
                return hapInternalError;
            if (packed != 0 && packed < inputBytes)
            {
                stage = stageSnappy;
                length = packed;
            }
        }
        if (stage == stageStored)
            std::memcpy(out + headerLength, input, inputBytes);

        const auto type = static_cast<std::uint8_t>(stage << 4 | unsigned(formatNibble));
        if (headerLength == 8)
        {
            out[0] = out[1] = out[2] = 0;
            out[3] = type;
            for (int i = 0; i < 4; ++i)
                out[4 + i] = static_cast<std::uint8_t>(length >> (8 * i));
        }
        else
        {
            for (int i = 0; i < 3; ++i)
                out[i] = static_cast<std::uint8_t>(length >> (8 * i));
            out[3] = type;
        }
        if (outputBytesUsed != nullptr)
            *outputBytesUsed = length + headerLength;
        return hapNoError;
    }

    unsigned int hap_read_section_header(const void* buffer, unsigned long bufferBytes, unsigned int* headerLength,
                                         unsigned long* sectionLength, unsigned int* sectionType)
    {
        const auto* in = static_cast<const std::uint8_t*>(buffer);
        if (in == nullptr || bufferBytes < 4)
            return hapBadFrame;
        unsigned long length = in[0] | (unsigned long)(in[1]) << 8 | (unsigned long)(in[2]) << 16;
        unsigned int header = 4;
        if (length == 0)
        {
            if (bufferBytes < 8)
                return hapBadFrame;
            length = readU32(in + 4);
            header = 8;
        }
        if (length > bufferBytes - header)
            return hapBadFrame;
        *headerLength = header;
        *sectionLength = length;
        *sectionType = in[3];
        return hapNoError;
    }

    void hap_decode_chunk(void* chunks, unsigned int index)
    {
        HapChunk& chunk = static_cast<HapChunk*>(chunks)[index];
        if (chunk.kind == stageStored)
        {
            std::memcpy(chunk.output, chunk.packed, chunk.packedBytes);
            chunk.result = hapNoError;
        }
        else if (chunk.kind == stageSnappy)
        {
            size_t length = chunk.decodedBytes;
            const snappy_status status = snappy_uncompress(chunk.packed, chunk.packedBytes, chunk.output, &length);
            if (status == SNAPPY_OK)
                chunk.result = hapNoError;
            else
                chunk.result = status == SNAPPY_INVALID_INPUT ? hapBadFrame : hapInternalError;
        }
        else
            chunk.result = hapBadFrame;
    }

    unsigned int HapDecode(const void* input, unsigned long inputBytes, HapChunkRunner runner, void* info,
                           void* output, unsigned long outputBytes, unsigned long* outputBytesUsed,
                           unsigned int* outputTextureFormat)
    {
        if (input == nullptr || output == nullptr || outputTextureFormat == nullptr)
            return hapBadArguments;
        unsigned int headerLength, type;
        unsigned long length;
        unsigned int result = hap_read_section_header(input, inputBytes, &headerLength, &length, &type);
        if (result != hapNoError)
            return result;
        *outputTextureFormat = formatOfType(type);
        if (*outputTextureFormat == 0)
            return hapBadFrame;

        const char* content = static_cast<const char*>(input) + headerLength;
        char* out = static_cast<char*>(output);
        unsigned long used = 0;
        switch (type >> 4)
        {
            case stageStored:
                if (length > outputBytes)
                    return hapBufferTooSmall;
                std::memcpy(out, content, length);
                used = length;
                break;
            case stageSnappy:
            {
                // Either snappy failure of an unchunked frame is an internal error.
                if (snappyLength(content, length, used) != hapNoError)
                    return hapInternalError;
                if (used > outputBytes)
                    return hapBufferTooSmall;
                size_t written = used;
                if (snappy_uncompress(content, length, out, &written) != SNAPPY_OK)
                    return hapInternalError;
                used = written;
                break;
            }
            case stageChunked:
                result = decodeChunked(reinterpret_cast<const std::uint8_t*>(content), length, runner, info, out,
                                       outputBytes, used);
                if (result != hapNoError)
                    return result;
                break;
            default: return hapBadFrame;
        }
        if (outputBytesUsed != nullptr)
            *outputBytesUsed = used;
        return hapNoError;
    }

    unsigned int HapGetFrameTextureFormat(const void* input, unsigned long inputBytes, unsigned int* format)
    {
        if (input == nullptr || format == nullptr)
            return hapBadArguments;
        unsigned int headerLength, type;
        unsigned long length;
        const unsigned int result = hap_read_section_header(input, inputBytes, &headerLength, &length, &type);
        if (result != hapNoError)
            return result;
        *format = formatOfType(type);
        return *format == 0 ? hapBadFrame : hapNoError;
    }
}
