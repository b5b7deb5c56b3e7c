#pragma once

#include "engine/renderpasses/VXEffect.h"

#include <memory>

namespace vx
{
    class ShaderProgram;
    class Texture;

    // What the catalogue's passes with programs of their own share (the
    // owned program for all of them, the rest for the effects); used by
    // their files only.
    namespace detail
    {
        // Frees a program's GL names on the render thread, through the
        // GPU-object manager, when its pass goes without release.
        struct ProgramDeleter
        {
            void operator()(ShaderProgram* program) const;
        };
        using OwnedProgram = std::unique_ptr<ShaderProgram, ProgramDeleter>;

        // An empty program, loaded later by the pass's init.
        OwnedProgram makeProgram();

        // Pixel space over the pass with the unit quad covering it, bottom
        // texel row at the bottom; input bound on unit 0; the program bound
        // with "Texture" = 0 and "TexScroll" from the input. False when the
        // program cannot be bound.
        bool bindProgramOverInput(Effect& pass, ShaderProgram& program, Renderer& renderer, const Texture& input);
        // Draws the unit quad and unbinds the program.
        void drawAndUnbind(Renderer& renderer);

        // Unbinds the 2D textures and ends the pass.
        void endProgramFrame(Effect& pass, Renderer& renderer);

        // The one render of AddSubtract, BrightnessContrast and Blow:
        // input 0 through the program, with setUniforms(program) once it is
        // bound. False without an input or when begin fails; true, leaving
        // the cleared target, when the program cannot be bound.
        template <typename SetUniforms>
        bool renderThroughProgram(Effect& pass, ShaderProgram& program, Renderer& renderer, SetUniforms&& setUniforms)
        {
            const Texture* input = pass.getInput(0)->texture;
            if (input == nullptr || ! pass.begin(renderer))
                return false;
            if (bindProgramOverInput(pass, program, renderer, *input))
            {
                setUniforms(program);
                drawAndUnbind(renderer);
            }
            endProgramFrame(pass, renderer);
            return true;
        }
    }
}
