#include "engine/renderpasses/VXShaderEffect.h"

#include <algorithm>

#include "core/VXLog.h"
#include "engine/gfx/VXRenderer.h"
#include "engine/gfx/VXShaderProgram.h"

namespace vx
{
    void ShaderEffect::ProgramDeleter::operator()(ShaderProgram* program) const
    {
        // The program's GL names die on the render thread.
        GfxObject::deleteUsingManager(program);
    }

    ShaderEffect::ShaderEffect(int inputCount) : Effect(inputCount)
    {
    }

    ShaderEffect::~ShaderEffect() = default;

    bool ShaderEffect::isOfClassType(std::string t) const
    {
        return t == ShaderEffect::classType() || Effect::isOfClassType(t);
    }

    std::string ShaderEffect::derivedOfClassType(std::string t) const
    {
        return t == ShaderEffect::classType() ? getClassType() : Effect::derivedOfClassType(t);
    }

    void ShaderEffect::release()
    {
        if (shader != nullptr)
        {
            // Freed here, on the render thread, rather than queued.
            shader->release();
            delete shader.release();
        }
        RenderPass::release();
    }

    bool ShaderEffect::render(Renderer&)
    {
        return false;
    }

    bool ShaderEffect::begin(Renderer& renderer)
    {
        if (! RenderPass::begin(renderer))
            return false;
        if (shader == nullptr)
            return true;
        if (renderer.beginShader(*shader))
            return true;
        // Without this the target taken above would stay bound and held.
        RenderPass::end(renderer);
        return false;
    }

    void ShaderEffect::end(Renderer& renderer)
    {
        RenderPass::end(renderer);
        if (shader != nullptr)
            renderer.getRenderContext().unbindShader();
    }

    bool ShaderEffect::init(const std::string& vertexSource, const std::string& fragmentSource)
    {
        RenderPass::init();
        shader.reset(new ShaderProgram());
        if (shader->loadString(vertexSource, fragmentSource, std::string(), nullptr))
            return true;
        logPrint(logError, "%s: The following shaders failed to load.", "init");
        logPrint(logError, "Vertex Shader:\n%s", vertexSource.c_str());
        logPrint(logError, "Fragment Shader:\n%s", fragmentSource.c_str());
        return false;
    }

    void ShaderEffect::setSampleBounds(ShaderProgram& program, const std::string& name, float maxU, float maxV,
                                       float width, float height)
    {
        const float halfU = width > 0.0f ? 0.5f * maxU / width : 0.0f;
        const float halfV = height > 0.0f ? 0.5f * maxV / height : 0.0f;
        program.setVec4(name, halfU, halfV, std::max(halfU, maxU - halfU), std::max(halfV, maxV - halfV));
    }

    void ShaderEffect::drawQuad(Renderer& renderer, bool flip)
    {
        if (const RenderPassTexture* input = getInput(0))
        {
            if (flip)
                input->draw(renderer, -1.0f, 1.0f, 2.0f, -2.0f);
            else
                input->draw(renderer, -1.0f, -1.0f, 2.0f, 2.0f);
        }
    }
}
