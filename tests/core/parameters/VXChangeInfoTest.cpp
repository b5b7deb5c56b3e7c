#include "core/parameters/VXChangeInfo.h"

#include "core/VXTime.h"

#include <gtest/gtest.h>

namespace vx
{
    TEST(ChangeInfoTest, StampsOnlyWhereTheFormStamps)
    {
        const double before = getTickCount();

        const ValueChangeInfo unstamped;
        EXPECT_EQ(unstamped.time, -1.0);
        EXPECT_EQ(unstamped.type, ChangeType_ParamDefault);

        EXPECT_EQ(ValueChangeInfo(-1.0).time, -1.0) << "the time-only form never stamps";
        EXPECT_GE(ValueChangeInfo(ChangeType_Silent).time, before);
        EXPECT_GE(ChangeInfo().time, before);
        EXPECT_GE(ChangeInfo(StateChange_Reset).time, before);
        EXPECT_EQ(ChangeInfo(StateChange_Reset, 0.0).time, 0.0);
    }

    TEST(ChangeInfoTest, FromValueChangeKeepsSourceSenderAndTime)
    {
        const ChangeInfo fromDefault{ValueChangeInfo()};
        EXPECT_EQ(fromDefault.time, -1.0);
        EXPECT_EQ(fromDefault.source, ChangeSourceUnknown);
        EXPECT_EQ(fromDefault.sender, nullptr);
        EXPECT_EQ(fromDefault.state, StateChange_Value);

        int identity = 0;
        const ChangeInfo carried{ValueChangeInfo(ChangeType_Always, ChangeSourceMIDI, &identity, 12.5)};
        EXPECT_EQ(carried.source, ChangeSourceMIDI);
        EXPECT_EQ(carried.sender, &identity);
        EXPECT_EQ(carried.time, 12.5);
    }

    TEST(ChangeInfoTest, TextsAndUserStates)
    {
        EXPECT_EQ(ChangeInfo::toString(static_cast<ChangeSource>(3)), "Undefined ChangeSource!");
        EXPECT_EQ(ChangeInfo::toString(changeSourceXmlRead), "Undefined ChangeSource!");
        EXPECT_EQ(ChangeInfo::toString(static_cast<StateChange>(14)), "Undefined state change!");

        EXPECT_FALSE(ChangeInfo(StateChange_Behaviour_Changed).isStateChange_UserState());
        EXPECT_TRUE(ChangeInfo(StateChange_UserState_None).isStateChange_UserState());
        EXPECT_TRUE(ChangeInfo(StateChange_UserState_Editing_5).isStateChange_UserState());
        EXPECT_FALSE(ChangeInfo(static_cast<StateChange>(14)).isStateChange_UserState());
    }
}
