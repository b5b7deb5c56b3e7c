#pragma once

#include "core/VXScopedPointer.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vx
{

    class Texture;

    /** One glyph of a font: its box in the atlas and its placement. Also the
        24-byte record layout inside a font blob (little-endian). */
    struct GlyphRecord
    {
        uint32_t present = 0; // 1 when baked, 0 when the font lacks the character
        uint16_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
        float xOffset = 0.0f; // of the box from the pen position
        float yOffset = 0.0f; // of the box from the baseline
        float advance = 0.0f;
    };
    static_assert(sizeof(GlyphRecord) == 24, "the blob layout of a glyph record is 24 bytes");

    /** What getCharacter answers for one glyph: texture coordinates of its box,
        its size in pixels and its placement. */
    struct CharacterQuad
    {
        float s0 = 0.0f, t0 = 0.0f, s1 = 0.0f, t1 = 0.0f;
        float width = 0.0f, height = 0.0f;
        float xOffset = 0.0f, yOffset = 0.0f, advance = 0.0f;
    };

    /** A bitmap font: one 8-bit coverage atlas (rows from the top) with one
        glyph record per character from the first character on, baked from a
        TrueType font at a pixel size or read from a blob made by getAsBinary.
        The atlas becomes a GL texture between createGLData and release (render
        thread); everything else is plain CPU data. */
    class Font
    {
    public:
        static constexpr int defaultFirstCharacter = 32;
        static constexpr int defaultNumGlyphs = 95;
        /** Largest size the atlas layout accepts. */
        static constexpr float maxSize = 512.0f;

        Font();
        /** loadAsBinary(blob). */
        explicit Font(const unsigned char* blob);
        /** loadTTFData(ttf, size, characters). */
        Font(const unsigned char* ttf, float size, const char* characters);
        /** Deletes the texture and frees the data. */
        ~Font();

        Font(const Font&) = delete;
        Font& operator=(const Font&) = delete;

        /** Bakes characters 32 to 126, or only the listed ones (the others absent),
            into an atlas sized by computeOptimalBitmapSize. False (logged) for
            data that is no TrueType font, a size outside 1..512, or glyphs that do
            not fit the atlas (those that fit are kept, the rest stay absent). */
        bool loadTTFData(const unsigned char* ttf, float size, const char* characters);
        /** The same into an atlas of the given size. */
        bool loadTTFData(const unsigned char* ttf, float size, const char* characters, int atlasWidth, int atlasHeight);
        /** Reads the whole TrueType file and bakes it. False when the file cannot
            be read ("Could not load font <path>") or the bake fails. */
        bool load(const char* path, float size, const char* characters);
        /** Reads a blob. The blob is trusted to be as long as its header says;
            a header whose fields contradict each other is refused (false,
            logged) and leaves the font empty. */
        bool loadAsBinary(const unsigned char* blob);
        /** A new blob (the caller frees it with delete[]); its byte count goes
            through size when not null. Null for an empty font. */
        unsigned char* getAsBinary(int* size) const;
        /** Writes the blob as a C++ source header defining `name`. False (logged)
            when the file cannot be written or the font is empty. */
        bool saveHeader(const char* path, const char* name) const;

        /** Makes the I8 atlas texture (render thread). False without atlas data
            or when GL refuses. */
        bool createGLData();
        /** Deletes the atlas texture; the data stays. */
        void release();
        /** Frees glyph table, atlas and character list. */
        void releaseData();

        /** Sum of the advances of the characters the font has; 0 for null or "". */
        float getStringSize(const char* text) const;
        /** The quad of c; false for characters the font lacks. */
        bool getCharacter(CharacterQuad& quad, char c) const;
        /** Atlas size for characterCount characters at the current size. An
            empty count or a size outside 1..512 leaves the atlas 0 x 0. */
        void computeOptimalBitmapSize(int characterCount);

        /** The font file loadGlyph reads: a fixed name, relative to the
            working directory here. */
        static constexpr const char* glyphFontPath = "C:\\Windows.old\\Windows\\Fonts\\arial.ttf";
        /** A test routine of old: bakes the one character code of the font
            file at glyphFontPath at 32 pixels into a new 64 x 32 coverage
            bitmap (the caller frees it with delete[]) and answers its size and
            the glyph's offsets. False, with an empty glyph (0 x 0, null bitmap,
            zero offsets; logged), when the file cannot be read, is no font or
            the glyph does not fit. */
        static bool loadGlyph(unsigned code, unsigned short& width, unsigned short& height, unsigned char*& bitmap,
                              float& xOffset, float& yOffset);

        float getSize() const { return size; }
        int getAtlasWidth() const { return atlasWidth; }
        int getAtlasHeight() const { return atlasHeight; }
        int getNumGlyphs() const { return numGlyphs; }
        int getFirstCharacter() const { return firstCharacter; }
        /** The character list, or null when the font covers the whole range. */
        const char* getCharacters() const { return hasCharacterList ? characters.c_str() : nullptr; }
        const std::vector<GlyphRecord>& getGlyphs() const { return glyphs; }
        const std::vector<unsigned char>& getAtlas() const { return atlas; }
        /** Null until createGLData. */
        Texture* getTexture() const { return texture.get(); }
        bool isEmpty() const { return glyphs.empty(); }

    private:
        bool bake(const unsigned char* ttf, float size, const char* characters, int atlasWidth, int atlasHeight);

        float size = 0.0f;
        int atlasWidth = 0;
        int atlasHeight = 0;
        int numGlyphs = 0;
        int firstCharacter = defaultFirstCharacter;
        std::string characters;
        bool hasCharacterList = false;
        std::vector<GlyphRecord> glyphs;
        std::vector<unsigned char> atlas;
        ScopedPointer<Texture> texture;
    };

} // namespace vx
