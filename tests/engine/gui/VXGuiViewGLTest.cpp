#include "engine/gui/VXGuiView.h"

#include "VXGuiGLFixture.h"
#include "core/VXMatrix4x4.h"
#include "engine/gfx/VXTexture.h"
#include "engine/gui/VXTransformer.h"
#include "engine/video/formats/VXImage.h"

#include <functional>

namespace vx::test
{
    namespace
    {
        using Vec = TVec2<float>;
        const PixelRGBA8 black{0, 0, 0, 255};
        const PixelRGBA8 white{255, 255, 255, 255};
        const PixelRGBA8 red{255, 0, 0, 255};

        // A view over the whole target, its work area the same size, drawn
        // through the fixed-function modelview the renderer takes over.
        class GuiViewGLTest : public GuiGLTest
        {
        protected:
            void beginView(int size)
            {
                beginPixelSpace(size, size);
                view.init(float(size), float(size), float(size), float(size), 0.0f);
                view.update();
                applyView();
            }

            void applyView()
            {
                view.applyTransform();
                renderer->updateMatricesFromFFP();
            }

            // Length of the run of pixels equal to colour through (x, y) along the row.
            int runThrough(int x, int y, const PixelRGBA8& colour) const
            {
                if (at(x, y) != colour)
                    return 0;
                int left = x, right = x;
                while (left > 0 && at(left - 1, y) == colour)
                    --left;
                while (right < targetHeight - 1 && at(right + 1, y) == colour)
                    ++right;
                return right - left + 1;
            }

            GuiView view;
        };

        // The active corner handle is 10 screen pixels wide whatever the zoom.
        TEST_F(GuiViewGLTest, HandlesKeepTheirScreenSize)
        {
            beginView(128);
            Transformer tool;
            tool.setFromRect(RectT<float>(40.0f, 40.0f, 90.0f, 90.0f));
            view.mouseDown(90, 90, 0);
            view.begin();
            tool.handleInteraction(view, false);
            view.end();
            ASSERT_EQ(tool.getCornerIndex(), 2);

            tool.draw(*renderer, view, 0);
            const int atFullSize = runThrough(90, 92, white);
            EXPECT_EQ(at(20, 90), black);

            view.zoomAtPosition(90.0f, 90.0f, 40, 0.0f);
            ASSERT_FLOAT_EQ(view.getZoomPercent(), 300.0f);
            clearTo(0.0f, 0.0f, 0.0f, 1.0f);
            applyView();
            tool.draw(*renderer, view, 0);
            const int zoomed = runThrough(90, 92, white);

            EXPECT_GE(atFullSize, 9);
            EXPECT_LE(atFullSize, 10);
            EXPECT_EQ(zoomed, atFullSize);
            // The outline follows the zoom: the bottom edge now reaches far left.
            EXPECT_EQ(at(20, 90), white);
        }

        // While a drag snaps, the guide runs along the line snapped to.
        TEST_F(GuiViewGLTest, SnapGuidesShowWhileDragging)
        {
            beginView(128);
            Transformer tool;
            tool.setFromRect(RectT<float>(40.0f, 40.0f, 70.0f, 70.0f));
            tool.getSnapper().addSnapShape(Polygon(RectT<float>(0.0f, 0.0f, 100.0f, 100.0f)), 10.0f);
            const auto frame = [&](const std::function<void()>& events)
            {
                events();
                view.begin();
                tool.handleInteraction(view, true);
                view.end();
            };
            frame([&] { view.mouseDown(55, 55, 0); });
            frame([&] { view.mouseMove(82, 55); }); // the right edge at 97 snaps to 100
            tool.draw(*renderer, view, 0);
            const PixelRGBA8 yellow{255, 255, 0, 255};
            EXPECT_EQ(at(100, 10), yellow);
            EXPECT_EQ(at(100, 95), yellow);
            EXPECT_EQ(at(97, 10), black);

            frame([&] { view.mouseUp(82, 55, 0); });
            clearTo(0.0f, 0.0f, 0.0f, 1.0f);
            tool.draw(*renderer, view, 0);
            EXPECT_EQ(at(100, 10), black) << "no guides once released";
            EXPECT_NEAR(tool.getOrientedRect().getCorners()[1].x, 100.0f, 1e-3f);
        }

        // The image lands on whole pixels at its own size, and the hit test
        // agrees with what was drawn, including just left of its first column.
        TEST_F(GuiViewGLTest, ImagesDrawOneToOneAndHitTestTheirPixels)
        {
            beginView(64);
            Image image(8, 6, 1);
            for (int y = 0; y < 6; ++y)
                for (int x = 0; x < 4; ++x)
                    image.setPixel(x, y, Color(0.0f, 0.0f, 1.0f, 1.0f)); // red in getPixel's byte order
            const Vec pos(20.3f, 30.6f);
            view.drawImage(*renderer, image, pos, Color::white);
            for (int x = 14; x < 26; ++x)
            {
                const bool opaque = x >= 16 && x < 20;
                EXPECT_EQ(at(x, 30), opaque ? red : (x >= 20 && x < 24 ? PixelRGBA8{0, 0, 0, 0} : black)) << x;
                EXPECT_EQ(view.isPointOverImage(Vec(float(x) + 0.5f, 30.5f), image, pos), opaque) << x;
            }
            EXPECT_FALSE(view.isPointOverImage(Vec(17.0f, 40.0f), image, pos)) << "below the image";
        }

        TEST_F(GuiViewGLTest, TexturesDrawOneToOneAtAnyZoom)
        {
            beginView(64);
            view.zoomPercent(200.0f);
            applyView();
            Image image(10, 6, 0);
            for (int y = 0; y < 6; ++y)
                for (int x = 0; x < 10; ++x)
                    image.setPixel(x, y, Color::red);
            const Vec centre(30.0f, 30.0f);
            const Vec s = view.toScreen(centre);
            view.drawTexture(*renderer, image.getTexture(), centre);
            EXPECT_EQ(runThrough(int(s.x), int(s.y), red), 10);
            EXPECT_EQ(at(int(s.x), int(s.y) - 3), red);
            EXPECT_EQ(at(int(s.x), int(s.y) - 4), black);
            EXPECT_EQ(at(int(s.x), int(s.y) + 2), red);
            EXPECT_EQ(at(int(s.x), int(s.y) + 3), black);
        }

        // Text goes to screen pixels and leaves every matrix as it found it.
        TEST_F(GuiViewGLTest, TextAndCursorRestoreTheMatrices)
        {
            beginView(64);
            view.zoomPercent(150.0f);
            applyView();
            const Matrix4x4 before = renderer->getMatrixStack().getWorldViewProjMatrix();
            const Matrix4x4 modelView = gfx::getModelViewMatrix();
            view.drawText(*renderer, Fonts::small14, Vec(10.0f, 20.0f), "Vx", Color::white);
            view.drawText(*renderer, Fonts::small14, RectT<float>(0.0f, 0.0f, 20.0f, 20.0f), "Vx", Color::white,
                          Vec(0.0f, 0.0f));
            view.drawCursor(*renderer, Vec(32.0f, 32.0f), 9.0f, Color::red);
            EXPECT_EQ(renderer->getMatrixStack().getWorldViewProjMatrix(), before);
            EXPECT_EQ(gfx::getModelViewMatrix(), modelView);

            const Vec s = view.toScreen(Vec(32.0f, 32.0f));
            EXPECT_EQ(at(int(s.x) + 3, int(s.y)), red) << "the cross is in screen pixels";
            EXPECT_EQ(at(int(s.x), int(s.y) - 3), red);
            EXPECT_EQ(at(int(s.x) + 3, int(s.y) + 3), black);
        }

        TEST_F(GuiViewGLTest, BackgroundFillsTheWorkArea)
        {
            beginPixelSpace(64, 64);
            view.init(64.0f, 64.0f, 32.0f, 16.0f, 0.0f);
            view.update();
            applyView();
            view.setBackgroundColor(Color::red);
            view.draw(*renderer);
            // 32 x 16 fitted into 64 x 64: rows 16 to 47 at twice the size.
            EXPECT_EQ(at(0, 16), red);
            EXPECT_EQ(at(63, 47), red);
            EXPECT_EQ(at(30, 15), black);
            EXPECT_EQ(at(30, 48), black);
        }

    } // namespace
} // namespace vx::test
