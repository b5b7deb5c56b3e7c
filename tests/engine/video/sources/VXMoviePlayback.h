#pragma once

// Playing a movie file as a file source the way a host does: the play head
// moves with the clock, the source reads at it and the render uploads.

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

    // Plays source as a host does, its play head following the clock and
    // looping over frames, rendering until the output read back satisfies
    // shows, for ten seconds at most (a loaded machine decodes slowly);
    // answers the last output (empty when none came), cut to the source's
    // size from its pooled texture. The DataDriver's pass is made here,
    // between moves of the play head: the play head is a plain parameter,
    // not guarded against the DataDriver's thread.
    template <typename Shows>
    Picture playUntil(VideoFormatReaderSource& source, VideoSourceDataDriver& driver, Renderer& renderer,
                      const RenderInfo& info, int frames, double fps, Shows shows)
    {
        source.render(renderer, info);
        driver.removeSource(&source);
        Picture shown;
        const auto start = std::chrono::steady_clock::now();
        const auto deadline = start + std::chrono::seconds(10);
        for (auto now = start; now < deadline; now = std::chrono::steady_clock::now())
        {
            const double seconds = std::chrono::duration<double>(now - start).count();
            const long frame = static_cast<long>(seconds * fps) % frames;
            source.getPositionParam()->setValue((frame + 0.5) * 1000.0 / fps, ValueChangeInfo());
            source.updateVideo();
            const TextureRef output = source.render(renderer, info);
            if (output.get() != nullptr)
                shown = cutTo(readBack(*output.get()), source.getWidth(), source.getHeight());
            if (shows(shown))
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return shown;
    }
}
