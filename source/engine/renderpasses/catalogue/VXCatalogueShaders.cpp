#include "engine/renderpasses/catalogue/VXCatalogueShaders.h"

namespace vx
{
    const char* const vsTransform =
        "#version 120\n"
        "uniform mat4 WorldViewProj; uniform mat4 World; uniform vec4 TexScroll; "
        "attribute vec3 vPosition; attribute vec3 vNormal; attribute vec2 vUV1; attribute vec4 vColor; "
        "varying vec3 normal; varying vec2 uv1; varying vec4 color; "
        "void main() { gl_Position = WorldViewProj * vec4( vPosition, 1.0 ); "
        "normal = (World * vec4(vNormal, 0.0)).xyz; uv1 = vUV1 * TexScroll.xy + TexScroll.zw; color = vColor; }";
}
