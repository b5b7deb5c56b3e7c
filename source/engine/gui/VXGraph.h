#pragma once

#include "core/VXColor.h"
#include "core/VXValueHistory.h"
#include "core/VXVec2.h"

#include <memory>
#include <vector>

namespace vx
{

    class Renderer;

    // The six colours of a graph; a colour with alpha 0 switches its element off.
    class GraphStyle
    {
    public:
        void setBGColor(const Color& c) { background = c; }
        void setLineColor(const Color& c) { line = c; }
        void setPointColor(const Color& c) { point = c; }
        void setOutlineColor(const Color& c) { outline = c; }
        void setTextColor(const Color& c) { text = c; }
        void setMarkerColor(const Color& c) { marker = c; }
        const Color& getBGColor() const { return background; }
        const Color& getLineColor() const { return line; }
        const Color& getPointColor() const { return point; }
        const Color& getOutlineColor() const { return outline; }
        const Color& getTextColor() const { return text; }
        const Color& getMarkerColor() const { return marker; }

    private:
        Color background{0.0f, 0.0f, 0.0f, 0.7f};
        Color line{0.7f, 0.7f, 0.7f, 1.0f};
        Color point{0.0f, 1.0f, 0.0f, 1.0f};
        Color outline{1.0f, 0.0f, 0.0f, 1.0f};
        Color text = Color::white;
        Color marker{1.0f, 1.0f, 0.0f, 1.0f};
    };

    // A scrolling line graph of timed values over the last window seconds:
    // newest at the right, the value axis fitted to the values (or fixed),
    // with the minimum and maximum, a centre value and labelled markers.
    // Entries may be added from any thread while another draws; drawing runs
    // on the render thread.
    class Graph
    {
    public:
        enum CenterValueType : int
        {
            centerNewestValue = 0,
            centerMeanValue = 1
        };

        explicit Graph(float windowSeconds);
        // Draws a history filled elsewhere (the task profiler's).
        explicit Graph(std::shared_ptr<ValueHistory> history);
        ~Graph();
        Graph(const Graph&) = delete;
        Graph& operator=(const Graph&) = delete;

        // Entries older than the window are dropped as new ones arrive.
        void addEntry(float value, const char* label);
        void clear();
        // FLT_MAX for min and FLT_MIN for max leave that bound free.
        void setMinMax(float min, float max);
        void setCenterValueType(CenterValueType type) { centerValueType = type; }
        void setStyle(const GraphStyle& newStyle) { style = newStyle; }
        const GraphStyle& getStyle() const { return style; }

        // Without entries: (FLT_MAX, lowest float).
        void getMinMaxEntryValues(float& min, float& max) const;
        // The entry range with the fixed bounds put in.
        void resolveMinMax(float& min, float& max) const;

        // Background, line and points, texts, markers and outline within the
        // rectangle; the caller's blending comes back after.
        void draw(Renderer& renderer, float x, float y, float w, float h);
        // The minimum and maximum as texts, unless both bounds are fixed.
        void drawMinMax(Renderer& renderer, float x, float y, float w, float h, float min, float max);

        // The value span of the axis as last drawn; -1 before the first draw.
        float getDisplayedRange() const { return displayedRange; }
        ValueHistory& getHistory() { return *history; }

        // Where drawMeasurements puts each entry: x by age (now at the right
        // edge, the window's start at the left), y by value within min ..
        // min + range (the middle when the range is 0).
        static std::vector<TVec2<float>> layoutPoints(const std::vector<ValueHistory::Entry>& entries,
                                                      double nowSeconds, float window, float x, float y, float w,
                                                      float h, float min, float range);

    private:
        void drawMeasurements(Renderer& renderer, float x, float y, float w, float h);
        void resolveFixed(float& min, float& max) const;

        std::shared_ptr<ValueHistory> history;
        float displayedRange = -1.0f;
        float fixedMin;
        float fixedMax;
        CenterValueType centerValueType = centerNewestValue;
        GraphStyle style;
    };

} // namespace vx
