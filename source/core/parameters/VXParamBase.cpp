#include "core/parameters/VXParamBase.h"

#include <atomic>

namespace vx
{
    namespace
    {
        // Touched by every constructor and destructor on whatever thread
        // makes or drops parameters.
        std::atomic<int> liveParams{0};
        std::atomic<std::uint64_t> pathGeneration{0};
    }

    ParamBase::ParamBase(const std::string& name, const std::string& elementName) : XmlCapable(elementName, name)
    {
        liveParams.fetch_add(1, std::memory_order_relaxed);
    }

    ParamBase::~ParamBase()
    {
        liveParams.fetch_sub(1, std::memory_order_relaxed);
    }

    int ParamBase::getTotalParamsInSystem()
    {
        return liveParams.load(std::memory_order_relaxed);
    }

    std::uint64_t ParamBase::getPathGeneration()
    {
        return pathGeneration.load(std::memory_order_acquire);
    }

    void ParamBase::pathChanged()
    {
        pathGeneration.fetch_add(1, std::memory_order_acq_rel);
    }

    void ParamBase::nameChanged()
    {
        stateChanged(ChangeInfo(StateChange_Appearance));
    }

    void ParamBase::resetToDefault(const ValueChangeInfo&)
    {
    }

    bool ParamBase::update(const TimeInfo&)
    {
        return false;
    }

    void ParamBase::start(bool, const TimeUnit&)
    {
        playing = true;
    }

    void ParamBase::stop(const TimeUnit&)
    {
        playing = false;
    }

    void ParamBase::setValueToLinkBehaviourTo(void*)
    {
    }

    std::string ParamBase::getValueAsString() const
    {
        return std::string();
    }

    void ParamBase::behaviourChanged()
    {
    }

    void ParamBase::setEnabled(bool shouldBeEnabled)
    {
        enabled = shouldBeEnabled;
        stateChanged(ChangeInfo(StateChange_Appearance));
    }

    void ParamBase::setUserState(UserState newState)
    {
        if (newState == userState)
            return;
        userState = newState;
        const auto state =
            static_cast<std::uint32_t>(newState) < 7
                ? static_cast<StateChange>(StateChange_UserState_None + static_cast<std::uint32_t>(newState))
                : StateChange_UserState_None;
        stateChanged(ChangeInfo(state));
    }

    void ParamBase::setUserStateSync(UserState newState)
    {
        setUserState(newState);
    }

    void ParamBase::setValueDescription(const std::string& description)
    {
        valueDescription = description;
        callListenersForStateChange(ChangeInfo(StateChange_ValueDescription));
    }

    void ParamBase::callListenersForStateChange(ChangeInfo info)
    {
        callListeners(&ParamListener::stateChanged, static_cast<ParamBase&>(*this), info, CallType::standard);
    }

    void ParamBase::stateChanged(const CallType& callType, const ChangeInfo& info)
    {
        switch (info.state)
        {
            case StateChange_Value:
                callListeners(&ParamListener::valueChanged, static_cast<ParamBase&>(*this), info, callType);
                return;
            case StateChange_Deleted:
                return;
            default:
                // 14 has no enumerator but is still let through.
                if (static_cast<std::uint32_t>(info.state) > 14)
                    return;
                callListeners(&ParamListener::stateChanged, static_cast<ParamBase&>(*this), info, callType);
                return;
        }
    }

    void ParamBase::readCommonAttributes(const XmlNode& node)
    {
        if (const XmlAttribute* altName = node.first_attribute("altName"))
            setAltNameSilently(readAttribute(altName, std::string()));

        int storageValue = 0;
        if (readAttribute(node.first_attribute("storage"), &storageValue))
            setStorage(static_cast<Storage>(storageValue));
    }
}
