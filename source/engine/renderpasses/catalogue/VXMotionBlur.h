#pragma once

#include "engine/gfx/geometry/VXQuad.h"
#include "engine/renderpasses/VXShaderEffect.h"

#include <memory>

namespace vx
{
    class ParamRange;
    template <typename T>
    class ParamChoice;

    // Averages its input's colour along a line through each pixel: floor(
    // "Quality" x 32) + 1 samples, the centre one plus the rest spread up to
    // half the blur vector either way; alpha is the centre sample's. The
    // vector is ("Blur X", "Blur Y") scaled per pixel by the red and green
    // of a motion texture, less one half, when "Motion Source" names an
    // auxiliary input of type Motion holding a texture (a texel of zero red
    // and green means no motion); otherwise it is half ("Blur X", "Blur Y")
    // for the whole picture. The choices of "Motion Source" ("None" = -1,
    // then each Motion input by its name, valued by its slot) are made
    // again by init only.
    class MotionBlur : public ShaderEffect
    {
    public:
        MotionBlur();

        static std::string classType();
        static std::string classDisplayStr();
        static RttiObject* creationFunc() { return new MotionBlur(); }

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
        std::shared_ptr<ParamChoice<int>> motionSource;
        std::shared_ptr<ParamRange> blurX, blurY, quality;
        Quad quad;
    };
}
