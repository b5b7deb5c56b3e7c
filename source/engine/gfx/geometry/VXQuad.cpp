#include "engine/gfx/geometry/VXQuad.h"

#include "engine/gfx/VXScopedNoArrayBuffer.h"

#include <epoxy/gl.h>

#include <algorithm>

namespace vx
{

    Quad::Quad(float w, float h) : numTexCoords(1)
    {
        minCoords[0] = {0.0f, 0.0f};
        maxCoords[0] = {w, h};
    }

    void Quad::setNumTexCoords(int n)
    {
        numTexCoords = std::clamp(n, 0, maxSets);
        for (int i = 0; i < numTexCoords; ++i)
        {
            minCoords[i] = {0.0f, 0.0f};
            maxCoords[i] = {1.0f, 1.0f};
            flipped[i] = false;
        }
    }

    void Quad::setMinCoords(int set, float u, float v)
    {
        if (set >= 0 && set < maxSets)
            minCoords[set] = {u, v};
    }

    void Quad::setMaxCoords(int set, float u, float v)
    {
        if (set >= 0 && set < maxSets)
            maxCoords[set] = {u, v};
    }

    void Quad::setFlipTexCoords(int set, bool flip)
    {
        if (set >= 0 && set < maxSets)
            flipped[set] = flip;
    }

    TVec2<float> Quad::getBuiltTexCoord(int set, int corner) const
    {
        if (set < 0 || set >= maxSets || corner < 0 || corner > 3)
            return {};
        return {texCoords[set][corner * 2], texCoords[set][corner * 2 + 1]};
    }

    void Quad::draw(float x, float y, float w, float h, bool)
    {
        const float positions[8] = {x, y, x, y + h, x + w, y + h, x + w, y};
        for (int i = 0; i < numTexCoords; ++i)
        {
            const float minU = minCoords[i].x, minV = minCoords[i].y;
            const float maxU = maxCoords[i].x, maxV = maxCoords[i].y;
            const float plain[8] = {minU, minV, minU, maxV, maxU, maxV, maxU, minV};
            const float flip[8] = {minU, maxV, minU, minV, maxU, minV, maxU, maxV};
            std::copy(flipped[i] ? flip : plain, (flipped[i] ? flip : plain) + 8, texCoords[i]);
        }

        const ScopedNoArrayBuffer noArrayBuffer;
        for (int i = 0; i < numTexCoords; ++i)
        {
            glClientActiveTexture(GL_TEXTURE0 + GLenum(i));
            glEnableClientState(GL_TEXTURE_COORD_ARRAY);
            glTexCoordPointer(2, GL_FLOAT, 0, texCoords[i]);
        }
        glEnableClientState(GL_VERTEX_ARRAY);
        glVertexPointer(2, GL_FLOAT, 0, positions);
        glDrawArrays(GL_TRIANGLE_FAN, 0, 4);
        for (int i = 0; i < numTexCoords; ++i)
        {
            glClientActiveTexture(GL_TEXTURE0 + GLenum(i));
            glDisableClientState(GL_TEXTURE_COORD_ARRAY);
        }
        glClientActiveTexture(GL_TEXTURE0);
    }

} // namespace vx
