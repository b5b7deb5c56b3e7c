#pragma once

#include "core/VXVec2.h"

#include <algorithm>
#include <cmath>
#include <iosfwd>
#include <vector>

namespace vx
{

    // An axis-aligned rectangle stored as x1, y1, x2, y2. Nothing keeps x1 <= x2 or
    // y1 <= y2 (a y-up rectangle keeps its top in y1); operations needing a size take
    // absolute differences. The engine uses it with float and int.
    template <typename T>
    struct RectT
    {
        T x1{};
        T y1{};
        T x2{};
        T y2{};

        constexpr RectT() = default;
        constexpr RectT(T left, T top, T right, T bottom) : x1(left), y1(top), x2(right), y2(bottom) {}

        constexpr bool operator==(const RectT& o) const { return x1 == o.x1 && y1 == o.y1 && x2 == o.x2 && y2 == o.y2; }
        constexpr bool operator!=(const RectT& o) const { return ! (*this == o); }

        // Index 0 makes the rectangle the single point; any other index grows it to include
        // the point. With yUp, y1 keeps the largest y and y2 the smallest.
        void addPoint(T x, T y, int index, bool yUp)
        {
            if (index == 0)
            {
                x1 = x2 = x;
                y1 = y2 = y;
                return;
            }
            x1 = std::min(x1, x);
            x2 = std::max(x2, x);
            if (yUp)
            {
                y1 = std::max(y1, y);
                y2 = std::min(y2, y);
            }
            else
            {
                y1 = std::min(y1, y);
                y2 = std::max(y2, y);
            }
        }

        // With reset the first point replaces the old extent; without it every point
        // extends it. An empty vector changes nothing.
        void addPoints(const std::vector<TVec2<T>>& points, bool reset)
        {
            for (size_t i = 0; i < points.size(); ++i)
                addPoint(points[i].x, points[i].y, reset ? int(i) : int(i) + 1, false);
        }

        // (x1, y1), (x2, y1), (x2, y2), (x1, y2).
        std::vector<TVec2<T>> getCorners() const
        {
            return {TVec2<T>(x1, y1), TVec2<T>(x2, y1), TVec2<T>(x2, y2), TVec2<T>(x1, y2)};
        }

        // Turns this rectangle into the largest copy of itself, scaled uniformly, that fits
        // into target: at the target's top-left, or centred on the free axis. A rectangle
        // of zero width or height has no proportions to keep and is left unchanged.
        void fitProportional(const RectT& target, bool centre)
        {
            const double tw = std::abs(double(target.x2) - double(target.x1));
            const double th = std::abs(double(target.y1) - double(target.y2));
            const double sw = std::abs(double(x2) - double(x1));
            const double sh = std::abs(double(y1) - double(y2));
            if (sw == 0.0 || sh == 0.0)
                return;
            const double kx = tw / sw;
            const double ky = th / sh;
            double left, top, newWidth, newHeight;
            if (ky >= kx)
            {
                newWidth = tw;
                newHeight = sh * kx;
                left = double(target.x1);
                top = centre ? double(target.y1) + (th * 0.5 - newHeight * 0.5) : double(target.y1);
            }
            else
            {
                newWidth = sw * ky;
                newHeight = th;
                top = double(target.y1);
                left = centre ? double(target.x1) + (tw * 0.5 - newWidth * 0.5) : double(target.x1);
            }
            x1 = T(float(left));
            y1 = T(float(top));
            x2 = T(float(left + newWidth));
            y2 = T(float(top + newHeight));
        }
    };

    // Insets rect by amount keeping its aspect ratio: the amount is capped at half the
    // shorter side, the longer axis is inset by it and the shorter one proportionally.
    // A negative amount grows the rectangle. A rectangle of zero width or height is
    // answered unchanged.
    RectT<float> shrinkRect(const RectT<float>& rect, float amount);

    // Rectangles carry no stream form: both operators leave stream and rectangle untouched.
    std::istream& operator>>(std::istream& stream, RectT<float>& rect);
    std::ostream& operator<<(std::ostream& stream, const RectT<float>& rect);

} // namespace vx
