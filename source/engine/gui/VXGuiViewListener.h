#pragma once

namespace vx
{

    // Told whenever a GuiView's transform changes (pan, zoom, a new view
    // matrix), on the thread that changed it.
    class GuiViewListener
    {
    public:
        virtual ~GuiViewListener() = default;
        virtual void viewChanged() = 0;
    };

} // namespace vx
