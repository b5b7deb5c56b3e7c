#include "engine/renderpasses/catalogue/VXBlendMixer.h"

#include "core/VXMatrix4x4.h"
#include "core/VXVec4.h"
#include "core/parameters/VXParamRange.h"
#include "engine/gfx/VXRenderer.h"
#include "engine/gfx/VXShaderProgram.h"
#include "engine/gfx/VXTexture.h"

namespace vx
{
    const char* const vsTransformMixer =
        "#version 120\n"
        "uniform mat4 WorldViewProj; uniform mat4 World; uniform vec4 TexScroll1; uniform vec4 TexScroll2; "
        "attribute vec3 vPosition; attribute vec3 vNormal; attribute vec2 vUV1; attribute vec4 vColor; "
        "varying vec3 normal; varying vec2 uv1; varying vec2 uv2; varying vec4 color; "
        "void main() { gl_Position = WorldViewProj * vec4(vPosition, 1.0); "
        "normal = (World * vec4(vNormal, 0.0)).xyz; uv1 = vUV1 * TexScroll1.xy + TexScroll1.zw; "
        "uv2 = vUV1 * TexScroll2.xy + TexScroll2.zw; color = vColor; }";

    namespace detail
    {
        std::string blendOperatorProgram(const char* amountUniform, const char* operatorExpression)
        {
            const std::string amount(amountUniform);
            // The mixes use the premultiplied colours; only the operator sees
            // straight ones, divided where alpha is above 0.
            return "#version 120\n"
                   "uniform sampler2D Texture1; uniform sampler2D Texture2; uniform float " +
                   amount +
                   "; varying vec2 uv1; varying vec2 uv2; "
                   "vec3 blendOperator(vec3 d, vec3 s, float x) { return " +
                   operatorExpression +
                   "; } "
                   "void main() { vec4 D = texture2D(Texture1, uv1); vec4 S = texture2D(Texture2, uv2); "
                   "float x = " +
                   amount +
                   "; vec3 du = D.a > 0.0 ? D.rgb / D.a : D.rgb; vec3 su = S.a > 0.0 ? S.rgb / S.a : S.rgb; "
                   "float amt1 = min(1.0, 2.0 * x); float amt2 = clamp((x - 0.5) * 2.0, 0.0, 1.0); "
                   "vec3 m = blendOperator(du, su, x) * (D.a * (1.0 - S.a) + S.a); "
                   "vec3 r1 = mix(D.rgb, m, S.a); vec3 r2 = mix(S.rgb, r1, D.a); vec3 mix1 = mix(D.rgb, r2, amt1); "
                   "vec3 mix2 = D.rgb * (1.0 - S.a) + S.rgb; float a = S.a * min(2.0 * x, 1.0); "
                   "gl_FragColor = vec4(mix(mix1, mix2, amt2), min(1.0, D.a * (1.0 - a) + a)); }";
        }

        bool initBlendMixer(Mixer& mixer, ShaderProgram& program, const std::string& fragmentSource)
        {
            if (! program.loadString(vsTransformMixer, fragmentSource, std::string(), nullptr))
                return false;
            return mixer.Mixer::init();
        }

        bool renderBlend(Mixer& mixer, ShaderProgram& program, Renderer& renderer, const char* amountUniform)
        {
            const Texture* destination = mixer.getInput(0)->texture;
            const Texture* source = mixer.getInput(1)->texture;
            if (destination == nullptr || source == nullptr || ! mixer.begin(renderer))
                return false;

            renderer.setupGuiMatrices(100.0f);
            const float w = float(mixer.getWidth()), h = float(mixer.getHeight());
            // Pixel space runs downwards: the quad's v = 0 edge goes to the
            // bottom row, as GL has its textures.
            renderer.setWorldMatrix(Matrix4x4::translation(0.0f, h, 0.0f) * Matrix4x4::scaling(w, -h, 1.0f));
            RenderContext& cache = renderer.getRenderContext();
            cache.bind2DTexture(0, *destination);
            cache.bind2DTexture(1, *source);
            if (renderer.beginShader(program))
            {
                program.setSampler("Texture1", 0);
                program.setSampler("Texture2", 1);
                const TVec4<float> scroll1 = destination->buildScrollVector(0.0f, 0.0f, false);
                const TVec4<float> scroll2 = source->buildScrollVector(0.0f, 0.0f, false);
                program.setVec4("TexScroll1", scroll1.x, scroll1.y, scroll1.z, scroll1.w);
                program.setVec4("TexScroll2", scroll2.x, scroll2.y, scroll2.z, scroll2.w);
                program.setFloat(amountUniform, float(mixer.getOpacity().getValue()));
                renderer.drawQuadVBO();
                cache.unbindShader();
            }
            cache.unbind2DTextures();
            mixer.end(renderer);
            return true;
        }
    }
}
