#include "engine/renderpasses/VXTransformEffect.h"

#include "core/VXLog.h"
#include "core/VXScopedLock.h"
#include "core/parameters/VXParam.h"
#include "core/parameters/VXParamContainer.h"
#include "core/parameters/VXParamRange.h"
#include "core/parameters/VXParamView.h"
#include "engine/gfx/VXGfxInfo.h"
#include "engine/gfx/VXGfxUtils.h"
#include "engine/gfx/VXRenderer.h"
#include "engine/gfx/VXTexture.h"

#include <algorithm>
#include <cmath>

namespace vx
{
    namespace
    {
        constexpr float degreesToRadians = 0.017453f;
        constexpr auto shownInHeader = static_cast<ParamView::ShowInHeader>(1);

        bool isFinite(const Matrix4x4& m)
        {
            return std::all_of(std::begin(m.m), std::end(m.m), [](float v) { return std::isfinite(v); });
        }

        ParamView pixelView(const char* group = "", bool inHeader = false)
        {
            ParamView view;
            view.setIncrement(1.0);
            view.setGroup(group);
            if (inHeader)
                view.setShowInHeader(shownInHeader);
            return view;
        }

        ParamView unitView(ParamView::DisplayUnits units, const char* group, bool inHeader)
        {
            ParamView view(ParamView::controlTypeDefault, units, ParamView::subTypeDefault, 0);
            view.setGroup(group);
            if (inHeader)
                view.setShowInHeader(shownInHeader);
            return view;
        }
    }

    TransformEffect::TransformEffect() : Effect(1)
    {
        setName(classType(), true);
        ParamContainer& params = getParams();
        const double maxSize = GfxInfo::VX_MAX_TEXTURE_SIZE;
        const double maxHalf = GfxInfo::VX_MAX_TEXTURE_SIZE_DIV2;

        positionX = params.addParamRange("Position X", 0.0, ValueRange<double>(-maxSize, maxSize));
        positionY = params.addParamRange("Position Y", 0.0, ValueRange<double>(-maxSize, maxSize));
        scale = params.addParamRange("Scale", 100.0, ValueRange<double>(0.0, 1000.0));
        scaleW = params.addParamRange("Scale W", 100.0, ValueRange<double>(0.0, 1000.0));
        scaleH = params.addParamRange("Scale H", 100.0, ValueRange<double>(0.0, 1000.0));
        rotationX = params.addParamRange("Rotation X", 0.0, ValueRange<double>(-180.0, 180.0));
        rotationY = params.addParamRange("Rotation Y", 0.0, ValueRange<double>(-180.0, 180.0));
        rotationZ = params.addParamRange("Rotation Z", 0.0, ValueRange<double>(-180.0, 180.0));
        anchorX = params.addParamRange("Anchor X", 0.0, ValueRange<double>(-maxHalf, maxHalf));
        anchorY = params.addParamRange("Anchor Y", 0.0, ValueRange<double>(-maxHalf, maxHalf));
        anchorZ = params.addParamRange("Anchor Z", 0.0, ValueRange<double>(-maxHalf, maxHalf));
        for (auto* rotation : {&rotationX, &rotationY, &rotationZ})
            (*rotation)->setWrapsAroundRange(true);

        params.setViewForParam(positionX, pixelView(), false);
        params.setViewForParam(positionY, pixelView(), false);
        params.setViewForParam(scale, unitView(ParamView::unitsPercent, "Scale", true), false);
        params.setViewForParam(scaleW, unitView(ParamView::unitsPercent, "Scale", false), false);
        params.setViewForParam(scaleH, unitView(ParamView::unitsPercent, "Scale", false), false);
        params.setViewForParam(rotationX, unitView(ParamView::unitsDegrees, "Rotation", false), false);
        params.setViewForParam(rotationY, unitView(ParamView::unitsDegrees, "Rotation", false), false);
        params.setViewForParam(rotationZ, unitView(ParamView::unitsDegrees, "Rotation", true), false);
        params.setViewForParam(anchorX, pixelView("Anchor", true), false);
        params.setViewForParam(anchorY, pixelView("Anchor"), false);
        params.setViewForParam(anchorZ, pixelView("Anchor"), false);

        preScaleW = std::make_shared<Param<float>>("PreScale W", 100.0f);
        preScaleH = std::make_shared<Param<float>>("PreScale H", 100.0f);
        flipHorizontal = std::make_shared<Param<bool>>("Flip horizontal", false);
        flipVertical = std::make_shared<Param<bool>>("Flip vertical", false);

        for (ParamBase* param : getListenedParams())
            param->addListener(*this, false);
    }

    TransformEffect::~TransformEffect()
    {
        for (ParamBase* param : getListenedParams())
            param->removeListener(*this);
    }

    std::array<ParamBase*, 15> TransformEffect::getListenedParams() const
    {
        return {positionX.get(), positionY.get(), scale.get(),     scaleW.get(),         scaleH.get(),
                rotationX.get(), rotationY.get(), rotationZ.get(), anchorX.get(),        anchorY.get(),
                anchorZ.get(),   preScaleW.get(), preScaleH.get(), flipHorizontal.get(), flipVertical.get()};
    }

    bool TransformEffect::isOfClassType(std::string t) const
    {
        return t == TransformEffect::classType() || Effect::isOfClassType(t);
    }

    std::string TransformEffect::derivedOfClassType(std::string t) const
    {
        return t == TransformEffect::classType() ? getClassType() : Effect::derivedOfClassType(t);
    }

    bool TransformEffect::init()
    {
        RenderPass::init();
        updatePixelRatio();
        return true;
    }

    void TransformEffect::resized(int, int)
    {
        updateProjectionMatrix();
        updatePixelRatio();
    }

    void TransformEffect::updateProjectionMatrix()
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

    void TransformEffect::updatePixelRatio()
    {
        if (getWidth() > 0 && getHeight() > 0)
        {
            const ScopedSpinLock hold(matrixLock);
            pixelRatio = {2.0f / float(getWidth()), 2.0f / float(getHeight())};
        }
        updateWorldMatrix();
    }

    void TransformEffect::valueChanged(ParamBase&, ChangeInfo)
    {
        updateWorldMatrix();
    }

    TVec2<float> TransformEffect::resolvePosition() const
    {
        return {float(positionX->getValue()), float(positionY->getValue())};
    }

    TVec3<float> TransformEffect::resolveRotation() const
    {
        return {float(rotationX->getValue()), float(rotationY->getValue()), float(rotationZ->getValue())};
    }

    TVec3<float> TransformEffect::resolveAnchor() const
    {
        return {float(anchorX->getValue()), float(anchorY->getValue()), float(anchorZ->getValue())};
    }

    TVec2<float> TransformEffect::resolveScale() const
    {
        const float overall = float(scale->getValue()) / 100.0f;
        float sx = preScaleW->getValue() / 100.0f * (float(scaleW->getValue()) / 100.0f * overall);
        float sy = preScaleH->getValue() / 100.0f * (float(scaleH->getValue()) / 100.0f * overall);
        if (flipHorizontal->getValue())
            sx = -sx;
        if (flipVertical->getValue())
            sy = -sy;
        return {sx, sy};
    }

    void TransformEffect::updateWorldMatrix()
    {
        Matrix4x4 perspective;
        TVec2<float> ratio;
        {
            const ScopedSpinLock hold(matrixLock);
            perspective = projection;
            ratio = pixelRatio;
        }
        // 1 / p0 and 1 / p5 are the half-extents of the view at distance 1.
        const float p0 = perspective.m[0], p5 = perspective.m[5];
        const TVec2<float> position = resolvePosition();
        const TVec3<float> anchor = resolveAnchor();
        const TVec3<float> rotation = resolveRotation();
        const TVec2<float> factors = resolveScale();

        const Matrix4x4 s = Matrix4x4::scaling(factors.x, factors.y, 1.0f);
        const Matrix4x4 a =
            Matrix4x4::translation(anchor.x / p0 * ratio.x, anchor.y / p5 * ratio.y, anchor.z * ratio.x);
        const Matrix4x4 r = Matrix4x4::rotationYXZ(rotation.x * degreesToRadians, rotation.y * degreesToRadians,
                                                   rotation.z * degreesToRadians);
        const Matrix4x4 p = Matrix4x4::translation(position.x / p0 * ratio.x, -(position.y / p5 * ratio.y), -1.0f);
        const Matrix4x4 result = p * r * a * s;
        if (! isFinite(result))
            return; // a pre-scale set to infinity or NaN: keep the last good placement

        const ScopedSpinLock hold(matrixLock);
        world = result;
    }

    void TransformEffect::scaleToFit(int w, int h)
    {
        if (w <= 0 || h <= 0)
        {
            logPrint(logWarning, "TransformEffect::scaleToFit: no picture of %d x %d to fit; scale kept", w, h);
            return;
        }
        scaleW->setValue(double(getWidth()) / double(w) * 100.0, ValueChangeInfo());
        scaleH->setValue(double(getHeight()) / double(h) * 100.0, ValueChangeInfo());
    }

    void TransformEffect::setupAutoSize(double srcW, double srcH, double dstW, double dstH, AutoSize mode)
    {
        const bool fitting = mode == AutoSizeFit || mode == AutoSizeFill || mode == AutoSizeStretch;
        if (fitting && ! (srcW > 0.0 && srcH > 0.0))
        {
            logPrint(logWarning, "TransformEffect::setupAutoSize: no source of %g x %g to fit; pre-scale kept", srcW,
                     srcH);
            return;
        }
        double w = 100.0, h = 100.0;
        switch (mode)
        {
            case AutoSizeFit:
                w = h = std::min(dstW / srcW, dstH / srcH) * 100.0;
                break;
            case AutoSizeFill:
                w = h = std::max({dstW / srcW, dstH / srcH, 0.0}) * 100.0;
                break;
            case AutoSizeStretch:
                w = dstW / srcW * 100.0;
                h = dstH / srcH * 100.0;
                break;
            default:
                break;
        }
        if (! std::isfinite(float(w)) || ! std::isfinite(float(h)))
        {
            logPrint(logWarning, "TransformEffect::setupAutoSize: cannot fit %g x %g into %g x %g; pre-scale kept",
                     srcW, srcH, dstW, dstH);
            return;
        }
        preScaleW->setValue(float(w), ValueChangeInfo());
        preScaleH->setValue(float(h), ValueChangeInfo());
    }

    Matrix4x4 TransformEffect::getWorldMatrix() const
    {
        const ScopedSpinLock hold(matrixLock);
        return world;
    }

    Matrix4x4 TransformEffect::getProjectionMatrix() const
    {
        const ScopedSpinLock hold(matrixLock);
        return projection;
    }

    bool TransformEffect::render(Renderer& renderer)
    {
        if (! begin(renderer))
            return false;
        const RenderPassTexture& input = *getInput(0);
        const bool drawn = input.texture != nullptr;
        if (drawn)
        {
            Matrix4x4 w, p;
            {
                const ScopedSpinLock hold(matrixLock);
                w = world;
                p = projection;
            }
            renderer.pushMatrix();
            renderer.setProjectionMatrix(p);
            renderer.setWorldMatrix(w);
            const float hw = input.width / float(getWidth()) / p.m[0];
            const float hh = input.height / float(getHeight()) / p.m[5];
            gfx::setBlendMode(static_cast<gfx::BLENDMODE>(blendMode));
            renderer.drawTexture(*input.texture, -hw, -hh, 2.0f * hw, 2.0f * hh, true, getColor());
            gfx::setBlendMode(gfx::BLEND_OFF);
            renderer.popMatrix();
        }
        end(renderer);
        return drawn;
    }
}
