#include "engine/renderpasses/VXRenderPassManager.h"

#include "VXRenderPassTestSupport.h"
#include "core/VXFile.h"
#include "core/VXStringUtils.h"
#include "core/parameters/VXParamChoice.h"
#include "core/xml/VXXmlStates.h"
#include "core/xml/VXXmlUtils.h"
#include "engine/renderpasses/VXAlphaMixer.h"
#include "engine/renderpasses/VXDryWetEffect.h"
#include "engine/renderpasses/VXFreeTransform.h"
#include "engine/renderpasses/catalogue/VXFormatConversion.h"
#include "engine/renderpasses/catalogue/VXRGBASwitch.h"
#include "support/VXFileSizeLimit.h"
#include "support/VXLogRecorder.h"
#include "support/VXRemountableFolder.h"
#include "support/VXTempDir.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <set>

namespace vx::test
{
    namespace
    {
        RttiObject* makeMixer()
        {
            return new Mixer(2);
        }

        // A current manager (no GL) with framework, mixer, effect and
        // generator kinds, two of them hidden.
        class RenderPassManagerTest : public ::testing::Test
        {
        protected:
            void SetUp() override
            {
                GfxObjectManager::setCurrent(&objects);
                RenderPassManager::setCurrent(&manager);
                registerAll(manager);
            }
            void TearDown() override
            {
                RenderPassManager::clearCurrent(&manager);
                GfxObjectManager::clearCurrent(&objects);
            }

            static void registerAll(RenderPassManager& m)
            {
                m.registerRenderPass<RenderPassChain>(RenderPassCategoryAny, 100, false, false);
                m.registerRenderPass<DryWetEffect>(RenderPassCategoryAny, 100, false, false);
                m.registerRenderPass<AlphaMixer>(RenderPassCategoryMixer, 2, false, false);
                m.registerRenderPass("Add50", "50 Add", &makeMixer, RenderPassCategoryMixer, 2, false, false);
                m.registerRenderPass("Add", "Add", &makeMixer, RenderPassCategoryMixer, 2, false, false);
                m.registerRenderPass<TransformEffect>(RenderPassCategoryEffect, 1, true, false);
                m.registerRenderPass<FreeTransform>(RenderPassCategoryEffect, 1, true, false);
                m.registerRenderPass<FormatConversion>(RenderPassCategoryEffect, 1, false, true);
                m.registerRenderPass<RGBASwitch>(RenderPassCategoryEffect, 1, false, true);
                m.registerRenderPass<AddConstantPass>(RenderPassCategoryEffect, 1, true, false);
                m.registerRenderPass(SolidColourPass::classType(), "Solid", &SolidColourPass::creationFunc,
                                     RenderPassCategoryGenerator, 0, false, false);
            }

            static std::vector<std::string> names(const std::vector<RenderPassManager::InfoPtr>& infos)
            {
                std::vector<std::string> out;
                for (const auto& info : infos)
                    out.push_back(info->getExtensionName());
                return out;
            }

            // A preset of the test effect named name, taken from a pass with
            // that amount (announced, as an application adds one).
            void addPreset(const std::string& name, double amount, const std::string& kind = "TestAddConstant",
                           RenderPassCategory category = RenderPassCategoryAny)
            {
                AddConstantPass pass(amount);
                XmlStates& presets = *manager.getRenderPassInfo(kind, category)->getPresets();
                presets.setXmlCapable(&pass);
                presets.pushState(name, std::string());
                presets.setXmlCapable(nullptr);
            }

            // The amount of m's preset name of that kind, or -1 when it holds
            // no such preset (or more than one).
            static double presetAmount(RenderPassManager& m, const std::string& kind, RenderPassCategory category,
                                       const std::string& name)
            {
                RenderPassInfo* info = m.getRenderPassInfo(kind, category);
                const XmlStates& presets = *info->getPresets();
                int found = 0;
                for (int i = 0; i < presets.getNumStates(); ++i)
                    found += presets.getState(i)->getName() == name ? 1 : 0;
                if (found != 1)
                    return -1.0;
                std::unique_ptr<RenderPass> made(info->createRenderPass(presets.getStateByName(name), false));
                return static_cast<AddConstantPass&>(*made).amount->getValue();
            }

            // "Tint" as a mixer and, registered after it, as an effect.
            static void registerTints(RenderPassManager& m)
            {
                m.registerRenderPass("Tint", "Tint", &AddConstantPass::creationFunc, RenderPassCategoryMixer, 2,
                                     false, false);
                m.registerRenderPass("Tint", "Tint", &AddConstantPass::creationFunc, RenderPassCategoryEffect, 1,
                                     true, false);
            }

            GfxObjectManager objects;
            RenderPassManager manager;
            TempDir folder;
        };

        TEST_F(RenderPassManagerTest, KindsAreSortedFilteredAndFound)
        {
            const std::vector<std::string> all{
                "Add",           "Add50",      "Alpha",           "DryWetEffect",    "FormatConversion",
                "FreeTransform", "RGBASwitch", "RenderPassChain", "TestAddConstant", "TestSolidColour",
                "Transform"};
            EXPECT_EQ(names(manager.getRenderPassInfos(true)), all) << "by bytes: a prefix first, capitals first";
            std::vector<std::string> shown = all;
            std::erase(shown, "FormatConversion");
            std::erase(shown, "RGBASwitch");
            EXPECT_EQ(names(manager.getRenderPassInfos(false)), shown);

            EXPECT_FALSE(manager.registerRenderPass<AlphaMixer>(RenderPassCategoryMixer, 2, false, false));
            EXPECT_EQ(manager.getNumberOfRenderPasses(), int(all.size())) << "a duplicate is refused";
            EXPECT_EQ(manager.getRenderPassInfo(-1), nullptr);
            EXPECT_EQ(manager.getRenderPassInfo(int(all.size())), nullptr);
            EXPECT_EQ(manager.getRenderPassInfoById("Transform"), manager.getRenderPassInfo(10));

            const auto conversion = manager.findSharedPass("FormatConversion");
            ASSERT_NE(conversion, nullptr);
            EXPECT_EQ(conversion, manager.findSharedPass("FormatConversion")) << "the same pass every time";
            EXPECT_EQ(manager.findSharedPass("RGBASwitch")->getClassType(), "RGBASwitch");
            EXPECT_EQ(manager.findSharedPass("Blur"), nullptr);
            XmlPool pool;
            EXPECT_EQ(conversion->writeState(pool, true), nullptr) << "never written";
        }

        TEST_F(RenderPassManagerTest, ChoicesListOneCategoryValuedByIdHash)
        {
            ParamChoice<unsigned long long> choice("Blend Mode");
            choice.addChoice("Stale", 1, true, true);
            manager.populateChoiceWithRenderPassesByCategory(choice, RenderPassCategoryMixer);
            ASSERT_EQ(choice.getNumChoices(), 3u);
            const char* mixers[] = {"Add", "Add50", "Alpha"};
            for (unsigned i = 0; i < 3; ++i)
            {
                EXPECT_EQ(choice.getChoices()[i].getName(), mixers[i]);
                EXPECT_EQ(choice.getChoices()[i].getValue(), hashFromString(mixers[i]));
            }
            manager.populateChoiceWithRenderPassesByCategory(choice, RenderPassCategoryAny);
            ASSERT_EQ(choice.getNumChoices(), 2u) << "category 0 is its own category, not 'any'";
            EXPECT_EQ(choice.getChoices()[0].getName(), "DryWetEffect");
            EXPECT_EQ(choice.getChoices()[1].getName(), "RenderPassChain");
        }

        TEST_F(RenderPassManagerTest, PresetsSaveAsFilesAndLoadBack)
        {
            manager.registerRenderPass("Bright.Con/trast", "Bright", &AddConstantPass::creationFunc,
                                       RenderPassCategoryEffect, 1, true, false);
            addPreset("Warm", 0.25);
            addPreset("Odd", 0.5, "Bright.Con/trast");
            ASSERT_TRUE(manager.savePresets(File(folder.path())));

            const std::string text = folder.readFile("TestAddConstant/Warm.xml");
            const std::string head = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<Preset name=\"Warm\" "
                                     "renderPassId=\"TestAddConstant\" renderPass=\"TestAddConstant\" "
                                     "renderPassCategory=\"1\">";
            EXPECT_EQ(text.substr(0, head.size()), head);
            EXPECT_FALSE(File(folder.file("TestAddConstant/default.xml")).exists());
            EXPECT_TRUE(File(folder.file("BrightContrast/Odd.xml")).exists()) << "the kind's name, stripped";
            ASSERT_TRUE(manager.savePresets(File(folder.path())));
            EXPECT_EQ(folder.readFile("TestAddConstant/Warm.xml"), text) << "saving again writes the same";

            // The snapshot is the one child, exactly.
            const auto document = XmlUtils::loadXmlFromFile(File(folder.file("TestAddConstant/Warm.xml")), true);
            ASSERT_NE(document, nullptr);
            XmlState* warm = manager.getRenderPassInfo("TestAddConstant", RenderPassCategoryAny)
                                 ->getPresets()
                                 ->getStateByName("Warm");
            EXPECT_EQ(XmlUtils::nodeToString(*document->first_node()->first_node()),
                      XmlUtils::nodeToString(*warm->getNode()));
        }

        TEST_F(RenderPassManagerTest, BadPresetFilesAreSkippedAndTheRestLoads)
        {
            addPreset("Good", 0.75);
            ASSERT_TRUE(manager.savePresets(File(folder.path())));
            const std::string good = folder.readFile("TestAddConstant/Good.xml");
            const auto renamed = [&](const std::string& name)
            { return stringReplace(good, "name=\"Good\"", "name=\"" + name + "\""); };
            const std::vector<std::pair<const char*, std::string>> files{
                {"TestAddConstant/Truncated.xml", good.substr(0, good.size() / 2)},
                {"TestAddConstant/NotXml.xml", "no markup here"},
                {"TestAddConstant/Empty.xml", ""},
                {"TestAddConstant/Foreign.xml", "<Other name=\"x\" renderPass=\"TestAddConstant\"><A/></Other>"},
                {"TestAddConstant/NoKind.xml", "<Preset name=\"x\"><RenderPass/></Preset>"},
                {"TestAddConstant/NoName.xml", "<Preset renderPass=\"TestAddConstant\"><RenderPass/></Preset>"},
                {"TestAddConstant/Unknown.xml", "<Preset name=\"x\" renderPass=\"Nope\"><RenderPass/></Preset>"},
                {"TestAddConstant/NoState.xml", "<Preset name=\"x\" renderPass=\"TestAddConstant\"/>"},
                {"TestAddConstant/Default.xml", renamed("default")},
                {"TestAddConstant/Notes.txt", renamed("Txt")},
                {"TestAddConstant/README", renamed("NoExtension")},
                {"TestAddConstant/LICENSE", "Permission is granted to anyone"},
                {"Direct.xml", renamed("Direct")},
                {"Transform/Moved.xml", renamed("Moved")},
                {"TestAddConstant/Short.x", renamed("Short")}};
            for (const auto& [path, text] : files)
                folder.writeFile(path, text);

            RenderPassManager other;
            registerAll(other);
            LogRecorder log;
            EXPECT_EQ(other.loadPresets(File(folder.path())), 4);
            const XmlStates& presets = *other.getRenderPassInfo("TestAddConstant", RenderPassCategoryAny)->getPresets();
            std::unique_ptr<RenderPass> made(other.getRenderPassInfo("TestAddConstant", RenderPassCategoryAny)
                                                 ->createRenderPass(presets.getStateByName("Good"), false));
            EXPECT_DOUBLE_EQ(static_cast<AddConstantPass&>(*made).amount->getValue(), 0.75) << "read back";
            for (const char* bad :
                 {"Truncated", "NotXml", "Empty", "Foreign", "NoKind", "NoName", "Unknown", "NoState"})
                EXPECT_TRUE(log.contains("TestAddConstant/" + std::string(bad) + ".xml'")) << bad << "\n" << log.dump();
            EXPECT_TRUE(log.contains("TestAddConstant/LICENSE'")) << "stray text without an extension\n"
                                                                  << log.dump();
            for (const char* name : {"Moved", "Short", "NoExtension"})
                EXPECT_NE(presets.getStateByName(name), nullptr) << name;
            for (const char* name : {"Txt", "Direct"})
                EXPECT_EQ(presets.getStateByName(name), nullptr) << name;
            EXPECT_EQ(presets.getNumStates(), 5) << "default, Good, Moved, Short, NoExtension";
        }

        TEST_F(RenderPassManagerTest, KindsWhoseNamesStripAlikeKeepTheirOwnFolders)
        {
            for (const char* name : {"Tint.50", "Tint50"})
                manager.registerRenderPass(name, name, &AddConstantPass::creationFunc, RenderPassCategoryEffect, 1,
                                           true, false);
            addPreset("Mine", 0.1, "Tint.50");
            addPreset("Mine", 0.2, "Tint50");
            addPreset("Warm", 0.25);
            ASSERT_TRUE(manager.savePresets(File(folder.path())));
            EXPECT_NE(folder.readFile("Tint50/Mine.xml").find("renderPass=\"Tint50\""), std::string::npos)
                << "the kind whose name needed no stripping keeps its folder";
            EXPECT_NE(folder.readFile("Tint%2E50/Mine.xml").find("renderPass=\"Tint.50\""), std::string::npos);
            EXPECT_TRUE(File(folder.file("TestAddConstant/Warm.xml")).exists()) << "no collision, no change";

            RenderPassManager other;
            registerAll(other);
            for (const char* name : {"Tint.50", "Tint50"})
                other.registerRenderPass(name, name, &AddConstantPass::creationFunc, RenderPassCategoryEffect, 1,
                                         true, false);
            EXPECT_EQ(other.loadPresets(File(folder.path())), 3);
            EXPECT_DOUBLE_EQ(presetAmount(other, "Tint.50", RenderPassCategoryEffect, "Mine"), 0.1);
            EXPECT_DOUBLE_EQ(presetAmount(other, "Tint50", RenderPassCategoryEffect, "Mine"), 0.2);
        }

        TEST_F(RenderPassManagerTest, OneNameInTwoCategoriesKeepsItsPresetsApart)
        {
            registerTints(manager);
            addPreset("Mine", 0.3, "Tint", RenderPassCategoryEffect);
            addPreset("Soft", 0.4, "Tint", RenderPassCategoryEffect);
            addPreset("Mine", 0.6, "Tint", RenderPassCategoryMixer);
            ASSERT_TRUE(manager.savePresets(File(folder.path())));
            EXPECT_TRUE(File(folder.file("Tint (Effect)/Soft.xml")).exists());
            EXPECT_TRUE(File(folder.file("Tint (Mixer)/Mine.xml")).exists());

            RenderPassManager other;
            registerTints(other);
            EXPECT_EQ(other.loadPresets(File(folder.path())), 3);
            EXPECT_DOUBLE_EQ(presetAmount(other, "Tint", RenderPassCategoryEffect, "Mine"), 0.3);
            EXPECT_DOUBLE_EQ(presetAmount(other, "Tint", RenderPassCategoryEffect, "Soft"), 0.4);
            EXPECT_DOUBLE_EQ(presetAmount(other, "Tint", RenderPassCategoryMixer, "Mine"), 0.6);
            EXPECT_EQ(presetAmount(other, "Tint", RenderPassCategoryMixer, "Soft"), -1.0) << "not the mixer's";
        }

        // A file of another kind in this kind's folder (moved there by hand)
        // moves to where its kind writes; where that place is taken, neither
        // file is replaced and the preset takes a numbered file.
        TEST_F(RenderPassManagerTest, AnotherKindsFileIsNeverReplaced)
        {
            const std::string foreign = "<Preset name=\"Mine\" renderPassId=\"Gone\" renderPass=\"Gone\" "
                                        "renderPassCategory=\"1\"><RenderPass type=\"Gone\"/></Preset>";
            folder.writeFile("TestAddConstant/Mine.xml", foreign);
            addPreset("Mine", 0.5);
            addPreset("Kept", 0.5);
            LogRecorder log;
            EXPECT_TRUE(manager.savePresets(File(folder.path()))) << log.dump();
            EXPECT_EQ(folder.readFile("Gone/Mine.xml"), foreign);
            EXPECT_TRUE(log.contains("TestAddConstant/Mine.xml', a preset of \"Gone\", to '")) << log.dump();
            EXPECT_NE(folder.readFile("TestAddConstant/Mine.xml").find("renderPass=\"TestAddConstant\""),
                      std::string::npos);
            EXPECT_TRUE(File(folder.file("TestAddConstant/Kept.xml")).exists());

            // A file the manager wrote and someone replaced since is read again, not taken for its own.
            const std::string replaced = "<Preset name=\"Kept\" renderPassId=\"Gone\" renderPass=\"Gone\" "
                                         "renderPassCategory=\"1\"><RenderPass type=\"Gone\"/></Preset>";
            folder.writeFile("TestAddConstant/Kept.xml", replaced);
            EXPECT_TRUE(manager.savePresets(File(folder.path())));
            EXPECT_EQ(folder.readFile("Gone/Kept.xml"), replaced);

            // Gone's place is taken as well: both stay, and Kept is written
            // beside them all the same.
            folder.writeFile("TestAddConstant/Kept.xml", replaced);
            EXPECT_TRUE(manager.savePresets(File(folder.path()))) << log.dump();
            EXPECT_EQ(folder.readFile("TestAddConstant/Kept.xml"), replaced);
            EXPECT_EQ(folder.readFile("Gone/Kept.xml"), replaced);
            EXPECT_NE(
                folder.readFile("TestAddConstant/Kept 2.xml").find("name=\"Kept\" renderPassId=\"TestAddConstant\""),
                std::string::npos);
        }

        // A tree from when "Tint" the mixer and "Tint" the effect shared one
        // folder and no file said its category.
        TEST_F(RenderPassManagerTest, SharedFoldersFromBeforeLoadAndMoveOut)
        {
            manager.registerRenderPass("Tint", "Tint", &makeMixer, RenderPassCategoryMixer, 2, false, false);
            manager.registerRenderPass("Tint", "Tint", &AddConstantPass::creationFunc, RenderPassCategoryEffect, 1,
                                       true, false);
            const auto legacy = [](const std::string& name, const std::string& type)
            {
                return "<Preset name=\"" + name + "\" renderPassId=\"Tint\" renderPass=\"Tint\"><RenderPass type=\"" +
                       type + "\"/></Preset>";
            };
            folder.writeFile("Tint/Soft.xml", legacy("Soft", AddConstantPass::classType()));
            folder.writeFile("Tint/Hard.xml", legacy("Hard", Mixer::classType()));
            ASSERT_EQ(manager.loadPresets(File(folder.path())), 2);
            RenderPassInfo& effect = *manager.getRenderPassInfo("Tint", RenderPassCategoryEffect);
            RenderPassInfo& mixer = *manager.getRenderPassInfo("Tint", RenderPassCategoryMixer);
            EXPECT_NE(effect.getPresets()->getStateByName("Soft"), nullptr) << "by the snapshot's type";
            EXPECT_NE(mixer.getPresets()->getStateByName("Hard"), nullptr);

            ASSERT_TRUE(manager.savePresets(File(folder.path())));
            EXPECT_TRUE(File(folder.file("Tint (Effect)/Soft.xml")).exists());
            EXPECT_TRUE(File(folder.file("Tint (Mixer)/Hard.xml")).exists());
            EXPECT_FALSE(File(folder.file("Tint/Soft.xml")).exists()) << "moved, so it does not load twice";
            EXPECT_FALSE(File(folder.file("Tint/Hard.xml")).exists());

            RenderPassManager other;
            other.registerRenderPass("Tint", "Tint", &makeMixer, RenderPassCategoryMixer, 2, false, false);
            other.registerRenderPass("Tint", "Tint", &AddConstantPass::creationFunc, RenderPassCategoryEffect, 1,
                                     true, false);
            EXPECT_EQ(other.loadPresets(File(folder.path())), 2);

            // Without the mixer the effect has "Tint" to itself again.
            RenderPassManager effectOnly;
            effectOnly.registerRenderPass("Tint", "Tint", &AddConstantPass::creationFunc, RenderPassCategoryEffect,
                                          1, true, false);
            EXPECT_EQ(effectOnly.loadPresets(File(folder.path())), 1);
            ASSERT_TRUE(effectOnly.savePresets(File(folder.path())));
            EXPECT_TRUE(File(folder.file("Tint/Soft.xml")).exists());
            EXPECT_FALSE(File(folder.file("Tint (Effect)/Soft.xml")).exists());
            EXPECT_TRUE(File(folder.file("Tint (Mixer)/Hard.xml")).exists()) << "another kind's";
            EXPECT_EQ(effectOnly.loadPresets(File(folder.path())), 1) << "one file holds Soft now";
        }

        TEST_F(RenderPassManagerTest, NamesThatLeaveTheFolderAreRefused)
        {
            manager.registerRenderPass("...", "Dots", &AddConstantPass::creationFunc, RenderPassCategoryEffect, 1,
                                       false, false);
            addPreset("Nowhere", 0.1, "...");
            addPreset("../Escape", 0.1);
            addPreset("a/b", 0.1);
            addPreset("Kept", 0.1);
            const std::string presets = folder.makeDirectory("presets");
            LogRecorder log;
            EXPECT_FALSE(manager.savePresets(File(presets)));
            EXPECT_EQ(log.count(logError), 3u) << log.dump();
            EXPECT_TRUE(File(folder.file("presets/TestAddConstant/Kept.xml")).exists());
            EXPECT_FALSE(File(folder.file("presets/Escape.xml")).exists());
            EXPECT_FALSE(File(folder.file("presets/Nowhere.xml")).exists());
        }

        // Names with dots are names: only one that is no single path
        // component is refused.
        TEST_F(RenderPassManagerTest, DottedPresetNamesSurviveARestart)
        {
            addPreset("Fade out...", 0.1);
            addPreset("v2..final", 0.2);
            addPreset("..", 0.3);
            addPreset(".", 0.4);
            LogRecorder log;
            EXPECT_FALSE(manager.savePresets(File(folder.path())));
            EXPECT_EQ(log.count(logError), 2u) << log.dump();
            EXPECT_TRUE(log.contains("refused the preset \"..\"")) << log.dump();

            RenderPassManager restarted;
            registerAll(restarted);
            EXPECT_EQ(restarted.loadPresets(File(folder.path())), 2);
            EXPECT_DOUBLE_EQ(presetAmount(restarted, "TestAddConstant", RenderPassCategoryAny, "Fade out..."), 0.1);
            EXPECT_DOUBLE_EQ(presetAmount(restarted, "TestAddConstant", RenderPassCategoryAny, "v2..final"), 0.2);
        }

        // Out of room half-way through: the save answers false and the
        // preset saved before is still whole, nothing left beside it.
        TEST_F(RenderPassManagerTest, AFullDiskLeavesTheSavedPresetWhole)
        {
            addPreset("Warm", 0.25);
            ASSERT_TRUE(manager.savePresets(File(folder.path())));
            const std::string saved = folder.readFile("TestAddConstant/Warm.xml");
            XmlStates& presets = *manager.getRenderPassInfo("TestAddConstant", RenderPassCategoryAny)->getPresets();
            presets.removeStateByName("Warm", true);
            addPreset("Warm", 0.75);

            LogRecorder log;
            {
                const FileSizeLimit full(64);
                EXPECT_FALSE(manager.savePresets(File(folder.path())));
            }
            EXPECT_TRUE(log.contains("TestAddConstant/Warm.xml'")) << log.dump();
            EXPECT_EQ(folder.readFile("TestAddConstant/Warm.xml"), saved);
            std::vector<File> files;
            File::getFilesInDirectory(File(folder.file("TestAddConstant")), files, true);
            EXPECT_EQ(files.size(), 1u) << "nothing half-written left beside";

            RenderPassManager restarted;
            registerAll(restarted);
            EXPECT_EQ(restarted.loadPresets(File(folder.path())), 1);
            EXPECT_DOUBLE_EQ(presetAmount(restarted, "TestAddConstant", RenderPassCategoryAny, "Warm"), 0.25);

            ASSERT_TRUE(manager.savePresets(File(folder.path()))) << "with room again";
            RenderPassManager later;
            registerAll(later);
            EXPECT_EQ(later.loadPresets(File(folder.path())), 1);
            EXPECT_DOUBLE_EQ(presetAmount(later, "TestAddConstant", RenderPassCategoryAny, "Warm"), 0.75);
        }
        std::set<std::string> presetFilesIn(const TempDir& dir);

        // "Soft" renamed onto "Soft 2", a name another preset's file has: the
        // other keeps "Soft 2.xml", the renamed one takes "Soft 2 2.xml", and
        // when that write fails it never takes "Soft 2.xml" instead.
        TEST_F(RenderPassManagerTest, ARenameOntoAnotherPresetsNameNeverCostsItsFileOnAFailedWrite)
        {
            addPreset("Soft", 0.5);
            addPreset("Soft 2", 0.1);
            ASSERT_TRUE(manager.savePresets(File(folder.path())));
            XmlStates& presets = *manager.getRenderPassInfo("TestAddConstant", RenderPassCategoryAny)->getPresets();
            presets.getStateByName("Soft")->setName("Soft 2");
            // Room for neither (0.5 prints shorter than 0.1).
            TempDir sizes;
            ASSERT_TRUE(manager.savePresets(File(sizes.path())));
            const size_t room = sizes.readFile("TestAddConstant/Soft 2.xml").size();
            ASSERT_GT(sizes.readFile("TestAddConstant/Soft 2 2.xml").size(), room);
            LogRecorder log;
            {
                const FileSizeLimit full(room - 1);
                EXPECT_FALSE(manager.savePresets(File(folder.path())));
            }
            const auto amounts = [&]
            {
                RenderPassManager restarted;
                registerAll(restarted);
                restarted.loadPresets(File(folder.path()));
                RenderPassInfo& info = *restarted.getRenderPassInfo("TestAddConstant", RenderPassCategoryAny);
                std::multiset<double> found;
                for (int i = 0; i < info.getPresets()->getNumStates(); ++i)
                    if (XmlState* state = info.getPresets()->getState(i); state->getName() == "Soft 2")
                    {
                        std::unique_ptr<RenderPass> made(info.createRenderPass(state, false));
                        found.insert(static_cast<AddConstantPass&>(*made).amount->getValue());
                    }
                return found;
            };
            EXPECT_EQ(amounts().count(0.1), 1u) << "the other \"Soft 2\" is gone\n" << log.dump();

            ASSERT_TRUE(manager.savePresets(File(folder.path()))) << "with room again\n" << log.dump();
            EXPECT_EQ(amounts(), (std::multiset<double>{0.1, 0.5}));
            ASSERT_TRUE(manager.savePresets(File(folder.path())));
            EXPECT_EQ(amounts(), (std::multiset<double>{0.1, 0.5}));
            EXPECT_EQ(presetFilesIn(folder).size(), 2u);
        }

        // The live save after one preset changed replaces that preset's file
        // alone; the bytes are those a full save into an empty folder writes.
        TEST_F(RenderPassManagerTest, ASaveReplacesOnlyTheFilesThatChange)
        {
            addPreset("Warm", 0.25);
            addPreset("Cold", 0.5);
            manager.setLivePresetsFile(File(folder.path()));
            addPreset("Soft", 0.75);
            const auto inodeOf = [&](const std::string& path)
            {
                struct stat status;
                return ::stat(folder.file(path).c_str(), &status) == 0 ? status.st_ino : ino_t(0);
            };
            const ino_t warm = inodeOf("TestAddConstant/Warm.xml");
            const ino_t cold = inodeOf("TestAddConstant/Cold.xml");
            ASSERT_NE(warm, ino_t(0));

            // One change: Cold takes new settings (deleting it would remove
            // its file, and a new one might get the freed inode).
            XmlStates& presets = *manager.getRenderPassInfo("TestAddConstant", RenderPassCategoryAny)->getPresets();
            AddConstantPass colder(0.125);
            presets.setXmlCapable(&colder);
            presets.repushState(presets.getStateByName("Cold")->getUniqueId(), std::string());
            presets.setXmlCapable(nullptr);
            EXPECT_EQ(inodeOf("TestAddConstant/Warm.xml"), warm) << "left in place";
            EXPECT_NE(inodeOf("TestAddConstant/Cold.xml"), cold) << "replaced";

            TempDir fresh;
            ASSERT_TRUE(manager.savePresets(File(fresh.path())));
            for (const char* path :
                 {"TestAddConstant/Warm.xml", "TestAddConstant/Cold.xml", "TestAddConstant/Soft.xml"})
                EXPECT_EQ(folder.readFile(path), fresh.readFile(path)) << path;

            // Another program edits Warm's file in place, its size and time
            // kept: the next save writes Warm again, though it did not change.
            std::string edited = folder.readFile("TestAddConstant/Warm.xml");
            ASSERT_NE(edited.find("0.25"), std::string::npos);
            edited.replace(edited.find("0.25"), 4, "0.75");
            ASSERT_TRUE(rewriteInPlaceKeepingTimes(folder.file("TestAddConstant/Warm.xml"), edited));
            ASSERT_TRUE(manager.savePresets(File(folder.path())));
            EXPECT_EQ(folder.readFile("TestAddConstant/Warm.xml"), fresh.readFile("TestAddConstant/Warm.xml"));
        }

        TEST_F(RenderPassManagerTest, LiveFolderIsRewrittenWhenPresetsChange)
        {
            addPreset("First", 0.2);
            manager.setLivePresetsFile(File(folder.path()));
            addPreset("Second", 0.3);
            EXPECT_TRUE(File(folder.file("TestAddConstant/First.xml")).exists()) << "the whole tree";
            EXPECT_TRUE(File(folder.file("TestAddConstant/Second.xml")).exists());
        }

        // The preset files below the test folder, by path relative to it.
        std::set<std::string> presetFilesIn(const TempDir& dir)
        {
            std::set<std::string> paths;
            for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.path()))
                if (entry.is_regular_file())
                    paths.insert(std::filesystem::relative(entry.path(), dir.path()).string());
            return paths;
        }

        // Session after session with a new manager each: a preset deleted or
        // renamed stays so, a file put there by hand stays, and the live
        // folder drops a deleted preset's file at once.
        TEST_F(RenderPassManagerTest, DeletedAndRenamedPresetsStaySoAfterARestart)
        {
            addPreset("Warm", 0.25);
            addPreset("Cold", 0.5);
            addPreset("Soft", 0.75);
            ASSERT_TRUE(manager.savePresets(File(folder.path())));

            {
                RenderPassManager second;
                registerAll(second);
                ASSERT_EQ(second.loadPresets(File(folder.path())), 3);
                XmlStates& presets = *second.getRenderPassInfo("TestAddConstant", RenderPassCategoryAny)->getPresets();
                presets.removeStateByName("Cold", true);
                presets.getStateByName("Soft")->setName("Gentle");
                const std::string byHand = stringReplace(folder.readFile("TestAddConstant/Warm.xml"),
                                                         "name=\"Warm\"", "name=\"ByHand\"");
                folder.writeFile("TestAddConstant/ByHand.xml", byHand);
                LogRecorder log;
                EXPECT_TRUE(second.savePresets(File(folder.path()))) << log.dump();
                EXPECT_EQ(presetFilesIn(folder),
                          (std::set<std::string>{"TestAddConstant/ByHand.xml", "TestAddConstant/Gentle.xml",
                                                 "TestAddConstant/Warm.xml"}));
            }

            RenderPassManager third;
            registerAll(third);
            ASSERT_EQ(third.loadPresets(File(folder.path())), 3);
            EXPECT_DOUBLE_EQ(presetAmount(third, "TestAddConstant", RenderPassCategoryAny, "Warm"), 0.25);
            EXPECT_DOUBLE_EQ(presetAmount(third, "TestAddConstant", RenderPassCategoryAny, "Gentle"), 0.75);
            EXPECT_EQ(presetAmount(third, "TestAddConstant", RenderPassCategoryAny, "Soft"), -1.0);
            EXPECT_EQ(presetAmount(third, "TestAddConstant", RenderPassCategoryAny, "Cold"), -1.0);

            third.setLivePresetsFile(File(folder.path()));
            third.getRenderPassInfo("TestAddConstant", RenderPassCategoryAny)
                ->getPresets()
                ->removeStateByName("Warm", true);
            EXPECT_EQ(presetFilesIn(folder),
                      (std::set<std::string>{"TestAddConstant/ByHand.xml", "TestAddConstant/Gentle.xml"}));
        }

        // A preset renamed to a name no file can have is not written: the
        // file it has is left, so nothing is lost.
        TEST_F(RenderPassManagerTest, APresetRenamedToARefusedNameKeepsItsFile)
        {
            addPreset("Warm", 0.25);
            ASSERT_TRUE(manager.savePresets(File(folder.path())));
            const std::string saved = folder.readFile("TestAddConstant/Warm.xml");
            manager.getRenderPassInfo("TestAddConstant", RenderPassCategoryAny)
                ->getPresets()
                ->getStateByName("Warm")
                ->setName("a/b");
            LogRecorder log;
            EXPECT_FALSE(manager.savePresets(File(folder.path())));
            EXPECT_EQ(presetFilesIn(folder), std::set<std::string>{"TestAddConstant/Warm.xml"});
            EXPECT_EQ(folder.readFile("TestAddConstant/Warm.xml"), saved);
        }

        // A kind absent for a session (a plugin taken away) keeps its presets
        // through that session's saves, and has them again when it is back.
        TEST_F(RenderPassManagerTest, PresetsOfAKindAbsentForASessionComeBackWithIt)
        {
            registerTints(manager);
            addPreset("Mine", 0.3, "Tint", RenderPassCategoryEffect);
            addPreset("Warm", 0.25);
            ASSERT_TRUE(manager.savePresets(File(folder.path())));
            const std::string tintFile = folder.readFile("Tint (Effect)/Mine.xml");
            ASSERT_FALSE(tintFile.empty());

            {
                RenderPassManager without;
                registerAll(without);
                ASSERT_EQ(without.loadPresets(File(folder.path())), 1);
                without.getRenderPassInfo("TestAddConstant", RenderPassCategoryAny)
                    ->getPresets()
                    ->removeStateByName("Warm", true);
                EXPECT_TRUE(without.savePresets(File(folder.path())));
                EXPECT_EQ(presetFilesIn(folder), (std::set<std::string>{"Tint (Effect)/Mine.xml"}));
                EXPECT_EQ(folder.readFile("Tint (Effect)/Mine.xml"), tintFile);
            }

            RenderPassManager back;
            registerAll(back);
            registerTints(back);
            EXPECT_EQ(back.loadPresets(File(folder.path())), 1);
            EXPECT_DOUBLE_EQ(presetAmount(back, "Tint", RenderPassCategoryEffect, "Mine"), 0.3);
        }

        // A kind that had the folder of a name alone ("Add.50" as "Add50")
        // renames its preset while the kind of that name writes its own of
        // the old name there: the renamed one's old copy goes first, so
        // nothing moves aside, and a restart has each preset once.
        TEST_F(RenderPassManagerTest, ARenamedPresetLeavesTheFolderItSharedBeforeTheOtherKindWrites)
        {
            const auto withKinds = [](std::initializer_list<const char*> names)
            {
                auto m = std::make_unique<RenderPassManager>();
                for (const char* name : names)
                    m->registerRenderPass(name, name, &AddConstantPass::creationFunc, RenderPassCategoryEffect, 1,
                                          true, false);
                return m;
            };
            const auto add = [](RenderPassManager& m, const char* kind, const char* name, double amount)
            {
                AddConstantPass pass(amount);
                XmlStates& presets = *m.getRenderPassInfo(kind, RenderPassCategoryEffect)->getPresets();
                presets.setXmlCapable(&pass);
                presets.pushState(name, std::string());
                presets.setXmlCapable(nullptr);
            };
            const File tree(folder.path());
            {
                const auto alone = withKinds({"Add.50"});
                add(*alone, "Add.50", "Wide", 0.25);
                ASSERT_TRUE(alone->savePresets(tree));
                ASSERT_EQ(presetFilesIn(folder), std::set<std::string>{"Add50/Wide.xml"});
            }
            const auto both = withKinds({"Add.50", "Add50"});
            ASSERT_EQ(both->loadPresets(tree), 1);
            both->getRenderPassInfo("Add.50", RenderPassCategoryEffect)
                ->getPresets()
                ->getStateByName("Wide")
                ->setName("Close");
            add(*both, "Add50", "Wide", 0.5);
            LogRecorder log;
            EXPECT_TRUE(both->savePresets(tree)) << log.dump();
            EXPECT_EQ(presetFilesIn(folder), (std::set<std::string>{"Add%2E50/Close.xml", "Add50/Wide.xml"}))
                << log.dump();

            const auto restarted = withKinds({"Add.50", "Add50"});
            EXPECT_EQ(restarted->loadPresets(tree), 2);
            EXPECT_DOUBLE_EQ(presetAmount(*restarted, "Add.50", RenderPassCategoryEffect, "Close"), 0.25);
            EXPECT_EQ(presetAmount(*restarted, "Add.50", RenderPassCategoryEffect, "Wide"), -1.0);
            EXPECT_DOUBLE_EQ(presetAmount(*restarted, "Add50", RenderPassCategoryEffect, "Wide"), 0.5);
        }

        // Amounts by name of the presets of kind "Add.50" in a tree, as a
        // manager with both kinds loads them.
        std::multiset<std::pair<std::string, double>> addDotFiftyPresets(const File& tree)
        {
            RenderPassManager loaded;
            for (const char* name : {"Add.50", "Add50"})
                loaded.registerRenderPass(name, name, &AddConstantPass::creationFunc, RenderPassCategoryEffect, 1,
                                          true, false);
            loaded.loadPresets(tree);
            RenderPassInfo& info = *loaded.getRenderPassInfo("Add.50", RenderPassCategoryEffect);
            std::multiset<std::pair<std::string, double>> found;
            for (int i = 0; i < info.getPresets()->getNumStates(); ++i)
                if (XmlState* state = info.getPresets()->getState(i); state->getName() != "default")
                {
                    std::unique_ptr<RenderPass> made(info.createRenderPass(state, false));
                    found.insert({state->getName(), static_cast<AddConstantPass&>(*made).amount->getValue()});
                }
            return found;
        }

        // "Add50" registered beside "Add.50" moves the latter's folder while
        // its two presets swap names: the first written finds the other's
        // only copy under its new name in the old folder, which stays until
        // that one is written too (here never: the disk is full).
        TEST_F(RenderPassManagerTest, AMovedFolderKeepsEachPresetsOnlyCopyUntilAllAreWritten)
        {
            RenderPassManager m;
            m.registerRenderPass("Add.50", "Add.50", &AddConstantPass::creationFunc, RenderPassCategoryEffect, 1,
                                 true, false);
            XmlStates& presets = *m.getRenderPassInfo("Add.50", RenderPassCategoryEffect)->getPresets();
            for (const auto& [name, amount] : {std::pair{"Wide", 0.5}, std::pair{"Close", 0.125}})
            {
                AddConstantPass pass(amount);
                presets.setXmlCapable(&pass);
                presets.pushState(name, std::string());
                presets.setXmlCapable(nullptr);
            }
            const File tree(folder.path());
            ASSERT_TRUE(m.savePresets(tree));
            ASSERT_EQ(presetFilesIn(folder), (std::set<std::string>{"Add50/Close.xml", "Add50/Wide.xml"}));
            presets.getStateByName("Wide")->setName("Swapping");
            presets.getStateByName("Close")->setName("Wide");
            presets.getStateByName("Swapping")->setName("Close");
            m.registerRenderPass("Add50", "Add50", &AddConstantPass::creationFunc, RenderPassCategoryEffect, 1, true,
                                 false);

            // Room for the first written ("Close" = 0.5), not the second.
            TempDir sizes;
            ASSERT_TRUE(m.savePresets(File(sizes.path())));
            const size_t room = sizes.readFile("Add%2E50/Close.xml").size();
            ASSERT_GT(sizes.readFile("Add%2E50/Wide.xml").size(), room);
            LogRecorder log;
            {
                const FileSizeLimit full(room);
                EXPECT_FALSE(m.savePresets(tree));
            }
            const auto amounts = addDotFiftyPresets(tree);
            EXPECT_EQ(std::count_if(amounts.begin(), amounts.end(), [](const auto& p) { return p.second == 0.125; }),
                      1)
                << "the other preset is gone\n"
                << log.dump();

            ASSERT_TRUE(m.savePresets(tree)) << "with room again\n" << log.dump();
            EXPECT_EQ(presetFilesIn(folder), (std::set<std::string>{"Add%2E50/Close.xml", "Add%2E50/Wide.xml"}));
            EXPECT_EQ(addDotFiftyPresets(tree),
                      (std::multiset<std::pair<std::string, double>>{{"Close", 0.5}, {"Wide", 0.125}}));
        }

        // An unedited duplicate's only copy is the file of the preset it was
        // made from: edited, that preset replaces its file only once the
        // duplicate is written; when that write fails, not at all.
        TEST_F(RenderPassManagerTest, AnEditedPresetKeepsItsFileWhileItHoldsADuplicatesOnlyCopy)
        {
            addPreset("Soft", 0.125);
            const File tree(folder.path());
            ASSERT_TRUE(manager.savePresets(tree));
            XmlStates& presets = *manager.getRenderPassInfo("TestAddConstant", RenderPassCategoryAny)->getPresets();
            const int original = presets.getStateByName("Soft")->getUniqueId();
            addPreset("Soft", 0.125);
            AddConstantPass edited(0.5);
            presets.setXmlCapable(&edited);
            presets.repushState(original, std::string());
            presets.setXmlCapable(nullptr);

            // Room for the edit ("Soft" = 0.5), not the duplicate ("Soft 2").
            TempDir sizes;
            ASSERT_TRUE(manager.savePresets(File(sizes.path())));
            const size_t room = sizes.readFile("TestAddConstant/Soft.xml").size();
            ASSERT_GT(sizes.readFile("TestAddConstant/Soft 2.xml").size(), room);
            LogRecorder log;
            {
                const FileSizeLimit full(room);
                EXPECT_FALSE(manager.savePresets(tree));
            }
            const auto amounts = [&]
            {
                RenderPassManager restarted;
                registerAll(restarted);
                restarted.loadPresets(tree);
                RenderPassInfo& info = *restarted.getRenderPassInfo("TestAddConstant", RenderPassCategoryAny);
                std::multiset<double> found;
                for (int i = 0; i < info.getPresets()->getNumStates(); ++i)
                    if (XmlState* state = info.getPresets()->getState(i); state->getName() == "Soft")
                    {
                        std::unique_ptr<RenderPass> made(info.createRenderPass(state, false));
                        found.insert(static_cast<AddConstantPass&>(*made).amount->getValue());
                    }
                return found;
            };
            EXPECT_EQ(amounts(), std::multiset<double>{0.125}) << log.dump();
            ASSERT_TRUE(manager.savePresets(tree)) << "with room again\n" << log.dump();
            EXPECT_EQ(amounts(), (std::multiset<double>{0.125, 0.5}));
        }

        // An unedited duplicate of a preset renamed since holds the bytes of
        // the original's file, which is still the original's until that is
        // written: a failed save, the duplicate deleted and another failed
        // save leave it.
        TEST_F(RenderPassManagerTest, AnUneditedDuplicateNeverTakesTheRenamedOriginalsFile)
        {
            addPreset("Wide", 0.5);
            const File tree(folder.path());
            ASSERT_TRUE(manager.savePresets(tree));
            const size_t room = folder.readFile("TestAddConstant/Wide.xml").size();
            XmlStates& presets = *manager.getRenderPassInfo("TestAddConstant", RenderPassCategoryAny)->getPresets();
            XmlState* original = presets.getStateByName("Wide");
            addPreset("Wide", 0.5);
            original->setName("Close");
            LogRecorder log;
            for (const bool deleteDuplicate : {false, true})
            {
                if (deleteDuplicate)
                    presets.removeStateByObject(presets.getStateByName("Wide"), true);
                const FileSizeLimit full(room);
                EXPECT_FALSE(manager.savePresets(tree)) << "\"Close\" takes a byte more";
            }
            RenderPassManager restarted;
            registerAll(restarted);
            EXPECT_EQ(restarted.loadPresets(tree), 1) << log.dump();
            ASSERT_TRUE(manager.savePresets(tree)) << log.dump();
            EXPECT_EQ(presetFilesIn(folder), std::set<std::string>{"TestAddConstant/Close.xml"});
        }

        // Two new presets "Soft" while the files "Soft.xml" and "Soft 2.xml"
        // still hold presets renamed since that cannot be written (the disk
        // is full): each new one takes a file numbered on, never the one the
        // other was written to in the same save.
        TEST_F(RenderPassManagerTest, AFileWrittenInASaveIsNeverAnotherPresetsPlaceInIt)
        {
            addPreset("Soft", 0.125);
            addPreset("Soft 2", 0.25);
            const File tree(folder.path());
            ASSERT_TRUE(manager.savePresets(tree));
            XmlStates& presets = *manager.getRenderPassInfo("TestAddConstant", RenderPassCategoryAny)->getPresets();
            presets.getStateByName("Soft")->setName("A name too long for the disk");
            presets.getStateByName("Soft 2")->setName("Another name too long for it");
            addPreset("Soft", 0.5);
            addPreset("Soft", 0.75);

            TempDir sizes;
            ASSERT_TRUE(manager.savePresets(File(sizes.path())));
            size_t room = 0;
            for (const char* name : {"Soft", "Soft 2"})
                room = std::max(room, sizes.readFile(std::string("TestAddConstant/") + name + ".xml").size());
            for (const char* name : {"A name too long for the disk", "Another name too long for it"})
                ASSERT_GT(sizes.readFile(std::string("TestAddConstant/") + name + ".xml").size(), room);
            LogRecorder log;
            {
                const FileSizeLimit full(room);
                EXPECT_FALSE(manager.savePresets(tree));
            }
            RenderPassManager restarted;
            registerAll(restarted);
            restarted.loadPresets(tree);
            RenderPassInfo& info = *restarted.getRenderPassInfo("TestAddConstant", RenderPassCategoryAny);
            std::multiset<double> soft;
            for (int i = 0; i < info.getPresets()->getNumStates(); ++i)
                if (XmlState* state = info.getPresets()->getState(i); state->getName() == "Soft")
                {
                    std::unique_ptr<RenderPass> made(info.createRenderPass(state, false));
                    soft.insert(static_cast<AddConstantPass&>(*made).amount->getValue());
                }
            EXPECT_EQ(soft, (std::multiset<double>{0.125, 0.5, 0.75})) << "the renamed one's old copy and both new\n"
                                                                       << log.dump();
            EXPECT_DOUBLE_EQ(presetAmount(restarted, "TestAddConstant", RenderPassCategoryAny, "Soft 2"), 0.25);
        }

        // Program A renames "v1.0" while program B edits it and saves: B's
        // file is B's copy now, and A's save (true) leaves it.
        TEST_F(RenderPassManagerTest, AFileAnotherProgramRewroteIsNeverRemovedAsAFormerCopy)
        {
            addPreset("v1.0", 0.5);
            const File tree(folder.path());
            ASSERT_TRUE(manager.savePresets(tree));
            RenderPassManager other;
            registerAll(other);
            ASSERT_EQ(other.loadPresets(tree), 1);

            manager.getRenderPassInfo("TestAddConstant", RenderPassCategoryAny)
                ->getPresets()
                ->getStateByName("v1.0")
                ->setName("v10");
            XmlStates& theirs = *other.getRenderPassInfo("TestAddConstant", RenderPassCategoryAny)->getPresets();
            AddConstantPass edited(0.25);
            theirs.setXmlCapable(&edited);
            theirs.repushState(theirs.getStateByName("v1.0")->getUniqueId(), std::string());
            theirs.setXmlCapable(nullptr);
            ASSERT_TRUE(other.savePresets(tree));

            LogRecorder log;
            ASSERT_TRUE(manager.savePresets(tree)) << log.dump();
            RenderPassManager restarted;
            registerAll(restarted);
            restarted.loadPresets(tree);
            EXPECT_DOUBLE_EQ(presetAmount(restarted, "TestAddConstant", RenderPassCategoryAny, "v1.0"), 0.25)
                << log.dump();
            EXPECT_DOUBLE_EQ(presetAmount(restarted, "TestAddConstant", RenderPassCategoryAny, "v10"), 0.5);
        }

        // A folder on a stick unplugged and plugged in again mid-session (or
        // a resume) comes back with every file's bytes and times under other
        // inode numbers: the files are still the copies the manager loaded
        // and wrote, so presets deleted or renamed after it stay so, while a
        // file another program rewrote since is still that program's copy.
        class RenderPassPresetRemountDeathTest : public RenderPassManagerTest
        {
        protected:
            void SetUp() override {}
            void TearDown() override {}

            static void addPresetTo(RenderPassManager& m, const std::string& name, double amount)
            {
                AddConstantPass pass(amount);
                XmlStates& presets = *m.getRenderPassInfo("TestAddConstant", RenderPassCategoryAny)->getPresets();
                presets.setXmlCapable(&pass);
                if (const XmlState* known = presets.getStateByName(name))
                    presets.repushState(known->getUniqueId(), std::string());
                else
                    presets.pushState(name, std::string());
                presets.setXmlCapable(nullptr);
            }

            static std::string deleteAndRenameAfterARemount()
            {
                RemountableFolder stick; // first: the namespaces take a process of one thread
                GfxObjectManager gfx;
                GfxObjectManager::setCurrent(&gfx);
                const std::string failure = [&stick]() -> std::string
                {
                    const File folder(stick.path() + "/");
                    RenderPassManager mine;
                    registerAll(mine);
                    addPresetTo(mine, "Warm", 0.25);
                    addPresetTo(mine, "Cold", 0.5);
                    addPresetTo(mine, "Soft", 0.75);
                    addPresetTo(mine, "Mild", 0.125);
                    if (! mine.savePresets(folder))
                        return "the first save answered false";
                    if (const std::string why = stick.remount(); ! why.empty())
                        return why;
                    {
                        RenderPassManager other;
                        registerAll(other);
                        other.loadPresets(folder);
                        addPresetTo(other, "Mild", 0.375);
                        if (! other.savePresets(folder))
                            return "the other program's save answered false";
                    }

                    XmlStates& presets =
                        *mine.getRenderPassInfo("TestAddConstant", RenderPassCategoryAny)->getPresets();
                    presets.removeStateByName("Cold", true);
                    presets.getStateByName("Soft")->setName("Gentle");
                    presets.removeStateByName("Mild", true);
                    LogRecorder log;
                    if (! mine.savePresets(folder))
                        return "the save after the remount answered false\n" + log.dump();

                    RenderPassManager restarted;
                    registerAll(restarted);
                    restarted.loadPresets(folder);
                    std::string found;
                    for (const char* name : {"Warm", "Cold", "Soft", "Gentle", "Mild"})
                        found +=
                            std::string(" ") + name + "=" +
                            std::to_string(presetAmount(restarted, "TestAddConstant", RenderPassCategoryAny, name));
                    const std::string expected = " Warm=0.250000 Cold=-1.000000 Soft=-1.000000 Gentle=0.750000 "
                                                 "Mild=0.375000";
                    if (found != expected)
                        return "a restart after the folder was mounted again" +
                               (stick.mounted() ? std::string() : " (copied in place: " + stick.whyNotMounted() + ")") +
                               " found" + found + "\n  instead of" + expected + "\n" + log.dump();
                    return {};
                }();
                GfxObjectManager::clearCurrent(&gfx);
                return failure;
            }
        };

        TEST_F(RenderPassPresetRemountDeathTest, PresetsDeletedOrRenamedAfterTheFolderIsMountedAgainStaySo)
        {
            GTEST_FLAG_SET(death_test_style, "threadsafe");
            EXPECT_EXIT(
                {
                    const std::string failure = deleteAndRenameAfterARemount();
                    std::fputs(failure.c_str(), stderr);
                    std::exit(failure.empty() ? 0 : 1);
                },
                ::testing::ExitedWithCode(0), "");
        }

        // Presets of one kind saved under one name (the user saves "Soft"
        // again with other settings): each keeps a file, start after start,
        // and deleting one leaves the others.
        struct SameNameCase
        {
            const char* name;
            const char* presetName;
            std::vector<double> amounts;
        };

        void PrintTo(const SameNameCase& c, std::ostream* out)
        {
            *out << c.name;
        }

        class SameNamedPresetsTest : public RenderPassManagerTest, public ::testing::WithParamInterface<SameNameCase>
        {
        protected:
            // The amounts of every preset of that name of the test kind, sorted.
            static std::vector<double> amountsOf(RenderPassManager& m, const std::string& name)
            {
                RenderPassInfo* info = m.getRenderPassInfo("TestAddConstant", RenderPassCategoryAny);
                const XmlStates& presets = *info->getPresets();
                std::vector<double> amounts;
                for (int i = 0; i < presets.getNumStates(); ++i)
                    if (presets.getState(i)->getName() == name)
                    {
                        std::unique_ptr<RenderPass> made(info->createRenderPass(presets.getState(i), false));
                        amounts.push_back(static_cast<AddConstantPass&>(*made).amount->getValue());
                    }
                std::sort(amounts.begin(), amounts.end());
                return amounts;
            }
        };

        TEST_P(SameNamedPresetsTest, EachComesBackAndGoesAlone)
        {
            const SameNameCase& c = GetParam();
            for (const double amount : c.amounts)
                addPreset(c.presetName, amount);
            addPreset(std::string(c.presetName) + " 2", 0.875);
            ASSERT_TRUE(manager.savePresets(File(folder.path())));
            // Numbered past the name another preset has, each number once.
            std::set<std::string> named{std::string("TestAddConstant/") + c.presetName + ".xml",
                                        std::string("TestAddConstant/") + c.presetName + " 2.xml"};
            for (size_t n = 3; n <= c.amounts.size() + 1; ++n)
                named.insert(std::string("TestAddConstant/") + c.presetName + " " + std::to_string(n) + ".xml");
            EXPECT_EQ(presetFilesIn(folder), named);

            std::vector<double> expected = c.amounts;
            for (int start = 1; start <= 2; ++start)
            {
                RenderPassManager restarted;
                registerAll(restarted);
                EXPECT_EQ(restarted.loadPresets(File(folder.path())), int(expected.size()) + 1) << "start " << start;
                EXPECT_EQ(amountsOf(restarted, c.presetName), expected) << "start " << start;
                EXPECT_EQ(amountsOf(restarted, std::string(c.presetName) + " 2"), std::vector<double>{0.875});

                // The first of the name goes; the others keep their files.
                XmlStates& presets =
                    *restarted.getRenderPassInfo("TestAddConstant", RenderPassCategoryAny)->getPresets();
                XmlState* first = presets.getStateByName(c.presetName);
                std::unique_ptr<RenderPass> made(restarted.getRenderPassInfo("TestAddConstant", RenderPassCategoryAny)
                                                     ->createRenderPass(first, false));
                std::erase(expected, static_cast<AddConstantPass&>(*made).amount->getValue());
                presets.removeStateById(first->getUniqueId(), true);
                LogRecorder log;
                EXPECT_TRUE(restarted.savePresets(File(folder.path()))) << log.dump();
                EXPECT_EQ(presetFilesIn(folder).size(), expected.size() + 1) << "start " << start;
            }
        }

        INSTANTIATE_TEST_SUITE_P(
            Names, SameNamedPresetsTest,
            ::testing::Values(SameNameCase{"Two", "Soft", {0.25, 0.75}},
                              SameNameCase{"ThreeWithDots", "Fade out...", {0.125, 0.25, 0.5}}),
            [](const ::testing::TestParamInfo<SameNameCase>& info) { return std::string(info.param.name); });

        // A kind not registered now (a plugin taken away) saved a preset of
        // the name earlier, in the folder the present kind has alone. Its
        // file stays; the present kind's preset goes where it would with both
        // registered, and each loads back to its own kind.
        struct AbsentKindCase
        {
            const char* name;
            const char* present;
            const char* absent;
            const char* presentFile; // after the present kind's save
            const char* absentFile;
        };

        void PrintTo(const AbsentKindCase& c, std::ostream* out)
        {
            *out << c.name;
        }

        class AbsentKindTest : public RenderPassManagerTest, public ::testing::WithParamInterface<AbsentKindCase>
        {
        protected:
            static void registerKind(RenderPassManager& m, const char* name)
            {
                m.registerRenderPass(name, name, &AddConstantPass::creationFunc, RenderPassCategoryEffect, 1, true,
                                     false);
            }
            static void addPresetTo(RenderPassManager& m, const char* kind, double amount)
            {
                AddConstantPass pass(amount);
                XmlStates& presets = *m.getRenderPassInfo(kind, RenderPassCategoryEffect)->getPresets();
                presets.setXmlCapable(&pass);
                presets.pushState("Mine", std::string());
                presets.setXmlCapable(nullptr);
            }
        };

        TEST_P(AbsentKindTest, PresetIsStoredBesideTheAbsentKindsFile)
        {
            const AbsentKindCase& c = GetParam();
            {
                RenderPassManager earlier;
                registerKind(earlier, c.absent);
                addPresetTo(earlier, c.absent, 0.1);
                ASSERT_TRUE(earlier.savePresets(File(folder.path())));
                ASSERT_TRUE(File(folder.file("Tint50/Mine.xml")).exists()) << "the folder it had alone";
            }
            registerKind(manager, c.present);
            addPresetTo(manager, c.present, 0.2);
            LogRecorder log;
            EXPECT_TRUE(manager.savePresets(File(folder.path()))) << log.dump();
            EXPECT_NE(folder.readFile(c.presentFile).find("renderPass=\"" + std::string(c.present) + "\""),
                      std::string::npos);
            EXPECT_NE(folder.readFile(c.absentFile).find("renderPass=\"" + std::string(c.absent) + "\""),
                      std::string::npos);
            EXPECT_TRUE(manager.savePresets(File(folder.path()))) << "again, the same places\n" << log.dump();

            RenderPassManager alone;
            registerKind(alone, c.present);
            EXPECT_EQ(alone.loadPresets(File(folder.path())), 1);
            EXPECT_DOUBLE_EQ(presetAmount(alone, c.present, RenderPassCategoryEffect, "Mine"), 0.2);

            RenderPassManager both;
            registerKind(both, c.present);
            registerKind(both, c.absent);
            EXPECT_EQ(both.loadPresets(File(folder.path())), 2);
            EXPECT_DOUBLE_EQ(presetAmount(both, c.present, RenderPassCategoryEffect, "Mine"), 0.2);
            EXPECT_DOUBLE_EQ(presetAmount(both, c.absent, RenderPassCategoryEffect, "Mine"), 0.1);
        }

        INSTANTIATE_TEST_SUITE_P(
            Kinds, AbsentKindTest,
            ::testing::Values(
                AbsentKindCase{"PresentNeedsNoStripping", "Tint50", "Tint.50", "Tint50/Mine.xml", "Tint%2E50/Mine.xml"},
                AbsentKindCase{"PresentIsStripped", "Tint.50", "Tint50", "Tint%2E50/Mine.xml", "Tint50/Mine.xml"}),
            [](const ::testing::TestParamInfo<AbsentKindCase>& info) { return std::string(info.param.name); });
    }
}
