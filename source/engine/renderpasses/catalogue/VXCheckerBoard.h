#pragma once

#include "engine/gfx/VXTexture.h"
#include "engine/renderpasses/VXGenerator.h"

#include <memory>
#include <string>

namespace vx
{
    template <typename T>
    class ParamChoice;

    // Covers its output with 8 x 8-pixel squares, one texel per pixel, from a
    // 16 x 16 tile repeated: "Mode" 0 "Dark" (grey levels 0 and 56), 1 "Light"
    // (204 and 255), both opaque, or 2 "Black" (every byte 0, transparent).
    // A mode outside 0 to 2 (set in code or stored) draws Dark.
    class CheckerBoard : public Generator
    {
    public:
        CheckerBoard();
        ~CheckerBoard() override;

        static std::string classType();
        static std::string classDisplayStr();
        static RttiObject* creationFunc() { return new CheckerBoard(); }

        bool isOfClassType(std::string t) const override;
        std::string derivedOfClassType(std::string t) const override;
        std::string getClassType() const override { return classType(); }
        std::string getClassDisplayStr() const override { return classDisplayStr(); }
        std::string getDescription() const override;

        // Makes and fills the three tiles.
        bool init() override;
        // Frees the tiles.
        void release() override;
        // False only when begin fails.
        bool render(Renderer& renderer) override;

        // The 16 x 16 RGBA8 tile of the two grey levels (in percent, truncated
        // to 8 bits) uploaded into texture: the first level where
        // ((x ^ y) >> 3) & 1 is 0, the other elsewhere.
        static void fillCheckerboard(Texture& texture, float percentA, float percentB);
        // The tile repeated over the whole viewport, one texel per pixel of
        // a w x h output.
        static void drawCheckerBoard(Renderer& renderer, Texture& texture, int w, int h);

    private:
        std::shared_ptr<ParamChoice<int>> mode;
        Texture textures[3];
    };
}
