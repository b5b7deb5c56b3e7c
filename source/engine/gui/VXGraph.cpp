#include "engine/gui/VXGraph.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <limits>
#include <sstream>

#include "core/VXMatrix4x4.h"
#include "core/VXStringUtils.h"
#include "core/VXTime.h"
#include "engine/gfx/VXFonts.h"
#include "engine/gfx/VXGfxUtils.h"
#include "engine/gfx/VXRenderer.h"
#include "engine/gfx/VXScopedBlendState.h"

namespace vx
{
    namespace
    {
        bool isOn(const Color& c)
        {
            return c.a > 0.0f;
        }
    }

    Graph::Graph(float windowSeconds) : Graph(std::make_shared<ValueHistory>(windowSeconds))
    {
    }

    Graph::Graph(std::shared_ptr<ValueHistory> sharedHistory)
        : history(std::move(sharedHistory)), fixedMin(FLT_MAX), fixedMax(FLT_MIN)
    {
        if (history == nullptr)
            history = std::make_shared<ValueHistory>(10.0f);
    }

    Graph::~Graph() = default;

    void Graph::addEntry(float value, const char* label)
    {
        history->addEntry(value, label);
    }

    void Graph::clear()
    {
        history->clear();
    }

    void Graph::setMinMax(float min, float max)
    {
        fixedMin = min;
        fixedMax = max;
    }

    void Graph::getMinMaxEntryValues(float& min, float& max) const
    {
        history->getMinMaxEntryValues(min, max);
    }

    void Graph::resolveFixed(float& min, float& max) const
    {
        if (fixedMin != FLT_MAX)
            min = fixedMin;
        if (fixedMax != FLT_MIN)
            max = fixedMax;
    }

    void Graph::resolveMinMax(float& min, float& max) const
    {
        history->getMinMaxEntryValues(min, max);
        resolveFixed(min, max);
    }

    std::vector<TVec2<float>> Graph::layoutPoints(const std::vector<ValueHistory::Entry>& entries, double now,
                                                  float window, float x, float y, float w, float h, float min,
                                                  float range)
    {
        std::vector<TVec2<float>> points;
        points.reserve(entries.size());
        for (const ValueHistory::Entry& entry : entries)
        {
            // Ages in double: a day of uptime in float seconds loses 8 ms.
            const double age = window > 0.0f ? (now - entry.time) / double(window) : 0.0;
            // Equal values span no range: they sit in the middle, not at 0 / 0.
            const double level = range != 0.0f ? (double(entry.value) - double(min)) / double(range) : 0.5;
            points.emplace_back(float(double(x) + double(w) - 2.0 - (double(w) - 3.0) * age),
                                float(double(y) + double(h) - 2.0 - level * (double(h) - 3.0)));
        }
        return points;
    }

    void Graph::draw(Renderer& renderer, float x, float y, float w, float h)
    {
        const ScopedBlendState callersBlending;
        renderer.pushMatrix();
        renderer.setWorldMatrix(Matrix4x4());
        gfx::setBlendMode(gfx::BLEND_ALPHA);
        if (isOn(style.getBGColor()))
            renderer.fillRectWithin(x, y, w, h, style.getBGColor());
        drawMeasurements(renderer, x, y, w, h);
        if (isOn(style.getOutlineColor()))
            renderer.drawRectWithin(RectT<float>(x, y, x + w, y + h), style.getOutlineColor());
        renderer.popMatrix();
    }

    void Graph::drawMeasurements(Renderer& renderer, float x, float y, float w, float h)
    {
        // The entries are copied under the history's lock, which writers then
        // get back at once: drawing does not hold them up.
        const double now = ValueHistory::nowSeconds();
        const std::vector<ValueHistory::Entry> entries = history->snapshot(now);
        if (entries.size() < 2)
            return;

        float min = FLT_MAX, max = std::numeric_limits<float>::lowest();
        double sum = 0.0;
        for (const ValueHistory::Entry& entry : entries)
        {
            min = std::min(min, entry.value);
            max = std::max(max, entry.value);
            sum += entry.value;
        }
        resolveFixed(min, max);
        const float range = max - min;
        if (displayedRange != -1.0f && displayedRange > range)
        {
            // Narrowing follows the frame time, at most all the way: a long
            // frame must not carry the axis past the range.
            const float step = float(std::clamp(getFrameSeconds(), 0.0, 1.0));
            displayedRange = (range - displayedRange) * step + displayedRange;
        }
        else
            displayedRange = range;

        const float window = history->getWindow();
        const std::vector<TVec2<float>> points = layoutPoints(entries, now, window, x, y, w, h, min, displayedRange);
        if (isOn(style.getLineColor()))
            renderer.drawLineStrip(points, style.getLineColor());
        if (isOn(style.getPointColor()))
            renderer.drawPoints(points, style.getPointColor());

        drawMinMax(renderer, x, y, w, h, min, max);

        if (isOn(style.getTextColor()))
        {
            const float centre =
                centerValueType == centerMeanValue ? float(sum / double(entries.size())) : entries.back().value;
            std::ostringstream text;
            text << centre;
            const Font& font = Fonts::big32;
            renderer.drawText(font, x + w * 0.5f - font.getStringSize(text.str().c_str()) * 0.5f, y + h * 0.5f + 8.0f,
                              style.getTextColor(), text.str());
        }

        if (isOn(style.getMarkerColor()))
        {
            for (const ValueHistory::Entry& entry : entries)
            {
                if (entry.label.empty())
                    continue;
                const float mx = float(double(x) + double(w) - (now - entry.time) / double(window) * double(w));
                renderer.drawLine({mx, y}, {mx, y + h}, style.getMarkerColor());
                renderer.drawText(Fonts::small14, mx, y + 10.0f, style.getMarkerColor(), entry.label);
            }
        }
    }

    void Graph::drawMinMax(Renderer& renderer, float x, float y, float, float h, float min, float max)
    {
        if (! isOn(style.getTextColor()) || (fixedMin != FLT_MAX && fixedMax != FLT_MIN))
            return;
        const ScopedBlendState callersBlending;
        gfx::setBlendMode(gfx::BLEND_PREMULTIPLIED);
        renderer.drawText(Fonts::big32, x + 5.0f, y + h - 10.0f, style.getTextColor(), toString(min));
        renderer.drawText(Fonts::big32, x + 5.0f, y + Fonts::big32.getSize(), style.getTextColor(), toString(max));
    }

} // namespace vx
