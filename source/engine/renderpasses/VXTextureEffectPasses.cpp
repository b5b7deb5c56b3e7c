// Installs the render-pass effects behind the graphics core's TextureEffects
// seam: Texture::toLuminosity and Texture::applyMask make their pass through
// the current render-pass manager, render it once and take its output. The
// engine links this file into every program that uses it.

#include "core/VXLog.h"
#include "core/VXRect.h"
#include "engine/gfx/VXRenderTarget.h"
#include "engine/gfx/VXRenderer.h"
#include "engine/gfx/VXTexture.h"
#include "engine/gfx/VXTextureEffects.h"
#include "engine/gfx/VXTextureRef.h"
#include "engine/renderpasses/VXRenderPass.h"
#include "engine/renderpasses/VXRenderPassManager.h"
#include "engine/renderpasses/catalogue/VXMask.h"
#include "engine/renderpasses/catalogue/VXToLuminosity.h"

#include <epoxy/gl.h>

#include <algorithm>
#include <memory>

namespace vx
{
    namespace
    {
        struct PassDeleter
        {
            void operator()(RenderPass* pass) const
            {
                // On the render thread: the pass frees its GL objects here.
                pass->release();
                delete pass;
            }
        };
        using PassPtr = std::unique_ptr<RenderPass, PassDeleter>;

        // The registered effect of that type, made bare; null (logged)
        // without a manager or such a kind.
        PassPtr makePass(const char* operation, const std::string& type)
        {
            RenderPassManager* manager = RenderPassManager::getCurrent();
            if (manager == nullptr)
            {
                logPrint(logError, "Texture::%s: no render-pass manager to run the \"%s\" effect", operation,
                         type.c_str());
                return nullptr;
            }
            RenderPassInfo* info = manager->getRenderPassInfo(type, RenderPassCategoryEffect);
            PassPtr pass(info != nullptr ? info->createRenderPass(nullptr, false) : nullptr);
            if (pass == nullptr || ! pass->isOfClassType(type))
            {
                logPrint(logError, "Texture::%s: the \"%s\" effect is not registered", operation, type.c_str());
                return nullptr;
            }
            return pass;
        }

        // Renders the pass once and takes its output out of the pools; the
        // target bound before and the viewport come back.
        TextureRef runPass(Renderer& renderer, RenderPass& pass, const char* operation)
        {
            GLint savedViewport[4] = {};
            glGetIntegerv(GL_VIEWPORT, savedViewport);
            const RectT<float> savedRendererViewport = renderer.getViewport();
            RenderTarget::pushCurrentTarget();
            pass.retainOutput(true);
            TextureRef result;
            if (pass.render(renderer))
                result = pass.stealOutput();
            pass.retainOutput(false);
            RenderTarget::popCurrentTarget();
            renderer.setViewport(savedRendererViewport);
            glViewport(savedViewport[0], savedViewport[1], savedViewport[2], savedViewport[3]);
            if (result.get() == nullptr)
                logPrint(logError, "Texture::%s: the \"%s\" effect did not render", operation,
                         pass.getClassType().c_str());
            return result;
        }

        class RenderPassTextureEffects final : public TextureEffects
        {
        public:
            TextureRef toLuminosity(Renderer& renderer, const Texture& source) override
            {
                PassPtr pass = makePass("toLuminosity", ToLuminosity::classType());
                if (pass == nullptr)
                    return TextureRef();
                // The pass only reads its inputs.
                pass->setInput(0, const_cast<Texture*>(&source), source.getWidth(), source.getHeight());
                pass->setSize(source.getWidth(), source.getHeight());
                return runPass(renderer, *pass, "toLuminosity");
            }

            TextureRef applyMask(Renderer& renderer, const Texture& source, const Texture& mask) override
            {
                PassPtr pass = makePass("applyMask", Mask::classType());
                auto* masking = dynamic_cast<Mask*>(pass.get());
                if (masking == nullptr)
                    return TextureRef();
                // The pass only reads its input and its mask.
                masking->setInput(0, const_cast<Texture*>(&source), source.getWidth(), source.getHeight());
                masking->setMask(const_cast<Texture*>(&mask));
                masking->setSize(std::max(source.getWidth(), mask.getWidth()),
                                 std::max(source.getHeight(), mask.getHeight()));
                masking->setLayerMaskModeEnabled(true);
                return runPass(renderer, *masking, "applyMask");
            }
        };

        RenderPassTextureEffects effects;
        const bool installed = (TextureEffects::setCurrent(&effects), true);
    }
}
