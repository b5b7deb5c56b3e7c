#include "engine/renderpasses/VXShaderToyMixer.h"

#include "core/parameters/VXParamScript.h"

namespace vx
{
    ShaderToyMixer::ShaderToyMixer() : Mixer(2), toy(*this, defaultScript())
    {
        setName(classType(), true);
    }

    const std::string& ShaderToyMixer::defaultScript()
    {
        // A mainImage of its own: the toy appends main, so a script defining
        // main would never compile.
        static const std::string script =
            "void mainImage( out vec4 fragColor, in vec2 fragCoord )\n { \n \tvec4 color1 = texture2D( iChannel0, "
            "gl_TexCoord[ 0 ].st ); \n \tvec4 color2 = texture2D( iChannel1, gl_TexCoord[ 1 ].st ); \n \tfragColor = "
            "mix( color1, color2, 0.5 ); \n }";
        return script;
    }

    bool ShaderToyMixer::isOfClassType(std::string t) const
    {
        return t == ShaderToyMixer::classType() || Mixer::isOfClassType(t);
    }

    std::string ShaderToyMixer::derivedOfClassType(std::string t) const
    {
        return t == ShaderToyMixer::classType() ? getClassType() : Mixer::derivedOfClassType(t);
    }

    bool ShaderToyMixer::init()
    {
        Mixer::init();
        toy.init();
        return true;
    }

    void ShaderToyMixer::release()
    {
        toy.release();
        Mixer::release();
    }

    bool ShaderToyMixer::update(const TimeInfo& info)
    {
        toy.update(info);
        return Mixer::update(info);
    }

    bool ShaderToyMixer::render(Renderer& renderer)
    {
        if (! toy.prepareForRender())
            return false;
        if (! begin(renderer))
            return false;
        toy.render(renderer);
        end(renderer);
        return true;
    }

    void ShaderToyMixer::readStateDerived(const XmlNode& node)
    {
        Mixer::readStateDerived(node);
        toy.postReadState();
    }

    void ShaderToyMixer::setFragmentShader(const std::string& text)
    {
        toy.getFragmentScript().setValue(text, ValueChangeInfo());
    }
}
