#include "engine/behaviours/VXBehaviourLink.h"

#include "core/parameters/VXParam.h"
#include "core/parameters/VXParamCollection.h"
#include "core/parameters/VXParamContainer.h"
#include "core/parameters/VXParamRange.h"

namespace vx
{
    namespace
    {
        // The links this thread is propagating a change through; a change
        // that comes back to one of them is a cycle and stops there. The
        // guards chain themselves on the stack: the thread keeps only a
        // pointer to the innermost, with no destructor to register (which
        // would keep a plugin module loaded while the thread lives).
        class PropagationGuard
        {
        public:
            explicit PropagationGuard(const void* linkToEnter) : link(linkToEnter), outer(innermost)
            {
                for (const PropagationGuard* guard = outer; guard != nullptr && entered; guard = guard->outer)
                    entered = guard->link != link;
                if (entered)
                    innermost = this;
            }
            ~PropagationGuard()
            {
                if (entered)
                    innermost = outer;
            }
            PropagationGuard(const PropagationGuard&) = delete;
            PropagationGuard& operator=(const PropagationGuard&) = delete;

            bool entered = true;

        private:
            const void* link;
            const PropagationGuard* outer;
            static constinit thread_local const PropagationGuard* innermost;
        };
        constinit thread_local const PropagationGuard* PropagationGuard::innermost = nullptr;
    }

    BehaviourLink::BehaviourLink(ParamRange& owner) : BehaviourDouble(owner, "BehaviourLink", "BehaviourLink")
    {
        invert = params->addParamBool("Invert", false);
        rangeToListenTo = params->addParamRange("rangeToListenTo", 0.0, ValueRange<double>(0.0, 1.0, "range"));
        setPathByParent(owner.getPath(), std::string());
        invert->addListener(*this, false);
        owner.addListener(*this, false);
    }

    BehaviourLink::~BehaviourLink()
    {
        BehaviourLink::unlink();
        invert->removeListener(*this);
        getOwner().removeListener(*this);
    }

    bool BehaviourLink::link(std::shared_ptr<ParamBase> param, bool pushOwner, bool takeOwnerName)
    {
        if (! linkInternal(param))
            return false;
        linked->addListener(*this, false);
        ParamRange& owner = getOwner();
        if (pushOwner)
        {
            linked->setValueNormalized(owner.getValueNormalized(), ValueChangeInfo());
            linked->setDefaultValue(linked->getValue());
        }
        else
        {
            owner.setValueNormalized(linked->getValueNormalized(), ValueChangeInfo());
        }
        if (takeOwnerName)
            linked->setAltName(owner.getName());
        return true;
    }

    void BehaviourLink::unlink()
    {
        if (linked != nullptr)
            linked->removeListener(*this);
        pathToLink.clear();
        pullPending.store(false, std::memory_order_relaxed);
        BehaviourLinkBase::unlink();
    }

    void BehaviourLink::pathChanged()
    {
        BehaviourDouble::pathChanged();
        if (! pathToLink.empty())
            resolveLink();
    }

    void BehaviourLink::start(bool)
    {
    }

    bool BehaviourLink::resolveLink()
    {
        if (pathToLink.empty())
            return false;
        bool linkedNow = false;
        const std::size_t upstream = pathToLink.find("~/");
        if (pathToLink.size() >= 2 && upstream != std::string::npos)
        {
            ParamCollection* registry = getRegistry(pathToLink);
            if (registry == nullptr)
                return false;
            const auto found = registry->findParamUpstream(getPath(), pathToLink.substr(upstream + 1));
            if (found == nullptr)
                return false;
            linkedNow = link(found, true, true);
        }
        else
        {
            linkedNow = BehaviourLinkBase::link(pathToLink, true, true);
        }
        if (! linkedNow)
            return false;
        pathToLink.clear();
        return true;
    }

    bool BehaviourLink::isOwnersThread() const
    {
        const std::thread::id updater = updateThread.load(std::memory_order_relaxed);
        return updater == std::thread::id() || updater == std::this_thread::get_id();
    }

    std::uint32_t BehaviourLink::update(const TimeInfo&)
    {
        const std::thread::id me = std::this_thread::get_id();
        if (updateThread.load(std::memory_order_relaxed) != me)
            updateThread.store(me, std::memory_order_relaxed);
        if (pullPending.load(std::memory_order_acquire) && pullPending.exchange(false, std::memory_order_acquire))
            if (linked != nullptr)
                setOwnerValue(pendingValue.load(std::memory_order_relaxed));
        return 0;
    }

    void BehaviourLink::valueChanged(ParamBase& param, ChangeInfo info)
    {
        if (info.sender == this)
            return;
        ParamRange& owner = getOwner();
        if (&param == &owner && linked != nullptr)
        {
            pushOwnerValue();
        }
        else if (linked != nullptr && &param == linked.get())
        {
            const double linkedNormalized = linked->getValueNormalized();
            if (isOwnersThread())
            {
                setOwnerValue(linkedNormalized);
            }
            else
            {
                pendingValue.store(linkedNormalized, std::memory_order_relaxed);
                pullPending.store(true, std::memory_order_release);
            }
        }
        else if (&param == invert.get() && linked != nullptr)
        {
            setOwnerValue(linked->getValueNormalized());
        }
    }

    void BehaviourLink::pushOwnerValue()
    {
        const PropagationGuard guard(this);
        if (! guard.entered)
            return;
        double v = getOwner().getValueNormalized();
        if (rangeToListenTo->getMinMaxRange().max > 0.0)
        {
            rangeToListenTo->setValueNormalized(v, ValueChangeInfo());
            v = rangeToListenTo->getValue();
        }
        if (invert->getValue())
            v = 1.0 - v;
        linked->setValueNormalized(v, ValueChangeInfo(static_cast<void*>(this), -1.0));
    }

    void BehaviourLink::setOwnerValue(double linkedNormalized)
    {
        const PropagationGuard guard(this);
        if (! guard.entered)
            return;
        ParamRange& owner = getOwner();
        if (followsStartStopRange)
            owner.setStartStopRangeNormalized(linked->getStartStopRangeNormalized(), ValueChangeInfo());
        double v = linkedNormalized;
        if (rangeToListenTo->getStartStopRange().max > 0.0)
        {
            rangeToListenTo->setValue(v, ValueChangeInfo());
            v = rangeToListenTo->getValueNormalized();
        }
        if (invert->getValue())
            v = 1.0 - v;
        owner.setValueNormalized(v, ValueChangeInfo(static_cast<void*>(this), -1.0));
    }

    void BehaviourLink::setFollowsStartStopRange(bool follows)
    {
        if (follows != followsStartStopRange && follows && linked != nullptr)
            getOwner().setStartStopRangeNormalized(linked->getStartStopRangeNormalized(), ValueChangeInfo());
        followsStartStopRange = follows;
    }

    XmlNode* BehaviourLink::writeStateDerived(XmlPool& pool, bool force)
    {
        XmlNode* element = BehaviourDouble::writeStateDerived(pool, force);
        if (linked != nullptr)
        {
            const std::string relative = linked->getRelativeLinkPath();
            element->append_attribute(
                createAttribute(pool, "pathToLink", relative.empty() ? linked->getPath() : relative));
        }
        else if (! pathToLink.empty())
        {
            element->append_attribute(createAttribute(pool, "pathToLink", pathToLink));
        }
        return element;
    }

    void BehaviourLink::readStateDerived(const XmlNode& node)
    {
        if (linked != nullptr)
            unlink();
        BehaviourDouble::readStateDerived(node);
        if (const XmlAttribute* path = node.first_attribute("pathToLink"))
            pathToLink = readAttribute(path, std::string());
        resolveLink();
    }
}
