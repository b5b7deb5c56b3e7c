#include "engine/video/codecs/VXBC5Coder.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "engine/video/codecs/VXFSE.h"

namespace vx
{
    namespace
    {
        static_assert(std::endian::native == std::endian::little, "the block formats are read in place");

        constexpr std::uint32_t prime1 = 0x9E3779B1u;
        constexpr std::uint32_t prime2 = 0x85EBCA77u;
        constexpr int matchTableEntries = 1 << 17;
        constexpr int smallTableEntries = 256;
        constexpr int nbSymbols = 18;
        // The encoder's endpoint and index tables: a slot not written yet.
        constexpr std::uint32_t emptySlot = 0xFFFFFFFFu;

        enum Symbol
        {
            runSymbol = 0,
            previousHalfSymbol = 1,
            distantHalfSymbol = 2,
            // The endpoint part of a symbol (raw E, E from the endpoint table,
            // the previous block's E) plus the index part (0 raw, 1 I1 from the
            // index table, 2 I2 from it, 3 both, 4 both from a distant block).
            rawEndpoint = 3,
            tableEndpoint = 8,
            previousEndpoint = 13,
            distantIndices = 4,
            lastSymbol = 17
        };

        std::uint32_t read16(const std::uint8_t* p)
        {
            return static_cast<std::uint32_t>(p[0] | (p[1] << 8));
        }

        std::uint32_t read24(const std::uint8_t* p)
        {
            return static_cast<std::uint32_t>(p[0] | (p[1] << 8) | (p[2] << 16));
        }

        std::uint32_t read32(const std::uint8_t* p)
        {
            std::uint32_t v;
            std::memcpy(&v, p, 4);
            return v;
        }

        void write32(std::uint8_t* p, std::uint32_t v)
        {
            std::memcpy(p, &v, 4);
        }

        std::uint32_t fullHalfHash(std::uint32_t w0, std::uint32_t w1)
        {
            return (w0 * prime1 + w1 * prime2) >> 15;
        }

        std::uint32_t indexBytesHash(std::uint32_t w0, std::uint32_t w1)
        {
            return ((w0 >> 16) * prime2 + w1 * prime1) >> 15;
        }

        std::uint32_t endpointHash(std::uint32_t e)
        {
            return (e * prime1) >> 24;
        }

        std::uint32_t tripleHash(std::uint32_t t)
        {
            return (t * prime1) >> 24;
        }

        // Layout of a stream with one (BC4) or two (BC5) halves per block.
        template <int Halves>
        struct StreamLayout
        {
            static constexpr int blockBytes = 8 * Halves;
            static constexpr int firstBlockAt = 4 + 4 * Halves;
            static constexpr int rawAt = firstBlockAt + blockBytes;
        };

        // Raw bytes of a run count c: c below 255 as one byte; else 255, then
        // u16 values 65535 for each whole 65535 above 255, then the rest.
        int runCountBytes(int count)
        {
            return count < 255 ? 1 : 1 + 2 * ((count - 255) / 65535 + 1);
        }

        template <int Halves>
        class StreamEncoder
        {
        public:
            using Layout = StreamLayout<Halves>;

            StreamEncoder(const std::uint8_t* source, int blocks, std::uint16_t* matches, std::uint8_t* rawBegin,
                          std::uint8_t* rawEnd)
                : src(source), blockCount(blocks), match(matches), raw(rawBegin), rawLimit(rawEnd)
            {
                std::memset(match, 0, matchTableEntries * sizeof(std::uint16_t));
                for (auto& kind : tables)
                {
                    std::fill(std::begin(kind.endpoint), std::end(kind.endpoint), emptySlot);
                    std::fill(std::begin(kind.index), std::end(kind.index), emptySlot);
                }
            }

            // The symbols of every half, into symbols[h]; false when the raw
            // stream ran out of room.
            bool run(std::uint8_t* const* symbols, int* symbolCounts)
            {
                // Keys of the half last coded of each kind: the next half of
                // that kind enters it.
                Keys coded[Halves];
                int codedBlock[Halves];
                for (int h = 0; h < Halves; ++h)
                {
                    out[h] = symbols[h];
                    coded[h] = keysOf(0, h);
                    codedBlock[h] = 0;
                    enter(0, h, coded[h]);
                }
                int pending[Halves] = {};
                for (int block = 1; block < blockCount; ++block)
                    for (int h = 0; h < Halves; ++h)
                    {
                        if (pending[h] > 0)
                        {
                            --pending[h];
                            continue;
                        }
                        if (halvesEqual(block, block - 1, h))
                        {
                            const int length = codeRun(block, h);
                            if (length == 0)
                                return false;
                            pending[h] = length - 1;
                            continue;
                        }
                        // Entered only now, so that a first half coded in between
                        // never finds this block's own entries in the shared match
                        // table.
                        enter(block - 1, h, codedBlock[h] == block - 1 ? coded[h] : keysOf(block - 1, h));
                        coded[h] = keysOf(block, h);
                        codedBlock[h] = block;
                        if (! codeHalf(block, h, coded[h]))
                            return false;
                    }
                for (int h = 0; h < Halves; ++h)
                    symbolCounts[h] = static_cast<int>(out[h] - symbols[h]);
                return true;
            }

            std::uint8_t* rawEnd() const { return raw; }

        private:
            struct KindTables
            {
                std::uint32_t endpoint[smallTableEntries];
                std::uint32_t index[smallTableEntries];
            };

            const std::uint8_t* halfAt(int block, int h) const
            {
                return src + position(block, h);
            }

            static std::uint32_t position(int block, int h)
            {
                return static_cast<std::uint32_t>(block) * Layout::blockBytes + 8 * h;
            }

            bool halvesEqual(int a, int b, int h) const
            {
                return std::memcmp(halfAt(a, h), halfAt(b, h), 8) == 0;
            }

            // A half's table keys, computed once for coding it and entering it.
            struct Keys
            {
                std::uint32_t w0, w1, fullHalf, indexBytes, endpoint, firstTriple;
            };

            Keys keysOf(int block, int h) const
            {
                const std::uint8_t* half = halfAt(block, h);
                Keys k;
                k.w0 = read32(half);
                k.w1 = read32(half + 4);
                k.fullHalf = fullHalfHash(k.w0, k.w1);
                k.indexBytes = indexBytesHash(k.w0, k.w1);
                k.endpoint = endpointHash(k.w0 & 0xFFFF);
                k.firstTriple = tripleHash(read24(half + 2));
                return k;
            }

            void enter(int block, int h, const Keys& k)
            {
                const auto number = static_cast<std::uint16_t>(block);
                match[k.indexBytes] = number;
                match[k.fullHalf] = number;
                tables[h].endpoint[k.endpoint] = position(block, h);
                tables[h].index[k.firstTriple] = position(block, h) + 2;
            }

            // The nearest block before `block` whose number is the entry modulo
            // 65536; -1 when that lies before block 0.
            static int candidate(std::uint16_t entry, int block)
            {
                return block - 1 - ((block - 1 - entry) & 0xFFFF);
            }

            bool reserve(int bytes)
            {
                return rawLimit - raw >= bytes;
            }

            void put8(std::uint32_t v) { *raw++ = static_cast<std::uint8_t>(v); }

            void put16(std::uint32_t v)
            {
                put8(v);
                put8(v >> 8);
            }

            void put24(std::uint32_t v)
            {
                put16(v);
                put8(v >> 16);
            }

            // Length of the run starting at block (at least 1), its symbols and
            // count; 0 when the count does not fit.
            int codeRun(int block, int h)
            {
                int length = 1;
                while (block + length < blockCount && halvesEqual(block + length, block + length - 1, h))
                    ++length;
                if (length < 4)
                {
                    for (int i = 0; i < length; ++i)
                        *out[h]++ = previousHalfSymbol;
                    return length;
                }
                const int count = length - 4;
                if (! reserve(runCountBytes(count)))
                    return 0;
                *out[h]++ = runSymbol;
                if (count < 255)
                    put8(static_cast<std::uint32_t>(count));
                else
                {
                    put8(255);
                    for (int i = 0; i < (count - 255) / 65535; ++i)
                        put16(65535);
                    put16(static_cast<std::uint32_t>((count - 255) % 65535));
                }
                return length;
            }

            bool codeHalf(int block, int h, const Keys& keys)
            {
                const std::uint8_t* half = halfAt(block, h);
                const std::uint32_t w0 = keys.w0, w1 = keys.w1;

                // The whole half seen before.
                const int whole = candidate(match[keys.fullHalf], block);
                if (whole >= 0)
                {
                    const std::uint8_t* other = halfAt(whole, h);
                    if (read32(other) == w0 && read32(other + 4) == w1)
                    {
                        if (! reserve(2))
                            return false;
                        put16(static_cast<std::uint32_t>(block - whole - 1));
                        *out[h]++ = distantHalfSymbol;
                        return true;
                    }
                }

                // Endpoints: the previous block's, a table slot's, or raw. The
                // previous block's half was entered last, so its slot holds it
                // whenever E equals its E.
                const std::uint32_t e = w0 & 0xFFFF;
                const std::uint32_t slot = keys.endpoint;
                const std::uint32_t previous = position(block - 1, h);
                const std::uint32_t held = tables[h].endpoint[slot];
                const std::uint32_t x = held == emptySlot ? previous : held;
                int endpointPart = rawEndpoint;
                if (read16(src + x) == e)
                    endpointPart = x == previous ? previousEndpoint : tableEndpoint;
                const int endpointBytes = endpointPart == tableEndpoint ? 1 : endpointPart == rawEndpoint ? 2 : 0;

                // Index bytes 2-7 of one block up to 65536 back.
                const int indices = candidate(match[keys.indexBytes], block);
                if (indices >= 0)
                {
                    const std::uint8_t* other = halfAt(indices, h);
                    if (read16(other + 2) == (w0 >> 16) && read32(other + 4) == w1)
                    {
                        if (! reserve(endpointBytes + 2))
                            return false;
                        if (endpointPart == tableEndpoint)
                            put8(slot);
                        put16(static_cast<std::uint32_t>(block - indices - 1));
                        if (endpointPart == rawEndpoint)
                            put16(e);
                        *out[h]++ = static_cast<std::uint8_t>(endpointPart + distantIndices);
                        return true;
                    }
                }

                // I1 and I2 each from the index table, or raw.
                const std::uint32_t i1 = read24(half + 2), i2 = read24(half + 5);
                const std::uint32_t slot1 = keys.firstTriple, slot2 = tripleHash(i2);
                const std::uint32_t at1 = tables[h].index[slot1], at2 = tables[h].index[slot2];
                const bool found1 = at1 != emptySlot && read24(src + at1) == i1;
                const bool found2 = at2 != emptySlot && read24(src + at2) == i2;
                const int bytes = endpointBytes + (found1 ? 1 : 3) + (found2 ? 1 : 3);
                if (! reserve(bytes))
                    return false;
                if (endpointPart == tableEndpoint)
                    put8(slot);
                if (found1)
                    put8(slot1);
                if (found2)
                    put8(slot2);
                if (endpointPart == rawEndpoint)
                    put16(e);
                if (! found1)
                    put24(i1);
                if (! found2)
                    put24(i2);
                *out[h]++ = static_cast<std::uint8_t>(endpointPart + (found1 ? 1 : 0) + (found2 ? 2 : 0));
                return true;
            }

            const std::uint8_t* src;
            int blockCount;
            std::uint16_t* match;
            std::uint8_t* raw;
            std::uint8_t* rawLimit;
            KindTables tables[Halves];
            std::uint8_t* out[Halves] = {};
        };

        template <int Halves>
        int compressStream(std::uint8_t* dst, int dstCapacity, const std::uint8_t* src, int blockCount,
                           std::uint8_t* const* symbols, int symbolCapacity, std::uint16_t* matchTable)
        {
            using Layout = StreamLayout<Halves>;
            if (dst == nullptr || src == nullptr || matchTable == nullptr || blockCount < 1 ||
                dstCapacity < Layout::rawAt || symbolCapacity < blockCount - 1)
                return 0;
            std::memcpy(dst + Layout::firstBlockAt, src, Layout::blockBytes);

            StreamEncoder<Halves> encoder(src, blockCount, matchTable, dst + Layout::rawAt, dst + dstCapacity);
            int symbolCounts[Halves];
            if (! encoder.run(symbols, symbolCounts))
                return 0;

            std::uint8_t* end = encoder.rawEnd();
            write32(dst, static_cast<std::uint32_t>(end - dst));
            for (int h = 0; h < Halves; ++h)
            {
                write32(dst + 4 + 4 * h, static_cast<std::uint32_t>(symbolCounts[h]));
                const int bytes = FSE_compress_Nsymbols(end, symbols[h], symbolCounts[h], nbSymbols,
                                                        static_cast<int>(dst + dstCapacity - end));
                if (bytes == 0)
                    return 0;
                end += bytes;
            }
            return static_cast<int>(end - dst);
        }

        template <int Halves>
        class StreamDecoder
        {
        public:
            using Layout = StreamLayout<Halves>;

            StreamDecoder(std::uint8_t* destination, int blocks, const std::uint8_t* rawBegin,
                          const std::uint8_t* rawEnd)
                : dst(destination), blockCount(blocks), raw(rawBegin), rawLimit(rawEnd)
            {
                std::memset(tables, 0, sizeof(tables));
                for (int h = 0; h < Halves; ++h)
                {
                    const std::uint8_t* half = dst + 8 * h;
                    tables[h].endpoint[endpointHash(read16(half))] = position(0, h);
                    tables[h].index[tripleHash(read24(half + 2))] = position(0, h) + 2;
                }
            }

            // Decodes blocks 1 on from the symbol streams; false on any
            // inconsistency, also when symbols or raw bytes are left over.
            bool run(const std::uint8_t* const* symbols, const int* symbolCounts)
            {
                int next[Halves] = {};
                int covered[Halves] = {};
                for (int block = 1; block < blockCount; ++block)
                    for (int h = 0; h < Halves; ++h)
                    {
                        if (covered[h] > 0)
                        {
                            --covered[h];
                            continue;
                        }
                        if (next[h] >= symbolCounts[h])
                            return false;
                        const int symbol = symbols[h][next[h]++];
                        if (! decodeHalf(block, h, symbol, covered[h]))
                            return false;
                    }
                for (int h = 0; h < Halves; ++h)
                    if (next[h] != symbolCounts[h])
                        return false;
                return raw == rawLimit;
            }

        private:
            struct KindTables
            {
                std::uint32_t endpoint[smallTableEntries];
                std::uint32_t index[smallTableEntries];
            };

            static std::uint32_t position(int block, int h)
            {
                return static_cast<std::uint32_t>(block) * Layout::blockBytes + 8 * h;
            }

            std::uint32_t get8() { return *raw++; }

            std::uint32_t get16()
            {
                const std::uint32_t v = read16(raw);
                raw += 2;
                return v;
            }

            std::uint32_t get24()
            {
                const std::uint32_t v = read24(raw);
                raw += 3;
                return v;
            }

            bool has(int bytes) const { return rawLimit - raw >= bytes; }

            // The same half of the block distance + 1 back, or null before block 0.
            const std::uint8_t* distant(int block, std::uint32_t distance, int h) const
            {
                const int source = block - 1 - static_cast<int>(distance);
                return source >= 0 ? dst + position(source, h) : nullptr;
            }

            bool decodeRun(int block, std::uint8_t* out, int& covered)
            {
                if (! has(1))
                    return false;
                long long count = get8();
                if (count == 255)
                {
                    std::uint32_t more;
                    do
                    {
                        if (! has(2))
                            return false;
                        more = get16();
                        count += more;
                        if (count > blockCount)
                            return false;
                    } while (more == 65535);
                }
                const long long length = count + 4;
                if (block + length > blockCount)
                    return false;
                for (long long i = 0; i < length; ++i)
                    std::memcpy(out + i * Layout::blockBytes, out + (i - 1) * Layout::blockBytes, 8);
                covered = static_cast<int>(length - 1);
                return true;
            }

            bool decodeHalf(int block, int h, int symbol, int& covered)
            {
                std::uint8_t* out = dst + position(block, h);
                const std::uint8_t* previous = out - Layout::blockBytes;
                KindTables& kind = tables[h];
                if (symbol == runSymbol)
                    return decodeRun(block, out, covered);
                if (symbol == previousHalfSymbol)
                {
                    std::memcpy(out, previous, 8);
                    return true;
                }
                if (symbol > lastSymbol)
                    return false;

                if (symbol == distantHalfSymbol)
                {
                    if (! has(2))
                        return false;
                    const std::uint8_t* from = distant(block, get16(), h);
                    if (from == nullptr)
                        return false;
                    std::memcpy(out, from, 8);
                }
                else
                {
                    const int endpointPart =
                        symbol >= previousEndpoint ? previousEndpoint : symbol >= tableEndpoint ? tableEndpoint
                                                                                                : rawEndpoint;
                    const int indexPart = symbol - endpointPart;
                    const bool fromDistance = indexPart == distantIndices;
                    const bool slot1 = ! fromDistance && (indexPart & 1) != 0;
                    const bool slot2 = ! fromDistance && (indexPart & 2) != 0;
                    const int bytes = (endpointPart == tableEndpoint ? 1 : 0) + (fromDistance ? 2 : 0) +
                                      (endpointPart == rawEndpoint ? 2 : 0) + (fromDistance ? 0 : slot1 ? 1 : 3) +
                                      (fromDistance ? 0 : slot2 ? 1 : 3);
                    if (! has(bytes))
                        return false;

                    const std::uint32_t endpointSlot = endpointPart == tableEndpoint ? get8() : 0;
                    const std::uint8_t* indicesFrom = nullptr;
                    std::uint32_t indexSlot1 = 0, indexSlot2 = 0;
                    if (fromDistance)
                    {
                        indicesFrom = distant(block, get16(), h);
                        if (indicesFrom == nullptr)
                            return false;
                    }
                    if (slot1)
                        indexSlot1 = get8();
                    if (slot2)
                        indexSlot2 = get8();

                    std::uint32_t e;
                    if (endpointPart == rawEndpoint)
                        e = get16();
                    else if (endpointPart == tableEndpoint)
                        e = read16(dst + kind.endpoint[endpointSlot]);
                    else
                        e = read16(previous);
                    out[0] = static_cast<std::uint8_t>(e);
                    out[1] = static_cast<std::uint8_t>(e >> 8);

                    if (fromDistance)
                        std::memcpy(out + 2, indicesFrom + 2, 6);
                    else
                    {
                        const std::uint32_t i1 = slot1 ? read24(dst + kind.index[indexSlot1]) : get24();
                        const std::uint32_t i2 = slot2 ? read24(dst + kind.index[indexSlot2]) : get24();
                        out[2] = static_cast<std::uint8_t>(i1);
                        out[3] = static_cast<std::uint8_t>(i1 >> 8);
                        out[4] = static_cast<std::uint8_t>(i1 >> 16);
                        out[5] = static_cast<std::uint8_t>(i2);
                        out[6] = static_cast<std::uint8_t>(i2 >> 8);
                        out[7] = static_cast<std::uint8_t>(i2 >> 16);
                    }
                }

                // Slots whose value would not change are left alone.
                const std::uint32_t at = position(block, h);
                if (symbol <= rawEndpoint + distantIndices)
                    kind.endpoint[endpointHash(read16(out))] = at;
                if (symbol != rawEndpoint + 3 && symbol != tableEndpoint + 3 && symbol != previousEndpoint + 3)
                    kind.index[tripleHash(read24(out + 2))] = at + 2;
                return true;
            }

            std::uint8_t* dst;
            int blockCount;
            const std::uint8_t* raw;
            const std::uint8_t* rawLimit;
            KindTables tables[Halves];
        };

        template <int Halves>
        int decompressStream(std::uint8_t* dst, int blockCount, const std::uint8_t* src, int srcSize,
                             std::uint8_t* const* symbols, int symbolCapacity)
        {
            using Layout = StreamLayout<Halves>;
            if (dst == nullptr || src == nullptr || blockCount < 1 || srcSize < Layout::rawAt)
                return 0;
            const std::uint32_t rawEnd = read32(src);
            if (rawEnd < static_cast<std::uint32_t>(Layout::rawAt) || rawEnd > static_cast<std::uint32_t>(srcSize))
                return 0;
            int symbolCounts[Halves];
            int used = static_cast<int>(rawEnd);
            for (int h = 0; h < Halves; ++h)
            {
                const std::uint32_t count = read32(src + 4 + 4 * h);
                if (count > static_cast<std::uint32_t>(blockCount - 1) ||
                    count > static_cast<std::uint32_t>(symbolCapacity))
                    return 0;
                symbolCounts[h] = static_cast<int>(count);
                const int bytes = FSE_decompress(symbols[h], symbolCounts[h], src + used, srcSize - used);
                if (bytes == 0)
                    return 0;
                used += bytes;
            }
            std::memcpy(dst, src + Layout::firstBlockAt, Layout::blockBytes);
            StreamDecoder<Halves> decoder(dst, blockCount, src + Layout::rawAt, src + rawEnd);
            return decoder.run(symbols, symbolCounts) ? used : 0;
        }

        constexpr size_t matchTableBytes = matchTableEntries * sizeof(std::uint16_t);
    }

    bool YCOCG_allocateWorkplace(YCoCgWorkplace* workplace, int size)
    {
        if (workplace == nullptr)
            return false;
        *workplace = YCoCgWorkplace{};
        if (size < 0)
            return false;
        void* memory = std::malloc(matchTableBytes + static_cast<size_t>(size));
        if (memory == nullptr)
            return false;
        workplace->allocation = memory;
        workplace->matchTable = static_cast<std::uint16_t*>(memory);
        workplace->symbols = static_cast<std::uint8_t*>(memory) + matchTableBytes;
        workplace->size = size;
        workplace->halfSize = size / 2;
        workplace->half[0] = workplace->symbols;
        workplace->half[1] = workplace->symbols + size / 2;
        return true;
    }

    void YCOCG_freeWorkplace(YCoCgWorkplace* workplace)
    {
        if (workplace == nullptr)
            return;
        std::free(workplace->allocation);
        *workplace = YCoCgWorkplace{};
    }

    int BC5_Compress(std::uint8_t* dst, int dstCapacity, const std::uint8_t* src, int blockCount,
                     YCoCgWorkplace* workplace)
    {
        if (workplace == nullptr)
            return 0;
        return compressStream<2>(dst, dstCapacity, src, blockCount, workplace->half, workplace->halfSize,
                                 workplace->matchTable);
    }

    int BC5_Decompress(std::uint8_t* dst, int blockCount, const std::uint8_t* src, YCoCgWorkplace* workplace,
                       int srcSize)
    {
        if (workplace == nullptr)
            return 0;
        return decompressStream<2>(dst, blockCount, src, srcSize, workplace->half, workplace->halfSize);
    }

    int BC4_Compress(std::uint8_t* dst, int dstCapacity, const std::uint8_t* src, int blockCount,
                     YCoCgWorkplace* workplace)
    {
        if (workplace == nullptr)
            return 0;
        return compressStream<1>(dst, dstCapacity, src, blockCount, &workplace->symbols, workplace->size,
                                 workplace->matchTable);
    }

    int BC4_Decompress(std::uint8_t* dst, int blockCount, const std::uint8_t* src, YCoCgWorkplace* workplace,
                       int srcSize)
    {
        if (workplace == nullptr)
            return 0;
        return decompressStream<1>(dst, blockCount, src, srcSize, &workplace->symbols, workplace->size);
    }
}
