#include "engine/gfx/VXRenderTarget.h"

#include <atomic>
#include <bit>

#include <epoxy/gl.h>

#include "core/VXLog.h"
#include "core/VXStringUtils.h"
#include "engine/gfx/VXContext.h"
#include "engine/gfx/VXGfxInfo.h"
#include "engine/gfx/VXGlobalFBO.h"
#include "engine/gfx/VXRenderTargetManager.h"
#include "engine/gfx/VXTexture.h"
#include "engine/gfx/VXTextureManager.h"

namespace vx
{
    RenderTarget* currentRenderTarget = nullptr;
    RenderTarget* pushedRenderTarget = nullptr;

    namespace
    {
        const GLenum depthStorage[] = {GL_DEPTH_COMPONENT16, GL_DEPTH_COMPONENT24, GL_DEPTH24_STENCIL8,
                                       GL_DEPTH_COMPONENT32};

        // The shared framebuffer of the engine root's pool, or null (logged).
        GlobalFBO* findGlobalFBO(const char* caller)
        {
            RenderTargetManager* manager = RenderTargetManager::getCurrent();
            if (manager == nullptr)
            {
                logPrint(logError, "RenderTarget::%s: the engine has no render-target manager.\n", caller);
                return nullptr;
            }
            return manager->getGlobalFBO();
        }

        std::atomic<uint64_t> lastDepthSerial{0};

        uint64_t nextDepthSerial()
        {
            return lastDepthSerial.fetch_add(1, std::memory_order_relaxed) + 1;
        }

        // The size a depth buffer is made at: the next powers of two on cards
        // without non-power-of-two support.
        void roundDepthSize(int& w, int& h)
        {
            if (! GfxInfo::VX_GFX_CARD_SUPPORTS_NONPOWEROFTWOTEXTURES && w > 0 && h > 0)
            {
                w = static_cast<int>(std::bit_ceil(static_cast<unsigned>(w)));
                h = static_cast<int>(std::bit_ceil(static_cast<unsigned>(h)));
            }
        }

        bool isValidSize(int w, int h)
        {
            return w >= 1 && h >= 1 && w <= 0xFFFF && h <= 0xFFFF;
        }
    }

    //==============================================================================
    RenderTargetConfiguration::RenderTargetConfiguration(uint16_t w, uint16_t h, const TextureFormat& colorFormat,
                                                         bool wantsDepth, DepthStencilFormat depthFormat)
        : width(w), height(h), format(&colorFormat), depth(wantsDepth), depthStencilFormat(depthFormat)
    {
    }

    bool RenderTargetConfiguration::setNumColorBuffers(uint8_t count)
    {
        if (count < 1 || count > 4)
            return false;
        numColorBuffers = count;
        return true;
    }

    bool RenderTargetConfiguration::isSupportedOnCurrentSystem() const
    {
        return width <= GfxInfo::VX_MAX_TEXTURE_SIZE && height <= GfxInfo::VX_MAX_TEXTURE_SIZE;
    }

    bool RenderTargetConfiguration::depthMatches(const RenderTargetConfiguration& other) const
    {
        if (! depth && other.depth)
            return true;
        return depth == other.depth && depthStencilFormat == other.depthStencilFormat;
    }

    uint64_t RenderTargetConfiguration::computeCacheKey(unsigned int granularity) const
    {
        if (granularity == 0)
            granularity = 1;
        const uint64_t w = width - width % granularity;
        const uint64_t h = height - height % granularity;
        const uint64_t hash = format != nullptr ? hashFromString(format->name) : 0;
        return (hash << 32) | (h << 16) | w;
    }

    //==============================================================================
    DepthStencilBuffer::~DepthStencilBuffer()
    {
        release();
    }

    bool DepthStencilBuffer::create(int w, int h, DepthStencilFormat depthFormat)
    {
        release();
        if (depthFormat < DEPTH_16 || depthFormat > DEPTH_32)
        {
            logPrint(logError, "DepthStencilBuffer::create: unknown depth-stencil format %d.\n",
                     static_cast<int>(depthFormat));
            return false;
        }
        roundDepthSize(w, h);
        GLint maxSize = 0;
        glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &maxSize);
        if (w < 1 || h < 1 || w > maxSize || h > maxSize)
        {
            logPrint(logError, "DepthStencilBuffer::create: cannot make a %dx%d depth buffer.\n", w, h);
            return false;
        }

        GLint previous = 0;
        glGetIntegerv(GL_RENDERBUFFER_BINDING, &previous);
        glGenRenderbuffers(1, &glName);
        serial = nextDepthSerial();
        glBindRenderbuffer(GL_RENDERBUFFER, glName);
        glRenderbufferStorage(GL_RENDERBUFFER, depthStorage[depthFormat], w, h);
        glBindRenderbuffer(GL_RENDERBUFFER, static_cast<GLuint>(previous));
        width = w;
        height = h;
        format = depthFormat;
        return glName != 0;
    }

    void DepthStencilBuffer::release()
    {
        if (glName != 0)
        {
            if (Context::getCurrentNativeContext() != nullptr)
                glDeleteRenderbuffers(1, &glName);
            else
                logPrint(
                    logError,
                    "DepthStencilBuffer::release: no GL context current; renderbuffer %u dropped without deleting.\n",
                    glName);
        }
        glName = 0;
        serial = 0;
        format = DEPTH_NONE;
        width = height = 0;
    }

    //==============================================================================
    RenderTarget::~RenderTarget()
    {
        // Nothing may keep pointing at a dead target; no GL here, release()
        // below only touches GL for what this target owns.
        if (currentRenderTarget == this)
            currentRenderTarget = nullptr;
        if (pushedRenderTarget == this)
            pushedRenderTarget = nullptr;
        RenderTarget::release();
    }

    bool RenderTarget::create(const RenderTargetConfiguration& configuration, bool asPingPong)
    {
        release();
        TextureManager* pool = TextureManager::getCurrent();
        if (pool == nullptr)
        {
            logPrint(logError, "RenderTarget::create2D: the engine has no texture manager.\n");
            return false;
        }
        if (configuration.format == nullptr || configuration.numColorBuffers < 1 || configuration.numColorBuffers > 4 ||
            configuration.width == 0 || configuration.height == 0)
        {
            logPrint(logError, "RenderTarget::create2D: invalid configuration %ux%u.\n",
                     static_cast<unsigned>(configuration.width), static_cast<unsigned>(configuration.height));
            return false;
        }

        for (int i = 0; i < configuration.numColorBuffers; ++i)
            for (int set = 0; set < (asPingPong ? 2 : 1); ++set)
            {
                Texture* texture =
                    pool->aquireTexture(configuration.width, configuration.height, *configuration.format);
                if (texture == nullptr)
                {
                    release();
                    return false;
                }
                colorTextures[set][i].reset(texture);
            }

        if (configuration.depth)
        {
            depthBuffer = std::make_unique<DepthStencilBuffer>();
            if (! depthBuffer->create(colorTextures[0][0]->getHardwareWidth(), colorTextures[0][0]->getHardwareHeight(),
                                      configuration.depthStencilFormat))
            {
                release();
                return false;
            }
        }
        numColorBuffers = configuration.numColorBuffers;
        pingPong = asPingPong;
        currentSet = 0;
        return true;
    }

    bool RenderTarget::create2D(const RenderTargetConfiguration& configuration)
    {
        return create(configuration, false);
    }

    bool RenderTarget::create2D(int w, int h)
    {
        return create2D(w, h, *DEFAULT_COLOR_FMT, true, DEFAULT_DEPTH_FMT);
    }

    bool RenderTarget::create2D(int w, int h, const TextureFormat& format)
    {
        return create2D(w, h, format, true, DEFAULT_DEPTH_FMT);
    }

    bool RenderTarget::create2D(int w, int h, const TextureFormat& format, bool depth)
    {
        return create2D(w, h, format, depth, DEFAULT_DEPTH_FMT);
    }

    bool RenderTarget::create2D(int w, int h, const TextureFormat& format, bool depth, DepthStencilFormat depthFormat)
    {
        if (! isValidSize(w, h))
        {
            logPrint(logError, "RenderTarget::create2D: invalid size %dx%d.\n", w, h);
            return false;
        }
        return create(
            RenderTargetConfiguration(static_cast<uint16_t>(w), static_cast<uint16_t>(h), format, depth, depthFormat),
            false);
    }

    bool RenderTarget::createPingPong2D(const RenderTargetConfiguration& configuration)
    {
        return create(configuration, true);
    }

    bool RenderTarget::createPingPong2D(int w, int h)
    {
        return createPingPong2D(w, h, *DEFAULT_COLOR_FMT, true, DEFAULT_DEPTH_FMT);
    }

    bool RenderTarget::createPingPong2D(int w, int h, const TextureFormat& format)
    {
        return createPingPong2D(w, h, format, true, DEFAULT_DEPTH_FMT);
    }

    bool RenderTarget::createPingPong2D(int w, int h, const TextureFormat& format, bool depth)
    {
        return createPingPong2D(w, h, format, depth, DEFAULT_DEPTH_FMT);
    }

    bool RenderTarget::createPingPong2D(int w, int h, const TextureFormat& format, bool depth,
                                        DepthStencilFormat depthFormat)
    {
        if (! isValidSize(w, h))
        {
            logPrint(logError, "RenderTarget::createPingPong2D: invalid size %dx%d.\n", w, h);
            return false;
        }
        return create(
            RenderTargetConfiguration(static_cast<uint16_t>(w), static_cast<uint16_t>(h), format, depth, depthFormat),
            true);
    }

    bool RenderTarget::resize(int w, int h)
    {
        if (numColorBuffers == 0 && depthBuffer == nullptr)
        {
            debugPrint("Render target not initialized, can't resize\n");
            return false;
        }
        if (! isValidSize(w, h))
        {
            logPrint(logError, "RenderTarget::resize: invalid size %dx%d.\n", w, h);
            return false;
        }
        const Texture* first = colorTextures[currentSet][0].get();
        if (first == nullptr || first->getWidth() != w || first->getHeight() != h)
        {
            TextureManager* pool = TextureManager::getCurrent();
            if (pool == nullptr)
            {
                logPrint(logError, "RenderTarget::resize: the engine has no texture manager.\n");
                return false;
            }
            for (int set = 0; set < (pingPong ? 2 : 1); ++set)
                for (int i = 0; i < numColorBuffers; ++i)
                {
                    // A slot without a texture (given back while pooled) has no format to keep.
                    if (colorTextures[set][i].get() == nullptr)
                        continue;
                    Texture* texture = pool->aquireTexture(static_cast<uint16_t>(w), static_cast<uint16_t>(h),
                                                           colorTextures[set][i]->getFormat());
                    if (texture == nullptr)
                        return false;
                    colorTextures[set][i].reset(texture);
                }
        }
        // Also when the textures already had the size (a pooled target given
        // fresh ones): a depth buffer of another size would clip the drawing.
        return fitDepthBuffer();
    }

    bool RenderTarget::fitDepthBuffer()
    {
        const Texture* first = colorTextures[0][0].get();
        if (depthBuffer == nullptr || first == nullptr)
            return true;
        int w = first->getHardwareWidth();
        int h = first->getHardwareHeight();
        roundDepthSize(w, h);
        if (depthBuffer->glName != 0 && depthBuffer->width == w && depthBuffer->height == h)
            return true;
        return depthBuffer->create(first->getHardwareWidth(), first->getHardwareHeight(), depthBuffer->format);
    }

    bool RenderTarget::reaquireColorTextures(const RenderTargetConfiguration& configuration)
    {
        TextureManager* pool = TextureManager::getCurrent();
        if (pool == nullptr || configuration.format == nullptr)
        {
            logPrint(logError, "RenderTarget::reaquireColorTextures: no texture manager or format.\n");
            return false;
        }
        for (int i = 0; i < numColorBuffers; ++i)
            for (int set = 0; set < (pingPong ? 2 : 1); ++set)
            {
                Texture* texture =
                    pool->aquireTexture(configuration.width, configuration.height, *configuration.format);
                if (texture == nullptr)
                    return false;
                colorTextures[set][i].reset(texture);
            }
        return true;
    }

    void RenderTarget::releaseColorTextures()
    {
        for (auto& set : colorTextures)
            for (auto& texture : set)
                texture.reset();
    }

    void RenderTarget::release()
    {
        if (isBound())
        {
            currentRenderTarget = nullptr;
            resetAll();
        }
        releaseColorTextures();
        depthBuffer.reset();
        GfxObject::release();
    }

    bool RenderTarget::bind()
    {
        if (isBound())
            return true;
        GlobalFBO* fbo = findGlobalFBO("bind");
        if (fbo == nullptr)
            return false;
        if (fbo->getName() == 0)
        {
            logPrint(logError, "RenderTarget::bind: the shared framebuffer object was not made.\n");
            return false;
        }
        currentRenderTarget = this;
        fbo->bindFBO();
        fbo->linkTextureBuffers(colorTextures[currentSet]);
        fbo->linkDepthBuffer(depthBuffer.get());
        if (! fbo->checkFramebufferStatus())
        {
            logPrint(logError, "RenderTarget::bind: the framebuffer is incomplete (%ux%u).\n",
                     static_cast<unsigned>(getWidth()), static_cast<unsigned>(getHeight()));
            return false;
        }
        return true;
    }

    void RenderTarget::flip()
    {
        if (! pingPong)
        {
            logPrint(logError, "%s: Cannot flip RenderTarget, we aren't a ping-pong RenderTarget.", "flip");
            return;
        }
        currentSet = 1 - currentSet;
    }

    void RenderTarget::unbind()
    {
        currentRenderTarget = nullptr;
        resetAll();
    }

    void RenderTarget::resetAll()
    {
        RenderTargetManager* manager = RenderTargetManager::getCurrent();
        if (manager == nullptr)
            return;
        GlobalFBO* fbo = manager->getGlobalFBO();
        if (fbo->getCurrentFboId() != 0)
            fbo->unbindFBO();
    }

    void RenderTarget::pushCurrentTarget()
    {
        pushedRenderTarget = currentRenderTarget;
    }

    void RenderTarget::popCurrentTarget()
    {
        RenderTarget* saved = pushedRenderTarget;
        pushedRenderTarget = nullptr;
        if (saved != nullptr && saved != currentRenderTarget)
            saved->bind();
    }

    unsigned int RenderTarget::getCurrentFboId()
    {
        RenderTargetManager* manager = RenderTargetManager::getCurrent();
        return manager != nullptr ? manager->getGlobalFBO()->getCurrentFboId() : 0;
    }

    bool RenderTarget::isBound() const
    {
        if (currentRenderTarget != this)
            return false;
        RenderTargetManager* manager = RenderTargetManager::getCurrent();
        if (manager == nullptr)
            return false;
        const GlobalFBO* fbo = manager->getGlobalFBO();
        return fbo->isBound() && fbo->isLinked(colorTextures[currentSet], depthBuffer.get());
    }

    bool RenderTarget::isValid() const
    {
        const Texture* current = colorTextures[currentSet][0].get();
        return colorTextures[0][0].get() != nullptr && current != nullptr && current->isValid();
    }

    Texture* RenderTarget::getTexture(int index) const
    {
        return index >= 0 && index < 4 ? colorTextures[currentSet][index].get() : nullptr;
    }

    uint16_t RenderTarget::getWidth() const
    {
        const Texture* texture = colorTextures[currentSet][0].get();
        return texture != nullptr ? texture->getWidth() : 0;
    }

    uint16_t RenderTarget::getHeight() const
    {
        const Texture* texture = colorTextures[currentSet][0].get();
        return texture != nullptr ? texture->getHeight() : 0;
    }

    const TextureFormat& RenderTarget::getFormat() const
    {
        return isValid() ? colorTextures[currentSet][0]->getFormat() : Texture::UNKNOWN_FORMAT;
    }

    DepthStencilFormat RenderTarget::getDepthStencilFormat() const
    {
        return depthBuffer != nullptr ? depthBuffer->format : DEFAULT_DEPTH_FMT;
    }
}
