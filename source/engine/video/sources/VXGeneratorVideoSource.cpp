#include "engine/video/sources/VXGeneratorVideoSource.h"

#include "core/parameters/VXParamContainer.h"
#include "engine/renderpasses/VXGenerator.h"
#include "engine/renderpasses/VXRenderPassChain.h"
#include "engine/renderpasses/VXRenderPassManager.h"
#include "engine/renderpasses/catalogue/VXFormatConversion.h"
#include "engine/video/sources/VXSourceDirectory.h"

namespace vx
{
    GeneratorVideoSource::GeneratorVideoSource(Generator* g) : PositionableVideoSource("GeneratorVideoSource")
    {
        if (g != nullptr)
        {
            generator.reset(g, &GfxObject::deleteUsingManager);
            // Written with the chain and made again from it.
            generator->setStorage(XmlCapable::storageCreatable);
            chain->setHeadPasses({generator});
        }
        setSizeInternal(DEFAULT_WIDTH, DEFAULT_HEIGHT);
    }

    GeneratorVideoSource::GeneratorVideoSource() : PositionableVideoSource("GeneratorVideoSource")
    {
        chain->setRenderWithoutPasses(false);
    }

    bool GeneratorVideoSource::update(const TimeInfo& info)
    {
        return VideoSource::update(info);
    }

    std::string GeneratorVideoSource::getDescription() const
    {
        return generator != nullptr ? generator->getDisplayName() : "GeneratorVideoSource";
    }

    std::shared_ptr<ParamContainer> GeneratorVideoSource::getAdditionalParams() const
    {
        if (generator == nullptr)
            return {};
        return std::shared_ptr<ParamContainer>(generator, &generator->getParams());
    }

    bool GeneratorVideoSource::hasCustomThumbnail()
    {
        return generator != nullptr && generator->canGenerateThumbnail();
    }

    std::shared_ptr<Pixels> GeneratorVideoSource::getCustomThumbnail()
    {
        return generator != nullptr ? generator->getThumbnail() : nullptr;
    }

    void GeneratorVideoSource::resized(int newWidth, int newHeight)
    {
        if (generator != nullptr)
            generator->resized(newWidth, newHeight);
    }

    void GeneratorVideoSource::release()
    {
        PositionableVideoSource::release();
        if (conversion != nullptr)
        {
            chain->removeRenderPass(conversion);
            conversion.reset();
        }
    }

    TextureRef GeneratorVideoSource::render(Renderer& renderer, const RenderInfo&)
    {
        if (getWidth() == 0 || getHeight() == 0 || ! begin(renderer))
            return {};
        if (generator != nullptr && ! generator->isPremultiplied())
        {
            if (conversion == nullptr)
                if (RenderPassManager* manager = RenderPassManager::getCurrent())
                    conversion =
                        std::dynamic_pointer_cast<FormatConversion>(manager->findSharedPass("FormatConversion"));
            if (conversion != nullptr)
            {
                conversion->toDefaults();
                conversion->setSize(getWidth(), getHeight());
                conversion->premultiply = true;
            }
        }
        chain->setHeadPasses({generator, conversion});
        const bool rendered = chain->render(renderer);
        end(renderer);
        return rendered ? chain->stealOutput() : TextureRef();
    }

    void GeneratorVideoSource::readStatePost()
    {
        PositionableVideoSource::readStatePost();
        std::vector<RenderPassChain::PassPtr> passes;
        chain->getAllRenderPasses(passes);
        for (const RenderPassChain::PassPtr& pass : passes)
            if (auto found = std::dynamic_pointer_cast<Generator>(pass))
                generator = found;
        if (generator == nullptr)
            return;
        chain->setHeadPasses({generator, conversion});
        if (SourceDirectory* directory = SourceDirectory::getCurrent())
            if (SourceExtension* extension = directory->getSourceExtension(generator->getUniqueId()))
                setSourceInfo(extension->getSourceInfo(), nullptr);
    }
}
