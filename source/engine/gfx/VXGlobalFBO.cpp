#include "engine/gfx/VXGlobalFBO.h"

#include <string>

#include <epoxy/gl.h>

#include "core/VXLog.h"
#include "engine/gfx/VXContext.h"
#include "engine/gfx/VXRenderTarget.h"
#include "engine/gfx/VXTexture.h"
#include "engine/gfx/VXTextureRef.h"

namespace vx
{
    GlobalFBO::GlobalFBO()
        : drawBuffers{GL_COLOR_ATTACHMENT0, GL_COLOR_ATTACHMENT1, GL_COLOR_ATTACHMENT2, GL_COLOR_ATTACHMENT3}
    {
    }

    GlobalFBO::~GlobalFBO() = default;

    void GlobalFBO::clearRecords()
    {
        for (int i = 0; i < 4; ++i)
        {
            attached[i] = nullptr;
            attachedSerials[i] = 0;
        }
        attachedDepth = nullptr;
        attachedDepthSerial = 0;
        numAttached = 0;
    }

    const Texture* GlobalFBO::getAttachedTexture(int index) const
    {
        return index >= 0 && index < 4 ? attached[index] : nullptr;
    }

    bool GlobalFBO::init()
    {
        if (name != 0)
            return true;
        clearRecords();
        bound = false;
        glGenFramebuffers(1, &name);
        if (name == 0)
            logPrint(logError, "GlobalFBO::init: could not make a framebuffer object.\n");
        return name != 0;
    }

    void GlobalFBO::release()
    {
        if (name != 0)
        {
            if (Context::getCurrentNativeContext() != nullptr)
            {
                if (bound)
                    glBindFramebuffer(GL_FRAMEBUFFER, mainFboId);
                glDeleteFramebuffers(1, &name);
            }
            else
                logPrint(logError,
                         "GlobalFBO::release: no GL context current; framebuffer %u dropped without deleting.\n", name);
        }
        name = 0;
        bound = false;
        clearRecords();
    }

    void GlobalFBO::bindFBO()
    {
        glBindFramebuffer(GL_FRAMEBUFFER, name);
        bound = true;
    }

    void GlobalFBO::unbindFBO()
    {
        // Detach only from our own object: while it is not bound these calls
        // would strip the attachments of whatever framebuffer is (the host's).
        if (bound)
        {
            glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, 0);
            for (int i = 0; i < 4; ++i)
                if (attached[i] != nullptr)
                    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0 + i, GL_TEXTURE_2D, 0, 0);
        }
        clearRecords();

        glBindFramebuffer(GL_FRAMEBUFFER, mainFboId);
        bound = false;
        checkFramebufferStatus();

        const GLenum buffer = mainFboId == 0 ? GL_BACK : GL_COLOR_ATTACHMENT0;
        glDrawBuffer(buffer);
        glReadBuffer(buffer);
        numAttached = 0;
    }

    void GlobalFBO::linkTextureBuffers(const TextureRef* refs)
    {
        const int previousCount = numAttached;
        int count = 0;
        for (int i = 0; i < 4; ++i)
        {
            const Texture* wanted = refs[i].get();
            if (isAttached(i, wanted))
            {
                if (wanted != nullptr)
                    ++count;
            }
            else if (wanted != nullptr)
            {
                glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0 + i,
                                       static_cast<GLenum>(wanted->getTarget()), wanted->getGLName(), 0);
                attached[i] = wanted;
                attachedSerials[i] = wanted->getSerial();
                ++count;
            }
            else
            {
                glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0 + i, GL_TEXTURE_2D, 0, 0);
                attached[i] = nullptr;
                attachedSerials[i] = 0;
            }
        }
        numAttached = count;
        if (count != previousCount)
        {
            glDrawBuffers(count, drawBuffers);
            glReadBuffer(GL_COLOR_ATTACHMENT0);
        }
    }

    void GlobalFBO::linkDepthBuffer(DepthStencilBuffer* buffer)
    {
        if (isDepthAttached(buffer))
            return;
        attachedDepth = buffer;
        attachedDepthSerial = buffer != nullptr ? buffer->serial : 0;
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER,
                                  buffer != nullptr ? buffer->glName : 0);
    }

    bool GlobalFBO::isLinked(const TextureRef* refs, const DepthStencilBuffer* buffer) const
    {
        for (int i = 0; i < 4; ++i)
            if (! isAttached(i, refs[i].get()))
                return false;
        return isDepthAttached(buffer);
    }

    bool GlobalFBO::isAttached(int index, const Texture* texture) const
    {
        if (attached[index] != texture)
            return false;
        return texture == nullptr || attachedSerials[index] == texture->getSerial();
    }

    bool GlobalFBO::isDepthAttached(const DepthStencilBuffer* buffer) const
    {
        if (attachedDepth != buffer)
            return false;
        return buffer == nullptr || attachedDepthSerial == buffer->serial;
    }

    bool GlobalFBO::checkFramebufferStatus()
    {
        const GLenum status = glCheckFramebufferStatus(GL_FRAMEBUFFER);
        switch (status)
        {
            case GL_FRAMEBUFFER_COMPLETE:
                return true;
            case GL_FRAMEBUFFER_UNDEFINED:
                debugPrint("GL_FRAMEBUFFER_UNDEFINED!");
                break;
            case GL_FRAMEBUFFER_INCOMPLETE_ATTACHMENT:
                debugPrint("GL_FRAMEBUFFER_INCOMPLETE_ATTACHMENT!");
                break;
            case GL_FRAMEBUFFER_INCOMPLETE_MISSING_ATTACHMENT:
                debugPrint("GL_FRAMEBUFFER_INCOMPLETE_MISSING_ATTACHMENT!");
                break;
            case GL_FRAMEBUFFER_INCOMPLETE_DIMENSIONS_EXT:
                debugPrint("GL_FRAMEBUFFER_INCOMPLETE_DIMENSIONS_EXT!");
                break;
            case GL_FRAMEBUFFER_INCOMPLETE_FORMATS_EXT:
                debugPrint("GL_FRAMEBUFFER_INCOMPLETE_FORMATS_EXT!");
                break;
            case GL_FRAMEBUFFER_INCOMPLETE_DRAW_BUFFER:
                debugPrint("GL_FRAMEBUFFER_INCOMPLETE_DRAW_BUFFER!");
                break;
            case GL_FRAMEBUFFER_INCOMPLETE_READ_BUFFER:
                debugPrint("GL_FRAMEBUFFER_INCOMPLETE_READ_BUFFER!");
                break;
            case GL_FRAMEBUFFER_UNSUPPORTED:
                debugPrint("GL_FRAMEBUFFER_UNSUPPORTED!");
                break;
            default:
                debugPrint("Unknown GL_FRAMEBUFFER error! : " + std::to_string(status));
                break;
        }
        return false;
    }
}
