#pragma once

#include <memory>

namespace vx
{
    class SpoutReceiver;

    // Told when a texture-sharing sender appears or goes. Nothing on this
    // platform calls it.
    class SpoutManagerListener
    {
    public:
        virtual ~SpoutManagerListener() = default;
        virtual void serverLost(std::shared_ptr<SpoutReceiver> receiver) { (void)receiver; }
        virtual void severAdded(std::shared_ptr<SpoutReceiver> receiver) { (void)receiver; }
    };
}
