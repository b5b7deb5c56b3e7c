#include "core/VXEngineRoot.h"

#include <array>
#include <cstddef>
#include <vector>

namespace vx
{
    namespace
    {
        constexpr auto numModules = static_cast<std::size_t>(EngineRoot::Module::Count);

        // Function-local, so registration files may fill them during static
        // initialisation in any order.
        std::array<EngineRoot::ModuleMaker, numModules>& moduleMakers()
        {
            static std::array<EngineRoot::ModuleMaker, numModules> makers{};
            return makers;
        }

        std::vector<EngineRoot::EndHandler>& endHandlers()
        {
            static std::vector<EngineRoot::EndHandler> handlers;
            return handlers;
        }
    }

    void EngineRoot::setModuleMaker(Module which, ModuleMaker maker)
    {
        if (which < Module::Count)
            moduleMakers()[static_cast<std::size_t>(which)] = maker;
    }

    EngineRoot::ModuleMaker EngineRoot::getModuleMaker(Module which)
    {
        return which < Module::Count ? moduleMakers()[static_cast<std::size_t>(which)] : nullptr;
    }

    void EngineRoot::addEndHandler(EndHandler handler)
    {
        if (handler != nullptr)
            endHandlers().push_back(handler);
    }

    EngineModule* EngineRoot::getModule(Module) const
    {
        return nullptr;
    }

    void EngineRoot::runEndHandlers()
    {
        for (EndHandler handler : endHandlers())
            handler();
    }
}
