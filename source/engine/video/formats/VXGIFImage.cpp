#include "engine/video/formats/VXGIFImage.h"

#include "core/VXLog.h"
#include "engine/video/formats/VXPixels.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace vx
{
    GIFImage::GIFImage(const char* path, bool keep) : keepSnapshots(keep)
    {
        int error = 0;
        gif = path != nullptr ? DGifOpenFileName(path, &error) : nullptr;
        if (gif == nullptr)
            return;
        if (DGifSlurp(gif) != GIF_OK || gif->SWidth <= 0 || gif->SHeight <= 0 || gif->SWidth > maxCanvasSide ||
            gif->SHeight > maxCanvasSide)
        {
            DGifCloseFile(gif, &error);
            gif = nullptr;
            return;
        }
        if (! imagesPaintTheCanvas())
        {
            logPrint(logError, "GIFImage: %s claims a %d x %d canvas its images do not paint: refused\n", path,
                     gif->SWidth, gif->SHeight);
            DGifCloseFile(gif, &error);
            gif = nullptr;
            return;
        }
        canvas = static_cast<unsigned char*>(std::malloc(canvasBytes()));
        if (canvas == nullptr)
            return;

        for (int i = 0; i < gif->ImageCount; ++i)
        {
            auto frame = std::make_unique<GIFFrame>();
            frame->imageIndex = i;
            frame->control.TransparentColor = NO_TRANSPARENT_COLOR;
            if (DGifSavedExtensionToGCB(gif, i, &frame->control) == GIF_OK)
            {
                frame->hasControlBlock = true;
                const int delayMs = frame->control.DelayTime * 10;
                duration += delayMs;
                if (minimumDelay == 0 || delayMs < minimumDelay)
                    minimumDelay = delayMs;
                if (frame->control.TransparentColor == gif->SBackGroundColor)
                    transparentBackground = true;
            }
            else
            {
                frame->control = GraphicsControlBlock{};
                frame->control.TransparentColor = NO_TRANSPARENT_COLOR;
            }
            frames.push_back(std::move(frame));
        }
        loadAllImages();
    }

    GIFImage::~GIFImage()
    {
        discardAllImages();
        std::free(canvas);
        if (gif != nullptr)
        {
            int error = 0;
            DGifCloseFile(gif, &error);
        }
    }

    bool GIFImage::imagesPaintTheCanvas() const
    {
        // The images' pixels were decoded from the file's data, so their
        // areas are what the file can back; the canvas beyond them is only
        // ever background.
        const std::uint64_t canvasPixels = std::uint64_t(gif->SWidth) * std::uint64_t(gif->SHeight);
        if (canvasPixels <= maxUnpaintedCanvasPixels)
            return true;
        std::uint64_t painted = 0;
        for (int i = 0; i < gif->ImageCount; ++i)
        {
            const GifImageDesc& image = gif->SavedImages[i].ImageDesc;
            const long left = std::max(0L, long(image.Left)), top = std::max(0L, long(image.Top));
            const long right = std::min(long(gif->SWidth), long(image.Left) + image.Width);
            const long bottom = std::min(long(gif->SHeight), long(image.Top) + image.Height);
            if (right > left && bottom > top)
                painted += std::uint64_t(right - left) * std::uint64_t(bottom - top);
        }
        return painted * 2 >= canvasPixels;
    }

    std::size_t GIFImage::canvasBytes() const
    {
        return static_cast<std::size_t>(gif->SWidth) * static_cast<std::size_t>(gif->SHeight) * 4;
    }

    const ColorMapObject* GIFImage::firstColorMap() const
    {
        if (gif->ImageCount > 0 && gif->SavedImages[0].ImageDesc.ColorMap != nullptr)
            return gif->SavedImages[0].ImageDesc.ColorMap;
        return gif->SColorMap;
    }

    bool GIFImage::loadAllImages()
    {
        if (loaded)
            return true;
        if (! isValid())
            return false;
        fillBackground(firstColorMap(), 0, 0, 0, 0);
        for (unsigned i = 0; i < frames.size(); ++i)
            if (getFrame(i) == nullptr)
                return false;
        loaded = true;
        return true;
    }

    void GIFImage::fillBackground(const ColorMapObject* colorMap, unsigned left, unsigned top, unsigned width,
                                  unsigned height)
    {
        if (canvas == nullptr)
            return;
        const unsigned canvasWidth = static_cast<unsigned>(gif->SWidth), canvasHeight = static_cast<unsigned>(gif->SHeight);
        if (width == 0 && height == 0 && left == 0 && top == 0)
        {
            width = canvasWidth;
            height = canvasHeight;
        }
        unsigned char colour[4] = {0, 0, 0, static_cast<unsigned char>(transparentBackground ? 0 : 255)};
        if (colorMap != nullptr && gif->SBackGroundColor >= 0 && gif->SBackGroundColor < colorMap->ColorCount)
        {
            const GifColorType& c = colorMap->Colors[gif->SBackGroundColor];
            colour[0] = c.Red;
            colour[1] = c.Green;
            colour[2] = c.Blue;
        }
        const unsigned right = std::min(canvasWidth, left + width), bottom = std::min(canvasHeight, top + height);
        for (unsigned y = top; y < bottom; ++y)
            for (unsigned x = left; x < right; ++x)
                std::memcpy(canvas + (static_cast<std::size_t>(y) * canvasWidth + x) * 4, colour, 4);
    }

    unsigned char* GIFImage::getFrame(unsigned index)
    {
        if (frames.empty() || canvas == nullptr)
            return nullptr;
        index = std::min<unsigned>(index, static_cast<unsigned>(frames.size()) - 1);
        for (auto& frame : frames)
            frame->frame.reset();
        GIFFrame& frame = *frames[index];

        if (frame.hasSnapshot)
        {
            // One picture serves every decompression while nobody else holds it.
            if (scratch == nullptr || scratch.use_count() > 1)
                scratch = std::make_shared<Pixels>(gif->SWidth, gif->SHeight, 4, static_cast<const unsigned char*>(nullptr));
            const unsigned bytes = static_cast<unsigned>(canvasBytes());
            if (scratch->data == nullptr || frame.snapshot.data == nullptr ||
                LZFPixelsCompressor::decompress(frame.snapshot.data, static_cast<unsigned>(frame.snapshot.size),
                                                scratch->data, bytes) != bytes)
                return nullptr;
            frame.frame = scratch;
            return frame.frame->data;
        }

        const SavedImage& image = gif->SavedImages[frame.imageIndex];
        const ColorMapObject* colorMap = image.ImageDesc.ColorMap != nullptr ? image.ImageDesc.ColorMap : gif->SColorMap;
        if (colorMap == nullptr || image.RasterBits == nullptr)
            return nullptr;
        std::vector<unsigned char> saved;
        if (frame.control.DisposalMode == DISPOSE_PREVIOUS)
            saved.assign(canvas, canvas + canvasBytes());

        // The image's rectangle, clipped to the canvas; the raster runs over
        // the whole rectangle.
        const long canvasWidth = gif->SWidth, canvasHeight = gif->SHeight;
        const long left = image.ImageDesc.Left, top = image.ImageDesc.Top;
        const long width = image.ImageDesc.Width, height = image.ImageDesc.Height;
        const int transparent = frame.control.TransparentColor;
        for (long y = 0; y < height; ++y)
        {
            const long cy = top + y;
            if (cy < 0 || cy >= canvasHeight)
                continue;
            for (long x = 0; x < width; ++x)
            {
                const long cx = left + x;
                if (cx < 0 || cx >= canvasWidth)
                    continue;
                const int colourIndex = image.RasterBits[y * width + x];
                if (colourIndex >= colorMap->ColorCount)
                    continue; // no such colour: the pixel stays
                unsigned char* pixel = canvas + (static_cast<std::size_t>(cy) * canvasWidth + cx) * 4;
                if (colourIndex != transparent || pixel[3] < 255)
                {
                    const GifColorType& c = colorMap->Colors[colourIndex];
                    pixel[0] = c.Red;
                    pixel[1] = c.Green;
                    pixel[2] = c.Blue;
                    pixel[3] = colourIndex == transparent ? 0 : 255;
                }
            }
        }

        if (keepSnapshots)
        {
            // The canvas as a 4-byte image of its size through the LZF pixel
            // compressor; only the compressed bytes are kept.
            const Pixels wrapped(gif->SWidth, gif->SHeight, 4, canvas);
            if (! compressor.compress(&wrapped, frame.snapshot))
                return nullptr;
            frame.hasSnapshot = true;
        }
        if (frame.control.DisposalMode == DISPOSE_BACKGROUND)
            fillBackground(firstColorMap(), 0, 0, 0, 0);
        else if (frame.control.DisposalMode == DISPOSE_PREVIOUS)
            std::memcpy(canvas, saved.data(), canvasBytes());
        return canvas;
    }

    unsigned GIFImage::findFrameForTime(double ms) const
    {
        double end = 0.0;
        for (unsigned i = 0; i < frames.size(); ++i)
        {
            end += frames[i]->control.DelayTime * 10.0;
            if (end >= ms)
                return i;
        }
        return 0;
    }

    int GIFImage::getFrameDelay(unsigned index) const
    {
        return index < frames.size() ? frames[index]->control.DelayTime * 10 : 0;
    }

    void GIFImage::discardAllImages()
    {
        for (auto& frame : frames)
        {
            frame->frame.reset();
            frame->snapshot.allocateData(0);
            frame->snapshot.size = 0;
            frame->hasSnapshot = false;
        }
        loaded = false;
    }
}
