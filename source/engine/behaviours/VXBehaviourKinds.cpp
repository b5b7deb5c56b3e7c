#include "core/parameters/VXBehaviourFactory.h"

// The behaviour kinds of the engine beyond the basic one, which the table
// holds itself. A new kind adds its line to registerBuiltInBehaviours. The
// engine links this file into every program that uses it, so the kinds are
// registered when it is loaded, before any parameter reads a preset.

namespace vx
{
    namespace
    {
        void registerBuiltInBehaviours(BehaviourFactory::Registrar& registrar)
        {
            (void)registrar;
        }

        const bool registered = (BehaviourFactory::addRegistration(&registerBuiltInBehaviours), true);
    }
}
