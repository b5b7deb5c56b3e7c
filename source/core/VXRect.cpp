#include "core/VXRect.h"

#include <istream>
#include <ostream>

namespace vx
{

    RectT<float> shrinkRect(const RectT<float>& rect, float amount)
    {
        const float w = std::abs(rect.x2 - rect.x1);
        const float h = std::abs(rect.y2 - rect.y1);
        // A degenerate rectangle has no aspect ratio to keep (the insets would divide by 0).
        if (w == 0.0f || h == 0.0f)
            return rect;
        const float a = std::min(amount, std::min(w, h) / 2.0f);
        float horizontal, vertical;
        if (w > h)
        {
            horizontal = a;
            vertical = a * h / w;
        }
        else
        {
            horizontal = a * w / h;
            vertical = a;
        }
        return {rect.x1 + horizontal, rect.y1 + vertical, rect.x2 - horizontal, rect.y2 - vertical};
    }

    std::istream& operator>>(std::istream& stream, RectT<float>&)
    {
        return stream;
    }

    std::ostream& operator<<(std::ostream& stream, const RectT<float>&)
    {
        return stream;
    }

} // namespace vx
