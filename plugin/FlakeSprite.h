#pragma once

// The flake sprite, a 64 x 64 RGBA PNG file embedded in the module by the
// build (from plugin/resources/flake.png).
namespace Pimsel
{
    extern const unsigned char Flake_png[];
    extern const unsigned int Flake_png_size;
}
