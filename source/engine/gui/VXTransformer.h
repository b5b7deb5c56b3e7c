#pragma once

#include "core/VXMatrix3x3.h"
#include "core/VXOrientedRect.h"
#include "core/VXRect.h"
#include "core/VXVec2.h"
#include "engine/gui/VXSnapper.h"
#include "engine/gui/VXWidget.h"

#include <vector>

namespace vx
{

    class Color;
    class GuiView;
    class Renderer;

    // The on-canvas widget that moves, scales and rotates an oriented
    // rectangle in a GuiView: drag inside to move, a corner or edge handle to
    // scale, just outside a corner to rotate. A drag builds an interaction
    // matrix in view units; the release applies it to the rectangle and keeps
    // it as the last transform for the owner (getTransform, consumeTransform).
    //
    // Modifiers while dragging: 0 keeps a move on one axis, a scale
    // proportional and a rotation on multiples of 45 degrees; 2 scales about
    // the centre; 3 leaves the cursor alone. With snapping asked for, moves
    // and scales round to whole units and snap with the widget's Snapper.
    class Transformer : public Widget
    {
    public:
        using Matrix = TMatrix3x3<float>;

        enum Mode
        {
            modeTranslate = 0,
            modeScale = 1,
            modeRotate = 2,
            modeNone = 3
        };

        // What handleInteraction answers.
        enum Interaction
        {
            idle = 0,
            dragging = 1,
            applied = 2
        };

        Transformer();
        ~Transformer() override;

        void draw(Renderer& renderer, const GuiView& view, int flags) override;
        int handleInteraction(const GuiView& view, bool snap) override;
        bool isPointIn(const GuiView& view, const TVec2<float>& point) const override;
        void setCursor(const GuiView&) override {}

        virtual void drawCornerDragger(Renderer& renderer, const GuiView& view, const TVec2<float>& pos, bool filled,
                                       const Color& color);
        virtual void drawEdgeDragger(Renderer& renderer, const GuiView& view, const TVec2<float>& pos, bool filled,
                                     const Color& color);
        virtual void drawRotationDragger(Renderer& renderer, const GuiView& view, const TVec2<float>& pos, bool filled,
                                         const Color& color);
        virtual bool testCornerDragger(const GuiView& view, const TVec2<float>& point,
                                       const TVec2<float>& dragger) const;
        virtual bool testEdgeDragger(const GuiView& view, const TVec2<float>& point, const TVec2<float>& dragger) const;
        virtual bool testRotationDragger(const GuiView& view, const TVec2<float>& point,
                                         const TVec2<float>& dragger) const;
        // Screen pixels: square handles of 10, a rotation circle of 30.
        virtual float getCornerDraggerSize() const { return 10.0f; }
        virtual float getEdgeDraggerSize() const { return 10.0f; }
        virtual float getRotationDraggerSize() const { return 30.0f; }

        // The edge from corner i to the next is longer than 2 x len.
        bool isEdgeLongEnough(int i, float len) const;
        // Handle positions in the rectangle's own centred frame, numbered as
        // the rectangle's corners; edge i runs from corner i to the next.
        std::vector<TVec2<float>> getCornerDraggers() const;
        std::vector<TVec2<float>> getEdgeDraggers() const;
        // The handle under point (view units): its index, index + 4 for a
        // corner's rotation ring, or -1.
        int testDraggers(const GuiView& view, const std::vector<TVec2<float>>& draggers, const TVec2<float>& point,
                         bool corners) const;
        int setModeAndGetDragger(int i);
        bool isPointInHandles(const GuiView& view, const TVec2<float>& point) const;

        // Each resets the handles to the new rectangle.
        void setFromRect(const RectT<float>& rect);
        void setFromPoints(const std::vector<TVec2<float>>& points);
        void setOrientedRect(const OrientedRect& rect);

        // Applied at once, without snapping or bounds. A rectangle of zero
        // width or height cannot be sized, and non-finite angles are ignored.
        void setRotation(float degrees);
        void setSize(float w, float h);
        void setTopLeft(float x, float y);
        void setCenter(float x, float y);
        // Moves, turns and sizes the rectangle onto target.
        void transformInto(const OrientedRect& target);
        void applyInteractionMatrix();

        const Matrix& getTransform() const { return lastTransform; }
        // The last transform, once: it is identity afterwards.
        Matrix consumeTransform();
        // The rectangle with the drag in progress applied.
        OrientedRect getTransformedOrientedRect() const;
        bool getFlipX() const { return false; }
        bool getFlipY() const { return false; }

        // Where the owner registers snap shapes and the grid.
        Snapper& getSnapper() { return snapper; }

        void setRotationEnabled(bool enabled) { rotationEnabled = enabled; }
        // Degrees; 0 rotates freely.
        void setRotationStep(float degrees) { rotationStep = degrees; }
        void setConstrainToBounds(bool constrain) { constrainToBounds = constrain; }
        void setBounds(const RectT<float>& newBounds) { bounds = newBounds; }

        const OrientedRect& getOrientedRect() const { return rect; }
        const Matrix& getInteractionMatrix() const { return interaction; }
        int getMode() const { return mode; }
        int getCornerIndex() const { return cornerIndex; }
        int getEdgeIndex() const { return edgeIndex; }
        bool isTransformPending() const { return transformPending; }
        const TVec2<float>& getScale() const { return scaleFactors; }
        float getRotation() const { return rotation; }

    protected:
        void checkMode(const GuiView& view, const TVec2<float>& p);
        bool updateMode(const GuiView& view, const TVec2<float>& p);
        void updateModeTranslate(const GuiView& view, const TVec2<float>& m);
        void updateModeScale(const GuiView& view, const TVec2<float>& m);
        void updateModeRotate(const GuiView& view, const TVec2<float>& m);
        void translate(TVec2<float> d, bool forced);
        TVec2<float> constrainTranslation(TVec2<float> d) const;
        void scale(const TVec2<float>& anchor, const TVec2<float>& s, bool forced);
        TVec2<float> constrainScale(const TVec2<float>& anchor, const TVec2<float>& f) const;
        void rotate(float degrees);

    private:
        TVec2<float> getCenter() const;
        void resetCorners();

        bool rotationEnabled = true;
        float rotationStep = 0.5f;
        bool constrainToBounds = false;
        RectT<float> bounds{0.0f, 0.0f, 1.0f, 1.0f};
        OrientedRect rect;
        Matrix interaction;
        Matrix lastTransform;
        TVec2<float> pixelSize{1.0f, 1.0f};
        int mode = modeNone;
        int cornerIndex = -1;
        int edgeIndex = -1;
        bool transformPending = false;
        bool snapping = true;
        TVec2<float> dragStart;
        float rotation = 0.0f;
        TVec2<float> scaleFactors{1.0f, 1.0f};
        std::vector<TVec2<float>> corners;
        bool proportional = false;
        Snapper snapper;
    };

} // namespace vx
