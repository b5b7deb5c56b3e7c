#pragma once

#include "engine/renderpasses/VXGenerator.h"

#include <memory>
#include <string>

namespace vx
{
    template <typename T>
    class Param;

    // Clears its output (colour and depth, depth to 1) to transparent black,
    // or with "Black BG" to opaque black.
    class Blank : public Generator
    {
    public:
        Blank();
        ~Blank() override;

        static std::string classType();
        static std::string classDisplayStr();
        static RttiObject* creationFunc() { return new Blank(); }

        bool isOfClassType(std::string t) const override;
        std::string derivedOfClassType(std::string t) const override;
        std::string getClassType() const override { return classType(); }
        std::string getClassDisplayStr() const override { return classDisplayStr(); }
        std::string getDescription() const override;

        bool init() override;
        // False only when begin fails.
        bool render(Renderer& renderer) override;

    private:
        std::shared_ptr<Param<bool>> blackBackground;
    };
}
