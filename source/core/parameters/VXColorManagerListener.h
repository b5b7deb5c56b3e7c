#pragma once

#include <memory>
#include <vector>

namespace vx
{
    class Swatch;

    // Hears the colour manager's list and selection change.
    class ColorManagerListener
    {
    public:
        virtual ~ColorManagerListener() = default;
        virtual void swatchAdded(std::shared_ptr<Swatch> swatch) { (void)swatch; }
        virtual void swatchDeleted(std::shared_ptr<Swatch> swatch) { (void)swatch; }
        virtual void activeSwatchesChanged(std::vector<std::shared_ptr<Swatch>> activeSwatches)
        {
            (void)activeSwatches;
        }
    };
}
