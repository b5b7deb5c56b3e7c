#pragma once

#include <tiffio.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace vx::test
{
    // A TIFF file written straight through libtiff, one strip per row.
    struct RawTiff
    {
        std::uint32_t width = 0, height = 0;
        std::uint16_t bitsPerSample = 8, samplesPerPixel = 1, photometric = PHOTOMETRIC_MINISBLACK;
        std::uint16_t planar = PLANARCONFIG_CONTIG;
        std::uint16_t sampleFormat = SAMPLEFORMAT_UINT;
        std::uint16_t compression = COMPRESSION_NONE;
        std::uint16_t orientation = ORIENTATION_TOPLEFT;
        // Extra samples after the colour ones (EXTRASAMPLE_UNASSALPHA and the like).
        std::vector<std::uint16_t> extraSamples;
        std::vector<std::uint16_t> red, green, blue; // colour map
        // Rows as the file stores them (for separate planes: all rows of
        // plane 0, then plane 1, ...).
        std::vector<std::vector<unsigned char>> rows;
    };

    inline bool writeTiff(const std::string& path, const RawTiff& t)
    {
        TIFF* tiff = TIFFOpen(path.c_str(), "w");
        if (tiff == nullptr)
            return false;
        TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, t.width);
        TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, t.height);
        TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, t.bitsPerSample);
        TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, t.samplesPerPixel);
        TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, t.photometric);
        TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, t.planar);
        TIFFSetField(tiff, TIFFTAG_SAMPLEFORMAT, t.sampleFormat);
        TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, 1u);
        TIFFSetField(tiff, TIFFTAG_COMPRESSION, t.compression);
        if (t.orientation != ORIENTATION_TOPLEFT)
            TIFFSetField(tiff, TIFFTAG_ORIENTATION, t.orientation);
        if (! t.extraSamples.empty())
            TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, static_cast<std::uint16_t>(t.extraSamples.size()),
                         t.extraSamples.data());
        if (! t.red.empty())
            TIFFSetField(tiff, TIFFTAG_COLORMAP, t.red.data(), t.green.data(), t.blue.data());
        bool ok = true;
        const std::uint16_t planes = t.planar == PLANARCONFIG_SEPARATE ? t.samplesPerPixel : 1;
        for (std::uint16_t plane = 0; plane < planes; ++plane)
            for (std::uint32_t y = 0; y < t.height; ++y)
            {
                std::vector<unsigned char> row = t.rows[plane * t.height + y];
                ok = ok && TIFFWriteScanline(tiff, row.data(), y, plane) >= 0;
            }
        TIFFClose(tiff);
        return ok;
    }

    // An uncompressed 8-bit RGB (3 samples) or RGBA (4) TIFF, byte by byte,
    // little-endian: its directory first, then its strips of rowsPerStrip
    // rows, of which only the bytes of pixels are written (fewer than the
    // rows need: a file cut short).
    inline std::string chunkyTiffBytes(std::uint32_t width, std::uint32_t height, std::uint16_t samples,
                                       std::uint32_t rowsPerStrip, const std::vector<unsigned char>& pixels)
    {
        std::string bytes("II*\0\x08\0\0\0", 8);
        auto put = [&](std::uint64_t value, int size)
        {
            for (int i = 0; i < size; ++i)
                bytes.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
        };
        const std::uint64_t stripBytes = std::uint64_t(width) * samples * rowsPerStrip;
        const std::uint32_t strips = (height + rowsPerStrip - 1) / rowsPerStrip;
        const int entries = samples == 4 ? 11 : 10;
        // After the directory: bits per sample, then the strips' offsets and
        // byte counts when there are several (one is held in its entry).
        const std::uint32_t arrays = 8 + 2 + entries * 12 + 4;
        const std::uint32_t offsets = arrays + 2 * samples, counts = offsets + (strips > 1 ? 4 * strips : 0);
        const std::uint32_t data = counts + (strips > 1 ? 4 * strips : 0);
        auto entry = [&](std::uint16_t tag, std::uint16_t type, std::uint32_t count, std::uint64_t value)
        {
            put(tag, 2);
            put(type, 2);
            put(count, 4);
            put(value, 4);
        };
        put(static_cast<std::uint64_t>(entries), 2);
        entry(TIFFTAG_IMAGEWIDTH, TIFF_LONG, 1, width);
        entry(TIFFTAG_IMAGELENGTH, TIFF_LONG, 1, height);
        entry(TIFFTAG_BITSPERSAMPLE, TIFF_SHORT, samples, arrays);
        entry(TIFFTAG_COMPRESSION, TIFF_SHORT, 1, COMPRESSION_NONE);
        entry(TIFFTAG_PHOTOMETRIC, TIFF_SHORT, 1, PHOTOMETRIC_RGB);
        entry(TIFFTAG_STRIPOFFSETS, TIFF_LONG, strips, strips > 1 ? offsets : data);
        entry(TIFFTAG_SAMPLESPERPIXEL, TIFF_SHORT, 1, samples);
        entry(TIFFTAG_ROWSPERSTRIP, TIFF_LONG, 1, rowsPerStrip);
        entry(TIFFTAG_STRIPBYTECOUNTS, TIFF_LONG, strips, strips > 1 ? counts : stripBytes);
        entry(TIFFTAG_PLANARCONFIG, TIFF_SHORT, 1, PLANARCONFIG_CONTIG);
        if (samples == 4)
            entry(TIFFTAG_EXTRASAMPLES, TIFF_SHORT, 1, EXTRASAMPLE_UNASSALPHA);
        put(0, 4);
        for (int i = 0; i < samples; ++i)
            put(8, 2);
        for (std::uint32_t i = 0; i < strips && strips > 1; ++i)
            put(data + i * stripBytes, 4);
        for (std::uint32_t i = 0; i < strips && strips > 1; ++i)
            put(std::min<std::uint64_t>(stripBytes, std::uint64_t(width) * samples * (height - i * rowsPerStrip)), 4);
        bytes.append(pixels.begin(), pixels.end());
        return bytes;
    }

    // Little-endian 16-bit samples as bytes.
    inline std::vector<unsigned char> wideRow(const std::vector<std::uint16_t>& samples)
    {
        std::vector<unsigned char> row;
        for (std::uint16_t s : samples)
        {
            row.push_back(static_cast<unsigned char>(s & 0xFF));
            row.push_back(static_cast<unsigned char>(s >> 8));
        }
        return row;
    }
}
