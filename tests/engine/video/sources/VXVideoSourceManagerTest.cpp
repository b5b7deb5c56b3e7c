#include "engine/video/sources/VXVideoSourceManager.h"

#include "VXCaptureSourcesTestSupport.h"
#include "VXSourcesTestSupport.h"
#include "engine/network/VXFakeDNSService.h"
#include "engine/renderpasses/VXRenderPassTestSupport.h"

#include "core/VXFile.h"
#include "core/parameters/VXParamChoice.h"
#include "core/parameters/VXParamContainer.h"
#include "core/xml/VXXmlStates.h"
#include "core/xml/VXXmlUtils.h"
#include "engine/devices/VXCaptureDevice.h"
#include "engine/devices/VXCaptureDeviceInstanceManager.h"
#include "engine/renderpasses/VXRenderPassManager.h"
#include "engine/video/sources/VXCaptureDeviceVideoSource.h"
#include "engine/video/sources/VXGeneratorSourceExtension.h"
#include "engine/video/sources/VXScreenCaptureVideoSource.h"
#include "engine/video/sources/VXVideoFormatReaderSourceExtension.h"
#include "engine/video/sources/VXVideoSourceDataDriver.h"
#include "support/VXFileSizeLimit.h"
#include "support/VXLogRecorder.h"
#include "support/VXRemountableFolder.h"
#include "support/VXTempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sys/stat.h>
#include <thread>
#include <tuple>

namespace vx::test
{
    namespace
    {
        class VideoSourceManagerTest : public ::testing::Test
        {
        protected:
            void SetUp() override
            {
                NetworkVideoServerManager::deleteInstance();
                manager = std::make_unique<VideoSourceManager>();
                SourceDirectory::setCurrent(manager.get());
            }

            void TearDown() override
            {
                SourceDirectory::clearCurrent(manager.get());
                manager.reset();
                NetworkVideoServerManager::deleteInstance();
            }

            std::vector<std::string> listedIds(bool includeAll)
            {
                std::vector<std::string> ids;
                for (const auto& extension : manager->getSources(includeAll))
                    ids.push_back(extension->getExtensionUniqueId());
                return ids;
            }

            // <Preset name=...><VideoSource note=.../></Preset> into extension
            // (no note attribute when note is empty).
            void addPreset(VideoSourceExtension& extension, const std::string& name, const std::string& note = "")
            {
                XmlDocument document;
                XmlNode* preset = XmlCapable::createNode(document, "Preset");
                preset->append_attribute(createAttribute(document, "name", name));
                XmlNode* source = XmlCapable::createNode(document, "VideoSource");
                if (! note.empty())
                    source->append_attribute(createAttribute(document, "note", note));
                preset->append_node(source);
                ASSERT_GE(extension.loadPreset(preset), 0);
            }

            // Each preset as "name:note", sorted.
            static std::vector<std::string> presetNotes(VideoSourceExtension& extension)
            {
                std::vector<std::string> notes;
                auto presets = extension.getPresets();
                for (int i = 0; i < presets->getNumStates(); ++i)
                {
                    const XmlState* state = presets->getState(i);
                    notes.push_back(state->getName() + ":" +
                                    readAttribute(state->getNode()->first_attribute("note"), std::string()));
                }
                std::sort(notes.begin(), notes.end());
                return notes;
            }

            // Every file below folder, by path relative to it, with its bytes.
            static std::map<std::string, std::string> filesBelow(const std::string& folder)
            {
                std::map<std::string, std::string> files;
                for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
                    if (entry.is_regular_file())
                    {
                        std::ifstream in(entry.path(), std::ios::binary);
                        files[std::filesystem::relative(entry.path(), folder).string()] =
                            std::string(std::istreambuf_iterator<char>(in), {});
                    }
                return files;
            }

            // A new manager in place of the old, as after a restart.
            void restart()
            {
                SourceDirectory::clearCurrent(manager.get());
                manager.reset();
                manager = std::make_unique<VideoSourceManager>();
                SourceDirectory::setCurrent(manager.get());
            }

            PlainExtension* registerPlain(const std::string& name, const std::string& id)
            {
                auto* extension = new PlainExtension(name, id, false);
                manager->registerSource(extension);
                return extension;
            }

            std::vector<std::string> presetNames(VideoSourceExtension& extension)
            {
                std::vector<std::string> names;
                auto presets = extension.getPresets();
                for (int i = 0; i < presets->getNumStates(); ++i)
                    names.push_back(presets->getState(i)->getName());
                return names;
            }

            FakeDNSService dns;
            std::unique_ptr<VideoSourceManager> manager;
        };

        TEST_F(VideoSourceManagerTest, StartsTheDataDriverAndBrowsesForServers)
        {
            EXPECT_TRUE(manager->getDataDriver().isThreadRunning());
            EXPECT_EQ(manager->getDataDriver().getThreadName(), "DataDriver");
            const auto browses = dns.callsOf("browse");
            ASSERT_EQ(browses.size(), 1u);
            EXPECT_EQ(browses[0].type, "_quarlite_server._udp");
        }

        // Capture devices with an input, generators, the registered kinds and
        // screen capture last; hidden kinds only when all are asked for.
        TEST_F(VideoSourceManagerTest, SourcesAreListedInOrderWithHiddenOnesOnRequest)
        {
            CaptureDevices devices;
            ASSERT_NE(devices.sim, nullptr);
            devices.cameras->addDevice(cameraSpec("Cam", "cam"));
            DeckLinkSimCard outputOnly = inputCard();
            outputOnly.inputConnections = 0;
            outputOnly.outputConnections = 1;
            devices.sim->addCard(outputOnly);

            RenderPassManager passes;
            RenderPassManager::setCurrent(&passes);
            passes.registerRenderPass(SolidColourPass::classType(), "Blue", &SolidColourPass::creationFunc,
                                      RenderPassCategoryGenerator, 0, false, false);
            const std::string generatorId = passes.getSourceExtensions().at(0)->getExtensionUniqueId();

            manager->registerSource(new PlainExtension("shown", false));
            manager->registerSource(new PlainExtension("hidden", true));

            EXPECT_EQ(listedIds(true),
                      (std::vector<std::string>{"cam", generatorId, "shown", "hidden", "SCREEN_CAPTURE_SRC"}));
            EXPECT_EQ(listedIds(false), (std::vector<std::string>{"cam", generatorId, "shown", "SCREEN_CAPTURE_SRC"}))
                << "the output-only card is never listed";

            EXPECT_NE(manager->getSourceExtension("VIDEO_FORMAT_READER_SRC"), nullptr)
                << "the file-reader extension is found though not listed";
            EXPECT_EQ(manager->getSourceExtension("hidden")->getExtensionUniqueId(), "hidden");
            EXPECT_EQ(manager->getSourceExtension("nobody"), nullptr);
            RenderPassManager::clearCurrent(&passes);
        }

        TEST_F(VideoSourceManagerTest, WithoutTheRootsManagersOnlyOwnKindsAreListed)
        {
            ASSERT_EQ(CaptureDeviceManager::getCurrent(), nullptr);
            ASSERT_EQ(RenderPassManager::getCurrent(), nullptr);
            EXPECT_EQ(listedIds(true), (std::vector<std::string>{"SCREEN_CAPTURE_SRC"}));
        }

        TEST_F(VideoSourceManagerTest, SourcesComeBackFromXmlThroughTheirFactories)
        {
            CaptureDevices devices;
            manager->registerSourceFactory(*devices.manager);
            devices.cameras->addDevice(cameraSpec("Cam", "cam"));

            // A capture source with its device's parameters.
            std::unique_ptr<VideoSource> capture(devices.manager->createSource("cam"));
            ASSERT_NE(capture, nullptr);
            auto connection =
                std::dynamic_pointer_cast<ParamChoice<int>>(capture->getSettings()->getParamByName("Connection"));
            connection->setValue(1, ValueChangeInfo());
            XmlDocument document;
            XmlNode* stored = capture->writeState(document, true);
            capture.reset();
            ASSERT_EQ(instanceManager.getNumDevices(), 0);

            std::unique_ptr<VideoSource> restored(manager->createVideoSourceFromXML(*stored));
            auto* source = dynamic_cast<CaptureDeviceVideoSource*>(restored.get());
            ASSERT_NE(source, nullptr);
            ASSERT_NE(source->getDevice(), nullptr);
            EXPECT_EQ(source->getDevice()->getUniqueId(), "cam");
            EXPECT_EQ(std::dynamic_pointer_cast<ParamChoice<int>>(
                          source->getSettings()->getParamByName("Connection"))->getValue(),
                      1);
            restored.reset();

            // Screen capture, whose factory is asked after the others.
            auto* screenExtension = manager->getSourceExtension("SCREEN_CAPTURE_SRC");
            ASSERT_NE(screenExtension, nullptr);
            std::unique_ptr<VideoSource> screen(screenExtension->createSource(static_cast<XmlState*>(nullptr)));
            stored = screen->writeState(document, true);
            ASSERT_NE(stored->first_node("ScreenCaptureSourceInfo"), nullptr);
            restored.reset(manager->createVideoSourceFromXML(*stored));
            EXPECT_NE(dynamic_cast<ScreenCaptureVideoSource*>(restored.get()), nullptr);

            XmlNode* unknown = XmlCapable::createNode(document, "VideoSource");
            EXPECT_EQ(manager->createVideoSourceFromXML(*unknown), nullptr);
        }

        TEST_F(VideoSourceManagerTest, ANullReaderMakesNoSource)
        {
            LogRecorder log;
            EXPECT_EQ(manager->createSource(static_cast<VideoFormatReader*>(nullptr)), nullptr);
            EXPECT_TRUE(log.contains(
                "ERROR: Escaped from error in createSource(437): You cannot create a source with no reader."))
                << log.dump();
        }

        TEST_F(VideoSourceManagerTest, PresetsAreSavedReplacedAndLoadedBack)
        {
            auto* extension = new PlainExtension("kind", false);
            manager->registerSource(extension);
            addPreset(*extension, "default");
            addPreset(*extension, "Warm");
            addPreset(*extension, "../../Escape");
            addPreset(*extension, "a/b");

            TempDir temp;
            const File folder(temp.path() + "/");
            EXPECT_TRUE(manager->savePresets(folder));
            EXPECT_TRUE(manager->savePresets(folder));
            const std::string sub = temp.path() + "/Plain kind/";
            EXPECT_TRUE(File::doesFileExist(sub + "Warm.xml"));
            EXPECT_FALSE(File::doesFileExist(sub + "default.xml")) << "the default preset is never saved";
            EXPECT_TRUE(File::doesFileExist(sub + "Escape.xml")) << "path characters are stripped";
            EXPECT_TRUE(File::doesFileExist(sub + "ab.xml"));
            EXPECT_FALSE(File::doesFileExist(temp.path() + "/../Escape.xml"));

            auto saved = XmlUtils::loadXmlFromFile(File(sub + "Warm.xml"), true);
            ASSERT_NE(saved, nullptr);
            const XmlNode* preset = saved->first_node();
            ASSERT_NE(preset, nullptr);
            EXPECT_EQ(std::string(preset->name()), "Preset");
            EXPECT_EQ(readAttribute(preset->first_attribute("sourceId"), std::string()), "kind");
            EXPECT_EQ(readAttribute(preset->first_attribute("source"), std::string()), "Plain kind");
            EXPECT_EQ(preset->next_sibling(), nullptr) << "saving again replaced the file";

            // Files that are not presets of a known kind are skipped.
            temp.writeFile("Other/notes.txt", "<Preset name=\"x\" sourceId=\"kind\"><VideoSource/></Preset>");
            temp.writeFile("Other/broken.xml", "<Preset name=");
            temp.writeFile("Other/thing.xml", "<Thing name=\"x\" sourceId=\"kind\"><VideoSource/></Thing>");
            temp.writeFile("Other/unknown.xml", "<Preset name=\"y\" sourceId=\"nobody\"><VideoSource/></Preset>");
            temp.writeFile("Other/default.xml", "<Preset name=\"default\" sourceId=\"kind\"><VideoSource/></Preset>");
            temp.writeFile("Other/Cold.XML", "<Preset name=\"Cold\" sourceId=\"kind\"><VideoSource/></Preset>");

            auto* fresh = new PlainExtension("kind", false);
            manager->clearSources();
            manager->registerSource(fresh);
            manager->loadPresets(folder);
            std::vector<std::string> names = presetNames(*fresh);
            std::sort(names.begin(), names.end());
            EXPECT_EQ(names, (std::vector<std::string>{"../../Escape", "Cold", "Warm", "a/b"}));
        }

        // Names that read the same without the characters invalid in paths:
        // presets of one extension, two devices of one model (one name, two
        // ids), two servers (one id, two names). Each keeps its own file and
        // comes back to its own extension.
        TEST_F(VideoSourceManagerTest, PresetsWhoseNamesStripAlikeKeepApart)
        {
            auto* take = new PlainExtension("Takes", "takes", false);
            auto* deviceA = new PlainExtension("Cam Model", "cam-A", false);
            auto* deviceB = new PlainExtension("Cam Model", "cam-B", false);
            auto* serverA = new PlainExtension("192.168.1.12", "NET", false);
            auto* serverB = new PlainExtension("192.168.11.2", "NET", false);
            for (VideoSourceExtension* extension : {take, deviceA, deviceB, serverA, serverB})
                manager->registerSource(extension);
            addPreset(*take, "Take 1.0");
            addPreset(*take, "Take 10");
            for (VideoSourceExtension* extension : {deviceA, deviceB, serverA, serverB})
                addPreset(*extension, "P " + extension->getExtensionName() + " " + extension->getExtensionUniqueId());

            TempDir temp;
            const File folder(temp.path() + "/");
            ASSERT_TRUE(manager->savePresets(folder));
            EXPECT_TRUE(File::doesFileExist(temp.file("Takes/Take 10.xml")));
            EXPECT_TRUE(File::doesFileExist(temp.file("Takes/Take 1%2E0.xml")));
            EXPECT_TRUE(File::doesFileExist(temp.file("Cam Model (cam-A)/P Cam Model cam-A.xml")));
            EXPECT_TRUE(File::doesFileExist(temp.file("192%2E168%2E1%2E12/P 192168112 NET.xml")));

            manager->clearSources();
            std::vector<PlainExtension*> fresh;
            for (const auto& [name, id] : std::vector<std::pair<std::string, std::string>>{{"Takes", "takes"},
                                                                                           {"Cam Model", "cam-A"},
                                                                                           {"Cam Model", "cam-B"},
                                                                                           {"192.168.1.12", "NET"},
                                                                                           {"192.168.11.2", "NET"}})
            {
                fresh.push_back(new PlainExtension(name, id, false));
                manager->registerSource(fresh.back());
            }
            manager->loadPresets(folder);
            std::vector<std::string> takes = presetNames(*fresh[0]);
            std::sort(takes.begin(), takes.end());
            EXPECT_EQ(takes, (std::vector<std::string>{"Take 1.0", "Take 10"}));
            for (size_t i = 1; i < fresh.size(); ++i)
                EXPECT_EQ(presetNames(*fresh[i]), (std::vector<std::string>{"P " + fresh[i]->getExtensionName() + " " +
                                                                            fresh[i]->getExtensionUniqueId()}));
        }

        // Folders and files saved before names were told apart: one that is
        // still the extension's own place loads and is written again; a copy
        // left where two shared a folder moves out; a file of another
        // source's is never replaced, and the save answers false.
        TEST_F(VideoSourceManagerTest, EarlierPresetFilesLoadMoveOrStay)
        {
            TempDir temp;
            const File folder(temp.path() + "/");
            temp.writeFile("Takes/Take 10.xml",
                           "<Preset name=\"Take 1.0\" sourceId=\"takes\" source=\"Takes\"><VideoSource/></Preset>");
            temp.writeFile("192168112/Q.xml",
                           "<Preset name=\"Q\" sourceId=\"NET\" source=\"192.168.1.12\"><VideoSource/></Preset>");
            temp.writeFile("Cam/Warm.xml",
                           "<Preset name=\"Warm\" sourceId=\"gone\" source=\"Cam\"><VideoSource/></Preset>");

            auto* take = new PlainExtension("Takes", "takes", false);
            auto* serverA = new PlainExtension("192.168.1.12", "NET", false);
            auto* serverB = new PlainExtension("192.168.11.2", "NET", false);
            auto* cam = new PlainExtension("Cam", "cam", false);
            for (VideoSourceExtension* extension : {take, serverA, serverB, cam})
                manager->registerSource(extension);
            manager->loadPresets(folder);
            EXPECT_EQ(presetNames(*take), (std::vector<std::string>{"Take 1.0"}));
            EXPECT_EQ(presetNames(*serverA), (std::vector<std::string>{"Q"}));
            EXPECT_TRUE(presetNames(*serverB).empty());
            addPreset(*take, "Take 10");
            addPreset(*cam, "Warm");

            LogRecorder log;
            EXPECT_TRUE(manager->savePresets(folder)) << log.dump();
            const auto kept = XmlUtils::loadXmlFromFile(File(temp.file("Cam/Warm.xml")), true);
            ASSERT_NE(kept, nullptr);
            EXPECT_EQ(readAttribute(kept->first_node()->first_attribute("sourceId"), std::string()), "gone");
            EXPECT_TRUE(File::doesFileExist(temp.file("Cam (cam)/Warm.xml"))) << "where it goes beside \"gone\"";
            EXPECT_TRUE(File::doesFileExist(temp.file("Takes/Take 1%2E0.xml")));
            EXPECT_TRUE(File::doesFileExist(temp.file("192%2E168%2E1%2E12/Q.xml")));
            EXPECT_FALSE(File::doesFileExist(temp.file("192168112/Q.xml"))) << "moved, not loaded twice";
            auto takeFile = XmlUtils::loadXmlFromFile(File(temp.file("Takes/Take 10.xml")), true);
            ASSERT_NE(takeFile, nullptr);
            EXPECT_EQ(readAttribute(takeFile->first_node()->first_attribute("name"), std::string()), "Take 10");

            // A write that fails leaves the file it would have replaced (a
            // save writes only what changed: the preset changes first).
            const std::string take10 = temp.readFile("Takes/Take 10.xml");
            take->getPresets()->removeStateByName("Take 10", true);
            addPreset(*take, "Take 10", "changed");
            {
                const FileSizeLimit full(64);
                EXPECT_FALSE(manager->savePresets(folder));
            }
            EXPECT_EQ(temp.readFile("Takes/Take 10.xml"), take10);

            // A folder that cannot be made: nothing is written, and it says so.
            temp.writeFile("blocked", "a file");
            EXPECT_FALSE(manager->savePresets(File(temp.file("blocked") + "/")));
        }

        // A preset file that cannot be read (a pipe under a preset's name)
        // neither stalls the load nor passes unsaid; the others load.
        TEST_F(VideoSourceManagerTest, AnUnreadablePresetFileIsToldAndTheOthersLoad)
        {
            TempDir temp;
            temp.writeFile("Cam/Warm.xml", "<Preset name=\"Warm\" sourceId=\"cam\" source=\"Cam\"><VideoSource/></Preset>");
            ASSERT_EQ(::mkfifo(temp.file("Cam/Stray.xml").c_str(), 0600), 0);
            auto* cam = new PlainExtension("Cam", "cam", false);
            manager->registerSource(cam);
            LogRecorder log;
            manager->loadPresets(File(temp.path() + "/"));
            EXPECT_EQ(presetNames(*cam), (std::vector<std::string>{"Warm"}));
            EXPECT_TRUE(log.contains("ERROR: loadXmlFromFile: Failed to open file '" + temp.file("Cam/Stray.xml") + "'."))
                << log.dump();
        }

        // Out of room half-way through: the save answers false and the
        // preset saved before is still whole, nothing left beside it.
        TEST_F(VideoSourceManagerTest, AFullDiskLeavesTheSavedPresetWhole)
        {
            TempDir temp;
            const File folder(temp.path() + "/");
            PlainExtension* before = registerPlain("Deck", "deck");
            addPreset(*before, "Warm");
            ASSERT_TRUE(manager->savePresets(folder));
            const std::string saved = temp.readFile("Deck/Warm.xml");
            ASSERT_FALSE(saved.empty());
            // Changed, so the save has it to write.
            before->getPresets()->removeStateByName("Warm", true);
            addPreset(*before, "Warm", "changed");

            LogRecorder log;
            {
                const FileSizeLimit full(64);
                EXPECT_FALSE(manager->savePresets(folder));
            }
            EXPECT_TRUE(log.contains("Deck/Warm.xml'")) << log.dump();
            EXPECT_EQ(temp.readFile("Deck/Warm.xml"), saved);
            std::vector<File> files;
            File::getFilesInDirectory(File(temp.file("Deck")), files, true);
            EXPECT_EQ(files.size(), 1u) << "nothing half-written left beside";

            restart();
            PlainExtension* deck = registerPlain("Deck", "deck");
            manager->loadPresets(folder);
            EXPECT_EQ(presetNames(*deck), (std::vector<std::string>{"Warm"}));
        }

        // "Camera 2.0" had the folder "Camera 20" alone; with "Camera 20"
        // present, its presets move out before "Camera 20" writes there, so
        // nothing is moved aside and each preset comes back once.
        TEST_F(VideoSourceManagerTest, APresetLeavesTheFolderItHadAloneBeforeTheOtherSourceWrites)
        {
            TempDir temp;
            const File folder(temp.path() + "/");
            addPreset(*registerPlain("Camera 2.0", "cam-a"), "v1.0", "a");
            ASSERT_TRUE(manager->savePresets(folder));
            ASSERT_TRUE(File::doesFileExist(temp.file("Camera 20/v10.xml")));

            restart();
            PlainExtension* dotted = registerPlain("Camera 2.0", "cam-a");
            PlainExtension* plain = registerPlain("Camera 20", "cam-b");
            manager->loadPresets(folder);
            addPreset(*plain, "v:10", "b");
            LogRecorder log;
            EXPECT_TRUE(manager->savePresets(folder)) << log.dump();
            std::vector<std::string> paths;
            for (const auto& entry : filesBelow(temp.path()))
                paths.push_back(entry.first);
            EXPECT_EQ(paths, (std::vector<std::string>{"Camera 2%2E0/v10.xml", "Camera 20/v10.xml"})) << log.dump();

            restart();
            dotted = registerPlain("Camera 2.0", "cam-a");
            plain = registerPlain("Camera 20", "cam-b");
            manager->loadPresets(folder);
            EXPECT_EQ(presetNotes(*dotted), (std::vector<std::string>{"v1.0:a"}));
            EXPECT_EQ(presetNotes(*plain), (std::vector<std::string>{"v:10:b"}));
        }

        // An extension not present now (an offline server, an unplugged
        // camera of the same model) saved a preset of the name earlier, in
        // the folder the present one has alone. Its file stays; the present
        // one's preset goes where it would with both present, and each
        // loads back to its own extension.
        struct AbsentSourceCase
        {
            const char* name;
            const char* presentName;
            const char* presentId;
            const char* absentName;
            const char* absentId;
            const char* presentFile; // after the present extension's save
            const char* absentFile;
        };

        void PrintTo(const AbsentSourceCase& c, std::ostream* out)
        {
            *out << c.name;
        }

        class AbsentSourceTest : public VideoSourceManagerTest, public ::testing::WithParamInterface<AbsentSourceCase>
        {
        };

        TEST_P(AbsentSourceTest, PresetIsStoredBesideTheAbsentSourcesFile)
        {
            const AbsentSourceCase& c = GetParam();
            TempDir temp;
            const File folder(temp.path() + "/");
            addPreset(*registerPlain(c.absentName, c.absentId), "P");
            ASSERT_TRUE(manager->savePresets(folder));

            restart();
            addPreset(*registerPlain(c.presentName, c.presentId), "P");
            LogRecorder log;
            EXPECT_TRUE(manager->savePresets(folder)) << log.dump();
            EXPECT_TRUE(manager->savePresets(folder)) << "again, the same places\n" << log.dump();
            for (const auto& [file, id, name] : {std::tuple{c.presentFile, c.presentId, c.presentName},
                                                 std::tuple{c.absentFile, c.absentId, c.absentName}})
            {
                const auto document = XmlUtils::loadXmlFromFile(File(temp.file(file)), true);
                ASSERT_NE(document, nullptr) << file;
                EXPECT_EQ(readAttribute(document->first_node()->first_attribute("sourceId"), std::string()), id);
                EXPECT_EQ(readAttribute(document->first_node()->first_attribute("source"), std::string()), name);
            }

            restart();
            PlainExtension* present = registerPlain(c.presentName, c.presentId);
            PlainExtension* absent = registerPlain(c.absentName, c.absentId);
            manager->loadPresets(folder);
            EXPECT_EQ(presetNames(*present), (std::vector<std::string>{"P"}));
            EXPECT_EQ(presetNames(*absent), (std::vector<std::string>{"P"}));
        }

        INSTANTIATE_TEST_SUITE_P(
            Sources, AbsentSourceTest,
            ::testing::Values(AbsentSourceCase{"OfflineServer", "192.168.11.2", "NET", "192.168.1.12", "NET",
                                               "192%2E168%2E11%2E2/P.xml", "192168112/P.xml"},
                              AbsentSourceCase{"UnpluggedCameraOfTheSameModel", "Cam Model", "cam-B", "Cam Model",
                                               "cam-A", "Cam Model (cam-B)/P.xml", "Cam Model/P.xml"},
                              AbsentSourceCase{"AbsentNameIsStripped", "Add50", "add-b", "Add.50", "add-a",
                                               "Add50/P.xml", "Add%2E50/P.xml"}),
            [](const ::testing::TestParamInfo<AbsentSourceCase>& info) { return std::string(info.param.name); });

        // Names up to the file system's 255 bytes with ".xml": the file
        // written beside first must not need more.
        class LongPresetNameTest : public VideoSourceManagerTest, public ::testing::WithParamInterface<int>
        {
        };

        TEST_P(LongPresetNameTest, SavesAndLoadsBack)
        {
            const std::string name(size_t(GetParam()), 'n');
            TempDir temp;
            const File folder(temp.path() + "/");
            addPreset(*registerPlain("Deck", "deck"), name);
            LogRecorder log;
            EXPECT_TRUE(manager->savePresets(folder)) << log.dump();
            EXPECT_TRUE(File::doesFileExist(temp.file("Deck/" + name + ".xml")));

            restart();
            PlainExtension* deck = registerPlain("Deck", "deck");
            manager->loadPresets(folder);
            EXPECT_EQ(presetNames(*deck), (std::vector<std::string>{name}));
        }

        INSTANTIATE_TEST_SUITE_P(Bytes, LongPresetNameTest, ::testing::Values(245, 248, 251),
                                 [](const ::testing::TestParamInfo<int>& info)
                                 { return std::to_string(info.param) + "Bytes"; });

        // Presets of one source that share a name holding a character file
        // names leave out: each keeps a file of its own, start after start.
        struct SameNameCase
        {
            const char* name;
            const char* presetName;
            int count;
        };

        void PrintTo(const SameNameCase& c, std::ostream* out)
        {
            *out << c.name;
        }

        class SameNamedPresetsTest : public VideoSourceManagerTest, public ::testing::WithParamInterface<SameNameCase>
        {
        };

        TEST_P(SameNamedPresetsTest, EachComesBack)
        {
            const SameNameCase& c = GetParam();
            TempDir temp;
            const File folder(temp.path() + "/");
            PlainExtension* deck = registerPlain("Deck", "deck");
            std::vector<std::string> expected;
            for (int i = 0; i < c.count; ++i)
            {
                addPreset(*deck, c.presetName, "n" + std::to_string(i));
                expected.push_back(std::string(c.presetName) + ":n" + std::to_string(i));
            }
            for (int start = 1; start <= 2; ++start)
            {
                LogRecorder log;
                EXPECT_TRUE(manager->savePresets(folder)) << log.dump();
                EXPECT_EQ(filesBelow(temp.path()).size(), size_t(c.count)) << "start " << start;
                restart();
                deck = registerPlain("Deck", "deck");
                manager->loadPresets(folder);
                EXPECT_EQ(presetNotes(*deck), expected) << "start " << start;
            }
        }

        INSTANTIATE_TEST_SUITE_P(Names, SameNamedPresetsTest,
                                 ::testing::Values(SameNameCase{"TwoWithADot", "Zoom 1.5", 2},
                                                   SameNameCase{"ThreeWithADot", "v1.0", 3},
                                                   SameNameCase{"TwoWithAColon", "Cam:A", 2},
                                                   SameNameCase{"TwoWithAComma", "Soft, warm", 2}),
                                 [](const ::testing::TestParamInfo<SameNameCase>& info)
                                 { return std::string(info.param.name); });

        // "Zoom 1.5" stored alone in "Zoom 15.xml", and a new "Zoom 15": the
        // new file of "Zoom 1.5" is written first, and when that write fails
        // (disk full) its only copy in "Zoom 15.xml" is never replaced by
        // "Zoom 15". Once there is room, both are written.
        TEST_F(VideoSourceManagerTest, AFailedWriteNeverCostsAnotherPresetItsOnlyCopy)
        {
            TempDir temp;
            const File folder(temp.path() + "/");
            addPreset(*registerPlain("Deck", "deck"), "Zoom 1.5", "old");
            ASSERT_TRUE(manager->savePresets(folder));
            ASSERT_TRUE(File::doesFileExist(temp.file("Deck/Zoom 15.xml")));

            restart();
            PlainExtension* deck = registerPlain("Deck", "deck");
            manager->loadPresets(folder);
            addPreset(*deck, "Zoom 15", "n");
            // Room for "Zoom 15" (the shorter file), not for "Zoom 1.5".
            TempDir sizes;
            ASSERT_TRUE(manager->savePresets(File(sizes.path() + "/")));
            const size_t room = sizes.readFile("Deck/Zoom 15.xml").size();
            ASSERT_GT(sizes.readFile("Deck/Zoom 1%2E5.xml").size(), room);
            LogRecorder log;
            {
                const FileSizeLimit full(room);
                EXPECT_FALSE(manager->savePresets(folder)) << log.dump();
            }

            {
                VideoSourceManager after;
                auto* stored = new PlainExtension("Deck", "deck", false);
                after.registerSource(stored);
                after.loadPresets(folder);
                const std::vector<std::string> notes = presetNotes(*stored);
                EXPECT_NE(std::find(notes.begin(), notes.end(), "Zoom 1.5:old"), notes.end())
                    << "the only copy of \"Zoom 1.5\" was replaced\n"
                    << log.dump();
            }

            EXPECT_TRUE(manager->savePresets(folder)) << "with room again";
            restart();
            deck = registerPlain("Deck", "deck");
            manager->loadPresets(folder);
            EXPECT_EQ(presetNotes(*deck), (std::vector<std::string>{"Zoom 1.5:old", "Zoom 15:n"}));
        }

        // An unedited duplicate of a preset renamed since holds the bytes of
        // the original's file, which is still the original's until that is
        // written: a failed save, the duplicate deleted and another failed
        // save leave it.
        TEST_F(VideoSourceManagerTest, AnUneditedDuplicateNeverTakesTheRenamedOriginalsFile)
        {
            TempDir temp;
            const File folder(temp.path() + "/");
            PlainExtension* deck = registerPlain("Deck", "deck");
            addPreset(*deck, "Wide", "n");
            ASSERT_TRUE(manager->savePresets(folder));
            const size_t room = temp.readFile("Deck/Wide.xml").size();
            XmlStates& presets = *deck->getPresets();
            XmlState* original = presets.getStateByName("Wide");
            addPreset(*deck, "Wide", "n");
            original->setName("Close");
            LogRecorder log;
            for (const bool deleteDuplicate : {false, true})
            {
                if (deleteDuplicate)
                    presets.removeStateByObject(presets.getStateByName("Wide"), true);
                const FileSizeLimit full(room);
                EXPECT_FALSE(manager->savePresets(folder)) << "\"Close\" takes a byte more";
            }
            {
                VideoSourceManager after;
                auto* reader = new PlainExtension("Deck", "deck", false);
                after.registerSource(reader);
                after.loadPresets(folder);
                EXPECT_EQ(presetNotes(*reader), std::vector<std::string>{"Wide:n"}) << log.dump();
            }
            ASSERT_TRUE(manager->savePresets(folder)) << log.dump();
            EXPECT_EQ(filesBelow(temp.path()).count("Deck/Close.xml"), 1u);
            EXPECT_EQ(filesBelow(temp.path()).size(), 1u);
        }

        // Two new presets "Soft" while the files "Soft.xml" and "Soft 2.xml"
        // still hold presets renamed since that cannot be written (the disk
        // is full): each new one takes a file numbered on, never the one the
        // other was written to in the same save.
        TEST_F(VideoSourceManagerTest, AFileWrittenInASaveIsNeverAnotherPresetsPlaceInIt)
        {
            TempDir temp;
            const File folder(temp.path() + "/");
            PlainExtension* deck = registerPlain("Deck", "deck");
            addPreset(*deck, "Soft", "1");
            addPreset(*deck, "Soft 2", "2");
            ASSERT_TRUE(manager->savePresets(folder));
            XmlStates& presets = *deck->getPresets();
            presets.getStateByName("Soft")->setName("A name too long for the disk");
            presets.getStateByName("Soft 2")->setName("Another name too long for it");
            addPreset(*deck, "Soft", "3");
            addPreset(*deck, "Soft", "4");

            TempDir sizes;
            ASSERT_TRUE(manager->savePresets(File(sizes.path() + "/")));
            size_t room = 0;
            for (const char* name : {"Soft", "Soft 2"})
                room = std::max(room, sizes.readFile(std::string("Deck/") + name + ".xml").size());
            for (const char* name : {"A name too long for the disk", "Another name too long for it"})
                ASSERT_GT(sizes.readFile(std::string("Deck/") + name + ".xml").size(), room);
            LogRecorder log;
            {
                const FileSizeLimit full(room);
                EXPECT_FALSE(manager->savePresets(folder));
            }
            VideoSourceManager after;
            auto* reader = new PlainExtension("Deck", "deck", false);
            after.registerSource(reader);
            after.loadPresets(folder);
            const std::vector<std::string> notes = presetNotes(*reader);
            for (const char* expected : {"Soft 2:2", "Soft:1", "Soft:3", "Soft:4"})
                EXPECT_NE(std::find(notes.begin(), notes.end(), expected), notes.end()) << expected << "\n"
                                                                                        << log.dump();
        }

        // Two presets of one source swap names: each file holds the other's
        // old copy until that one is written. A save that runs out of room
        // loses neither; with room, each ends in the file of its new name.
        TEST_F(VideoSourceManagerTest, TwoPresetsSwappingNamesKeepBothThroughAFailedWrite)
        {
            TempDir temp;
            const File folder(temp.path() + "/");
            PlainExtension* deck = registerPlain("Deck", "deck");
            addPreset(*deck, "Wide", "first");
            addPreset(*deck, "Close", "second");
            ASSERT_TRUE(manager->savePresets(folder));
            const size_t room = temp.readFile("Deck/Wide.xml").size();
            XmlStates& presets = *deck->getPresets();
            presets.getStateByName("Wide")->setName("Swapping");
            presets.getStateByName("Close")->setName("Wide");
            presets.getStateByName("Swapping")->setName("Close");
            const auto stored = [&]
            {
                VideoSourceManager after;
                auto* reader = new PlainExtension("Deck", "deck", false);
                after.registerSource(reader);
                after.loadPresets(folder);
                std::vector<std::string> notes = presetNotes(*reader);
                std::sort(notes.begin(), notes.end());
                return notes;
            };
            LogRecorder log;
            {
                const FileSizeLimit full(room);
                manager->savePresets(folder);
            }
            const std::vector<std::string> notes = stored();
            for (const char* note : {"first", "second"})
                EXPECT_EQ(std::count_if(notes.begin(), notes.end(),
                                        [&](const std::string& text) { return text.ends_with(note); }),
                          1)
                    << note << "\n"
                    << log.dump();

            for (int save = 0; save < 2; ++save)
                ASSERT_TRUE(manager->savePresets(folder)) << log.dump();
            EXPECT_EQ(stored(), (std::vector<std::string>{"Close:first", "Wide:second"}));
            std::set<std::string> files;
            for (const auto& entry : filesBelow(temp.path()))
                files.insert(entry.first);
            EXPECT_EQ(files, (std::set<std::string>{"Deck/Close.xml", "Deck/Wide.xml"}));
        }

        // Two programs over one folder, both started with "Zoom 1.5" in
        // "Zoom 15.xml": A adds "Zoom 15" and saves, then B (which knows only
        // "Zoom 1.5") saves. B's save neither replaces A's "Zoom 15" nor
        // removes A's copy of "Zoom 1.5" as a former one of its own.
        TEST_F(VideoSourceManagerTest, TwoProgramsOverOneFolderKeepEachOthersPresets)
        {
            TempDir temp;
            const File folder(temp.path() + "/");
            addPreset(*registerPlain("Deck", "deck"), "Zoom 1.5", "old");
            ASSERT_TRUE(manager->savePresets(folder));

            restart();
            PlainExtension* deckA = registerPlain("Deck", "deck");
            manager->loadPresets(folder);
            VideoSourceManager programB;
            auto* deckB = new PlainExtension("Deck", "deck", false);
            programB.registerSource(deckB);
            programB.loadPresets(folder);
            ASSERT_EQ(presetNotes(*deckB), std::vector<std::string>{"Zoom 1.5:old"});

            addPreset(*deckA, "Zoom 15", "a");
            LogRecorder log;
            EXPECT_TRUE(manager->savePresets(folder)) << log.dump();
            EXPECT_TRUE(programB.savePresets(folder)) << log.dump();
            for (int start = 1; start <= 2; ++start)
            {
                restart();
                PlainExtension* deck = registerPlain("Deck", "deck");
                manager->loadPresets(folder);
                EXPECT_EQ(presetNotes(*deck), (std::vector<std::string>{"Zoom 1.5:old", "Zoom 15:a"}))
                    << "start " << start << "\n"
                    << log.dump();
                // Each program saves again: it settles, nothing is lost.
                EXPECT_TRUE(programB.savePresets(folder)) << log.dump();
                EXPECT_TRUE(manager->savePresets(folder)) << log.dump();
            }
            EXPECT_EQ(filesBelow(temp.path()).size(), 2u);
        }

        // A preset file outside its source's folder (moved there by hand, or
        // without a "source" name) moves into the folder once, and loads
        // once at every start.
        TEST_F(VideoSourceManagerTest, APresetFileElsewhereMovesOnce)
        {
            TempDir temp;
            const File folder(temp.path() + "/");
            temp.writeFile("Elsewhere/Warm.xml",
                           "<Preset name=\"Warm\" sourceId=\"deck\"><VideoSource note=\"w\"/></Preset>");
            temp.writeFile(
                "Other/Cold.xml",
                "<Preset name=\"Cold\" sourceId=\"deck\" source=\"Deck\"><VideoSource note=\"c\"/></Preset>");
            for (int start = 1; start <= 3; ++start)
            {
                restart();
                PlainExtension* deck = registerPlain("Deck", "deck");
                manager->loadPresets(folder);
                EXPECT_EQ(presetNotes(*deck), (std::vector<std::string>{"Cold:c", "Warm:w"})) << "start " << start;
                EXPECT_TRUE(manager->savePresets(folder));
                std::vector<std::string> paths;
                for (const auto& entry : filesBelow(temp.path()))
                    paths.push_back(entry.first);
                EXPECT_EQ(paths, (std::vector<std::string>{"Deck/Cold.xml", "Deck/Warm.xml"})) << "start " << start;
            }
        }

        // A save after one preset changed replaces that preset's file alone;
        // the bytes are those a full save into an empty folder writes.
        TEST_F(VideoSourceManagerTest, ASaveReplacesOnlyTheFilesThatChange)
        {
            TempDir temp;
            TempDir fresh;
            PlainExtension* deck = registerPlain("Deck", "deck");
            for (const char* name : {"Warm", "Cold", "v1.0"})
                addPreset(*deck, name, "first");
            ASSERT_TRUE(manager->savePresets(File(temp.path() + "/")));
            const auto inodes = [&]
            {
                std::map<std::string, ino_t> numbers;
                for (const auto& entry : filesBelow(temp.path()))
                {
                    struct stat status;
                    if (::stat(temp.file(entry.first).c_str(), &status) == 0)
                        numbers[entry.first] = status.st_ino;
                }
                return numbers;
            };
            const auto before = inodes();
            ASSERT_EQ(before.size(), 3u);

            deck->getPresets()->removeStateByName("Cold", true);
            addPreset(*deck, "Cold", "second");
            ASSERT_TRUE(manager->savePresets(File(temp.path() + "/")));
            const auto after = inodes();
            ASSERT_EQ(after.size(), 3u);
            EXPECT_EQ(after.at("Deck/Warm.xml"), before.at("Deck/Warm.xml")) << "left in place";
            EXPECT_EQ(after.at("Deck/v10.xml"), before.at("Deck/v10.xml")) << "left in place";
            EXPECT_NE(after.at("Deck/Cold.xml"), before.at("Deck/Cold.xml")) << "replaced";

            ASSERT_TRUE(manager->savePresets(File(fresh.path() + "/")));
            EXPECT_EQ(filesBelow(temp.path()), filesBelow(fresh.path())) << "and a save elsewhere leaves these";

            // Another program edits Warm's file in place, its size and time
            // kept; "v1.0" is given a new snapshot, its name and file kept.
            // The next save writes both again, though Warm did not change.
            std::string edited = temp.readFile("Deck/Warm.xml");
            ASSERT_NE(edited.find("first"), std::string::npos);
            edited.replace(edited.find("first"), 5, "FIRST");
            ASSERT_TRUE(rewriteInPlaceKeepingTimes(temp.file("Deck/Warm.xml"), edited));
            XmlDocument pool;
            XmlNode* third = XmlCapable::createNode(pool, "VideoSource");
            third->append_attribute(createAttribute(pool, "note", std::string("third")));
            deck->getPresets()->getStateByName("v1.0")->setNode(third);
            ASSERT_TRUE(manager->savePresets(File(temp.path() + "/")));
            EXPECT_EQ(temp.readFile("Deck/Warm.xml"), fresh.readFile("Deck/Warm.xml"));
            EXPECT_NE(temp.readFile("Deck/v10.xml").find("third"), std::string::npos);
        }

        // Session after session with a new manager each: a preset deleted or
        // renamed stays so (the renamed one under its new name alone), and a
        // file put there by hand stays.
        TEST_F(VideoSourceManagerTest, DeletedAndRenamedPresetsStaySoAfterARestart)
        {
            TempDir temp;
            const File folder(temp.path() + "/");
            PlainExtension* deck = registerPlain("Deck", "deck");
            addPreset(*deck, "Warm", "w");
            addPreset(*deck, "Cold", "c");
            addPreset(*deck, "Soft", "s");
            ASSERT_TRUE(manager->savePresets(folder));

            restart();
            deck = registerPlain("Deck", "deck");
            manager->loadPresets(folder);
            ASSERT_EQ(presetNotes(*deck), (std::vector<std::string>{"Cold:c", "Soft:s", "Warm:w"}));
            deck->getPresets()->removeStateByName("Cold", true);
            deck->getPresets()->getStateByName("Soft")->setName("Gentle");
            temp.writeFile(
                "Deck/ByHand.xml",
                "<Preset name=\"ByHand\" sourceId=\"deck\" source=\"Deck\"><VideoSource note=\"h\"/></Preset>");
            LogRecorder log;
            EXPECT_TRUE(manager->savePresets(folder)) << log.dump();
            std::vector<std::string> paths;
            for (const auto& entry : filesBelow(temp.path()))
                paths.push_back(entry.first);
            EXPECT_EQ(paths, (std::vector<std::string>{"Deck/ByHand.xml", "Deck/Gentle.xml", "Deck/Warm.xml"}));

            restart();
            deck = registerPlain("Deck", "deck");
            manager->loadPresets(folder);
            EXPECT_EQ(presetNotes(*deck), (std::vector<std::string>{"ByHand:h", "Gentle:s", "Warm:w"}));
        }

        // A folder on a stick unplugged and plugged in again mid-session (or
        // a resume) comes back with every file's bytes and times under other
        // inode numbers: the files are still the copies the manager loaded
        // and wrote, so presets deleted or renamed after it stay so, while a
        // file another program rewrote since is still that program's copy.
        class SourcePresetRemountDeathTest : public VideoSourceManagerTest
        {
        protected:
            void SetUp() override {}
            void TearDown() override {}

            std::string deleteAndRenameAfterARemount()
            {
                RemountableFolder stick; // first: the namespaces take a process of one thread
                const File folder(stick.path() + "/");
                manager = std::make_unique<VideoSourceManager>();
                SourceDirectory::setCurrent(manager.get());
                PlainExtension* deck = registerPlain("Deck", "deck");
                for (const char* name : {"Warm", "Cold", "Soft", "Mild"})
                    addPreset(*deck, name, std::string(1, char(std::tolower(name[0]))));
                if (! manager->savePresets(folder))
                    return "the first save answered false";
                if (const std::string why = stick.remount(); ! why.empty())
                    return why;
                {
                    VideoSourceManager other;
                    auto* otherDeck = new PlainExtension("Deck", "deck", false);
                    other.registerSource(otherDeck);
                    other.loadPresets(folder);
                    otherDeck->getPresets()->removeStateByName("Mild", true);
                    addPreset(*otherDeck, "Mild", "m2");
                    if (! other.savePresets(folder))
                        return "the other program's save answered false";
                }

                deck->getPresets()->removeStateByName("Cold", true);
                deck->getPresets()->getStateByName("Soft")->setName("Gentle");
                deck->getPresets()->removeStateByName("Mild", true);
                LogRecorder log;
                if (! manager->savePresets(folder))
                    return "the save after the remount answered false\n" + log.dump();

                restart();
                deck = registerPlain("Deck", "deck");
                manager->loadPresets(folder);
                const std::vector<std::string> expected{"Gentle:s", "Mild:m2", "Warm:w"};
                const std::vector<std::string> found = presetNotes(*deck);
                SourceDirectory::clearCurrent(manager.get());
                manager.reset();
                NetworkVideoServerManager::deleteInstance();
                if (found == expected)
                    return {};
                std::string text =
                    "a restart after the folder was mounted again" +
                    (stick.mounted() ? std::string() : " (copied in place: " + stick.whyNotMounted() + ")") + " found";
                for (const std::string& preset : found)
                    text += " " + preset;
                return text + "\n" + log.dump();
            }
        };

        TEST_F(SourcePresetRemountDeathTest, PresetsDeletedOrRenamedAfterTheFolderIsMountedAgainStaySo)
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

        // A source absent for a session (a camera unplugged) keeps its
        // presets through that session's saves, and has them again when it
        // is back.
        TEST_F(VideoSourceManagerTest, PresetsOfASourceAbsentForASessionComeBackWithIt)
        {
            TempDir temp;
            const File folder(temp.path() + "/");
            addPreset(*registerPlain("Deck", "deck"), "Warm", "w");
            addPreset(*registerPlain("Cam", "cam"), "Wide", "c");
            ASSERT_TRUE(manager->savePresets(folder));
            const std::string camFile = temp.readFile("Cam/Wide.xml");
            ASSERT_FALSE(camFile.empty());

            restart();
            PlainExtension* deck = registerPlain("Deck", "deck");
            manager->loadPresets(folder);
            deck->getPresets()->removeStateByName("Warm", true);
            EXPECT_TRUE(manager->savePresets(folder));
            const auto files = filesBelow(temp.path());
            EXPECT_EQ(files, (std::map<std::string, std::string>{{"Cam/Wide.xml", camFile}}));

            restart();
            registerPlain("Deck", "deck");
            PlainExtension* cam = registerPlain("Cam", "cam");
            manager->loadPresets(folder);
            EXPECT_EQ(presetNotes(*cam), (std::vector<std::string>{"Wide:c"}));
        }

        // Network servers as the server manager lists them: found through
        // the scripted DNS-SD, each named by its address, all of one id.
        class ServerPresetsTest : public VideoSourceManagerTest
        {
        protected:
            // A new run: the server and source managers made anew while
            // exactly servers (service name, address) are announced. False
            // when they are not all listed within a generous deadline.
            bool restartWith(const std::map<std::string, std::string>& servers)
            {
                SourceDirectory::clearCurrent(manager.get());
                manager.reset();
                NetworkVideoServerManager::deleteInstance();
                for (const std::string& name : announced)
                    dns.withdraw(name, NetworkVideoServerManager::serverServiceType);
                announced.clear();
                std::set<std::string> addresses;
                for (const auto& [name, address] : servers)
                {
                    dns.scriptResolve(name, {address, 7001});
                    dns.announce(name, NetworkVideoServerManager::serverServiceType);
                    announced.push_back(name);
                    addresses.insert(address);
                }
                manager = std::make_unique<VideoSourceManager>();
                SourceDirectory::setCurrent(manager.get());
                const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
                while (listedServers() != addresses)
                {
                    if (std::chrono::steady_clock::now() > deadline)
                        return false;
                    std::this_thread::sleep_for(std::chrono::milliseconds(2));
                }
                return true;
            }

            std::set<std::string> listedServers()
            {
                std::set<std::string> names;
                for (const auto& extension : manager->getSources(true))
                    if (extension->getExtensionUniqueId() == "NETWORK_VIDEO_SRC")
                        names.insert(extension->getExtensionName());
                return names;
            }

            std::shared_ptr<VideoSourceExtension> server(const std::string& address)
            {
                for (const auto& extension : manager->getSources(true))
                    if (extension->getExtensionName() == address)
                        return extension;
                ADD_FAILURE() << "no server at " << address;
                return std::make_shared<PlainExtension>(address, "none", false);
            }

            // The listed server at 127.0.0.1 and port, or null.
            std::shared_ptr<VideoSourceExtension> serverAt(std::uint16_t port)
            {
                for (const auto& extension : manager->getSources(true))
                    if (auto* network = dynamic_cast<NetworkVideoExtension*>(extension.get()))
                        if (network->getIpAddress() == "127.0.0.1" && network->getPort() == port)
                            return extension;
                return nullptr;
            }
            // The port of the first server listed, or 0.
            std::uint16_t firstListedPort()
            {
                for (const auto& extension : manager->getSources(true))
                    if (auto* network = dynamic_cast<NetworkVideoExtension*>(extension.get()))
                        return network->getPort();
                return 0;
            }

            // A new run with servers (service name, port) at 127.0.0.1, each
            // listed before the next is announced (the list puts the latest
            // first).
            bool restartAtOneAddress(const std::vector<std::pair<std::string, std::uint16_t>>& servers)
            {
                if (! restartWith({}))
                    return false;
                for (const auto& [name, port] : servers)
                {
                    dns.scriptResolve(name, {"127.0.0.1", port});
                    dns.announce(name, NetworkVideoServerManager::serverServiceType);
                    announced.push_back(name);
                    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
                    while (serverAt(port) == nullptr)
                    {
                        if (std::chrono::steady_clock::now() > deadline)
                            return false;
                        std::this_thread::sleep_for(std::chrono::milliseconds(2));
                    }
                }
                return true;
            }

            // Announces (or withdraws) a server while the managers live; false
            // when the listed addresses do not become expected in time.
            bool announce(const std::string& name, const std::string& address, const std::set<std::string>& expected)
            {
                dns.scriptResolve(name, {address, 7001});
                dns.announce(name, NetworkVideoServerManager::serverServiceType);
                announced.push_back(name);
                return listedBecome(expected);
            }
            bool withdraw(const std::string& name, const std::set<std::string>& expected)
            {
                dns.withdraw(name, NetworkVideoServerManager::serverServiceType);
                std::erase(announced, name);
                return listedBecome(expected);
            }
            bool listedBecome(const std::set<std::string>& expected)
            {
                const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
                while (listedServers() != expected)
                {
                    if (std::chrono::steady_clock::now() > deadline)
                        return false;
                    std::this_thread::sleep_for(std::chrono::milliseconds(2));
                }
                return true;
            }

            // The files below folder, by path relative to it.
            static std::vector<std::string> pathsBelow(const std::string& folder)
            {
                std::vector<std::string> paths;
                for (const auto& entry : filesBelow(folder))
                    paths.push_back(entry.first);
                return paths;
            }

            std::vector<std::string> announced;
        };

        // Other servers appear and leave, and the server itself renews its
        // announcement: the presets of a server that stays listed stay, and
        // the save writes them.
        TEST_F(ServerPresetsTest, AServerThatStaysListedKeepsItsPresets)
        {
            TempDir temp;
            const File folder(temp.path() + "/");
            ASSERT_TRUE(restartWith({{"Studio", "127.0.0.11"}}));
            addPreset(*server("127.0.0.11"), "Wide", "studio");
            ASSERT_TRUE(announce("Stage", "127.0.0.12", {"127.0.0.11", "127.0.0.12"}));
            EXPECT_EQ(presetNotes(*server("127.0.0.11")), (std::vector<std::string>{"Wide:studio"}));
            const auto renewals = dns.callsOf("resolve").size();
            dns.announce("Studio", NetworkVideoServerManager::serverServiceType);
            ASSERT_TRUE(listedBecome({"127.0.0.11", "127.0.0.12"}));
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
            while (dns.callsOf("resolve").size() == renewals && std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            ASSERT_TRUE(withdraw("Stage", {"127.0.0.11"}));
            EXPECT_EQ(presetNotes(*server("127.0.0.11")), (std::vector<std::string>{"Wide:studio"}));
            ASSERT_TRUE(manager->savePresets(folder));
            EXPECT_EQ(filesBelow(temp.path()).size(), 1u) << "the preset made in this session is saved";
        }

        // The presets are loaded before discovery lists their server: they
        // reach it when it is listed, once, also after it left and came back
        // and when another server comes; the save changes no file, and the
        // next start loads them once.
        TEST_F(ServerPresetsTest, PresetsLoadedBeforeTheirServerIsListedReachItOnce)
        {
            TempDir temp;
            const File folder(temp.path() + "/");
            ASSERT_TRUE(restartWith({{"Studio", "127.0.0.11"}}));
            addPreset(*server("127.0.0.11"), "Wide", "studio");
            addPreset(*server("127.0.0.11"), "Close", "studio");
            ASSERT_TRUE(manager->savePresets(folder));
            const auto saved = filesBelow(temp.path());
            ASSERT_EQ(saved.size(), 2u);

            ASSERT_TRUE(restartWith({}));
            manager->loadPresets(folder);
            const std::vector<std::string> both{"Close:studio", "Wide:studio"};
            ASSERT_TRUE(announce("Studio", "127.0.0.11", {"127.0.0.11"}));
            EXPECT_EQ(presetNotes(*server("127.0.0.11")), both);
            EXPECT_EQ(presetNotes(*server("127.0.0.11")), both) << "listed again";
            ASSERT_TRUE(withdraw("Studio", {}));
            ASSERT_TRUE(announce("Studio", "127.0.0.11", {"127.0.0.11"}));
            EXPECT_EQ(presetNotes(*server("127.0.0.11")), both) << "back again";
            ASSERT_TRUE(announce("Stage", "127.0.0.12", {"127.0.0.11", "127.0.0.12"}));
            EXPECT_EQ(presetNotes(*server("127.0.0.11")), both);
            EXPECT_EQ(presetNotes(*server("127.0.0.12")), std::vector<std::string>());
            ASSERT_TRUE(manager->savePresets(folder));
            EXPECT_EQ(filesBelow(temp.path()), saved);

            ASSERT_TRUE(restartWith({{"Studio", "127.0.0.11"}}));
            manager->loadPresets(folder);
            EXPECT_EQ(presetNotes(*server("127.0.0.11")), both);
        }

        // One server offline: its preset stays its own, in its file, start
        // after start, and comes back to it when it is online again; the
        // server online keeps only its own, and no start adds a file.
        TEST_F(ServerPresetsTest, AnOfflineServersPresetsStayItsOwn)
        {
            TempDir temp;
            const File folder(temp.path() + "/");
            const std::map<std::string, std::string> both{{"Studio", "127.0.0.11"}, {"Stage", "127.0.0.12"}};
            ASSERT_TRUE(restartWith(both));
            addPreset(*server("127.0.0.11"), "Wide", "studio");
            addPreset(*server("127.0.0.12"), "Wide", "stage");
            ASSERT_TRUE(manager->savePresets(folder));
            const auto saved = filesBelow(temp.path());
            ASSERT_EQ(saved.size(), 2u);

            for (int start = 1; start <= 3; ++start)
            {
                ASSERT_TRUE(restartWith({{"Stage", "127.0.0.12"}}));
                manager->loadPresets(folder);
                EXPECT_EQ(presetNotes(*server("127.0.0.12")), (std::vector<std::string>{"Wide:stage"}))
                    << "start " << start;
                EXPECT_TRUE(manager->savePresets(folder));
                EXPECT_EQ(filesBelow(temp.path()), saved) << "start " << start;
            }

            ASSERT_TRUE(restartWith(both));
            manager->loadPresets(folder);
            EXPECT_EQ(presetNotes(*server("127.0.0.11")), (std::vector<std::string>{"Wide:studio"}));
            EXPECT_EQ(presetNotes(*server("127.0.0.12")), (std::vector<std::string>{"Wide:stage"}));
        }

        // A server found at a new address is another server to the presets:
        // those of the old address stay in their file for when it is back.
        TEST_F(ServerPresetsTest, AServerAtANewAddressAddsNoFile)
        {
            TempDir temp;
            const File folder(temp.path() + "/");
            ASSERT_TRUE(restartWith({{"Studio", "127.0.0.11"}}));
            addPreset(*server("127.0.0.11"), "Wide", "studio");
            ASSERT_TRUE(manager->savePresets(folder));
            const auto saved = filesBelow(temp.path());

            for (int start = 1; start <= 3; ++start)
            {
                ASSERT_TRUE(restartWith({{"Studio", "127.0.0.21"}}));
                manager->loadPresets(folder);
                EXPECT_EQ(presetNotes(*server("127.0.0.21")), std::vector<std::string>()) << "start " << start;
                EXPECT_TRUE(manager->savePresets(folder));
                EXPECT_EQ(filesBelow(temp.path()), saved) << "start " << start;
            }

            ASSERT_TRUE(restartWith({{"Studio", "127.0.0.11"}}));
            manager->loadPresets(folder);
            EXPECT_EQ(presetNotes(*server("127.0.0.11")), (std::vector<std::string>{"Wide:studio"}));
        }

        // A server leaves before the save: the preset made for it in this
        // session is written all the same, once, beside the listed server's;
        // it is back at the next start, and no save changes a file again.
        TEST_F(ServerPresetsTest, APresetMadeForAServerThatLeftIsSaved)
        {
            TempDir temp;
            const File folder(temp.path() + "/");
            const std::map<std::string, std::string> both{{"Studio", "127.0.0.11"}, {"Stage", "127.0.0.12"}};
            ASSERT_TRUE(restartWith(both));
            addPreset(*server("127.0.0.11"), "Wide", "studio");
            addPreset(*server("127.0.0.12"), "Near", "stage");
            ASSERT_TRUE(withdraw("Studio", {"127.0.0.12"}));
            LogRecorder log;
            ASSERT_TRUE(manager->savePresets(folder)) << log.dump();
            EXPECT_EQ(pathsBelow(temp.path()),
                      (std::vector<std::string>{"1270011/Wide.xml", "1270012/Near.xml"}));
            const auto saved = filesBelow(temp.path());
            ASSERT_TRUE(manager->savePresets(folder));
            EXPECT_EQ(filesBelow(temp.path()), saved) << "saved again";

            ASSERT_TRUE(restartWith(both));
            manager->loadPresets(folder);
            EXPECT_EQ(presetNotes(*server("127.0.0.11")), (std::vector<std::string>{"Wide:studio"}));
            EXPECT_EQ(presetNotes(*server("127.0.0.12")), (std::vector<std::string>{"Near:stage"}));
            ASSERT_TRUE(manager->savePresets(folder));
            EXPECT_EQ(filesBelow(temp.path()), saved) << "after the restart";
        }

        // Presets loaded for a server that then left: the one deleted goes,
        // the one renamed keeps only its new name, the others stay, and so do
        // the files of a server not listed in that session.
        TEST_F(ServerPresetsTest, PresetsDeletedOrRenamedForAServerThatLeftStaySo)
        {
            TempDir temp;
            const File folder(temp.path() + "/");
            const std::map<std::string, std::string> both{{"Studio", "127.0.0.11"}, {"Stage", "127.0.0.13"}};
            ASSERT_TRUE(restartWith(both));
            addPreset(*server("127.0.0.11"), "Wide", "w");
            addPreset(*server("127.0.0.11"), "Close", "c");
            addPreset(*server("127.0.0.11"), "Soft", "s");
            addPreset(*server("127.0.0.13"), "Far", "f");
            ASSERT_TRUE(manager->savePresets(folder));
            const std::string farFile = temp.readFile("1270013/Far.xml");
            ASSERT_FALSE(farFile.empty());

            ASSERT_TRUE(restartWith({{"Studio", "127.0.0.11"}}));
            manager->loadPresets(folder);
            auto studio = server("127.0.0.11");
            studio->getPresets()->removeStateByName("Close", true);
            studio->getPresets()->getStateByName("Soft")->setName("Gentle");
            studio.reset();
            ASSERT_TRUE(withdraw("Studio", {}));
            LogRecorder log;
            EXPECT_TRUE(manager->savePresets(folder)) << log.dump();
            EXPECT_EQ(pathsBelow(temp.path()), (std::vector<std::string>{"1270011/Gentle.xml",
                                                                         "1270011/Wide.xml", "1270013/Far.xml"}));
            EXPECT_EQ(temp.readFile("1270013/Far.xml"), farFile);

            ASSERT_TRUE(restartWith(both));
            manager->loadPresets(folder);
            EXPECT_EQ(presetNotes(*server("127.0.0.11")), (std::vector<std::string>{"Gentle:s", "Wide:w"}));
            EXPECT_EQ(presetNotes(*server("127.0.0.13")), (std::vector<std::string>{"Far:f"}));
        }

        // A server that left before the presets were loaded gets its own all
        // the same: the preset made for it earlier in the session is saved
        // beside its stored one of the same name, not over it.
        TEST_F(ServerPresetsTest, AServerThatLeftBeforeTheLoadKeepsBothPresetsOfOneName)
        {
            TempDir temp;
            const File folder(temp.path() + "/");
            ASSERT_TRUE(restartWith({{"Studio", "127.0.0.11"}}));
            addPreset(*server("127.0.0.11"), "Wide", "old");
            ASSERT_TRUE(manager->savePresets(folder));

            ASSERT_TRUE(restartWith({{"Studio", "127.0.0.11"}}));
            addPreset(*server("127.0.0.11"), "Wide", "new");
            ASSERT_TRUE(withdraw("Studio", {}));
            manager->loadPresets(folder);
            LogRecorder log;
            EXPECT_TRUE(manager->savePresets(folder)) << log.dump();
            EXPECT_EQ(filesBelow(temp.path()).size(), 2u);

            ASSERT_TRUE(restartWith({{"Studio", "127.0.0.11"}}));
            manager->loadPresets(folder);
            EXPECT_EQ(presetNotes(*server("127.0.0.11")), (std::vector<std::string>{"Wide:new", "Wide:old"}));
        }

        // Two servers on one machine, each its own service and port: each
        // preset comes back to the server it was made for, whichever of the
        // two is listed first, and a save after the restart changes no file.
        TEST_F(ServerPresetsTest, TwoServersOnOneMachineKeepTheirOwnPresets)
        {
            TempDir temp;
            const File folder(temp.path() + "/");
            const std::pair<std::string, std::uint16_t> left{"Left", 7101}, right{"Right", 7102};
            ASSERT_TRUE(restartAtOneAddress({left, right}));
            addPreset(*serverAt(7101), "Wide", "left");
            addPreset(*serverAt(7102), "Close", "right");
            LogRecorder log;
            ASSERT_TRUE(manager->savePresets(folder)) << log.dump();
            const auto saved = filesBelow(temp.path());
            ASSERT_EQ(saved.size(), 2u);

            const std::vector initial{left, right};
            for (const auto& order : {initial, std::vector{right, left}, initial})
            {
                ASSERT_TRUE(restartAtOneAddress(order));
                const std::string listed = "port " + std::to_string(firstListedPort()) + " listed first";
                manager->loadPresets(folder);
                EXPECT_EQ(presetNotes(*serverAt(7101)), (std::vector<std::string>{"Wide:left"})) << listed;
                EXPECT_EQ(presetNotes(*serverAt(7102)), (std::vector<std::string>{"Close:right"})) << listed;
                EXPECT_TRUE(manager->savePresets(folder)) << listed << log.dump();
                EXPECT_EQ(filesBelow(temp.path()).size(), 2u) << listed;
                if (order == initial)
                {
                    EXPECT_EQ(filesBelow(temp.path()), saved) << listed;
                }
            }
        }

        // Two servers on one machine whose presets share a name: whichever is
        // listed first, each edit is written to its own server's file, and
        // the next start has each server's edited preset once.
        TEST_F(ServerPresetsTest, TwoServersOnOneMachineKeepPresetsOfOneNameWhateverTheOrder)
        {
            TempDir temp;
            const File folder(temp.path() + "/");
            const std::pair<std::string, std::uint16_t> left{"Left", 7101}, right{"Right", 7102};
            ASSERT_TRUE(restartAtOneAddress({left, right}));
            addPreset(*serverAt(7101), "Wide", "left");
            addPreset(*serverAt(7102), "Wide", "right");
            LogRecorder log;
            ASSERT_TRUE(manager->savePresets(folder)) << log.dump();

            int round = 0;
            for (const auto& order : {std::vector{right, left}, std::vector{left, right}})
            {
                ++round;
                ASSERT_TRUE(restartAtOneAddress(order));
                manager->loadPresets(folder);
                for (const std::uint16_t port : {std::uint16_t(7101), std::uint16_t(7102)})
                {
                    const auto server = serverAt(port);
                    server->getPresets()->removeStateByName("Wide", true);
                    addPreset(*server, "Wide", std::to_string(port) + " edit " + std::to_string(round));
                }
                EXPECT_TRUE(manager->savePresets(folder)) << "round " << round << "\n" << log.dump();
                EXPECT_EQ(filesBelow(temp.path()).size(), 2u) << "round " << round;

                ASSERT_TRUE(restartAtOneAddress({left, right}));
                manager->loadPresets(folder);
                for (const std::uint16_t port : {std::uint16_t(7101), std::uint16_t(7102)})
                    EXPECT_EQ(presetNotes(*serverAt(port)),
                              (std::vector<std::string>{"Wide:" + std::to_string(port) + " edit " +
                                                        std::to_string(round)}))
                        << "round " << round;
            }
        }

        // Each of two servers on one machine saves into the same folder
        // whichever is listed first: its folder is its own, not the list's.
        TEST_F(ServerPresetsTest, AServersFolderIsTheSameWhateverTheOrderServersAreListedIn)
        {
            const std::pair<std::string, std::uint16_t> left{"Left", 7101}, right{"Right", 7102};
            std::vector<std::map<std::string, std::string>> saved;
            for (const auto& order : {std::vector{left, right}, std::vector{right, left}})
            {
                TempDir temp;
                ASSERT_TRUE(restartAtOneAddress(order));
                for (const std::uint16_t port : {std::uint16_t(7101), std::uint16_t(7102)})
                    addPreset(*serverAt(port), "Wide", std::to_string(port));
                ASSERT_TRUE(manager->savePresets(File(temp.path() + "/")));
                saved.push_back(filesBelow(temp.path()));
            }
            EXPECT_EQ(saved[0], saved[1]);
        }

        // Folders of two servers on one machine from before each had a name
        // of its own (numbered by the order they were listed in) load as
        // before, and the next save moves their presets into the servers'
        // own folders, none lost, none twice.
        TEST_F(ServerPresetsTest, FoldersNumberedByListOrderLoadAndMoveToEachServersOwn)
        {
            TempDir temp;
            const File folder(temp.path() + "/");
            const auto preset = [](const std::string& name, int port, const std::string& note)
            {
                return "<Preset name=\"" + name +
                       "\" sourceId=\"NETWORK_VIDEO_SRC\" source=\"127.0.0.1\" sourcePort=\"" +
                       std::to_string(port) + "\"><VideoSource note=\"" + note + "\"/></Preset>";
            };
            temp.writeFile("127001/Wide.xml", preset("Wide", 7102, "right"));
            temp.writeFile("127001 2/Wide.xml", preset("Wide", 7101, "left"));
            temp.writeFile("127%2E0%2E0%2E1 (NETWORK_VIDEO_SRC)/Close.xml", preset("Close", 7101, "left"));
            temp.writeFile("127%2E0%2E0%2E1 (NETWORK_VIDEO_SRC) 2/Close.xml", preset("Close", 7102, "right"));

            const std::pair<std::string, std::uint16_t> left{"Left", 7101}, right{"Right", 7102};
            for (const auto& order : {std::vector{left, right}, std::vector{right, left}})
            {
                ASSERT_TRUE(restartAtOneAddress(order));
                manager->loadPresets(folder);
                EXPECT_EQ(presetNotes(*serverAt(7101)), (std::vector<std::string>{"Close:left", "Wide:left"}));
                EXPECT_EQ(presetNotes(*serverAt(7102)), (std::vector<std::string>{"Close:right", "Wide:right"}));
                LogRecorder log;
                EXPECT_TRUE(manager->savePresets(folder)) << log.dump();
                EXPECT_EQ(pathsBelow(temp.path()),
                          (std::vector<std::string>{"127%2E0%2E0%2E1 (NETWORK_VIDEO_SRC 7101)/Close.xml",
                                                    "127%2E0%2E0%2E1 (NETWORK_VIDEO_SRC 7101)/Wide.xml",
                                                    "127%2E0%2E0%2E1 (NETWORK_VIDEO_SRC 7102)/Close.xml",
                                                    "127%2E0%2E0%2E1 (NETWORK_VIDEO_SRC 7102)/Wide.xml"}));
            }
        }

        // A server announced again on another port while the application
        // runs and saves, with a preset of one name made at each port, then
        // on its first port again: each port's preset is stored once, and
        // comes back once with the server at that port.
        TEST_F(ServerPresetsTest, AServerWhosePortChangesAndReturnsKeepsEachPortsPresetOnce)
        {
            TempDir temp;
            const File folder(temp.path() + "/");
            ASSERT_TRUE(restartAtOneAddress({{"Studio", 7000}}));
            LogRecorder log;
            for (const std::uint16_t port : {std::uint16_t(7000), std::uint16_t(7001), std::uint16_t(7000)})
            {
                dns.scriptResolve("Studio", {"127.0.0.1", port});
                dns.announce("Studio", NetworkVideoServerManager::serverServiceType);
                const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
                while (serverAt(port) == nullptr && std::chrono::steady_clock::now() < deadline)
                    std::this_thread::sleep_for(std::chrono::milliseconds(2));
                ASSERT_NE(serverAt(port), nullptr);
                if (presetNames(*serverAt(port)).empty())
                    addPreset(*serverAt(port), "Wide", std::to_string(port));
                EXPECT_TRUE(manager->savePresets(folder)) << log.dump();
            }
            EXPECT_EQ(filesBelow(temp.path()).size(), 2u) << log.dump();

            for (const std::uint16_t port : {std::uint16_t(7000), std::uint16_t(7001)})
            {
                ASSERT_TRUE(restartAtOneAddress({{"Studio", port}}));
                manager->loadPresets(folder);
                EXPECT_EQ(presetNotes(*serverAt(port)), (std::vector<std::string>{"Wide:" + std::to_string(port)}));
            }
        }

        // Presets stored before they carried their server's port load as they
        // always did, into the first server listed at their address, once;
        // the save then writes them as that server's alone.
        TEST_F(ServerPresetsTest, PresetsStoredWithoutAPortGoToTheFirstServerAtTheirAddress)
        {
            TempDir temp;
            const File folder(temp.path() + "/");
            const std::pair<std::string, std::uint16_t> left{"Left", 7101}, right{"Right", 7102};
            ASSERT_TRUE(restartAtOneAddress({left}));
            addPreset(*serverAt(7101), "Wide", "old");
            ASSERT_TRUE(manager->savePresets(folder));
            ASSERT_EQ(pathsBelow(temp.path()), (std::vector<std::string>{"127001/Wide.xml"}));
            const std::string text = temp.readFile("127001/Wide.xml");
            const std::string port = " sourcePort=\"7101\"";
            ASSERT_NE(text.find(port), std::string::npos) << text;
            std::string earlier = text;
            earlier.erase(earlier.find(port), port.size());

            for (const auto& order : {std::vector{right, left}, std::vector{left, right}})
            {
                TempDir run;
                const File runFolder(run.path() + "/");
                run.writeFile("127001/Wide.xml", earlier);
                ASSERT_TRUE(restartAtOneAddress(order));
                const std::uint16_t first = firstListedPort();
                const std::uint16_t second = first == 7101 ? 7102 : 7101;
                manager->loadPresets(runFolder);
                EXPECT_EQ(presetNotes(*serverAt(first)), (std::vector<std::string>{"Wide:old"})) << first;
                EXPECT_EQ(presetNotes(*serverAt(second)), std::vector<std::string>()) << first;
                LogRecorder log;
                ASSERT_TRUE(manager->savePresets(runFolder)) << log.dump();
                ASSERT_EQ(filesBelow(run.path()).size(), 1u);

                ASSERT_TRUE(restartAtOneAddress({order.back(), order.front()}));
                manager->loadPresets(runFolder);
                EXPECT_EQ(presetNotes(*serverAt(first)), (std::vector<std::string>{"Wide:old"})) << first;
                EXPECT_EQ(presetNotes(*serverAt(second)), std::vector<std::string>()) << first;
            }
        }
    }
}
