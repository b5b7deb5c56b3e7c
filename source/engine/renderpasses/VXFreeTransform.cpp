#include "engine/renderpasses/VXFreeTransform.h"

#include "core/VXScopedLock.h"
#include "core/parameters/VXParamContainer.h"
#include "core/parameters/VXParamRange.h"
#include "core/parameters/VXParamView.h"
#include "engine/gfx/VXRenderer.h"
#include "engine/gfx/VXTexture.h"
#include "engine/gui/VXTransformer.h"

namespace vx
{
    FreeTransform::FreeTransform() : Effect(1)
    {
        setName(classType(), true);
        scale = getParams().addParamRange("Scale", 100.0, ValueRange<double>(0.0, 1000.0));
        getParams().setViewForParam(
            scale, ParamView(ParamView::controlTypeDefault, ParamView::unitsPercent, ParamView::subTypeDefault, 0),
            false);
        scale->addListener(*this, false);
        updateWorldMatrix();
    }

    FreeTransform::~FreeTransform()
    {
        scale->removeListener(*this);
    }

    bool FreeTransform::isOfClassType(std::string t) const
    {
        return t == FreeTransform::classType() || Effect::isOfClassType(t);
    }

    std::string FreeTransform::derivedOfClassType(std::string t) const
    {
        return t == FreeTransform::classType() ? getClassType() : Effect::derivedOfClassType(t);
    }

    bool FreeTransform::init()
    {
        RenderPass::init();
        updatePixelRatio();
        getWidget();
        return true;
    }

    void FreeTransform::resized(int, int)
    {
        updateProjectionMatrix();
        updatePixelRatio();
    }

    void FreeTransform::updateProjectionMatrix()
    {
        // A zero size would give an aspect of 0 or NaN: keep the last one.
        if (getWidth() > 0 && getHeight() > 0)
        {
            const Matrix4x4 perspective =
                Matrix4x4::buildPerspectiveMatrix(45.0f, float(getWidth()) / float(getHeight()), 0.1f, 100.0f);
            const ScopedSpinLock hold(matrixLock);
            projection = perspective;
        }
        updateWorldMatrix();
    }

    void FreeTransform::updatePixelRatio()
    {
        if (getWidth() <= 0 || getHeight() <= 0)
            return;
        const ScopedSpinLock hold(matrixLock);
        pixelRatio = {2.0f / float(getWidth()), 2.0f / float(getHeight())};
    }

    void FreeTransform::valueChanged(ParamBase&, ChangeInfo)
    {
        updateWorldMatrix();
    }

    void FreeTransform::updateWorldMatrix()
    {
        const float s = float(scale->getValue()) / 100.0f;
        const Matrix4x4 result = Matrix4x4::translation(0.0f, 0.0f, -1.0f) * Matrix4x4::scaling(s, s, 1.0f);
        const ScopedSpinLock hold(matrixLock);
        world = result;
    }

    Matrix4x4 FreeTransform::getWorldMatrix() const
    {
        const ScopedSpinLock hold(matrixLock);
        return world;
    }

    Matrix4x4 FreeTransform::getProjectionMatrix() const
    {
        const ScopedSpinLock hold(matrixLock);
        return projection;
    }

    Widget* FreeTransform::getWidget()
    {
        const bool made = widget == nullptr;
        if (made)
            widget = std::make_unique<Transformer>();
        // Refitting on every call would throw the user's placement away.
        if (made || fittedWidth != getWidth() || fittedHeight != getHeight())
        {
            widget->setFromRect(RectT<float>(0.0f, 0.0f, float(getWidth()), float(getHeight())));
            fittedWidth = getWidth();
            fittedHeight = getHeight();
        }
        return widget.get();
    }

    void FreeTransform::handleWidget(Renderer& renderer, GuiView& view, Texture&)
    {
        if (widget == nullptr)
            return;
        widget->getSnapper().setupSnapGrid(16.0f, 16.0f, 2.0f);
        widget->handleInteraction(view, true);
        widget->draw(renderer, view, 0);
    }

    Matrix4x4 FreeTransform::getPlacementMatrix(float& rectWidth, float& rectHeight) const
    {
        Matrix4x4 w, p;
        TVec2<float> ratio;
        {
            const ScopedSpinLock hold(matrixLock);
            w = world;
            p = projection;
            ratio = pixelRatio;
        }
        // The widget's rectangle in pass pixels, with the drag in progress.
        TMatrix3x3<float> placement;
        if (widget != nullptr)
        {
            placement = widget->getInteractionMatrix() * widget->getOrientedRect().getBasis();
            rectWidth = widget->getOrientedRect().getWidth();
            rectHeight = widget->getOrientedRect().getHeight();
        }
        else
        {
            placement = TMatrix3x3<float>::identityMatrix();
            placement.translate(TVec2<float>(float(getWidth()) / 2.0f, float(getHeight()) / 2.0f));
            rectWidth = float(getWidth());
            rectHeight = float(getHeight());
        }
        // Pass pixels (y down) onto the plane at distance 1, where 1 / p0
        // and 1 / p5 are the half-extents of the view.
        const Matrix4x4 pixelsToView = Matrix4x4::scaling(1.0f / p.m[0], 1.0f / p.m[5], 1.0f) *
                                       Matrix4x4::translation(-1.0f, 1.0f, 0.0f) *
                                       Matrix4x4::scaling(ratio.x, -ratio.y, 1.0f);
        return w * pixelsToView * Matrix4x4(placement);
    }

    bool FreeTransform::render(Renderer& renderer)
    {
        if (! begin(renderer))
            return false;
        const RenderPassTexture& input = *getInput(0);
        if (input.texture != nullptr)
        {
            float rectWidth = 0.0f, rectHeight = 0.0f;
            const Matrix4x4 placement = getPlacementMatrix(rectWidth, rectHeight);
            renderer.pushMatrix();
            renderer.setProjectionMatrix(getProjectionMatrix());
            renderer.setWorldMatrix(placement);
            // Unflipped in y-down pixels is upright in the output.
            renderer.drawTexture(*input.texture, -rectWidth / 2.0f, -rectHeight / 2.0f, rectWidth, rectHeight, false,
                                 getColor());
            renderer.popMatrix();
        }
        end(renderer);
        return input.texture != nullptr;
    }
}
