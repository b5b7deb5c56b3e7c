// Arbitrary bytes as an XML document given to the network video server
// manager as a stored source: "NetworkVideoInfo" children with any address
// and port, sizes, parameters and render passes. A source made from it reads
// the document again and is written back. Nothing may touch memory out of
// bounds, leak or keep a client.

#include "VXFuzzSupport.h"
#include "core/xml/VXXmlUtils.h"
#include "engine/network/VXNetworkVideoClientInstanceManager.h"
#include "engine/network/VXNetworkVideoServerManager.h"
#include "engine/renderpasses/VXRenderPassChain.h"
#include "engine/renderpasses/VXRenderPassManager.h"
#include "engine/renderpasses/VXTransformEffect.h"
#include "engine/video/sources/VXNetworkVideoSource.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

namespace
{
    // Lives for the process. No server is listed, so no socket is bound.
    struct Setup
    {
        Setup()
        {
            passes.registerRenderPass("Transform", "Transform", &vx::TransformEffect::creationFunc,
                                      vx::RenderPassCategoryEffect, 1, true, false);
            passes.registerRenderPass("RenderPassChain", "RenderPass Chain", &vx::RenderPassChain::creationFunc,
                                      vx::RenderPassCategoryAny, 100, false, false);
            vx::RenderPassManager::setCurrent(&passes);
        }
        vx::RenderPassManager passes;
    };
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static Setup setup;
    const auto document = vx::fuzz::parseElement(data, size);
    if (document == nullptr)
        return 0;
    const vx::XmlNode& node = *document->first_node();

    vx::NetworkVideoServerManager* manager = vx::NetworkVideoServerManager::getInstance();
    vx::XmlCapable* made = manager->createSourceFromXML(node);
    auto* source = dynamic_cast<vx::NetworkVideoSource*>(made);
    if (made != nullptr && source == nullptr)
        std::abort();
    std::unique_ptr<vx::NetworkVideoSource> held(source);
    if (source != nullptr)
    {
        source->readState(&node, true);
        vx::XmlPool pool;
        source->writeState(pool, true);
        source->getServerAddress();
        source->release();
    }
    held.reset();
    if (vx::NetworkVideoClientInstanceManager::getInstance().getNumClients() != 0)
        std::abort();
    return 0;
}
