// Arbitrary bytes as an XML document, read into a render-pass chain that
// holds a transform and a mixer and makes the passes the text asks for (every
// built-in kind, and a plain mixer). Malformed text must answer null;
// whatever parses must read, move and create passes without touching memory
// out of bounds, and write back out.

#include "core/xml/VXXmlUtils.h"
#include "engine/renderpasses/VXMixer.h"
#include "engine/renderpasses/VXRenderPassChain.h"
#include "engine/renderpasses/VXRenderPassManager.h"
#include "engine/renderpasses/VXTransformEffect.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace
{
    vx::RttiObject* makeMixer()
    {
        return new vx::Mixer(2);
    }

    // The kinds stay registered for the life of the process.
    struct Registry
    {
        Registry()
        {
            manager.registerInternalRenderPasses();
            manager.registerRenderPass("Mixer", "Mixer", &makeMixer, vx::RenderPassCategoryMixer, 2, false, false);
            vx::RenderPassManager::setCurrent(&manager);
        }
        vx::RenderPassManager manager;
    };
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static Registry registry;
    const std::string text(reinterpret_cast<const char*>(data), size);
    auto document = vx::XmlUtils::loadXmlFromString(text, true);
    if (document == nullptr)
        return 0;

    vx::RenderPassChain chain;
    chain.setSize(64, 32);
    chain.addRenderPass(new vx::TransformEffect());
    chain.addRenderPass(new vx::Mixer(2));
    chain.readState(document->first_node(), true);
    chain.readState(document->first_node(), true);

    const std::string written = vx::XmlUtils::writeXmlToString(chain, true);
    (void)written;
    return 0;
}
