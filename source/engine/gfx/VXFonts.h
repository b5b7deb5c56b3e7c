#pragma once

#include "engine/gfx/VXFont.h"

namespace vx
{

    /** The embedded TrueType face every built-in font comes from. */
    extern const unsigned char uni9_data[];
    extern const unsigned int uni9_data_size;

    /** The five built-in fonts, made when the module loads (uni9 baked from the
        embedded face, the others read from blobs baked from it earlier). Their
        atlas textures exist between initialize and release (render thread). */
    class Fonts
    {
    public:
        static Font uni9;
        static Font small12;
        static Font small14;
        static Font big32;
        static Font bigNumbers64;

        /** createGLData on the five fonts, in the order above. */
        static void initialize();
        /** release on the five fonts. */
        static void release();

        /** How a blob font is baked from the embedded face. */
        struct BlobRecipe
        {
            const char* name; // the array name in its source header
            Font* font;
            float size;
            const char* characters; // null: 32 to 126
            int atlasWidth;
            int atlasHeight;
        };
        static const BlobRecipe blobRecipes[4];
    };

} // namespace vx
