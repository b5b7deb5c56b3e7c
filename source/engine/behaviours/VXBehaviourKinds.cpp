#include "core/parameters/VXBehaviourFactory.h"
#include "engine/behaviours/VXBehaviourBpmBeatLoopr.h"
#include "engine/behaviours/VXBehaviourBpmHardSync.h"
#include "engine/behaviours/VXBehaviourExpression.h"
#include "engine/behaviours/VXBehaviourFFTLink.h"
#include "engine/behaviours/VXBehaviourLFO.h"
#include "engine/behaviours/VXBehaviourLink.h"
#include "engine/behaviours/VXBehaviourPoints.h"
#include "engine/behaviours/VXBehaviourTimeline.h"

#include <memory>

// The behaviour kinds of the engine beyond the basic one, which the table
// holds itself. A new kind adds its line to registerBuiltInBehaviours. The
// engine links this file into every program that uses it, so the kinds are
// registered when it is loaded, before any parameter reads a preset.

namespace vx
{
    namespace
    {
        // The duration a kind that plays a clip is made with when a
        // parameter reads it.
        constexpr double readDurationMs = 5000.0;

        template <typename Kind>
        std::shared_ptr<BehaviourDouble> create(ParamRange& owner)
        {
            return std::make_shared<Kind>(owner);
        }

        template <typename Kind>
        std::shared_ptr<BehaviourDouble> createWithDuration(ParamRange& owner)
        {
            return std::make_shared<Kind>(owner, readDurationMs);
        }

        void registerBuiltInBehaviours(BehaviourFactory::Registrar& registrar)
        {
            registrar.add("BehaviourTimeline", &createWithDuration<BehaviourTimeline>);
            registrar.add("BehaviourBpmBeatLoopr", &createWithDuration<BehaviourBpmBeatLoopr>);
            registrar.add("BehaviourLink", &create<BehaviourLink>);
            registrar.add("BehaviourBpmHardSync", &create<BehaviourBpmHardSync>);
            registrar.add("BehaviourFFTLink", &create<BehaviourFFTLink>);
            registrar.add("BehaviourPoints", &createWithDuration<BehaviourPoints>);
            registrar.add("BehaviourExpression", &createWithDuration<BehaviourExpression>);
            registrar.add("BehaviourLFO", &createWithDuration<BehaviourLFO>);
        }

        const bool registered = (BehaviourFactory::addRegistration(&registerBuiltInBehaviours), true);
    }
}
