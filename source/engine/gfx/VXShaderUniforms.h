#pragma once

#include <string>

namespace vx
{

    /** Uniform names shared by the renderer and the built-in programs. */
    struct ShaderUniforms
    {
        static const std::string View;
        static const std::string Proj;
        static const std::string World;
        static const std::string WorldView;
        static const std::string WorldViewProj;
        static const std::string Color;
        static const std::string Albedo;
        static const std::string Emission;
        static const std::string Texture;
        static const std::string TexScroll;
    };

} // namespace vx
