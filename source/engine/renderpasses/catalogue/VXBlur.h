#pragma once

#include "engine/renderpasses/VXEffect.h"
#include "engine/renderpasses/catalogue/VXProgramEffect.h"

#include <array>
#include <memory>

namespace vx
{
    class ParamRange;

    // A separable Gaussian blur of seven taps a side: across, from the input
    // into a pooled target held for the render, then up and down into the
    // output. "BlurX" and "BlurY" space the taps in texture coordinates (so
    // the radius in pixels grows with the texture), "Gaussian" is the
    // kernel's variance, and "Strength" multiplies every tap of both passes:
    // a flat picture comes out scaled by its square. Nothing is clamped but
    // by the targets' format.
    class Blur : public Effect
    {
    public:
        Blur();
        ~Blur() override;

        static std::string classType();
        static std::string classDisplayStr();
        static RttiObject* creationFunc() { return new Blur(); }

        bool isOfClassType(std::string t) const override;
        std::string derivedOfClassType(std::string t) const override;
        std::string getClassType() const override { return classType(); }
        std::string getClassDisplayStr() const override { return classDisplayStr(); }

        // Loads both programs; false when either does not build.
        bool init() override;
        // Frees both programs.
        void release() override;
        // False, drawing nothing, without an input texture, when begin fails
        // or when no pooled target can be bound for the first pass.
        bool render(Renderer& renderer) override;

        // The centre tap and the six of one side for that variance, in single
        // precision, the centre corrected so that it and both sides add up
        // to 1.
        static std::array<float, 7> computeWeights(double gaussian);

        // The fragment programs of the two passes (over vx::vsTransform).
        static const char* const psBlurH;
        static const char* const psBlurV;

    private:
        std::shared_ptr<ParamRange> blurX, blurY, strength, gaussian;
        detail::OwnedProgram horizontal, vertical;
    };
}
