#include "engine/video/codecs/VXFSE.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace vx
{
    namespace
    {
        static_assert(std::endian::native == std::endian::little, "the block formats are read in place");

        constexpr int tableLog = 10;
        constexpr int tableSize = 1 << tableLog;
        constexpr int maxSymbols = 256;
        // Symbols spread over the states in this stride (odd, so every state is
        // visited once).
        constexpr int spreadStep = 641;
        // Bits of the u32 B that opens a coded stream.
        constexpr std::uint64_t streamHeaderBits = 32;

        enum BlockMode
        {
            rawBlock = 0,
            singleSymbolBlock = 1,
            codedBlock = 2
        };

        std::uint32_t readU32(const std::uint8_t* p)
        {
            std::uint32_t v;
            std::memcpy(&v, p, 4);
            return v;
        }

        std::uint64_t readU64(const std::uint8_t* p)
        {
            std::uint64_t v;
            std::memcpy(&v, p, 8);
            return v;
        }

        // Counts as the header stores them: 1024 in all, over at most 256 symbols.
        bool isDistribution(const std::uint16_t* counts, int nbSymbols)
        {
            if (counts == nullptr || nbSymbols < 1 || nbSymbols > maxSymbols)
                return false;
            int total = 0;
            for (int s = 0; s < nbSymbols; ++s)
                total += counts[s];
            return total == tableSize;
        }

        // Symbol of each state: symbols in order, count positions each, visited
        // from 0 in steps of 641.
        void spreadSymbols(const std::uint16_t* counts, int nbSymbols, std::uint8_t* symbolOfState)
        {
            int position = 0;
            for (int s = 0; s < nbSymbols; ++s)
                for (int i = 0; i < counts[s]; ++i)
                {
                    symbolOfState[position] = static_cast<std::uint8_t>(s);
                    position = (position + spreadStep) & (tableSize - 1);
                }
        }

        // Per symbol: bits written = (state + deltaNbBits) >> 16, which is
        // 10 - floorLog2(c - 1) less one below the state (c << that) and 10 for
        // a count of 1; next state = stateTable[(state >> bits) + deltaFindState].
        struct SymbolTransform
        {
            std::int32_t deltaFindState;
            std::uint32_t deltaNbBits;
        };

        struct EncodeTables
        {
            std::uint16_t stateTable[tableSize];
            SymbolTransform symbols[maxSymbols];
        };

        void buildEncodeTables(const std::uint16_t* counts, int nbSymbols, EncodeTables& tables)
        {
            std::uint8_t symbolOfState[tableSize];
            spreadSymbols(counts, nbSymbols, symbolOfState);

            int cumulative[maxSymbols + 1];
            cumulative[0] = 0;
            for (int s = 0; s < nbSymbols; ++s)
                cumulative[s + 1] = cumulative[s] + counts[s];
            int next[maxSymbols];
            std::copy(cumulative, cumulative + nbSymbols, next);
            for (int i = 0; i < tableSize; ++i)
                tables.stateTable[next[symbolOfState[i]]++] = static_cast<std::uint16_t>(tableSize + i);

            for (int s = 0; s < nbSymbols; ++s)
            {
                const int c = counts[s];
                SymbolTransform& t = tables.symbols[s];
                if (c == 0)
                {
                    t = {0, 0};
                    continue;
                }
                const std::uint32_t maxBitsOut =
                    c == 1 ? tableLog : static_cast<std::uint32_t>(tableLog - (std::bit_width(unsigned(c - 1)) - 1));
                const std::uint32_t minStatePlus = static_cast<std::uint32_t>(c) << maxBitsOut;
                t.deltaNbBits = (maxBitsOut << 16) - minStatePlus;
                t.deltaFindState = cumulative[s] - c;
            }
        }

        // Decode entry: symbol, bits to read, and the base the read value is
        // added to; rightShift (63 - nbBits) takes the read off the state's
        // dependency chain.
        struct alignas(8) DecodeEntry
        {
            std::uint16_t newStateBase;
            std::uint8_t symbol;
            std::uint8_t nbBits;
            std::uint8_t rightShift;
        };

        void buildDecodeTable(const std::uint16_t* counts, int nbSymbols, DecodeEntry* table)
        {
            std::uint8_t symbolOfState[tableSize];
            spreadSymbols(counts, nbSymbols, symbolOfState);
            std::uint32_t next[maxSymbols];
            for (int s = 0; s < nbSymbols; ++s)
                next[s] = counts[s];
            for (int i = 0; i < tableSize; ++i)
            {
                const std::uint8_t s = symbolOfState[i];
                const std::uint32_t x = next[s]++;
                const std::uint32_t nbBits = tableLog - (std::bit_width(x) - 1);
                table[i].symbol = s;
                table[i].nbBits = static_cast<std::uint8_t>(nbBits);
                table[i].rightShift = static_cast<std::uint8_t>(63 - nbBits);
                table[i].newStateBase = static_cast<std::uint16_t>((x << nbBits) - tableSize);
            }
        }

        // Bits from the lowest position up, into dst[begin, end); 32 whole bits
        // go out at a time, so running out of room is seen before any byte
        // beyond end is written.
        class BitWriter
        {
        public:
            BitWriter(std::uint8_t* begin, std::uint8_t* end) : out(begin), limit(end) {}

            void add(std::uint32_t value, std::uint32_t nbBits)
            {
                container |= static_cast<std::uint64_t>(value) << used;
                used += nbBits;
            }

            bool flushWords()
            {
                if (used < 32)
                    return true;
                if (limit - out < 4)
                    return false;
                const std::uint32_t word = static_cast<std::uint32_t>(container);
                std::memcpy(out, &word, 4);
                out += 4;
                container >>= 32;
                used -= 32;
                written += 32;
                return true;
            }

            // Writes the partial last bytes; false when they do not fit.
            bool finish()
            {
                const std::uint32_t bytes = (used + 7) / 8;
                if (limit - out < static_cast<std::ptrdiff_t>(bytes))
                    return false;
                for (std::uint32_t i = 0; i < bytes; ++i)
                    *out++ = static_cast<std::uint8_t>(container >> (8 * i));
                written += used;
                used = 0;
                return true;
            }

            std::uint64_t bitsWritten() const { return written + used; }
            std::uint8_t* position() const { return out; }

        private:
            std::uint8_t* out;
            std::uint8_t* limit;
            std::uint64_t container = 0;
            std::uint32_t used = 0;
            std::uint64_t written = 0;
        };

        // The coded stream, or 0 when it would need more than dstCapacity bytes.
        // Small alphabets over long inputs get each symbol's next state for
        // every state in one table: the state's dependency chain is then one
        // load per symbol.
        constexpr int maxDirectSymbols = 18;
        constexpr int minDirectSize = 8192;

        int encodeStream(std::uint8_t* dst, int dstCapacity, const std::uint8_t* src, int size,
                         const EncodeTables& tables, int nbSymbols)
        {
            if (dstCapacity < 4)
                return 0;
            BitWriter writer(dst + 4, dst + dstCapacity);
            std::uint32_t state = tableSize;
            if (nbSymbols <= maxDirectSymbols && size >= minDirectSize)
            {
                std::uint16_t next[maxDirectSymbols][tableSize];
                for (int symbol = 0; symbol < nbSymbols; ++symbol)
                {
                    const SymbolTransform& t = tables.symbols[symbol];
                    if (t.deltaNbBits == 0)
                        continue; // count 0: never coded
                    for (std::uint32_t from = tableSize; from < 2 * tableSize; ++from)
                    {
                        const std::uint32_t nbBits = (from + t.deltaNbBits) >> 16;
                        next[symbol][from - tableSize] =
                            tables.stateTable[static_cast<std::int32_t>(from >> nbBits) + t.deltaFindState];
                    }
                }
                for (int i = size - 1; i >= 0; --i)
                {
                    const std::uint8_t symbol = src[i];
                    const std::uint32_t nbBits = (state + tables.symbols[symbol].deltaNbBits) >> 16;
                    writer.add(state & ((1u << nbBits) - 1), nbBits);
                    state = next[symbol][state - tableSize];
                    if (! writer.flushWords())
                        return 0;
                }
            }
            else
                for (int i = size - 1; i >= 0; --i)
                {
                    const SymbolTransform& t = tables.symbols[src[i]];
                    const std::uint32_t nbBits = (state + t.deltaNbBits) >> 16;
                    writer.add(state & ((1u << nbBits) - 1), nbBits);
                    state = tables.stateTable[static_cast<std::int32_t>(state >> nbBits) + t.deltaFindState];
                    if (! writer.flushWords())
                        return 0;
                }
            writer.add(state - tableSize, tableLog);
            if (! writer.flushWords() || ! writer.finish())
                return 0;
            const std::uint64_t totalBits = streamHeaderBits + writer.bitsWritten();
            if (totalBits > 0xFFFFFFFFu)
                return 0;
            const std::uint32_t b = static_cast<std::uint32_t>(totalBits);
            std::memcpy(dst, &b, 4);
            return static_cast<int>(writer.position() - dst);
        }

        int encodeChecked(std::uint8_t* dst, const std::uint8_t* src, int size, const std::uint16_t* counts,
                          int nbSymbols, int dstCapacity)
        {
            if (dst == nullptr || (src == nullptr && size > 0) || size < 0 || ! isDistribution(counts, nbSymbols))
                return 0;
            // Every symbol to code needs at least one state.
            bool present[maxSymbols] = {};
            for (int i = 0; i < size; ++i)
                present[src[i]] = true;
            for (int s = 0; s < maxSymbols; ++s)
                if (present[s] && (s >= nbSymbols || counts[s] == 0))
                    return 0;
            EncodeTables tables;
            buildEncodeTables(counts, nbSymbols, tables);
            return encodeStream(dst, dstCapacity, src, size, tables, nbSymbols);
        }

        // Header of a coded block: mode bits, then the counts in nb bits each
        // (nb drops by one whenever what is left falls below the threshold), in
        // 16-bit words; a word goes out whenever 17 bits are pending, the rest
        // as one last word. Answers the header's bytes, 0 when it does not fit.
        int writeHeader(std::uint8_t* dst, int dstCapacity, const std::uint16_t* counts)
        {
            std::uint32_t pending = codedBlock;
            int pendingBits = 2;
            int remaining = tableSize;
            int nbBits = tableLog;
            int threshold = tableSize / 2;
            int written = 0;
            auto putWord = [&](std::uint32_t word) {
                if (dstCapacity - written < 2)
                    return false;
                dst[written] = static_cast<std::uint8_t>(word);
                dst[written + 1] = static_cast<std::uint8_t>(word >> 8);
                written += 2;
                return true;
            };
            for (int s = 0; remaining > 0; ++s)
            {
                pending |= static_cast<std::uint32_t>(counts[s]) << pendingBits;
                pendingBits += nbBits;
                remaining -= counts[s];
                if (remaining < threshold)
                {
                    --nbBits;
                    threshold >>= 1;
                }
                if (pendingBits >= 17)
                {
                    if (! putWord(pending & 0xFFFF))
                        return 0;
                    pending >>= 16;
                    pendingBits -= 16;
                }
            }
            return putWord(pending & 0xFFFF) ? written : 0;
        }

        // Reads a header written by writeHeader; answers its bytes, 0 when the
        // counts overrun what is left, run past 256 symbols or past the input.
        int readHeader(const std::uint8_t* src, int srcSize, std::uint16_t* counts)
        {
            if (srcSize < 4)
                return 0;
            std::uint64_t bits = readU32(src) >> 2;
            int available = 30;
            int read = 4;
            int totalBits = 2;
            int remaining = tableSize;
            int nbBits = tableLog;
            int threshold = tableSize / 2;
            std::fill(counts, counts + maxSymbols, std::uint16_t(0));
            for (int s = 0; remaining > 0; ++s)
            {
                if (s >= maxSymbols)
                    return 0;
                if (available < nbBits)
                {
                    if (srcSize - read < 2)
                        return 0;
                    bits |= static_cast<std::uint64_t>(src[read] | (src[read + 1] << 8)) << available;
                    available += 16;
                    read += 2;
                }
                const int count = static_cast<int>(bits & ((1u << nbBits) - 1));
                bits >>= nbBits;
                available -= nbBits;
                totalBits += nbBits;
                if (count > remaining)
                    return 0;
                counts[s] = static_cast<std::uint16_t>(count);
                remaining -= count;
                if (remaining < threshold)
                {
                    --nbBits;
                    threshold >>= 1;
                }
            }
            const int headerBytes = 2 * ((totalBits + 15) / 16);
            return headerBytes <= srcSize ? headerBytes : 0;
        }

        int storeRaw(std::uint8_t* dst, int dstCapacity, const std::uint8_t* src, int size)
        {
            if (dstCapacity - 1 < size)
                return 0;
            dst[0] = rawBlock;
            if (size > 0)
                std::memcpy(dst + 1, src, static_cast<size_t>(size));
            return size + 1;
        }

        int compressBlock(std::uint8_t* dst, int dstCapacity, const std::uint8_t* src, int size, int nbSymbols)
        {
            if (dst == nullptr || size < 0 || (src == nullptr && size > 0) || nbSymbols < 1 ||
                nbSymbols > maxSymbols)
                return 0;
            if (size <= 1)
                return storeRaw(dst, dstCapacity, src, size);

            // Four interleaved histograms keep successive increments apart.
            std::uint32_t histograms[4][maxSymbols] = {};
            int i = 0;
            for (; i + 4 <= size; i += 4)
            {
                ++histograms[0][src[i]];
                ++histograms[1][src[i + 1]];
                ++histograms[2][src[i + 2]];
                ++histograms[3][src[i + 3]];
            }
            for (; i < size; ++i)
                ++histograms[0][src[i]];
            std::uint64_t counts[maxSymbols];
            for (int s = 0; s < maxSymbols; ++s)
                counts[s] = std::uint64_t(histograms[0][s]) + histograms[1][s] + histograms[2][s] + histograms[3][s];
            for (int s = nbSymbols; s < maxSymbols; ++s)
                if (counts[s] != 0)
                    return storeRaw(dst, dstCapacity, src, size);

            // Smoothing: every symbol that occurs gets k more.
            const std::uint64_t n = static_cast<std::uint64_t>(nbSymbols);
            const std::uint64_t m = (n * static_cast<std::uint64_t>(size)) >> 10;
            const std::uint64_t k = (((m * n) >> 10) + m + static_cast<std::uint64_t>(size)) >> 10;
            std::uint64_t total = static_cast<std::uint64_t>(size);
            for (int s = 0; s < nbSymbols; ++s)
                if (counts[s] != 0)
                {
                    counts[s] += k;
                    total += k;
                }

            // Scaling to 1024 with a carried remainder (in 2^-20 units).
            constexpr std::uint64_t one = 1u << 20;
            constexpr std::uint64_t scaleTotal = 1u << 30;
            if (total > scaleTotal)
                return storeRaw(dst, dstCapacity, src, size);
            const std::uint64_t scale = scaleTotal / total;
            const std::uint64_t rest = scaleTotal % total;
            std::uint64_t carry = rest <= one ? rest + (one - rest) / 2 : rest;
            std::uint16_t normalised[maxSymbols];
            for (int s = 0; s < nbSymbols; ++s)
            {
                if (counts[s] == total)
                {
                    if (dstCapacity < 2)
                        return 0;
                    dst[0] = singleSymbolBlock;
                    dst[1] = static_cast<std::uint8_t>(s);
                    return 2;
                }
                const std::uint64_t p = counts[s] * scale;
                const std::uint64_t t = (p & (one - 1)) + carry;
                const std::uint64_t scaled = (p >> 20) + (t >> 20);
                carry = t & (one - 1);
                // A rare symbol of a huge block can round away to nothing; it
                // could not be coded then.
                if (counts[s] != 0 && scaled == 0)
                    return storeRaw(dst, dstCapacity, src, size);
                normalised[s] = static_cast<std::uint16_t>(scaled);
            }

            // Coded, when header and stream come to less than size - 1 bytes.
            const int codedLimit = std::min(dstCapacity, size - 2);
            const int headerBytes = codedLimit > 0 ? writeHeader(dst, codedLimit, normalised) : 0;
            if (headerBytes > 0)
            {
                EncodeTables tables;
                buildEncodeTables(normalised, nbSymbols, tables);
                const int streamBytes =
                    encodeStream(dst + headerBytes, codedLimit - headerBytes, src, size, tables, nbSymbols);
                if (streamBytes > 0)
                    return headerBytes + streamBytes;
            }
            return storeRaw(dst, dstCapacity, src, size);
        }

        // Decodes size symbols; the decode table has been checked.
        int decodeStream(std::uint8_t* dst, int size, const std::uint8_t* src, int srcSize, const DecodeEntry* table)
        {
            if (srcSize < 4)
                return 0;
            const std::uint64_t b = readU32(src);
            if (b < streamHeaderBits + tableLog)
                return 0;
            const std::uint64_t streamBytes = (b + 7) / 8;
            if (streamBytes > static_cast<std::uint64_t>(srcSize))
                return 0;

            // Short streams are read from a padded copy, so that every load
            // below is a whole 8 bytes inside the buffer.
            std::uint8_t padded[8] = {};
            const std::uint8_t* bytes = src;
            if (streamBytes < 8)
            {
                std::memcpy(padded, src, static_cast<size_t>(streamBytes));
                bytes = padded;
            }
            const std::uint64_t lastLoad = std::max<std::uint64_t>(streamBytes, 8) - 8;

            // position: the lowest bit read so far; reads go downwards and may
            // not reach into the u32 B.
            std::uint64_t position = b - tableLog;
            std::uint32_t state;
            {
                const std::uint64_t at = std::min(position / 8, lastLoad);
                state = static_cast<std::uint32_t>(readU64(bytes + at) >> (position - 8 * at)) & (tableSize - 1);
            }

            int i = 0;
            while (i < size)
            {
                // A window of 8 bytes holding the bits just below position, of
                // which `consumed` (from the top) are used. While another
                // symbol of the most bits (10) surely fits above the u32 B and
                // the window's bottom, symbols are decoded without further
                // checks.
                const std::uint64_t end = (position + 7) / 8;
                const std::uint64_t at = std::min(end >= 8 ? end - 8 : 0, lastLoad);
                const std::uint64_t window = readU64(bytes + at);
                std::uint32_t consumed = static_cast<std::uint32_t>(64 - (position - 8 * at));
                const std::uint32_t cap =
                    static_cast<std::uint32_t>(64 - (std::max<std::uint64_t>(8 * at, streamHeaderBits) - 8 * at));
                if (consumed + tableLog > cap)
                {
                    // Near the start: one symbol, checked.
                    const DecodeEntry e = table[state];
                    if (position - streamHeaderBits < e.nbBits)
                        return 0;
                    position -= e.nbBits;
                    const std::uint32_t value =
                        static_cast<std::uint32_t>(window >> ((position - 8 * at) & 63)) & ((1u << e.nbBits) - 1);
                    dst[i++] = e.symbol;
                    state = e.newStateBase + value;
                    continue;
                }
                // The next read is the top nbBits of what is left, shifted down
                // in one step that keeps the shift amount off the state's
                // dependency chain (a read of 0 bits shifts everything out).
                do
                {
                    const DecodeEntry e = table[state];
                    const std::uint64_t top = (window << (consumed & 63)) >> 1;
                    consumed += e.nbBits;
                    dst[i++] = e.symbol;
                    state = e.newStateBase + static_cast<std::uint32_t>(top >> e.rightShift);
                } while (i < size && consumed + tableLog <= cap);
                position = 8 * at + 64 - consumed;
            }
            if (position != streamHeaderBits)
                return 0;
            return static_cast<int>(streamBytes);
        }
    }

    int FSE_getDistributionTotal()
    {
        return tableSize;
    }

    int FSE_compress(std::uint8_t* dst, const std::uint8_t* src, int size)
    {
        return compressBlock(dst, size < 0 ? 0 : size + 1, src, size, maxSymbols);
    }

    int FSE_compress_Nsymbols(std::uint8_t* dst, const std::uint8_t* src, int size, int nbSymbols)
    {
        return compressBlock(dst, size < 0 ? 0 : size + 1, src, size, nbSymbols);
    }

    int FSE_compress_Nsymbols(std::uint8_t* dst, const std::uint8_t* src, int size, int nbSymbols, int dstCapacity)
    {
        return compressBlock(dst, dstCapacity, src, size, nbSymbols);
    }

    int FSE_encode_generic(std::uint8_t* dst, const std::uint8_t* src, int size, const std::uint16_t* counts,
                           int nbSymbols, int dstCapacity)
    {
        return encodeChecked(dst, src, size, counts, nbSymbols, dstCapacity);
    }

    int FSE_encode(std::uint8_t* dst, const std::uint8_t* src, int size, const std::uint16_t* counts, int dstCapacity)
    {
        return encodeChecked(dst, src, size, counts, maxSymbols, dstCapacity);
    }

    int FSE_decode_generic(std::uint8_t* dst, int size, const std::uint8_t* src, const std::uint16_t* counts,
                           int nbSymbols, int srcSize)
    {
        if ((dst == nullptr && size > 0) || size < 0 || src == nullptr || ! isDistribution(counts, nbSymbols))
            return 0;
        DecodeEntry table[tableSize];
        buildDecodeTable(counts, nbSymbols, table);
        return decodeStream(dst, size, src, srcSize, table);
    }

    int FSE_decode(std::uint8_t* dst, int size, const std::uint8_t* src, const std::uint16_t* counts, int srcSize)
    {
        return FSE_decode_generic(dst, size, src, counts, maxSymbols, srcSize);
    }

    int FSE_decodeRaw(std::uint8_t* dst, int size, const std::uint8_t* src, int srcSize)
    {
        if (size < 0 || src == nullptr || (dst == nullptr && size > 0) || srcSize - 1 < size)
            return 0;
        if (size > 0)
            std::memcpy(dst, src + 1, static_cast<size_t>(size));
        return size + 1;
    }

    int FSE_decodeSingleSymbol(std::uint8_t* dst, int size, std::uint8_t symbol)
    {
        if (size < 0 || (dst == nullptr && size > 0))
            return 0;
        if (size > 0)
            std::memset(dst, symbol, static_cast<size_t>(size));
        return 2;
    }

    int FSE_decompress(std::uint8_t* dst, int size, const std::uint8_t* src, int srcSize)
    {
        if (src == nullptr || srcSize < 1 || size < 0)
            return 0;
        switch (src[0] & 3)
        {
            case rawBlock:
                return FSE_decodeRaw(dst, size, src, srcSize);
            case singleSymbolBlock:
                return srcSize >= 2 ? FSE_decodeSingleSymbol(dst, size, src[1]) : 0;
            case codedBlock:
            {
                std::uint16_t counts[maxSymbols];
                const int headerBytes = readHeader(src, srcSize, counts);
                if (headerBytes == 0)
                    return 0;
                const int streamBytes =
                    FSE_decode_generic(dst, size, src + headerBytes, counts, maxSymbols, srcSize - headerBytes);
                return streamBytes > 0 ? headerBytes + streamBytes : 0;
            }
            default:
                return 0;
        }
    }
}
