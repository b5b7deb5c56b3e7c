#pragma once

#include "engine/renderpasses/VXMixer.h"
#include "engine/renderpasses/catalogue/VXProgramEffect.h"

#include <string>

namespace vx
{
    class ShaderProgram;

    // The vertex program of the blend mixers: vx::vsTransform with two
    // coordinate sets, uv1 = vUV1 x TexScroll1.xy + TexScroll1.zw for input 0
    // (the destination) and uv2 = vUV1 x TexScroll2.xy + TexScroll2.zw for
    // input 1 (the source).
    extern const char* const vsTransformMixer;

    // What the ten blend mixers share; used by their files only.
    namespace detail
    {
        // The fragment program of a mixer of the common blend: the straight
        // colours d and s through operatorExpression (GLSL over vec3 d, vec3
        // s and the amount x), weighted by the coverage and laid over the
        // destination; the amount (the float uniform amountUniform) runs
        // from the destination alone (0) over the full operator (0.5) to the
        // source over the destination (1).
        std::string blendOperatorProgram(const char* amountUniform, const char* operatorExpression);

        // The blend program from vsTransformMixer and fragmentSource, then
        // the base mixer's; false as soon as the blend program fails.
        bool initBlendMixer(Mixer& mixer, ShaderProgram& program, const std::string& fragmentSource);

        // The one render of the ten: input 0 on unit 0 ("Texture1") and input
        // 1 on unit 1 ("Texture2"), each with its scroll vector, "Opacity" in
        // amountUniform, one quad over the pass. False without both inputs
        // or when begin fails; true, leaving what begin left in the target,
        // when the program cannot be bound. Sets no blend state.
        bool renderBlend(Mixer& mixer, ShaderProgram& program, Renderer& renderer, const char* amountUniform);
    }
}
