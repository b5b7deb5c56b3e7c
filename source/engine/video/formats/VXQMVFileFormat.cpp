#include "engine/video/formats/VXQMVFileFormat.h"

#include "core/VXBitUtils.h"
#include "core/VXInputStream.h"
#include "core/VXOutputStream.h"
#include "engine/video/formats/VXRecordStreams.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace vx
{
    namespace
    {
        constexpr std::uint64_t maxOffset = 0xFFFFFFFFull;
        constexpr std::uint64_t fixedBytes = 16 + 4 + 16 + 12 + 4; // all but the pixels and the table

        template <typename Record, typename Single>
        unsigned writeRecords(OutputStream& stream, const Record* records, unsigned count, Single single)
        {
            if constexpr (isLittleEndian())
                return static_cast<unsigned>(stream.writeBytes(records, std::uint64_t(sizeof(Record)) * count));
            unsigned total = 0;
            for (unsigned i = 0; i < count; ++i)
                total += single(stream, records[i]);
            return total;
        }

        template <typename Record, typename Single>
        unsigned readRecords(InputStream& stream, Record* records, unsigned count, Single single)
        {
            if constexpr (isLittleEndian())
                return static_cast<unsigned>(stream.readBytes(records, std::uint64_t(sizeof(Record)) * count));
            unsigned total = 0;
            for (unsigned i = 0; i < count; ++i)
                total += single(stream, records[i]);
            return total;
        }

        bool allocate(std::vector<unsigned char>& bytes, std::uint64_t size)
        {
            try
            {
                bytes.assign(static_cast<std::size_t>(size), 0);
                return true;
            }
            catch (const std::bad_alloc&)
            {
                bytes.clear();
                return false;
            }
        }
    }

    QMVFileHeader::QMVFileHeader() : magic(qmvMagic), zero1(0), zero2(0), one(1) {}

    bool QMVFileHeader::isValid() const
    {
        return magic == qmvMagic && zero1 == 0 && zero2 == 0 && one == 1;
    }

    unsigned write_QMVFileHeader(OutputStream& stream, const QMVFileHeader& header)
    {
        return write_uint32(stream, header.magic) + write_uint16(stream, header.zero1) +
               write_uint16(stream, header.zero2) + write_uint32(stream, header.one) +
               write_bool(stream, header.complete) + write_n_char(stream, header.reserved, 3);
    }

    unsigned read_QMVFileHeader(InputStream& stream, QMVFileHeader& header)
    {
        return read_uint32(stream, header.magic) + read_uint16(stream, header.zero1) +
               read_uint16(stream, header.zero2) + read_uint32(stream, header.one) +
               read_bool(stream, header.complete) + read_n_char(stream, header.reserved, 3);
    }

    unsigned write_n_QMVFileHeader(OutputStream& stream, const QMVFileHeader* headers, unsigned count)
    {
        return writeRecords(stream, headers, count, write_QMVFileHeader);
    }

    unsigned read_n_QMVFileHeader(InputStream& stream, QMVFileHeader* headers, unsigned count)
    {
        // Field by field on every host: a stored flag byte other than 0 or 1
        // must not land in a bool as it lies.
        unsigned total = 0;
        for (unsigned i = 0; i < count; ++i)
            total += read_QMVFileHeader(stream, headers[i]);
        return total;
    }

    unsigned long long write_QMVThumbnail(OutputStream& stream, const QMVThumbnail& thumbnail)
    {
        unsigned long long total = write_uint16(stream, thumbnail.width) + write_uint16(stream, thumbnail.height);
        const std::uint64_t bytes = thumbnail.getPixelBytes();
        if (bytes == 0)
            return total;
        if (thumbnail.pixels.size() < bytes)
            return total; // nothing to write the pixels from: a short record
        return total + stream.writeBytes(thumbnail.pixels.data(), bytes);
    }

    unsigned long long read_QMVThumbnail(InputStream& stream, QMVThumbnail& thumbnail)
    {
        unsigned long long total = read_uint16(stream, thumbnail.width) + read_uint16(stream, thumbnail.height);
        if (total != 4 || ! allocate(thumbnail.pixels, thumbnail.getPixelBytes()))
            return total;
        if (thumbnail.pixels.empty())
            return total;
        return total + stream.readBytes(thumbnail.pixels.data(), thumbnail.pixels.size());
    }

    unsigned long long write_n_QMVThumbnail(OutputStream& stream, const QMVThumbnail* thumbnails, unsigned count)
    {
        unsigned long long total = 0;
        for (unsigned i = 0; i < count; ++i)
            total += write_QMVThumbnail(stream, thumbnails[i]);
        return total;
    }

    unsigned long long read_n_QMVThumbnail(InputStream& stream, QMVThumbnail* thumbnails, unsigned count)
    {
        unsigned long long total = 0;
        for (unsigned i = 0; i < count; ++i)
            total += read_QMVThumbnail(stream, thumbnails[i]);
        return total;
    }

    unsigned write_QMVVideoInfo(OutputStream& stream, const QMVVideoInfo& info)
    {
        return write_uint16(stream, info.width) + write_uint16(stream, info.height) + write_float(stream, info.fps) +
               write_uint32(stream, info.fourcc) + write_uint16(stream, info.version) +
               write_uint16(stream, info.subVersion);
    }

    unsigned read_QMVVideoInfo(InputStream& stream, QMVVideoInfo& info)
    {
        return read_uint16(stream, info.width) + read_uint16(stream, info.height) + read_float(stream, info.fps) +
               read_uint32(stream, info.fourcc) + read_uint16(stream, info.version) +
               read_uint16(stream, info.subVersion);
    }

    unsigned write_n_QMVVideoInfo(OutputStream& stream, const QMVVideoInfo* infos, unsigned count)
    {
        return writeRecords(stream, infos, count, write_QMVVideoInfo);
    }

    unsigned read_n_QMVVideoInfo(InputStream& stream, QMVVideoInfo* infos, unsigned count)
    {
        return readRecords(stream, infos, count, read_QMVVideoInfo);
    }

    unsigned write_QMVAudioInfo(OutputStream& stream, const QMVAudioInfo& info)
    {
        return write_uint32(stream, info.offset) + write_uint32(stream, info.size) +
               write_n_char(stream, info.extension, 4);
    }

    unsigned read_QMVAudioInfo(InputStream& stream, QMVAudioInfo& info)
    {
        return read_uint32(stream, info.offset) + read_uint32(stream, info.size) +
               read_n_char(stream, info.extension, 4);
    }

    unsigned write_n_QMVAudioInfo(OutputStream& stream, const QMVAudioInfo* infos, unsigned count)
    {
        return writeRecords(stream, infos, count, write_QMVAudioInfo);
    }

    unsigned read_n_QMVAudioInfo(InputStream& stream, QMVAudioInfo* infos, unsigned count)
    {
        return readRecords(stream, infos, count, read_QMVAudioInfo);
    }

    unsigned write_QMVFrameTableEntry(OutputStream& stream, const QMVFrameTableEntry& entry)
    {
        return write_uint32(stream, entry.offset) + write_uint32(stream, entry.size);
    }

    unsigned read_QMVFrameTableEntry(InputStream& stream, QMVFrameTableEntry& entry)
    {
        return read_uint32(stream, entry.offset) + read_uint32(stream, entry.size);
    }

    unsigned write_n_QMVFrameTableEntry(OutputStream& stream, const QMVFrameTableEntry* entries, unsigned count)
    {
        return writeRecords(stream, entries, count, write_QMVFrameTableEntry);
    }

    unsigned read_n_QMVFrameTableEntry(InputStream& stream, QMVFrameTableEntry* entries, unsigned count)
    {
        return readRecords(stream, entries, count, read_QMVFrameTableEntry);
    }

    unsigned long long write_QMVFrameTable(OutputStream& stream, const QMVFrameTable& table)
    {
        unsigned long long total = write_uint32(stream, table.count);
        if (table.entries.size() < table.count)
            return total;
        return total + write_n_QMVFrameTableEntry(stream, table.entries.data(), table.count);
    }

    unsigned long long read_QMVFrameTable(InputStream& stream, QMVFrameTable& table)
    {
        unsigned long long total = read_uint32(stream, table.count);
        table.entries.clear();
        if (total != 4 || table.count == 0)
            return total;
        try
        {
            table.entries.resize(table.count);
        }
        catch (const std::bad_alloc&)
        {
            table.entries.clear();
            return total;
        }
        // In slices, so the byte counts stay within 32 bits.
        constexpr unsigned slice = 1u << 24;
        for (unsigned done = 0; done < table.count;)
        {
            const unsigned n = std::min(slice, table.count - done);
            const unsigned got = read_n_QMVFrameTableEntry(stream, table.entries.data() + done, n);
            total += got;
            if (got != n * sizeof(QMVFrameTableEntry))
                break;
            done += n;
        }
        return total;
    }

    unsigned long long write_n_QMVFrameTable(OutputStream& stream, const QMVFrameTable* tables, unsigned count)
    {
        unsigned long long total = 0;
        for (unsigned i = 0; i < count; ++i)
            total += write_QMVFrameTable(stream, tables[i]);
        return total;
    }

    unsigned long long read_n_QMVFrameTable(InputStream& stream, QMVFrameTable* tables, unsigned count)
    {
        unsigned long long total = 0;
        for (unsigned i = 0; i < count; ++i)
            total += read_QMVFrameTable(stream, tables[i]);
        return total;
    }

    unsigned write_QMIFileHeader(OutputStream& stream, const QMIFileHeader& header)
    {
        return write_uint32(stream, header.magic) + write_uint8(stream, header.one) + write_uint8(stream, header.zero) +
               write_uint16(stream, header.reserved) + write_uint32(stream, header.width) +
               write_uint32(stream, header.height);
    }

    unsigned read_QMIFileHeader(InputStream& stream, QMIFileHeader& header)
    {
        return read_uint32(stream, header.magic) + read_uint8(stream, header.one) + read_uint8(stream, header.zero) +
               read_uint16(stream, header.reserved) + read_uint32(stream, header.width) +
               read_uint32(stream, header.height);
    }

    bool QMVFileFormat::read(InputStream& stream)
    {
        *this = QMVFileFormat();
        header.magic = 0;
        header.one = 0;

        const std::uint64_t fileSize = stream.getTotalSize();
        if (read_QMVFileHeader(stream, header) != 16 || ! header.isValid())
            return false;

        // Sizes come from the file: each is checked against what the file can
        // hold before anything is allocated for it.
        std::uint16_t size[2] = {0, 0};
        if (read_uint16(stream, size[0]) + read_uint16(stream, size[1]) != 4)
            return false;
        const std::uint64_t pixelBytes = std::uint64_t(size[0]) * size[1] * 4;
        if (fixedBytes + pixelBytes > fileSize)
            return false;
        stream.setPosition(16);
        if (read_QMVThumbnail(stream, thumbnail) != 4 + pixelBytes)
            return false;

        if (read_QMVVideoInfo(stream, videoInfo) != sizeof(QMVVideoInfo) ||
            read_QMVAudioInfo(stream, audioInfo) != sizeof(QMVAudioInfo))
            return false;

        std::uint32_t count = 0;
        if (read_uint32(stream, count) != 4)
            return false;
        const std::uint64_t tableStart = fixedBytes + pixelBytes;
        if (tableStart + std::uint64_t(count) * sizeof(QMVFrameTableEntry) > fileSize)
            return false;
        stream.setPosition(tableStart - 4);
        if (read_QMVFrameTable(stream, frameTable) != 4 + std::uint64_t(count) * sizeof(QMVFrameTableEntry) ||
            frameTable.entries.size() != count)
            return false;
        for (const QMVFrameTableEntry& entry : frameTable.entries)
            if (std::uint64_t(entry.offset) + entry.size > fileSize)
                return false;
        return true;
    }

    bool QMVFileFormat::write(OutputStream& stream) const
    {
        if (! header.isValid())
            return false;
        if (thumbnail.pixels.size() < thumbnail.getPixelBytes() || frameTable.entries.size() < frameTable.count)
            return false;
        const std::uint64_t expected = getHeaderBytes();
        std::uint64_t written = write_QMVFileHeader(stream, header);
        written += write_QMVThumbnail(stream, thumbnail);
        written += write_QMVVideoInfo(stream, videoInfo);
        written += write_QMVAudioInfo(stream, audioInfo);
        written += write_QMVFrameTable(stream, frameTable);
        return written == expected;
    }

    bool QMVFileFormat::readFrame(InputStream& stream, unsigned index, unsigned char* buffer,
                                  unsigned long capacity) const
    {
        if (index >= frameTable.count || index >= frameTable.entries.size() || buffer == nullptr)
            return false;
        const QMVFrameTableEntry& entry = frameTable.entries[index];
        if (entry.size > capacity)
            return false;
        stream.setPosition(entry.offset);
        return stream.readBytes(buffer, entry.size) == entry.size;
    }

    bool QMVFileFormat::writeFrame(OutputStream& stream, unsigned index, const unsigned char* data,
                                   unsigned long size)
    {
        if (index >= frameTable.count || index >= frameTable.entries.size() || (data == nullptr && size != 0))
            return false;
        const long long position = stream.getPosition();
        if (position < 0 || std::uint64_t(position) + size > maxOffset)
            return false;
        QMVFrameTableEntry& entry = frameTable.entries[index];
        entry.offset = static_cast<std::uint32_t>(position);
        entry.size = static_cast<std::uint32_t>(size);
        return size == 0 || stream.writeBytes(data, size) == size;
    }

    std::uint64_t QMVFileFormat::getHeaderBytes() const
    {
        return fixedBytes + thumbnail.getPixelBytes() + std::uint64_t(frameTable.count) * sizeof(QMVFrameTableEntry);
    }

    std::uint32_t QMVFileFormat::getMaxFrameSize() const
    {
        std::uint32_t largest = 0;
        for (const QMVFrameTableEntry& entry : frameTable.entries)
            largest = std::max(largest, entry.size);
        return largest;
    }
}
