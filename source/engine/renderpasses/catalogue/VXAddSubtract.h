#pragma once

#include "engine/renderpasses/VXEffect.h"
#include "engine/renderpasses/catalogue/VXProgramEffect.h"

#include <memory>

namespace vx
{
    class ParamRange;
    class ShaderProgram;

    // Adds 2 x "R" - 1, 2 x "G" - 1 and 2 x "B" - 1 (each 0 to 1, default
    // 0.5: nothing) to the unpremultiplied colour, unclamped; alpha passes.
    class AddSubtract : public Effect
    {
    public:
        AddSubtract();
        ~AddSubtract() override;

        static std::string classType();
        static std::string classDisplayStr();
        static RttiObject* creationFunc() { return new AddSubtract(); }

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
        static const char* const fsAddSubtract;

    private:
        void setUniforms(ShaderProgram& bound) const;

        std::shared_ptr<ParamRange> red, green, blue;
        detail::OwnedProgram program;
    };
}
