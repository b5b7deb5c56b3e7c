#include "core/parameters/VXParamPixels.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>

#include "core/parameters/VXParamTestHelpers.h"
#include "core/parameters/VXPixelsLoader.h"
#include "engine/video/formats/VXPixels.h"
#include "support/VXTempDir.h"

namespace vx::test
{
    namespace
    {
        // Stands in for the video-format manager: each file name answers as
        // scripted (no entry: no reader).
        class ScriptedLoader : public PixelsLoader
        {
        public:
            ScriptedLoader() { setCurrent(this); }
            ~ScriptedLoader() override { clearCurrent(this); }

            LoadResult loadPixels(const File& file, std::shared_ptr<Pixels>& pixels, std::string& codecName) override
            {
                ++calls;
                const auto found = answers.find(file.getFileName());
                if (found == answers.end())
                    return loadNoReader;
                if (found->second == nullptr)
                    return loadNoFrame;
                pixels = found->second;
                codecName = "PNG";
                return loadDone;
            }

            std::map<std::string, std::shared_ptr<Pixels>> answers;
            int calls = 0;
        };

        std::shared_ptr<Pixels> image(int w, int h) { return std::make_shared<Pixels>(w, h, 4, static_cast<const unsigned char*>(nullptr)); }

        int valueCalls(const RecordingParamListener& listener)
        {
            int n = 0;
            for (const auto& call : listener.recorded())
                n += call.isValue ? 1 : 0;
            return n;
        }
    }

    TEST(ParamPixelsTest, SettingDescribesTheSizeAndNotifiesEveryTime)
    {
        ParamPixels param("Mask");
        RecordingParamListener listener;
        param.addListener(listener, false);
        auto picture = image(640, 480);
        param.setValue(picture, ValueChangeInfo());
        EXPECT_EQ(param.getDescription(), "640x480");
        param.setValue(picture, ValueChangeInfo());
        EXPECT_EQ(valueCalls(listener), 2) << "images are not compared";
        param.setValue(picture, ValueChangeInfo(ChangeType_Silent));
        EXPECT_EQ(valueCalls(listener), 2);
        param.setValue(static_cast<Pixels*>(nullptr), ValueChangeInfo());
        EXPECT_EQ(param.getValue(), nullptr);
        EXPECT_EQ(param.getDescription(), "");
        param.removeListener(listener);
    }

    TEST(ParamPixelsTest, ASizedParameterHoldsZeroedPixelsAndNoFile)
    {
        ParamPixels param("Canvas", 3, 2, 4);
        ASSERT_NE(param.getValue(), nullptr);
        EXPECT_EQ(param.getValue()->dataSize, 24);
        for (int i = 0; i < 24; ++i)
            EXPECT_EQ(param.getValue()->data[i], 0);
        EXPECT_EQ(param.getDescription(), "");
        EXPECT_FALSE(param.needsToWriteState());
    }

    TEST(ParamPixelsTest, LoadingRulesThroughTheLoader)
    {
        TempDir dir;
        const File a(dir.writeFile("a.png", "x")), empty(dir.writeFile("empty.png", "x")), other(dir.writeFile("b.gif", "x"));
        ParamPixels param("Mask");

        // Without an engine (no loader) nothing happens.
        EXPECT_FALSE(param.loadFromFile(a, ValueChangeInfo()));

        ScriptedLoader loader;
        loader.answers["a.png"] = image(8, 4);
        loader.answers["empty.png"] = nullptr;
        ASSERT_TRUE(param.loadFromFile(a, ValueChangeInfo()));
        EXPECT_EQ(param.getDescription(), "PNG\n8x4");
        EXPECT_EQ(param.getFile(), a);
        EXPECT_TRUE(param.needsToWriteState());
        const auto first = param.getValue();

        // No reader: nothing changes.
        EXPECT_FALSE(param.loadFromFile(other, ValueChangeInfo()));
        EXPECT_EQ(param.getFile(), a);
        EXPECT_EQ(param.getDescription(), "PNG\n8x4");

        // A reader without a frame: file and description go, the image stays.
        EXPECT_FALSE(param.loadFromFile(empty, ValueChangeInfo()));
        EXPECT_EQ(param.getFile().getFullPath(), "");
        EXPECT_EQ(param.getDescription(), "");
        EXPECT_EQ(param.getValue(), first);
        EXPECT_FALSE(param.needsToWriteState());

        param.clear();
        EXPECT_EQ(param.getValue(), nullptr);
    }

    TEST(ParamPixelsTest, XmlKeepsOnlyTheFileName)
    {
        TempDir dir;
        const File a(dir.writeFile("a.png", "x"));
        ScriptedLoader loader;
        loader.answers["a.png"] = image(2, 2);

        ParamPixels param("Mask");
        EXPECT_EQ(writeToText(param, true), "<ParamPixels name=\"Mask\"/>\n");
        ASSERT_TRUE(param.loadFromFile(a, ValueChangeInfo()));
        const std::string text = writeToText(param, false);
        EXPECT_EQ(text, "<ParamPixels name=\"Mask\" fileName=\"" + a.getFullPath() + "\"/>\n");

        auto document = parseText(text);
        std::unique_ptr<ParamBase> created(ParamPixels::createParamFromXmlNode(document->first_node()));
        auto& copy = dynamic_cast<ParamPixels&>(*created);
        EXPECT_EQ(copy.getName(), "Mask");
        ASSERT_NE(copy.getValue(), nullptr);
        EXPECT_EQ(copy.getValue()->width, 2);
        EXPECT_EQ(copy.getDescription(), "PNG\n2x2");

        // A stored file that no longer loads: no image, no value notification.
        ParamPixels reread("Mask");
        RecordingParamListener listener;
        reread.addListener(listener, false);
        auto missing = parseText("<ParamPixels name=\"Mask\" fileName=\"" + dir.file("gone.png") + "\"/>");
        reread.readState(missing->first_node(), false);
        EXPECT_EQ(reread.getValue(), nullptr);
        EXPECT_EQ(valueCalls(listener), 0);
        EXPECT_EQ(listener.events().back(), "state(4)") << "read is reported";
        reread.removeListener(listener);

        std::unique_ptr<ParamBase> unnamed(ParamPixels::createParamFromXmlNode(nullptr));
        EXPECT_NE(unnamed, nullptr);
    }

    struct HandleCase
    {
        const char* name;
        const char* file;
        bool handled;
    };

    class ParamPixelsHandleTest : public ::testing::TestWithParam<HandleCase>
    {
    };

    TEST_P(ParamPixelsHandleTest, ExtensionOccursInThePatterns)
    {
        EXPECT_EQ(ParamPixels::chanHandleFile(File(GetParam().file)), GetParam().handled);
    }

    INSTANTIATE_TEST_SUITE_P(Files, ParamPixelsHandleTest,
                             ::testing::Values(HandleCase{"UpperJpg", "/p/photo.JPG", true},
                                               HandleCase{"Tif", "/p/photo.tif", true},
                                               HandleCase{"NoExtension", "/p/photo", true},
                                               HandleCase{"PartOfJpeg", "/p/photo.jp", true},
                                               HandleCase{"Gif", "/p/photo.gif", false}),
                             [](const auto& info) { return std::string(info.param.name); });
}
