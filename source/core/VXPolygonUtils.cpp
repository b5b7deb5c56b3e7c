#include "core/VXPolygonUtils.h"

namespace vx
{

    bool pointInPoly(int count, const TVec2<float>* vertices, const TVec2<float>& p)
    {
        if (count < 1 || vertices == nullptr)
            return false;
        bool inside = false;
        for (int i = 0, j = count - 1; i < count; j = i++)
        {
            const TVec2<float>& vi = vertices[i];
            const TVec2<float>& vj = vertices[j];
            // The straddle test guarantees vj.y != vi.y, so the division is safe.
            if ((vi.y > p.y) != (vj.y > p.y) && p.x < (vj.x - vi.x) * (p.y - vi.y) / (vj.y - vi.y) + vi.x)
                inside = ! inside;
        }
        return inside;
    }

} // namespace vx
