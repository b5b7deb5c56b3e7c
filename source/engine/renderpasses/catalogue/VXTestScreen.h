#pragma once

#include "engine/renderpasses/VXGenerator.h"

#include <memory>
#include <string>

namespace vx
{
    class Font;
    class ParamRange;
    template <typename T>
    struct TVec2;

    // A test card in the output's pixels (y down, centre cx, cy): a
    // translucent grey field, a 40-pixel grid of one-pixel bars through the
    // centre, a 4-pixel centre cross, rings of radius half the height at the
    // centre and at cx +- k x r while the previous one reached into the
    // picture, pixel labels every 40 pixels along both centre lines, the size
    // ("Size W x H") and the timecode from "Hours", "Minutes", "Seconds" and
    // "Frames" (each truncated; the pass does not advance them).
    //
    // Fixed-function drawing in the current GL colour and matrices; blending
    // is off and the pass's drawing colour white afterwards.
    class TestScreen : public Generator
    {
    public:
        TestScreen();
        ~TestScreen() override;

        static std::string classType();
        static std::string classDisplayStr();
        static RttiObject* creationFunc() { return new TestScreen(); }

        bool isOfClassType(std::string t) const override;
        std::string derivedOfClassType(std::string t) const override;
        std::string getClassType() const override { return classType(); }
        std::string getClassDisplayStr() const override { return classDisplayStr(); }
        std::string getDescription() const override;

        bool init() override;
        void release() override;
        // False only when begin fails.
        bool render(Renderer& renderer) override;

        // One triangle fan over (x, y) to (x + w, y + h).
        static void quad(float x, float y, float w, float h);
        // An axis-aligned bar from (x1, y1), width thick on its +x or +y side:
        // horizontal (to x2, y2 ignored) when it spans more in x, else
        // vertical (to y2, x2 ignored).
        static void drawOrthogonalLine(float width, float x1, float y1, float x2, float y2);
        // A ring of (0.2, 0.2, 0.2) from radius - width to radius + width with
        // a one-pixel fade to transparent on both rims, blended by source
        // alpha.
        static void drawCircle(float width, const TVec2<float>& centre, float radius);
        // One line segment.
        static void drawLine(const TVec2<float>& a, const TVec2<float>& b);

    protected:
        // Draws the text formatted last (in the member buffer) with the font
        // at (x, y) in the renderer's matrices taken from the fixed-function
        // ones.
        virtual void drawFormattedText(Renderer& renderer, const Font& font, float x, float y, const Color& colour);
        const char* getFormattedText() const { return text; }

    private:
        std::shared_ptr<ParamRange> hours, minutes, seconds, frames;
        char text[256] = {};
    };
}
