#pragma once

#include "engine/renderpasses/VXShaderEffect.h"

namespace vx
{
    // Line doubling of the even field: every odd texel row shows the row
    // below it (row 0 is the bottom row of the texture).
    class Deinterlace : public ShaderEffect
    {
    public:
        Deinterlace();

        static std::string classType();
        static std::string classDisplayStr();
        static RttiObject* creationFunc() { return new Deinterlace(); }

        bool isOfClassType(std::string t) const override;
        std::string derivedOfClassType(std::string t) const override;
        std::string getClassType() const override { return classType(); }
        std::string getClassDisplayStr() const override { return classDisplayStr(); }
        std::string getDescription() const override;

        using ShaderEffect::init;
        bool init() override;
        // False, drawing nothing, without an input texture.
        bool render(Renderer& renderer) override;

    private:
        float interval = 0.0f; // one texel row in texture coordinates
    };
}
