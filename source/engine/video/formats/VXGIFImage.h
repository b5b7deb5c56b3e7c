#pragma once

#include <gif_lib.h>

#include <memory>
#include <vector>

#include "engine/video/codecs/VXLZFPixelsCompressor.h"

namespace vx
{
    class Pixels;

    // One image of a GIF file: its control block (disposal, delay in
    // hundredths of a second, transparent index), its place in the file and
    // the composed canvas after it, kept LZF-compressed.
    struct GIFFrame
    {
        bool hasControlBlock = false;
        GraphicsControlBlock control{};
        int imageIndex = 0;
        // The composed canvas after this frame, LZF-compressed; empty until composed.
        CompressedPixels snapshot;
        bool hasSnapshot = false;
        // The decompressed snapshot while this is the current frame.
        std::shared_ptr<Pixels> frame;
    };

    // A whole GIF file decoded with giflib and composed frame by frame onto
    // one RGBA canvas (disposal methods and transparency as the file says);
    // every composed frame is kept as a compressed snapshot, so any frame can
    // be shown again at random. A file giflib cannot read leaves the image
    // invalid with no frames. So does a canvas its images do not paint:
    // each frame costs the whole canvas (composed, kept, restored), and a
    // header's claim must be backed by the file's data. Past
    // maxUnpaintedCanvasPixels, the images' areas on the canvas must add up
    // to half of it at least (a few kilobytes claiming 16384 x 16384 for
    // images of a pixel are refused, with a line; a large picture whose
    // first image fills its canvas is not). Not thread-safe: one thread at a
    // time.
    class GIFImage
    {
    public:
        static constexpr int maxCanvasSide = 16384;
        static constexpr unsigned long long maxUnpaintedCanvasPixels = 2048ull * 2048;

        GIFImage(const char* path, bool keepSnapshots);
        ~GIFImage();
        GIFImage(const GIFImage&) = delete;
        GIFImage& operator=(const GIFImage&) = delete;

        // The file was read and its canvas made.
        bool isValid() const { return gif != nullptr && canvas != nullptr; }
        // Composes every frame once; false when a frame has no colour map.
        bool loadAllImages();
        // The canvas (screen width x height x 4 bytes, RGBA, top row first) for
        // frame min(index, count - 1); null without frames or colour map.
        // Valid until the next call.
        unsigned char* getFrame(unsigned index);
        // Fills the canvas with the background colour (alpha 0 when the
        // background is transparent); all-zero sizes mean the whole canvas.
        void fillBackground(const ColorMapObject* colorMap, unsigned left, unsigned top, unsigned width,
                            unsigned height);
        // The first frame whose accumulated delay reaches ms; 0 beyond the end.
        unsigned findFrameForTime(double ms) const;
        void discardAllImages();

        unsigned getNumFrames() const { return static_cast<unsigned>(frames.size()); }
        int getDuration() const { return duration; }
        // Frame index's delay in milliseconds (0 without a control block or
        // outside the frames).
        int getFrameDelay(unsigned index) const;
        int getMininumDelay() const { return minimumDelay; }
        int getCanvasWidth() const { return gif != nullptr ? gif->SWidth : 0; }
        int getCanvasHeight() const { return gif != nullptr ? gif->SHeight : 0; }
        int getBitDepth() const { return 4; }
        bool isTransparentBackground() const { return transparentBackground; }

    private:
        const ColorMapObject* firstColorMap() const;
        // The canvas is small, or its images cover half of it at least.
        bool imagesPaintTheCanvas() const;
        std::size_t canvasBytes() const;

        bool loaded = false;
        bool transparentBackground = false;
        int duration = 0;
        bool keepSnapshots;
        int minimumDelay = 0;
        LZFPixelsCompressor compressor;
        unsigned char* canvas = nullptr;
        std::shared_ptr<Pixels> scratch;
        GifFileType* gif = nullptr;
        std::vector<std::unique_ptr<GIFFrame>> frames;
    };
}
