#pragma once

#include "core/VXVec3.h"

#include <cstdint>
#include <iosfwd>

namespace vx
{

    // Packs four channels into one pixel, red in the low byte (bytes in memory: R, G, B, A).
    // Each channel is scaled by 255, truncated toward zero and only its low 8 bits kept:
    // no clamping (1.01 wraps to 1, small negatives wrap to large bytes). A NaN or
    // infinite channel packs as 0. Callers clamp first when inputs may leave 0..1.
    uint32_t PACKCOLOR(float r, float g, float b, float a);

    // The bytes of a packed pixel in memory order: 1 red, 2 green, 3 blue, 4 alpha.
    constexpr uint32_t GET_CHANNEL1(uint32_t packed)
    {
        return packed & 0xFFu;
    }
    constexpr uint32_t GET_CHANNEL2(uint32_t packed)
    {
        return (packed >> 8) & 0xFFu;
    }
    constexpr uint32_t GET_CHANNEL3(uint32_t packed)
    {
        return (packed >> 16) & 0xFFu;
    }
    constexpr uint32_t GET_CHANNEL4(uint32_t packed)
    {
        return (packed >> 24) & 0xFFu;
    }

    // An RGBA colour of four contiguous floats, nominally 0..1. Arithmetic operators
    // clamp their results to 0..1; the constructors and setters store values as given.
    class Color
    {
    public:
        float r = 0.0f;
        float g = 0.0f;
        float b = 0.0f;
        float a = 0.0f;

        constexpr Color() = default;
        constexpr Color(float red, float green, float blue) : r(red), g(green), b(blue), a(1.0f) {}
        constexpr Color(float red, float green, float blue, float alpha) : r(red), g(green), b(blue), a(alpha) {}
        constexpr Color(float grey, float alpha) : r(grey), g(grey), b(grey), a(alpha) {}
        constexpr explicit Color(float grey) : r(grey), g(grey), b(grey), a(1.0f) {}
        // Four floats in the order r, g, b, a.
        explicit Color(const float* rgba);
        // A packed pixel as PACKCOLOR makes it; each byte / 255.
        explicit Color(uint32_t packed);

        Color& operator()(float red, float green, float blue, float alpha);
        Color& operator()(float grey, float alpha);
        Color& operator()(float grey);

        static Color getFrom255(float r255, float g255, float b255, float a255);
        // From a value written 0xRRGGBBAA (red in the high byte).
        static Color fromBigEndianRGBA(uint32_t value);
        Color withAlpha(float alpha) const;

        uint32_t rgba() const;
        uint32_t bgra() const;
        uint32_t argb() const;
        const float* getRGBAArray() const { return &r; }

        // 0.3 r + 0.59 g + 0.11 b; alpha ignored.
        float luminosity() const;
        // Euclidean distance over all four channels, alpha included.
        float distance(const Color& other) const;
        float squareDistance(const Color& other) const;

        Color& premultiply();
        Color premultiplied() const;
        // Each channel into 0..1; a NaN channel stays NaN.
        Color& clampColor();

        Color& operator+=(const Color& other);
        Color& operator-=(const Color& other);
        Color& operator*=(const Color& other);
        Color& operator*=(float factor);
        Color& operator/=(float divisor);
        Color operator+(const Color& other) const;
        Color operator-(const Color& other) const;
        Color operator*(const Color& other) const;
        Color operator*(float factor) const;
        Color operator/(float divisor) const;
        Color mul(float factor, bool keepAlpha) const;
        Color div(float divisor, bool keepAlpha) const;
        bool operator==(const Color& other) const;
        bool operator!=(const Color& other) const;

        // Red, green and blue from rand() (0 up to 1), alpha 1.
        void random();
        static Color getRandom(bool randomAlpha);

        // Hue, saturation and value in 0..1 (hue as a fraction of the circle).
        // Sets r, g, b; alpha is left as it is.
        void HSV(float h, float s, float v);
        void HSV(const TVec3<float>& hsv);
        // From all-zero channels, so the alpha of the answer is 0.
        static Color getHSV(float h, float s, float v);
        static Color getHSVClamped(float h, float s, float v);
        // Hue exactly 1 becomes 0.999; saturation or value exactly 0 becomes 0.001.
        static void clampHSV(float* h, float* s, float* v);
        void toHSV(float* h, float* s, float* v) const;
        TVec3<float> toHSV() const;
        TVec3<float> toHSVClamped() const;
        TVec3<float> toCMY() const;

        // (x, y, z) * 0.5 + 0.5 with alpha 1, for showing a unit normal.
        static Color getNormalColor(float x, float y, float z);
        static Color getNormalColorLuma(float x, float y, float z);

        static const Color transparentBlack;
        static const Color black;
        static const Color white;
        static const Color red;
        static const Color green;
        static const Color blue;
        static const Color yellow;
        static const Color orange;
        static const Color turquoise;
    };

    inline constexpr Color Color::transparentBlack{0.0f, 0.0f, 0.0f, 0.0f};
    inline constexpr Color Color::black{0.0f, 0.0f, 0.0f, 1.0f};
    inline constexpr Color Color::white{1.0f, 1.0f, 1.0f, 1.0f};
    inline constexpr Color Color::red{1.0f, 0.0f, 0.0f, 1.0f};
    inline constexpr Color Color::green{0.0f, 1.0f, 0.0f, 1.0f};
    inline constexpr Color Color::blue{0.0f, 0.0f, 1.0f, 1.0f};
    inline constexpr Color Color::yellow{1.0f, 1.0f, 0.0f, 1.0f};
    inline constexpr Color Color::orange{1.0f, 0.5f, 0.0f, 1.0f};
    inline constexpr Color Color::turquoise{0.25f, 0.88f, 0.82f, 1.0f};

    // getRGBAArray hands the four channels out as one array.
    static_assert(sizeof(Color) == 4 * sizeof(float));

    // The stream form is rgba() as an unsigned decimal number (opaque red: 4278190335).
    std::ostream& operator<<(std::ostream& stream, const Color& color);
    std::istream& operator>>(std::istream& stream, Color& color);

} // namespace vx
