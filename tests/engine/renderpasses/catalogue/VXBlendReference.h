#pragma once

// The blend mixers' results computed on the CPU from their formulas, for
// premultiplied destination D (input 0) and source S (input 1) at amount x.

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

namespace vx::test
{
    struct Rgba
    {
        double r = 0, g = 0, b = 0, a = 0;
    };

    namespace blend
    {
        inline double clamp01(double v)
        {
            return std::clamp(v, 0.0, 1.0);
        }

        inline double lerp(double a, double b, double t)
        {
            return a * (1.0 - t) + b * t;
        }

        // Colour divided by alpha where alpha is above 0; alpha kept.
        inline Rgba straight(const Rgba& c)
        {
            return c.a > 0.0 ? Rgba{c.r / c.a, c.g / c.a, c.b / c.a, c.a} : c;
        }

        // One channel of the operator of a common-blend mixer.
        inline double op(const std::string& mixer, double d, double s, double x)
        {
            if (mixer == "Burn")
                return clamp01(1.0 - (1.0 - d) / std::max(s, 0.00001));
            if (mixer == "Darken")
                return std::min(d, s);
            if (mixer == "Difference")
                return clamp01(d - s);
            if (mixer == "DifferenceI")
                return clamp01(1.0 - std::abs(1.0 - d - s));
            if (mixer == "Dodge")
                return clamp01(d / std::max(1.0 - s, 0.00001));
            if (mixer == "Lighten")
                return std::max(s - (1.0 - std::min(2.0 * x, 1.0)), d);
            if (mixer == "SoftLight")
                return clamp01(2.0 * d * s + d * d - 2.0 * d * d * s);
            throw std::invalid_argument(mixer);
        }

        inline bool isCommonBlend(const std::string& mixer)
        {
            return mixer != "Add" && mixer != "Add50" && mixer != "Multiply";
        }
    }

    // Unclamped, as a floating-point target stores it.
    inline Rgba blendReference(const std::string& mixer, const Rgba& D, const Rgba& S, double x)
    {
        using namespace blend;
        if (mixer == "Add" || mixer == "Add50")
        {
            const auto channel = [&](double d, double s)
            {
                if (mixer == "Add50")
                    return lerp(d, d + s * clamp01(x), x * S.a);
                const double mix1 = d + s * clamp01(2.0 * x);
                const double mix2 = s + d * clamp01(2.0 * (1.0 - x));
                return lerp(mix1, mix2, x * S.a);
            };
            return {channel(D.r, S.r), channel(D.g, S.g), channel(D.b, S.b), channel(D.a, S.a)};
        }
        const Rgba du = straight(D), su = straight(S);
        if (mixer == "Multiply")
        {
            const double amtMul = std::min(1.0, 2.0 * x), amtAlpha = clamp01((x - 0.5) * 2.0);
            Rgba res{lerp(du.r, du.r * su.r, amtMul), lerp(du.g, du.g * su.g, amtMul), lerp(du.b, du.b * su.b, amtMul),
                     lerp(du.a, du.a * su.a, amtMul)};
            res.r *= res.a;
            res.g *= res.a;
            res.b *= res.a;
            const auto out = [&](double r, double d, double s) { return lerp(r, d * (1.0 - S.a) + s * S.a, amtAlpha); };
            return {out(res.r, D.r, S.r), out(res.g, D.g, S.g), out(res.b, D.b, S.b), out(res.a, D.a, S.a)};
        }
        const double amt1 = std::min(1.0, 2.0 * x), amt2 = clamp01((x - 0.5) * 2.0);
        const double coverage = D.a * (1.0 - S.a) + S.a;
        const auto channel = [&](double d, double s, double dStraight, double sStraight)
        {
            const double m = op(mixer, dStraight, sStraight, x) * coverage;
            const double r1 = lerp(d, m, S.a);
            const double r2 = lerp(s, r1, D.a);
            const double mix1 = lerp(d, r2, amt1);
            const double mix2 = d * (1.0 - S.a) + s;
            return lerp(mix1, mix2, amt2);
        };
        const double a = S.a * std::min(2.0 * x, 1.0);
        return {channel(D.r, S.r, du.r, su.r), channel(D.g, S.g, du.g, su.g), channel(D.b, S.b, du.b, su.b),
                std::min(1.0, D.a * (1.0 - a) + a)};
    }
}
