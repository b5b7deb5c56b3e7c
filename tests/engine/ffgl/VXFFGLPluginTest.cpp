// The adapter's parameter mapping, driven directly (no GL needed).

#include "engine/ffgl/VXFFGLPlugin.h"
#include "engine/ffgl/VXFFGLTestEffect.h"
#include "engine/ffgl/VXVexkit.h"

#include <gtest/gtest.h>

#include <limits>
#include <memory>

namespace
{
    using namespace vx;
    using vx::test::FFGLTestEffect;
    using vx::test::FFGLTestEffectLog;

    class VXFFGLPluginTest : public testing::Test
    {
    protected:
        void SetUp() override
        {
            FFGLTestEffectLog::get() = {};
            effect = new FFGLTestEffect(true);
            plugin = std::make_unique<VXFFGLPlugin>(effect, 1, 1);
        }

        void TearDown() override
        {
            plugin.reset();
            EXPECT_EQ(FFGLTestEffectLog::get().destroyed, FFGLTestEffectLog::get().constructed)
                << "a plugin owns its application";
            EXPECT_EQ(Vexkit::getInstanceWithoutCreating(), nullptr);
        }

        FFGLTestEffect* effect = nullptr;
        std::unique_ptr<VXFFGLPlugin> plugin;
    };

    TEST_F(VXFFGLPluginTest, TableFollowsTheContainer)
    {
        ASSERT_EQ(plugin->GetNumParams(), 6u);
        EXPECT_EQ(plugin->GetParamType(0), static_cast<std::uint32_t>(FFGL::typeStandard));
        EXPECT_EQ(plugin->GetParamType(1), static_cast<std::uint32_t>(FFGL::typeBoolean));
        EXPECT_EQ(plugin->GetParamType(2), static_cast<std::uint32_t>(FFGL::typeEvent)) << "events before bools";
        EXPECT_EQ(plugin->GetParamType(3), static_cast<std::uint32_t>(FFGL::typeText));
        EXPECT_EQ(plugin->GetParamType(5), static_cast<std::uint32_t>(FFGL::typeStandard)) << "other kinds";
        EXPECT_EQ(FFGL::toFloat(plugin->GetParamDefault(5)), 0.0f);
        ASSERT_NE(Vexkit::getInstanceWithoutCreating(), nullptr);
        EXPECT_NE(Vexkit::getInstanceWithoutCreating()->getParamCollection(), nullptr);
    }

    TEST_F(VXFFGLPluginTest, RangeIsExchangedNormalised)
    {
        EXPECT_EQ(plugin->SetFloatParameter(0, 0.25f), FFGL::success);
        EXPECT_DOUBLE_EQ(effect->gain->getValue(), 2.0) << "a quarter of 0..8";
        EXPECT_EQ(plugin->GetFloatParameter(0), 0.25f);
        EXPECT_EQ(plugin->SetFloatParameter(0, 0.75f), FFGL::success);
        EXPECT_DOUBLE_EQ(effect->gain->getValue(), 6.0);
        EXPECT_STREQ(plugin->GetParameterDisplay(0), "6.00") << "current value, not normalised";
        EXPECT_EQ(plugin->SetFloatParameter(0, 2.0f), FFGL::success);
        EXPECT_EQ(plugin->GetFloatParameter(0), 1.0f) << "clamped into the range";
    }

    TEST_F(VXFFGLPluginTest, BoolsTakeAnyNonZeroAsTrue)
    {
        EXPECT_EQ(plugin->SetFloatParameter(1, 0.0f), FFGL::success);
        EXPECT_FALSE(effect->invert->getValue());
        EXPECT_EQ(plugin->GetFloatParameter(1), 0.0f);
        EXPECT_STREQ(plugin->GetParameterDisplay(1), "0");
        EXPECT_EQ(plugin->SetFloatParameter(1, 0.5f), FFGL::success);
        EXPECT_TRUE(effect->invert->getValue());
        EXPECT_STREQ(plugin->GetParameterDisplay(1), "1");
        plugin->SetFloatParameter(1, 0.0f);
        EXPECT_EQ(plugin->SetFloatParameter(1, std::numeric_limits<float>::quiet_NaN()), FFGL::success);
        EXPECT_TRUE(effect->invert->getValue()) << "NaN is not 0";

        EXPECT_EQ(plugin->SetFloatParameter(2, 1.0f), FFGL::success);
        EXPECT_TRUE(effect->flash->getValue());
        EXPECT_EQ(plugin->GetFloatParameter(2), 1.0f);
    }

    TEST_F(VXFFGLPluginTest, TextGoesOnlyThroughTheTextCalls)
    {
        const auto* text = FFGL::toPointer<const char>(plugin->GetTextParameter(3));
        ASSERT_NE(text, nullptr);
        EXPECT_STREQ(text, "hello");
        EXPECT_EQ(plugin->SetTextParameter(3, "world"), FFGL::success);
        EXPECT_EQ(effect->caption->getValue(), "world");
        EXPECT_STREQ(plugin->GetParameterDisplay(3), "world");
        EXPECT_EQ(plugin->SetTextParameter(3, nullptr), FFGL::fail);
        EXPECT_EQ(effect->caption->getValue(), "world");

        EXPECT_EQ(plugin->SetFloatParameter(3, 1.0f), FFGL::fail);
        EXPECT_EQ(plugin->GetFloatParameter(3), 0.0f);
        EXPECT_EQ(plugin->SetTextParameter(0, "1"), FFGL::fail);
        EXPECT_EQ(plugin->SetTextParameter(1, "1"), FFGL::fail);
        EXPECT_EQ(plugin->GetTextParameter(0), 0u);
    }

    TEST_F(VXFFGLPluginTest, OtherKindsAndUnknownIndexesRefuse)
    {
        EXPECT_EQ(plugin->SetFloatParameter(5, 0.2f), FFGL::fail);
        EXPECT_DOUBLE_EQ(effect->opaque->getValue(), 0.5);
        EXPECT_EQ(plugin->GetFloatParameter(5), 0.0f);
        EXPECT_EQ(plugin->GetParameterDisplay(5), nullptr);

        for (const std::uint32_t index : {6u, 1000u, 0x80000000u, 0xFFFFFFFFu})
        {
            EXPECT_EQ(plugin->SetFloatParameter(index, 0.5f), FFGL::fail) << index;
            EXPECT_EQ(plugin->SetTextParameter(index, "x"), FFGL::fail) << index;
            EXPECT_EQ(plugin->GetFloatParameter(index), 0.0f) << index;
            EXPECT_EQ(plugin->GetTextParameter(index), 0u) << index;
            testing::internal::CaptureStdout();
            EXPECT_EQ(plugin->GetParameterDisplay(index), nullptr) << index;
            EXPECT_EQ(testing::internal::GetCapturedStdout(), "No param!\n");
        }
    }

    TEST_F(VXFFGLPluginTest, ParameterChangesReachListeners)
    {
        struct Counter : ParamListener
        {
            int changes = 0;
            void valueChanged(ParamBase&, ChangeInfo) override { ++changes; }
        } counter;
        effect->gain->addListener(counter, false);
        plugin->SetFloatParameter(0, 0.5f);
        plugin->SetFloatParameter(0, 0.5f);
        effect->gain->removeListener(counter);
        EXPECT_EQ(counter.changes, 1);
    }
}
