#include "engine/ffgl/FFGLPluginManager.h"
#include "engine/ffgl/FreeFrameGLPlugin.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>

namespace
{
    // The table and base operations as a derived plugin sees them.
    class TablePlugin : public CFreeFrameGLPlugin
    {
    public:
        using CFFGLPluginManager::SetBufferParamInfo;
        using CFFGLPluginManager::SetMaxInputs;
        using CFFGLPluginManager::SetMinInputs;
        using CFFGLPluginManager::SetOptionParamInfo;
        using CFFGLPluginManager::SetParamInfo;

        float floatValue = 0.5f;
        float GetFloatParameter(std::uint32_t) override { return floatValue; }
    };

    float defaultFloat(const CFFGLPluginManager& table, std::uint32_t index)
    {
        return FFGL::toFloat(table.GetParamDefault(index));
    }

    TEST(FFGLPluginManagerTest, EntriesAreFoundByTheirIndexNotTheirPosition)
    {
        TablePlugin table;
        table.SetParamInfo(5, "Five", FFGL::typeStandard, 0.5f);
        table.SetParamInfo(2, "Two", FFGL::typeBoolean, true);
        EXPECT_EQ(table.GetNumParams(), 2u);
        EXPECT_STREQ(table.GetParamName(2), "Two");
        EXPECT_STREQ(table.GetParamName(5), "Five");
        EXPECT_EQ(table.GetParamName(0), nullptr);
        EXPECT_EQ(table.GetParamType(1), FFGL::fail);
        EXPECT_EQ(table.GetNumParamElements(1), FFGL::fail);
        EXPECT_EQ(table.GetParamUsage(1), FFGL::fail);
        EXPECT_TRUE(FFGL::isFail(table.GetParamDefault(1)));
    }

    TEST(FFGLPluginManagerTest, DefaultsByKind)
    {
        TablePlugin table;
        table.SetParamInfo(0, "High", FFGL::typeStandard, 3.0f);
        table.SetParamInfo(1, "Low", FFGL::typeStandard, -0.5f);
        table.SetParamInfo(2, "NaN", FFGL::typeStandard, std::numeric_limits<float>::quiet_NaN());
        table.SetParamInfo(3, "On", FFGL::typeBoolean, true);
        table.SetParamInfo(4, "Off", FFGL::typeBoolean, false);
        table.SetOptionParamInfo(5, "Mode", 4, 2);
        table.SetBufferParamInfo(6, "Samples", 512, 3);

        EXPECT_EQ(defaultFloat(table, 0), 1.0f);
        EXPECT_EQ(defaultFloat(table, 1), 0.0f);
        EXPECT_EQ(defaultFloat(table, 2), 0.0f);
        EXPECT_EQ(defaultFloat(table, 3), 1.0f);
        EXPECT_EQ(defaultFloat(table, 4), 0.0f);
        EXPECT_EQ(table.GetParamType(5), static_cast<std::uint32_t>(FFGL::typeOption));
        EXPECT_EQ(table.GetNumParamElements(5), 4u);
        EXPECT_EQ(defaultFloat(table, 5), 2.0f);
        EXPECT_EQ(table.GetParamType(6), static_cast<std::uint32_t>(FFGL::typeBuffer));
        EXPECT_EQ(table.GetNumParamElements(6), 512u);
        EXPECT_EQ(table.GetParamUsage(6), 3u);
        EXPECT_EQ(table.GetNumParamElements(0), 1u);
        EXPECT_EQ(table.GetParamUsage(0), 0u);
        EXPECT_EQ(table.GetParamDefault(0) >> 32, 0u) << "float bits sit in the low 32 bits";
    }

    TEST(FFGLPluginManagerTest, TextDefaultIsAnOwnedCopy)
    {
        TablePlugin table;
        std::string text = "caption";
        table.SetParamInfo(0, "Text", FFGL::typeText, text.c_str());
        text = "changed";
        const auto* stored = FFGL::toPointer<const char>(table.GetParamDefault(0));
        ASSERT_NE(stored, nullptr);
        EXPECT_STREQ(stored, "caption");
        EXPECT_NE(stored, text.c_str());

        table.SetParamInfo(1, "Empty", FFGL::typeText, static_cast<const char*>(nullptr));
        EXPECT_STREQ(table.GetParamDefaultText(1), "");
    }

    TEST(FFGLPluginManagerTest, NamesAreSixteenBytesWithoutTerminatorWhenFull)
    {
        TablePlugin table;
        table.SetParamInfo(0, "Exactly Sixteen!", FFGL::typeStandard, 0.0f);
        table.SetParamInfo(1, "Much longer than sixteen", FFGL::typeStandard, 0.0f);
        table.SetParamInfo(2, "Size", FFGL::typeStandard, 0.0f);
        EXPECT_EQ(std::memcmp(table.GetParamName(0), "Exactly Sixteen!", 16), 0);
        EXPECT_EQ(std::memcmp(table.GetParamName(1), "Much longer than", 16), 0);
        const char* size = table.GetParamName(2);
        EXPECT_EQ(std::memcmp(size, "Size\0\0\0\0\0\0\0\0\0\0\0\0", 16), 0);
    }

    TEST(FFGLPluginManagerTest, BaseOperationsOfAnInstance)
    {
        TablePlugin plugin;
        plugin.SetMaxInputs(2);
        plugin.SetParamInfo(0, "Value", FFGL::typeStandard, 0.5f);
        plugin.SetParamInfo(1, "Text", FFGL::typeText, "abc");

        EXPECT_EQ(plugin.GetInputStatus(0), 1u);
        EXPECT_EQ(plugin.GetInputStatus(1), 1u);
        EXPECT_EQ(plugin.GetInputStatus(2), FFGL::fail);
        EXPECT_EQ(plugin.ProcessOpenGL(nullptr), FFGL::fail);

        EXPECT_EQ(plugin.GetParameterDisplay(0), nullptr) << "no self pointer yet";
        plugin.SetSelf(&plugin);
        ASSERT_NE(plugin.GetParameterDisplay(0), nullptr);
        EXPECT_STREQ(plugin.GetParameterDisplay(0), "0.500000");
        EXPECT_EQ(plugin.GetParameterDisplay(1), nullptr) << "the base text getter fails";
        EXPECT_EQ(plugin.GetParameterDisplay(7), nullptr);

        plugin.floatValue = -3.0e38f;
        EXPECT_STREQ(plugin.GetParameterDisplay(0), "-300000000549775575777803994281145270272.000000")
            << "large values fit the buffer";
    }
}
