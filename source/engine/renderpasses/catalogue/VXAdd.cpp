#include "engine/renderpasses/catalogue/VXAdd.h"

#include "engine/gfx/VXShaderProgram.h"

namespace vx
{
    const std::string Add::fsAdd =
        "#version 120\n"
        "uniform sampler2D Texture1; uniform sampler2D Texture2; uniform float add; varying vec2 uv1; varying vec2 "
        "uv2; "
        "vec4 additive(vec4 a, vec4 b, float t) { return b + a * clamp(t, 0.0, 1.0); } "
        "void main() { vec4 D = texture2D(Texture1, uv1); vec4 S = texture2D(Texture2, uv2); "
        "vec4 mix1 = additive(S, D, 2.0 * add); vec4 mix2 = additive(D, S, 2.0 * (1.0 - add)); "
        "gl_FragColor = mix(mix1, mix2, add * S.a); }";

    Add::Add() : Mixer(2), program(detail::makeProgram())
    {
        setName(classType(), true);
    }

    Add::~Add() = default;

    std::string Add::classType()
    {
        static const std::string type = "Add";
        return type;
    }

    std::string Add::classDisplayStr()
    {
        static const std::string display = "Add";
        return display;
    }

    bool Add::isOfClassType(std::string t) const
    {
        return t == getClassType() || Mixer::isOfClassType(t);
    }

    std::string Add::derivedOfClassType(std::string t) const
    {
        return t == getClassType() ? getClassType() : Mixer::derivedOfClassType(t);
    }

    std::string Add::getUniqueId() const
    {
        return "A005";
    }

    std::string Add::getDescription() const
    {
        return "Add";
    }

    bool Add::init()
    {
        return detail::initBlendMixer(*this, *program, fsAdd);
    }

    void Add::release()
    {
        program->release();
        Mixer::release();
    }

    bool Add::render(Renderer& renderer)
    {
        return detail::renderBlend(*this, *program, renderer, "add");
    }
}
