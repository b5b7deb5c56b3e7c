#include "engine/video/codecs/VXUVM.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace vx
{
    namespace
    {
        constexpr std::uint16_t visibleAlpha = 768;
        constexpr std::uint16_t opaqueAlpha = 64512;
        constexpr int rawSegmentBelow = 6;
        // Flat prediction holds while the residual stays this close to the knot's.
        constexpr int flatTolerance = 7;
        // Largest error of an interpolated value the encoder accepts.
        constexpr int interpolationTolerance = 8;
        constexpr unsigned longZ = 0xFFFF;
        constexpr int maxRunCount = 0x7FFF;

        bool sidesValid(unsigned long width, unsigned long height)
        {
            return width >= 1 && height >= 1 && width <= UVM_maxSide && height <= UVM_maxSide;
        }

        class Writer
        {
        public:
            Writer(std::uint8_t* out, unsigned long capacity) : out(out), capacity(capacity) {}

            void u8(unsigned v)
            {
                if (at >= capacity)
                {
                    overflow = true;
                    return;
                }
                out[at++] = static_cast<std::uint8_t>(v);
            }
            void u16(unsigned v)
            {
                u8(v & 0xFF);
                u8((v >> 8) & 0xFF);
            }
            void u32(unsigned long v)
            {
                u16(v & 0xFFFF);
                u16((v >> 16) & 0xFFFF);
            }

            std::uint8_t* out;
            unsigned long capacity;
            unsigned long at = 0;
            bool overflow = false;
        };

        class Reader
        {
        public:
            Reader(const std::uint8_t* in, unsigned long size) : in(in), size(size) {}

            bool u8(unsigned& v)
            {
                if (at >= size)
                    return false;
                v = in[at++];
                return true;
            }
            bool u16(unsigned& v)
            {
                if (size - at < 2 || at > size)
                    return false;
                v = in[at] | (unsigned(in[at + 1]) << 8);
                at += 2;
                return true;
            }
            bool u32(unsigned long& v)
            {
                unsigned lo, hi;
                if (! u16(lo) || ! u16(hi))
                    return false;
                v = lo | (static_cast<unsigned long>(hi) << 16);
                return true;
            }

            const std::uint8_t* in;
            unsigned long size;
            unsigned long at = 0;
        };

        int clampValue(long v) { return static_cast<int>(std::clamp(v, 0L, 65535L)); }

        // One channel's linear segment between knots, as the decoder runs it.
        struct Span
        {
            long running = 0;
            long slope = 0;

            // Starts at a knot whose residual is r0; the next knot, n pixels on,
            // has the value next over aboveNext.
            void start(int r0, int next, int aboveNext, int n)
            {
                slope = (static_cast<long>(next - r0 - aboveNext) * 4096) / n;
                running = static_cast<long>(r0) * 4096 + slope + 2048;
            }
            int step(int above)
            {
                const int v = clampValue((running >> 12) + above);
                running += slope;
                return v;
            }
        };

        // A knot of one channel: its word and the distance to the next knot.
        struct Knot
        {
            int word = 0;
            int distance = 0;
        };

        // Plans one channel of a predicted segment: the knot words at each knot
        // pixel (distance 0 elsewhere) and the values the decoder will produce.
        void planChannel(const int* value, const int* above, int n, Knot* knots, int* decoded)
        {
            decoded[0] = value[0];
            int p = 0;
            while (p < n - 1)
            {
                const int r0 = decoded[p] - above[p];
                int k = 1;
                while (k < n - p && std::abs(above[p + k] + r0 - value[p + k]) <= flatTolerance)
                    ++k;

                int chosen = 0;
                int candidate = p + k - 1;
                while (k >= 3 && candidate - p >= 2)
                {
                    const int distance = candidate - p;
                    const int word = value[candidate] & 0xFFFE;
                    Span span;
                    span.start(r0, word, above[candidate], distance);
                    int failed = 0;
                    for (int j = 1; j < distance; ++j)
                    {
                        const int v = span.step(above[p + j]);
                        if (std::abs(v - value[p + j]) > interpolationTolerance)
                        {
                            failed = j;
                            break;
                        }
                        decoded[p + j] = v;
                    }
                    if (failed == 0)
                    {
                        chosen = candidate;
                        knots[p] = {word, distance};
                        decoded[candidate] = word;
                        break;
                    }
                    candidate = p + failed - 1;
                }
                if (chosen == 0)
                {
                    chosen = p + 1;
                    knots[p] = {value[p + 1] | 1, 1};
                    decoded[p + 1] = knots[p].word;
                }
                p = chosen;
            }
        }

        // Opaque pixels from i on within the segment (at most maxRunCount + 1).
        int opaqueRunFrom(const std::uint16_t* src, int i, int n)
        {
            int end = i;
            while (end < n && end - i <= maxRunCount && src[4 * end + 3] >= opaqueAlpha)
                ++end;
            return end - i;
        }

        void writeRunCount(Writer& out, int count)
        {
            if (count < 128)
                out.u8(unsigned(count));
            else
            {
                out.u8(0x80 | unsigned(count >> 8));
                out.u8(unsigned(count & 0xFF));
            }
        }

        // The encoder's picture of what the decoder has: U and V of the current
        // and the previous row.
        struct Rows
        {
            explicit Rows(unsigned long width) : width(width), values(4 * width, 0) {}

            int* channel(unsigned long row, int c) { return values.data() + ((row & 1) * 2 + c) * width; }
            void set(unsigned long index, int u, int v)
            {
                const unsigned long row = index / width, x = index % width;
                channel(row, 0)[x] = u;
                channel(row, 1)[x] = v;
            }

            unsigned long width;
            std::vector<int> values;
        };

        void writePredicted(Writer& out, const std::uint16_t* src, int n, const int* aboveU, const int* aboveV,
                            int* rowU, int* rowV)
        {
            std::vector<int> value(2 * static_cast<size_t>(n));
            std::vector<Knot> knots(2 * static_cast<size_t>(n));
            for (int i = 0; i < n; ++i)
            {
                value[size_t(i)] = src[4 * i];
                value[size_t(n + i)] = src[4 * i + 1];
            }
            planChannel(value.data(), aboveU, n, knots.data(), rowU);
            planChannel(value.data() + n, aboveV, n, knots.data() + n, rowV);

            out.u16(unsigned(value[0]));
            out.u16(unsigned(value[size_t(n)]));
            int pending = 0;
            for (int i = 0; i < n - 1; ++i)
            {
                for (int c = 0; c < 2; ++c)
                {
                    const Knot& knot = knots[size_t(c * n + i)];
                    if (knot.distance == 0)
                        continue;
                    out.u16(unsigned(knot.word));
                    if ((knot.word & 1) == 0)
                        out.u16(unsigned(knot.distance));
                }
                if (pending > 0)
                    --pending;
                else if (src[4 * i + 3] >= opaqueAlpha)
                {
                    pending = std::min(opaqueRunFrom(src, i + 1, n), maxRunCount);
                    out.u8(255);
                    writeRunCount(out, pending);
                }
                else
                    out.u8(src[4 * i + 3] >> 8);
            }
            if (pending == 0)
                out.u8(src[4 * (n - 1) + 3] >> 8);
        }

        // Where decoded pixels go: the RGBA16 image or the two planes.
        struct RGBA16Sink
        {
            std::uint16_t* dst;
            unsigned long pixels;

            void put(unsigned long i, int u, int v, int a)
            {
                std::uint16_t* p = dst + 4 * i;
                p[0] = static_cast<std::uint16_t>(u);
                p[1] = static_cast<std::uint16_t>(v);
                p[2] = 0;
                p[3] = static_cast<std::uint16_t>(a);
            }
            int u(unsigned long i) const { return dst[4 * i]; }
            int v(unsigned long i) const { return dst[4 * i + 1]; }
            void zero(unsigned long from, unsigned long to)
            {
                std::memset(dst + 4 * from, 0, (to - from) * 8);
            }
            unsigned long bytes() const { return pixels * 8; }
        };

        struct LA16A8Sink
        {
            std::uint8_t* dst;
            unsigned long pixels;

            void put(unsigned long i, int u, int v, int a)
            {
                const std::uint16_t uv[2] = {static_cast<std::uint16_t>(u), static_cast<std::uint16_t>(v)};
                std::memcpy(dst + 4 * i, uv, 4);
                dst[4 * pixels + i] = static_cast<std::uint8_t>(a >> 8);
            }
            int u(unsigned long i) const
            {
                std::uint16_t w;
                std::memcpy(&w, dst + 4 * i, 2);
                return w;
            }
            int v(unsigned long i) const
            {
                std::uint16_t w;
                std::memcpy(&w, dst + 4 * i + 2, 2);
                return w;
            }
            void zero(unsigned long from, unsigned long to)
            {
                std::memset(dst + 4 * from, 0, (to - from) * 4);
                std::memset(dst + 4 * pixels + from, 0, to - from);
            }
            unsigned long bytes() const { return pixels * 5; }
        };

        // One channel of a predicted segment while decoding.
        struct ChannelState
        {
            int nextKnot = 0;
            int knotValue = 0;
            Span span;
        };

        template <typename Sink>
        bool decodePredicted(Reader& in, Sink& out, unsigned long start, unsigned long width, int n)
        {
            unsigned u0, v0;
            if (! in.u16(u0) || ! in.u16(v0))
                return false;
            ChannelState channels[2];
            channels[0].knotValue = int(u0);
            channels[1].knotValue = int(v0);
            int pending = 0;
            for (int i = 0; i < n - 1; ++i)
            {
                int values[2];
                for (int c = 0; c < 2; ++c)
                {
                    ChannelState& s = channels[c];
                    const unsigned long at = start + unsigned(i);
                    const int above = c == 0 ? out.u(at - width) : out.v(at - width);
                    if (s.nextKnot != i)
                    {
                        values[c] = s.span.step(above);
                        continue;
                    }
                    values[c] = s.knotValue;
                    unsigned word, distance = 1;
                    if (! in.u16(word) || ((word & 1) == 0 && ! in.u16(distance)))
                        return false;
                    if (distance == 0 || i + int(distance) > n - 1)
                        return false;
                    const unsigned long next = at + distance - width;
                    s.span.start(s.knotValue - above, int(word), c == 0 ? out.u(next) : out.v(next), int(distance));
                    s.nextKnot = i + int(distance);
                    s.knotValue = int(word);
                }
                int alpha;
                if (pending > 0)
                {
                    --pending;
                    alpha = 65535;
                }
                else
                {
                    unsigned a;
                    if (! in.u8(a))
                        return false;
                    alpha = int(a) * 257;
                    if (a == 255)
                    {
                        unsigned first, second = 0;
                        if (! in.u8(first) || ((first & 0x80) != 0 && ! in.u8(second)))
                            return false;
                        pending = (first & 0x80) != 0 ? int(((first & 0x7F) << 8) + second) : int(first);
                    }
                }
                out.put(start + unsigned(i), values[0], values[1], alpha);
            }
            int alpha = 65535;
            if (pending == 0)
            {
                unsigned a;
                if (! in.u8(a))
                    return false;
                alpha = int(a << 8);
            }
            out.put(start + unsigned(n - 1), channels[0].knotValue, channels[1].knotValue, alpha);
            return true;
        }

        template <typename Sink>
        unsigned long decode(Sink out, unsigned long width, unsigned long height, const std::uint8_t* src,
                             unsigned long srcSize)
        {
            if (out.dst == nullptr || src == nullptr || ! sidesValid(width, height))
                return 0;
            const unsigned long total = width * height;
            Reader in(src, srcSize);
            unsigned long pos;
            if (! in.u32(pos) || pos > total)
                return 0;
            out.zero(0, pos);
            while (pos < total)
            {
                unsigned n;
                if (! in.u16(n))
                    return 0;
                const unsigned long x = pos % width;
                if (n == 0 || n > width - x)
                    return 0;
                if (pos < width || n < unsigned(rawSegmentBelow))
                {
                    for (unsigned i = 0; i < n; ++i)
                    {
                        unsigned u, v, a;
                        if (! in.u16(u) || ! in.u16(v) || ! in.u16(a))
                            return 0;
                        out.put(pos + i, int(u), int(v), int(a));
                    }
                }
                else if (! decodePredicted(in, out, pos, width, int(n)))
                    return 0;
                pos += n;

                unsigned z16;
                if (! in.u16(z16))
                    return 0;
                unsigned long z = z16;
                if (z16 == longZ && ! in.u32(z))
                    return 0;
                if (z == 0)
                {
                    if (pos == total || pos % width != 0)
                        break;
                    continue;
                }
                if (z > total - pos)
                    return 0;
                out.zero(pos, pos + z);
                pos += z;
            }
            out.zero(pos, total);
            return out.bytes();
        }
    }

    unsigned long UVM_compress_RGBA16(std::uint8_t* dst, unsigned long dstCapacity, const std::uint16_t* src,
                                      unsigned long srcSize, unsigned long width, unsigned long height)
    {
        if (dst == nullptr || src == nullptr || ! sidesValid(width, height))
            return 0;
        const unsigned long total = width * height;
        if (srcSize / 8 < total)
            return 0;
        const auto visible = [src](unsigned long i) { return src[4 * i + 3] >= visibleAlpha; };

        Writer out(dst, dstCapacity);
        Rows rows(width);
        unsigned long pos = 0;
        while (pos < total && ! visible(pos))
            rows.set(pos++, 0, 0);
        out.u32(pos);
        while (pos < total && ! out.overflow)
        {
            const unsigned long row = pos / width, x = pos % width;
            unsigned long end = x;
            while (end < width && visible(row * width + end))
                ++end;
            const int n = int(end - x);
            out.u16(unsigned(n));
            if (row == 0 || n < rawSegmentBelow)
            {
                for (int i = 0; i < n; ++i)
                {
                    const std::uint16_t* p = src + 4 * (pos + unsigned(i));
                    out.u16(p[0]);
                    out.u16(p[1]);
                    out.u16(p[3]);
                    rows.set(pos + unsigned(i), p[0], p[1]);
                }
            }
            else
                writePredicted(out, src + 4 * pos, n, rows.channel(row - 1, 0) + x, rows.channel(row - 1, 1) + x,
                               rows.channel(row, 0) + x, rows.channel(row, 1) + x);
            pos += unsigned(n);

            unsigned long z = 0;
            while (pos + z < total && ! visible(pos + z))
                rows.set(pos + z++, 0, 0);
            if (z < longZ)
                out.u16(unsigned(z));
            else
            {
                out.u16(longZ);
                out.u32(z);
            }
            pos += z;
        }
        return out.overflow ? 0 : out.at;
    }

    unsigned long UVM_decompress_RGBA16(std::uint16_t* dst, unsigned long width, unsigned long height,
                                        const std::uint8_t* src, unsigned long srcSize)
    {
        return decode(RGBA16Sink{dst, width * height}, width, height, src, srcSize);
    }

    unsigned long UVM_decompress_LA16A8(std::uint8_t* dst, unsigned long width, unsigned long height,
                                        const std::uint8_t* src, unsigned long srcSize)
    {
        return decode(LA16A8Sink{dst, width * height}, width, height, src, srcSize);
    }
}
