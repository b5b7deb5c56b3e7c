#include "core/parameters/VXChangeInfo.h"

namespace vx
{
    bool ChangeInfo::isStateChange_UserState() const
    {
        return state >= StateChange_UserState_None && state <= StateChange_UserState_Editing_5;
    }

    std::string ChangeInfo::toString(ChangeSource changeSource)
    {
        switch (changeSource)
        {
            case ChangeSourceUnknown:
                return "ChangeSourceUnknown";
            case ChangeSourceKeyboard:
                return "ChangeSourceKeyboard";
            case ChangeSourceMIDI:
                return "ChangeSourceMIDI";
            case ChangeSourceDMX:
                return "ChangeSourceDMX";
            case ChangeSourceOSC:
                return "ChangeSourceOSC";
            case ChangeSourceGUI:
                return "ChangeSourceGUI";
            case ChangeSourceGUILeftMouse:
                return "ChangeSourceGUILeftMouse";
            case ChangeSourceGUIMiddleMouse:
                return "ChangeSourceGUIMiddleMouse";
            case ChangeSourceGUIScrollWheel:
                return "ChangeSourceGUIScrollWheel";
            case ChangeSourceGUIRightMouse:
                return "ChangeSourceGUIRightMouse";
            case ChangeSourceSystem:
                return "ChangeSourceSystem";
            case ChangeSourceAnimation:
                return "ChangeSourceAnimation";
            case ChangeSourceScript:
                return "ChangeSourceScript";
            case ChangeSourceMenu:
                return "ChangeSourceMenu";
        }
        return "Undefined ChangeSource!";
    }

    std::string ChangeInfo::toString(StateChange stateChange)
    {
        switch (stateChange)
        {
            case StateChange_Value:
                return "StateChange_Value";
            case StateChange_ValueDescription:
                return "StateChange_ValueDescription";
            case StateChange_Reset:
                return "StateChange_Reset";
            case StateChange_Appearance:
                return "StateChange_Appearance";
            case StateChange_Read:
                return "StateChange_Read";
            case StateChange_Deleted:
                return "StateChange_Deleted";
            case StateChange_Behaviour_Changed:
                return "StateChange_Behaviour_Changed";
            case StateChange_UserState_None:
                return "StateChange_UserState_None";
            case StateChange_UserState_Editing:
                return "StateChange_UserState_Editing";
            case StateChange_UserState_Editing_1:
                return "StateChange_UserState_Editing_1";
            case StateChange_UserState_Editing_2:
                return "StateChange_UserState_Editing_2";
            case StateChange_UserState_Editing_3:
                return "StateChange_UserState_Editing_3";
            case StateChange_UserState_Editing_4:
                return "StateChange_UserState_Editing_4";
            case StateChange_UserState_Editing_5:
                return "StateChange_UserState_Editing_5";
        }
        return "Undefined state change!";
    }
}
