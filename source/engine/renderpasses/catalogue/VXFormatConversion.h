#pragma once

#include "engine/renderpasses/VXShaderEffect.h"

namespace vx
{
    // Turns a freshly uploaded video texture into the engine's working form:
    // decodes packed or planar 4:2:2 YUV, reorders channels, premultiplies
    // colour by alpha and forces alpha to one, in that order, mirroring
    // vertically on request; reads a 2D or a rectangle texture. Sources set
    // the members before each render of the shared instance; nothing of them
    // is persisted.
    //
    // Render thread only; no lock (one configuration at a time).
    class FormatConversion : public ShaderEffect
    {
    public:
        // Output (r, g, b, a) from the sampled channels.
        enum SwizzleMode : int
        {
            SwizzleNone = 0,
            SwizzleARGB = 1, // sampled (g, b, a, r): A, R, G, B texels come out R, G, B, A
            SwizzleBGRA = 2  // sampled (b, g, r, a)
        };

        FormatConversion();

        static std::string classType();
        static std::string classDisplayStr();
        static RttiObject* creationFunc() { return new FormatConversion(); }

        bool isOfClassType(std::string t) const override;
        std::string derivedOfClassType(std::string t) const override;
        std::string getClassType() const override { return classType(); }
        std::string getClassDisplayStr() const override { return classDisplayStr(); }
        std::string getDescription() const override;

        // Every conversion off, no flip.
        void toDefaults();
        SwizzleMode getSwizzleMode() const { return swizzleMode; }
        void setSwizzleMode(SwizzleMode mode) { swizzleMode = mode; }
        void enableVerticalFlip() { verticalFlip = true; }
        void disableVerticalFlip() { verticalFlip = false; }

        using ShaderEffect::init;
        bool init() override;
        // False, drawing nothing, without an input texture or when the
        // program cannot be bound. A rectangle input is bound outside the
        // binding cache and its unit's rectangle binding put back after.
        bool render(Renderer& renderer) override;

        bool premultiply = false;
        bool YUVToRGBA = false;
        bool sequentialYUVToRGBA = false;
        bool forceOpaque = false;

    private:
        SwizzleMode swizzleMode = SwizzleNone;
        bool verticalFlip = false;
    };
}
