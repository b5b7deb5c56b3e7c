#pragma once

namespace vx
{
    // The vertex program of the catalogue's effects with a program of their
    // own ("#version 120", the engine's vertex convention): uniforms
    // "WorldViewProj", "World" and "TexScroll"; it passes uv1 = vUV1 x
    // TexScroll.xy + TexScroll.zw on to the fragment program.
    extern const char* const vsTransform;
}
