#include "engine/gfx/VXScopedClientAttribs.h"

#include <epoxy/gl.h>

namespace vx
{
    namespace
    {
        constexpr GLenum pixelStoreNames[] = {
            GL_PACK_SWAP_BYTES,   GL_PACK_LSB_FIRST,     GL_PACK_ROW_LENGTH,    GL_PACK_IMAGE_HEIGHT,
            GL_PACK_SKIP_ROWS,    GL_PACK_SKIP_PIXELS,   GL_PACK_SKIP_IMAGES,   GL_PACK_ALIGNMENT,
            GL_UNPACK_SWAP_BYTES, GL_UNPACK_LSB_FIRST,   GL_UNPACK_ROW_LENGTH,  GL_UNPACK_IMAGE_HEIGHT,
            GL_UNPACK_SKIP_ROWS,  GL_UNPACK_SKIP_PIXELS, GL_UNPACK_SKIP_IMAGES, GL_UNPACK_ALIGNMENT,
        };

        // Compressed-block sizes came with GL 4.2.
        constexpr GLenum blockNames[] = {
            GL_PACK_COMPRESSED_BLOCK_WIDTH,   GL_PACK_COMPRESSED_BLOCK_HEIGHT,  GL_PACK_COMPRESSED_BLOCK_DEPTH,
            GL_PACK_COMPRESSED_BLOCK_SIZE,    GL_UNPACK_COMPRESSED_BLOCK_WIDTH, GL_UNPACK_COMPRESSED_BLOCK_HEIGHT,
            GL_UNPACK_COMPRESSED_BLOCK_DEPTH, GL_UNPACK_COMPRESSED_BLOCK_SIZE,
        };
    }

    ScopedClientAttribs::ScopedClientAttribs(unsigned int mask)
    {
        GLint depth = 0, maximum = 0;
        glGetIntegerv(GL_CLIENT_ATTRIB_STACK_DEPTH, &depth);
        glGetIntegerv(GL_MAX_CLIENT_ATTRIB_STACK_DEPTH, &maximum);
        if (depth < maximum)
        {
            glPushClientAttrib(mask);
            pushed = true;
            return;
        }
        if ((mask & GL_CLIENT_PIXEL_STORE_BIT) == 0)
            return;
        const auto keep = [this](GLenum name)
        {
            GLint value = 0;
            glGetIntegerv(name, &value);
            pixelStore.emplace_back(name, value);
        };
        for (const GLenum name : pixelStoreNames)
            keep(name);
        if (epoxy_gl_version() >= 42)
            for (const GLenum name : blockNames)
                keep(name);
    }

    ScopedClientAttribs::~ScopedClientAttribs()
    {
        if (pushed)
            glPopClientAttrib();
        for (const auto& [name, value] : pixelStore)
            glPixelStorei(name, value);
    }
}
