#include "engine/renderpasses/VXRenderPass.h"

#include "core/VXLog.h"
#include "core/parameters/VXParam.h"
#include "core/parameters/VXParamContainer.h"
#include "core/parameters/VXParamView.h"
#include "engine/gfx/VXGfxUtils.h"
#include "engine/gfx/VXRenderTarget.h"
#include "engine/gfx/VXRenderTargetManager.h"
#include "engine/gfx/VXRenderer.h"
#include "engine/gfx/VXTexture.h"
#include "engine/gfx/VXTextureManager.h"
#include "engine/renderpasses/VXRenderPassManager.h"
#include "engine/renderpasses/VXRenderPassView.h"

#include <epoxy/gl.h>

#include <cstdlib>

namespace vx
{
    namespace
    {
        bool isSlot(int index)
        {
            return index >= 0 && index < RenderPass::maxSlots;
        }

        // A bad index comes from the caller's own arithmetic: refuse it with
        // a line rather than write past the four slots.
        bool checkSlot(int index, const char* operation)
        {
            if (isSlot(index))
                return true;
            logPrint(logError, "RenderPass::%s: there is no slot %d (slots are 0 to %d)", operation, index,
                     RenderPass::maxSlots - 1);
            return false;
        }
    }

    RenderPass::RenderPass(int numInputs, int numOutputs)
        : ExtensionInstance("RenderPass"), params(std::make_shared<ParamContainer>("Params")), outputCount(numOutputs),
          inputCount(numInputs)
    {
        bypassed = params->addParamBool("bypassed", false);
        params->setViewForParam(bypassed, ParamView(static_cast<ParamView::Visibility>(2)), false);
    }

    RenderPass::~RenderPass()
    {
        // A pass deleted while holding a target (retained, or never released)
        // must not keep it from the pool for good.
        if (renderTarget != nullptr)
            if (auto* targets = RenderTargetManager::getCurrent())
                targets->release(renderTarget);
    }

    bool RenderPass::isOfClassType(std::string t) const
    {
        return t == RenderPass::classType();
    }

    std::string RenderPass::derivedOfClassType(std::string t) const
    {
        return t == RenderPass::classType() ? getClassType() : RttiObject::derivedOfClassType(t);
    }

    void RenderPass::pathChanged()
    {
        params->setPath(getPath(), false);
    }

    void RenderPass::start(bool restart, const TimeUnit& time)
    {
        params->start(restart, time);
    }

    void RenderPass::stop(const TimeUnit& time)
    {
        params->stop(time);
    }

    bool RenderPass::update(const TimeInfo& info)
    {
        return params->update(info);
    }

    std::string RenderPass::getUniqueId() const
    {
        return getName();
    }

    std::string RenderPass::getDisplayName() const
    {
        return getClassDisplayStr();
    }

    std::string RenderPass::getDescription() const
    {
        return std::string();
    }

    void RenderPass::release()
    {
        SelfIniter::resetState();
        giveBackRenderTarget();
        GfxObject::release();
    }

    void RenderPass::resized(int, int)
    {
    }

    RenderPassInfo* RenderPass::getExtension()
    {
        // By type, not by name: a pass the user renamed keeps its kind.
        if (extension != nullptr)
            return extension;
        if (auto* manager = RenderPassManager::getCurrent())
            return manager->getRenderPassInfo(getClassType(), RenderPassCategoryAny);
        return nullptr;
    }

    void RenderPass::handleWidget(Renderer&, GuiView&, Texture&)
    {
    }

    bool RenderPass::begin(Renderer& renderer)
    {
        if (! SelfIniter::begin(renderer))
            return false;

        if (! outputToCurrentBuffer)
        {
            setupRenderTargets();
            if (renderTarget == nullptr || ! renderTarget->bind())
            {
                end(renderer);
                return false;
            }
        }

        renderer.setViewport(RectT<float>(float(x), float(y), float(x + width), float(y + height)));
        if (clearEnabled)
            gfx::clear(clearColor.r, clearColor.g, clearColor.b, clearColor.a, true, 1.0f);
        gfx::color(color);
        renderer.clearMatrices(true, true, true);
        gfx::setIdentityTransform();
        return true;
    }

    void RenderPass::end(Renderer& renderer)
    {
        if (renderTarget != nullptr)
        {
            // Driver workaround (llvmpipe): a read-back that switches
            // framebuffers has been seen to read a pooled texture before the
            // drawing queued for it ran, giving the picture before. Handing
            // the drawing over while the target is still bound keeps every
            // later read of its texture behind it.
            glFlush();
            RenderTarget::unbind();
            outputs[0] =
                RenderPassTexture(renderTarget->getTexture(0), float(width), float(height), RenderPassTexture::Default);
            if (! retain)
                giveBackRenderTarget();
        }
        else
        {
            outputs[0].texture = nullptr;
            outputs[0].width = float(width);
            outputs[0].height = float(height);
        }
        SelfIniter::end(renderer);
    }

    void RenderPass::setupRenderTargets()
    {
        if (outputToCurrentBuffer)
            return;
        if (retain && renderTarget != nullptr && renderTarget->getWidth() == width &&
            renderTarget->getHeight() == height)
            return;
        giveBackRenderTarget();
        if (auto* targets = RenderTargetManager::getCurrent())
            renderTarget =
                targets->retainPingPong(width, height, *DEFAULT_COLOR_FMT, requiresDepthBuffer(), DEFAULT_DEPTH_FMT);
    }

    void RenderPass::giveBackRenderTarget()
    {
        outputs[0].texture = nullptr;
        outputs[0].width = float(width);
        outputs[0].height = float(height);
        if (renderTarget == nullptr)
            return;
        if (auto* targets = RenderTargetManager::getCurrent())
            targets->release(renderTarget);
        renderTarget = nullptr;
    }

    XmlNode* RenderPass::writeStateDerived(XmlPool& pool, bool force)
    {
        XmlNode* element = createElement(pool);
        element->append_attribute(createAttribute(pool, "type", getClassType()));
        element->append_attribute(createAttribute(pool, "uniqueId", getUniqueId()));
        if (params->hasParams())
            params->appendAndWrite(element, pool, force);
        if (view != nullptr)
            view->appendAndWrite(element, pool, force);
        return element;
    }

    void RenderPass::readStateDerived(const XmlNode& node)
    {
        // Direct children only: a chain's element holds its passes' elements,
        // whose "Params" are theirs.
        params->readState(node.first_node("Params"), false);
        if (const XmlNode* viewNode = node.first_node(RenderPassView::XML_NODE_NAME.c_str()))
            getView().readState(viewNode, false);
    }

    RenderPass* RenderPass::createRenderPassFromXmlNode(const XmlNode* node)
    {
        const XmlAttribute* typeAttribute = node != nullptr ? node->first_attribute("type") : nullptr;
        if (typeAttribute == nullptr)
            return nullptr;
        const std::string type = readAttribute(typeAttribute, std::string());
        debugPrint("RenderPass::createRenderPassFromXmlNode: trying to create render pass with type:%s", type.c_str());

        auto* manager = RenderPassManager::getCurrent();
        RenderPassInfo* info = manager != nullptr ? manager->getRenderPassInfo(type, RenderPassCategoryAny) : nullptr;
        RenderPass* pass = info != nullptr ? info->createRenderPass(nullptr, false) : nullptr;
        if (pass == nullptr)
        {
            debugPrint("RenderPass::createRenderPassFromXmlNode: renderPass not registered:");
            return nullptr;
        }
        pass->readState(node, false);
        return pass;
    }

    void RenderPass::setSize(int newWidth, int newHeight)
    {
        setSize(0, 0, newWidth, newHeight);
    }

    void RenderPass::setSize(int newX, int newY, int newWidth, int newHeight)
    {
        x = newX;
        y = newY;
        if (newWidth == width && newHeight == height)
            return;
        width = newWidth;
        height = newHeight;
        resized(width, height);
    }

    void RenderPass::setSize(const RectT<int>& rect)
    {
        setSize(rect.x1, rect.y1, std::abs(rect.x2 - rect.x1), std::abs(rect.y2 - rect.y1));
    }

    RectT<int> RenderPass::getSize() const
    {
        return RectT<int>(x, y, width, height);
    }

    void RenderPass::setInput(int index, const RenderPassTexture& slot)
    {
        if (checkSlot(index, "setInput"))
            inputs[index] = slot;
    }

    void RenderPass::setInput(int index, Texture* texture, int textureWidth, int textureHeight)
    {
        if (! checkSlot(index, "setInput"))
            return;
        if (texture == nullptr)
            if (auto* textures = TextureManager::getCurrent())
                texture = textures->getBlankTexture();
        inputs[index] =
            RenderPassTexture(texture, float(textureWidth), float(textureHeight), RenderPassTexture::Default);
    }

    void RenderPass::setAuxInput(int index, const RenderPassTexture& slot)
    {
        if (checkSlot(index, "setAuxInput"))
            auxInputs[index] = slot;
    }

    void RenderPass::setOutput(int index, const RenderPassTexture& slot)
    {
        if (checkSlot(index, "setOutput"))
            outputs[index] = slot;
    }

    void RenderPass::setOutputTexture(int index, Texture* texture)
    {
        if (! checkSlot(index, "setOutputTexture"))
            return;
        outputs[index].texture = texture;
        outputs[index].width = float(width);
        outputs[index].height = float(height);
    }

    RenderPassTexture* RenderPass::getInput(int index)
    {
        return isSlot(index) ? &inputs[index] : nullptr;
    }

    const RenderPassTexture* RenderPass::getInput(int index) const
    {
        return isSlot(index) ? &inputs[index] : nullptr;
    }

    RenderPassTexture* RenderPass::getAuxInput(int index)
    {
        return isSlot(index) ? &auxInputs[index] : nullptr;
    }

    const RenderPassTexture* RenderPass::getOutput(int index) const
    {
        return isSlot(index) ? &outputs[index] : nullptr;
    }

    void RenderPass::retainOutput(bool keep)
    {
        if (! keep)
            giveBackRenderTarget();
        retain = keep;
    }

    void RenderPass::setOutputToCurrentBuffer(bool useCurrentBuffer)
    {
        if (useCurrentBuffer)
            retainOutput(false);
        outputToCurrentBuffer = useCurrentBuffer;
    }

    TextureRef RenderPass::stealOutput()
    {
        Texture* texture = outputs[0].texture;
        if (renderTarget == nullptr || texture == nullptr)
            return TextureRef();
        giveBackRenderTarget();
        auto* textures = TextureManager::getCurrent();
        if (textures == nullptr || ! textures->unManageTexture(*texture))
            return TextureRef();
        return TextureRef(texture);
    }

    bool RenderPass::isBypassed() const
    {
        return bypassed->getValue();
    }

    RenderPassView& RenderPass::getView()
    {
        if (view == nullptr)
            view = std::make_unique<RenderPassView>();
        return *view;
    }
}
