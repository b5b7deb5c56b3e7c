#include "engine/video/formats/VXQuartzComposerVideoFormat.h"

#include "engine/gfx/VXContextManager.h"
#include "engine/video/formats/VXQuartzComposerFormatReader.h"

namespace vx
{
    const std::string quartzComposerFormatName = "Quartz Composer ";
    const std::string quartzComposerExtensions = "*.qtz";

    QuartzComposerVideoFormat::QuartzComposerVideoFormat()
        : VideoFormat(quartzComposerFormatName, quartzComposerExtensions, {})
    {
    }

    std::vector<unsigned char> QuartzComposerVideoFormat::getPossibleBitDepths()
    {
        return {4};
    }

    VideoFormatReader* QuartzComposerVideoFormat::createReaderFor(const File& file)
    {
        std::shared_ptr<ScopedContextSelector> primary;
        if (ContextManager* contexts = ContextManager::getCurrent())
            primary = contexts->getScopedPrimaryContextLock();
        return keepIfOpened(new QuartzComposerFormatReader(file));
    }
}
