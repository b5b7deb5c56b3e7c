#include "engine/video/formats/VXRecordStreams.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "core/VXInputStream.h"
#include "core/VXOutputStream.h"

namespace vx::test
{
    namespace
    {
        // Byte streams over a vector, so the exact bytes can be compared.
        class VectorOutput : public OutputStream
        {
        public:
            std::vector<unsigned char> bytes;
            unsigned long long position = 0;

            void setPosition(unsigned long long p) override { position = p; }
            long long getPosition() const override { return static_cast<long long>(position); }
            unsigned long long writeBytes(const void* source, unsigned long long count) override
            {
                if (count == 0)
                    return 0;
                if (bytes.size() < position + count)
                    bytes.resize(position + count);
                std::memcpy(bytes.data() + position, source, count);
                position += count;
                return count;
            }
        };

        class VectorInput : public InputStream
        {
        public:
            explicit VectorInput(std::vector<unsigned char> b) : bytes(std::move(b)) {}
            std::vector<unsigned char> bytes;
            unsigned long long position = 0;

            void setPosition(unsigned long long p) override { position = p; }
            long long getPosition() const override { return static_cast<long long>(position); }
            unsigned long long getTotalSize() const override { return bytes.size(); }
            unsigned long long readBytes(void* destination, unsigned long long count) override
            {
                const unsigned long long n = std::min<unsigned long long>(count, bytes.size() - position);
                if (n == 0)
                    return 0;
                std::memcpy(destination, bytes.data() + position, n);
                position += n;
                return n;
            }
        };

        using Bytes = std::vector<unsigned char>;
    }

    TEST(RecordStreamsTest, IntegersGoLeastSignificantByteFirst)
    {
        VectorOutput out;
        EXPECT_EQ(write_uint32(out, 1u), 4u);
        EXPECT_EQ(write_uint16(out, 0x1234), 2u);
        EXPECT_EQ(write_uint64(out, 0x0807060504030201ull), 8u);
        EXPECT_EQ(out.bytes, (Bytes{1, 0, 0, 0, 0x34, 0x12, 1, 2, 3, 4, 5, 6, 7, 8}));
    }

    TEST(RecordStreamsTest, ReadingGivesTheValuesBack)
    {
        VectorInput in(Bytes{1, 2, 3, 4, 5, 6, 7, 8, 0x34, 0x12, 0x78, 0x56, 0x34, 0x12, 2});
        unsigned long long wide = 0;
        unsigned short half = 0;
        unsigned int word = 0;
        bool flag = false;
        EXPECT_EQ(read_uint64(in, wide), 8u);
        EXPECT_EQ(wide, 0x0807060504030201ull);
        EXPECT_EQ(read_uint16(in, half), 2u);
        EXPECT_EQ(half, 0x1234);
        EXPECT_EQ(read_uint32(in, word), 4u);
        EXPECT_EQ(word, 0x12345678u);
        // A stored byte other than 0 or 1 still reads as a proper true.
        EXPECT_EQ(read_bool(in, flag), 1u);
        EXPECT_TRUE(flag);
        // At the end: nothing read, the target untouched.
        word = 77;
        EXPECT_EQ(read_uint32(in, word), 0u);
        EXPECT_EQ(word, 77u);
    }

    TEST(RecordStreamsTest, StringsAndArraysAreTheirBytesOnly)
    {
        VectorOutput out;
        EXPECT_EQ(write_string(out, ""), 0u);
        EXPECT_EQ(write_string(out, "abc"), 3u);
        const unsigned short halves[2] = {0x0102, 0x0304};
        EXPECT_EQ(write_n_uint16(out, halves, 0), 0u);
        EXPECT_EQ(write_n_uint16(out, halves, 2), 4u);
        const float one = 1.0f;
        EXPECT_EQ(write_float(out, one), 4u);
        EXPECT_EQ(out.bytes, (Bytes{'a', 'b', 'c', 2, 1, 4, 3, 0, 0, 0x80, 0x3F}));

        VectorInput in(out.bytes);
        char text[3] = {};
        unsigned short back[2] = {};
        float f = 0;
        EXPECT_EQ(read_n_char(in, text, 3), 3u);
        EXPECT_EQ(read_n_uint16(in, back, 2), 4u);
        EXPECT_EQ(read_float(in, f), 4u);
        EXPECT_EQ(std::string(text, 3), "abc");
        EXPECT_EQ(back[1], 0x0304);
        EXPECT_EQ(f, 1.0f);
    }

    TEST(RecordStreamsTest, MemstreamReadsAndSeeksInsideItsRange)
    {
        const char bytes[] = "hello";
        memstream empty(bytes, bytes);
        EXPECT_EQ(empty.get(), std::char_traits<char>::eof());
        EXPECT_TRUE(empty.eof());

        memstream stream(bytes, bytes + 5);
        std::string word;
        stream >> word;
        EXPECT_EQ(word, "hello");
        stream.clear();
        stream.seekg(1);
        EXPECT_EQ(stream.get(), 'e');
        // A seek past either end fails and leaves the position alone.
        stream.seekg(6);
        EXPECT_TRUE(stream.fail());
        stream.clear();
        EXPECT_EQ(stream.get(), 'l');
        stream.seekg(-1, std::ios_base::end);
        EXPECT_EQ(stream.get(), 'o');
    }
}
