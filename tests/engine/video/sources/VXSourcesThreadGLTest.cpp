#include "VXSourcesGLTestSupport.h"

#include "core/parameters/VXParamRange.h"
#include "engine/video/sources/VXVideoFormatReaderSource.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

// The loading task's worker, the DataDriver and the render thread (the
// test's) meeting on one file source.

namespace vx::test
{
    namespace
    {
        class SourceThreadsGLTest : public SourcesGLTest
        {
        protected:
            std::unique_ptr<VideoFormatReaderSource> threadedSource()
            {
                return std::unique_ptr<VideoFormatReaderSource>(VideoFormatReaderSource::createFromXML(
                    driver, *sourceElement("fileName=\"" + scriptedFile() + "\" LoadingThread=\"TTM_THREADED\"",
                                            "width=\"8\" height=\"4\""),
                    nullptr));
            }
        };
    }

    TEST_F(SourceThreadsGLTest, AThreadedLoadTheDataDriverAndTheRendererShareOneSource)
    {
        ScriptedFormat::script.openDelayMs = 20;
        RecordingListener listener;
        auto source = threadedSource();
        source->addListener(listener, false);
        // The stored size lets the first render start: it waits for the
        // load on the worker.
        TextureRef output = source->render(*renderer, info);
        ASSERT_NE(output.get(), nullptr);
        EXPECT_TRUE(driver.hasSource(source.get()));
        // Rendering on while the worker ends the load (it tells the last
        // progress after the reader is in place); half a minute is only the
        // watchdog.
        const auto finished = [&]
        {
            const std::vector<std::string> calls = listener.get();
            return ! calls.empty() && calls.back() == "progress 1.0";
        };
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        do
        {
            output = source->render(*renderer, info);
            EXPECT_NE(output.get(), nullptr);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        } while (! finished() && std::chrono::steady_clock::now() < giveUp);
        EXPECT_TRUE(finished()) << ::testing::PrintToString(listener.get());
        source->removeListener(listener);
        source->release();
        EXPECT_FALSE(driver.hasSource(source.get()));
    }

    TEST_F(SourceThreadsGLTest, ASourceDestroyedDuringItsLoadWaitsForTheTask)
    {
        ScriptedFormat::script.openDelayMs = 30;
        for (int i = 0; i < 5; ++i)
        {
            auto source = threadedSource();
            std::this_thread::sleep_for(std::chrono::milliseconds(i * 10));
            source.reset();
        }
        // Whatever ran finished with its source; nothing is left running.
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
        EXPECT_EQ(tasks().getNumPendingTasks(TaskThreadMode::Threaded), 0u);
    }

    TEST_F(SourceThreadsGLTest, ASourceDestroyedWhileTheDataDriverRunsIsNotCalledAfterwards)
    {
        ScriptedFormat::script = ReaderScript();
        VideoFormatReader* reader = root->getVideoFormatManager()->createReaderFor(
            File(scriptedFile()), false, VideoFormatReader::purposePlayback);
        for (int i = 0; i < 10; ++i)
        {
            auto source = std::make_unique<VideoFormatReaderSource>(
                driver, i == 0 ? reader
                               : root->getVideoFormatManager()->createReaderFor(File(scriptedFile()), false,
                                                                               VideoFormatReader::purposePlayback));
            source->render(*renderer, info);
            ASSERT_TRUE(driver.hasSource(source.get()));
            std::this_thread::sleep_for(std::chrono::milliseconds(3));
        }
        EXPECT_EQ(driver.getNumSources(), 0);
    }
}
