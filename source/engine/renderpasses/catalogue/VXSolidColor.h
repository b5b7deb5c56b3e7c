#pragma once

#include "engine/renderpasses/VXGenerator.h"

#include <memory>
#include <string>

namespace vx
{
    class ParamColor;

    // Fills its output with "Color" (through the renderer's fill, in the
    // blend state current), and makes a thumbnail for source browsers.
    class SolidColor : public Generator
    {
    public:
        SolidColor();
        ~SolidColor() override;

        static std::string classType();
        static std::string classDisplayStr();
        static RttiObject* creationFunc() { return new SolidColor(); }

        bool isOfClassType(std::string t) const override;
        std::string derivedOfClassType(std::string t) const override;
        std::string getClassType() const override { return classType(); }
        std::string getClassDisplayStr() const override { return classDisplayStr(); }
        std::string getDescription() const override;

        bool init() override;
        // False only when begin fails.
        bool render(Renderer& renderer) override;

        bool canGenerateThumbnail() override { return true; }
        // A new 160 x 120 RGBA8 picture (the video sources' thumbnail size)
        // of opaque red, the parameter's default, whatever "Color" holds. No
        // GL call; any thread.
        std::shared_ptr<Pixels> getThumbnail() override;

    private:
        std::shared_ptr<ParamColor> color;
    };
}
