#pragma once

#include "engine/renderpasses/catalogue/VXBlendMixer.h"

#include <string>

namespace vx
{
    // Multiplies the straight colours, alpha included, reached from the
    // straight destination by min(1, 2x) and premultiplied again; above
    // x = 0.5 it fades to D x (1 - S.a) + S x S.a. x is "Opacity".
    // Input 0 is the destination, input 1 the source, both premultiplied.
    class Multiply : public Mixer
    {
    public:
        Multiply();
        ~Multiply() override;

        static std::string classType();
        static std::string classDisplayStr();
        static RttiObject* creationFunc() { return new Multiply(); }

        bool isOfClassType(std::string t) const override;
        std::string derivedOfClassType(std::string t) const override;
        std::string getClassType() const override { return classType(); }
        std::string getClassDisplayStr() const override { return classDisplayStr(); }
        std::string getUniqueId() const override;
        std::string getDescription() const override;

        // Loads the blend program (false when it does not build), then the
        // base mixer's.
        bool init() override;
        // Frees the blend program, then the base mixer's.
        void release() override;
        // False, drawing nothing, without both inputs.
        bool render(Renderer& renderer) override;

        // The fragment program (over vx::vsTransformMixer); the amount is
        // the uniform "Multiply".
        static const std::string fsMultiply;

    private:
        detail::OwnedProgram program;
    };
}
