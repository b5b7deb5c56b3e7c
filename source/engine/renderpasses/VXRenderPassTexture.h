#pragma once

#include "core/VXVec2.h"

#include <string>

namespace vx
{
    class Renderer;
    class Texture;

    // One texture slot of a render pass: the texture (not owned), the part of
    // it in texels the slot covers, its role and a free label. Copied by value.
    class RenderPassTexture
    {
    public:
        enum Type : int
        {
            Default = 0,
            Mask = 1,
            UVMap = 2,
            Motion = 3
        };

        // Display names of the types, by value.
        static const std::string TypeNames[4];

        RenderPassTexture() = default;
        // A width or height of 0 is taken from the texture (when there is one).
        RenderPassTexture(Texture* texture, Type type, const std::string& name = std::string());
        RenderPassTexture(Texture* texture, float width, float height, Type type,
                          const std::string& name = std::string());

        // Draws the covered part of the texture over (x, y, w, h) with the
        // fixed-function pipeline (or the program bound), bottom texel row at
        // y unless the texture's ignoreFlip is set. Binds on unit 0 through the
        // renderer's binding cache and unbinds the 2D textures after. Nothing
        // is drawn for an empty slot.
        void draw(Renderer& renderer, float x, float y, float w, float h) const;

        // Covered size over the hardware size (unclamped); (0, 0) for an empty slot.
        TVec2<float> getMaxCoords() const;

        Texture* texture = nullptr;
        float width = 0.0f;
        float height = 0.0f;
        Type type = Default;
        std::string name;
    };
}
