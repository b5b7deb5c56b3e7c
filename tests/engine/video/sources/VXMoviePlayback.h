#pragma once

// Playing a movie file as a file source the way a host does: the source reads
// at its play head and the render uploads.

#include "engine/renderpasses/VXRenderPassTestSupport.h"
#include "engine/video/sources/VXVideoFormatReaderSource.h"
#include "engine/video/sources/VXVideoSourceDataDriver.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace vx::test
{
    // The w x h corner of a picture read back from a pooled (larger) texture.
    inline Picture cutTo(const Picture& whole, int w, int h)
    {
        Picture cut{std::min(whole.width, w), std::min(whole.height, h), {}};
        for (int y = 0; y < cut.height; ++y)
            for (int x = 0; x < cut.width; ++x)
                cut.pixels.push_back(whole.at(x, y));
        return cut;
    }

    // Plays source with its play head held in the middle of its first frame
    // (at fps), rendering until the output read back satisfies shows; a
    // minute is only the watchdog. A play head run on with the clock would
    // race the decoder: on a loaded machine a seek can take longer than a
    // frame, and what lands has already been passed. Answers the last output
    // (empty when none came), cut to the source's size from its pooled
    // texture. The DataDriver's pass is made here, on this thread: the play
    // head is a plain parameter, not for two threads.
    template <typename Shows>
    Picture playUntil(VideoFormatReaderSource& source, VideoSourceDataDriver& driver, Renderer& renderer,
                      const RenderInfo& info, double fps, Shows shows)
    {
        source.render(renderer, info);
        driver.removeSource(&source);
        source.getPositionParam()->setValue(0.5 * 1000.0 / fps, ValueChangeInfo());
        Picture shown;
        const auto watchdog = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (! shows(shown) && std::chrono::steady_clock::now() < watchdog)
        {
            source.updateVideo();
            const TextureRef output = source.render(renderer, info);
            if (output.get() != nullptr)
                shown = cutTo(readBack(*output.get()), source.getWidth(), source.getHeight());
            if (! shows(shown))
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return shown;
    }
}
