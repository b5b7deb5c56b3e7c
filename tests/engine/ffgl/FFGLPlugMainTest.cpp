// plugMain in-process, for every code that needs no OpenGL.

#include "engine/ffgl/FFGLPlugMain.h"
#include "engine/ffgl/VXFFGLTestEffect.h"
#include "engine/ffgl/VXVexkit.h"

#include "support/VXLogRecorder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>

namespace
{
    using namespace vx;
    using vx::test::FFGLTestEffectLog;

    constexpr FFGL::Word failWord = 0xFFFFFFFFu;

    FFGL::Word call(std::uint32_t code, FFGL::Word input = 0, FFGL::Word instance = 0)
    {
        return plugMain(code, input, instance);
    }

    class FFGLPlugMainTest : public testing::Test
    {
    protected:
        void SetUp() override
        {
            FFGLTestEffectLog::get() = {};
            info.reset(vx::test::makeTestEffectInfo());
        }

        void TearDown() override
        {
            EXPECT_EQ(call(FFGL::deInitialise), 0u);
            info.reset();
            EXPECT_EQ(VXFFGLApp::getInstanceCount(), 0u);
            EXPECT_EQ(Vexkit::getInstanceWithoutCreating(), nullptr) << "the last application deletes the root";
            FFGLTestEffectLog::get() = {};
        }

        std::unique_ptr<CFFGLPluginInfo> info;
    };

    TEST_F(FFGLPlugMainTest, InformationRecordsThroughTheWord)
    {
        const FFGL::Word infoWord = call(FFGL::getInfo);
        ASSERT_NE(infoWord, 0u);
        EXPECT_EQ(infoWord, FFGL::fromPointer(info->GetPluginInfo())) << "the pointer uses the whole word";
        const auto* record = FFGL::toPointer<const PluginInfoStruct>(infoWord);
        EXPECT_EQ(record->APIMajorVersion, 1u);
        EXPECT_EQ(record->APIMinorVersion, 500u);
        EXPECT_EQ(std::memcmp(record->PluginUniqueID, "VXTE", 4), 0);
        EXPECT_EQ(std::memcmp(record->PluginName, "FFGL Test Effect", 16), 0);

        const auto* extended = FFGL::toPointer<const PluginExtendedInfoStruct>(call(FFGL::getExtendedInfo));
        ASSERT_NE(extended, nullptr);
        EXPECT_EQ(extended->PluginMajorVersion, 2u);
        EXPECT_EQ(extended->PluginMinorVersion, 7u);
        EXPECT_STREQ(extended->Description, "Effect of the tests");
        EXPECT_EQ(FFGLTestEffectLog::get().constructed, 0) << "information needs no instance";
    }

    TEST_F(FFGLPlugMainTest, ParameterTableBeforeInitialise)
    {
        EXPECT_EQ(call(FFGL::getNumParameters), 5u) << "asking first makes the prototype";
        EXPECT_EQ(FFGLTestEffectLog::get().constructed, 1);
        EXPECT_EQ(call(FFGL::initialise), 0u);
        EXPECT_EQ(FFGLTestEffectLog::get().constructed, 1) << "initialise keeps the prototype it finds";

        struct Row
        {
            const char* name;
            std::uint32_t type;
            float defaultValue;
        };
        const Row rows[] = {{"Gain", 10, 0.25f},
                            {"Invert", 0, 1.0f},
                            {"Flash", 1, 0.0f},
                            {"Caption", 100, 0.0f},
                            {"Exactly Sixteen!", 10, 0.5f}};
        for (std::uint32_t i = 0; i < 5; ++i)
        {
            SCOPED_TRACE(rows[i].name);
            const auto* name = FFGL::toPointer<const char>(call(FFGL::getParameterName, i));
            ASSERT_NE(name, nullptr);
            EXPECT_EQ(std::string(name, strnlen(name, 16)), rows[i].name);
            EXPECT_EQ(call(FFGL::getParameterType, i), rows[i].type);
            EXPECT_EQ(call(FFGL::getNumParameterElements, i), 1u);
            EXPECT_EQ(call(FFGL::getParameterUsage, i), 0u);
            const FFGL::Word defaultWord = call(FFGL::getParameterDefault, i);
            if (rows[i].type == FFGL::typeText)
            {
                EXPECT_STREQ(FFGL::toPointer<const char>(defaultWord), "hello");
            }
            else
            {
                EXPECT_EQ(defaultWord >> 32, 0u);
                EXPECT_FLOAT_EQ(FFGL::toFloat(defaultWord), rows[i].defaultValue);
            }
        }

        EXPECT_EQ(call(FFGL::getParameterName, 5), 0u);
        EXPECT_EQ(call(FFGL::getParameterDefault, 5), failWord);
        EXPECT_EQ(call(FFGL::getParameterType, 5), failWord);
        EXPECT_EQ(call(FFGL::getNumParameterElements, 99), failWord);
        EXPECT_EQ(call(FFGL::getParameterUsage, 99), failWord);
        EXPECT_EQ(call(FFGL::getPluginShortName), 0u);
    }

    TEST_F(FFGLPlugMainTest, Capabilities)
    {
        EXPECT_EQ(call(FFGL::getPluginCaps, FFGL::capProcessOpenGL), 1u);
        EXPECT_EQ(call(FFGL::getPluginCaps, FFGL::capSetTime), 0u);
        EXPECT_EQ(call(FFGL::getPluginCaps, FFGL::capMinimumInputs), 1u);
        EXPECT_EQ(call(FFGL::getPluginCaps, FFGL::capMaximumInputs), 1u);
        for (const std::uint32_t other : {0u, 1u, 2u, 3u, 6u, 12u, 0xFFFFFFFFu})
            EXPECT_EQ(call(FFGL::getPluginCaps, other), 0u) << "capability " << other;
    }

    TEST_F(FFGLPlugMainTest, FailingFactoryIsTriedAgainLater)
    {
        FFGLTestEffectLog::get().failFactory = true;
        EXPECT_EQ(call(FFGL::initialise), failWord);
        EXPECT_EQ(call(FFGL::getNumParameters), failWord);
        EXPECT_EQ(call(FFGL::getParameterName, 0), 0u);
        EXPECT_EQ(call(FFGL::getParameterDefault, 0), failWord);
        EXPECT_EQ(call(FFGL::getPluginCaps, FFGL::capProcessOpenGL), failWord);
        EXPECT_EQ(call(FFGL::getPluginShortName), 0u);
        const FFGLViewportStructTag viewport{0, 0, 16, 16};
        EXPECT_EQ(call(FFGL::instantiateGL, FFGL::fromPointer(&viewport)), failWord);

        FFGLTestEffectLog::get().failFactory = false;
        EXPECT_EQ(call(FFGL::getNumParameters), 5u);
    }

    TEST_F(FFGLPlugMainTest, WithoutPluginInformationNothingIsMade)
    {
        info.reset();
        EXPECT_EQ(call(FFGL::getInfo), 0u);
        EXPECT_EQ(call(FFGL::getExtendedInfo), 0u);
        EXPECT_EQ(call(FFGL::initialise), failWord);
        EXPECT_EQ(call(FFGL::getNumParameters), failWord);
        const FFGLViewportStructTag viewport{0, 0, 16, 16};
        EXPECT_EQ(call(FFGL::instantiateGL, FFGL::fromPointer(&viewport)), failWord);
        EXPECT_EQ(FFGLTestEffectLog::get().constructed, 0);
    }

    TEST_F(FFGLPlugMainTest, InstantiateWithoutViewportCallsNoFactory)
    {
        EXPECT_EQ(call(FFGL::instantiateGL, 0), failWord);
        EXPECT_EQ(FFGLTestEffectLog::get().constructed, 0);
    }

    TEST_F(FFGLPlugMainTest, DeInitialiseDropsThePrototypeOnlyOnce)
    {
        EXPECT_EQ(call(FFGL::initialise), 0u);
        EXPECT_NE(Vexkit::getInstanceWithoutCreating(), nullptr) << "the prototype starts the engine root";
        EXPECT_EQ(call(FFGL::deInitialise), 0u);
        EXPECT_EQ(FFGLTestEffectLog::get().destroyed, 1);
        EXPECT_EQ(call(FFGL::deInitialise), 0u);
        EXPECT_EQ(FFGLTestEffectLog::get().destroyed, 1);
    }

    // Codes this module does not serve fail with or without an instance word
    // (never dereferenced for them); codes that work on an instance fail
    // without one.
    struct CodeCase
    {
        const char* name;
        std::uint32_t code;
        bool served;
    };

    class FFGLCodeWithoutInstanceTest : public FFGLPlugMainTest, public testing::WithParamInterface<CodeCase>
    {
    };

    TEST_P(FFGLCodeWithoutInstanceTest, AnswersFailAndMakesNothing)
    {
        const CodeCase& c = GetParam();
        const double time = 1.0;
        EXPECT_EQ(call(c.code, FFGL::fromPointer(&time), 0), failWord);
        if (! c.served)
        {
            EXPECT_EQ(call(c.code, 1, 0x1000), failWord);
        }
        EXPECT_EQ(FFGLTestEffectLog::get().constructed, 0);
    }

    INSTANTIATE_TEST_SUITE_P(
        Codes, FFGLCodeWithoutInstanceTest,
        testing::Values(CodeCase{"Code3", 3, false}, CodeCase{"Code11", 11, false}, CodeCase{"Code12", 12, false},
                        CodeCase{"Code14", 14, false}, CodeCase{"Code24", 24, false}, CodeCase{"Code25", 25, false},
                        CodeCase{"Code26", 26, false}, CodeCase{"Code27", 27, false}, CodeCase{"Code28", 28, false},
                        CodeCase{"Code29", 29, false}, CodeCase{"Code30", 30, false}, CodeCase{"Code34", 34, false},
                        CodeCase{"Code35", 35, false}, CodeCase{"Code1000", 1000, false},
                        CodeCase{"CodeMax", 0xFFFFFFFFu, false}, CodeCase{"GetParameterDisplay", 7, true},
                        CodeCase{"SetParameter", 8, true}, CodeCase{"GetParameter", 9, true},
                        CodeCase{"GetInputStatus", 16, true}, CodeCase{"ProcessOpenGL", 17, true},
                        CodeCase{"DeInstantiateGL", 19, true}, CodeCase{"SetTime", 20, true},
                        CodeCase{"Connect", 21, true}, CodeCase{"Disconnect", 22, true}, CodeCase{"Resize", 23, true}),
        [](const testing::TestParamInfo<CodeCase>& info) { return std::string(info.param.name); });
}

namespace
{
    // A plugin straight on the SDK base, whose answers a test scripts and
    // whose calls it records.
    struct ScriptedPlugin : CFreeFrameGLPlugin
    {
        struct Script
        {
            std::uint32_t connectAnswer = FFGL::success;
            std::uint32_t disconnectAnswer = FFGL::success;
            std::uint32_t initAnswer = FFGL::success;
            std::uint32_t setFloatAnswer = FFGL::success;
            std::string calls;
            int alive = 0;
        };
        static Script& script()
        {
            static Script s;
            return s;
        }

        ScriptedPlugin()
        {
            ++script().alive;
            SetMaxInputs(1);
            SetParamInfo(0, "Level", FFGL::typeStandard, 0.5f);
            SetParamInfo(1, "Label", FFGL::typeText, "text");
        }
        ~ScriptedPlugin() override
        {
            script().calls += "~";
            --script().alive;
        }

        std::uint32_t note(const std::string& call, std::uint32_t answer = FFGL::success)
        {
            script().calls += call;
            return answer;
        }
        std::uint32_t InitGL(const FFGLViewportStructTag*) override { return note("I", script().initAnswer); }
        std::uint32_t DeInitGL() override { return note("X"); }
        std::uint32_t SetFloatParameter(std::uint32_t index, float value) override
        {
            return note("F" + std::to_string(index) + "=" + std::to_string(value).substr(0, 3),
                        script().setFloatAnswer);
        }
        std::uint32_t SetTextParameter(std::uint32_t index, const char* text) override
        {
            return note("T" + std::to_string(index) + "=" + text);
        }
        std::uint32_t ProcessOpenGL(ProcessOpenGLStructTag*) override { return note("P"); }
        std::uint32_t Connect() override { return note("C", script().connectAnswer); }
        std::uint32_t Disconnect() override { return note("D", script().disconnectAnswer); }
    };

    std::uint32_t createScriptedPlugin(CFreeFrameGLPlugin** instance)
    {
        *instance = new ScriptedPlugin();
        return FFGL::success;
    }

    class FFGLProtocolTest : public testing::Test
    {
    protected:
        void SetUp() override
        {
            ScriptedPlugin::script() = {};
            info = std::make_unique<CFFGLPluginInfo>(createScriptedPlugin, "SCRP", "Scripted", 1, 500, 1, 0,
                                                     FFGL::pluginEffect, "", "");
        }

        void TearDown() override
        {
            EXPECT_EQ(call(FFGL::deInitialise), 0u);
            info.reset();
            EXPECT_EQ(ScriptedPlugin::script().alive, 0);
        }

        FFGL::Word instantiate()
        {
            ScriptedPlugin::script().calls.clear();
            return call(FFGL::instantiateGL, FFGL::fromPointer(&viewport));
        }

        const std::string& calls() const { return ScriptedPlugin::script().calls; }

        FFGLViewportStructTag viewport{0, 0, 32, 32};
        std::unique_ptr<CFFGLPluginInfo> info;
    };

    TEST_F(FFGLProtocolTest, InstanceStartsFromThePrototypesDefaults)
    {
        const FFGL::Word instance = instantiate();
        ASSERT_NE(instance, failWord);
        EXPECT_EQ(calls(), "F0=0.5T1=textI");
        EXPECT_EQ(call(FFGL::deInstantiateGL, 0, instance), 0u);
    }

    TEST_F(FFGLProtocolTest, RefusedDefaultOrInitEndsTheInstance)
    {
        ScriptedPlugin::script().setFloatAnswer = FFGL::fail;
        EXPECT_EQ(instantiate(), failWord);
        EXPECT_EQ(calls(), "F0=0.5~") << "destroyed before InitGL";

        ScriptedPlugin::script().setFloatAnswer = FFGL::success;
        ScriptedPlugin::script().initAnswer = FFGL::fail;
        EXPECT_EQ(instantiate(), failWord);
        EXPECT_EQ(calls(), "F0=0.5T1=textIX~") << "de-initialised, then destroyed";
        EXPECT_EQ(ScriptedPlugin::script().alive, 1) << "only the prototype is left";
    }

    TEST_F(FFGLProtocolTest, FirstFrameConnectsOnceEvenWhenConnectFails)
    {
        ScriptedPlugin::script().connectAnswer = FFGL::fail;
        const FFGL::Word instance = instantiate();
        ASSERT_NE(instance, failWord);
        ProcessOpenGLStructTag frame{};
        ScriptedPlugin::script().calls.clear();
        EXPECT_EQ(call(FFGL::processOpenGL, FFGL::fromPointer(&frame), instance), 0u);
        EXPECT_EQ(call(FFGL::processOpenGL, FFGL::fromPointer(&frame), instance), 0u);
        EXPECT_EQ(calls(), "CPP");

        ScriptedPlugin::script().calls.clear();
        EXPECT_EQ(call(FFGL::deInstantiateGL, 0, instance), 0u);
        EXPECT_EQ(calls(), "DX~") << "disconnect comes before de-initialising";
    }

    TEST_F(FFGLProtocolTest, ConnectAndDisconnectAnswersDecideTheFlag)
    {
        const FFGL::Word instance = instantiate();
        ASSERT_NE(instance, failWord);
        ScriptedPlugin::script().connectAnswer = 5;
        EXPECT_EQ(call(FFGL::connect, 0, instance), 5u) << "the answer is passed back";
        ScriptedPlugin::script().connectAnswer = FFGL::success;
        EXPECT_EQ(call(FFGL::connect, 0, instance), 0u);
        ScriptedPlugin::script().disconnectAnswer = FFGL::fail;
        EXPECT_EQ(call(FFGL::disconnect, 0, instance), failWord);

        ScriptedPlugin::script().calls.clear();
        ProcessOpenGLStructTag frame{};
        EXPECT_EQ(call(FFGL::processOpenGL, FFGL::fromPointer(&frame), instance), 0u);
        EXPECT_EQ(calls(), "P") << "still connected after the refused disconnect";

        ScriptedPlugin::script().disconnectAnswer = FFGL::success;
        EXPECT_EQ(call(FFGL::disconnect, 0, instance), 0u);
        ScriptedPlugin::script().calls.clear();
        EXPECT_EQ(call(FFGL::deInstantiateGL, 0, instance), 0u);
        EXPECT_EQ(calls(), "X~") << "a disconnected instance is not disconnected again";
    }

    TEST_F(FFGLProtocolTest, ParameterCodesTakeTheTextOrTheFloatRoad)
    {
        const FFGL::Word instance = instantiate();
        ASSERT_NE(instance, failWord);
        ScriptedPlugin::script().calls.clear();
        SetParameterStruct level{0, FFGL::fromFloat(0.25f)};
        SetParameterStruct label{1, FFGL::fromPointer("new")};
        SetParameterStruct unknown{9, FFGL::fromFloat(1.0f)};
        EXPECT_EQ(call(FFGL::setParameter, FFGL::fromPointer(&level), instance), 0u);
        EXPECT_EQ(call(FFGL::setParameter, FFGL::fromPointer(&label), instance), 0u);
        EXPECT_EQ(call(FFGL::setParameter, FFGL::fromPointer(&unknown), instance), 0u);
        EXPECT_EQ(calls(), "F0=0.2T1=newF9=1.0");

        EXPECT_EQ(call(FFGL::getParameter, 0, instance), FFGL::fromFloat(0.0f)) << "base getter";
        EXPECT_EQ(call(FFGL::getParameter, 1, instance), failWord) << "base text getter";
        EXPECT_STREQ(FFGL::toPointer<const char>(call(FFGL::getParameterDisplay, 0, instance)), "0.000000");
        EXPECT_EQ(call(FFGL::getParameterDisplay, 1, instance), 0u);
        EXPECT_EQ(call(FFGL::getInputStatus, 0, instance), 1u);
        EXPECT_EQ(call(FFGL::getInputStatus, 1, instance), failWord);
        const double seconds = 2.0;
        EXPECT_EQ(call(FFGL::setTime, FFGL::fromPointer(&seconds), instance), failWord) << "base SetTime";
        EXPECT_EQ(call(FFGL::deInstantiateGL, 0, instance), 0u);
    }

    TEST_F(FFGLProtocolTest, ExceptionsStayInside)
    {
        struct Throwing : ScriptedPlugin
        {
            std::uint32_t ProcessOpenGL(ProcessOpenGLStructTag*) override { throw std::runtime_error("boom"); }
        };
        Throwing plugin;
        vx::test::LogRecorder log;
        ProcessOpenGLStructTag frame{};
        EXPECT_EQ(call(FFGL::processOpenGL, FFGL::fromPointer(&frame), FFGL::fromPointer(&plugin)), failWord);
        EXPECT_TRUE(log.contains("Escaped from error in")) << log.dump();
        EXPECT_TRUE(log.contains("boom")) << log.dump();
    }
}
