#pragma once

#include "engine/renderpasses/VXEffect.h"
#include "engine/renderpasses/VXShaderToy.h"

#include <string>

namespace vx
{
    // A one-input pass drawn by a ShaderToy-convention script; its input is
    // iChannel0. The default script copies the input.
    class ShaderToyEffect : public Effect
    {
    public:
        ShaderToyEffect();

        static std::string classType() { return "ShaderToy"; }
        static std::string classDisplayStr() { return "ShaderToy"; }
        static RttiObject* creationFunc() { return new ShaderToyEffect(); }
        static const std::string& defaultScript();

        bool isOfClassType(std::string t) const override;
        std::string derivedOfClassType(std::string t) const override;
        std::string getClassType() const override { return classType(); }
        std::string getClassDisplayStr() const override { return classDisplayStr(); }
        std::string getDescription() const override;

        bool init() override;
        void release() override;
        bool update(const TimeInfo& info) override;
        // False, with the output cleared, while no program is ready.
        bool render(Renderer& renderer) override;
        void readStateDerived(const XmlNode& node) override;

        void setFragmentShader(const std::string& text);
        ShaderToy& getToy() { return toy; }

    private:
        ShaderToy toy;
    };
}
