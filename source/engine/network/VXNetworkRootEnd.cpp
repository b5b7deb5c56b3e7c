// The network video server manager is a singleton that lives as long as the
// engine root: the root ends it through this handler, which the engine links
// into every program that links the network layer.

#include "core/VXEngineRoot.h"
#include "engine/network/VXNetworkVideoServerManager.h"

namespace vx
{
    namespace
    {
        const bool installed = (EngineRoot::addEndHandler([] {
                                    if (NetworkVideoServerManager::getInstanceWithoutCreating() != nullptr)
                                        NetworkVideoServerManager::deleteInstance();
                                }),
                                true);
    }
}
