#include "engine/gfx/VXScopedTextureEnvironment.h"

#include <epoxy/gl.h>

#include <iterator>

namespace vx
{
    namespace
    {
        constexpr GLenum enumParameters[] = {GL_TEXTURE_ENV_MODE, GL_COMBINE_RGB,    GL_COMBINE_ALPHA, GL_SRC0_RGB,
                                             GL_SRC1_RGB,         GL_SRC2_RGB,       GL_SRC0_ALPHA,    GL_SRC1_ALPHA,
                                             GL_SRC2_ALPHA,       GL_OPERAND0_RGB,   GL_OPERAND1_RGB,  GL_OPERAND2_RGB,
                                             GL_OPERAND0_ALPHA,   GL_OPERAND1_ALPHA, GL_OPERAND2_ALPHA};
    }

    ScopedTextureEnvironment::ScopedTextureEnvironment()
    {
        static_assert(std::size(enumParameters) == numEnums);
        glGetIntegerv(GL_ACTIVE_TEXTURE, &unit);
        for (int i = 0; i < numEnums; ++i)
            glGetTexEnviv(GL_TEXTURE_ENV, enumParameters[i], &enums[i]);
        glGetTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, colour);
        glGetTexEnvfv(GL_TEXTURE_ENV, GL_RGB_SCALE, &rgbScale);
        glGetTexEnvfv(GL_TEXTURE_ENV, GL_ALPHA_SCALE, &alphaScale);
    }

    ScopedTextureEnvironment::~ScopedTextureEnvironment()
    {
        // The unit the scope left active stays so: the renderer's binding
        // cache may have recorded it.
        GLint active = unit;
        glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
        if (active != unit)
            glActiveTexture(static_cast<GLenum>(unit));
        for (int i = 0; i < numEnums; ++i)
            glTexEnvi(GL_TEXTURE_ENV, enumParameters[i], enums[i]);
        glTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, colour);
        glTexEnvf(GL_TEXTURE_ENV, GL_RGB_SCALE, rgbScale);
        glTexEnvf(GL_TEXTURE_ENV, GL_ALPHA_SCALE, alphaScale);
        if (active != unit)
            glActiveTexture(static_cast<GLenum>(active));
    }
}
