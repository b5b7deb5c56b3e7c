#pragma once

// Playing a movie file as a file source the way a host does: the play head
// moves a frame per render while the DataDriver reads and the render uploads.

#include "engine/renderpasses/VXRenderPassTestSupport.h"
#include "engine/video/sources/VXVideoFormatReaderSource.h"

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

    // Renders source with its play head on frame 0, 1, ... frames - 1, 0, ...
    // until the output read back satisfies shows, for ten seconds at most (a
    // loaded machine decodes slowly); answers the last output (empty when
    // none came), cut to the source's size from its pooled texture.
    template <typename Shows>
    Picture playUntil(VideoFormatReaderSource& source, Renderer& renderer, const RenderInfo& info, int frames,
                      double fps, Shows shows)
    {
        Picture shown;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        for (int attempt = 0; std::chrono::steady_clock::now() < deadline; ++attempt)
        {
            source.getPositionParam()->setValue(((attempt % frames) + 0.5) * 1000.0 / fps, ValueChangeInfo());
            const TextureRef output = source.render(renderer, info);
            if (output.get() != nullptr)
                shown = cutTo(readBack(*output.get()), source.getWidth(), source.getHeight());
            if (shows(shown))
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(3));
        }
        return shown;
    }
}
