#pragma once

#include "core/VXMatrix4x4.h"
#include "core/VXSpinLock.h"
#include "core/VXVec2.h"
#include "core/parameters/VXParamListener.h"
#include "engine/renderpasses/VXEffect.h"

#include <memory>

namespace vx
{
    class ParamRange;
    class Transformer;

    // An effect placed by hand: its widget, a vx::Transformer over the pass
    // in pixels (y down, as the GUI view shows the work area), moves, scales
    // and rotates the input in a GUI view, snapping to a 16-pixel grid. The
    // input is drawn into the widget's rectangle, with a drag in progress
    // applied, under the perspective view of vx::TransformEffect (the pass
    // spans the output on the plane z = -1), then scaled by "Scale" about
    // the output's centre. The rectangle keeps its placement after a drag.
    //
    // Render and widget calls run on the render thread; "Scale" may change
    // on any thread (the matrices are read under a spin lock).
    class FreeTransform : public Effect, public ParamListener
    {
    public:
        FreeTransform();
        ~FreeTransform() override;

        static std::string classType() { return "FreeTransform"; }
        static std::string classDisplayStr() { return "Free Transform"; }
        static RttiObject* creationFunc() { return new FreeTransform(); }

        bool isOfClassType(std::string t) const override;
        std::string derivedOfClassType(std::string t) const override;
        std::string getClassType() const override { return classType(); }
        std::string getClassDisplayStr() const override { return classDisplayStr(); }

        bool init() override;
        void resized(int newWidth, int newHeight) override;
        // False, drawing nothing, without an input texture.
        bool render(Renderer& renderer) override;

        bool hasWidget() override { return true; }
        // The Transformer, made on first call and fitted to the whole pass
        // then and whenever the pass has been resized since.
        Widget* getWidget() override;
        // Snap grid, interaction and drawing of the widget; nothing before
        // the widget exists.
        void handleWidget(Renderer& renderer, GuiView& view, Texture& texture) override;

        void valueChanged(ParamBase& param, ChangeInfo info) override;
        void updateProjectionMatrix();
        void updatePixelRatio();
        void updateWorldMatrix();

        Matrix4x4 getWorldMatrix() const;
        Matrix4x4 getProjectionMatrix() const;
        // What render draws the input with, from a rectangle of the given
        // size centred on the origin (in pass pixels) to the view.
        Matrix4x4 getPlacementMatrix(float& rectWidth, float& rectHeight) const;

    private:
        std::shared_ptr<ParamRange> scale;
        std::unique_ptr<Transformer> widget;
        int fittedWidth = 0, fittedHeight = 0;
        mutable SpinLock matrixLock;
        TVec2<float> pixelRatio{1.0f, 1.0f};
        Matrix4x4 world;
        Matrix4x4 projection;
    };
}
