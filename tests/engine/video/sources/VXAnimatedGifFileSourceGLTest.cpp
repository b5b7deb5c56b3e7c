// Animated GIFs with uneven frame delays, written by giflib, played as file
// sources on a hand-moved clock (the play head's timeline, looping): every
// frame shows for its own delay, a delay of 0 for 100 ms, and the loop comes
// after the last frame.

#include "VXSourcesGLTestSupport.h"

#include "core/VXTimeUnit.h"
#include "engine/behaviours/VXBehaviourTimelineBase.h"
#include "engine/video/formats/VXGIFTestWriter.h"
#include "engine/video/sources/VXVideoFormatReaderSource.h"

#include <gtest/gtest.h>

#include <numeric>

namespace vx::test
{
    namespace
    {
        // Frame i is every pixel (20 i + 10, 100, 200).
        RawGif gifOf(const std::vector<int>& delays)
        {
            RawGif g;
            g.width = 4;
            g.height = 2;
            for (unsigned char i = 0; i < 16; ++i)
                g.globalMap.push_back({static_cast<GifByteType>(20 * i + 10), 100, 200});
            for (std::size_t i = 0; i < delays.size(); ++i)
            {
                RawGifFrame frame;
                frame.width = 4;
                frame.height = 2;
                frame.indexes.assign(8, static_cast<unsigned char>(i));
                frame.delay = delays[i];
                g.frames.push_back(frame);
            }
            return g;
        }

        struct DelayCase
        {
            const char* name;
            std::vector<int> delays; // hundredths of a second
        };

        class AnimatedGifFileSourceGLTest : public SourcesGLTest
        {
        };
    }

    TEST_F(AnimatedGifFileSourceGLTest, EveryFrameShowsForItsOwnDelayAndTheLoopComesAfterTheLast)
    {
        const DelayCase cases[] = {
            {"a one-second first frame", {100, 10, 10, 10, 10, 10, 10, 10, 10, 10, 10, 10}},
            {"one frame held 300 ms", {10, 10, 10, 10, 30, 10, 10, 10}},
            {"no delays", {0, 0, 0, 0, 0}},
        };
        for (const DelayCase& c : cases)
        {
            SCOPED_TRACE(c.name);
            const std::string path = temp.file(std::string(c.name) + ".gif");
            ASSERT_TRUE(writeGif(path, gifOf(c.delays)));
            VideoFormatReader* reader =
                root->getVideoFormatManager()->createReaderFor(File(path), false, VideoFormatReader::purposePlayback);
            ASSERT_NE(reader, nullptr);
            VideoFormatReaderSource source(driver, reader);
            // Where each frame ends, in ms.
            std::vector<double> ends;
            for (const int delay : c.delays)
                ends.push_back((ends.empty() ? 0.0 : ends.back()) + (delay > 0 ? delay * 10.0 : 100.0));
            EXPECT_EQ(source.getDuration(), ends.back());

            // The play head moved by the test's clock alone: the DataDriver
            // takes no part.
            ASSERT_NE(source.render(*renderer, info).get(), nullptr);
            driver.removeSource(&source);
            source.start(false, TimeUnit());
            TimeInfo clock(0.0);
            std::vector<double> shownFor(c.delays.size(), 0.0);
            std::vector<long> order;
            const double step = 5.0;
            // Two loops, each step rendered.
            for (int n = 1; n * step < 2.0 * ends.back(); ++n)
            {
                clock.increment(step);
                source.update(clock);
                source.updateVideo();
                const Picture picture = readOutput(source.render(*renderer, info));
                ASSERT_GE(picture.width, 4);
                const long frame = picture.at(1, 1).r / 20;
                ASSERT_TRUE(frame >= 0 && frame < long(c.delays.size())) << picture.at(1, 1);
                const double at = source.getPosition();
                // The clock's steps add up to a hair short of a frame's end
                // they reach in exact figures: the next frame is due there.
                const long expected =
                    long(std::upper_bound(ends.begin(), ends.end(), at + at * 1e-9) - ends.begin());
                EXPECT_EQ(frame, std::min(expected, long(ends.size()) - 1)) << "at " << at << " ms";
                shownFor[size_t(frame)] += step;
                if (order.empty() || order.back() != frame)
                    order.push_back(frame);
            }
            source.stop(TimeUnit());
            // Each frame in order, twice, for its own delay.
            std::vector<long> twice(c.delays.size());
            std::iota(twice.begin(), twice.end(), 0L);
            twice.insert(twice.end(), twice.begin(), twice.end());
            EXPECT_EQ(order, twice);
            for (std::size_t i = 0; i < c.delays.size(); ++i)
                EXPECT_NEAR(shownFor[i], 2.0 * (ends[i] - (i > 0 ? ends[i - 1] : 0.0)), 2.0 * step) << "frame " << i;
            source.release();
        }
    }
}
