// Writes the source headers of the built-in blob fonts: each is baked from
// the embedded face at its size into its fixed atlas. Fails (exit 1) when a
// glyph does not fit or a header cannot be written.

#include "engine/gfx/VXFont.h"
#include "engine/gfx/VXFonts.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 2)
    {
        std::fprintf(stderr, "usage: %s OUTPUT_DIR\n", argv[0]);
        return 2;
    }
    for (const auto& recipe : vx::Fonts::blobRecipes)
    {
        vx::Font font;
        if (! font.loadTTFData(vx::uni9_data, recipe.size, recipe.characters, recipe.atlasWidth, recipe.atlasHeight))
        {
            std::fprintf(stderr, "%s: size %g does not fit an atlas of %d x %d\n", recipe.name, double(recipe.size),
                         recipe.atlasWidth, recipe.atlasHeight);
            return 1;
        }
        const std::string path = std::string(argv[1]) + "/" + recipe.name + ".h";
        if (! font.saveHeader(path.c_str(), recipe.name))
        {
            std::fprintf(stderr, "%s: cannot write %s\n", recipe.name, path.c_str());
            return 1;
        }
        std::printf("%s\n", path.c_str());
    }
    return 0;
}
