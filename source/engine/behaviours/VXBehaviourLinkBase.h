#pragma once

#include <memory>
#include <string>

namespace vx
{
    class BehaviourDouble;
    class ParamBase;
    class ParamCollection;
    class ParamRange;

    // The link and its bookkeeping shared by the link kinds: the linked
    // range parameter and the link count of its behaviour (how many links
    // point at it). Paths are looked up in the engine's parameter registry,
    // which exists only while an engine root does.
    class BehaviourLinkBase
    {
    public:
        BehaviourLinkBase() = default;
        virtual ~BehaviourLinkBase();

        BehaviourLinkBase(const BehaviourLinkBase&) = delete;
        BehaviourLinkBase& operator=(const BehaviourLinkBase&) = delete;

        // Looks path up in the registry and links what it finds; false
        // (logged) without an engine root or registry, false when nothing
        // linkable is there.
        virtual bool link(const std::string& path, bool pushOwnerValue, bool takeOwnerName);
        virtual bool link(std::shared_ptr<ParamBase> param, bool pushOwnerValue, bool takeOwnerName) = 0;
        // The last link to a parameter going away clears its alternative
        // name and sets its normalised value to 0.
        virtual void unlink() = 0;
        virtual void pathChanged() = 0;

        std::shared_ptr<ParamRange> getLinkedParam() const { return linked; }

    protected:
        // The registry links resolve paths in, or null (logged, naming
        // path) while there is no engine root or no registry.
        static ParamCollection* getRegistry(const std::string& path);

        // False for an empty or non-range parameter. Otherwise unlinks first,
        // links, counts the link and tells the parameter (state 14).
        bool linkInternal(const std::shared_ptr<ParamBase>& param);

        std::shared_ptr<ParamRange> linked;

    private:
        // The behaviour whose link count this link raised (the linked
        // parameter may have another by now).
        std::weak_ptr<BehaviourDouble> countedBehaviour;
    };
}
