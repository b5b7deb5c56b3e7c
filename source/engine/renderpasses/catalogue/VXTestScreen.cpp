#include "engine/renderpasses/catalogue/VXTestScreen.h"

#include "core/VXColor.h"
#include "core/VXVec2.h"
#include "core/parameters/VXParamContainer.h"
#include "core/parameters/VXParamRange.h"
#include "engine/gfx/VXFonts.h"
#include "engine/gfx/VXGfxUtils.h"
#include "engine/gfx/VXRenderer.h"

#include <epoxy/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace vx
{
    namespace
    {
        const float gridStep = 40.0f;
        const Color textGrey(0.7f, 0.7f, 0.7f, 0.7f);
        const Color labelGrey(0.7f, 0.7f, 0.7f, 1.0f);

        std::shared_ptr<ParamRange> addCounter(ParamContainer& params, const char* name, int maximum)
        {
            return params.addParamRange(name, 0.0, ValueRange<double>(0, maximum));
        }
    }

    TestScreen::TestScreen()
    {
        setName(classType(), true);
        ParamContainer& params = getParams();
        hours = addCounter(params, "Hours", 23);
        minutes = addCounter(params, "Minutes", 59);
        seconds = addCounter(params, "Seconds", 59);
        frames = addCounter(params, "Frames", 10000);
    }

    TestScreen::~TestScreen() = default;

    std::string TestScreen::classType()
    {
        static const std::string type = "TestScreen";
        return type;
    }

    std::string TestScreen::classDisplayStr()
    {
        static const std::string display = "Test Screen";
        return display;
    }

    bool TestScreen::isOfClassType(std::string t) const
    {
        return t == getClassType() || Generator::isOfClassType(t);
    }

    std::string TestScreen::derivedOfClassType(std::string t) const
    {
        return t == getClassType() ? getClassType() : Generator::derivedOfClassType(t);
    }

    std::string TestScreen::getDescription() const
    {
        return "Test Screen";
    }

    bool TestScreen::init()
    {
        return RenderPass::init();
    }

    void TestScreen::release()
    {
        RenderPass::release();
    }

    bool TestScreen::render(Renderer& renderer)
    {
        if (! begin(renderer))
            return false;
        const int width = getWidth(), height = getHeight();
        const float w = float(width), h = float(height);
        const float cx = float(width * 0.5), cy = float(height * 0.5);

        gfx::setOrtho(w, h);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glDisable(GL_TEXTURE_2D);

        gfx::color(0.5f, 0.5f, 0.5f, 0.5f);
        quad(0.0f, 0.0f, w, h);

        gfx::enableDepthBuffer(false);
        gfx::setBlendMode(gfx::BLEND_ADDITIVE);
        gfx::color(0.7f, 0.7f, 0.7f, 0.7f);
        for (float x = cx; x > 0.0f; x -= gridStep)
            drawOrthogonalLine(1.0f, x, 0.0f, x, h);
        for (float x = cx + gridStep; x < w; x += gridStep)
            drawOrthogonalLine(1.0f, x, 0.0f, x, h);
        for (float y = cy; y > 0.0f; y -= gridStep)
            drawOrthogonalLine(1.0f, 0.0f, y, w, y);
        for (float y = cy + gridStep; y < h; y += gridStep)
            drawOrthogonalLine(1.0f, 0.0f, y, w, y);

        gfx::setBlendMode(gfx::BLEND_PREMULTIPLIED);
        gfx::color(0.2f, 0.2f, 0.2f, 1.0f);
        drawOrthogonalLine(4.0f, cx, 0.0f, cx, h);
        drawOrthogonalLine(4.0f, 0.0f, cy, w, cy);

        // Each further ring is drawn while the one before reached past the
        // edge it heads for; a 16:9 picture gets one on each side.
        const float r = float(height * 0.5);
        drawCircle(3.0f, TVec2<float>(cx, cy), r);
        if (cx + r < w)
            for (int k = 2; cx + float(k - 1) * r < w; ++k)
                drawCircle(3.0f, TVec2<float>(cx + float(k) * r, cy), r);
        if (cx - r > 0.0f)
            for (int k = 2; cx - float(k - 1) * r > 0.0f; ++k)
                drawCircle(3.0f, TVec2<float>(cx - float(k) * r, cy), r);

        gfx::setBlendMode(gfx::BLEND_ADDITIVE);
        glLoadIdentity();

        for (int x = 0; x < width; x += int(gridStep))
        {
            std::snprintf(text, sizeof(text), "%d", x);
            glTranslatef(float(x) + 4.0f, cy + 6.0f, 0.0f);
            glRotatef(90.0f, 0.0f, 0.0f, 1.0f);
            drawFormattedText(renderer, Fonts::small12, 0.0f, 0.0f, labelGrey);
            glLoadIdentity();
        }
        for (int y = 0; y < height; y += int(gridStep))
        {
            std::snprintf(text, sizeof(text), "%d", y);
            drawFormattedText(renderer, Fonts::small12, cx + 6.0f, float(y) - 4.0f, labelGrey);
        }

        std::snprintf(text, sizeof(text), "Size %d x %d", width, height);
        drawFormattedText(renderer, Fonts::big32, 5.0f, h - 20.0f, textGrey);
        std::snprintf(text, sizeof(text), "%02d:%02d:%02d:%02d", int(hours->getValue()), int(minutes->getValue()),
                      int(seconds->getValue()), int(frames->getValue()));
        drawFormattedText(renderer, Fonts::bigNumbers64, 5.0f, h - 50.0f, textGrey);

        setColor(Color::white);
        gfx::setBlendMode(gfx::BLEND_OFF);
        end(renderer);
        return true;
    }

    void TestScreen::drawFormattedText(Renderer& renderer, const Font& font, float x, float y, const Color& colour)
    {
        renderer.updateMatricesFromFFP();
        renderer.drawText(font, x, y, colour, std::string(text));
    }

    void TestScreen::quad(float x, float y, float w, float h)
    {
        glBegin(GL_TRIANGLE_FAN);
        glVertex2f(x, y);
        glVertex2f(x, y + h);
        glVertex2f(x + w, y + h);
        glVertex2f(x + w, y);
        glEnd();
    }

    void TestScreen::drawOrthogonalLine(float width, float x1, float y1, float x2, float y2)
    {
        glBegin(GL_QUADS);
        if (std::abs(x2 - x1) > std::abs(y2 - y1))
        {
            glVertex2f(x1, y1);
            glVertex2f(x2, y1);
            glVertex2f(x2, y1 + width);
            glVertex2f(x1, y1 + width);
        }
        else
        {
            glVertex2f(x1, y1);
            glVertex2f(x1, y2);
            glVertex2f(x1 + width, y2);
            glVertex2f(x1 + width, y1);
        }
        glEnd();
    }

    void TestScreen::drawCircle(float width, const TVec2<float>& centre, float radius)
    {
        gfx::setBlendMode(gfx::BLEND_ALPHA);
        const int n = std::max(2, int(std::floor(2.0 * 3.141592 * double(radius))));
        std::vector<TVec2<float>> unit(static_cast<size_t>(n));
        for (int i = 0; i < n; ++i)
        {
            const double angle = 2.0 * (double(i) / double(n - 1)) * 3.14159;
            unit[size_t(i)] = TVec2<float>(float(std::cos(angle)), float(std::sin(angle)));
        }
        const float inner = radius - width, outer = radius + width;
        const auto strip = [&](float radiusA, float alphaA, float radiusB, float alphaB)
        {
            glBegin(GL_TRIANGLE_STRIP);
            for (const TVec2<float>& u : unit)
            {
                glColor4f(0.2f, 0.2f, 0.2f, alphaA);
                glVertex3f(centre.x + radiusA * u.x, centre.y + radiusA * u.y, 0.0f);
                glColor4f(0.2f, 0.2f, 0.2f, alphaB);
                glVertex3f(centre.x + radiusB * u.x, centre.y + radiusB * u.y, 0.0f);
            }
            glEnd();
        };
        strip(inner, 1.0f, outer, 1.0f);
        strip(outer, 1.0f, outer + 1.0f, 0.0f);
        strip(inner, 1.0f, inner - 1.0f, 0.0f);
    }

    void TestScreen::drawLine(const TVec2<float>& a, const TVec2<float>& b)
    {
        const float vertices[4] = {a.x, a.y, b.x, b.y};
        glEnableClientState(GL_VERTEX_ARRAY);
        glVertexPointer(2, GL_FLOAT, 0, vertices);
        glDrawArrays(GL_LINES, 0, 2);
        glDisableClientState(GL_VERTEX_ARRAY);
    }
}
