#pragma once

#include <gif_lib.h>

#include <string>
#include <vector>

namespace vx::test
{
    // A GIF file written through giflib's encoder.
    struct RawGifFrame
    {
        int left = 0, top = 0, width = 0, height = 0;
        std::vector<unsigned char> indexes; // width x height, rows first
        bool control = true;
        int delay = 10;    // hundredths of a second
        int disposal = 0;
        int transparent = NO_TRANSPARENT_COLOR;
        std::vector<GifColorType> localMap; // empty: the global one
    };

    struct RawGif
    {
        int width = 0, height = 0, background = 0;
        std::vector<GifColorType> globalMap; // a power of two of entries
        std::vector<RawGifFrame> frames;
    };

    inline bool writeGif(const std::string& path, const RawGif& g)
    {
        int error = 0;
        GifFileType* gif = EGifOpenFileName(path.c_str(), false, &error);
        if (gif == nullptr)
            return false;
        EGifSetGifVersion(gif, true);
        ColorMapObject* global = g.globalMap.empty()
                                     ? nullptr
                                     : GifMakeMapObject(static_cast<int>(g.globalMap.size()), g.globalMap.data());
        bool ok = EGifPutScreenDesc(gif, g.width, g.height, 8, g.background, global) == GIF_OK;
        for (const RawGifFrame& f : g.frames)
        {
            if (f.control)
            {
                GraphicsControlBlock gcb{f.disposal, false, f.delay, f.transparent};
                GifByteType extension[4];
                const size_t size = EGifGCBToExtension(&gcb, extension);
                ok = ok && EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(size), extension) == GIF_OK;
            }
            ColorMapObject* local =
                f.localMap.empty() ? nullptr : GifMakeMapObject(static_cast<int>(f.localMap.size()), f.localMap.data());
            ok = ok && EGifPutImageDesc(gif, f.left, f.top, f.width, f.height, false, local) == GIF_OK;
            for (int y = 0; y < f.height && ok; ++y)
                ok = EGifPutLine(gif, const_cast<GifPixelType*>(f.indexes.data() + y * f.width), f.width) == GIF_OK;
            GifFreeMapObject(local);
        }
        GifFreeMapObject(global);
        ok = EGifCloseFile(gif, &error) == GIF_OK && ok;
        return ok;
    }
}
