#pragma once

#include <gif_lib.h>

#include <cstddef>
#include <memory>
#include <vector>

#include "engine/video/codecs/VXLZFPixelsCompressor.h"

namespace vx
{
    // One image of a GIF file: its control block (disposal, delay in
    // hundredths of a second, transparent index), its place in the file and,
    // for some frames, the canvas as the frame finds it, kept LZF-compressed.
    struct GIFFrame
    {
        bool hasControlBlock = false;
        GraphicsControlBlock control{};
        int imageIndex = 0;
        // The canvas before this frame is drawn (the frames before it drawn
        // and disposed of), LZF-compressed; empty unless hasBase.
        CompressedPixels base;
        bool hasBase = false;
    };

    // A whole GIF file decoded with giflib and composed frame by frame onto
    // one RGBA canvas (disposal methods and transparency as the file says).
    // What a file costs is bounded by its canvas and its own data, never by
    // frames times canvas: drawing a frame, disposing of it to the background
    // or restoring what it covered touches the pixels it and the frames
    // before it painted, not the whole canvas; the canvas is kept compressed
    // (a base) only where the frames since the last base have painted a
    // canvas's worth, and a frame is shown again at random from the base
    // before it, drawing the frames in between. So a few kilobytes of
    // one-pixel frames on a large canvas cost one canvas and one base. The
    // canvas itself is bounded: past maxCanvasPixels (or maxCanvasSide) the
    // header's claim is refused, with a line, before its images are read. A
    // file giflib cannot read leaves the image invalid with no frames. Not
    // thread-safe: one thread at a time.
    class GIFImage
    {
    public:
        static constexpr int maxCanvasSide = 16384;
        // 8192 x 8192: 256 MB a picture; a reader holds the canvas and the
        // frame it hands out.
        static constexpr unsigned long long maxCanvasPixels = 8192ull * 8192;

        // Without keepSnapshots no base is kept: a frame shown again is drawn
        // from the first.
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
        // Valid until the next call. The next frame costs what it paints;
        // another one at most the restoring of a base and a canvas's worth
        // of drawing.
        unsigned char* getFrame(unsigned index);
        // Fills the canvas with the background colour (alpha 0 when the
        // background is transparent); all-zero sizes mean the whole canvas.
        void fillBackground(const ColorMapObject* colorMap, unsigned left, unsigned top, unsigned width,
                            unsigned height);
        // The first frame whose accumulated delay reaches ms; 0 beyond the end.
        unsigned findFrameForTime(double ms) const;
        // Frees the bases; the next frame is drawn from the first.
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
        // What composing has cost so far: canvas pixels drawn, filled,
        // restored or compressed into bases.
        unsigned long long getWork() const { return work; }
        // The bytes kept for the frames: the canvas, the compressed bases and
        // a covered rectangle waiting to be restored.
        unsigned long long getKeptBytes() const;

    private:
        // A rectangle of the canvas.
        struct Area
        {
            long left = 0, top = 0, right = 0, bottom = 0;
            unsigned long long pixels() const
            {
                return right > left && bottom > top ? static_cast<unsigned long long>(right - left) * (bottom - top)
                                                    : 0;
            }
        };

        const ColorMapObject* firstColorMap() const;
        std::size_t canvasBytes() const;
        unsigned long long canvasPixels() const;
        // The image's rectangle clipped to the canvas.
        Area areaOf(const SavedImage& image) const;
        // The canvas as frame index finds it: the background for 0, else its base.
        bool restoreBase(unsigned index);
        // Disposes of the frame shown, then draws the next one; false when
        // it has no colour map or a base cannot be kept.
        bool drawNext();
        void disposeShown();
        // Fills with the background what may differ from it.
        void clearPainted();

        bool loaded = false;
        bool transparentBackground = false;
        int duration = 0;
        bool keepSnapshots;
        int minimumDelay = 0;
        unsigned char* canvas = nullptr;
        GifFileType* gif = nullptr;
        std::vector<std::unique_ptr<GIFFrame>> frames;

        // The next frame to draw onto the canvas; the one before it is shown
        // with its disposal still to come (when shownPending). Negative: the
        // canvas holds nothing known yet.
        long next = -1;
        bool shownPending = false;
        // Disposal 3: what the shown frame covered, as it was.
        Area covered;
        std::vector<unsigned char> coveredPixels;
        // Where the canvas may differ from the background (everywhere when
        // allPainted).
        std::vector<Area> painted;
        unsigned long long paintedPixels = 0;
        bool allPainted = true;
        // Drawing since the last base, and in all.
        unsigned long long workSinceBase = 0;
        unsigned long long work = 0;
    };
}
