#pragma once

#include "core/parameters/VXParamListener.h"
#include "engine/renderpasses/VXGenerator.h"
#include "engine/renderpasses/catalogue/VXProgramEffect.h"

#include <memory>
#include <string>

namespace vx
{
    class ParamColor;
    class ParamRange;
    template <typename T>
    class ParamChoice;

    // Fills its output with "Color 1" x (1 - t) + "Color 2" x t, t unclamped
    // (the colours extrapolate before "Start" and past the end): "Type" 0
    // Horizontal, t = (x - start) / (width - start) with start = "Start" x
    // width; 1 Vertical, the same counted from the top row; 2 Radial, t =
    // distance from the centre x (1 - "Size") x 0.0075; any other value
    // plain "Color 1". x and y are pixel centres.
    //
    // It listens to its own "Type" (synchronously, on the changing thread)
    // to show "Start" only for the straight gradients and "Size" only for the
    // radial one.
    class Gradient : public Generator, public ParamListener
    {
    public:
        Gradient();
        ~Gradient() override;

        static std::string classType();
        static std::string classDisplayStr();
        static RttiObject* creationFunc() { return new Gradient(); }

        bool isOfClassType(std::string t) const override;
        std::string derivedOfClassType(std::string t) const override;
        std::string getClassType() const override { return classType(); }
        std::string getClassDisplayStr() const override { return classDisplayStr(); }
        std::string getDescription() const override;

        // Loads the program; false when it does not build.
        bool init() override;
        // Frees the program.
        void release() override;
        // False only when begin fails; true, leaving the cleared target, when
        // the program cannot be bound.
        bool render(Renderer& renderer) override;

        // "Type" changed: replaces the views of "Start" and "Size".
        void valueChanged(ParamBase& param, ChangeInfo info) override;
        void stateChanged(ParamBase& param, ChangeInfo info) override;

        // The fragment program (over vx::vsTransform; it reads no texture).
        static const char* const fsGradient;

    private:
        std::shared_ptr<ParamColor> color1, color2;
        std::shared_ptr<ParamChoice<int>> type;
        std::shared_ptr<ParamRange> start, size;
        detail::OwnedProgram program;
    };
}
