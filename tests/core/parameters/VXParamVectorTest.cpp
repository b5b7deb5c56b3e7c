#include "core/parameters/VXParamVector.h"

#include "VXParamTestHelpers.h"

#include "core/VXTimeInfo.h"
#include "core/parameters/VXParamStrings.h"

#include <gtest/gtest.h>

namespace vx
{
    using test::RecordingParamListener;

    namespace
    {
        class FillingSource : public ParamVector<float>::UpdateSource
        {
        public:
            bool updateValue(std::vector<float>& value) override
            {
                if (! changes)
                    return false;
                value.assign({0.5f, 0.25f});
                return true;
            }
            bool changes = false;
        };
    }

    TEST(ParamVectorTest, UpdateSourceChangesAreAnnouncedWithTheFrameTime)
    {
        ParamVector<float> spectrum("Spectrum");
        RecordingParamListener listener;
        spectrum.addListener(listener, false);

        EXPECT_FALSE(spectrum.update(TimeInfo(5.0))) << "no source attached";

        FillingSource source;
        spectrum.setUpdateSource(&source);
        EXPECT_FALSE(spectrum.update(TimeInfo(6.0)));
        EXPECT_TRUE(listener.events().empty());

        source.changes = true;
        EXPECT_FALSE(spectrum.update(TimeInfo(7.0)));
        EXPECT_EQ(spectrum.getValue(), (std::vector<float>{0.5f, 0.25f}));
        const auto calls = listener.recorded();
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_TRUE(calls[0].isValue);
        EXPECT_EQ(calls[0].info.time, 7.0);

        spectrum.setUpdateSource(nullptr);
        EXPECT_FALSE(spectrum.update(TimeInfo(8.0)));
        EXPECT_EQ(listener.recorded().size(), 1u);
        spectrum.removeListener(listener);
    }

    TEST(ParamVectorTest, FloatsRoundTripAtFullPrecisionAndReadingAppends)
    {
        ParamVector<float> spectrum("Spectrum");
        EXPECT_EQ(test::writeToText(spectrum, true), "<ParamVector name=\"Spectrum\"/>\n");

        spectrum.getValue() = {0.1f, -2.5f};
        const std::string text = test::writeToText(spectrum, false);
        EXPECT_EQ(text, "<ParamVector name=\"Spectrum\">\n"
                        "\t<Value value=\"0.10000000149011611938\"/>\n"
                        "\t<Value value=\"-2.5\"/>\n"
                        "</ParamVector>\n");

        ParamVector<float> copy("Spectrum");
        RecordingParamListener listener;
        copy.addListener(listener, false);
        auto document = test::parseText(text);
        copy.readStateDerived(*document->first_node());
        EXPECT_EQ(copy.getValue(), spectrum.getValue());
        copy.readStateDerived(*document->first_node());
        EXPECT_EQ(copy.getValue(), (std::vector<float>{0.1f, -2.5f, 0.1f, -2.5f}));
        EXPECT_TRUE(listener.events().empty()) << "reading announces nothing";
        copy.removeListener(listener);
    }

    TEST(ParamVectorTest, UnparsableFloatsAndMissingAttributesAreSkipped)
    {
        ParamVector<float> spectrum("Spectrum");
        auto document = test::parseText(
            R"(<ParamVector name="Spectrum"><Value value="abc"/><Value/><Other value="3"/><Value value="1.5"/></ParamVector>)");
        spectrum.readStateDerived(*document->first_node());
        EXPECT_EQ(spectrum.getValue(), (std::vector<float>{1.5f}));
    }

    TEST(ParamVectorTest, StringsKeepEmptyTextsAndTheirOwnElementName)
    {
        ParamStrings names("Names");
        names.getValue() = {"a b", "", "<&>"};
        const std::string text = test::writeToText(names, false);
        EXPECT_EQ(text, "<ParamStrings name=\"Names\">\n"
                        "\t<Value value=\"a b\"/>\n"
                        "\t<Value value=\"\"/>\n"
                        "\t<Value value=\"&lt;&amp;&gt;\"/>\n"
                        "</ParamStrings>\n");

        ParamStrings copy("Names");
        auto document = test::parseText(text);
        copy.readState(document->first_node(), false);
        EXPECT_EQ(copy.getValue(), names.getValue());
    }
}
