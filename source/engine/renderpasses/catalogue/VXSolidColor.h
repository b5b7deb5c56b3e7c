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
        // The size of the thumbnail, that of the video sources' thumbnails.
        static constexpr int thumbnailWidth = 160;
        static constexpr int thumbnailHeight = 120;

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
        // A new thumbnailWidth x thumbnailHeight RGBA8 picture of opaque red,
        // the parameter's default, whatever "Color" holds. No GL call; any
        // thread.
        std::shared_ptr<Pixels> getThumbnail() override;

    private:
        std::shared_ptr<ParamColor> color;
    };
}
