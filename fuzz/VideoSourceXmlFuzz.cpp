// Arbitrary bytes as an XML document: a file source made from it (its reader
// loaded in place through a registry holding only a made-up format for
// "*.fuzzclip"), then the document read into it again and the source written
// back. Whatever the text holds (no reader child, odd loading queues, sizes,
// settings, render passes) must neither touch memory out of bounds nor leak.

#include "VXFuzzSupport.h"
#include "core/parameters/VXPixelsLoader.h"
#include "core/xml/VXXmlUtils.h"
#include "engine/gfx/VXTexture.h"
#include "engine/renderpasses/VXRenderPassChain.h"
#include "engine/renderpasses/VXRenderPassManager.h"
#include "engine/renderpasses/VXTransformEffect.h"
#include "engine/video/formats/VXVideoFormat.h"
#include "engine/video/formats/VXVideoFormatManager.h"
#include "engine/video/formats/VXVideoFormatReader.h"
#include "engine/video/sources/VXVideoFormatReaderSource.h"
#include "engine/video/sources/VXVideoSourceDataDriver.h"

#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <memory>
#include <string>

namespace
{
    // The seeds name this file.
    const char* const clipFolder = "/tmp/vx-videosource-fuzz";
    const char* const clipPath = "/tmp/vx-videosource-fuzz/clip.fuzzclip";

    class FuzzReader : public vx::VideoFormatReader
    {
    public:
        explicit FuzzReader(const vx::File& file) : VideoFormatReader(file, "Fuzz")
        {
            textureWidth = 4;
            textureHeight = 4;
            fps = 25.0;
            length = 120.0;
            bitDepth = 4;
            textureFormat = &vx::Texture::RGBA8;
            resizable = true;
            opened = true;
        }
        unsigned getTotalFrames() override { return 3; }
        bool readFrame(double ms) override
        {
            long frame = 0;
            if (! updatePosition(ms, frame))
                return false;
            setCurrentFrame(frame);
            return true;
        }
    };

    class FuzzFormat : public vx::VideoFormat
    {
    public:
        FuzzFormat() : VideoFormat("Fuzz", "*.fuzzclip", {}) {}
        std::vector<unsigned char> getPossibleBitDepths() override { return {4}; }
        using VideoFormat::createReaderFor;
        vx::VideoFormatReader* createReaderFor(const vx::File& file) override { return new FuzzReader(file); }
    };

    // Lives for the process.
    struct Setup
    {
        Setup()
        {
            mkdir(clipFolder, 0777);
            std::ofstream(clipPath) << "clip";
            formats.clearFormats();
            formats.registerFormat(new FuzzFormat(), true, false);
            vx::PixelsLoader::setCurrent(&formats);
            passes.registerRenderPass("Transform", "Transform", &vx::TransformEffect::creationFunc,
                                      vx::RenderPassCategoryEffect, 1, true, false);
            passes.registerRenderPass("RenderPassChain", "RenderPass Chain", &vx::RenderPassChain::creationFunc,
                                      vx::RenderPassCategoryAny, 100, false, false);
            vx::RenderPassManager::setCurrent(&passes);
        }
        vx::VideoFormatManager formats;
        vx::RenderPassManager passes;
        vx::VideoSourceDataDriver driver;
    };
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static Setup setup;
    const auto document = vx::fuzz::parseElement(data, size);
    if (document == nullptr)
        return 0;
    const vx::XmlNode& node = *document->first_node();

    std::unique_ptr<vx::VideoFormatReaderSource> source(
        vx::VideoFormatReaderSource::createFromXML(setup.driver, node, nullptr));
    if (source == nullptr)
        return 0;
    source->readState(&node, true);
    vx::XmlPool pool;
    source->writeState(pool, true);
    source->getReaderFile();
    source->release();
    return 0;
}
