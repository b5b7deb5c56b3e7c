#include "engine/renderpasses/catalogue/VXCheckerBoard.h"

#include "core/VXColor.h"
#include "core/VXVec4.h"
#include "core/parameters/VXParamChoice.h"
#include "core/parameters/VXParamContainer.h"
#include "engine/gfx/VXRenderer.h"

#include <array>
#include <cstdint>

namespace vx
{
    namespace
    {
        constexpr int tileSize = 16;
    }

    CheckerBoard::CheckerBoard()
    {
        setName(classType(), true);
        mode = getParams().addParamChoice("Mode", {});
        mode->addChoice("Dark", 0, true, true);
        mode->addChoice("Light", 1, true, true);
        mode->addChoice("Black", 2, true, true);
        mode->setValueByIndex(0, ValueChangeInfo());
    }

    CheckerBoard::~CheckerBoard()
    {
        for (Texture& texture : textures)
            texture.release();
    }

    std::string CheckerBoard::classType()
    {
        static const std::string type = "CheckerBoard";
        return type;
    }

    std::string CheckerBoard::classDisplayStr()
    {
        static const std::string display = "CheckerBoard";
        return display;
    }

    bool CheckerBoard::isOfClassType(std::string t) const
    {
        return t == getClassType() || Generator::isOfClassType(t);
    }

    std::string CheckerBoard::derivedOfClassType(std::string t) const
    {
        return t == getClassType() ? getClassType() : Generator::derivedOfClassType(t);
    }

    std::string CheckerBoard::getDescription() const
    {
        return "Creates a CheckerBoard";
    }

    bool CheckerBoard::init()
    {
        RenderPass::init();
        for (Texture& texture : textures)
        {
            texture.create(tileSize, tileSize, Texture::RGBA8);
            texture.setWrap(Texture::REPEAT);
        }
        fillCheckerboard(textures[0], 0.0f, 22.0f);
        fillCheckerboard(textures[1], 80.0f, 100.0f);
        const std::array<uint8_t, tileSize * tileSize * 4> transparent{};
        textures[2].update(transparent.data(), 0, 0);
        return true;
    }

    void CheckerBoard::fillCheckerboard(Texture& texture, float percentA, float percentB)
    {
        const auto level = [](float percent) { return uint8_t(double(percent) * 255.0 * 0.01); };
        const uint8_t levels[2] = {level(percentA), level(percentB)};
        std::array<uint8_t, tileSize * tileSize * 4> tile{};
        for (int y = 0; y < tileSize; ++y)
            for (int x = 0; x < tileSize; ++x)
            {
                uint8_t* texel = &tile[size_t((y * tileSize + x) * 4)];
                texel[0] = texel[1] = texel[2] = levels[((x ^ y) >> 3) & 1];
                texel[3] = 255;
            }
        texture.update(tile.data(), 0, 0);
    }

    void CheckerBoard::drawCheckerBoard(Renderer& renderer, Texture& texture, int w, int h)
    {
        renderer.clearMatrices(true, true, true);
        texture.setWrap(Texture::REPEAT);
        RenderContext& cache = renderer.getRenderContext();
        cache.bind2DTexture(0, texture);
        const TVec4<float> scroll(float(w) * texture.getMaxU() * 0.0625f, float(h) * texture.getMaxV() * 0.0625f, 0.0f,
                                  0.0f);
        renderer.drawTexture(texture, -1.0f, -1.0f, 2.0f, 2.0f, false, Color::white, scroll);
        cache.unbind2DTextures();
    }

    void CheckerBoard::release()
    {
        for (Texture& texture : textures)
            texture.release();
        RenderPass::release();
    }

    bool CheckerBoard::render(Renderer& renderer)
    {
        if (! begin(renderer))
            return false;
        // The choice offers 0 to 2 only, but a value set in code or read from
        // a state is not confined to it: anything else draws Dark rather than
        // reading past the tiles.
        const int value = mode->getValue();
        drawCheckerBoard(renderer, textures[value >= 0 && value < 3 ? value : 0], getWidth(), getHeight());
        end(renderer);
        return true;
    }
}
