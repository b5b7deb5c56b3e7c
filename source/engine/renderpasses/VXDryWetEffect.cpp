#include "engine/renderpasses/VXDryWetEffect.h"

#include "core/VXScopedLock.h"
#include "core/parameters/VXParamChoice.h"
#include "core/parameters/VXParamContainer.h"
#include "core/parameters/VXParamRange.h"
#include "core/parameters/VXParamView.h"
#include "engine/gfx/VXRenderTarget.h"
#include "engine/renderpasses/VXMixer.h"
#include "engine/renderpasses/VXRenderPassManager.h"

#include <cstring>

namespace vx
{
    namespace
    {
        template <typename T>
        std::shared_ptr<T> own(T* pass)
        {
            return std::shared_ptr<T>(pass, &GfxObject::deleteUsingManager);
        }

        // Direct children only: a wrapped wrapper's own marked children lie
        // deeper and are its business.
        const XmlNode* markedChild(const XmlNode& node, const char* mark)
        {
            for (const XmlNode* child = node.first_node(); child != nullptr; child = child->next_sibling())
            {
                const XmlAttribute* type = child->first_attribute("dwType");
                if (type != nullptr && std::string(type->value(), type->value_size()) == mark)
                    return child;
            }
            return nullptr;
        }

        std::string typeOf(const XmlNode& node)
        {
            const XmlAttribute* type = node.first_attribute("type");
            return type != nullptr ? std::string(type->value(), type->value_size()) : std::string();
        }
    }

    DryWetEffect::DryWetEffect() : DryWetEffect(nullptr, nullptr)
    {
    }

    DryWetEffect::DryWetEffect(Effect* effectToWrap, Mixer* mixerToUse) : Effect(1)
    {
        if (effectToWrap != nullptr)
            effect = own(effectToWrap);
        if (mixerToUse != nullptr)
            mixer = own(mixerToUse);

        blendMode = std::make_shared<ParamChoice<unsigned long long>>("Blend Mode");
        populateBlendModes();
        if (mixer != nullptr)
            blendMode->setValueByName(mixer->getName(), ValueChangeInfo());
        blendMode->addListener(*this, false);
        getParams().addParam(blendMode);
        getParams().setViewForParam(blendMode, ParamView(static_cast<ParamView::ControlType>(2)), false);

        opacity = getParams().addParamRange("Opacity", 1.0);
        ParamView view(ParamView::controlTypeAlpha, ParamView::unitsPercent, ParamView::subTypeDefault, 0);
        view.setValueMultiplier(100.0);
        getParams().setViewForParam(opacity, view, false);

        if (effect != nullptr)
            setName(effect->getName(), true);
    }

    DryWetEffect::~DryWetEffect()
    {
        blendMode->removeListener(*this);
    }

    bool DryWetEffect::isOfClassType(std::string t) const
    {
        return t == DryWetEffect::classType() || Effect::isOfClassType(t);
    }

    std::string DryWetEffect::derivedOfClassType(std::string t) const
    {
        return t == DryWetEffect::classType() ? getClassType() : Effect::derivedOfClassType(t);
    }

    bool DryWetEffect::setEffect(Effect* effectToWrap)
    {
        if (effectToWrap == nullptr)
            return false;
        std::shared_ptr<Effect> replaced = own(effectToWrap);
        {
            const ScopedSpinLock hold(passesLock);
            effect.swap(replaced);
        }
        setName(effectToWrap->getName(), true);
        // A name the wrapper had already does not move the path.
        pathChanged();
        return true;
    }

    bool DryWetEffect::setMixer(Mixer* mixerToUse)
    {
        if (mixerToUse == nullptr)
            return false;
        // Set up before it is published: a render on another thread may take
        // it at once. The effect's path has not changed, so it is left alone.
        mixerToUse->setPath(getPath() + "/mixer", false);
        // The replaced mixer goes when the last render holding it ends.
        std::shared_ptr<Mixer> replaced = own(mixerToUse);
        {
            const ScopedSpinLock hold(passesLock);
            mixer.swap(replaced);
        }
        blendMode->setValueByName(mixerToUse->getName(), ValueChangeInfo(ChangeType_Silent, -1.0));
        return true;
    }

    std::shared_ptr<Effect> DryWetEffect::getEffect() const
    {
        const ScopedSpinLock hold(passesLock);
        return effect;
    }

    std::shared_ptr<Mixer> DryWetEffect::getMixer() const
    {
        const ScopedSpinLock hold(passesLock);
        return mixer;
    }

    std::string DryWetEffect::getUniqueId() const
    {
        const std::shared_ptr<Effect> wet = getEffect();
        return wet != nullptr ? wet->getUniqueId() : getName();
    }

    std::string DryWetEffect::getDisplayName() const
    {
        const std::shared_ptr<Effect> wet = getEffect();
        return wet != nullptr ? wet->getDisplayName() : getClassDisplayStr();
    }

    std::string DryWetEffect::getDescription() const
    {
        const std::shared_ptr<Effect> wet = getEffect();
        return wet != nullptr ? wet->getDescription() : std::string();
    }

    bool DryWetEffect::hasWidget()
    {
        const std::shared_ptr<Effect> wet = getEffect();
        return wet != nullptr && wet->hasWidget();
    }

    Widget* DryWetEffect::getWidget()
    {
        const std::shared_ptr<Effect> wet = getEffect();
        return wet != nullptr ? wet->getWidget() : nullptr;
    }

    void DryWetEffect::handleWidget(Renderer& renderer, GuiView& view, Texture& texture)
    {
        if (const std::shared_ptr<Effect> wet = getEffect())
            wet->handleWidget(renderer, view, texture);
    }

    void DryWetEffect::pathChanged()
    {
        if (const std::shared_ptr<Effect> wet = getEffect())
            wet->setPath(getPath() + "/effect", false);
        if (const std::shared_ptr<Mixer> mix = getMixer())
            mix->setPath(getPath() + "/mixer", false);
        RenderPass::pathChanged();
    }

    void DryWetEffect::start(bool restart, const TimeUnit& time)
    {
        RenderPass::start(restart, time);
        if (const std::shared_ptr<Effect> wet = getEffect())
            wet->start(restart, time);
        if (const std::shared_ptr<Mixer> mix = getMixer())
            mix->start(restart, time);
    }

    void DryWetEffect::stop(const TimeUnit& time)
    {
        RenderPass::stop(time);
        if (const std::shared_ptr<Effect> wet = getEffect())
            wet->stop(time);
        if (const std::shared_ptr<Mixer> mix = getMixer())
            mix->stop(time);
    }

    bool DryWetEffect::update(const TimeInfo& info)
    {
        bool changed = RenderPass::update(info);
        if (const std::shared_ptr<Effect> wet = getEffect())
            changed = wet->update(info) || changed;
        if (const std::shared_ptr<Mixer> mix = getMixer())
            changed = mix->update(info) || changed;
        return changed;
    }

    void DryWetEffect::release()
    {
        if (const std::shared_ptr<Effect> wet = getEffect())
            wet->release();
        if (const std::shared_ptr<Mixer> mix = getMixer())
            mix->release();
        RenderPass::release();
    }

    bool DryWetEffect::init()
    {
        const std::shared_ptr<Effect> wet = getEffect();
        const std::shared_ptr<Mixer> mix = getMixer();
        if (wet == nullptr || mix == nullptr)
            return false;
        wet->setSize(getWidth(), getHeight());
        setNumInputs(wet->getNumInputs());
        mix->setSize(getWidth(), getHeight());
        return RenderPass::init();
    }

    bool DryWetEffect::needsToBeRendered()
    {
        return opacity->getValue() > 0.0;
    }

    bool DryWetEffect::renderEffect(Renderer& renderer)
    {
        const std::shared_ptr<Effect> wet = getEffect();
        if (wet == nullptr)
            return false;
        wet->setSize(getWidth(), getHeight());
        for (int i = 0; i < getNumInputs() && i < maxSlots; ++i)
            wet->setInput(i, *getInput(i));
        return wet->render(renderer);
    }

    bool DryWetEffect::render(Renderer& renderer)
    {
        const double amount = opacity->getValue();
        if (amount <= 0.0)
        {
            if (! begin(renderer))
                return false;
            getInput(0)->draw(renderer, -1.0f, -1.0f, 2.0f, 2.0f);
            end(renderer);
            return true;
        }

        // This render's passes: a mixer replaced meanwhile lives until the end.
        std::shared_ptr<Effect> wet;
        std::shared_ptr<Mixer> mix;
        {
            const ScopedSpinLock hold(passesLock);
            wet = effect;
            mix = mixer;
        }
        if (wet == nullptr || mix == nullptr)
        {
            // init fails without both, so begin answers false and the pass
            // counts as failed for chains.
            if (begin(renderer))
                end(renderer);
            return false;
        }

        if (amount == 1.0)
        {
            if (! begin(renderer))
                return false;
            wet->setOutputToCurrentBuffer(true);
            const bool drawn = renderEffect(renderer);
            end(renderer);
            return drawn;
        }
        return renderWithPasses(renderer, wet, mix);
    }

    bool DryWetEffect::renderWithPasses(Renderer& renderer, const std::shared_ptr<Effect>& wet,
                                        const std::shared_ptr<Mixer>& mix)
    {
        RenderTarget::pushCurrentTarget();
        wet->setOutputToCurrentBuffer(false);
        wet->retainOutput(true);
        if (! renderEffect(renderer))
        {
            wet->retainOutput(false);
            RenderTarget::popCurrentTarget();
            return false;
        }
        RenderTarget::popCurrentTarget();
        if (! begin(renderer))
        {
            wet->retainOutput(false);
            return false;
        }
        mix->setOutputToCurrentBuffer(true);
        mix->getOpacity().setValue(opacity->getValue(), ValueChangeInfo());
        mix->setInput(0, *getInput(0));
        mix->setInput(1, wet->getOutput(0)->texture, 0, 0);
        mix->setSize(getWidth(), getHeight());
        const bool drawn = mix->render(renderer);
        end(renderer);
        wet->retainOutput(false);
        return drawn;
    }

    void DryWetEffect::valueChanged(ParamBase& param, ChangeInfo)
    {
        if (&param != blendMode.get())
            return;
        const unsigned long long picked = blendMode->getValue();
        for (const auto& choice : blendMode->getChoices())
        {
            if (choice.getValue() != picked)
                continue;
            auto* manager = RenderPassManager::getCurrent();
            RenderPassInfo* kind =
                manager != nullptr ? manager->getRenderPassInfo(choice.getName(), RenderPassCategoryMixer) : nullptr;
            if (kind != nullptr)
                setMixer(kind->createMixer(std::string()));
            return;
        }
    }

    void DryWetEffect::populateBlendModes()
    {
        if (auto* manager = RenderPassManager::getCurrent())
            manager->populateChoiceWithRenderPassesByCategory(*blendMode, RenderPassCategoryMixer);
    }

    XmlNode* DryWetEffect::writeStateDerived(XmlPool& pool, bool force)
    {
        XmlNode* element = RenderPass::writeStateDerived(pool, force);
        const auto appendMarked = [&](RenderPass* pass, const char* mark)
        {
            if (pass == nullptr)
                return;
            if (XmlNode* child = pass->writeState(pool, force))
            {
                child->append_attribute(createAttribute(pool, "dwType", mark));
                element->append_node(child);
            }
        };
        appendMarked(getEffect().get(), "Effect");
        appendMarked(getMixer().get(), "Mixer");
        return element;
    }

    void DryWetEffect::readStateDerived(const XmlNode& node)
    {
        const std::shared_ptr<Effect> held = getEffect();
        const std::string type = typeOf(node);
        if (held != nullptr && type != classType() && type == held->getClassType())
        {
            held->readState(&node, false);
            return;
        }

        if (const XmlNode* child = markedChild(node, "Effect"))
        {
            if (held != nullptr)
                held->readState(child, false);
            else
            {
                RenderPass* made = RenderPass::createRenderPassFromXmlNode(child);
                if (auto* madeEffect = dynamic_cast<Effect*>(made))
                    setEffect(madeEffect);
                else
                    GfxObject::deleteUsingManager(made); // not an effect: no use here, and not leaked
            }
        }
        if (const XmlNode* child = markedChild(node, "Mixer"))
        {
            if (const std::shared_ptr<Mixer> mix = getMixer())
                mix->readState(child, false);
            else
            {
                RenderPass* made = RenderPass::createRenderPassFromXmlNode(child);
                if (auto* madeMixer = dynamic_cast<Mixer*>(made))
                    setMixer(madeMixer);
                else
                    GfxObject::deleteUsingManager(made);
            }
        }
        populateBlendModes();
        RenderPass::readStateDerived(node);
    }
}
