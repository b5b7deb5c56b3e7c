#include "engine/behaviours/VXBehaviourLinkBase.h"

#include "core/VXEngineRoot.h"
#include "core/VXLog.h"
#include "core/parameters/VXParamCollection.h"
#include "core/parameters/VXParamRange.h"
#include "engine/behaviours/VXBehaviourDouble.h"

namespace vx
{
    BehaviourLinkBase::~BehaviourLinkBase() = default;

    ParamCollection* BehaviourLinkBase::getRegistry(const std::string& path)
    {
        if (EngineRoot::getCurrent() == nullptr)
        {
            logPrint(logWarning, "BehaviourLink: cannot look up '%s': there is no engine root", path.c_str());
            return nullptr;
        }
        ParamCollection* registry = ParamCollection::getCurrent();
        if (registry == nullptr)
            logPrint(logWarning, "BehaviourLink: cannot look up '%s': the engine has no parameter registry",
                     path.c_str());
        return registry;
    }

    bool BehaviourLinkBase::link(const std::string& path, bool pushOwnerValue, bool takeOwnerName)
    {
        ParamCollection* registry = getRegistry(path);
        if (registry == nullptr)
            return false;
        return link(registry->findParamWithPath(path), pushOwnerValue, takeOwnerName);
    }

    bool BehaviourLinkBase::linkInternal(const std::shared_ptr<ParamBase>& param)
    {
        auto range = std::dynamic_pointer_cast<ParamRange>(param);
        if (range == nullptr)
            return false;
        if (linked != nullptr)
            unlink();
        linked = range;
        const std::shared_ptr<BehaviourDouble> behaviour = range->getBehaviour();
        behaviour->incrementLinkCount();
        countedBehaviour = behaviour;
        range->stateChanged(ChangeInfo(static_cast<StateChange>(StateChange_UserState_Editing_5 + 1), -1.0));
        return true;
    }

    void BehaviourLinkBase::unlink()
    {
        if (linked == nullptr)
            return;
        const std::shared_ptr<ParamRange> target = std::move(linked);
        linked.reset();
        std::shared_ptr<BehaviourDouble> counted = countedBehaviour.lock();
        countedBehaviour.reset();
        if (counted != nullptr)
            counted->decrementLinkCount();
        else
            counted = target->getBehaviour();
        if (counted->getLinkCount() <= 0)
        {
            target->setAltName(std::string());
            target->setValueNormalized(0.0, ValueChangeInfo());
        }
    }
}
