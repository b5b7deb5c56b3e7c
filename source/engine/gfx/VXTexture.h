#pragma once

#include "core/VXMatrix4x4.h"
#include "core/VXVec4.h"
#include "engine/gfx/VXGfxObject.h"
#include "engine/gfx/VXScopedTextureBinding.h"
#include "engine/gfx/VXTextureFormat.h"

#include <cstdint>
#include <deque>
#include <optional>

namespace vx
{

    class File;
    class Renderer;
    class TextureRef;

    /** A texture held by someone else (a decoder, a capture device), described
        for adoption with Texture::setGLData. */
    struct TextureInfo
    {
        int width = 0;
        int height = 0;
        int hardwareWidth = 0;
        int hardwareHeight = 0;
        long target = 0;
        long name = 0;
        unsigned int minFilter = 0;
        unsigned int magFilter = 0;
    };

    /** The engine's handle on one OpenGL texture. Textures made here are
        GL_TEXTURE_2D, padded to a power of two where the card needs it (the
        logical size is what callers asked for, the hardware size what GL holds).
        A texture may instead adopt a foreign GL texture (the host's input), which
        it never deletes. Every call runs on the render thread with a GL context
        current; calls that bind the texture restore the previous 2D binding. */
    class Texture : public GfxObject
    {
    public:
        enum WRAP
        {
            CLAMP_TO_EDGE = 0,
            CLAMP = 1,
            REPEAT = 2
        };
        enum FILTER
        {
            NEAREST = 0,
            LINEAR = 1
        };
        enum LOCKFLAGS
        {
            LOCK_READ = 1,
            LOCK_WRITE = 2
        };

        /** The named layouts, built at load. */
        static const TextureFormat UNKNOWN_FORMAT;
        static const TextureFormat RGBA8test;
        static const TextureFormat RGBA8;
        static const TextureFormat RGB8;
        static const TextureFormat BGRA8;
        static const TextureFormat BGR8;
        static const TextureFormat A8;
        static const TextureFormat I8;
        static const TextureFormat I16I;
        static const TextureFormat I16F;
        static const TextureFormat LA8;
        static const TextureFormat LA16;
        static const TextureFormat RGBA16F;
        static const TextureFormat RGBA16I;
        static const TextureFormat R32F;
        static const TextureFormat RGBA32F;
        static const TextureFormat DXT1_RGB;
        static const TextureFormat DXT1_RGBA;
        static const TextureFormat DXT5_RGBA;
        static const TextureFormat RED_RGTC1;
        static const TextureFormat RG_RGTC2;
        /** 4:2:2 video layout. No GL here supports it: creating one is refused. */
        static const TextureFormat YCBCR_422;

        /** Filters of newly created textures; process-wide. */
        static FILTER defaultFilter;

        Texture();
        ~Texture() override;

        /** Releases any GL texture. */
        void init();
        /** Deletes the GL texture unless foreign; empties sizes, name and filter
            stacks; keeps the format. */
        void release() override;

        /** A zero-filled texture of w x h in the format. */
        bool create(int w, int h, const TextureFormat& format);
        /** A texture of w x h from data: w x h pixels of bytesPerPixel, rows
            packed (compressed formats: whole 4x4 blocks, ceil(w/4) x ceil(h/4)).
            Null data gives a zero-filled texture. False (logged) for a size of 0
            or above the maximum texture size, or a format GL here cannot hold. */
        bool create(const void* data, int w, int h, const TextureFormat& format);

        bool update(const void* data, int w, int h);
        /** Uploads a w x h rectangle at (x, y); 0 for w or h means to the edge.
            False (logged) for a rectangle outside the texture or no GL name. */
        bool update(const void* data, int x, int y, int w, int h);
        /** Uploads w x h pixels at (0, 0) from rows bytesPerRow apart (padded
            rows, read in place). False (logged) for a compressed format, a
            stride that is not a whole number of pixels or shorter than a row,
            or what update refuses. */
        bool updateRows(const void* data, int w, int h, int bytesPerRow);

        /** Relabels to w x h when that fits the hardware size, else recreates
            (contents lost). False without a GL name. */
        bool resize(int w, int h);

        uint16_t getWidth() const { return width; }
        uint16_t getHeight() const { return height; }
        int getHardwareWidth() const { return hardwareWidth; }
        int getHardwareHeight() const { return hardwareHeight; }
        const TextureFormat& getFormat() const { return format; }
        bool isValid() const { return glName != 0; }
        bool isCompressed() const { return format.compressed; }
        bool isForeign() const { return foreign; }
        unsigned int getGLName() const { return glName; }
        /** Names the GL texture held now, process-wide: a new value whenever
            the object comes to hold another (create, adopting another name),
            0 while it holds none. A freed object's address reused, or a name
            GL hands out again, never repeats it. */
        uint64_t getSerial() const { return serial; }
        long getTarget() const { return target; }
        float getMaxU() const { return maxU; }
        float getMaxV() const { return maxV; }
        int getCompressedSize() const { return compressedSize; }
        /** Hardware width x height x the format's internal bytes per pixel. */
        unsigned int getVRAMSize() const;
        /** Every pointer may be null. */
        void getGLData(int* w, int* h, int* hardwareW, int* hardwareH, int* internalFormat, unsigned int* name,
                       int* minFilter, int* magFilter) const;

        /** The hardware size of one side: the side itself on cards with
            non-power-of-two support for uncompressed formats, else the next
            power of two. */
        static uint16_t getExpectedHardwareWidth(uint16_t w, const TextureFormat& format);
        static uint16_t getExpectedHardwareHeight(uint16_t h, const TextureFormat& format);
        /** Bytes of one w x h image in the format (compressed: whole 4x4 blocks). */
        static unsigned int getFrameSize(uint16_t w, uint16_t h, const TextureFormat& format);

        void setWrap(WRAP wrap);
        void setWrapS(WRAP wrap);
        void setWrapT(WRAP wrap);
        void setMinFilter(FILTER filter);
        void setMagFilter(FILTER filter);
        void pushMinFilter(FILTER filter);
        void pushMagFilter(FILTER filter);
        /** The initial entry cannot be popped: logs an error and changes nothing. */
        void popMinFilter();
        void popMagFilter();

        /** Binds the texture, remembering the previous 2D binding for endBind. */
        void startBind();
        void endBind();

        /** Adopts a GL texture; a foreign one is never deleted here. */
        void setGLData(int w, int h, int hardwareW, int hardwareH, long glTarget, long name, long internalFormat,
                       unsigned int minFilter, unsigned int magFilter, bool isForeign);
        void setGLData(const TextureInfo& info, long internalFormat, bool isForeign);

        /** Copies the logical size from the read framebuffer at (0, 0). */
        bool grabFrameBuffer();
        bool grabFrameBuffer(int x, int y, int w, int h);

        /** CPU access to the hardware-size image. The buffer holds hardware width
            x hardware height pixels of bytesPerPixel, row pitch
            getLockPitch(); LOCK_READ fills it from GL, LOCK_WRITE uploads it at
            unlock. The texture stays bound until unlock. Null (logged) without a
            GL name, for a compressed texture, or while already locked. */
        void* lock(int flags);
        void* lock(int flags, int pixelFormat, int pixelType, int bytesPerPixel);
        /** False when not locked. */
        bool unlock();
        int getLockPitch() const { return lockPitch; }

        /** (scale u, scale v, offset u, offset v) mapping unit coordinates into the
            texture's coordinates, mirrored vertically with flip. */
        TVec4<float> buildScrollVector(float u, float v, bool flip) const;
        /** Unit square to (x, y, w, h); mirrored unless flip (or ignoreFlip set). */
        Matrix4x4 buildMatrix(float x, float y, float w, float h, bool flip) const;

        /** When set, buildMatrix always mirrors. Cleared when the pool hands the
            texture out again. */
        bool ignoreFlip = false;

        // ---- Loading, pixel writers and GPU copies (VXTextureLoader.cpp).

        /** Writes one pixel of r, g, b, a (0..1, I8 and RGB8 take 0..255) at
            x * pixel size + y * rowPitch + z * slicePitch bytes into data. */
        using PixelFunc = void (*)(void* data, int x, int y, int z, int rowPitch, int slicePitch, float r, float g,
                                   float b, float a);

        /** Decodes an image file or an in-memory image into the texture. A
            requested format with a known upload format must be GL_RGB, GL_RGBA
            or GL_LUMINANCE; an unknown one takes what the image has. False on
            unsupported formats or undecodable data. */
        bool load(const File& file, const TextureFormat& requested);
        bool load(const unsigned char* data, int size, const TextureFormat& requested);
        /** A new RGBA8 texture of random words (owned by the caller); null for
            an empty size. */
        static Texture* createRandom(uint16_t w, uint16_t h);
        /** A scaled copy drawn through a pooled render target, taken out of the
            texture pool for the caller to own; null on failure. */
        static Texture* createClone(Renderer& renderer, const Texture& source, float scale);
        /** Run the current render-pass manager's "ToLuminosity" and "Mask"
            effects (through TextureEffects): a grey copy of source at its
            size; source with its alpha scaled by mask's luminance where mask
            is opaque, at the larger width and height of the two. Empty, with
            an error line, without the manager or the effect. */
        static TextureRef toLuminosity(Renderer& renderer, const Texture& source);
        static TextureRef applyMask(Renderer& renderer, const Texture& source, const Texture& mask);
        /** source with alpha drawn over it by alpha blending, at the larger
            width and height of the two, in alpha's format; empty on failure. */
        static TextureRef applyAlpha(Renderer& renderer, const Texture& source, const Texture& alpha);
        /** Picks the pixel writer for the format (run by every create); false
            when the format has none and none was set before. */
        bool setPixelFunc();
        PixelFunc getPixelFunc() const { return pixelFunc; }

    private:
        void setFilterParameter(unsigned int parameter, FILTER filter);
        void saveBindingAndBind();
        void restoreBinding();

        TextureFormat format;
        float maxU = 0.0f, maxV = 0.0f;
        uint16_t width = 0, height = 0;
        int hardwareWidth = 0, hardwareHeight = 0;
        int compressedSize = 0;
        long target = 0;
        unsigned int glName = 0;
        bool foreign = false;
        int minFilterValue = 0, magFilterValue = 0;
        uint64_t serial = 0;
        std::optional<ScopedTextureBinding> heldBinding; // from lock or startBind to unlock or endBind
        unsigned char* lockBuffer = nullptr;
        int lockPitch = 0;
        int lockFlags = 0;
        int lockFormat = 0, lockType = 0;
        std::deque<FILTER> minFilters, magFilters;
        PixelFunc pixelFunc = nullptr;
    };

    /** The engine's colour layout; the engine root may repoint it. */
    extern const TextureFormat* DEFAULT_COLOR_FMT;

} // namespace vx
