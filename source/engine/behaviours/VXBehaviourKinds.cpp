#include "core/parameters/VXBehaviourFactory.h"

#include "engine/behaviours/VXBehaviourBasic.h"

#include <memory>

// The behaviour kinds of the engine, registered with the range parameters'
// behaviour table on its first use. A new kind adds its line here.

namespace vx
{
    namespace
    {
        std::shared_ptr<BehaviourDouble> createBasic(ParamRange& owner)
        {
            return std::make_shared<BehaviourBasic>(owner);
        }
    }

    void registerBuiltInBehaviours(BehaviourFactory::Registrar& registrar)
    {
        registrar.add(BehaviourFactory::basicKind, &createBasic);
    }
}
