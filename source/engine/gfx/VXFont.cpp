#include "engine/gfx/VXFont.h"

#include "core/VXLog.h"
#include "core/VXStringUtils.h"
#include "engine/gfx/VXTexture.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <memory>

// stb's TrueType rasteriser, compiled privately into this file.
#define STBTT_STATIC
#define STB_TRUETYPE_IMPLEMENTATION
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#include <stb/stb_truetype.h>
#pragma GCC diagnostic pop

namespace vx
{

    static_assert(std::endian::native == std::endian::little, "font blobs are read and written in host order");

    namespace
    {
        constexpr size_t blobHeaderSize = 28;
        constexpr int maxAtlasSide = 16384;

        template <typename T>
        T readValue(const unsigned char* at)
        {
            T value;
            std::memcpy(&value, at, sizeof(T));
            return value;
        }

        template <typename T>
        void writeValue(unsigned char*& at, T value)
        {
            std::memcpy(at, &value, sizeof(T));
            at += sizeof(T);
        }

        bool isValidSize(float size)
        {
            return std::isfinite(size) && size >= 1.0f && size <= Font::maxSize;
        }

        // The whole file; empty (logged) when it cannot be read.
        std::vector<unsigned char> readFontFile(const char* path, const char* caller)
        {
            std::ifstream file(path != nullptr ? path : "", std::ios::binary);
            std::vector<unsigned char> bytes;
            if (file)
                bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
            if (! file || bytes.empty())
            {
                debugPrint("Could not load font %s\n", path != nullptr ? path : "(null)");
                logPrint(logError, "%s: cannot read the font file \"%s\"", caller, path != nullptr ? path : "(null)");
                bytes.clear();
            }
            return bytes;
        }
    } // namespace

    Font::Font() = default;

    Font::Font(const unsigned char* blob)
    {
        loadAsBinary(blob);
    }

    Font::Font(const unsigned char* ttf, float fontSize, const char* characterList)
    {
        loadTTFData(ttf, fontSize, characterList);
    }

    Font::~Font() = default;

    //==============================================================================
    void Font::computeOptimalBitmapSize(int characterCount)
    {
        const int pixels = isValidSize(size) ? int(size) : 0;
        if (characterCount <= 0 || pixels <= 0)
        {
            atlasWidth = atlasHeight = 0;
            return;
        }
        const int columns = std::min(512 / pixels, characterCount);
        atlasWidth = columns * pixels;
        atlasHeight = (1 + (characterCount + columns - 1) / columns) * pixels;
    }

    bool Font::loadTTFData(const unsigned char* ttf, float fontSize, const char* characterList)
    {
        releaseData();
        size = fontSize;
        computeOptimalBitmapSize(characterList != nullptr ? int(std::strlen(characterList)) : defaultNumGlyphs);
        return bake(ttf, fontSize, characterList, atlasWidth, atlasHeight);
    }

    bool Font::loadTTFData(const unsigned char* ttf, float fontSize, const char* characterList, int width, int height)
    {
        return bake(ttf, fontSize, characterList, width, height);
    }

    bool Font::bake(const unsigned char* ttf, float fontSize, const char* characterList, int width, int height)
    {
        releaseData();
        if (ttf == nullptr || ! isValidSize(fontSize))
        {
            logPrint(logError, "Font: cannot bake %s at size %g", ttf == nullptr ? "no font data" : "a font",
                     double(fontSize));
            return false;
        }
        if (width <= 0 || height <= 0 || width > maxAtlasSide || height > maxAtlasSide)
        {
            logPrint(logError, "Font: atlas of %d x %d for size %g is empty or too large", width, height,
                     double(fontSize));
            return false;
        }
        stbtt_fontinfo info;
        const int offset = stbtt_GetFontOffsetForIndex(ttf, 0);
        if (offset < 0 || ! stbtt_InitFont(&info, ttf, offset))
        {
            logPrint(logError, "Font: the data is not a TrueType font");
            return false;
        }

        size = fontSize;
        firstCharacter = defaultFirstCharacter;
        numGlyphs = defaultNumGlyphs;
        atlasWidth = width;
        atlasHeight = height;
        atlas.assign(size_t(width) * size_t(height), 0);
        glyphs.assign(size_t(numGlyphs), GlyphRecord());

        int missing = 0;
        if (characterList == nullptr)
        {
            // stb's packer cannot place a glyph wider than the atlas (it would
            // write past the row), so such an atlas is refused first.
            const float scale = stbtt_ScaleForPixelHeight(&info, fontSize);
            for (int code = firstCharacter; code < firstCharacter + numGlyphs; ++code)
            {
                int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
                stbtt_GetCodepointBitmapBox(&info, code, scale, scale, &x0, &y0, &x1, &y1);
                if (x1 - x0 + 2 >= width || y1 - y0 + 2 >= height)
                {
                    logPrint(logError, "Font: glyph %d at size %g is larger than an atlas of %d x %d", code,
                             double(fontSize), width, height);
                    releaseData();
                    return false;
                }
            }
            stbtt_bakedchar baked[defaultNumGlyphs];
            const int answer = stbtt_BakeFontBitmap(ttf, offset, fontSize, atlas.data(), width, height, firstCharacter,
                                                    numGlyphs, baked);
            // A negative answer is minus the count that fitted; the others were
            // never written and stay absent.
            const int fitted = answer > 0 ? numGlyphs : -answer;
            for (int i = 0; i < fitted; ++i)
            {
                GlyphRecord& g = glyphs[size_t(i)];
                g.present = 1;
                g.x0 = baked[i].x0;
                g.y0 = baked[i].y0;
                g.x1 = baked[i].x1;
                g.y1 = baked[i].y1;
                g.xOffset = baked[i].xoff;
                g.yOffset = baked[i].yoff;
                g.advance = baked[i].xadvance;
            }
            missing = numGlyphs - fitted;
        }
        else
        {
            hasCharacterList = true;
            characters = characterList;
            // Packed as stb packs a range: rows from (1, 1), one pixel apart, a
            // new row when a glyph would reach the right edge.
            const float scale = stbtt_ScaleForPixelHeight(&info, fontSize);
            int x = 1, y = 1, bottom = 1;
            for (const char c : characters)
            {
                const int code = int(c);
                if (code < firstCharacter || code >= firstCharacter + numGlyphs)
                {
                    ++missing;
                    continue;
                }
                const int glyph = stbtt_FindGlyphIndex(&info, code);
                int advance = 0, leftBearing = 0, x0 = 0, y0 = 0, x1 = 0, y1 = 0;
                stbtt_GetGlyphHMetrics(&info, glyph, &advance, &leftBearing);
                stbtt_GetGlyphBitmapBox(&info, glyph, scale, scale, &x0, &y0, &x1, &y1);
                const int gw = x1 - x0, gh = y1 - y0;
                if (x + gw + 1 >= width)
                {
                    y = bottom;
                    x = 1;
                }
                if (y + gh + 1 >= height || gw + 2 >= width)
                {
                    ++missing;
                    continue;
                }
                stbtt_MakeGlyphBitmap(&info, atlas.data() + x + size_t(y) * size_t(width), gw, gh, width, scale, scale,
                                      glyph);
                GlyphRecord& g = glyphs[size_t(code - firstCharacter)];
                g.present = 1;
                g.x0 = uint16_t(x);
                g.y0 = uint16_t(y);
                g.x1 = uint16_t(x + gw);
                g.y1 = uint16_t(y + gh);
                g.xOffset = float(x0);
                g.yOffset = float(y0);
                g.advance = scale * float(advance);
                x += gw + 1;
                bottom = std::max(bottom, y + gh + 1);
            }
        }

        if (missing > 0)
        {
            logPrint(logError, "Font: %d glyphs at size %g do not fit an atlas of %d x %d", missing, double(fontSize),
                     width, height);
            return false;
        }
        return true;
    }

    bool Font::load(const char* path, float fontSize, const char* characterList)
    {
        const std::vector<unsigned char> bytes = readFontFile(path, "Font::load");
        return ! bytes.empty() && loadTTFData(bytes.data(), fontSize, characterList);
    }

    //==============================================================================
    bool Font::loadAsBinary(const unsigned char* blob)
    {
        releaseData();
        if (blob == nullptr)
        {
            logPrint(logError, "Font::loadAsBinary: no blob");
            return false;
        }
        const float blobSize = readValue<float>(blob);
        const uint32_t first = readValue<uint32_t>(blob + 4);
        const uint32_t count = readValue<uint32_t>(blob + 8);
        const uint32_t width = readValue<uint32_t>(blob + 12);
        const uint32_t height = readValue<uint32_t>(blob + 16);
        const uint32_t atlasBytes = readValue<uint32_t>(blob + 20);
        const uint32_t listLength = readValue<uint32_t>(blob + 24);

        const bool headerValid = isValidSize(blobSize) && first <= 255 && count >= 1 && first + count <= 256 &&
                                 width >= 1 && height >= 1 && width <= uint32_t(maxAtlasSide) &&
                                 height <= uint32_t(maxAtlasSide) && atlasBytes == width * height && listLength <= 256;
        const unsigned char* at = blob + blobHeaderSize;
        std::string list;
        if (headerValid && listLength > 0)
        {
            list.assign(reinterpret_cast<const char*>(at), listLength);
            at += listLength + 1;
        }
        const bool listValid =
            list.size() == std::strlen(list.c_str()) &&
            std::all_of(list.begin(), list.end(),
                        [&](char c) { return int(c) >= int(first) && uint32_t(int(c)) < first + count; });
        if (! headerValid || ! listValid)
        {
            logPrint(logError,
                     "Font::loadAsBinary: the blob header is inconsistent (size %g, %u glyphs, atlas %u x %u)",
                     double(blobSize), count, width, height);
            return false;
        }

        size = blobSize;
        firstCharacter = int(first);
        numGlyphs = int(count);
        atlasWidth = int(width);
        atlasHeight = int(height);
        glyphs.assign(count, GlyphRecord());
        if (listLength > 0)
        {
            hasCharacterList = true;
            characters = list;
            for (const char c : characters)
            {
                glyphs[size_t(int(c) - firstCharacter)] = readValue<GlyphRecord>(at);
                at += sizeof(GlyphRecord);
            }
        }
        else
        {
            std::memcpy(glyphs.data(), at, sizeof(GlyphRecord) * count);
            at += sizeof(GlyphRecord) * count;
        }
        atlas.assign(at, at + atlasBytes);
        return true;
    }

    unsigned char* Font::getAsBinary(int* byteCount) const
    {
        if (glyphs.empty())
        {
            if (byteCount != nullptr)
                *byteCount = 0;
            return nullptr;
        }
        const size_t listLength = hasCharacterList ? characters.size() : 0;
        const size_t numRecords = hasCharacterList ? listLength : glyphs.size();
        const size_t total =
            blobHeaderSize + (listLength > 0 ? listLength + 1 : 0) + numRecords * sizeof(GlyphRecord) + atlas.size();
        auto* blob = new unsigned char[total];
        unsigned char* at = blob;
        writeValue(at, size);
        writeValue(at, uint32_t(firstCharacter));
        writeValue(at, uint32_t(numGlyphs));
        writeValue(at, uint32_t(atlasWidth));
        writeValue(at, uint32_t(atlasHeight));
        writeValue(at, uint32_t(atlas.size()));
        writeValue(at, uint32_t(listLength));
        if (listLength > 0)
        {
            std::memcpy(at, characters.c_str(), listLength + 1);
            at += listLength + 1;
            for (const char c : characters)
                writeValue(at, glyphs[size_t(int(c) - firstCharacter)]);
        }
        else
        {
            std::memcpy(at, glyphs.data(), glyphs.size() * sizeof(GlyphRecord));
            at += glyphs.size() * sizeof(GlyphRecord);
        }
        std::memcpy(at, atlas.data(), atlas.size());
        if (byteCount != nullptr)
            *byteCount = int(total);
        return blob;
    }

    bool Font::saveHeader(const char* path, const char* name) const
    {
        int byteCount = 0;
        const std::unique_ptr<unsigned char[]> blob(getAsBinary(&byteCount));
        if (blob == nullptr || path == nullptr || name == nullptr)
        {
            logPrint(logError, "Font::saveHeader: nothing to write to \"%s\"", path != nullptr ? path : "(null)");
            return false;
        }
        FILE* file = std::fopen(path, "w");
        if (file == nullptr)
        {
            logPrint(logError, "Font::saveHeader: cannot open \"%s\" for writing", path);
            return false;
        }
        std::fprintf(file, "// Binary font:\n");
        std::fprintf(file, "// size %g\n", double(size));
        if (hasCharacterList)
            std::fprintf(file, "// characters %s\n", characters.c_str());
        const std::string dump = hexDump(blob.get(), byteCount, 10);
        std::fprintf(file, "const unsigned char %s[] = {\n%s\n};\n\n", name, dump.c_str());
        const bool written = std::ferror(file) == 0;
        if (std::fclose(file) != 0 || ! written)
        {
            logPrint(logError, "Font::saveHeader: writing \"%s\" failed", path);
            return false;
        }
        return true;
    }

    //==============================================================================
    bool Font::createGLData()
    {
        if (atlas.empty())
        {
            logPrint(logError, "Font::createGLData: the font has no atlas");
            return false;
        }
        texture.reset(new Texture());
        if (! texture->create(atlas.data(), atlasWidth, atlasHeight, Texture::I8))
        {
            texture.reset();
            return false;
        }
        return true;
    }

    void Font::release()
    {
        texture.reset();
    }

    void Font::releaseData()
    {
        glyphs.clear();
        atlas.clear();
        characters.clear();
        hasCharacterList = false;
        numGlyphs = 0;
        atlasWidth = atlasHeight = 0;
    }

    //==============================================================================
    bool Font::getCharacter(CharacterQuad& q, char c) const
    {
        const int index = int(c) - firstCharacter;
        if (int(c) < defaultFirstCharacter || index < 0 || index >= int(glyphs.size()))
            return false;
        const GlyphRecord& g = glyphs[size_t(index)];
        if (g.present == 0)
            return false;
        q.s0 = float(g.x0) / float(atlasWidth);
        q.t0 = float(g.y0) / float(atlasHeight);
        q.s1 = float(g.x1) / float(atlasWidth);
        q.t1 = float(g.y1) / float(atlasHeight);
        q.width = float(g.x1 - g.x0);
        q.height = float(g.y1 - g.y0);
        q.xOffset = g.xOffset;
        q.yOffset = g.yOffset;
        q.advance = g.advance;
        return true;
    }

    float Font::getStringSize(const char* text) const
    {
        if (text == nullptr)
            return 0.0f;
        float total = 0.0f;
        for (const char* p = text; *p != 0; ++p)
        {
            const int index = int(*p) - firstCharacter;
            if (index >= 0 && index < int(glyphs.size()) && glyphs[size_t(index)].present != 0)
                total += glyphs[size_t(index)].advance;
        }
        return total;
    }

    bool Font::loadGlyph(unsigned code, unsigned short& width, unsigned short& height, unsigned char*& bitmap,
                         float& xOffset, float& yOffset)
    {
        constexpr int glyphWidth = 64, glyphHeight = 32;
        constexpr float glyphSize = 32.0f;
        width = height = 0;
        bitmap = nullptr;
        xOffset = yOffset = 0.0f;

        const std::vector<unsigned char> ttf = readFontFile(glyphFontPath, "Font::loadGlyph");
        if (ttf.empty())
            return false;
        stbtt_fontinfo info;
        const int offset = stbtt_GetFontOffsetForIndex(ttf.data(), 0);
        if (offset < 0 || ! stbtt_InitFont(&info, ttf.data(), offset))
        {
            logPrint(logError, "Font::loadGlyph: \"%s\" is no TrueType font", glyphFontPath);
            return false;
        }
        auto pixels = std::make_unique<unsigned char[]>(size_t(glyphWidth) * glyphHeight);
        stbtt_bakedchar baked{};
        // Any answer above 0 is the first row left free: the glyph fits.
        if (code > unsigned(std::numeric_limits<int>::max()) ||
            stbtt_BakeFontBitmap(ttf.data(), offset, glyphSize, pixels.get(), glyphWidth, glyphHeight, int(code), 1,
                                 &baked) <= 0)
        {
            logPrint(logError, "Font::loadGlyph: the character %u does not fit %d x %d", code, glyphWidth, glyphHeight);
            return false;
        }
        width = glyphWidth;
        height = glyphHeight;
        bitmap = pixels.release();
        xOffset = baked.xoff;
        yOffset = baked.yoff;
        return true;
    }

} // namespace vx
