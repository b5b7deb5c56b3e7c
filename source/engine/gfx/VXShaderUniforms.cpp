#include "engine/gfx/VXShaderUniforms.h"

namespace vx
{

    const std::string ShaderUniforms::View = "View";
    const std::string ShaderUniforms::Proj = "Proj";
    const std::string ShaderUniforms::World = "World";
    const std::string ShaderUniforms::WorldView = "WorldView";
    const std::string ShaderUniforms::WorldViewProj = "WorldViewProj";
    const std::string ShaderUniforms::Color = "Color";
    const std::string ShaderUniforms::Albedo = "Albedo";
    const std::string ShaderUniforms::Emission = "Emission";
    const std::string ShaderUniforms::Texture = "Texture";
    const std::string ShaderUniforms::TexScroll = "TexScroll";

} // namespace vx
