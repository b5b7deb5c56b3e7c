#pragma once

#include "core/VXColor.h"

#include <string>

namespace vx
{
    // Hears a swatch's removal, colour changes and proposed names.
    class SwatchListener
    {
    public:
        virtual ~SwatchListener() = default;
        virtual void swatchRemoved() {}
        virtual void swatchColorChanged(Color color) { (void)color; }
        virtual void swatchNameChanged(std::string name) { (void)name; }
    };
}
