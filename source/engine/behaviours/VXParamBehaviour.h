#pragma once

#include <cstdint>

namespace vx
{
    class ParamRange;
    class TimeInfo;

    // The root of everything that animates a range parameter: it knows its
    // owner, which outlives it while the owner holds it.
    class ParamBehaviour
    {
    public:
        explicit ParamBehaviour(ParamRange& ownerParam) : owner(ownerParam) {}
        virtual ~ParamBehaviour() = default;

        ParamBehaviour(const ParamBehaviour&) = delete;
        ParamBehaviour& operator=(const ParamBehaviour&) = delete;

        // Advances one frame; answers change flags, 0 for nothing.
        virtual std::uint32_t update(const TimeInfo&) { return 0; }
        virtual void start(bool) {}
        virtual void stop() {}
        virtual double getSpeed(const TimeInfo& info) const = 0;

        ParamRange& getOwner() const { return owner; }

    private:
        ParamRange& owner;
    };
}
