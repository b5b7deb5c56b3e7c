#include "VXSourcesGLTestSupport.h"

#include "core/VXTime.h"
#include "core/parameters/VXParamChoice.h"
#include "core/parameters/VXParamContainer.h"
#include "engine/devices/VXScreenCaptureWrapper.h"
#include "engine/devices/scripted/VXScriptedCoreGraphics.h"
#include "engine/gfx/VXTexture.h"
#include "engine/video/sources/VXScreenCaptureVideoSource.h"

#include <gtest/gtest.h>

namespace vx::test
{
    namespace
    {
        // Top row red at half coverage (straight), the rest opaque blue with
        // x in green.
        uint32_t windowPixel(int x, int y)
        {
            if (y == 0)
                return 0xFF000080u;
            return 0x000000FFu | (uint32_t(x * 10) << 16) | (0xFFu << 8);
        }

        class ScreenCaptureVideoSourceGLTest : public SourcesGLTest
        {
        protected:
            void SetUp() override
            {
                SourcesGLTest::SetUp();
                ASSERT_FALSE(HasFatalFailure());
                graphics = ScriptedCoreGraphics::install();
                graphics->setWindows({windowEntry(3, "Finder", "", 10), windowEntry(7, "Dock", "Dock", 20),
                                      windowEntry(9, "Dock", "", 20), windowEntry(12, "Preview", "photo", 55)});
                graphics->setWindowImage(7, makeImage(6, 4, 32, cg::ImageLayout::straightRGBA, &windowPixel));
                updateTime(10000.0);
            }

            void TearDown() override
            {
                source.reset();
                ScriptedCoreGraphics::uninstall();
                SourcesGLTest::TearDown();
            }

            std::vector<std::string> windowNames()
            {
                std::vector<std::string> names;
                for (unsigned i = 0; i < source->getWindowsParam()->getNumChoices(); ++i)
                    names.push_back(source->getWindowsParam()->getNameOfChoice(i));
                return names;
            }

            std::shared_ptr<ScriptedCoreGraphics> graphics;
            std::unique_ptr<ScreenCaptureVideoSource> source;
            ScreenCaptureSourceExtension extension;
        };

        TEST_F(ScreenCaptureVideoSourceGLTest, WindowsAreListedAndTheFirstDockEntryIsChosen)
        {
            source.reset(dynamic_cast<ScreenCaptureVideoSource*>(extension.createSource(nullptr)));
            ASSERT_NE(source, nullptr);
            EXPECT_EQ(windowNames(), (std::vector<std::string>{"Finder", "Dock - Dock", "Dock", "Preview - photo"}));
            EXPECT_EQ(source->getWindowsParam()->getValue(), 7);
            EXPECT_EQ(source->getGrabber()->getWindowId(), 7);
            EXPECT_EQ(source->getSourceInfo().uniqueId, "SCREEN_CAPTURE_SRC");
            EXPECT_EQ(source->getSettings()->getName(), "Screen Capture Params");

            graphics->setWindows({windowEntry(12, "Preview", "photo", 55)});
            source->refresh();
            EXPECT_EQ(windowNames(), (std::vector<std::string>{"Preview - photo"}));
            source->getWindowsParam()->setValueByIndex(0, ValueChangeInfo());
            EXPECT_EQ(source->getGrabber()->getWindowId(), 12);
        }

        // Made on the first render (the source has no size before a grab),
        // dropped in release, made again after.
        TEST_F(ScreenCaptureVideoSourceGLTest, TheWindowIsRenderedRightWayUpInItsSize)
        {
            source.reset(dynamic_cast<ScreenCaptureVideoSource*>(extension.createSource(nullptr)));
            EXPECT_EQ(source->getGrabTexture(), nullptr);
            TextureRef output = source->render(*renderer, info);
            ASSERT_NE(output.get(), nullptr);
            EXPECT_EQ(source->getWidth(), 6);
            EXPECT_EQ(source->getHeight(), 4);
            // Premultiplied; the window's top row on top (y = 3), as image
            // files show.
            const Picture picture = readOutput(output);
            EXPECT_TRUE(isNear(picture.at(0, 3), PixelRGBA8{128, 0, 0, 128}, 1)) << picture.at(0, 3);
            EXPECT_TRUE(isNear(picture.at(5, 3), PixelRGBA8{128, 0, 0, 128}, 1)) << picture.at(5, 3);
            for (int x = 0; x < 6; ++x)
                EXPECT_TRUE(isNear(picture.at(x, 0), PixelRGBA8{0, uint8_t(x * 10), 255, 255}, 1))
                    << x << ": " << picture.at(x, 0);

            source->release();
            EXPECT_EQ(source->getGrabTexture(), nullptr);
            updateTime(10100.0);
            EXPECT_NE(source->render(*renderer, info).get(), nullptr);
        }

        TEST_F(ScreenCaptureVideoSourceGLTest, AVanishedWindowShowsNothing)
        {
            graphics->setWindowImage(7, nullptr);
            source.reset(dynamic_cast<ScreenCaptureVideoSource*>(extension.createSource(nullptr)));
            EXPECT_EQ(source->render(*renderer, info).get(), nullptr);
        }

        TEST_F(ScreenCaptureVideoSourceGLTest, AStoredSourceIsMadeAgainWithItsWindow)
        {
            ScopedSourceDirectory directory;
            directory.listed.push_back(&extension);
            source.reset(dynamic_cast<ScreenCaptureVideoSource*>(extension.createSource(nullptr)));
            source->getWindowsParam()->setValueByIndex(3, ValueChangeInfo());
            ASSERT_EQ(source->getGrabber()->getWindowId(), 12);

            XmlDocument stored;
            XmlNode* element = source->writeState(stored, true);
            ASSERT_NE(element, nullptr);
            EXPECT_NE(element->first_node("ScreenCaptureSourceInfo"), nullptr);
            source.reset();

            XmlNode* bare = XmlCapable::createNode(stored, "VideoSource");
            EXPECT_EQ(extension.createSourceFromXML(*bare), nullptr);

            source.reset(dynamic_cast<ScreenCaptureVideoSource*>(extension.createSourceFromXML(*element)));
            ASSERT_NE(source, nullptr);
            EXPECT_EQ(source->getGrabber()->getWindowId(), 12);
            graphics->setWindowImage(12, makeImage(3, 2, 12, cg::ImageLayout::straightRGBA,
                                                   [](int, int) { return 0x00FF00FFu; }));
            TextureRef output = source->render(*renderer, info);
            ASSERT_NE(output.get(), nullptr);
            expectUniform(readOutput(output), 3, 2, PixelRGBA8{0, 255, 0, 255}, 1);
        }
    }
}
