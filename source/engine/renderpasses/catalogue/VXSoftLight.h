#pragma once

#include "engine/renderpasses/catalogue/VXBlendMixer.h"

#include <string>

namespace vx
{
    // Soft light, 2ds + d^2 - 2d^2 s clamped to 0..1, inside the mixers'
    // common blend.
    // Input 0 is the destination, input 1 the source, both premultiplied.
    class SoftLight : public Mixer
    {
    public:
        SoftLight();
        ~SoftLight() override;

        static std::string classType();
        static std::string classDisplayStr();
        static RttiObject* creationFunc() { return new SoftLight(); }

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
        // the uniform "SoftLight".
        static const std::string fsSoftLight;

    private:
        detail::OwnedProgram program;
    };
}
