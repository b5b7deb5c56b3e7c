#include "engine/renderpasses/VXShaderToyEffect.h"

#include "core/parameters/VXParamScript.h"

namespace vx
{
    ShaderToyEffect::ShaderToyEffect() : Effect(1), toy(*this, defaultScript())
    {
        setName(classType(), true);
    }

    const std::string& ShaderToyEffect::defaultScript()
    {
        static const std::string script =
            "void mainImage( out vec4 fragColor, in vec2 fragCoord )\n{ \n\t vec4 color = "
            "texture2D(iChannel0, fragCoord / iResolution.xy); \n\tfragColor = color; \n }";
        return script;
    }

    bool ShaderToyEffect::isOfClassType(std::string t) const
    {
        return t == ShaderToyEffect::classType() || Effect::isOfClassType(t);
    }

    std::string ShaderToyEffect::derivedOfClassType(std::string t) const
    {
        return t == ShaderToyEffect::classType() ? getClassType() : Effect::derivedOfClassType(t);
    }

    std::string ShaderToyEffect::getDescription() const
    {
        return "ShaderToy, create your own shaders on the fly the ShaderToy way.";
    }

    bool ShaderToyEffect::init()
    {
        Effect::init();
        toy.init();
        return true;
    }

    void ShaderToyEffect::release()
    {
        toy.release();
        Effect::release();
    }

    bool ShaderToyEffect::update(const TimeInfo& info)
    {
        toy.update(info);
        return Effect::update(info);
    }

    bool ShaderToyEffect::render(Renderer& renderer)
    {
        if (! begin(renderer))
            return false;
        if (! toy.prepareForRender())
        {
            end(renderer);
            return false;
        }
        toy.render(renderer);
        end(renderer);
        return true;
    }

    void ShaderToyEffect::readStateDerived(const XmlNode& node)
    {
        Effect::readStateDerived(node);
        toy.postReadState();
    }

    void ShaderToyEffect::setFragmentShader(const std::string& text)
    {
        toy.getFragmentScript().setValue(text, ValueChangeInfo());
    }
}
