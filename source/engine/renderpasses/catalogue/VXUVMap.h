#pragma once

#include "engine/gfx/geometry/VXQuad.h"
#include "engine/renderpasses/VXShaderEffect.h"

#include <memory>

namespace vx
{
    class ParamColor;
    class ParamRange;
    class Texture;
    template <typename T>
    class Param;
    template <typename T>
    class ParamChoice;

    // Remaps its input through a UV texture: each output pixel shows the
    // input at (red, 1 - green) of the UV texel under it ("Flip U" mirrors
    // u, "Flip V" takes green as it is), moved by the offsets with wrap;
    // the UV alpha masks the result, and "Filter Edges" above 0 runs a
    // Sobel filter on that alpha that fades (or, with "Use Edge Color",
    // colours) the mask's edges. Without a UV texture "No UV Action" gives
    // a transparent frame (0), an opaque black one (1) or the input as it
    // is (2).
    class UVMap : public ShaderEffect
    {
    public:
        UVMap();

        static std::string classType();
        static std::string classDisplayStr();
        static RttiObject* creationFunc() { return new UVMap(); }

        bool isOfClassType(std::string t) const override;
        std::string derivedOfClassType(std::string t) const override;
        std::string getClassType() const override { return classType(); }
        std::string getClassDisplayStr() const override { return classDisplayStr(); }
        std::string getDescription() const override;

        // Borrowed: the caller keeps it alive while the pass may render.
        // Null for none.
        void setUVTexture(Texture* texture) { uvTexture = texture; }
        Texture* getUVTexture() const { return uvTexture; }

        using ShaderEffect::init;
        bool init() override;
        // False when begin fails, and when the input is needed (a UV
        // texture, or "Ignore") and missing. Leaves blending off.
        bool render(Renderer& renderer) override;

    private:
        bool renderWithoutUVTexture(Renderer& renderer);

        Texture* uvTexture = nullptr;
        Quad quad;
        std::shared_ptr<ParamChoice<int>> noUVAction;
        std::shared_ptr<ParamRange> xOffset, yOffset;
        std::shared_ptr<Param<bool>> flipU, flipV;
        std::shared_ptr<ParamRange> filterEdges;
        std::shared_ptr<Param<bool>> useEdgeColor;
        std::shared_ptr<ParamColor> edgeColor;
    };
}
