#pragma once

#include <cstdint>
#include <string>

namespace vx
{
    // Who made a change. Values are bits so that the GUI sources (16..20)
    // can be tested as a family. 512 (no enumerator) marks a value that
    // changed while a parameter read its XML state.
    enum ChangeSource : std::uint32_t
    {
        ChangeSourceUnknown = 0,
        ChangeSourceKeyboard = 1,
        ChangeSourceMIDI = 2,
        ChangeSourceDMX = 4,
        ChangeSourceOSC = 8,
        ChangeSourceGUI = 16,
        ChangeSourceGUILeftMouse = 17,
        ChangeSourceGUIMiddleMouse = 18,
        ChangeSourceGUIScrollWheel = 19,
        ChangeSourceGUIRightMouse = 20,
        ChangeSourceSystem = 32,
        ChangeSourceAnimation = 64,
        ChangeSourceScript = 128,
        ChangeSourceMenu = 256
    };

    // The source a parameter announces for a value changed by reading XML.
    constexpr ChangeSource changeSourceXmlRead = static_cast<ChangeSource>(512);

    // What changed; state 0 reaches listeners as valueChanged, the others
    // as stateChanged (see ParamBase::stateChanged).
    enum StateChange : std::uint32_t
    {
        StateChange_Value = 0,
        StateChange_ValueDescription = 1,
        StateChange_Reset = 2,
        StateChange_Appearance = 3,
        StateChange_Read = 4,
        StateChange_Deleted = 5,
        StateChange_Behaviour_Changed = 6,
        StateChange_UserState_None = 7,
        StateChange_UserState_Editing = 8,
        StateChange_UserState_Editing_1 = 9,
        StateChange_UserState_Editing_2 = 10,
        StateChange_UserState_Editing_3 = 11,
        StateChange_UserState_Editing_4 = 12,
        StateChange_UserState_Editing_5 = 13
    };

    // How a setter announces a change.
    enum ChangeType : std::uint32_t
    {
        ChangeType_OnChange = 0,    // store; notify only when the value differs
        ChangeType_Silent = 1,      // store when different; never notify
        ChangeType_Always = 2,      // store and notify even when unchanged
        ChangeType_ParamDefault = 3 // replaced by the parameter's default change type
    };

    struct ValueChangeInfo;

    // Milliseconds from the monotonic clock (declared with the other clocks).
    double getTickCount();

    namespace detail
    {
        // The stamp of a change record: timeMs, or now when it is exactly -1.0.
        inline double stampIfUnset(double timeMs)
        {
            return timeMs == -1.0 ? getTickCount() : timeMs;
        }
    }

    // The record a parameter hands its listeners. A time of exactly -1.0
    // given to a constructor is replaced by vx::getTickCount(); the copy
    // from a ValueChangeInfo keeps the time as it is (listeners must accept
    // -1.0, meaning no stamp). The sender is an opaque identity, never
    // dereferenced by the engine.
    struct ChangeInfo
    {
        ChangeSource source = ChangeSourceUnknown;
        StateChange state = StateChange_Value;
        void* sender = nullptr;
        double time = -1.0;

        // The constructors are inline: every animated parameter builds these
        // records each frame, and the out-of-line forms cost a call and a
        // stalled copy of the record apiece.
        ChangeInfo() : time(getTickCount()) {}
        explicit ChangeInfo(ChangeSource changeSource, double timeMs = -1.0)
            : source(changeSource), time(detail::stampIfUnset(timeMs))
        {
        }
        explicit ChangeInfo(StateChange stateChange, double timeMs = -1.0)
            : state(stateChange), time(detail::stampIfUnset(timeMs))
        {
        }
        explicit ChangeInfo(void* changeSender, double timeMs = -1.0)
            : sender(changeSender), time(detail::stampIfUnset(timeMs))
        {
        }
        ChangeInfo(ChangeSource changeSource, StateChange stateChange, double timeMs = -1.0)
            : source(changeSource), state(stateChange), time(detail::stampIfUnset(timeMs))
        {
        }
        ChangeInfo(ChangeSource changeSource, void* changeSender, double timeMs = -1.0)
            : source(changeSource), sender(changeSender), time(detail::stampIfUnset(timeMs))
        {
        }
        ChangeInfo(StateChange stateChange, void* changeSender, double timeMs = -1.0)
            : state(stateChange), sender(changeSender), time(detail::stampIfUnset(timeMs))
        {
        }
        ChangeInfo(ChangeSource changeSource, StateChange stateChange, void* changeSender, double timeMs = -1.0)
            : source(changeSource), state(stateChange), sender(changeSender), time(detail::stampIfUnset(timeMs))
        {
        }
        // Source, sender and time copied unchanged; state 0; the type is dropped.
        inline explicit ChangeInfo(const ValueChangeInfo& valueChange);

        ChangeInfo(const ChangeInfo&) = default;
        ChangeInfo& operator=(const ChangeInfo&) = default;

        // States 7 to 13.
        bool isStateChange_UserState() const;

        // The enumerator's text; "Undefined ChangeSource!" for anything else
        // (combined bits and 512 included).
        static std::string toString(ChangeSource changeSource);
        // The enumerator's text; "Undefined state change!" for 14 and above.
        static std::string toString(StateChange stateChange);
    };

    // The record a caller hands a setter. Defaults: type 3 (the parameter's
    // own default), source 0, no sender, time -1.0. The default and the
    // (time) constructors never stamp; every other form stamps a time of
    // exactly -1.0 with vx::getTickCount().
    struct ValueChangeInfo
    {
        ChangeType type = ChangeType_ParamDefault;
        ChangeSource source = ChangeSourceUnknown;
        void* sender = nullptr;
        double time = -1.0;

        ValueChangeInfo() = default;
        explicit ValueChangeInfo(double timeMs) : time(timeMs) {}
        explicit ValueChangeInfo(ChangeSource changeSource, double timeMs = -1.0)
            : source(changeSource), time(detail::stampIfUnset(timeMs))
        {
        }
        explicit ValueChangeInfo(ChangeType changeType, double timeMs = -1.0)
            : type(changeType), time(detail::stampIfUnset(timeMs))
        {
        }
        explicit ValueChangeInfo(void* changeSender, double timeMs = -1.0)
            : sender(changeSender), time(detail::stampIfUnset(timeMs))
        {
        }
        ValueChangeInfo(ChangeType changeType, ChangeSource changeSource, double timeMs = -1.0)
            : type(changeType), source(changeSource), time(detail::stampIfUnset(timeMs))
        {
        }
        ValueChangeInfo(ChangeType changeType, void* changeSender, double timeMs = -1.0)
            : type(changeType), sender(changeSender), time(detail::stampIfUnset(timeMs))
        {
        }
        ValueChangeInfo(ChangeSource changeSource, void* changeSender, double timeMs = -1.0)
            : source(changeSource), sender(changeSender), time(detail::stampIfUnset(timeMs))
        {
        }
        ValueChangeInfo(ChangeType changeType, ChangeSource changeSource, void* changeSender, double timeMs = -1.0)
            : type(changeType), source(changeSource), sender(changeSender), time(detail::stampIfUnset(timeMs))
        {
        }

        ValueChangeInfo(const ValueChangeInfo&) = default;
        ValueChangeInfo& operator=(const ValueChangeInfo&) = default;
    };

    ChangeInfo::ChangeInfo(const ValueChangeInfo& valueChange)
        : source(valueChange.source), state(StateChange_Value), sender(valueChange.sender), time(valueChange.time)
    {
    }
}
