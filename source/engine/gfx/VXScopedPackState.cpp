#include "engine/gfx/VXScopedPackState.h"

#include <epoxy/gl.h>

namespace vx
{
    ScopedPackState::ScopedPackState(int alignment, int rowLength, unsigned int packBuffer)
        : binding(GL_PIXEL_PACK_BUFFER, GL_PIXEL_PACK_BUFFER_BINDING, packBuffer), pixelStore(GL_CLIENT_PIXEL_STORE_BIT)
    {
        glPixelStorei(GL_PACK_ALIGNMENT, alignment);
        glPixelStorei(GL_PACK_ROW_LENGTH, rowLength);
        glPixelStorei(GL_PACK_SKIP_ROWS, 0);
        glPixelStorei(GL_PACK_SKIP_PIXELS, 0);
    }
}
