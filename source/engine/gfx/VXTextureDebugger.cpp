#include "engine/gfx/VXTextureDebugger.h"

namespace vx
{

    TextureDebugger& TextureDebugger::getInstance()
    {
        static TextureDebugger instance;
        return instance;
    }

    void TextureDebugger::debugTexture(Texture*, std::string)
    {
    }

} // namespace vx
