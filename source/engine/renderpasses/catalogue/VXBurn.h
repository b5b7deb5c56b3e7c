#pragma once

#include "engine/renderpasses/catalogue/VXBlendMixer.h"

#include <string>

namespace vx
{
    // Colour burn, 1 - (1 - d) / s with the divisor held at 0.00001 or more,
    // clamped to 0..1, inside the mixers' common blend.
    // Input 0 is the destination, input 1 the source, both premultiplied.
    class Burn : public Mixer
    {
    public:
        Burn();
        ~Burn() override;

        static std::string classType();
        static std::string classDisplayStr();
        static RttiObject* creationFunc() { return new Burn(); }

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
        // the uniform "Burn".
        static const std::string fsBurn;

    private:
        detail::OwnedProgram program;
    };
}
