#pragma once

#include "core/VXVec2.h"
#include "engine/gui/VXGraph.h"

#include <memory>
#include <vector>

namespace vx
{

    class Font;
    class Renderer;
    class TaskProfiler;

    // Draws a task profiler: its six queue histories as graphs on top of
    // each other over one shared value scale, the first painting background,
    // outline and texts, with a legend of the queue names in their colours.
    // Keeps the histories (shared) so it may outlive the profiler. Render
    // thread.
    class TaskProfilerView
    {
    public:
        explicit TaskProfilerView(const TaskProfiler& profiler);
        ~TaskProfilerView();

        // The caller's blending comes back after.
        void render(Renderer& renderer, float x, float y, float width, float height);

        // The scale all graphs share: the largest value held, at least 10.
        float computeScale() const;
        Graph& getGraph(int queue) { return *graphs[size_t(queue)]; }

        // Where each queue name goes: left to right from (x, y + 14), a name
        // that would pass x + width starting a new line 14 lower at x.
        static std::vector<TVec2<float>> layoutLegend(const Font& font, float x, float y, float width);

    private:
        std::vector<std::unique_ptr<Graph>> graphs;
    };

} // namespace vx
