#pragma once

#include "engine/renderpasses/catalogue/VXBlendMixer.h"

#include <string>

namespace vx
{
    // Additive: D + S x clamp(2x, 0, 1) towards S + D x clamp(2 (1 - x), 0, 1)
    // by x x source alpha, on all four channels and unclamped (the target's
    // format limits it); x is "Opacity". At 1: D x (1 - S.a) + S.
    // Input 0 is the destination, input 1 the source, both premultiplied.
    class Add : public Mixer
    {
    public:
        Add();
        ~Add() override;

        static std::string classType();
        static std::string classDisplayStr();
        static RttiObject* creationFunc() { return new Add(); }

        bool isOfClassType(std::string t) const override;
        std::string derivedOfClassType(std::string t) const override;
        std::string getClassType() const override { return classType(); }
        std::string getClassDisplayStr() const override { return classDisplayStr(); }
        std::string getUniqueId() const override;
        std::string getDescription() const override;

        // Loads the blend program (false when it does not build), then the
        // base mixer's.
        bool init() override;
        // Frees the blend program, then the base mixer's.
        void release() override;
        // False, drawing nothing, without both inputs.
        bool render(Renderer& renderer) override;

        // The fragment program (over vx::vsTransformMixer); the amount is
        // the uniform "add".
        static const std::string fsAdd;

    private:
        detail::OwnedProgram program;
    };
}
