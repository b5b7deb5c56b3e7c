#pragma once

#include "engine/renderpasses/VXEffect.h"
#include "engine/renderpasses/catalogue/VXProgramEffect.h"

#include <memory>

namespace vx
{
    class ParamRange;
    class ShaderProgram;

    // On the unpremultiplied colour: adds 2 x "Brightness" - 1 to red, green
    // and blue, then scales them by the contrast factor, about 0 (not mid
    // grey): 2 x "Contrast" up to 0.5, then rising ten times as steeply to 6
    // at 1. Defaults 0.5 change nothing; nothing is clamped; alpha passes.
    class BrightnessContrast : public Effect
    {
    public:
        BrightnessContrast();
        ~BrightnessContrast() override;

        static std::string classType();
        static std::string classDisplayStr();
        static RttiObject* creationFunc() { return new BrightnessContrast(); }

        bool isOfClassType(std::string t) const override;
        std::string derivedOfClassType(std::string t) const override;
        std::string getClassType() const override { return classType(); }
        std::string getClassDisplayStr() const override { return classDisplayStr(); }
        std::string getUniqueId() const override;
        std::string getDescription() const override;

        // Loads the program; false when it does not build.
        bool init() override;
        // Frees the program.
        void release() override;
        // False, drawing nothing, without an input texture.
        bool render(Renderer& renderer) override;

        // The fragment program (over vx::vsTransform).
        static const char* const fsBrightnessContrast;

    private:
        void setUniforms(ShaderProgram& bound) const;

        std::shared_ptr<ParamRange> brightness, contrast;
        detail::OwnedProgram program;
    };
}
