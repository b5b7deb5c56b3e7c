#pragma once

#include <cstdint>
#include <memory>

#include "engine/gfx/VXGfxObject.h"
#include "engine/gfx/VXTextureRef.h"

namespace vx
{
    class GlobalFBO;
    class TextureFormat;

    // Layout of a depth-stencil renderbuffer (index into its storage table).
    enum DepthStencilFormat : int
    {
        DEPTH_NONE = -1,
        DEPTH_16 = 0,           // GL_DEPTH_COMPONENT16
        DEPTH_24 = 1,           // GL_DEPTH_COMPONENT24
        DEPTH_24_STENCIL_8 = 2, // GL_DEPTH24_STENCIL8
        DEPTH_32 = 3            // GL_DEPTH_COMPONENT32
    };

    constexpr DepthStencilFormat DEFAULT_DEPTH_FMT = DEPTH_24_STENCIL_8;

    // What a render target is made of. The format is referenced, not copied:
    // it must outlive the configuration (the named formats of Texture do).
    struct RenderTargetConfiguration
    {
        RenderTargetConfiguration(uint16_t width, uint16_t height, const TextureFormat& format, bool depth,
                                  DepthStencilFormat depthStencilFormat);

        // 1 to 4 answers true; anything else false and changes nothing.
        bool setNumColorBuffers(uint8_t count);
        // Both sides within the card's maximum texture size.
        bool isSupportedOnCurrentSystem() const;
        // True when this wants no depth and the other has one, or when both
        // depth flags and formats are equal.
        bool depthMatches(const RenderTargetConfiguration& other) const;
        // (hash of the format name << 32) | (height rounded down << 16) | width
        // rounded down, to multiples of granularity (0 counts as 1).
        uint64_t computeCacheKey(unsigned int granularity) const;

        uint16_t width;
        uint16_t height;
        const TextureFormat* format;
        bool depth;
        DepthStencilFormat depthStencilFormat;
        uint8_t numColorBuffers = 1;
    };

    // A depth-stencil renderbuffer of a render target.
    class DepthStencilBuffer
    {
    public:
        DepthStencilBuffer() = default;
        ~DepthStencilBuffer();
        DepthStencilBuffer(const DepthStencilBuffer&) = delete;
        DepthStencilBuffer& operator=(const DepthStencilBuffer&) = delete;

        // (Re)makes the renderbuffer at w x h (the next powers of two on cards
        // without non-power-of-two support). False (logged) for an empty or
        // too large size or an unknown format. Restores the renderbuffer binding.
        bool create(int w, int h, DepthStencilFormat depthFormat);
        // Deletes the renderbuffer; without a current GL context the name is
        // dropped without GL calls.
        void release();

        int width = 0;
        int height = 0;
        DepthStencilFormat format = DEPTH_NONE;
        unsigned int glName = 0;
        // New for every renderbuffer made, 0 without one; see Texture::getSerial.
        uint64_t serial = 0;
    };

    class RenderTarget;

    // The bound target, or null; and the one slot pushCurrentTarget fills.
    // Process-wide, render thread only.
    extern RenderTarget* currentRenderTarget;
    extern RenderTarget* pushedRenderTarget;

    // A set of up to four colour textures from the texture pool (two sets for
    // ping-pong targets) and an optional depth-stencil buffer, drawn into
    // through the shared framebuffer object of the render-target pool.
    // Render thread only; no lock. Operations that need the shared framebuffer
    // or the texture pool answer false (logged) when the engine root has none.
    class RenderTarget : public GfxObject
    {
    public:
        RenderTarget() = default;
        // Clears the current and pushed target when they are this one (no GL),
        // then release().
        ~RenderTarget() override;

        bool create2D(const RenderTargetConfiguration& configuration);
        bool create2D(int w, int h);
        bool create2D(int w, int h, const TextureFormat& format);
        bool create2D(int w, int h, const TextureFormat& format, bool depth);
        bool create2D(int w, int h, const TextureFormat& format, bool depth, DepthStencilFormat depthFormat);
        bool createPingPong2D(const RenderTargetConfiguration& configuration);
        bool createPingPong2D(int w, int h);
        bool createPingPong2D(int w, int h, const TextureFormat& format);
        bool createPingPong2D(int w, int h, const TextureFormat& format, bool depth);
        bool createPingPong2D(int w, int h, const TextureFormat& format, bool depth, DepthStencilFormat depthFormat);

        // New textures of w x h in the present formats (kept when they have
        // that size already); the depth buffer is made again unless it fits them.
        bool resize(int w, int h);
        // Attaches the current set to the shared framebuffer and binds it;
        // false when the framebuffer is incomplete (the target stays current).
        bool bind();
        // Ping-pong targets switch to the other set; others log an error.
        void flip();
        // Unbinds when bound, gives back every colour texture, deletes the depth buffer.
        void release() override;
        // Gives back every colour texture; the depth buffer stays.
        void releaseColorTextures();
        void deleteColorTextures() { releaseColorTextures(); }
        // Takes fresh colour textures of the configuration's size and format.
        bool reaquireColorTextures(const RenderTargetConfiguration& configuration);

        // Clears the current target and detaches the shared framebuffer.
        static void unbind();
        static void resetAll();
        static void pushCurrentTarget();
        // Binds the pushed target unless it is current; empties the slot.
        static void popCurrentTarget();
        static RenderTarget* getCurrentRenderTarget() { return currentRenderTarget; }
        static unsigned int getCurrentFboId();

        bool isBound() const;
        bool isValid() const;
        // Colour texture i of the current set, or null.
        Texture* getTexture(int index) const;
        uint16_t getWidth() const;
        uint16_t getHeight() const;
        const TextureFormat& getFormat() const;
        DepthStencilFormat getDepthStencilFormat() const;
        bool hasDepth() const { return depthBuffer != nullptr; }
        bool hasDepthStencilBuffer() const { return depthBuffer != nullptr; }
        const DepthStencilBuffer* getDepthStencilBuffer() const { return depthBuffer.get(); }
        bool isPingPong() const { return pingPong; }
        uint8_t getNumColorBuffers() const { return numColorBuffers; }
        int getCurrentSet() const { return currentSet; }

    private:
        bool create(const RenderTargetConfiguration& configuration, bool asPingPong);
        // Makes the depth buffer again unless it has the colour textures' size.
        bool fitDepthBuffer();

        TextureRef colorTextures[2][4];
        std::unique_ptr<DepthStencilBuffer> depthBuffer;
        bool pingPong = false;
        int currentSet = 0;
        uint8_t numColorBuffers = 0;
    };
}
