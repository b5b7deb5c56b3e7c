#pragma once

#include "engine/renderpasses/VXRenderPass.h"

#include <memory>

namespace vx
{
    class Pixels;

    // Base of the passes that draw without input.
    class Generator : public RenderPass
    {
    public:
        Generator();

        static std::string classType() { return "Generator"; }

        bool isOfClassType(std::string t) const override;
        std::string derivedOfClassType(std::string t) const override;
        std::string getClassType() const override { return classType(); }

        // Asked by the generator video source.
        virtual bool canGenerateThumbnail() { return false; }
        virtual std::shared_ptr<Pixels> getThumbnail() { return {}; }
        virtual bool isPremultiplied() { return true; }
    };
}
