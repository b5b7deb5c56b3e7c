#include "engine/renderpasses/catalogue/VXAdd50.h"

#include "engine/gfx/VXShaderProgram.h"

namespace vx
{
    const std::string Add50::fsAdd50 =
        "#version 120\n"
        "uniform sampler2D Texture1; uniform sampler2D Texture2; uniform float add; varying vec2 uv1; varying vec2 "
        "uv2; "
        "void main() { vec4 D = texture2D(Texture1, uv1); vec4 S = texture2D(Texture2, uv2); "
        "vec4 mix1 = D + S * clamp(add, 0.0, 1.0); gl_FragColor = mix(D, mix1, add * S.a); }";

    Add50::Add50() : Mixer(2), program(detail::makeProgram())
    {
        setName(classType(), true);
    }

    Add50::~Add50() = default;

    std::string Add50::classType()
    {
        static const std::string type = "Add50";
        return type;
    }

    std::string Add50::classDisplayStr()
    {
        static const std::string display = "50 Add";
        return display;
    }

    bool Add50::isOfClassType(std::string t) const
    {
        return t == getClassType() || Mixer::isOfClassType(t);
    }

    std::string Add50::derivedOfClassType(std::string t) const
    {
        return t == getClassType() ? getClassType() : Mixer::derivedOfClassType(t);
    }

    std::string Add50::getUniqueId() const
    {
        return "A028";
    }

    std::string Add50::getDescription() const
    {
        return "50 Add";
    }

    bool Add50::init()
    {
        return detail::initBlendMixer(*this, *program, fsAdd50);
    }

    void Add50::release()
    {
        program->release();
        Mixer::release();
    }

    bool Add50::render(Renderer& renderer)
    {
        return detail::renderBlend(*this, *program, renderer, "add");
    }
}
