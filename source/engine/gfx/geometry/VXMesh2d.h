#pragma once

#include "core/VXVec2.h"

#include <cstdint>
#include <vector>

namespace vx
{

    class Renderer;

    /** A 2D indexed triangle mesh that the renderer fills: three indices per
        triangle into the vertices; texture coordinates, when present, pair
        with the vertices. The colours are carried but not drawn. */
    class Mesh2d
    {
    public:
        std::vector<uint32_t> colors;
        std::vector<TVec2<float>> vertices;
        std::vector<TVec2<float>> uvs;
        std::vector<int> indices;

        void vertex(const TVec2<float>& v) { vertices.push_back(v); }
        void uv(const TVec2<float>& coords) { uvs.push_back(coords); }
        void color(uint32_t rgba) { colors.push_back(rgba); }
        void addTriangle(int a, int b, int c) { indices.insert(indices.end(), {a, b, c}); }

        bool empty() const { return vertices.empty() || indices.empty(); }

        /** Draws the triangles with the program the caller bound: positions on
            attribute 0 and, when there is one per vertex, texture coordinates
            on attribute 2, from client arrays. Nothing without vertices and
            indices; an index outside the vertices refuses the whole mesh
            (logged). Render thread. */
        void render(Renderer& renderer) const;
    };

} // namespace vx
