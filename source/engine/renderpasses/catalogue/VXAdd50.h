#pragma once

#include "engine/renderpasses/catalogue/VXBlendMixer.h"

#include <string>

namespace vx
{
    // Half-strength additive: D + S x clamp(x, 0, 1), reached by x x source
    // alpha from D, on all four channels and unclamped; x is "Opacity".
    // Input 0 is the destination, input 1 the source, both premultiplied.
    class Add50 : public Mixer
    {
    public:
        Add50();
        ~Add50() override;

        static std::string classType();
        static std::string classDisplayStr();
        static RttiObject* creationFunc() { return new Add50(); }

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
        // the uniform "add".
        static const std::string fsAdd50;

    private:
        detail::OwnedProgram program;
    };
}
