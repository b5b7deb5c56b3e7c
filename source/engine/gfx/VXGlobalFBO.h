#pragma once

#include <cstdint>

namespace vx
{
    class DepthStencilBuffer;
    class Texture;
    class TextureRef;

    // The one framebuffer object every render target draws through. Binding a
    // target attaches its textures here; attachments already in place are not
    // touched again, and the draw-buffer list changes only when the number of
    // colour attachments does. An attachment is in place only while the same
    // object still holds the same GL texture or renderbuffer (their serials):
    // one remade, or a new one at a freed one's address, is attached anew. Unbinding detaches everything and binds the
    // main framebuffer (the host's, set every frame; 0 is the window system's).
    //
    // Owned by the render-target pool; render thread only, no lock.
    class GlobalFBO
    {
    public:
        GlobalFBO();
        // Drops the name without GL calls; release() deletes it.
        ~GlobalFBO();

        GlobalFBO(const GlobalFBO&) = delete;
        GlobalFBO& operator=(const GlobalFBO&) = delete;

        // Generates the framebuffer object unless there is one; true when one exists.
        bool init();
        // Deletes the framebuffer object. Without a current GL context the name
        // is dropped without GL calls (with an error line).
        void release();

        // Binds the shared object for drawing and reading.
        void bindFBO();
        // Detaches everything, binds the main framebuffer and selects its
        // colour buffer (GL_BACK for the window system's).
        void unbindFBO();
        // Attaches the four textures (null refs detach), colour attachment i for refs[i].
        void linkTextureBuffers(const TextureRef* refs);
        void linkDepthBuffer(DepthStencilBuffer* buffer);
        bool isLinked(const TextureRef* refs, const DepthStencilBuffer* buffer) const;
        // True when complete; otherwise the status goes to the debug channel.
        bool checkFramebufferStatus();

        void setMainFboId(unsigned int id) { mainFboId = id; }
        unsigned int getMainFboId() const { return mainFboId; }
        // The shared object's name while bound, else the main framebuffer id.
        unsigned int getCurrentFboId() const { return bound ? name : mainFboId; }
        bool isBound() const { return bound; }
        unsigned int getName() const { return name; }
        int getNumAttachedColorTextures() const { return numAttached; }
        const Texture* getAttachedTexture(int index) const;

    private:
        void clearRecords();
        bool isAttached(int index, const Texture* texture) const;
        bool isDepthAttached(const DepthStencilBuffer* buffer) const;

        unsigned int name = 0;
        const Texture* attached[4] = {};
        uint64_t attachedSerials[4] = {};
        DepthStencilBuffer* attachedDepth = nullptr;
        uint64_t attachedDepthSerial = 0;
        int numAttached = 0;
        unsigned int drawBuffers[4];
        bool bound = false;
        unsigned int mainFboId = 0;
    };
}
