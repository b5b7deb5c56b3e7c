// Fills the render-pass manager's generator-source seam, so the manager
// offers every generator kind as a video source. The engine links this file
// into every program that uses it.

#include "engine/renderpasses/VXGenerator.h"
#include "engine/renderpasses/VXGeneratorSources.h"
#include "engine/video/sources/VXGeneratorSourceExtension.h"
#include "engine/video/sources/VXGeneratorVideoSource.h"

namespace vx
{
    namespace
    {
        class Sources final : public GeneratorSources
        {
        public:
            std::shared_ptr<GeneratorSourceExtension> makeExtension(RenderPassInfo& info) override
            {
                return std::make_shared<GeneratorSourceExtension>(info);
            }

            std::string getExtensionName(const GeneratorSourceExtension& extension) override
            {
                return extension.getExtensionName();
            }

            VideoSource* makeSource(Generator* generator, VideoSourceFactory* creator) override
            {
                if (generator == nullptr)
                    return nullptr;
                auto* source = new GeneratorVideoSource(generator);
                source->setCreator(creator);
                return source;
            }

            VideoSource* makeSourceFromXML(const XmlNode& node) override
            {
                auto* source = new GeneratorVideoSource();
                source->readState(&node, false);
                return source;
            }

            XmlCapable* asXmlCapable(VideoSource* source) override { return source; }
        };

        Sources sources;
        const bool installed = (GeneratorSources::setCurrent(&sources), true);
    }
}
