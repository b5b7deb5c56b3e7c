#pragma once

#include "engine/renderpasses/VXEffect.h"

#include <memory>
#include <string>

namespace vx
{
    class ShaderProgram;

    // An effect that owns one GLSL program, bound from begin to end. A
    // subclass's init() calls init(vertexSource, fragmentSource) with its own
    // sources and draws between begin and end, typically with drawQuad.
    class ShaderEffect : public Effect
    {
    public:
        explicit ShaderEffect(int inputCount);
        // A program still held goes to the GPU-object manager.
        ~ShaderEffect() override;

        static std::string classType() { return "ShaderEffect"; }
        static std::string classDisplayStr() { return "Shader Effect"; }

        bool isOfClassType(std::string t) const override;
        std::string derivedOfClassType(std::string t) const override;
        std::string getClassType() const override { return classType(); }
        std::string getClassDisplayStr() const override { return classDisplayStr(); }

        // Frees the program.
        void release() override;
        // A plain shader effect draws nothing: false.
        bool render(Renderer& renderer) override;
        // The pass's begin, then its program bound with the renderer's
        // matrices; when the program cannot be bound, end runs and the answer
        // is false.
        bool begin(Renderer& renderer) override;
        void end(Renderer& renderer) override;

        using Effect::init;
        // Makes and builds the program; on failure logs the sources (three
        // error lines) and answers false, keeping the failed program.
        virtual bool init(const std::string& vertexSource, const std::string& fragmentSource);
        // Input 0 over the whole viewport; upside down with flip.
        virtual void drawQuad(Renderer& renderer, bool flip);

        ShaderProgram* getShader() const { return shader.get(); }

    protected:
        // Sets the vec4 uniform to (min u, min v, max u, max v): the texel
        // centres at the edges of a picture of width x height texels that
        // spans coordinates up to (maxU, maxV). A shader clamps its lookups
        // to it so that linear filtering never mixes in texels past the
        // picture (a pooled texture is larger than what it holds).
        static void setSampleBounds(ShaderProgram& program, const std::string& name, float maxU, float maxV,
                                    float width, float height);

    private:
        struct ProgramDeleter
        {
            void operator()(ShaderProgram* program) const;
        };

        std::unique_ptr<ShaderProgram, ProgramDeleter> shader;
    };
}
