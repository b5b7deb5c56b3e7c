#include "engine/renderpasses/VXTransformEffect.h"

#include "core/parameters/VXParam.h"
#include "core/parameters/VXParamContainer.h"
#include "core/parameters/VXParamRange.h"
#include "support/VXLogRecorder.h"

#include <gtest/gtest.h>

#include <cmath>

namespace vx::test
{
    namespace
    {
        ParamRange& range(TransformEffect& effect, const char* name)
        {
            return dynamic_cast<ParamRange&>(*effect.getParams().getParamByName(name));
        }

        bool isFinite(const Matrix4x4& m)
        {
            return std::all_of(std::begin(m.m), std::end(m.m), [](float v) { return std::isfinite(v); });
        }

        struct AutoSizeCase
        {
            const char* name;
            double srcW, srcH, dstW, dstH;
            AutoSize mode;
            float preScaleW, preScaleH;
        };

        class TransformAutoSizeTest : public ::testing::TestWithParam<AutoSizeCase>
        {
        };

        TEST_P(TransformAutoSizeTest, PreScalesFitTheSource)
        {
            const AutoSizeCase& c = GetParam();
            TransformEffect effect;
            effect.setupAutoSize(c.srcW, c.srcH, c.dstW, c.dstH, c.mode);
            EXPECT_NEAR(effect.getPreScaleW().getValue(), c.preScaleW, 0.01f);
            EXPECT_NEAR(effect.getPreScaleH().getValue(), c.preScaleH, 0.01f);
        }

        INSTANTIATE_TEST_SUITE_P(
            Modes, TransformAutoSizeTest,
            ::testing::Values(AutoSizeCase{"Fit", 1920, 1080, 1280, 1280, AutoSizeFit, 66.67f, 66.67f},
                              AutoSizeCase{"Fill", 1920, 1080, 1280, 1280, AutoSizeFill, 118.52f, 118.52f},
                              AutoSizeCase{"Stretch", 1920, 1080, 1280, 1280, AutoSizeStretch, 66.67f, 118.52f},
                              AutoSizeCase{"OtherResets", 1920, 1080, 1280, 1280, AutoSize(0), 100.0f, 100.0f}),
            [](const ::testing::TestParamInfo<AutoSizeCase>& info) { return info.param.name; });

        TEST(TransformEffectTest, ZeroSizesKeepThePreviousPlacement)
        {
            TransformEffect effect;
            effect.setSize(64, 32);
            effect.setupAutoSize(128, 64, 64, 32, AutoSizeFit);
            range(effect, "Rotation Z").setValue(30.0, ValueChangeInfo());
            const Matrix4x4 before = effect.getWorldMatrix();
            const Matrix4x4 projection = effect.getProjectionMatrix();

            LogRecorder log;
            for (const AutoSize mode : {AutoSizeFit, AutoSizeFill, AutoSizeStretch})
            {
                effect.setupAutoSize(0.0, 64.0, 64.0, 32.0, mode);
                effect.setupAutoSize(128.0, 0.0, 64.0, 32.0, mode);
            }
            effect.scaleToFit(0, 32);
            effect.setSize(0, 0);
            EXPECT_EQ(log.count(logWarning), 7u) << log.dump();
            EXPECT_FLOAT_EQ(effect.getPreScaleW().getValue(), 50.0f);
            EXPECT_FLOAT_EQ(effect.getPreScaleH().getValue(), 50.0f);
            EXPECT_DOUBLE_EQ(range(effect, "Scale W").getValue(), 100.0);
            EXPECT_TRUE(effect.getProjectionMatrix() == projection);
            EXPECT_TRUE(effect.getWorldMatrix() == before);

            // A pre-scale set to infinity directly does not reach the matrix.
            effect.getPreScaleW().setValue(INFINITY, ValueChangeInfo());
            EXPECT_TRUE(isFinite(effect.getWorldMatrix()));
            EXPECT_TRUE(effect.getWorldMatrix() == before);
        }

        TEST(TransformEffectTest, ScaleToFitAndWrappingRotation)
        {
            TransformEffect effect;
            effect.setSize(640, 360);
            effect.scaleToFit(640, 360);
            EXPECT_DOUBLE_EQ(range(effect, "Scale W").getValue(), 100.0);
            EXPECT_DOUBLE_EQ(range(effect, "Scale H").getValue(), 100.0);
            effect.scaleToFit(1280, 180);
            EXPECT_DOUBLE_EQ(range(effect, "Scale W").getValue(), 50.0);
            EXPECT_DOUBLE_EQ(range(effect, "Scale H").getValue(), 200.0);

            range(effect, "Rotation X").setValue(190.0, ValueChangeInfo());
            EXPECT_DOUBLE_EQ(range(effect, "Rotation X").getValue(), -170.0);
            range(effect, "Scale").setValue(5000.0, ValueChangeInfo());
            EXPECT_DOUBLE_EQ(range(effect, "Scale").getValue(), 1000.0) << "clamped, not wrapped";
        }
    }
}
