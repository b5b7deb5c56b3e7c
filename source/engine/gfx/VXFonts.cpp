#include "engine/gfx/VXFonts.h"

// Blobs baked from the embedded face by tools/fontblobs; each defines its
// array with internal linkage.
#include "engine/gfx/fontblobs/big32_data.h"
#include "engine/gfx/fontblobs/bigNumbers64_data.h"
#include "engine/gfx/fontblobs/small12_data.h"
#include "engine/gfx/fontblobs/small14_data.h"

namespace vx
{

    Font Fonts::uni9(uni9_data, 9.0f, nullptr);
    Font Fonts::small12(small12_data);
    Font Fonts::small14(small14_data);
    Font Fonts::big32(big32_data);
    Font Fonts::bigNumbers64(bigNumbers64_data);

    // small14 takes 29 rows rather than 28: the face's second row of glyphs
    // needs the one more.
    const Fonts::BlobRecipe Fonts::blobRecipes[4] = {
        {"small12_data", &Fonts::small12, 12.0f, nullptr, 120, 120},
        {"small14_data", &Fonts::small14, 14.0f, nullptr, 504, 29},
        {"big32_data", &Fonts::big32, 32.0f, nullptr, 512, 160},
        {"bigNumbers64_data", &Fonts::bigNumbers64, 64.0f, " 0123456789:.-", 512, 64},
    };

    void Fonts::initialize()
    {
        for (Font* font : {&uni9, &small12, &small14, &big32, &bigNumbers64})
            font->createGLData();
    }

    void Fonts::release()
    {
        for (Font* font : {&uni9, &small12, &small14, &big32, &bigNumbers64})
            font->release();
    }

} // namespace vx
