// Makes the engine root headless, renders one frame of the solid-colour
// generator through a chain and checks a pixel: opaque red, the generator's
// default. Exits 0 when it is.

#include "engine/ffgl/VXVexkit.h"
#include "engine/gfx/VXContextManager.h"
#include "engine/gfx/VXTexture.h"
#include "engine/renderpasses/VXRenderPassChain.h"
#include "engine/renderpasses/VXRenderPassTexture.h"
#include "engine/renderpasses/catalogue/VXSolidColor.h"

#include <epoxy/gl.h>

#include <cstdio>
#include <vector>

namespace
{
    // The first pixel of the chain's picture; false when it did not render.
    bool renderOnePixel(vx::Renderer& renderer, unsigned char pixel[4])
    {
        vx::RenderPassChain chain;
        chain.setSize(4, 4);
        chain.addRenderPass(new vx::SolidColor());
        chain.retainOutput(true);
        const vx::RenderPassTexture* output = chain.render(renderer) ? chain.getOutput(0) : nullptr;
        if (output == nullptr || output->texture == nullptr)
            return false;
        const vx::Texture& texture = *output->texture;
        std::vector<unsigned char> texels(4u * texture.getHardwareWidth() * texture.getHardwareHeight());
        glBindTexture(GL_TEXTURE_2D, texture.getGLName());
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
        glBindTexture(GL_TEXTURE_2D, 0);
        for (int c = 0; c < 4; ++c)
            pixel[c] = texels[c];
        chain.retainOutput(false);
        return true;
    }
}

int main()
{
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
