#pragma once

#include "engine/gfx/geometry/VXQuad.h"
#include "engine/renderpasses/VXShaderEffect.h"

#include <memory>

namespace vx
{
    class ParamColor;
    class ParamRange;
    template <typename T>
    class Param;

    // A Sobel filter over the luminance (0.30, 0.59, 0.11) of its input,
    // written to all four channels: gx² + gy² with "Smooth" on, gx + gy
    // (negative where the picture darkens to the right and upwards) with it
    // off; the target's format clamps. "Filter Edges" and "Edge Color" are
    // kept and stored but change nothing in the picture.
    class EdgeDetect : public ShaderEffect
    {
    public:
        EdgeDetect();

        static std::string classType();
        static std::string classDisplayStr();
        static RttiObject* creationFunc() { return new EdgeDetect(); }

        bool isOfClassType(std::string t) const override;
        std::string derivedOfClassType(std::string t) const override;
        std::string getClassType() const override { return classType(); }
        std::string getClassDisplayStr() const override { return classDisplayStr(); }
        std::string getDescription() const override;

        using ShaderEffect::init;
        bool init() override;
        // False, drawing nothing, without an input texture. Leaves blending
        // off.
        bool render(Renderer& renderer) override;

    private:
        std::shared_ptr<ParamRange> filterEdges;
        std::shared_ptr<ParamColor> edgeColor;
        std::shared_ptr<Param<bool>> smooth;
        Quad quad;
    };
}
