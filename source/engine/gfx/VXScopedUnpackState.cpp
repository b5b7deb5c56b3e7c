#include "engine/gfx/VXScopedUnpackState.h"

#include <epoxy/gl.h>

namespace vx
{
    ScopedUnpackState::ScopedUnpackState()
        : binding(GL_PIXEL_UNPACK_BUFFER, GL_PIXEL_UNPACK_BUFFER_BINDING, 0), pixelStore(GL_CLIENT_PIXEL_STORE_BIT)
    {
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
        glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
        glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
    }
}
