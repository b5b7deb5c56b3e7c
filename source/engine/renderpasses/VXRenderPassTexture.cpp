#include "engine/renderpasses/VXRenderPassTexture.h"

#include "engine/gfx/VXRenderer.h"
#include "engine/gfx/VXScopedNoArrayBuffer.h"
#include "engine/gfx/VXTexture.h"

#include <epoxy/gl.h>

#include <algorithm>

namespace vx
{
    const std::string RenderPassTexture::TypeNames[4] = {"Default", "Mask", "UVMap", "Motion"};

    RenderPassTexture::RenderPassTexture(Texture* slotTexture, Type slotType, const std::string& slotName)
        : RenderPassTexture(slotTexture, 0.0f, 0.0f, slotType, slotName)
    {
    }

    RenderPassTexture::RenderPassTexture(Texture* slotTexture, float slotWidth, float slotHeight, Type slotType,
                                         const std::string& slotName)
        : texture(slotTexture), width(slotWidth), height(slotHeight), type(slotType), name(slotName)
    {
        if (texture == nullptr)
            return;
        if (width == 0.0f)
            width = texture->getWidth();
        if (height == 0.0f)
            height = texture->getHeight();
    }

    void RenderPassTexture::draw(Renderer& renderer, float x, float y, float w, float h) const
    {
        if (texture == nullptr || ! texture->isValid())
            return;
        RenderContext& cache = renderer.getRenderContext();
        const bool rectangle = texture->getTarget() == GL_TEXTURE_RECTANGLE;
        if (rectangle)
        {
            // Outside the cache, which knows 2D bindings only; undone below.
            cache.ensureSamplerActive(0);
            glBindTexture(GL_TEXTURE_RECTANGLE, texture->getGLName());
            glEnable(GL_TEXTURE_RECTANGLE);
        }
        else if (! cache.bind2DTexture(0, *texture))
            return;

        float s = width, t = height;
        if (! rectangle)
        {
            // A texture without hardware size (not made yet) samples nothing
            // rather than dividing by zero.
            const float hardwareW = float(texture->getHardwareWidth());
            const float hardwareH = float(texture->getHardwareHeight());
            s = hardwareW > 0.0f ? std::clamp(width / hardwareW, 0.0f, 1.0f) : 0.0f;
            t = hardwareH > 0.0f ? std::clamp(height / hardwareH, 0.0f, 1.0f) : 0.0f;
        }
        const float top = texture->ignoreFlip ? 0.0f : t;
        const float bottom = texture->ignoreFlip ? t : 0.0f;

        const float corners[8] = {x, y, x, y + h, x + w, y + h, x + w, y};
        const float coords[8] = {0.0f, bottom, 0.0f, top, s, top, s, bottom};
        {
            const ScopedNoArrayBuffer noArrayBuffer;
            glClientActiveTexture(GL_TEXTURE0);
            glEnableClientState(GL_TEXTURE_COORD_ARRAY);
            glEnableClientState(GL_VERTEX_ARRAY);
            glTexCoordPointer(2, GL_FLOAT, 0, coords);
            glVertexPointer(2, GL_FLOAT, 0, corners);
            glDrawArrays(GL_TRIANGLE_FAN, 0, 4);
            glDisableClientState(GL_TEXTURE_COORD_ARRAY);
            glDisableClientState(GL_VERTEX_ARRAY);
        }
        if (rectangle)
        {
            glDisable(GL_TEXTURE_RECTANGLE);
            glBindTexture(GL_TEXTURE_RECTANGLE, 0);
        }
        else
            cache.unbind2DTextures();
    }

    TVec2<float> RenderPassTexture::getMaxCoords() const
    {
        if (texture == nullptr || texture->getHardwareWidth() <= 0 || texture->getHardwareHeight() <= 0)
            return {0.0f, 0.0f};
        return {width / float(texture->getHardwareWidth()), height / float(texture->getHardwareHeight())};
    }
}
