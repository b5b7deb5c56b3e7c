#include "VXSourcesGLTestSupport.h"

#include "core/parameters/VXParamColor.h"
#include "core/parameters/VXParamRange.h"
#include "engine/renderpasses/VXGeneratorSources.h"
#include "engine/renderpasses/catalogue/VXFormatConversion.h"
#include "engine/video/sources/VXGeneratorSourceExtension.h"
#include "engine/video/sources/VXGeneratorVideoSource.h"

#include <gtest/gtest.h>

namespace vx::test
{
    namespace
    {
        // Fills its output with (level, 1 - level, 0.25, alpha); straight
        // (not premultiplied) when alpha is below one.
        template <int AlphaPercent>
        class LevelGenerator : public Generator
        {
        public:
            LevelGenerator()
            {
                setName(classType(), true);
                level = getParams().addParamRange("Level", 0.5);
            }
            static std::string classType() { return AlphaPercent == 100 ? "TestLevel" : "TestStraight"; }
            static std::string classDisplayStr() { return AlphaPercent == 100 ? "Level" : "Straight"; }
            static RttiObject* creationFunc() { return new LevelGenerator(); }
            std::string getClassType() const override { return classType(); }
            std::string getClassDisplayStr() const override { return classDisplayStr(); }
            bool isPremultiplied() override { return AlphaPercent == 100; }
            bool canGenerateThumbnail() override { return true; }

            bool render(Renderer& renderer) override
            {
                if (! begin(renderer))
                    return false;
                const float l = float(level->getValue());
                gfx::clear(l, 1.0f - l, 0.25f, AlphaPercent / 100.0f);
                glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
                end(renderer);
                return true;
            }

            std::shared_ptr<ParamRange> level;
        };
        using Level = LevelGenerator<100>;
        using Straight = LevelGenerator<50>;

        class GeneratorSourceGLTest : public SourcesGLTest
        {
        protected:
            void SetUp() override
            {
                SourcesGLTest::SetUp();
                ASSERT_FALSE(HasFatalFailure());
                manager = root->getRenderPassManager();
                manager->registerRenderPass<Straight>(RenderPassCategoryGenerator, 0, false, false);
                manager->registerRenderPass<Level>(RenderPassCategoryGenerator, 0, false, false);
                manager->registerRenderPass<AddConstantPass>(RenderPassCategoryEffect, 1, false, false);
                manager->registerRenderPass(SolidColourPass::classType(), "Blue", &SolidColourPass::creationFunc,
                                            RenderPassCategoryGenerator, 0, false, true);
            }

            std::unique_ptr<GeneratorVideoSource> make(const std::string& name)
            {
                return std::unique_ptr<GeneratorVideoSource>(
                    dynamic_cast<GeneratorVideoSource*>(manager->createSource(name)));
            }

            RenderPassManager* manager = nullptr;
        };

        // Makes plain sources in place of generator sources.
        class PlainSources : public GeneratorSources
        {
        public:
            explicit PlainSources(GeneratorSources* real) : previous(real) { setCurrent(this); }
            ~PlainSources() override { setCurrent(previous); }
            std::shared_ptr<GeneratorSourceExtension> makeExtension(RenderPassInfo& info) override
            {
                return previous->makeExtension(info);
            }
            std::string getExtensionName(const GeneratorSourceExtension& e) override
            {
                return previous->getExtensionName(e);
            }
            VideoSource* makeSource(Generator* g, VideoSourceFactory*) override
            {
                GfxObject::deleteUsingManager(g);
                return new PlainSource();
            }
            VideoSource* makeSourceFromXML(const XmlNode&) override { return new PlainSource(); }
            XmlCapable* asXmlCapable(VideoSource* s) override { return s; }

        private:
            GeneratorSources* previous;
        };
    }

    TEST_F(GeneratorSourceGLTest, EveryGeneratorKindHasOneExtensionSortedByName)
    {
        const auto extensions = manager->getSourceExtensions();
        std::vector<std::string> names, ids, categories;
        for (const auto& extension : extensions)
        {
            VideoSourceExtension& base = *extension;
            names.push_back(base.getExtensionName());
            ids.push_back(base.getExtensionUniqueId());
            categories.push_back(base.getCategoryName());
        }
        EXPECT_EQ(names, (std::vector<std::string>{"Blue", "Level", "Straight"}));
        EXPECT_EQ(ids, (std::vector<std::string>{"TestSolidColour", "TestLevel", "TestStraight"}));
        EXPECT_EQ(categories, (std::vector<std::string>(3, "Generators")));
        EXPECT_TRUE(static_cast<VideoSourceExtension&>(*extensions[0]).isHidden());
        EXPECT_EQ(extensions[1]->getPassName(), "TestLevel");

        manager->clear();
        EXPECT_TRUE(manager->getSourceExtensions().empty());
    }

    TEST_F(GeneratorSourceGLTest, TheManagerMakesGeneratorSourcesOnlyAndIsTheirCreator)
    {
        EXPECT_EQ(manager->createSource("TestAddConstant"), nullptr);
        EXPECT_EQ(manager->createSource("NoSuchKind"), nullptr);
        auto source = make("TestLevel");
        ASSERT_NE(source, nullptr);
        EXPECT_EQ(source->getCreator(), manager);
        EXPECT_EQ(source->getWidth(), VideoSource::DEFAULT_WIDTH);
        EXPECT_EQ(source->getHeight(), VideoSource::DEFAULT_HEIGHT);
        ASSERT_NE(source->getGenerator(), nullptr);
        EXPECT_EQ(source->getRenderPassChain()->findIndexOfPass(*source->getGenerator()), 0);
        EXPECT_EQ(source->getGenerator()->getStorage(), XmlCapable::storageCreatable);
        EXPECT_EQ(source->getGenerator()->getWidth(), 640);
        EXPECT_EQ(source->getDescription(), "Level");
        EXPECT_EQ(source->getAdditionalParams().get(), &source->getGenerator()->getParams());
        EXPECT_TRUE(source->hasCustomThumbnail());

        GeneratorVideoSource empty;
        EXPECT_EQ(empty.getWidth(), 0);
        EXPECT_EQ(empty.getHeight(), 0);
        EXPECT_FALSE(empty.getRenderPassChain()->getRenderWithoutPasses());
        EXPECT_EQ(empty.getDescription(), "GeneratorVideoSource");
        EXPECT_EQ(empty.getAdditionalParams(), nullptr);
        EXPECT_FALSE(empty.hasCustomThumbnail());
        EXPECT_EQ(empty.render(*renderer, info).get(), nullptr);
    }

    TEST_F(GeneratorSourceGLTest, OnlyAStraightGeneratorIsFollowedByFormatConversion)
    {
        struct Case
        {
            const char* kind;
            bool converted;
            PixelRGBA8 expected;
        };
        const Case cases[] = {
            {"TestLevel", false, {128, 128, 64, 255}},
            {"TestStraight", true, {64, 64, 32, 128}},
        };
        for (const Case& c : cases)
        {
            SCOPED_TRACE(c.kind);
            auto source = make(c.kind);
            source->setSize(8, 8);
            TextureRef output = source->render(*renderer, info);
            ASSERT_NE(output.get(), nullptr);
            EXPECT_EQ(source->getFormatConversion() != nullptr, c.converted);
            if (c.converted)
            {
                EXPECT_EQ(source->getRenderPassChain()->findIndexOfPass(*source->getFormatConversion()), 1);
                EXPECT_TRUE(source->getFormatConversion()->premultiply);
            }
            expectUniform(readOutput(output), 8, 8, c.expected, 2);
            source->release();
            EXPECT_EQ(source->getFormatConversion(), nullptr);
            EXPECT_EQ(source->getRenderPassChain()->getNumPasses(), 1);
        }
    }

    TEST_F(GeneratorSourceGLTest, EveryGeneratorRendersTheSameAfterAnXmlRoundTrip)
    {
        // Every generator kind the manager offers.
        const auto extensions = manager->getSourceExtensions();
        ASSERT_EQ(extensions.size(), 3u);
        for (const auto& extension : extensions)
        {
            const std::string kind = extension->getPassName();
            SCOPED_TRACE(kind);
            auto source = make(kind);
            ASSERT_NE(source, nullptr);
            source->setSize(8, 8);
            if (auto level = std::dynamic_pointer_cast<ParamRange>(
                    source->getGenerator()->getParams().getParamByName("Level")))
                level->setValue(0.8, ValueChangeInfo());
            XmlPool pool;
            XmlNode* element = source->writeState(pool, true);
            ASSERT_NE(element, nullptr);
            ASSERT_NE(element->first_node("GeneratorInfo"), nullptr);

            std::unique_ptr<XmlCapable> made(manager->createSourceFromXML(*element));
            auto* again = dynamic_cast<GeneratorVideoSource*>(made.get());
            ASSERT_NE(again, nullptr);
            ASSERT_NE(again->getGenerator(), nullptr);
            EXPECT_EQ(again->getGenerator()->getClassType(), kind);
            EXPECT_EQ(again->getWidth(), 8);

            const Picture first = readOutput(source->render(*renderer, info));
            const Picture second = readOutput(again->render(*renderer, info));
            ASSERT_EQ(first.pixels.size(), second.pixels.size());
            ASSERT_FALSE(first.pixels.empty());
            EXPECT_EQ(first.pixels, second.pixels);
        }
        XmlDocument bare;
        EXPECT_EQ(manager->createSourceFromXML(bare), nullptr);
        XmlPool pool;
        EXPECT_EQ(printXml(*manager->saveSourceToXML(pool, nullptr)), "<GeneratorInfo/>");
    }

    TEST_F(GeneratorSourceGLTest, ReadingTakesTheLastGeneratorOfTheChainWithItsExtensionsInfo)
    {
        auto source = make("TestLevel");
        source->getRenderPassChain()->addRenderPass(new AddConstantPass());
        auto* second = new Straight();
        second->setStorage(XmlCapable::storageCreatable);
        source->getRenderPassChain()->addRenderPass(second);
        XmlPool pool;
        XmlNode* element = source->writeState(pool, true);

        auto extension = manager->getSourceExtensions()[2];
        ScopedSourceDirectory directory;
        directory.listed.push_back(extension.get());
        GeneratorVideoSource read;
        read.readState(element, false);
        ASSERT_NE(read.getGenerator(), nullptr);
        EXPECT_EQ(read.getGenerator()->getClassType(), "TestStraight");
        EXPECT_EQ(read.getSourceInfo().uniqueId, "TestStraight");
        EXPECT_EQ(read.getSourceInfo().categoryName, "Generators");
    }

    TEST_F(GeneratorSourceGLTest, TheExtensionKeepsGeneratorSourcesOnly)
    {
        auto extension = manager->getSourceExtensions()[1];
        std::unique_ptr<VideoSource> made(extension->createSource(static_cast<XmlState*>(nullptr)));
        ASSERT_NE(dynamic_cast<GeneratorVideoSource*>(made.get()), nullptr);
        EXPECT_EQ(made->getSourceInfo().name, "Level");
        EXPECT_EQ(made->getSourceInfo().uniqueId, "TestLevel");

        XmlPool pool;
        XmlNode* element = made->writeState(pool, true);
        std::unique_ptr<VideoSource> read(extension->createSourceFromXML(*element));
        ASSERT_NE(read, nullptr);
        EXPECT_EQ(read->getSourceInfo().name, "Level");

        PlainSources plain(GeneratorSources::getCurrent());
        EXPECT_EQ(extension->createSource(static_cast<XmlState*>(nullptr)), nullptr);
    }
}

namespace vx::test
{
    // The built-in registrations offer every catalogue generator as a source.
    class BuiltInGeneratorSourceGLTest : public SourcesGLTest
    {
    protected:
        void SetUp() override
        {
            SourcesGLTest::SetUp();
            ASSERT_FALSE(HasFatalFailure());
            manager = root->getRenderPassManager();
            ASSERT_TRUE(manager->registerInternalRenderPasses());
        }

        RenderPassManager* manager = nullptr;
    };

    TEST_F(BuiltInGeneratorSourceGLTest, SixGeneratorsBecomeSourcesThatSurviveAnXmlRoundTrip)
    {
        const auto extensions = manager->getSourceExtensions();
        std::vector<std::string> names;
        for (const auto& extension : extensions)
            names.push_back(static_cast<VideoSourceExtension&>(*extension).getExtensionName());
        EXPECT_EQ(names, (std::vector<std::string>{"Blank", "CheckerBoard", "Gradient", "Moving Bar", "Solid Color",
                                                   "Test Screen"}));
        EXPECT_EQ(manager->createSource("Blur"), nullptr);
        std::unique_ptr<VideoSource> gradient(manager->createSource("Gradient"));
        ASSERT_NE(dynamic_cast<GeneratorVideoSource*>(gradient.get()), nullptr);
        EXPECT_EQ(gradient->getCreator(), manager);

        // A second registration adds no extension.
        EXPECT_FALSE(manager->registerInternalRenderPasses());
        EXPECT_EQ(manager->getSourceExtensions().size(), 6u);

        for (const auto& extension : extensions)
        {
            const std::string kind = extension->getPassName();
            SCOPED_TRACE(kind);
            std::unique_ptr<VideoSource> source(manager->createSource(kind));
            ASSERT_NE(source, nullptr);
            source->setSize(48, 32);
            // Colours are stored as 8-bit channels: keep the gradient's on that grid.
            if (auto colour = std::dynamic_pointer_cast<ParamColor>(
                    source->getAdditionalParams()->getParamByName("Color 2")))
                colour->setValue(Color(1.0f, 0.4f, 0.0f, 1.0f), ValueChangeInfo());
            XmlPool pool;
            XmlNode* element = source->writeState(pool, true);
            ASSERT_NE(element, nullptr);
            std::unique_ptr<XmlCapable> made(manager->createSourceFromXML(*element));
            auto* again = dynamic_cast<GeneratorVideoSource*>(made.get());
            ASSERT_NE(again, nullptr);

            const Picture first = readOutput(source->render(*renderer, info));
            const Picture second = readOutput(again->render(*renderer, info));
            ASSERT_FALSE(first.pixels.empty());
            EXPECT_EQ(first.pixels, second.pixels);
        }
    }
}
