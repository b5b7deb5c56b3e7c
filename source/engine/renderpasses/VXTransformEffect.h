#pragma once

#include "core/VXMatrix4x4.h"
#include "core/VXSpinLock.h"
#include "core/VXVec2.h"
#include "core/VXVec3.h"
#include "core/parameters/VXParamListener.h"
#include "engine/renderpasses/VXEffect.h"

#include <array>
#include <memory>

namespace vx
{
    class ParamRange;
    template <typename T>
    class Param;

    // How setupAutoSize fits a source into the pass; other values reset.
    enum AutoSize : int
    {
        AutoSizeFit = 1,
        AutoSizeFill = 2,
        AutoSizeStretch = 3
    };

    // Places its input in the output: moved (output pixels, y down), scaled
    // (percent), flipped and rotated in three axes (degrees) about an anchor,
    // under a 45-degree perspective with the picture on the plane z = -1,
    // where an input of the pass's size with default parameters fills the
    // output exactly. Internal pre-scales (not persisted) fit a source to
    // the pass. Chains treat the first transform as the boundary between a
    // source's resolution and the output's.
    //
    // Any parameter change rebuilds the world matrix on the changing thread;
    // render reads it under a spin lock. A size, scale or pre-scale that
    // would make the matrix infinite or NaN (a zero-size source) is refused
    // and the previous matrix kept.
    class TransformEffect : public Effect, public ParamListener
    {
    public:
        TransformEffect();
        ~TransformEffect() override;

        static std::string classType() { return "Transform"; }
        static std::string classDisplayStr() { return "Transform"; }
        static RttiObject* creationFunc() { return new TransformEffect(); }

        bool isOfClassType(std::string t) const override;
        std::string derivedOfClassType(std::string t) const override;
        std::string getClassType() const override { return classType(); }
        std::string getClassDisplayStr() const override { return classDisplayStr(); }

        bool init() override;
        void resized(int newWidth, int newHeight) override;
        // False, drawing nothing, without an input texture.
        bool render(Renderer& renderer) override;

        void valueChanged(ParamBase& param, ChangeInfo info) override;

        void updateProjectionMatrix();
        void updatePixelRatio();
        void updateWorldMatrix();

        TVec2<float> resolvePosition() const;
        TVec3<float> resolveRotation() const;
        TVec3<float> resolveAnchor() const;
        // Pre-scale x user scale x overall scale, negated by the flips.
        TVec2<float> resolveScale() const;

        // "Scale W" and "Scale H" so that a w x h picture fills the pass.
        void scaleToFit(int w, int h);
        // The pre-scales that fit, fill or stretch a source of srcW x srcH
        // into dstW x dstH (100 each for any other mode).
        void setupAutoSize(double srcW, double srcH, double dstW, double dstH, AutoSize mode);

        Param<float>& getPreScaleW() const { return *preScaleW; }
        Param<float>& getPreScaleH() const { return *preScaleH; }
        Param<bool>& getFlipHorizontal() const { return *flipHorizontal; }
        Param<bool>& getFlipVertical() const { return *flipVertical; }
        Matrix4x4 getWorldMatrix() const;
        Matrix4x4 getProjectionMatrix() const;

    private:
        std::array<ParamBase*, 15> getListenedParams() const;

        std::shared_ptr<ParamRange> positionX, positionY, scale, scaleW, scaleH;
        std::shared_ptr<ParamRange> rotationX, rotationY, rotationZ, anchorX, anchorY, anchorZ;
        std::shared_ptr<Param<float>> preScaleW, preScaleH;
        std::shared_ptr<Param<bool>> flipHorizontal, flipVertical;

        TVec2<float> pixelRatio{1.0f, 1.0f};
        int blendMode = 1;
        SpinLock matrixLock;
        Matrix4x4 world;
        Matrix4x4 projection;
    };
}
