#pragma once

#include <memory>

namespace vx
{
    class Extension;
    class XmlStates;

    // Holder of one extension's preset store: a store with no target that
    // owns its states.
    class Presets
    {
    public:
        explicit Presets(Extension* owner);
        // Holds a store made elsewhere.
        Presets(Extension* owner, std::shared_ptr<XmlStates> states);

        Extension* getOwner() const { return owner; }
        const std::shared_ptr<XmlStates>& getStates() const { return states; }

    private:
        Extension* owner;
        std::shared_ptr<XmlStates> states;
    };
}
