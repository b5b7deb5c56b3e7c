#pragma once

#include "engine/renderpasses/VXGenerator.h"

#include <memory>
#include <string>

namespace vx
{
    class ParamRange;

    // A white bar 5 % of the picture wide and as high that sweeps from the
    // right edge to the left once every four seconds of frame time: its left
    // edge is at 1 - 2 x "Position" in device coordinates. The state is
    // "Position" alone, so a stored state puts the bar back where it was.
    class MovingBar : public Generator
    {
    public:
        MovingBar();
        ~MovingBar() override;

        static std::string classType();
        static std::string classDisplayStr();
        static RttiObject* creationFunc() { return new MovingBar(); }

        bool isOfClassType(std::string t) const override;
        std::string derivedOfClassType(std::string t) const override;
        std::string getClassType() const override { return classType(); }
        std::string getClassDisplayStr() const override { return classDisplayStr(); }
        std::string getDescription() const override;

        // Advances "Position" by a quarter per second of the frame's delta,
        // wrapping past 1 once; then the parameters' update.
        bool update(const TimeInfo& info) override;
        bool init() override;
        // False only when begin fails. Draws in the pass's drawing colour and
        // leaves it white for later frames.
        bool render(Renderer& renderer) override;

    private:
        std::shared_ptr<ParamRange> position;
    };
}
