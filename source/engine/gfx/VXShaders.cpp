#include "engine/gfx/VXShaders.h"

namespace qmv
{
    // The three pairs share one vertex text.
    constexpr const char* vsQMV =
        "varying vec2 Texcoord; void main( void ) { Texcoord = gl_MultiTexCoord0.xy; gl_Position = ftransform(); }";

    // YCoCg to RGB with G kept in the range that leaves R and B reachable.
#define VX_YCOCG_TO_RGB                                                                                                \
    "    float Co = cocg.r - 0.5;\n"                                                                                   \
    "    float Cg = cocg.g - 0.5;\n"                                                                                   \
    "    float margin = 0.0;\n"                                                                                        \
    "    float G = Y + Cg;\n"                                                                                          \
    "    float minG = (Y > 0.5 ? 2.0 * Y - 1.0 : 0.0) - margin;\n"                                                     \
    "    float maxG = (Y < 0.5 ? 2.0 * Y : 1.0) + margin;\n"                                                           \
    "    if (G < minG || G > maxG)\n"                                                                                  \
    "    {\n"                                                                                                          \
    "        G = clamp(G, minG, maxG);\n"                                                                              \
    "        Cg = G - Y;\n"                                                                                            \
    "    }\n"                                                                                                          \
    "    float RaB = 4.0 * Y - 2.0 * G;\n"                                                                             \
    "    float R = clamp(Y - Cg + Co, RaB > 1.0 ? RaB - 1.0 : 0.0, RaB < 1.0 ? RaB : 1.0);\n"                          \
    "    float B = 4.0 * Y - 2.0 * G - R;\n"

    const char* const fsYCoCg6 = "uniform sampler2D Y_TextureUnit;\n"
                                 "uniform sampler2D CoCg_TextureUnit;\n"
                                 "varying vec2 Texcoord;\n"
                                 "void main( void )\n"
                                 "{\n"
                                 "    float Y = texture2D(Y_TextureUnit, Texcoord).r;\n"
                                 "    vec4 cocg = texture2D(CoCg_TextureUnit, Texcoord);\n" VX_YCOCG_TO_RGB
                                 "    gl_FragColor = vec4(R, G, B, 1.0);\n"
                                 "}\n";

    const char* const fsYACoCg10 = "uniform sampler2D YA_TextureUnit;\n"
                                   "uniform sampler2D CoCg_TextureUnit;\n"
                                   "varying vec2 Texcoord;\n"
                                   "void main( void )\n"
                                   "{\n"
                                   "    vec4 ya = texture2D(YA_TextureUnit, Texcoord);\n"
                                   "    float Y = ya.r;\n"
                                   "    vec4 cocg = texture2D(CoCg_TextureUnit, Texcoord);\n" VX_YCOCG_TO_RGB
                                   "    gl_FragColor = vec4(R, G, B, ya.g);\n"
                                   "}\n";

#undef VX_YCOCG_TO_RGB

    const char* const fsALA = "uniform sampler2D LA_TextureUnit;\n"
                              "uniform sampler2D A_TextureUnit;\n"
                              "varying vec2 Texcoord;\n"
                              "void main( void )\n"
                              "{\n"
                              "    vec4 la = texture2D(LA_TextureUnit, Texcoord);\n"
                              "    gl_FragColor = vec4(la.r, la.a, 0.0, texture2D(A_TextureUnit, Texcoord).a);\n"
                              "}\n";

    const char* const vsYCoCg6 = vsQMV;
    const char* const vsYACoCg10 = vsQMV;
    const char* const vsALA = vsQMV;
}

namespace vx
{

    // Shared with the catalogue's effects (VXShaders.h).
    const char* const vsTransform =
        "#version 120\n"
        "uniform mat4 WorldViewProj; uniform mat4 World; uniform vec4 TexScroll; "
        "attribute vec3 vPosition; attribute vec3 vNormal; attribute vec2 vUV1; attribute vec4 vColor; "
        "varying vec3 normal; varying vec2 uv1; varying vec4 color; "
        "void main() { gl_Position = WorldViewProj * vec4( vPosition, 1.0 ); "
        "normal = (World * vec4(vNormal, 0.0)).xyz; uv1 = vUV1 * TexScroll.xy + TexScroll.zw; color = vColor; }";

    const char* const vsQuad2 =
        "varying vec4 color; void main() { gl_TexCoord[0] = gl_MultiTexCoord0; gl_TexCoord[1] = gl_MultiTexCoord1; "
        "gl_Position = gl_Vertex; color = gl_Color; }";

    const char* const vsFormatConversion =
        "varying vec2 uv0; void main() { gl_Position = gl_ModelViewProjectionMatrix * gl_Vertex; "
        "uv0 = gl_MultiTexCoord0.xy; gl_FrontColor = gl_Color; }";

    // Decode (packed or planar 4:2:2 YUV, or a plain sample), then swizzle,
    // then premultiply, then force opaque. With "sampleBounds" set (the texel
    // centres at the input's edges, as ShaderEffect::setSampleBounds gives)
    // lookups stay on the picture's own texels, and a packed pair is read at
    // its texel's centre, unmixed with the pairs beside it; left at zero,
    // lookups go where the coordinates say.
    const char* const fsFormatConversion =
        "#version 120\n"
        "uniform sampler2D inputTexture;\n"
        "uniform sampler2DRect inputTextureRect;\n"
        "uniform int useRectTexture;\n"
        "uniform int premultiply;\n"
        "uniform int swizzleMode;\n"
        "uniform int YUVToRGBA;\n"
        "uniform int sequentialYUVToRGBA;\n"
        "uniform float width;\n"
        "uniform float height;\n"
        "uniform vec2 maxCoords;\n"
        "uniform int forceOpaque;\n"
        "uniform vec4 sampleBounds;\n"
        "varying vec2 uv1;\n"
        "bool bounded()\n"
        "{\n"
        "    return sampleBounds.z > 0.0;\n"
        "}\n"
        "vec4 sampleInput(vec2 p)\n"
        "{\n"
        "    if (bounded())\n"
        "        p = clamp(p, sampleBounds.xy, sampleBounds.zw);\n"
        "    if (useRectTexture == 0)\n"
        "        return texture2D(inputTexture, p);\n"
        "    return texture2DRect(inputTextureRect, p);\n"
        "}\n"
        "float channel(vec4 t, int k)\n"
        "{\n"
        "    if (k == 0) return t.r;\n"
        "    if (k == 1) return t.g;\n"
        "    if (k == 2) return t.b;\n"
        "    return t.a;\n"
        "}\n"
        "vec4 yuvToRGB(float y, float u, float v)\n"
        "{\n"
        "    if (y <= 0.0)\n"
        "        return vec4(0.0, 0.0, 0.0, 1.0);\n"
        "    u -= 0.5;\n"
        "    v -= 0.5;\n"
        "    return vec4(y + 1.403 * v, y - 0.344 * u - 0.714 * v, y + 1.770 * u, 1.0);\n"
        "}\n"
        "void main()\n"
        "{\n"
        "    vec2 uv = uv1;\n"
        "    float W = width;\n"
        "    float H = height;\n"
        "    float fx = 1.0 / maxCoords.x;\n"
        "    float fy = 1.0 / maxCoords.y;\n"
        "    vec4 c;\n"
        "    if (YUVToRGBA == 1)\n"
        "    {\n"
        "        float column = floor(uv.x * W * fx);\n"
        "        vec2 p = uv;\n"
        "        if (bounded())\n"
        "        {\n"
        "            column = floor(uv.x / (sampleBounds.z + sampleBounds.x) * W);\n"
        "            p.x = (floor(column * 0.5) + 0.5) * 2.0 * sampleBounds.x;\n"
        "        }\n"
        "        vec4 t = sampleInput(p);\n"
        "        float y = t.r;\n"
        "        if (mod(column, 2.0) != 0.0)\n"
        "            y = t.b;\n"
        "        c = yuvToRGB(y, t.a, t.g);\n"
        "    }\n"
        "    else if (sequentialYUVToRGBA == 1)\n"
        "    {\n"
        "        float px = uv.x * fx * W;\n"
        "        float row = floor(uv.y * fy * H);\n"
        "        float lumaPosition = (floor(uv.x * fx * 0.5 * 0.5 * W) + floor(mod(row, 2.0) * 0.5 * 0.5 * W) + "
        "0.5)\n"
        "                             / (0.5 * W) * maxCoords.x;\n"
        "        vec4 t = sampleInput(vec2(lumaPosition, uv.y * 0.5));\n"
        "        float colorPosition = (floor(uv.x * 0.25 * fx * 0.5 * W) + floor(mod(row, 4.0) * 0.25 * 0.5 * W) "
        "+ 0.5)\n"
        "                              / (0.5 * W) * maxCoords.x;\n"
        "        vec4 vv = sampleInput(vec2(colorPosition, uv.y * 0.25 + 0.5 * maxCoords.y));\n"
        "        vec4 uu = sampleInput(vec2(colorPosition, uv.y * 0.25 + 0.75 * maxCoords.y));\n"
        "        int k = int(mod(floor(px) + floor(mod(row, 2.0) * fx * W), 4.0));\n"
        "        int j = int(mod(floor(px * 0.5), 4.0));\n"
        "        c = yuvToRGB(channel(t, k), channel(uu, j), channel(vv, j));\n"
        "    }\n"
        "    else\n"
        "        c = sampleInput(uv);\n"
        "    if (swizzleMode == 1)\n"
        "        c = c.gbar;\n"
        "    else if (swizzleMode == 2)\n"
        "        c = c.bgra;\n"
        "    if (premultiply == 1)\n"
        "        c.rgb *= c.a;\n"
        "    if (forceOpaque != 0)\n"
        "        c.a = 1.0;\n"
        "    gl_FragColor = c;\n"
        "}\n";

    // The other sources are this file's own.
    namespace
    {

        const char* const fsVertexColor = "#version 120\nvarying vec4 color; void main() { gl_FragData[0] = color; }";

        const char* const fsFlatColor = "#version 120\nuniform vec4 Color; void main() { gl_FragData[0] = Color; }";

        const char* const fsTextured =
            "#version 120\n"
            "uniform vec4 Albedo; uniform vec4 Emission; uniform sampler2D Texture; varying vec2 uv1; "
            "void main() { vec4 texColor = texture2D( Texture, uv1 ); gl_FragData[0] = texColor * Albedo + Emission; }";

        const char* const fsLit =
            "#version 120\n"
            "uniform vec4 Color; varying vec3 normal; "
            "void main() { vec4 lightIntensity = vec4( 0.2, 0.2, 0.2, 1.0 ); "
            "lightIntensity.rgb += clamp( dot( normalize( normal ), normalize( vec3( 1.0, 0.2, 0.5 ) ) ), 0.0, 1.0 ); "
            "gl_FragData[0] = Color * lightIntensity; }";

        const char* const fsAlphaMaskText =
            "#version 120\n"
            "uniform vec4 Albedo; uniform vec4 TexScroll; uniform sampler2D Texture; varying vec2 uv1; "
            "void main() { vec4 alpha = vec4(vec3(1.0), texture2D(Texture, uv1).a); "
            "gl_FragData[0] = vec4(Albedo.rgb, 1.0) * alpha; }";

        const char* const fsDistanceFieldText =
            "#version 120\n"
            "uniform vec4 Albedo;\n"
            "uniform vec4 GlowColour = vec4(1.0, 0.0, 0.0, 1.0);\n"
            "uniform vec4 OutlineColour;\n"
            "uniform vec4 Emission;\n"
            "uniform float SoftEdge;\n"
            "uniform float OutlineWidth = 0.0;\n"
            "uniform float Min0;\n"
            "uniform float Min1;\n"
            "uniform float Max0;\n"
            "uniform float Max1;\n"
            "uniform bool Outline;\n"
            "uniform sampler2D Texture;\n"
            "uniform vec4 TexScroll;\n"
            "const float Threshold = 0.5;\n"
            "const vec2 offset = vec2(0.03, 0.03);\n"
            "varying vec2 uv1;\n"
            "void main()\n"
            "{\n"
            "    float d = texture2D(Texture, uv1).a;\n"
            "    vec4 base = vec4(Albedo.rgb * Albedo.a, Albedo.a);\n"
            "    vec4 outline = vec4(OutlineColour.rgb * OutlineColour.a, OutlineColour.a);\n"
            "    float soft;\n"
            "    if (Outline && d >= Min0 && d <= Max1)\n"
            "    {\n"
            "        float factor = d <= Min1 ? smoothstep(Min0, Min1, d) : smoothstep(Max1, Max0, d);\n"
            "        base = mix(base, outline, factor);\n"
            "        soft = smoothstep(Min0 - SoftEdge, Min0 + SoftEdge, d);\n"
            "    }\n"
            "    else\n"
            "        soft = smoothstep(Threshold - SoftEdge, Threshold + SoftEdge, d);\n"
            "    base.a *= soft;\n"
            "    gl_FragData[0] = base;\n"
            "}\n";

        const char* const vsQuad =
            "varying vec4 color; void main() { gl_TexCoord[0] = gl_MultiTexCoord0; gl_Position = gl_Vertex; "
            "color = gl_Color; }";

        const char* const psSwizzleRGB =
            "varying vec4 color; uniform sampler2D inTex; uniform int order; "
            "void main() { vec2 texcoord = vec2(gl_TexCoord[0]); vec4 clr = texture2D(inTex, texcoord); "
            "if (order == 1) gl_FragColor = vec4(clr.b, clr.g, clr.r, clr.a); "
            "else gl_FragColor = vec4(clr.a, clr.r, clr.g, clr.b); }";

        const char* const vsHapY =
            "void main(void) { gl_Position = ftransform(); gl_TexCoord[0] = gl_MultiTexCoord0; }";

        const char* const fsHapY =
            "uniform sampler2D cocgsy_src; "
            "const vec4 offsets = vec4(-0.50196078431373, -0.50196078431373, 0.0, 0.0); "
            "void main() { vec4 CoCgSY = texture2D(cocgsy_src, gl_TexCoord[0].xy); CoCgSY += offsets; "
            "float scale = ( CoCgSY.z * ( 255.0 / 8.0 ) ) + 1.0; float Co = CoCgSY.x / scale; "
            "float Cg = CoCgSY.y / scale; float Y = CoCgSY.w; "
            "vec4 rgba = vec4(Y + Co - Cg, Y + Cg, Y - Co - Cg, 1.0); gl_FragColor = rgba; }";

        struct Sources
        {
            const char* vertex;
            const char* fragment;
        };

        const Sources slotSources[Shaders::numSlots] = {
            {vsTransform, fsVertexColor},
            {vsTransform, fsFlatColor},
            {vsTransform, fsTextured},
            {vsTransform, fsLit},
            {vsQuad, psSwizzleRGB},
            {vsTransform, fsFormatConversion},
            {vsHapY, fsHapY},
            {qmv::vsYCoCg6, qmv::fsYCoCg6},
            {qmv::vsYACoCg10, qmv::fsYACoCg10},
            {qmv::vsALA, qmv::fsALA},
            {vsTransform, fsDistanceFieldText},
            {vsTransform, fsAlphaMaskText},
        };
    }

    Shaders::Shaders()
    {
        for (auto& program : programs)
            program = std::make_unique<ShaderProgram>();
        textProgram = programs[AlphaMaskText].get();
    }

    Shaders::~Shaders() = default;

    bool Shaders::init()
    {
        for (size_t slot = 0; slot < numSlots; ++slot)
            if (! programs[slot]->loadString(slotSources[slot].vertex, slotSources[slot].fragment, "", nullptr))
                return false;
        return true;
    }

    void Shaders::release()
    {
        for (size_t slot = Swizzle; slot <= QMVAlphaPlanes; ++slot)
            programs[slot]->release();
    }

    void Shaders::setTextProgram(bool outlined)
    {
        textProgram = programs[outlined ? DistanceFieldText : AlphaMaskText].get();
    }

} // namespace vx
