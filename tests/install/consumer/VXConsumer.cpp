// Makes the engine root headless, renders one frame of the solid-colour
// generator through a chain and checks a pixel: opaque red, the generator's
// default. Exits 0 when it is. It first names the card driver to load, as a
// program that drives cards does.

#include "engine/devices/VXDeckLinkDriver.h"
#include "engine/ffgl/VXVexkit.h"
#include "engine/gfx/VXContextManager.h"
#include "engine/gfx/VXRenderTarget.h"
#include "engine/gfx/VXScopedFramebufferBinding.h"
#include "engine/renderpasses/VXRenderPassChain.h"
#include "engine/renderpasses/catalogue/VXSolidColor.h"
#include "engine/video/formats/VXPixelsUtils.h"

#include <cstdio>

namespace
{
    // The first pixel of the chain's picture (the current set of its target
    // holds the last good one); false when it did not render.
    bool renderOnePixel(vx::Renderer& renderer, unsigned char pixel[4])
    {
        vx::RenderPassChain chain;
        chain.setSize(4, 4);
        chain.addRenderPass(new vx::SolidColor());
        chain.retainOutput(true);
        vx::RenderTarget* target = chain.render(renderer) ? chain.getRenderTarget() : nullptr;
        bool read = false;
        if (target != nullptr)
        {
            const vx::ScopedFramebufferBinding keep;
            read = target->bind() && vx::PixelsUtils::readFromFrameBufferToBuffer(0, 0, 1, 1, 4, pixel, 0, 0);
            vx::RenderTarget::unbind();
        }
        chain.retainOutput(false);
        return read;
    }
}

int main()
{
    // A driver that is not there: no card is ever asked for here.
    vx::setDeckLinkDriverPath("/nonexistent/card-driver.so");
    vx::Vexkit* root = vx::Vexkit::create(0x1);
    if (! root->initialise(true) || ! root->isInitialised())
    {
        std::fprintf(stderr, "the engine root did not start OpenGL\n");
        return 1;
    }
    unsigned char pixel[4] = {};
    bool rendered = false;
    {
        const auto selected = root->getContextManager()->getScopedPrimaryContextLock();
        rendered = renderOnePixel(*root->getPrimaryRenderer(), pixel);
        root->executeMessageTask();
        root->release();
    }
    root->shutdown();
    vx::Vexkit::deleteInstance();

    if (! rendered)
    {
        std::fprintf(stderr, "the chain did not render\n");
        return 1;
    }
    std::printf("pixel %d %d %d %d\n", pixel[0], pixel[1], pixel[2], pixel[3]);
    return pixel[0] == 255 && pixel[1] == 0 && pixel[2] == 0 && pixel[3] == 255 ? 0 : 1;
}
