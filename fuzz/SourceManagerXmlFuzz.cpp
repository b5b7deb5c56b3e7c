// Arbitrary bytes as an XML document handed to the source manager, which asks
// every factory in turn (file reader, capture devices, generators, screen
// capture) for a source; a source made is written back and released. Whatever
// the element holds must neither touch memory out of bounds nor leak.

#include "VXFuzzSupport.h"
#include "core/xml/VXXmlUtils.h"
#include "engine/devices/VXCaptureDeviceManager.h"
#include "engine/devices/VXDeviceChangeDetector.h"
#include "engine/renderpasses/VXRenderPassManager.h"
#include "engine/video/sources/VXVideoSource.h"
#include "engine/video/sources/VXVideoSourceManager.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace
{
    // Lives for the process: the managers as the engine root makes them.
    struct Setup
    {
        Setup() : capture(detector)
        {
            passes.registerInternalRenderPasses();
            vx::RenderPassManager::setCurrent(&passes);
            vx::CaptureDeviceManager::setCurrent(&capture);
            vx::SourceDirectory::setCurrent(&sources);
            sources.registerSourceFactory(capture);
            sources.registerSourceFactory(passes);
        }
        vx::DeviceChangeDetector detector;
        vx::CaptureDeviceManager capture;
        vx::RenderPassManager passes;
        vx::VideoSourceManager sources;
    };
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static Setup setup;
    const auto document = vx::fuzz::parseElement(data, size);
    if (document == nullptr)
        return 0;
    std::unique_ptr<vx::VideoSource> source(setup.sources.createVideoSourceFromXML(*document->first_node()));
    if (source == nullptr)
        return 0;
    vx::XmlPool pool;
    source->writeState(pool, true);
    source->release();
    return 0;
}
