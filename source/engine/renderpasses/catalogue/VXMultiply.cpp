#include "engine/renderpasses/catalogue/VXMultiply.h"

#include "engine/gfx/VXShaderProgram.h"

namespace vx
{
    const std::string Multiply::fsMultiply =
        "#version 120\n"
        "uniform sampler2D Texture1; uniform sampler2D Texture2; uniform float Multiply; varying vec2 uv1; "
        "varying vec2 uv2; "
        "void main() { vec4 D = texture2D(Texture1, uv1); vec4 S = texture2D(Texture2, uv2); "
        "vec4 du = D.a > 0.0 ? vec4(D.rgb / D.a, D.a) : D; vec4 su = S.a > 0.0 ? vec4(S.rgb / S.a, S.a) : S; "
        "float amtMul = min(1.0, 2.0 * Multiply); float amtAlpha = clamp((Multiply - 0.5) * 2.0, 0.0, 1.0); "
        "vec4 alphablended = D * (1.0 - S.a) + S * S.a; vec4 res = mix(du, du * su, amtMul); res.rgb *= res.a; "
        "gl_FragColor = res * (1.0 - amtAlpha) + alphablended * amtAlpha; }";

    Multiply::Multiply() : Mixer(2), program(detail::makeProgram())
    {
        setName(classType(), true);
    }

    Multiply::~Multiply() = default;

    std::string Multiply::classType()
    {
        static const std::string type = "Multiply";
        return type;
    }

    std::string Multiply::classDisplayStr()
    {
        static const std::string display = "Multiply";
        return display;
    }

    bool Multiply::isOfClassType(std::string t) const
    {
        return t == getClassType() || Mixer::isOfClassType(t);
    }

    std::string Multiply::derivedOfClassType(std::string t) const
    {
        return t == getClassType() ? getClassType() : Mixer::derivedOfClassType(t);
    }

    std::string Multiply::getUniqueId() const
    {
        return "A013";
    }

    std::string Multiply::getDescription() const
    {
        return "Multiply";
    }

    bool Multiply::init()
    {
        return detail::initBlendMixer(*this, *program, fsMultiply);
    }

    void Multiply::release()
    {
        program->release();
        Mixer::release();
    }

    bool Multiply::render(Renderer& renderer)
    {
        return detail::renderBlend(*this, *program, renderer, "Multiply");
    }
}
