#include "core/parameters/VXPresets.h"

#include <utility>

#include "core/xml/VXXmlStates.h"

namespace vx
{
    namespace
    {
        constexpr int presetPoolBlockSize = 65536;
    }

    Presets::Presets(Extension* owner_)
        : owner(owner_), states(std::make_shared<XmlStates>(nullptr, presetPoolBlockSize, true))
    {
    }

    Presets::Presets(Extension* owner_, std::shared_ptr<XmlStates> states_) : owner(owner_), states(std::move(states_))
    {
    }
}
