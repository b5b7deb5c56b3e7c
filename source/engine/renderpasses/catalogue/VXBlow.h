#pragma once

#include "engine/renderpasses/VXEffect.h"
#include "engine/renderpasses/catalogue/VXProgramEffect.h"

#include <memory>

namespace vx
{
    class ParamRange;
    class ShaderProgram;

    // Keeps the rectangle centred on ("X", "Y") with half extents ("Width",
    // "Height"), all in texture coordinates, and smears its border outwards:
    // outside it each pixel repeats the nearest pixel of the rectangle.
    class Blow : public Effect
    {
    public:
        Blow();
        ~Blow() override;

        static std::string classType();
        static std::string classDisplayStr();
        static RttiObject* creationFunc() { return new Blow(); }

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
        static const char* const fsBlow;

    private:
        void setUniforms(ShaderProgram& bound) const;

        std::shared_ptr<ParamRange> x, y, width, height;
        detail::OwnedProgram program;
    };
}
