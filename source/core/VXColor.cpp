#include "core/VXColor.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <istream>
#include <ostream>

namespace vx
{

    namespace
    {

        // One channel to its byte: x 255, truncated toward zero, low 8 bits kept. The float is
        // reduced modulo 256 before the integer conversion, so huge and negative values wrap
        // without an out-of-range conversion; NaN and infinities give 0.
        uint32_t packChannel(float value)
        {
            const double scaled = std::trunc(double(value * 255.0f));
            if (! std::isfinite(scaled))
                return 0;
            const auto wrapped = static_cast<int32_t>(std::fmod(scaled, 256.0));
            return static_cast<uint32_t>(wrapped) & 0xFFu;
        }

        float clampChannel(float value)
        {
            if (value > 1.0f)
                return 1.0f;
            if (value < 0.0f)
                return 0.0f;
            return value;
        }

        // rand() x 2^-31, kept below 1 (the largest rand() values round up to 1 in float).
        float randomUnit()
        {
            const float value = float(double(std::rand()) / 2147483648.0);
            return std::min(value, 0.99999994f);
        }

        uint32_t toLittleEndian(uint32_t value)
        {
            if constexpr (std::endian::native == std::endian::big)
                return ((value & 0xFFu) << 24) | ((value & 0xFF00u) << 8) | ((value >> 8) & 0xFF00u) | (value >> 24);
            return value;
        }

    } // namespace

    uint32_t PACKCOLOR(float r, float g, float b, float a)
    {
        const uint32_t packed =
            packChannel(r) | (packChannel(g) << 8) | (packChannel(b) << 16) | (packChannel(a) << 24);
        // Keeps the memory order R, G, B, A on every host.
        return toLittleEndian(packed);
    }

    Color::Color(const float* rgba) : r(rgba[0]), g(rgba[1]), b(rgba[2]), a(rgba[3])
    {
    }

    Color::Color(uint32_t packed)
    {
        const uint32_t value = toLittleEndian(packed);
        r = float(value & 0xFFu) / 255.0f;
        g = float((value >> 8) & 0xFFu) / 255.0f;
        b = float((value >> 16) & 0xFFu) / 255.0f;
        a = float((value >> 24) & 0xFFu) / 255.0f;
    }

    Color& Color::operator()(float red, float green, float blue, float alpha)
    {
        r = red;
        g = green;
        b = blue;
        a = alpha;
        return *this;
    }

    Color& Color::operator()(float grey, float alpha)
    {
        return (*this)(grey, grey, grey, alpha);
    }

    Color& Color::operator()(float grey)
    {
        return (*this)(grey, grey, grey, 1.0f);
    }

    Color Color::getFrom255(float r255, float g255, float b255, float a255)
    {
        return {r255 / 255.0f, g255 / 255.0f, b255 / 255.0f, a255 / 255.0f};
    }

    Color Color::fromBigEndianRGBA(uint32_t value)
    {
        return {float((value >> 24) & 0xFFu) / 255.0f, float((value >> 16) & 0xFFu) / 255.0f,
                float((value >> 8) & 0xFFu) / 255.0f, float(value & 0xFFu) / 255.0f};
    }

    Color Color::withAlpha(float alpha) const
    {
        return {r, g, b, alpha};
    }

    uint32_t Color::rgba() const
    {
        return PACKCOLOR(r, g, b, a);
    }
    uint32_t Color::bgra() const
    {
        return PACKCOLOR(b, g, r, a);
    }
    uint32_t Color::argb() const
    {
        return PACKCOLOR(a, r, g, b);
    }

    float Color::luminosity() const
    {
        return 0.3f * r + 0.59f * g + 0.11f * b;
    }

    float Color::squareDistance(const Color& o) const
    {
        const float dr = r - o.r, dg = g - o.g, db = b - o.b, da = a - o.a;
        return dr * dr + dg * dg + db * db + da * da;
    }

    float Color::distance(const Color& o) const
    {
        return std::sqrt(squareDistance(o));
    }

    Color& Color::premultiply()
    {
        r *= a;
        g *= a;
        b *= a;
        return *this;
    }

    Color Color::premultiplied() const
    {
        Color c(*this);
        return c.premultiply();
    }

    Color& Color::clampColor()
    {
        r = clampChannel(r);
        g = clampChannel(g);
        b = clampChannel(b);
        a = clampChannel(a);
        return *this;
    }

    Color& Color::operator+=(const Color& o)
    {
        r += o.r;
        g += o.g;
        b += o.b;
        a += o.a;
        return clampColor();
    }

    Color& Color::operator-=(const Color& o)
    {
        r -= o.r;
        g -= o.g;
        b -= o.b;
        a -= o.a;
        return clampColor();
    }

    Color& Color::operator*=(const Color& o)
    {
        r *= o.r;
        g *= o.g;
        b *= o.b;
        a *= o.a;
        return clampColor();
    }

    Color& Color::operator*=(float factor)
    {
        r *= factor;
        g *= factor;
        b *= factor;
        a *= factor;
        return clampColor();
    }

    Color& Color::operator/=(float divisor)
    {
        r /= divisor;
        g /= divisor;
        b /= divisor;
        a /= divisor;
        return clampColor();
    }

    Color Color::operator+(const Color& o) const
    {
        Color c(*this);
        return c += o;
    }
    Color Color::operator-(const Color& o) const
    {
        Color c(*this);
        return c -= o;
    }
    Color Color::operator*(const Color& o) const
    {
        Color c(*this);
        return c *= o;
    }
    Color Color::operator*(float factor) const
    {
        Color c(*this);
        return c *= factor;
    }
    Color Color::operator/(float divisor) const
    {
        Color c(*this);
        return c /= divisor;
    }

    Color Color::mul(float factor, bool keepAlpha) const
    {
        Color c(r * factor, g * factor, b * factor, keepAlpha ? a : a * factor);
        return c.clampColor();
    }

    Color Color::div(float divisor, bool keepAlpha) const
    {
        Color c(r / divisor, g / divisor, b / divisor, keepAlpha ? a : a / divisor);
        return c.clampColor();
    }

    bool Color::operator==(const Color& o) const
    {
        return r == o.r && g == o.g && b == o.b && a == o.a;
    }

    bool Color::operator!=(const Color& o) const
    {
        return ! (*this == o);
    }

    void Color::random()
    {
        r = randomUnit();
        g = randomUnit();
        b = randomUnit();
        a = 1.0f;
    }

    Color Color::getRandom(bool randomAlpha)
    {
        Color c;
        c.r = randomUnit();
        c.g = randomUnit();
        c.b = randomUnit();
        c.a = randomAlpha ? randomUnit() : 1.0f;
        return c;
    }

    void Color::HSV(float h, float s, float v)
    {
        if (s == 0.0f)
        {
            r = g = b = v;
            return;
        }
        const float scaledHue = h * 6.0f;
        const float sector = std::floor(scaledHue);
        const float f = scaledHue - sector;
        const float p = v * (1.0f - s);
        const float q = v * (1.0f - s * f);
        const float t = v * (1.0f - s * (1.0f - f));
        // Compared as floats: an integer conversion of an out-of-range hue would be undefined.
        if (sector == 0.0f)
            (*this)(v, t, p, a);
        else if (sector == 1.0f)
            (*this)(q, v, p, a);
        else if (sector == 2.0f)
            (*this)(p, v, t, a);
        else if (sector == 3.0f)
            (*this)(p, q, v, a);
        else if (sector == 4.0f)
            (*this)(t, p, v, a);
        else
            (*this)(v, p, q, a);
    }

    void Color::HSV(const TVec3<float>& hsv)
    {
        HSV(hsv.x, hsv.y, hsv.z);
    }

    Color Color::getHSV(float h, float s, float v)
    {
        Color c;
        c.HSV(h, s, v);
        return c;
    }

    Color Color::getHSVClamped(float h, float s, float v)
    {
        clampHSV(&h, &s, &v);
        return getHSV(h, s, v);
    }

    void Color::clampHSV(float* h, float* s, float* v)
    {
        if (*h == 1.0f)
            *h = 0.999f;
        if (*s == 0.0f)
            *s = 0.001f;
        if (*v == 0.0f)
            *v = 0.001f;
    }

    void Color::toHSV(float* h, float* s, float* v) const
    {
        const float maxValue = std::max(r, std::max(g, b));
        *v = maxValue;
        if (maxValue == 0.0f)
        {
            *s = 0.0f;
            *h = 0.0f;
            return;
        }
        const float minValue = std::min(r, std::min(g, b));
        const float delta = maxValue - minValue;
        *s = delta / maxValue;
        if (*s == 0.0f)
        {
            *h = 0.0f;
            return;
        }
        float hue;
        if (r == maxValue)
            hue = (g - b) / delta;
        else if (g == maxValue)
            hue = (b - r) / delta + 2.0f;
        else
            hue = (r - g) / delta + 4.0f;
        hue /= 6.0f;
        if (hue < 0.0f)
            hue += 1.0f;
        *h = hue;
    }

    TVec3<float> Color::toHSV() const
    {
        TVec3<float> hsv;
        toHSV(&hsv.x, &hsv.y, &hsv.z);
        return hsv;
    }

    TVec3<float> Color::toHSVClamped() const
    {
        TVec3<float> hsv = toHSV();
        clampHSV(&hsv.x, &hsv.y, &hsv.z);
        return hsv;
    }

    TVec3<float> Color::toCMY() const
    {
        return {1.0f - r, 1.0f - g, 1.0f - b};
    }

    Color Color::getNormalColor(float x, float y, float z)
    {
        return {x * 0.5f + 0.5f, y * 0.5f + 0.5f, z * 0.5f + 0.5f, 1.0f};
    }

    Color Color::getNormalColorLuma(float x, float y, float z)
    {
        const Color n = getNormalColor(x, y, z);
        return Color((n.r + n.g + n.b) / 3.0f, 1.0f);
    }

    std::ostream& operator<<(std::ostream& stream, const Color& color)
    {
        return stream << toLittleEndian(color.rgba());
    }

    std::istream& operator>>(std::istream& stream, Color& color)
    {
        uint32_t value = 0;
        if (stream >> value)
            color = Color(toLittleEndian(value));
        return stream;
    }

} // namespace vx
