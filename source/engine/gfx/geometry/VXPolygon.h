#pragma once

#include "core/VXRect.h"
#include "core/VXVec2.h"

#include <functional>
#include <vector>

namespace vx
{

    /** A plain list of vertices, closed implicitly (the last joins the first),
        as the transform tool's snapping uses it. */
    class Polygon
    {
    public:
        Polygon() = default;
        explicit Polygon(const std::vector<TVec2<float>>& vertices);
        /** (x1, y1), (x2, y1), (x2, y2), (x1, y2). */
        explicit Polygon(const RectT<float>& rect);

        void addVertex(const TVec2<float>& p) { vertices.push_back(p); }
        const std::vector<TVec2<float>>& getVertices() const { return vertices; }
        size_t size() const { return vertices.size(); }
        int getNumVertices() const { return int(vertices.size()); }
        /** Vertex i; i must be below size(). */
        const TVec2<float>& operator[](size_t i) const { return vertices[i]; }

        /** Calls f with every edge (v[i], v[(i + 1) mod n]), the closing one included. */
        void forEachEdge(const std::function<void(const TVec2<float>&, const TVec2<float>&)>& f) const;
        /** The mean of the vertices; (0, 0) when there are none. */
        TVec2<float> getCenter() const;
        /** Four vertices whose consecutive edges are nearly perpendicular. */
        bool isRect() const;

    private:
        std::vector<TVec2<float>> vertices;
    };

} // namespace vx
