#pragma once

#include "core/parameters/VXParamListener.h"
#include "engine/behaviours/VXBehaviourDouble.h"
#include "engine/behaviours/VXBehaviourLinkBase.h"

#include <atomic>
#include <memory>
#include <string>
#include <thread>

namespace vx
{
    template <typename T>
    class Param;

    // Ties the owner to another range parameter found by path: a change of
    // the owner is pushed to the linked parameter, a change of the linked
    // parameter is pulled into the owner, optionally inverted ("Invert") and
    // seen through the window of "rangeToListenTo". A path that cannot be
    // resolved yet stays pending and is tried again on every path change;
    // "~/x" searches upwards from the behaviour's own path. Element and name
    // "BehaviourLink".
    //
    // Threads: a push runs on the thread that changed the owner. A pull
    // runs at once when it comes on the thread that updates the owner (or
    // before the owner was ever updated); from any other thread the linked
    // value is handed over and pulled in at the owner's next update, so the
    // owner is only written by its own thread. A change that comes back
    // round a cycle of links to a link still busy with it is dropped.
    class BehaviourLink : public BehaviourLinkBase, public BehaviourDouble, public ParamListener
    {
    public:
        explicit BehaviourLink(ParamRange& owner);
        ~BehaviourLink() override;

        using BehaviourLinkBase::link;
        bool link(std::shared_ptr<ParamBase> param, bool pushOwnerValue, bool takeOwnerName) override;
        void unlink() override;
        void pathChanged() override;
        void start(bool restart) override;
        void valueChanged(ParamBase& param, ChangeInfo info) override;

        // Never empty, so the owner's update reaches it (to take values
        // handed over from other threads); it never animates.
        bool isEmpty() const override { return false; }
        std::uint32_t update(const TimeInfo& info) override;

        // Writes "pathToLink": the linked parameter's relative link path or
        // path, or the pending path.
        XmlNode* writeStateDerived(XmlPool& pool, bool force) override;
        void readStateDerived(const XmlNode& node) override;

        void setFollowsStartStopRange(bool follows);
        bool getFollowsStartStopRange() const { return followsStartStopRange; }
        const std::string& getPathToLink() const { return pathToLink; }
        void setPathToLink(const std::string& path) { pathToLink = path; }
        // Links the pending path; true when linked.
        bool resolveLink();

        const std::shared_ptr<Param<bool>>& getInvertParam() const { return invert; }
        const std::shared_ptr<ParamRange>& getRangeToListenTo() const { return rangeToListenTo; }

    private:
        void pushOwnerValue();
        void setOwnerValue(double linkedNormalized);
        bool isOwnersThread() const;

        std::shared_ptr<Param<bool>> invert;
        std::shared_ptr<ParamRange> rangeToListenTo;
        bool followsStartStopRange = false;
        std::string pathToLink;

        std::atomic<std::thread::id> updateThread{};
        std::atomic<bool> pullPending{false};
        std::atomic<double> pendingValue{0.0};
    };
}
