#pragma once

#include "core/VXBroadcaster.h"
#include "core/VXColor.h"
#include "core/VXCriticalSection.h"
#include "core/VXMatrix3x3.h"
#include "core/VXRect.h"
#include "core/VXVec2.h"
#include "engine/gui/VXGuiViewListener.h"
#include "engine/gui/VXKeyboard.h"
#include "engine/gui/VXKeyboardListener.h"
#include "engine/gui/VXMouse.h"
#include "engine/gui/VXMouseListener.h"

#include <mutex>
#include <string>
#include <vector>

namespace vx
{

    class Font;
    class Image;
    class OrientedRect;
    class Renderer;
    class Texture;

    // A 2D canvas that fits a work area (say the pixels of a video frame)
    // proportionally into the screen rectangle of a GUI surface, with the
    // user's pan and zoom on top. It converts between view units (the work
    // area's) and screen pixels, draws in view units or at a fixed screen
    // size, and carries the mouse and keyboard of the current GUI frame.
    //
    // Matrices are column-major 2D transforms: the fitting matrix takes the
    // work area onto the fitted area, the view matrix is the user's pan and
    // zoom, combined = fitting x view takes view units to screen pixels and
    // inverse takes them back (the identity while combined is singular).
    //
    // Threads: everything runs on the thread that draws the view, except the
    // mouse events: mouseDown and mouseUp wait for the frame (begin .. end)
    // to finish; mouseMove never waits, and the position it reports is taken
    // at the next begin. The drawing calls need that thread's GL context.
    class GuiView : public MouseListener, public KeyboardListener, public Broadcaster<GuiViewListener>
    {
    public:
        using Matrix = TMatrix3x3<float>;

        // Shape of attenuation: 1 within the offset, falling to
        // minAttenuation at offset + range.
        static float attenuationPower;
        static float minAttenuation;

        GuiView();
        // A child drawing in a frame of the parent: the parent's geometry and
        // input state, its own stack, then pushMatrix(m).
        GuiView(const GuiView& parent, const Matrix& m);
        // Pops one pushed matrix, if any.
        ~GuiView() override;
        GuiView(const GuiView&) = delete;
        GuiView& operator=(const GuiView&) = delete;

        // ---- Set-up.

        bool init(float width, float height, float workWidth, float workHeight, float margin);
        // A new screen size; the work area keeps its size and moves to the origin.
        void resize(float width, float height);
        void setWorkArea(float w, float h);
        void setWorkArea(float x, float y, float w, float h);
        // The raw mouse position is scaled, then offset, before conversion.
        void setMouseOffset(const TVec2<float>& offset) { mouseOffset = offset; }
        void setMouseScale(const TVec2<float>& scale) { mouseScale = scale; }
        void setBackgroundColor(const Color& color) { backgroundColor = color; }

        // ---- Matrices. Changes of the user's view are broadcast (viewChanged).

        void setViewMatrix(const Matrix& m);
        // view := view x m, the old view saved; loads the combined matrix as
        // the fixed-function modelview. Not broadcast.
        void pushMatrix(const Matrix& m);
        // Nothing on an empty stack.
        void popMatrix();
        void updateMatrices();
        // The combined matrix as the fixed-function modelview.
        void applyTransform() const;
        void transformChanged();
        void resetToDefaultView();
        // Fits the screen rectangle r (its view-unit image) into the work area.
        void zoomToView(const RectT<float>& r);
        // Moves the content by a screen distance.
        void pan(float dx, float dy);
        // Zooms by 5 % per step about the screen point (x, y), which keeps
        // showing the same view point; the zoom stays within 2 % .. 10000 %.
        // Steps 0, or a view of no size, change nothing.
        void zoomAtPosition(float x, float y, int steps, float unused);
        float getZoomPercent() const;
        // The zoom becomes percent, centred on the work area. A percentage
        // that is not positive, or a collapsed fitted area, changes nothing.
        void zoomPercent(float percent);

        // ---- Conversions. A length converted while the view has no scale
        // (zero-size screen) comes back unchanged.

        TVec2<float> toScreen(const TVec2<float>& p) const;
        TVec2<float> toView(const TVec2<float>& p) const;
        // Both corners, not re-sorted.
        RectT<float> toScreen(const RectT<float>& r) const;
        RectT<float> toView(const RectT<float>& r) const;
        float toScreen(float v) const { return toScreenX(v); }
        float toView(float v) const { return toViewX(v); }
        float toScreenX(float v) const;
        float toViewX(float v) const;
        float toScreenY(float v) const;
        float toViewY(float v) const;
        TVec2<float> sizeToScreen(const TVec2<float>& s) const;
        TVec2<float> sizeToView(const TVec2<float>& s) const;
        TVec2<float> getMousePos() const;
        TVec2<float> getMouseDelta() const;

        // ---- The GUI frame.

        // Takes the lock, advances the mouse and rebuilds the fitting matrix.
        void begin();
        void update();
        // Clears the mouse's one-frame flags and releases the lock.
        void end();
        using MouseListener::mouseDown;
        using MouseListener::mouseUp;
        void mouseDown(int x, int y, int button);
        void mouseUp(int x, int y, int button);
        void mouseMove(int x, int y) override;

        // ---- Drawing in view units (fixed-function).

        void drawCircle(const TVec2<float>& centre, float r) const;
        void fillCircle(const TVec2<float>& centre, float r) const;
        void drawEllipse(const TVec2<float>& centre, float rx, float ry) const;
        void fillEllipse(const TVec2<float>& centre, float rx, float ry) const;
        void drawRectPrecise(const RectT<float>& r) const;
        // The work area in the background colour.
        void draw(Renderer& renderer) const;
        // Screen rectangle in green, fitted area in red.
        void drawBackground() const;

        // ---- Drawing at a fixed screen size, positioned in view units. The
        // renderer's matrices must take view units to the screen (for example
        // applyTransform, then Renderer::updateMatricesFromFFP).

        void drawRectFixed(Renderer& renderer, const TVec2<float>& centre, float w, float h, const Color& color) const;
        void fillRectFixed(Renderer& renderer, const TVec2<float>& centre, float w, float h, const Color& color) const;
        void drawCircleFixed(Renderer& renderer, const TVec2<float>& centre, float r, const Color& color) const;
        void fillCircleFixed(Renderer& renderer, const TVec2<float>& centre, float r, const Color& color) const;
        void drawEllipseFixed(const TVec2<float>& centre, float rx, float ry) const;
        void fillEllipseFixed(const TVec2<float>& centre, float rx, float ry) const;
        // Text at its pixel size at the screen point of pos; the renderer's
        // matrices are the same afterwards.
        void drawText(Renderer& renderer, const TVec2<float>& pos, const std::string& text, const Color& color) const;
        void drawText(Renderer& renderer, const Font& font, const TVec2<float>& pos, const std::string& text,
                      const Color& color) const;
        void drawTextCentered(Renderer& renderer, const Font& font, const TVec2<float>& pos, const std::string& text,
                              const Color& color) const;
        // Centred on the rectangle's centre and turned with it.
        void drawText(Renderer& renderer, const Font& font, const OrientedRect& r, const std::string& text,
                      const Color& color, const TVec2<float>& offset) const;
        void drawText(Renderer& renderer, const Font& font, const RectT<float>& r, const std::string& text,
                      const Color& color, const TVec2<float>& offset) const;
        // A cross of size pixels at the mouse, or at pos.
        void drawCursor(Renderer& renderer, float size, const Color& color) const;
        void drawCursor(Renderer& renderer, const TVec2<float>& pos, float size, const Color& color) const;
        // 1:1 on screen, centred on the point. Null draws nothing.
        void drawTexture(Renderer& renderer, const Texture* texture, const TVec2<float>& centre) const;
        void drawTexture(Renderer& renderer, const Texture* texture, const OrientedRect& r, const TVec2<float>& scroll,
                         const Color& albedo, const Color& emission) const;
        void drawTextureAt(Renderer& renderer, const Texture* texture, const TVec2<float>& pos, bool centreX,
                           bool centreY, const Color& albedo, const Color& emission) const;
        // At the image's own pixel size, centred on whole pixels at pos.
        void drawImage(Renderer& renderer, Image& image, const TVec2<float>& pos, const Color& color) const;

        // ---- Hit tests in view units, against sizes in screen pixels.

        // The rim counts as inside.
        bool isPointInCircleFixed(const TVec2<float>& p, const TVec2<float>& centre, float r) const;
        // The edges count as outside.
        bool isPointInRectFixed(const TVec2<float>& p, const TVec2<float>& centre, float w, float h) const;
        // True where the image drawn by drawImage at imagePos has alpha.
        bool isPointOverImage(const TVec2<float>& p, const Image& image, const TVec2<float>& imagePos) const;

        static float attenuation(const TVec2<float>& a, const TVec2<float>& b, float offset, float range);

        // ---- State.

        Mouse& getMouse() { return mouse; }
        const Mouse& getMouse() const { return mouse; }
        Keyboard& getKeyboard() { return keyboard; }
        const Keyboard& getKeyboard() const { return keyboard; }
        const RectT<float>& getScreenRect() const { return screenRect; }
        const RectT<float>& getWorkArea() const { return workArea; }
        const RectT<float>& getFittedArea() const { return fittedArea; }
        float getMargin() const { return margin; }
        const Matrix& getFittingMatrix() const { return fittingMatrix; }
        const Matrix& getViewMatrix() const { return viewMatrix; }
        const Matrix& getCombinedMatrix() const { return combinedMatrix; }
        const Matrix& getInverseMatrix() const { return inverseMatrix; }
        size_t getMatrixStackDepth() const { return matrixStack.size(); }
        float getXScale() const;
        float getYScale() const;

    private:
        void recompute();
        void loadCombinedIntoFixedFunction() const;
        void broadcast();
        void takePendingMousePosition();
        void storePendingMousePosition(int x, int y);

        TVec2<float> mouseOffset;
        TVec2<float> mouseScale{1.0f, 1.0f};
        Mouse mouse;
        Keyboard keyboard;
        float margin = 0.0f;
        RectT<float> screenRect;
        RectT<float> workArea;
        RectT<float> fittedArea;
        Matrix fittingMatrix;
        Matrix viewMatrix;
        Matrix combinedMatrix;
        Matrix inverseMatrix;
        std::vector<Matrix> matrixStack;
        Color backgroundColor;
        CriticalSection lock;
        // The latest event position, any thread; taken by begin. A lock of
        // its own, held only to copy it: mouseMove never waits for a frame.
        std::mutex pendingMouseLock;
        int pendingMouseX = 0;
        int pendingMouseY = 0;
        bool hasPendingMouse = false;
    };

} // namespace vx
