#include "core/parameters/VXParam.h"

#include "VXParamTestHelpers.h"

#include "core/VXTimeUnit.h"

#include <gtest/gtest.h>

namespace vx
{
    using test::RecordingParamListener;
    using Events = std::vector<std::string>;

    class ParamBaseTest : public ::testing::Test
    {
    protected:
        void SetUp() override { param.addListener(listener, false); }
        void TearDown() override { param.removeListener(listener); }

        Param<int> param{"Master Opacity", 0};
        RecordingParamListener listener;
    };

    TEST_F(ParamBaseTest, SetEnabledAlwaysAnnouncesAppearance)
    {
        param.setEnabled(true);
        param.setEnabled(false);
        EXPECT_EQ(listener.events(), (Events{"state(3)", "state(3)"}));
        EXPECT_FALSE(param.isEnabled());
    }

    TEST_F(ParamBaseTest, UserStateMapsToStateChangesOnce)
    {
        param.setUserState(ParamBase::UserState_Editing_1);
        param.setUserState(ParamBase::UserState_Editing_1);
        param.setUserState(static_cast<ParamBase::UserState>(9));
        EXPECT_EQ(listener.events(), (Events{"state(9)", "state(7)"}));
        EXPECT_EQ(param.getUserState(), static_cast<ParamBase::UserState>(9));
    }

    TEST_F(ParamBaseTest, DispatchRuleDecidesWhichCallbackRuns)
    {
        param.stateChanged(ChangeInfo(StateChange_Value));
        param.stateChanged(ChangeInfo(StateChange_ValueDescription));
        param.stateChanged(ChangeInfo(StateChange_Deleted));
        param.stateChanged(ChangeInfo(static_cast<StateChange>(15)));
        param.stateChanged(ChangeInfo(StateChange_Read));
        param.stateChanged(CallType::standard, ChangeInfo(StateChange_ValueDescription));
        EXPECT_EQ(listener.events(), (Events{"value(0)", "state(4)", "state(1)"}));

        listener.clear();
        param.callListenersForStateChange(ChangeInfo(StateChange_Deleted));
        param.setValueDescription("same");
        param.setValueDescription("same");
        EXPECT_EQ(listener.events(), (Events{"state(5)", "state(1)", "state(1)"}));
    }

    TEST_F(ParamBaseTest, RenameAnnouncesAppearanceAndStartStopOnlyToggle)
    {
        param.setName("Other");
        EXPECT_EQ(listener.events(), (Events{"state(3)"}));

        listener.clear();
        param.start(true, TimeUnit::withPosition(3.0));
        EXPECT_TRUE(param.isPlaying());
        param.stop(TimeUnit());
        EXPECT_FALSE(param.isPlaying());
        EXPECT_TRUE(listener.events().empty());
    }

    TEST(ParamBaseCountTest, CountsLiveParametersOfEveryKind)
    {
        const int before = ParamBase::getTotalParamsInSystem();
        {
            Param<float> a("a", 0.0f);
            auto b = std::make_unique<Param<std::string>>("b", "");
            EXPECT_EQ(ParamBase::getTotalParamsInSystem(), before + 2);
        }
        EXPECT_EQ(ParamBase::getTotalParamsInSystem(), before);
    }
}
