#include "engine/video/codecs/VXDXTR.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace
{
    using Byte = std::uint8_t;

    constexpr std::uint32_t colourPrime = 0x9E3779B1u;
    constexpr std::uint32_t indexPrime = 0x85EBCA77u;

    // The work area: u32 byte positions of earlier blocks, all tables in one
    // array in this order. A two-slot bucket shares its second slot with the
    // next bucket, so the last bucket of a table reaches one slot into the next
    // table (and the index table's into the alpha table): harmless, as every
    // table holds block positions and every hit is verified byte for byte.
    constexpr std::size_t workspaceBytes = 0x110020;
    constexpr std::size_t workspaceSlots = workspaceBytes / 4;
    constexpr std::size_t blockTableAt = 0;
    constexpr std::size_t colourTableAt = std::size_t(1) << 17;
    constexpr std::size_t indexTableAt = colourTableAt + 65536;
    constexpr std::size_t alphaTableAt = indexTableAt + 65536;
    static_assert(alphaTableAt + 16384 <= workspaceSlots);

    // How many blocks ahead the encoder asks for the buckets it will probe.
    constexpr std::uint32_t prefetchDistance = 8;

    // Farthest reference in blocks (code 3: 258 + a u16).
    constexpr std::uint32_t maxDistanceBlocks = 65793;

    std::uint32_t load32(const Byte* p)
    {
        return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
    }

    void store32(Byte* p, std::uint32_t v)
    {
        p[0] = Byte(v);
        p[1] = Byte(v >> 8);
        p[2] = Byte(v >> 16);
        p[3] = Byte(v >> 24);
    }

    void store16(Byte* p, std::uint32_t v)
    {
        p[0] = Byte(v);
        p[1] = Byte(v >> 8);
    }

    bool equal8(const Byte* a, const Byte* b) { return std::memcmp(a, b, 8) == 0; }
    bool equal16(const Byte* a, const Byte* b) { return std::memcmp(a, b, 16) == 0; }

    //==============================================================================
    // Encoder

    class Encoder
    {
    public:
        Encoder(std::uint32_t* tables, const Byte* source, Byte* destination)
            : slots(tables), src(source), op(destination)
        {
        }

        // Appends a 2-bit code. The first code of a word reserves the word's
        // slot here, before the bytes that belong to that code.
        void code(std::uint32_t value)
        {
            if (state == 0)
            {
                slot = op;
                op += 4;
                state = value << 30 | 0x20000000u;
                return;
            }
            const bool full = (state & 3) != 0;
            state = std::uint32_t(((std::uint64_t(value) << 32) | state) >> 2);
            if (full)
            {
                store32(slot, state);
                state = 0;
            }
        }

        // Shifts an open word down until its marker bit has left it and stores it.
        void finish()
        {
            if (state == 0)
                return;
            for (;;)
            {
                const bool last = (state & 3) != 0;
                state >>= 2;
                if (last)
                    break;
            }
            store32(slot, state);
            state = 0;
        }

        // A count of the run and repeat codes: one byte below 255, else 255
        // and u16 values, each 65535 but the last, adding up to the rest.
        void count(std::uint32_t value)
        {
            if (value < 255)
            {
                *op++ = Byte(value);
                return;
            }
            *op++ = 255;
            std::uint32_t rest = value - 255;
            while (rest >= 65535)
            {
                store16(op, 65535);
                op += 2;
                rest -= 65535;
            }
            store16(op, rest);
            op += 2;
        }

        void literal(const Byte* bytes, std::size_t size)
        {
            std::memcpy(op, bytes, size);
            op += size;
        }

        void alphaReference(std::uint32_t distanceBlocks)
        {
            store16(op, distanceBlocks - 2);
            op += 2;
        }

        // One DXT colour half (a colour word and an index word) at byte offset
        // `half` in the block at position p, blocks being 1 << blockShift bytes.
        template <unsigned blockShift>
        void colourHalf(std::uint32_t p, std::uint32_t half)
        {
            constexpr std::uint32_t blockBytes = 1u << blockShift;
            constexpr std::uint32_t limit = maxDistanceBlocks * blockBytes + 1;
            const Byte* here = src + p + half;
            const std::uint32_t c = load32(here);
            const std::uint32_t i = load32(here + 4);

            std::uint32_t* blockTable = slots + blockTableAt;
            std::uint32_t* colourTable = slots + colourTableAt;
            std::uint32_t* indexTable = slots + indexTableAt;
            const std::uint32_t h = (c * colourPrime + i * indexPrime) >> 15;
            const std::uint32_t kc = (c * colourPrime) >> 16;
            const std::uint32_t ki = (i * indexPrime) >> 16;

            const std::uint32_t blockDistance =
                probe(blockTable, h, p, limit, [&](std::uint32_t q) { return equal8(src + q + half, here); });
            const std::uint32_t colourDistance =
                probe(colourTable, kc, p, limit, [&](std::uint32_t q) { return load32(src + q + half) == c; });
            const std::uint32_t indexDistance =
                probe(indexTable, ki, p, limit, [&](std::uint32_t q) { return load32(src + q + half + 4) == i; });
            blockTable[h] = p;
            colourTable[kc] = p;
            indexTable[ki] = p;

            if (blockDistance != 0)
            {
                reference<blockShift>(blockDistance);
                return;
            }
            code(0);
            if (colourDistance != 0)
                reference<blockShift>(colourDistance);
            else
            {
                code(0);
                literal(here, 4);
            }
            if (indexDistance != 0)
                reference<blockShift>(indexDistance);
            else
            {
                code(0);
                literal(here + 4, 4);
            }
        }

        // Asks for the table buckets that the colour half at byte `at` will
        // probe, some blocks before it gets there: the probes are what the
        // encoder waits for. A hint only; nothing is read or written.
        // (Inlined by force: left out of line, the compiler drops it as a call
        // without effects.)
        [[gnu::always_inline]] void prefetchColourHalf(std::uint32_t at) const
        {
            const std::uint32_t c = load32(src + at);
            const std::uint32_t i = load32(src + at + 4);
            __builtin_prefetch(slots + blockTableAt + ((c * colourPrime + i * indexPrime) >> 15));
            __builtin_prefetch(slots + colourTableAt + ((c * colourPrime) >> 16));
            __builtin_prefetch(slots + indexTableAt + ((i * indexPrime) >> 16));
        }

        std::uint32_t* slots;
        const Byte* src;
        Byte* op;

    private:
        // Tries slot k, then (when it holds an older position) slot k + 1,
        // which then takes slot k's position. Answers the byte distance of a
        // verified match within the limit, or 0.
        template <typename Matches>
        static std::uint32_t probe(std::uint32_t* table, std::uint32_t k, std::uint32_t p, std::uint32_t limit,
                                   Matches matches)
        {
            // Both conditions of the first slot at once: one branch fewer to
            // mispredict (its position is always an earlier block).
            const std::uint32_t first = table[k];
            if ((p - first < limit) & matches(first))
                return p - first;
            const std::uint32_t second = table[k + 1];
            if (second < first)
            {
                table[k + 1] = first;
                if (p - second < limit && matches(second))
                    return p - second;
            }
            return 0;
        }

        template <unsigned blockShift>
        void reference(std::uint32_t byteDistance)
        {
            constexpr std::uint32_t blockBytes = 1u << blockShift;
            const std::uint32_t blocks = byteDistance >> blockShift;
            if (byteDistance < 2 * blockBytes)
                code(1);
            else if (byteDistance < 258 * blockBytes)
            {
                code(2);
                *op++ = Byte(blocks - 2);
            }
            else
            {
                code(3);
                store16(op, blocks - 258);
                op += 2;
            }
        }

        Byte* slot = nullptr;
        std::uint32_t state = 0;
    };

    // Shared checks and set-up of both encoders; null when they must answer 0.
    std::uint32_t* prepare(void* workspace, const void* src, unsigned srcSize, void* dst, unsigned dstCapacity,
                           unsigned blockBytes)
    {
        if (workspace == nullptr || src == nullptr || dst == nullptr || srcSize == 0 || srcSize % blockBytes != 0)
            return nullptr;
        const unsigned bound = DXTR_compressBound(srcSize);
        if (bound == UINT_MAX || dstCapacity < bound)
            return nullptr;
        auto* tables = static_cast<std::uint32_t*>(workspace);
        std::memset(tables, 0, workspaceBytes);
        return tables;
    }

    unsigned result(const Encoder& encoder, const void* dst, unsigned srcSize)
    {
        const std::size_t written = std::size_t(encoder.op - static_cast<const Byte*>(dst));
        return written < srcSize ? unsigned(written) : 0;
    }

    //==============================================================================
    // Decoder

    // Blocks and halves move as raw 64-bit words: one load and one store each,
    // so a later read of a block just written is served whole.
    std::uint64_t loadRaw64(const Byte* p)
    {
        std::uint64_t v;
        std::memcpy(&v, p, 8);
        return v;
    }

    void storeRaw64(Byte* p, std::uint64_t v) { std::memcpy(p, &v, 8); }

    std::uint32_t loadRaw32(const Byte* p)
    {
        std::uint32_t v;
        std::memcpy(&v, p, 4);
        return v;
    }

    // The 8 bytes of `first` followed by those of `second`.
    std::uint64_t joinRaw(std::uint32_t first, std::uint32_t second)
    {
        if constexpr (std::endian::native == std::endian::little)
            return std::uint64_t(first) | std::uint64_t(second) << 32;
        Byte bytes[8];
        std::memcpy(bytes, &first, 4);
        std::memcpy(bytes + 4, &second, 4);
        return loadRaw64(bytes);
    }

    // The stream position, every read bounded by its end, and the open code
    // word. A plain local of the decoding loop, so that it lives in registers.
    struct Reader
    {
        const Byte* ip;
        const Byte* end;
        std::uint32_t state; // 2: no code word open

        [[gnu::always_inline]] bool code(std::uint32_t& value)
        {
            if (state == 2)
            {
                if (end - ip < 4)
                    return false;
                const std::uint32_t w = load32(ip);
                ip += 4;
                value = w & 3;
                state = (w >> 2) | 0x80000000u;
                return true;
            }
            value = state & 3;
            state >>= 2;
            return true;
        }

        // As code, for when at least 4 bytes are left: the next word is read
        // whether it is needed or not, and taken without a branch.
        [[gnu::always_inline]] std::uint32_t fastCode()
        {
            const std::uint32_t w = load32(ip);
            const bool empty = state == 2;
            const std::uint32_t source = empty ? w : state;
            ip += empty ? 4 : 0;
            state = (source >> 2) | (empty ? 0x80000000u : 0u);
            return source & 3;
        }

        // The next n bytes, or false when the stream ends first.
        [[gnu::always_inline]] bool take(std::ptrdiff_t n, const Byte*& bytes)
        {
            if (end - ip < n)
                return false;
            bytes = ip;
            ip += n;
            return true;
        }

        // The block distance of a reference code (1..3).
        [[gnu::always_inline]] bool distance(std::uint32_t codeValue, std::size_t& blocks)
        {
            const Byte* p = nullptr;
            if (codeValue == 1)
                blocks = 1;
            else if (codeValue == 2)
            {
                if (! take(1, p))
                    return false;
                blocks = std::size_t(p[0]) + 2;
            }
            else
            {
                if (! take(2, p))
                    return false;
                blocks = (std::size_t(p[0]) | std::size_t(p[1]) << 8) + 258;
            }
            return true;
        }

        // A run or repeat count: a byte, or 255 followed by u16 values while they are 65535.
        bool count(std::uint64_t& value)
        {
            const Byte* p = nullptr;
            if (! take(1, p))
                return false;
            value = p[0];
            if (value < 255)
                return true;
            for (;;)
            {
                if (! take(2, p))
                    return false;
                const std::uint32_t part = std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8;
                value += part;
                if (part != 65535)
                    return true;
            }
        }
    };

    // The colour half of block `block` (blocks of blockBytes, the half at
    // halfAt within them); references reach only blocks already written.
    [[gnu::always_inline]] inline bool decodeColourHalf(Reader& reader, const Byte* out, std::size_t block,
                                                        std::size_t blockBytes, std::size_t halfAt,
                                                        std::uint64_t& half)
    {
        std::uint32_t code = 0;
        std::size_t blocks = 0;
        if (! reader.code(code))
            return false;
        if (code != 0)
        {
            if (! reader.distance(code, blocks) || blocks > block)
                return false;
            half = loadRaw64(out + (block - blocks) * blockBytes + halfAt);
            return true;
        }
        std::uint32_t words[2];
        for (std::size_t w = 0; w < 2; ++w)
        {
            if (! reader.code(code))
                return false;
            if (code != 0)
            {
                if (! reader.distance(code, blocks) || blocks > block)
                    return false;
                words[w] = loadRaw32(out + (block - blocks) * blockBytes + halfAt + 4 * w);
            }
            else
            {
                const Byte* literal = nullptr;
                if (! reader.take(4, literal))
                    return false;
                words[w] = loadRaw32(literal);
            }
        }
        half = joinRaw(words[0], words[1]);
        return true;
    }

    // Per reference code (index 0: a literal word): bytes after the code, and
    // the distance as (u16 at the read position AND mask) + offset.
    constexpr std::uint8_t codeBytes[4] = {4, 0, 1, 2};
    constexpr std::uint32_t distanceMask[4] = {0, 0, 255, 65535};
    constexpr std::uint32_t distanceOffset[4] = {0, 1, 2, 258};

    // Enough stream left for anything one block can read: a code word, two
    // literal words and the u16 read ahead of a distance.
    constexpr std::ptrdiff_t fastMargin = 16;

    // The colour half as decodeColourHalf, for when at least fastMargin bytes
    // of stream are left and the whole block lies inside the output. Each
    // word is taken without branching on its code (which the data makes
    // unpredictable): both the literal and the reference are addressed, the
    // code picks one. A reference from before the start reads block 0 and
    // sets `bad`.
    [[gnu::always_inline]] inline std::uint64_t fastColourHalf(Reader& reader, const Byte* out, std::size_t block,
                                                               std::size_t blockBytes, std::size_t halfAt, bool& bad)
    {
        std::uint32_t code = reader.fastCode();
        if (code != 0)
        {
            const std::size_t blocks = (std::size_t(load32(reader.ip)) & distanceMask[code]) + distanceOffset[code];
            reader.ip += codeBytes[code];
            bad |= blocks > block;
            return loadRaw64(out + (block - std::min(blocks, block)) * blockBytes + halfAt);
        }
        std::uint32_t words[2];
        for (std::size_t w = 0; w < 2; ++w)
        {
            code = reader.fastCode();
            const std::size_t blocks = (std::size_t(load32(reader.ip)) & distanceMask[code]) + distanceOffset[code];
            bad |= blocks > block;
            const Byte* reference = out + (block - std::min(blocks, block)) * blockBytes + halfAt + 4 * w;
            // A select by mask: compiled as a branch, the choice costs more
            // than both addresses together.
            const std::uintptr_t useReference = std::uintptr_t(0) - std::uintptr_t(code != 0);
            words[w] = loadRaw32(reinterpret_cast<const Byte*>((reinterpret_cast<std::uintptr_t>(reference) &
                                                                 useReference) |
                                                                (reinterpret_cast<std::uintptr_t>(reader.ip) &
                                                                 ~useReference)));
            reader.ip += codeBytes[code];
        }
        return joinRaw(words[0], words[1]);
    }

    // Writes what fits of a block that the output ends inside.
    void putPartial(Byte* out, std::size_t size, std::uint64_t first, std::uint64_t second)
    {
        Byte bytes[16];
        storeRaw64(bytes, first);
        storeRaw64(bytes + 8, second);
        std::memcpy(out, bytes, size);
    }
}

unsigned DXTR_compressBound(unsigned size)
{
    const unsigned long long bound = 0ull + size + size / 8 + 64;
    return bound > UINT_MAX ? UINT_MAX : unsigned(bound);
}

void* DXTR_createWorkspace() { return std::malloc(workspaceBytes); }

void DXTR_freeWorkspace(void* workspace) { std::free(workspace); }

unsigned DXTR_compressDXT1_Workspace(void* workspace, const void* src, unsigned srcSize, void* dst,
                                     unsigned dstCapacity)
{
    std::uint32_t* tables = prepare(workspace, src, srcSize, dst, dstCapacity, 8);
    if (tables == nullptr)
        return 0;
    Encoder encoder(tables, static_cast<const Byte*>(src), static_cast<Byte*>(dst));
    encoder.literal(encoder.src, 8);
    for (std::uint32_t p = 8; p < srcSize; p += 8)
    {
        // Past the input's size the result is of no use; stopping here also
        // keeps every write well inside the bound.
        if (std::size_t(encoder.op - static_cast<Byte*>(dst)) >= srcSize)
            return 0;
        if (srcSize - p > prefetchDistance * 8)
            encoder.prefetchColourHalf(p + prefetchDistance * 8);
        encoder.colourHalf<3>(p, 0);
    }
    encoder.finish();
    return result(encoder, dst, srcSize);
}

unsigned DXTR_compressDXT5_Workspace(void* workspace, const void* src, unsigned srcSize, void* dst,
                                     unsigned dstCapacity)
{
    std::uint32_t* tables = prepare(workspace, src, srcSize, dst, dstCapacity, 16);
    if (tables == nullptr)
        return 0;
    const Byte* s = static_cast<const Byte*>(src);
    std::uint32_t* alphaTable = tables + alphaTableAt;
    Encoder encoder(tables, s, static_cast<Byte*>(dst));
    encoder.literal(s, 16);
    std::uint32_t repeat = 0;
    for (std::uint32_t p = 16; p < srcSize;)
    {
        if (std::size_t(encoder.op - static_cast<Byte*>(dst)) >= srcSize)
            return 0;
        if (repeat > 0)
        {
            // The alpha half repeats the previous one and needs no code.
            --repeat;
        }
        else if (equal16(s + p, s + p - 16))
        {
            encoder.code(0);
            std::uint32_t q = p + 16;
            while (q < srcSize && equal16(s + q, s + q - 16))
                q += 16;
            const std::uint32_t last = q - 16;
            alphaTable[(load32(s + last) * colourPrime + load32(s + last + 4) * indexPrime) >> 18] = last;
            encoder.count((q - p) / 16 - 1);
            p = q;
            continue;
        }
        else if (equal8(s + p, s + p - 16))
        {
            encoder.code(1);
            std::uint32_t q = p + 16;
            while (q < srcSize && equal8(s + q, s + q - 16))
                q += 16;
            repeat = (q - p) / 16 - 1;
            encoder.count(repeat);
        }
        else
        {
            std::uint32_t& entry = alphaTable[(load32(s + p) * colourPrime + load32(s + p + 4) * indexPrime) >> 18];
            const std::uint32_t candidate = entry;
            entry = p;
            const std::uint32_t distance = p - candidate;
            if (distance >= 32 && distance < 0x100011 && equal8(s + candidate, s + p))
            {
                encoder.code(2);
                encoder.alphaReference(distance / 16);
            }
            else
            {
                encoder.code(3);
                encoder.literal(s + p, 8);
            }
        }
        if (srcSize - p > prefetchDistance * 16)
            encoder.prefetchColourHalf(p + prefetchDistance * 16 + 8);
        encoder.colourHalf<4>(p, 8);
        p += 16;
    }
    encoder.finish();
    return result(encoder, dst, srcSize);
}

unsigned DXTR_compressDXT1(const void* src, unsigned srcSize, void* dst, unsigned dstCapacity)
{
    void* workspace = DXTR_createWorkspace();
    const unsigned written = DXTR_compressDXT1_Workspace(workspace, src, srcSize, dst, dstCapacity);
    DXTR_freeWorkspace(workspace);
    return written;
}

unsigned DXTR_compressDXT5(const void* src, unsigned srcSize, void* dst, unsigned dstCapacity)
{
    void* workspace = DXTR_createWorkspace();
    const unsigned written = DXTR_compressDXT5_Workspace(workspace, src, srcSize, dst, dstCapacity);
    DXTR_freeWorkspace(workspace);
    return written;
}

unsigned DXTR_uncompressDXT1(const void* src, unsigned srcSize, void* dst, int dstSize)
{
    if (src == nullptr || dst == nullptr || dstSize <= 0 || srcSize < 8)
        return 0;
    const Byte* in = static_cast<const Byte*>(src);
    Byte* out = static_cast<Byte*>(dst);
    const std::size_t total = std::size_t(dstSize);
    if (total <= 8)
    {
        std::memcpy(out, in, total);
        return 8;
    }
    std::memcpy(out, in, 8);
    Reader reader{in + 8, in + srcSize, 2};
    const std::size_t whole = total / 8;
    std::size_t block = 1;
    // A bad reference only reads block 0 (and writes nothing out of place),
    // so the fast loop can leave the verdict to its end.
    bool bad = false;
    for (; block < whole && reader.end - reader.ip >= fastMargin; ++block)
        storeRaw64(out + block * 8, fastColourHalf(reader, out, block, 8, 0, bad));
    if (bad)
        return 0;
    for (; block < whole; ++block)
    {
        std::uint64_t half;
        if (! decodeColourHalf(reader, out, block, 8, 0, half))
            return 0;
        storeRaw64(out + block * 8, half);
    }
    if (total % 8 != 0)
    {
        std::uint64_t half;
        if (! decodeColourHalf(reader, out, block, 8, 0, half))
            return 0;
        putPartial(out + block * 8, total % 8, half, 0);
    }
    return unsigned(reader.ip - in);
}

unsigned DXTR_uncompressDXT5(const void* src, unsigned srcSize, void* dst, int dstSize)
{
    if (src == nullptr || dst == nullptr || dstSize <= 0 || srcSize < 16)
        return 0;
    const Byte* in = static_cast<const Byte*>(src);
    Byte* out = static_cast<Byte*>(dst);
    const std::size_t total = std::size_t(dstSize);
    if (total <= 16)
    {
        std::memcpy(out, in, total);
        return 16;
    }
    std::memcpy(out, in, 16);
    Reader reader{in + 16, in + srcSize, 2};
    // Blocks that start inside the output; the last may end past it.
    const std::size_t blocks = (total + 15) / 16;
    std::uint64_t repeat = 0;
    for (std::size_t block = 1; block < blocks;)
    {
        Byte* at = out + block * 16;
        std::uint64_t alpha;
        if (repeat > 0)
        {
            --repeat;
            alpha = loadRaw64(at - 16);
        }
        else
        {
            std::uint32_t code = 0;
            if (reader.end - reader.ip >= fastMargin)
                code = reader.fastCode();
            else if (! reader.code(code))
                return 0;
            if (code == 0)
            {
                // A run of whole blocks, each a copy of the one before; it ends
                // early when the output is full.
                std::uint64_t run = 0;
                if (! reader.count(run))
                    return 0;
                const std::uint64_t first = loadRaw64(at - 16), second = loadRaw64(at - 8);
                const std::size_t end = std::size_t(std::min<std::uint64_t>(blocks - block, run + 1)) + block;
                for (; block < end; ++block)
                {
                    Byte* to = out + block * 16;
                    if (block * 16 + 16 <= total)
                    {
                        storeRaw64(to, first);
                        storeRaw64(to + 8, second);
                    }
                    else
                        putPartial(to, total - block * 16, first, second);
                }
                continue;
            }
            const Byte* p = nullptr;
            if (code == 3)
            {
                if (! reader.take(8, p))
                    return 0;
                alpha = loadRaw64(p);
            }
            else if (code == 2)
            {
                if (! reader.take(2, p))
                    return 0;
                const std::size_t back = (std::size_t(p[0]) | std::size_t(p[1]) << 8) + 2;
                if (back > block)
                    return 0;
                alpha = loadRaw64(at - back * 16);
            }
            else
            {
                if (! reader.count(repeat))
                    return 0;
                alpha = loadRaw64(at - 16);
            }
        }
        std::uint64_t colour;
        if (block * 16 + 16 <= total && reader.end - reader.ip >= fastMargin)
        {
            bool bad = false;
            colour = fastColourHalf(reader, out, block, 16, 8, bad);
            if (bad)
                return 0;
        }
        else if (! decodeColourHalf(reader, out, block, 16, 8, colour))
            return 0;
        if (block * 16 + 16 <= total)
        {
            storeRaw64(at, alpha);
            storeRaw64(at + 8, colour);
        }
        else
            putPartial(at, total - block * 16, alpha, colour);
        ++block;
    }
    return unsigned(reader.ip - in);
}
