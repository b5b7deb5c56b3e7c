#pragma once

#include <tiffio.h>

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
