#include "engine/behaviours/VXBeats.h"

#include "core/parameters/VXParamTestHelpers.h"
#include "engine/behaviours/VXAudioBeatmarks.h"
#include "engine/behaviours/VXAudioObjectBase.h"
#include "engine/behaviours/VXAudioObjectManager.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace vx
{
    namespace
    {
        struct Record
        {
            const char* name;
            const char* attributes;
            int mode;
            unsigned int beats;
            double tempo;
        };

        using BeatsRead = ::testing::TestWithParam<Record>;

        TEST_P(BeatsRead, TakesTheAttributesOrTheirDefaults)
        {
            Beats<double> beats(90.0, 7, 2);
            beats.setBeatmarks(std::make_shared<AudioBeatmarks<double>>());
            beats.readState(
                test::parseText(std::string("<Beats_d name=\"Beats_d\" ") + GetParam().attributes + "/>")->first_node(),
                false);
            EXPECT_EQ(beats.getMode(), GetParam().mode);
            EXPECT_EQ(beats.getManualBeats(), GetParam().beats);
            EXPECT_EQ(beats.getManualTempo(), GetParam().tempo);
            EXPECT_EQ(beats.getBeatmarks(), nullptr);
        }

        INSTANTIATE_TEST_SUITE_P(
            Table, BeatsRead,
            ::testing::Values(Record{"Nothing", "", 0, 4, 120.0},
                              Record{"Everything", "mode=\"2\" manualBeats=\"12\" manualTempo=\"99.5\"", 2, 12, 99.5},
                              Record{"ModeTooHigh", "mode=\"3\"", 0, 4, 120.0},
                              Record{"ModeNegative", "mode=\"-1\"", 0, 4, 120.0}),
            [](const auto& info) { return std::string(info.param.name); });

        TEST(Beats, MarksRoundTripAsANewObjectWithTheSameContent)
        {
            auto marks = std::make_shared<AudioBeatmarks<double>>();
            marks->readState(test::parseText("<AudioBeatmarksDOUBLE name=\"AudioBeatmarksDOUBLE\" totalLength=\"8\" "
                                             "bm=\"2\" bm=\"1\" bm=\"x\" bm=\"2\"/>")
                                 ->first_node(),
                             false);
            EXPECT_EQ(marks->getBpm(), 120.0);
            EXPECT_EQ(marks->getBeatmarks(), (std::set<double>{1.0, 2.0}));

            Beats<double> beats(120.0, 4, 1);
            beats.setBeatmarks(marks);
            const std::string text = test::writeToText(beats, false);
            EXPECT_EQ(text, "<Beats_d name=\"Beats_d\" mode=\"1\" manualBeats=\"4\" manualTempo=\"120\">\n"
                            "\t<AudioBeatmarksDOUBLE name=\"AudioBeatmarksDOUBLE\" bpm=\"120\" totalLength=\"8\" "
                            "bm=\"1\" bm=\"2\"/>\n"
                            "</Beats_d>\n");
            Beats<double> copy(120.0, 4, 0);
            copy.readState(test::parseText(text)->first_node(), false);
            ASSERT_NE(copy.getBeatmarks(), nullptr);
            EXPECT_NE(copy.getBeatmarks(), marks);
            EXPECT_EQ(copy.getBeatmarks()->getBeatmarks(), marks->getBeatmarks());
            EXPECT_EQ(test::writeToText(copy, false), text);
        }

        // Records the order of the manager's calls.
        class Disposable : public AudioObjectBase
        {
        public:
            Disposable(std::vector<std::string>& calls, std::string name) : log(calls), id(std::move(name)) {}
            void prepareForDeletion() override { log.push_back("prepare " + id); }
            void dispose() override
            {
                log.push_back("dispose " + id);
                delete this;
            }

        private:
            std::vector<std::string>& log;
            std::string id;
        };

        TEST(AudioObjectManager, DisposesBatchesInOrderAndAtOnceAfterShutdown)
        {
            std::vector<std::string> calls;
            AudioObjectManager* manager = AudioObjectManager::getInstance();
            manager->addForDeletion(nullptr);
            manager->addForDeletion(new Disposable(calls, "a"));
            manager->addForDeletion(new Disposable(calls, "b"));
            EXPECT_TRUE(calls.empty());
            manager->deleteObjects();
            EXPECT_EQ(calls, (std::vector<std::string>{"prepare a", "dispose a", "prepare b", "dispose b"}));

            calls.clear();
            manager->addForDeletion(new Disposable(calls, "c"));
            manager->addForDeletion(new Disposable(calls, "d"));
            manager->shutdown();
            EXPECT_EQ(calls, (std::vector<std::string>{"prepare d", "dispose d", "prepare c", "dispose c"}));
            calls.clear();
            manager->addForDeletion(new Disposable(calls, "e"));
            EXPECT_EQ(calls, (std::vector<std::string>{"prepare e", "dispose e"}));
            AudioObjectManager::deleteInstance();
            EXPECT_EQ(AudioObjectManager::getInstanceWithoutCreating(), nullptr);
            AudioObjectManager::deleteInstance();
        }

        TEST(AudioObjectManager, ConcurrentFirstCallsShareOneInstance)
        {
            std::vector<std::thread> threads;
            std::vector<AudioObjectManager*> seen(8, nullptr);
            std::atomic<bool> go{false};
            for (std::size_t i = 0; i < seen.size(); ++i)
                threads.emplace_back(
                    [&, i]
                    {
                        while (! go.load())
                            std::this_thread::yield();
                        seen[i] = AudioObjectManager::getInstance();
                    });
            go.store(true);
            for (std::thread& thread : threads)
                thread.join();
            for (AudioObjectManager* manager : seen)
                EXPECT_EQ(manager, seen.front());
            AudioObjectManager::deleteInstance();
        }
    }
}
