#pragma once

#include "core/VXMatrix3x3.h"
#include "core/VXRect.h"
#include "core/VXVec2.h"

#include <vector>

namespace vx
{

    // A rectangle with a centre, a size and a rotation, kept as a 2D basis: column 0 its
    // unit x axis, column 1 its unit y axis, column 2 its centre. After every change the
    // basis is translation(centre) x rotation(orientation) and the rectangle is refitted
    // around its corners. Corners, in order, with centre c, axes u, v and half sizes hw, hh:
    // c - hw u - hh v, c + hw u - hh v, c + hw u + hh v, c - hw u + hh v.
    class OrientedRect
    {
    public:
        // Width and height 1, centred at the origin, orientation 0.
        OrientedRect();
        explicit OrientedRect(const RectT<float>& rect);

        void reset();
        // Fits to the rectangle's corners at the current orientation.
        void fromRect(const RectT<float>& rect);

        std::vector<TVec2<float>> getCorners() const;
        TVec2<float> getTopLeftCorner() const;
        float getWidth() const { return width; }
        float getHeight() const { return height; }
        float getOrientation() const { return orientation; }
        float getAspectRatio() const;
        float getAspectRatioInverted() const;
        // The axis-aligned bounding rectangle of the corners.
        RectT<float> getRect() const;
        // The unrotated rectangle centred at the origin.
        RectT<float> getCenteredExtents() const;
        const TMatrix3x3<float>& getBasis() const { return basis; }
        TMatrix3x3<float> getOrientationMatrix() const;

        // Changes; each answers the 2D matrix it applied.
        TMatrix3x3<float> translate(const TVec2<float>& v);
        // About the current centre.
        TMatrix3x3<float> rotate(float angle);
        // Along the rectangle's own axes about anchor.
        TMatrix3x3<float> scale(const TVec2<float>& anchor, float sx, float sy);
        TMatrix3x3<float> scale(float sx, float sy);
        // Grows the sides by offset; a side never becomes shorter than 1 in magnitude. A
        // rectangle with a zero side cannot be scaled: it is left unchanged and the
        // identity answered.
        TMatrix3x3<float> scaleOffset(const TVec2<float>& anchor, const TVec2<float>& offset);
        // Zero-sized sides are left unchanged (identity answered), as for scaleOffset.
        TMatrix3x3<float> setWidth(float w);
        TMatrix3x3<float> setHeight(float h);
        TMatrix3x3<float> setCenter(const TVec2<float>& p);
        TMatrix3x3<float> setCenterX(float x);
        TMatrix3x3<float> setCenterY(float y);

        // Applies an arbitrary 2D transform; with takeOrientation the orientation follows
        // the transformed x axis, rounded to 0.01 degree (a mirrored axis is flipped first).
        void applyMatrix(const TMatrix3x3<float>& m, bool takeOrientation);
        void applyTransform(const TMatrix3x3<float>& m);
        // Applies and then clears the pending transform.
        void applyTransform();
        // A copy with the pending transform applied; this rectangle is unchanged.
        OrientedRect getTransformed() const;
        TMatrix3x3<float>& getTransform() { return transform; }

        // Turns the rectangle to angle and refits it around its old corners (so it grows
        // unless the change is a multiple of 90 degrees).
        void setOrientation(float angle);
        // Fits the rectangle to points at the current orientation. No points: the basis
        // becomes the identity; the size stays.
        void compute(const std::vector<TVec2<float>>& points);

        // Maps the unit square onto the rectangle, (0, 0) onto corner 0.
        TMatrix3x3<float> getRectMatrix() const;
        // Maps this rectangle onto other, corner 0 onto corner 0.
        TMatrix3x3<float> getTransformationInto(const OrientedRect& other) const;
        // Maps dst, scaled uniformly to fit, centred and rotated, into this rectangle. A dst
        // of zero width or height answers the identity.
        TMatrix3x3<float> getFittingMatrix(const RectT<float>& dst) const;

        bool isPointIn(const TVec2<float>& p) const;
        // Separating-axis test; rectangles that only touch intersect.
        bool intersects(const OrientedRect& other) const;
        // True when the sides are parallel to the coordinate axes.
        bool isOrthogonal() const;

    private:
        TVec2<float> getCenter() const { return {basis.m[6], basis.m[7]}; }
        void setBasis(const TVec2<float>& centre);

        TMatrix3x3<float> transform;
        TMatrix3x3<float> basis;
        float width = 1.0f;
        float height = 1.0f;
        float orientation = 0.0f;
    };

} // namespace vx
