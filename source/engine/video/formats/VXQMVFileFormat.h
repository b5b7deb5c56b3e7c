#pragma once

#include <cstdint>
#include <vector>

// The engine's own containers, little-endian throughout.
//
// QMV movie:
//   0   "RQMV", u16 0, u16 0, u32 1, complete flag (1 byte), 3 bytes 0
//   16  thumbnail: u16 W, u16 H, W x H x 4 bytes of RGBA8
//   T = 20 + 4WH
//   T   video information: u16 width, u16 height, f32 fps, u32 FourCC of
//       frame 0's header (as that header stores it), u16 version, u16 sub-version
//   T+16 audio information: u32 offset (0: none), u32 size, 4 extension bytes
//   T+28 u32 frame count N, then N x (u32 offset from the file's start, u32 size)
//   then the QMV frames in order, then the appended audio.
//
// QMI image: "MIMQ", u8 1, u8 0, u16 0, u32 width, u32 height (16 bytes),
// then one QMV frame to the end of the file.

namespace vx
{
    class InputStream;
    class OutputStream;

    constexpr std::uint32_t qmvMagic = 0x564D5152u; // "RQMV" in file order
    constexpr std::uint32_t qmiMagic = 0x514D494Du; // "MIMQ" in file order

    struct QMVFileHeader
    {
        // The magic, the two zeros and the 1; not complete.
        QMVFileHeader();
        // The magic and the fixed fields are what a QMV file holds.
        bool isValid() const;

        std::uint32_t magic;
        std::uint16_t zero1;
        std::uint16_t zero2;
        std::uint32_t one;
        bool complete = false;
        char reserved[3] = {0, 0, 0};
    };

    struct QMVThumbnail
    {
        std::uint16_t width = 0;
        std::uint16_t height = 0;
        // width x height x 4 bytes once read or allocated; empty before.
        std::vector<unsigned char> pixels;

        std::uint64_t getPixelBytes() const { return std::uint64_t(width) * height * 4; }
    };

    struct QMVVideoInfo
    {
        std::uint16_t width = 0;
        std::uint16_t height = 0;
        float fps = 0.0f;
        std::uint32_t fourcc = 0;
        std::uint16_t version = 0;
        std::uint16_t subVersion = 0;
    };

    struct QMVAudioInfo
    {
        std::uint32_t offset = 0;
        std::uint32_t size = 0;
        char extension[4] = {0, 0, 0, 0};
    };

    struct QMVFrameTableEntry
    {
        std::uint32_t offset = 0;
        std::uint32_t size = 0;
    };

    struct QMVFrameTable
    {
        std::uint32_t count = 0;
        // count entries once read or allocated.
        std::vector<QMVFrameTableEntry> entries;
    };

    static_assert(sizeof(QMVFileHeader) == 16 && sizeof(QMVVideoInfo) == 16 && sizeof(QMVAudioInfo) == 12 &&
                  sizeof(QMVFrameTableEntry) == 8);

    struct QMIFileHeader
    {
        std::uint32_t magic = qmiMagic;
        std::uint8_t one = 1;
        std::uint8_t zero = 0;
        std::uint16_t reserved = 0;
        std::uint32_t width = 0;
        std::uint32_t height = 0;

        bool isValid() const { return magic == qmiMagic; }
    };
    constexpr int qmiHeaderSize = 16;

    // Record functions: each answers the bytes its record moved (all of them
    // when complete). The array forms of the thumbnail and the frame table go
    // element by element. read_QMVThumbnail and read_QMVFrameTable allocate
    // what the stored sizes ask for; a caller reading outside input checks
    // those sizes first (QMVFileFormat::read does).
    unsigned write_QMVFileHeader(OutputStream& stream, const QMVFileHeader& header);
    unsigned read_QMVFileHeader(InputStream& stream, QMVFileHeader& header);
    unsigned write_n_QMVFileHeader(OutputStream& stream, const QMVFileHeader* headers, unsigned count);
    unsigned read_n_QMVFileHeader(InputStream& stream, QMVFileHeader* headers, unsigned count);
    unsigned long long write_QMVThumbnail(OutputStream& stream, const QMVThumbnail& thumbnail);
    unsigned long long read_QMVThumbnail(InputStream& stream, QMVThumbnail& thumbnail);
    unsigned long long write_n_QMVThumbnail(OutputStream& stream, const QMVThumbnail* thumbnails, unsigned count);
    unsigned long long read_n_QMVThumbnail(InputStream& stream, QMVThumbnail* thumbnails, unsigned count);
    unsigned write_QMVVideoInfo(OutputStream& stream, const QMVVideoInfo& info);
    unsigned read_QMVVideoInfo(InputStream& stream, QMVVideoInfo& info);
    unsigned write_n_QMVVideoInfo(OutputStream& stream, const QMVVideoInfo* infos, unsigned count);
    unsigned read_n_QMVVideoInfo(InputStream& stream, QMVVideoInfo* infos, unsigned count);
    unsigned write_QMVAudioInfo(OutputStream& stream, const QMVAudioInfo& info);
    unsigned read_QMVAudioInfo(InputStream& stream, QMVAudioInfo& info);
    unsigned write_n_QMVAudioInfo(OutputStream& stream, const QMVAudioInfo* infos, unsigned count);
    unsigned read_n_QMVAudioInfo(InputStream& stream, QMVAudioInfo* infos, unsigned count);
    unsigned write_QMVFrameTableEntry(OutputStream& stream, const QMVFrameTableEntry& entry);
    unsigned read_QMVFrameTableEntry(InputStream& stream, QMVFrameTableEntry& entry);
    unsigned write_n_QMVFrameTableEntry(OutputStream& stream, const QMVFrameTableEntry* entries, unsigned count);
    unsigned read_n_QMVFrameTableEntry(InputStream& stream, QMVFrameTableEntry* entries, unsigned count);
    unsigned long long write_QMVFrameTable(OutputStream& stream, const QMVFrameTable& table);
    unsigned long long read_QMVFrameTable(InputStream& stream, QMVFrameTable& table);
    unsigned long long write_n_QMVFrameTable(OutputStream& stream, const QMVFrameTable* tables, unsigned count);
    unsigned long long read_n_QMVFrameTable(InputStream& stream, QMVFrameTable* tables, unsigned count);
    unsigned write_QMIFileHeader(OutputStream& stream, const QMIFileHeader& header);
    unsigned read_QMIFileHeader(InputStream& stream, QMIFileHeader& header);

    // A QMV file's records, read and written through positioned streams. One
    // thread at a time. Nothing is logged: callers name the file.
    class QMVFileFormat
    {
    public:
        // Resets every field, then reads the records. False for a wrong magic
        // or fixed field, a short read, a thumbnail or frame table larger than
        // the stream, or a table entry reaching past the stream's end; nothing
        // is allocated beyond what the stream can hold.
        bool read(InputStream& stream);
        // False for an invalid header or a short write.
        bool write(OutputStream& stream) const;
        // Frame index into buffer: false for an index outside the table, a
        // frame larger than capacity (nothing read) or a short read.
        bool readFrame(InputStream& stream, unsigned index, unsigned char* buffer, unsigned long capacity) const;
        // Writes the frame at the stream's position and records it in the
        // table. False for an index outside the table, a frame whose offset or
        // end would pass the 32-bit offsets (nothing written), or a short write.
        bool writeFrame(OutputStream& stream, unsigned index, const unsigned char* data, unsigned long size);

        // Bytes before the first frame: header, thumbnail, both informations,
        // the count and the table.
        std::uint64_t getHeaderBytes() const;
        // The largest frame in the table; 0 for an empty one.
        std::uint32_t getMaxFrameSize() const;

        QMVFileHeader header;
        QMVThumbnail thumbnail;
        QMVVideoInfo videoInfo;
        QMVAudioInfo audioInfo;
        QMVFrameTable frameTable;
    };
}
