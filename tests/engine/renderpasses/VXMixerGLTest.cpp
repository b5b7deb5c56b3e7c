#include "engine/renderpasses/VXMixer.h"

#include "VXRenderPassTestSupport.h"
#include "core/parameters/VXParamRange.h"
#include "engine/gfx/VXScopedRenderState.h"

namespace vx::test
{
    namespace
    {
        struct BlendCase
        {
            const char* name;
            PixelRGBA8 destination, source;
            double opacity;
            bool transition;
        };

        // destination x (1 - source alpha x opacity) + source x opacity, or the
        // linear mix in transition mode, per channel in 0..1.
        PixelRGBA8 expected(const BlendCase& c)
        {
            const auto channel = [&](uint8_t d8, uint8_t s8, float sourceAlpha)
            {
                const double d = d8 / 255.0, s = s8 / 255.0;
                const double v =
                    c.transition ? d + (s - d) * c.opacity : d * (1.0 - sourceAlpha * c.opacity) + s * c.opacity;
                return uint8_t(std::clamp(v, 0.0, 1.0) * 255.0 + 0.5);
            };
            const float a = c.source.a / 255.0f;
            return {channel(c.destination.r, c.source.r, a), channel(c.destination.g, c.source.g, a),
                    channel(c.destination.b, c.source.b, a), channel(c.destination.a, c.source.a, a)};
        }

        class MixerGLTest : public RenderPassGLTest, public ::testing::WithParamInterface<BlendCase>
        {
        };

        TEST_P(MixerGLTest, BlendsWithinOneStep)
        {
            const BlendCase& c = GetParam();
            Mixer mixer(2);
            mixer.setSize(4, 4);
            mixer.setInput(0, makeInput(4, 4, c.destination), 0, 0);
            mixer.setInput(1, makeInput(4, 4, c.source), 0, 0);
            mixer.getOpacity().setValue(c.opacity, ValueChangeInfo());
            mixer.enableTransitionMode(c.transition);
            mixer.retainOutput(true);
            {
                const ScopedRenderState state(renderer->getRenderContext());
                ASSERT_TRUE(mixer.render(*renderer));
            }
            ASSERT_FALSE(mixer.isUsingFallback());
            expectUniform(readBack(*mixer.getOutput(0)->texture), 4, 4, expected(c), 1);
            mixer.retainOutput(false);
        }

        const PixelRGBA8 red{255, 0, 0, 255};
        const PixelRGBA8 blue{0, 0, 255, 255};
        const PixelRGBA8 halfGreen{0, 128, 0, 128}; // premultiplied

        INSTANTIATE_TEST_SUITE_P(Table, MixerGLTest,
                                 ::testing::Values(BlendCase{"OpacityZeroKeepsTheDestination", red, blue, 0.0, false},
                                                   BlendCase{"OpacityOneLaysTheSourceOver", red, blue, 1.0, false},
                                                   BlendCase{"OpaqueSourceAtHalf", red, blue, 0.5, false},
                                                   BlendCase{"TranslucentSourceAtFull", red, halfGreen, 1.0, false},
                                                   BlendCase{"TranslucentSourceAtQuarter", red, halfGreen, 0.25, false},
                                                   BlendCase{"TransitionAtHalfIsTheAverage", red, blue, 0.5, true},
                                                   BlendCase{"TransitionIgnoresSourceAlpha", red, halfGreen, 0.5, true},
                                                   BlendCase{"TransitionAtZero", red, halfGreen, 0.0, true}),
                                 [](const ::testing::TestParamInfo<BlendCase>& info) { return info.param.name; });
    }
}
