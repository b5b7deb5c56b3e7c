#include "engine/renderpasses/catalogue/VXProgramEffect.h"

#include "core/VXMatrix4x4.h"
#include "core/VXVec4.h"
#include "engine/gfx/VXRenderer.h"
#include "engine/gfx/VXShaderProgram.h"
#include "engine/gfx/VXTexture.h"

namespace vx::detail
{
    void ProgramDeleter::operator()(ShaderProgram* program) const
    {
        GfxObject::deleteUsingManager(program);
    }

    OwnedProgram makeProgram()
    {
        return OwnedProgram(new ShaderProgram());
    }

    bool bindProgramOverInput(Effect& pass, ShaderProgram& program, Renderer& renderer, const Texture& input)
    {
        renderer.setupGuiMatrices(100.0f);
        const float w = float(pass.getWidth()), h = float(pass.getHeight());
        // Pixel space runs downwards: the quad's v = 0 edge goes to the
        // bottom, or to the top for an input stored top row first (as the
        // chain draws it through).
        renderer.setWorldMatrix(input.ignoreFlip ? Matrix4x4::scaling(w, h, 1.0f)
                                                 : Matrix4x4::translation(0.0f, h, 0.0f) *
                                                       Matrix4x4::scaling(w, -h, 1.0f));
        renderer.getRenderContext().bind2DTexture(0, input);
        if (! renderer.beginShader(program))
            return false;
        program.setSampler("Texture", 0);
        const TVec4<float> scroll = input.buildScrollVector(0.0f, 0.0f, false);
        program.setVec4("TexScroll", scroll.x, scroll.y, scroll.z, scroll.w);
        return true;
    }

    void drawAndUnbind(Renderer& renderer)
    {
        renderer.drawQuadVBO();
        renderer.getRenderContext().unbindShader();
    }

    void endProgramFrame(Effect& pass, Renderer& renderer)
    {
        renderer.getRenderContext().unbind2DTextures();
        pass.end(renderer);
    }
}
