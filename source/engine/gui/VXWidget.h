#pragma once

#include "core/VXColor.h"
#include "core/VXRect.h"
#include "core/VXVec2.h"
#include "core/parameters/VXParamListener.h"

#include <memory>

namespace vx
{

    class GuiView;
    class ParamContainer;
    class Renderer;

    // Base of every interactive on-canvas tool: drawn and operated once per
    // GUI frame inside a GuiView, on the thread that draws the view.
    class Widget : public ParamListener
    {
    public:
        // The colours every widget draws with; set when the program loads.
        struct colors
        {
            static const Color outline;
            static const Color text;
            static const Color fill;
            static const Color snapper;
            static const Color highlight;
            static const Color burst;
            static const Color pen;
            static const Color error;
        };

        void valueChanged(ParamBase& param, ChangeInfo info) override;
        ~Widget() override;

        virtual void draw(Renderer& renderer, const GuiView& view, int flags) = 0;
        // Reads the view's mouse and keyboard of this frame; snap asks for
        // snapping where the widget offers it. The answer is the widget's own.
        virtual int handleInteraction(const GuiView& view, bool snap) = 0;
        virtual bool select(const GuiView& view, const RectT<float>& area);
        virtual void unselect();
        virtual void keyDown(const GuiView& view, int key);
        // The parameters a host may show for the widget; null here.
        virtual std::shared_ptr<ParamContainer> getViewableParams();
        virtual bool isPointIn(const GuiView& view, const TVec2<float>& point) const;
        virtual void setCursor(const GuiView& view) = 0;
    };

} // namespace vx
