#pragma once

#include "core/VXVec2.h"

namespace vx
{

    /** A rectangle with up to four texture-coordinate sets, drawn as one
        fixed-function triangle fan from client arrays (set i on client texture
        unit i). Render thread for draw. */
    class Quad
    {
    public:
        static constexpr int maxSets = 4;

        /** No texture-coordinate sets. */
        Quad() = default;
        /** One set from (0, 0) to (w, h), not flipped. */
        Quad(float w, float h);

        /** Sets 0 to n - 1 (n clamped to 0-4) to (0, 0)-(1, 1), not flipped. */
        void setNumTexCoords(int n);
        // Set indices outside 0-3 are ignored.
        void setMinCoords(int set, float u, float v);
        void setMaxCoords(int set, float u, float v);
        void setFlipTexCoords(int set, bool flip);

        int getNumTexCoords() const { return numTexCoords; }
        /** Corner k's coordinates of a set as the last draw built them. */
        TVec2<float> getBuiltTexCoord(int set, int corner) const;

        /** Corners (x, y), (x, y + h), (x + w, y + h), (x + w, y). Leaves
            GL_VERTEX_ARRAY enabled and client unit 0 active. The flag is not used. */
        void draw(float x, float y, float w, float h, bool unused = false);

    private:
        TVec2<float> maxCoords[maxSets];
        TVec2<float> minCoords[maxSets];
        bool flipped[maxSets] = {};
        int numTexCoords = 0;
        float texCoords[maxSets][8] = {};
    };

} // namespace vx
