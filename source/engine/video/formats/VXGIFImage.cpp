#include "engine/video/formats/VXGIFImage.h"

#include "core/VXLog.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

namespace vx
{
    GIFImage::GIFImage(const char* path, bool keep) : keepSnapshots(keep)
    {
        int error = 0;
        gif = path != nullptr ? DGifOpenFileName(path, &error) : nullptr;
        if (gif == nullptr)
            return;
        // The header's canvas is judged before a byte of the images is read.
        if (gif->SWidth > maxCanvasSide || gif->SHeight > maxCanvasSide || canvasPixels() > maxCanvasPixels)
        {
            logPrint(logError, "GIFImage: %s claims a %d x %d canvas, more than %llu pixels: refused\n", path,
                     gif->SWidth, gif->SHeight, maxCanvasPixels);
            DGifCloseFile(gif, &error);
            gif = nullptr;
            return;
        }
        if (DGifSlurp(gif) != GIF_OK || gif->SWidth <= 0 || gif->SHeight <= 0)
        {
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

    std::size_t GIFImage::canvasBytes() const
    {
        return static_cast<std::size_t>(gif->SWidth) * static_cast<std::size_t>(gif->SHeight) * 4;
    }

    unsigned long long GIFImage::canvasPixels() const
    {
        return static_cast<unsigned long long>(gif->SWidth) * static_cast<unsigned long long>(gif->SHeight);
    }

    unsigned long long GIFImage::getKeptBytes() const
    {
        unsigned long long bytes = canvas != nullptr ? canvasBytes() : 0;
        for (const auto& frame : frames)
            bytes += frame->hasBase ? static_cast<unsigned long long>(frame->base.size) : 0;
        return bytes + coveredPixels.capacity();
    }

    GIFImage::Area GIFImage::areaOf(const SavedImage& image) const
    {
        const GifImageDesc& d = image.ImageDesc;
        return Area{std::max(0L, long(d.Left)), std::max(0L, long(d.Top)),
                    std::min(long(gif->SWidth), long(d.Left) + d.Width),
                    std::min(long(gif->SHeight), long(d.Top) + d.Height)};
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
        if (right > left && bottom > top)
            work += static_cast<unsigned long long>(right - left) * (bottom - top);
    }

    void GIFImage::clearPainted()
    {
        if (allPainted)
            fillBackground(firstColorMap(), 0, 0, 0, 0);
        else
            for (const Area& a : painted)
                fillBackground(firstColorMap(), unsigned(a.left), unsigned(a.top), unsigned(a.right - a.left),
                               unsigned(a.bottom - a.top));
        painted.clear();
        paintedPixels = 0;
        allPainted = false;
    }

    bool GIFImage::restoreBase(unsigned index)
    {
        shownPending = false;
        coveredPixels.clear();
        workSinceBase = 0;
        if (index == 0)
        {
            // The canvas is known (but for the first time): what was painted is cleared.
            allPainted = allPainted || next < 0;
            clearPainted();
        }
        else
        {
            const CompressedPixels& base = frames[index]->base;
            const unsigned bytes = static_cast<unsigned>(canvasBytes());
            if (base.data == nullptr ||
                LZFPixelsCompressor::decompress(base.data, static_cast<unsigned>(base.size), canvas, bytes) != bytes)
            {
                next = -1;
                return false;
            }
            work += canvasPixels();
            painted.clear();
            paintedPixels = 0;
            allPainted = true;
        }
        next = index;
        return true;
    }

    void GIFImage::disposeShown()
    {
        if (! shownPending)
            return;
        shownPending = false;
        const GIFFrame& shown = *frames[static_cast<std::size_t>(next - 1)];
        if (shown.control.DisposalMode == DISPOSE_BACKGROUND)
            clearPainted();
        else if (shown.control.DisposalMode == DISPOSE_PREVIOUS && ! coveredPixels.empty())
        {
            // Only the frame's rectangle changed: it alone is put back.
            const std::size_t row = static_cast<std::size_t>(covered.right - covered.left) * 4;
            for (long y = covered.top; y < covered.bottom; ++y)
                std::memcpy(canvas + (static_cast<std::size_t>(y) * gif->SWidth + covered.left) * 4,
                            coveredPixels.data() + static_cast<std::size_t>(y - covered.top) * row, row);
            work += covered.pixels();
        }
        coveredPixels.clear();
    }

    bool GIFImage::drawNext()
    {
        GIFFrame& frame = *frames[static_cast<std::size_t>(next)];
        const SavedImage& image = gif->SavedImages[frame.imageIndex];
        const ColorMapObject* colorMap = image.ImageDesc.ColorMap != nullptr ? image.ImageDesc.ColorMap : gif->SColorMap;
        if (colorMap == nullptr || image.RasterBits == nullptr)
            return false;
        disposeShown();

        if (frame.hasBase)
            workSinceBase = 0;
        else if (keepSnapshots && next > 0 && workSinceBase >= canvasPixels())
        {
            // The frames since the last base painted a canvas's worth: keep
            // the canvas here, so showing any frame draws at most that much.
            const unsigned size = static_cast<unsigned>(canvasBytes());
            const unsigned bound = size + size / 16 + 67;
            const std::unique_ptr<unsigned char[]> packed(new (std::nothrow) unsigned char[bound]);
            const unsigned length =
                packed != nullptr ? LZFPixelsCompressor::compress(canvas, size, packed.get(), bound) : 0;
            if (length == 0 || ! frame.base.allocateData(long(length)))
                return false;
            std::memcpy(frame.base.data, packed.get(), length);
            frame.base.size = long(length);
            frame.base.width = gif->SWidth;
            frame.base.height = gif->SHeight;
            frame.base.bytesPerPixel = 4;
            frame.hasBase = true;
            work += canvasPixels();
            workSinceBase = 0;
        }

        const Area area = areaOf(image);
        if (frame.control.DisposalMode == DISPOSE_PREVIOUS && area.pixels() > 0)
        {
            covered = area;
            const std::size_t row = static_cast<std::size_t>(area.right - area.left) * 4;
            coveredPixels.resize(row * static_cast<std::size_t>(area.bottom - area.top));
            for (long y = area.top; y < area.bottom; ++y)
                std::memcpy(coveredPixels.data() + static_cast<std::size_t>(y - area.top) * row,
                            canvas + (static_cast<std::size_t>(y) * gif->SWidth + area.left) * 4, row);
        }

        // The raster runs over the whole image; only its part on the canvas is drawn.
        const long width = image.ImageDesc.Width;
        const long left = image.ImageDesc.Left, top = image.ImageDesc.Top;
        const int transparent = frame.control.TransparentColor;
        for (long cy = area.top; cy < area.bottom; ++cy)
            for (long cx = area.left; cx < area.right; ++cx)
            {
                const int colourIndex = image.RasterBits[(cy - top) * width + (cx - left)];
                if (colourIndex >= colorMap->ColorCount)
                    continue; // no such colour: the pixel stays
                unsigned char* pixel = canvas + (static_cast<std::size_t>(cy) * gif->SWidth + cx) * 4;
                if (colourIndex != transparent || pixel[3] < 255)
                {
                    const GifColorType& c = colorMap->Colors[colourIndex];
                    pixel[0] = c.Red;
                    pixel[1] = c.Green;
                    pixel[2] = c.Blue;
                    pixel[3] = colourIndex == transparent ? 0 : 255;
                }
            }
        work += area.pixels();
        workSinceBase += area.pixels();
        if (area.pixels() > 0 && ! allPainted)
        {
            painted.push_back(area);
            paintedPixels += area.pixels();
            // Past a canvas's worth of rectangles the whole canvas is cleared at once.
            if (paintedPixels >= canvasPixels())
            {
                allPainted = true;
                painted.clear();
            }
        }
        shownPending = true;
        ++next;
        return true;
    }

    unsigned char* GIFImage::getFrame(unsigned index)
    {
        if (frames.empty() || canvas == nullptr)
            return nullptr;
        index = std::min<unsigned>(index, static_cast<unsigned>(frames.size()) - 1);
        if (shownPending && next == long(index) + 1)
            return canvas;
        // From the base before the frame, unless the canvas is on the way there.
        unsigned base = index;
        while (base > 0 && ! frames[base]->hasBase)
            --base;
        if (next < long(base) || next > long(index))
            if (! restoreBase(base))
                return nullptr;
        while (next <= long(index))
            if (! drawNext())
                return nullptr;
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
            frame->base.allocateData(0);
            frame->base.size = 0;
            frame->hasBase = false;
        }
        coveredPixels = {};
        shownPending = false;
        next = -1;
        loaded = false;
    }
}
