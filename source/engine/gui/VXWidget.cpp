#include "engine/gui/VXWidget.h"

namespace vx
{

    const Color Widget::colors::outline = Color::white;
    const Color Widget::colors::text = Color::white;
    const Color Widget::colors::fill = Color::turquoise;
    const Color Widget::colors::snapper = Color::yellow;
    const Color Widget::colors::highlight = Color::white;
    const Color Widget::colors::burst = Color::yellow;
    const Color Widget::colors::pen = Color::white;
    const Color Widget::colors::error = Color::red;

    void Widget::valueChanged(ParamBase&, ChangeInfo)
    {
    }

    Widget::~Widget() = default;

    bool Widget::select(const GuiView&, const RectT<float>&)
    {
        return false;
    }

    void Widget::unselect()
    {
    }

    void Widget::keyDown(const GuiView&, int)
    {
    }

    std::shared_ptr<ParamContainer> Widget::getViewableParams()
    {
        return nullptr;
    }

    bool Widget::isPointIn(const GuiView&, const TVec2<float>&) const
    {
        return false;
    }

} // namespace vx
