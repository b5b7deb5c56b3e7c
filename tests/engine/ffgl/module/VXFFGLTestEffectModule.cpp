// The test effect as a module of its own, registered at load as a plugin is.

#include "engine/ffgl/VXFFGLTestEffect.h"

namespace
{
    const CFFGLPluginInfo testEffectInfo(vx::test::createTestEffectInstance, vx::test::testEffectId,
                                         vx::test::testEffectName, 1, 500, 2, 7, FFGL::pluginEffect,
                                         "Effect of the tests", "Vexkit tests");
}
