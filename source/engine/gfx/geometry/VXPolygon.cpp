#include "engine/gfx/geometry/VXPolygon.h"

#include <cmath>

namespace vx
{

    Polygon::Polygon(const std::vector<TVec2<float>>& initialVertices) : vertices(initialVertices)
    {
    }

    Polygon::Polygon(const RectT<float>& rect)
        : vertices{{rect.x1, rect.y1}, {rect.x2, rect.y1}, {rect.x2, rect.y2}, {rect.x1, rect.y2}}
    {
    }

    void Polygon::forEachEdge(const std::function<void(const TVec2<float>&, const TVec2<float>&)>& f) const
    {
        const size_t n = vertices.size();
        for (size_t i = 0; i < n; ++i)
            f(vertices[i], vertices[(i + 1) % n]);
    }

    TVec2<float> Polygon::getCenter() const
    {
        if (vertices.empty())
            return {};
        TVec2<float> sum;
        for (const auto& v : vertices)
            sum += v;
        return sum / float(vertices.size());
    }

    bool Polygon::isRect() const
    {
        if (vertices.size() != 4)
            return false;
        for (size_t i = 0; i < 4; ++i)
        {
            const TVec2<float> d = (vertices[(i + 1) % 4] - vertices[i]).normalized();
            const TVec2<float> next = vertices[(i + 2) % 4] - vertices[(i + 1) % 4];
            if (! (std::fabs(next.dot(d)) < 0.01f))
                return false;
        }
        return true;
    }

} // namespace vx
