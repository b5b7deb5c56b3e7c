#pragma once

#include "core/VXBroadcaster.h"
#include "core/parameters/VXChangeInfo.h"
#include "core/parameters/VXParamListener.h"
#include "core/parameters/VXUpdatable.h"
#include "core/xml/VXXmlCapable.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace vx
{
    // The root of every parameter kind: a name with XML persistence, a
    // listener list, the per-frame interface and the rule that decides which
    // listener callback a change reaches. Abstract: each kind writes and
    // reads its own value.
    //
    // The fields are unguarded: one parameter's setters must not run on two
    // threads at once. Listeners registered as synchronous are called on the
    // changing thread before the setter returns.
    class ParamBase : public Broadcaster<ParamListener>, public XmlCapable, public Updatable
    {
    public:
        // Set by whoever edits the parameter; Editing also stops a range
        // parameter's animation.
        enum UserState : std::uint32_t
        {
            UserState_None = 0,
            UserState_Editing = 1,
            UserState_Editing_1 = 2,
            UserState_Editing_2 = 3,
            UserState_Editing_3 = 4,
            UserState_Editing_4 = 5,
            UserState_Editing_5 = 6
        };

        // Stored for input routing (the input controller chooses the thread
        // a message for this parameter is applied on); never acted on here.
        // Values other than these route like the default.
        enum ThreadAffinity : std::uint32_t
        {
            ThreadAffinity_Default = 0,       // the input controller's own thread
            ThreadAffinity_MessageThread = 1,
            ThreadAffinity_RenderThread = 2,
            ThreadAffinity_NotDispatched = 3, // messages are dropped unapplied
            ThreadAffinity_ControlThread = 4
        };

        // Element name "Param" unless a kind gives its own.
        explicit ParamBase(const std::string& name, const std::string& elementName = "Param");
        ~ParamBase() override;

        ParamBase(const ParamBase&) = delete;
        ParamBase& operator=(const ParamBase&) = delete;

        // Kinds that override this must call it: the path registry relies on
        // it to notice paths that change after registration.
        void pathChanged() override;
        // Sends StateChange_Appearance.
        void nameChanged() override;

        virtual void resetToDefault(const ValueChangeInfo& info);
        bool update(const TimeInfo& info) override;
        void start(bool restart, const TimeUnit& time) override;
        void stop(const TimeUnit& time) override;
        // Points the parameter at a field it keeps in step with its value
        // (choice parameters write through it); empty here.
        virtual void setValueToLinkBehaviourTo(void* linkedValue);
        virtual std::string getValueAsString() const;
        virtual void behaviourChanged();

        // Live parameters of any kind in the process (any thread).
        static int getTotalParamsInSystem();
        // Rises whenever any parameter's path changes (any thread); the path
        // registry compares it to know that its lookup map went stale.
        static std::uint64_t getPathGeneration();

        bool isEnabled() const { return enabled; }
        // Sends StateChange_Appearance every time, even when unchanged.
        void setEnabled(bool shouldBeEnabled);

        void setTypeIsFixed(bool isFixed) { typeFixed = isFixed; }
        bool typeIsFixed() const { return typeFixed; }

        void setDefaultChangeType(ChangeType changeType) { defaultChangeType = changeType; }
        ChangeType getDefaultChangeType() const { return defaultChangeType; }

        UserState getUserState() const { return userState; }
        // Nothing for the current state; otherwise stores it and sends state
        // 7 + s (7 for values of 7 and above).
        void setUserState(UserState newState);
        void setUserStateSync(UserState newState);

        bool isPlaying() const { return playing; }

        void setThreadAffinity(ThreadAffinity affinity) { threadAffinity = affinity; }
        ThreadAffinity getThreadAffinity() const { return threadAffinity; }

        const std::string& getValueDescription() const { return valueDescription; }
        // Stores the text and sends StateChange_ValueDescription to every
        // listener's stateChanged, whatever the text was.
        void setValueDescription(const std::string& description);

        // Sends info to every listener's stateChanged, whatever its state.
        void callListenersForStateChange(ChangeInfo info);

        // State 0 reaches valueChanged; 2, 3, 4 and 6..13 reach stateChanged;
        // 1, 5 and undefined states reach nobody. Standard call type. Inline:
        // an animated parameter nobody listens to calls it every frame, and
        // then it does nothing.
        void stateChanged(const ChangeInfo& info)
        {
            if (info.state != StateChange_ValueDescription && hasListeners())
                stateChanged(CallType::standard, info);
        }
        // The same with the given call type; state 1 also reaches stateChanged.
        void stateChanged(const CallType& callType, const ChangeInfo& info);

    protected:
        // "altName" (without a name notification) and "storage" of node,
        // each when present: the part of the read sequence between
        // readStatePre and readStateDerived.
        void readCommonAttributes(const XmlNode& node);

        // The change type a setter applies: the parameter's own default
        // replaces ChangeType_ParamDefault.
        ChangeType resolveChangeType(ChangeType requested) const
        {
            return requested == ChangeType_ParamDefault ? defaultChangeType : requested;
        }

    private:
        std::string valueDescription;
        ChangeType defaultChangeType = ChangeType_OnChange;
        bool playing = false;
        UserState userState = UserState_None;
        bool enabled = true;
        bool typeFixed = false;
        ThreadAffinity threadAffinity = ThreadAffinity_Default;
    };

    // Hash of a whole parameter path (the registry's path map).
    struct ParamPathHasher
    {
        std::size_t operator()(const std::string& path) const { return std::hash<std::string>()(path); }
    };
}
