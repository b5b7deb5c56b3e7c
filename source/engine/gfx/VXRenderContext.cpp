#include "engine/gfx/VXRenderContext.h"

#include "engine/gfx/VXRenderer.h"
#include "engine/gfx/VXShaderProgram.h"
#include "engine/gfx/VXTexture.h"

#include <epoxy/gl.h>

#include <algorithm>

namespace vx
{

    bool RenderContext::initialize()
    {
        GLint units = 0;
        glGetIntegerv(GL_MAX_TEXTURE_IMAGE_UNITS, &units);
        boundTextures.assign(size_t(std::max(units, 0)), 0u);
        boundProgram = 0;
        activeUnit = 0;
        return true;
    }

    void RenderContext::assumeDefaultContextState()
    {
        boundProgram = 0;
        activeUnit = 0;
        std::fill(boundTextures.begin(), boundTextures.end(), 0u);
    }

    void RenderContext::assumeBound2DTexture(unsigned long unit, unsigned int texture)
    {
        if (unit < boundTextures.size())
            boundTextures[unit] = texture;
    }

    void RenderContext::assumeActiveSampler(unsigned int unit)
    {
        activeUnit = unit;
    }

    void RenderContext::assumeBoundShader(unsigned int program)
    {
        boundProgram = program;
    }

    void RenderContext::forgetTexture(unsigned int texture)
    {
        if (texture == 0)
            return;
        std::replace(boundTextures.begin(), boundTextures.end(), texture, 0u);
    }

    RenderContext* RenderContext::getCurrent()
    {
        Renderer* renderer = Renderer::getCurrent();
        return renderer != nullptr ? &renderer->getRenderContext() : nullptr;
    }

    void RenderContext::bindShader(unsigned int program)
    {
        if (program == boundProgram)
            return;
        glUseProgram(program);
        boundProgram = program;
    }

    bool RenderContext::bindShader(const ShaderProgram& program)
    {
        if (program.getProgram() == 0)
            return false;
        bindShader(program.getProgram());
        return true;
    }

    bool RenderContext::bind2DTexture(unsigned long unit, unsigned int texture)
    {
        glEnable(GL_TEXTURE_2D);
        if (unit >= boundTextures.size())
            return false;
        if (boundTextures[unit] == texture)
            return true;
        ensureSamplerActive(static_cast<unsigned int>(unit));
        glBindTexture(GL_TEXTURE_2D, texture);
        boundTextures[unit] = texture;
        return true;
    }

    bool RenderContext::bind2DTexture(unsigned long unit, const Texture& texture)
    {
        if (texture.getGLName() == 0)
            return false;
        return bind2DTexture(unit, texture.getGLName());
    }

    void RenderContext::ensureSamplerActive(unsigned int unit)
    {
        if (unit == activeUnit)
            return;
        glActiveTexture(GL_TEXTURE0 + unit);
        activeUnit = unit;
    }

    void RenderContext::unbindShader()
    {
        if (boundProgram != 0)
            glUseProgram(0);
        boundProgram = 0;
    }

    void RenderContext::unbind2DTextures()
    {
        // What bind2DTexture(unit, 0) on every unit leaves, GL_TEXTURE_2D
        // enabled on each unit active along the way, with one glEnable per
        // such unit instead of one per unit: this runs after every textured
        // draw, over all units (32 on common drivers).
        bool enabledOnActiveUnit = false;
        for (unsigned long unit = 0; unit < boundTextures.size(); ++unit)
        {
            if (! enabledOnActiveUnit)
            {
                glEnable(GL_TEXTURE_2D);
                enabledOnActiveUnit = true;
            }
            if (boundTextures[unit] == 0)
                continue;
            if (unit != activeUnit)
            {
                ensureSamplerActive(static_cast<unsigned int>(unit));
                enabledOnActiveUnit = false;
            }
            glBindTexture(GL_TEXTURE_2D, 0);
            boundTextures[unit] = 0;
        }
    }

    void RenderContext::unbindAll()
    {
        unbindShader();
        unbind2DTextures();
    }

    unsigned int RenderContext::getBoundTexture(unsigned long unit) const
    {
        return unit < boundTextures.size() ? boundTextures[unit] : 0u;
    }

} // namespace vx
