// The render-pass manager as the factory of generator sources, with a hosted
// FFGL generator among its kinds.

#include "VXFFGLTestSupport.h"
#include "VXRenderPassTestSupport.h"
#include "core/VXFile.h"
#include "engine/renderpasses/VXFFGLGenerator.h"
#include "engine/renderpasses/VXFFGLPluginInstance.h"
#include "engine/video/sources/VXGeneratorSourceExtension.h"
#include "engine/video/sources/VXGeneratorVideoSource.h"

#include <gtest/gtest.h>

namespace vx::test
{
    namespace
    {
        class GeneratorSourcesGLTest : public RenderPassGLTest
        {
        protected:
            void SetUp() override
            {
                RenderPassGLTest::SetUp();
                restoresViewport = true;
                if (*recorderPath == 0)
                    GTEST_SKIP() << "no plugin modules in this build";
            }
        };
    }

    TEST_F(GeneratorSourcesGLTest, AHostedGeneratorIsOfferedAsAVideoSource)
    {
        RecorderModule module;
        module.recorder->script.minInputs = module.recorder->script.maxInputs = 0;
        std::unique_ptr<FFGLPluginInstance> plugin(FFGLPluginInstance::load(File(recorderPath)));
        ASSERT_NE(plugin, nullptr);
        const std::string name = plugin->getPluginName();
        ASSERT_TRUE(manager.registerRenderPassFromFFGLInstance(plugin.get()));
        plugin->unload();
        manager.sort();

        // The fixture's solid-colour generator and the plugin, by name.
        const auto extensions = manager.getSourceExtensions();
        ASSERT_EQ(extensions.size(), 2u);
        std::vector<std::string> names;
        for (const auto& extension : extensions)
            names.push_back(static_cast<VideoSourceExtension&>(*extension).getExtensionName());
        EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
        const auto hosted = std::find_if(extensions.begin(), extensions.end(),
                                         [&](const auto& e) { return e->getPassName() == name; });
        ASSERT_NE(hosted, extensions.end());
        EXPECT_EQ(static_cast<VideoSourceExtension&>(**hosted).getCategoryName(), "Generators");

        std::unique_ptr<VideoSource> source((*hosted)->createSource(static_cast<XmlState*>(nullptr)));
        auto* generatorSource = dynamic_cast<GeneratorVideoSource*>(source.get());
        ASSERT_NE(generatorSource, nullptr);
        EXPECT_EQ(generatorSource->getCreator(), &manager);
        EXPECT_NE(dynamic_cast<FFGLGenerator*>(generatorSource->getGenerator()), nullptr);
        EXPECT_EQ(manager.createSource(AddConstantPass::classType()), nullptr);
        source.reset();
        root->getGfxObjectManager()->cleanAll();
    }
}
