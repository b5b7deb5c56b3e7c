#pragma once

#include "core/parameters/VXParamListener.h"
#include "engine/renderpasses/VXMixer.h"
#include "engine/renderpasses/VXShaderToy.h"

#include <string>

namespace vx
{
    // A two-input pass drawn by a ShaderToy-convention script: input 0 is
    // iChannel0 on texture coordinates 0, input 1 is iChannel1 on texture
    // coordinates 1 (so "Channel1" is not bound). The default script shows
    // both inputs mixed half and half.
    class ShaderToyMixer : public Mixer, public ParamListener
    {
    public:
        ShaderToyMixer();

        static std::string classType() { return "ShaderToyMixer"; }
        static std::string classDisplayStr() { return "ShaderToy"; }
        static RttiObject* creationFunc() { return new ShaderToyMixer(); }
        static const std::string& defaultScript();

        bool isOfClassType(std::string t) const override;
        std::string derivedOfClassType(std::string t) const override;
        std::string getClassType() const override { return classType(); }
        std::string getClassDisplayStr() const override { return classDisplayStr(); }
        std::string getDescription() const override { return "ShaderToy"; }

        bool init() override;
        void release() override;
        bool update(const TimeInfo& info) override;
        // False while no program is ready (nothing drawn then).
        bool render(Renderer& renderer) override;
        void readStateDerived(const XmlNode& node) override;

        void setFragmentShader(const std::string& text);
        ShaderToy& getToy() { return toy; }

    private:
        ShaderToy toy;
    };
}
