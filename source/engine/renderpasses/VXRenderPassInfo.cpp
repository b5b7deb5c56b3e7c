#include "engine/renderpasses/VXRenderPassInfo.h"

#include "core/VXFile.h"
#include "core/VXLog.h"
#include "core/VXRttiObject.h"
#include "core/xml/VXXmlState.h"
#include "engine/gfx/VXGfxObject.h"
#include "engine/renderpasses/VXDryWetEffect.h"
#include "engine/renderpasses/VXEffect.h"
#include "engine/renderpasses/VXFFGLEffect.h"
#include "engine/renderpasses/VXFFGLGenerator.h"
#include "engine/renderpasses/VXFFGLMixer.h"
#include "engine/renderpasses/VXFFGLPluginInstance.h"
#include "engine/renderpasses/VXGenerator.h"
#include "engine/renderpasses/VXMixer.h"
#include "engine/renderpasses/VXRenderPass.h"
#include "engine/renderpasses/VXRenderPassManager.h"

namespace vx
{
    namespace
    {
        // The pass as a T, or null with the pass deleted: a caller asking
        // for one kind never receives, nor leaks, another.
        template <typename T>
        T* asKind(RenderPass* pass)
        {
            if (pass == nullptr)
                return nullptr;
            if (auto* kind = dynamic_cast<T*>(pass))
                return kind;
            GfxObject::deleteUsingManager(pass);
            return nullptr;
        }
    }

    RenderPassInfo::RenderPassInfo(bool hidden) : Extension(hidden)
    {
    }

    RenderPass* RenderPassInfo::createInternal()
    {
        if (creationFunc == nullptr)
            return nullptr;
        RttiObject* object = creationFunc();
        if (object == nullptr)
            return nullptr;
        auto* pass = dynamic_cast<RenderPass*>(object);
        if (pass == nullptr)
        {
            logPrint(logError, "RenderPassInfo: the creation function of \"%s\" makes no render pass", name.c_str());
            delete object;
            return nullptr;
        }
        pass->setExtension(this);
        return pass;
    }

    RenderPass* RenderPassInfo::instantiate()
    {
        return createInternal();
    }

    FFGLPluginInstance* RenderPassInfo::loadPlugin() const
    {
        return FFGLPluginInstance::load(File(filePath));
    }

    RenderPass* RenderPassInfo::createRenderPass(XmlState* preset, bool wrap)
    {
        RenderPass* pass = nullptr;
        if (sourceKind == SourceInternal)
            pass = wrap && dryWetWrappable ? createDryWetEffect() : createInternal();
        else if (sourceKind == SourceFFGLPlugin)
            pass = category == RenderPassCategoryEffect ? createDryWetEffect() : createBarePass();
        if (pass == nullptr)
            return nullptr;
        pass->setExtension(this);
        if (preset != nullptr)
            pass->linkPreset(preset, true);
        return pass;
    }

    RenderPass* RenderPassInfo::createBarePass()
    {
        if (sourceKind == SourceInternal)
            return createInternal();
        switch (sourceKind == SourceFFGLPlugin ? category : RenderPassCategoryAny)
        {
            case RenderPassCategoryEffect:
                return createEffect();
            case RenderPassCategoryMixer:
                return createMixer(std::string());
            case RenderPassCategoryGenerator:
                return createGenerator();
            default:
                return nullptr;
        }
    }

    Effect* RenderPassInfo::createEffect()
    {
        if (sourceKind == SourceFFGLPlugin)
        {
            FFGLPluginInstance* plugin = loadPlugin();
            return plugin != nullptr ? withExtension(new FFGLEffect(plugin, 1)) : nullptr;
        }
        return sourceKind == SourceInternal ? asKind<Effect>(createInternal()) : nullptr;
    }

    Generator* RenderPassInfo::createGenerator()
    {
        if (sourceKind == SourceFFGLPlugin)
        {
            FFGLPluginInstance* plugin = loadPlugin();
            return plugin != nullptr ? withExtension(new FFGLGenerator(plugin)) : nullptr;
        }
        return sourceKind == SourceInternal ? asKind<Generator>(createInternal()) : nullptr;
    }

    Mixer* RenderPassInfo::createMixer(const std::string& mixerName)
    {
        if (! mixerName.empty())
        {
            auto* manager = RenderPassManager::getCurrent();
            RenderPassInfo* mixer =
                manager != nullptr ? manager->getRenderPassInfo(mixerName, RenderPassCategoryMixer) : nullptr;
            return mixer != nullptr ? mixer->createMixer(std::string()) : nullptr;
        }
        if (sourceKind == SourceFFGLPlugin)
        {
            FFGLPluginInstance* plugin = loadPlugin();
            return plugin != nullptr ? withExtension(new FFGLMixer(plugin, 2)) : nullptr;
        }
        return sourceKind == SourceInternal ? asKind<Mixer>(createInternal()) : nullptr;
    }

    DryWetEffect* RenderPassInfo::createDryWetEffect()
    {
        if (name.empty())
            return nullptr;
        Effect* effect = createEffect();
        if (effect == nullptr)
            return nullptr;
        Mixer* mixer = createMixer("Alpha");
        if (mixer == nullptr)
            mixer = new Mixer(2);
        return new DryWetEffect(effect, mixer);
    }
}
