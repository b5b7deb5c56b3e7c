#include "engine/gui/VXTaskProfilerView.h"

#include <algorithm>
#include <string>

#include "core/VXTaskProfiler.h"
#include "engine/gfx/VXFonts.h"
#include "engine/gfx/VXGfxUtils.h"
#include "engine/gfx/VXRenderer.h"
#include "engine/gfx/VXScopedBlendState.h"

namespace vx
{
    namespace
    {
        constexpr float legendLineHeight = 14.0f;
        constexpr float legendGap = 5.0f;
        constexpr float smallestScale = 10.0f;
        constexpr float initialScale = 50.0f;
    }

    TaskProfilerView::TaskProfilerView(const TaskProfiler& profiler)
    {
        for (int i = 0; i < numTaskThreadModes; ++i)
        {
            GraphStyle style;
            style.setLineColor(TaskProfiler::QUEUE_COLORS[i]);
            style.setPointColor(Color::transparentBlack);
            // Only the first graph paints the frame; the others draw their
            // lines over it.
            if (i > 0)
            {
                style.setBGColor(Color::transparentBlack);
                style.setOutlineColor(Color::transparentBlack);
                style.setTextColor(Color::transparentBlack);
            }
            auto graph = std::make_unique<Graph>(profiler.getHistory(TaskThreadMode(i)));
            graph->setStyle(style);
            graph->setMinMax(0.0f, initialScale);
            graphs.push_back(std::move(graph));
        }
    }

    TaskProfilerView::~TaskProfilerView() = default;

    float TaskProfilerView::computeScale() const
    {
        float scale = smallestScale;
        for (const auto& graph : graphs)
        {
            float min = 0.0f, max = 0.0f;
            graph->getMinMaxEntryValues(min, max);
            scale = std::max(scale, max);
        }
        return scale;
    }

    std::vector<TVec2<float>> TaskProfilerView::layoutLegend(const Font& font, float x, float y, float width)
    {
        std::vector<TVec2<float>> positions;
        float cursor = x;
        float line = y + legendLineHeight;
        for (const char* name : TaskProfiler::QUEUE_NAMES)
        {
            const float nameWidth = font.getStringSize(name);
            // A name wider than the whole rectangle stays on the line it
            // starts rather than leaving that line empty.
            if (cursor + nameWidth > x + width && cursor > x)
            {
                cursor = x;
                line += legendLineHeight;
            }
            positions.emplace_back(cursor, line);
            cursor += nameWidth + legendGap;
        }
        return positions;
    }

    void TaskProfilerView::render(Renderer& renderer, float x, float y, float width, float height)
    {
        const ScopedBlendState callersBlending;
        const float scale = computeScale();
        for (const auto& graph : graphs)
        {
            graph->setMinMax(0.0f, scale);
            graph->draw(renderer, x, y, width, height);
        }
        gfx::setBlendMode(gfx::BLEND_PREMULTIPLIED);
        const Font& font = Fonts::small14;
        const std::vector<TVec2<float>> positions = layoutLegend(font, x, y, width);
        for (int i = 0; i < numTaskThreadModes; ++i)
            renderer.drawText(font, positions[size_t(i)].x, positions[size_t(i)].y, TaskProfiler::QUEUE_COLORS[i],
                              std::string(TaskProfiler::QUEUE_NAMES[i]));
    }

} // namespace vx
