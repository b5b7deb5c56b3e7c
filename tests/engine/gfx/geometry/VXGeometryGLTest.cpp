#include "engine/gfx/geometry/VXGeometry.h"

#include "engine/gfx/VXContext.h"
#include "engine/gfx/VXGfxUtils.h"
#include "engine/gfx/VXRenderTargetTestSupport.h"
#include "engine/gfx/VXRenderer.h"
#include "engine/gfx/VXVertexBuffer.h"
#include "engine/gfx/VXVertexFormat.h"
#include "engine/gfx/geometry/VXContour.h"
#include "engine/gfx/geometry/VXGeometryDrawer.h"
#include "engine/gfx/geometry/VXQuad.h"
#include "engine/gfx/geometry/VXTriangulate.h"
#include "engine/gfx/geometry/VXVertexArrayObject.h"
#include "support/VXLogRecorder.h"
#include "support/gl/VXGLTestFixture.h"

#include <cmath>
#include <memory>

namespace vx
{
    namespace
    {
        using test::PixelRGBA8;

        const PixelRGBA8 black{0, 0, 0, 255};
        const PixelRGBA8 white{255, 255, 255, 255};
        const PixelRGBA8 red{255, 0, 0, 255};

        // Fixed-function drawing over a 32 x 32 framebuffer with pixel
        // coordinates (0, 0) at the bottom left.
        class GeometryGLTest : public test::GLTest
        {
        protected:
            void SetUp() override
            {
                test::GLTest::SetUp();
                glMatrixMode(GL_PROJECTION);
                glPushMatrix();
                glLoadIdentity();
                glOrtho(0, 32, 0, 32, -100, 100);
                glMatrixMode(GL_MODELVIEW);
                glPushMatrix();
                glLoadIdentity();
            }
            void TearDown() override
            {
                Geometry::resetAll();
                glDisableClientState(GL_VERTEX_ARRAY);
                glColor4f(1, 1, 1, 1);
                glMatrixMode(GL_PROJECTION);
                glPopMatrix();
                glMatrixMode(GL_MODELVIEW);
                glPopMatrix();
                test::GLTest::TearDown();
            }
        };

        TEST_F(GeometryGLTest, IndexedGeometryFillsItsTriangles)
        {
            test::ScopedTestFramebuffer target(32, 32);
            test::clearTo(0, 0, 0, 1);
            Geometry geometry;
            const float vertices[] = {4, 4, 0, 20, 4, 0, 20, 20, 0, 4, 20, 0};
            const uint16_t indices[] = {0, 1, 2, 0, 2, 3};
            ASSERT_NE(geometry.addVertexBufferWithData(VertexFormat("POS3"), vertices, 4, STATIC_DRAW), nullptr);
            ASSERT_NE(geometry.createIndexBufferWithData(indices, 6, INDEX_16BIT, STATIC_DRAW), nullptr);
            glColor4f(1, 0, 0, 1);
            ASSERT_TRUE(geometry.bind(0));
            EXPECT_TRUE(geometry.drawIndexed(gfx::PRIM_TRIANGLES, 0)) << "0: all indices";
            geometry.unbind();
            EXPECT_EQ(test::readPixel(5, 5), red);
            EXPECT_EQ(test::readPixel(19, 19), red);
            EXPECT_EQ(test::readPixel(21, 10), black);
            EXPECT_EQ(test::getInteger(GL_ARRAY_BUFFER_BINDING), 0);
            EXPECT_EQ(test::getInteger(GL_VERTEX_ARRAY), 0) << "unbind disables the array";

            // Without an index buffer there is nothing to draw indexed.
            Geometry bare;
            EXPECT_FALSE(bare.drawIndexed(gfx::PRIM_TRIANGLES));
        }

        TEST_F(GeometryGLTest, RebindingTheSameBuffersMakesNoCalls)
        {
            Geometry geometry;
            const float vertices[] = {0, 0, 0, 1, 0, 0, 1, 1, 0};
            ASSERT_NE(geometry.addVertexBufferWithData(VertexFormat("POS3 FLOAT2"), vertices, 1, STATIC_DRAW), nullptr);
            geometry.bind(0);
            {
                test::GLCallCounter<&epoxy_glBindBuffer> binds("glBindBuffer");
                test::GLCallCounter<&epoxy_glVertexAttribPointer> pointers("glVertexAttribPointer");
                geometry.bind(0);
                EXPECT_EQ(binds.count(), 0);
                EXPECT_EQ(pointers.count(), 0);
                geometry.bind(1);
                EXPECT_EQ(binds.count(), 1) << "another start vertex binds again";
                EXPECT_EQ(pointers.count(), 1);
            }
            // The generic element is attribute 1: its position among all elements.
            EXPECT_EQ(test::getInteger(GL_VERTEX_ARRAY), 1);
            GLint enabled = 0;
            glGetVertexAttribiv(1, GL_VERTEX_ATTRIB_ARRAY_ENABLED, &enabled);
            EXPECT_EQ(enabled, 1);
            Geometry::resetAll();
            glGetVertexAttribiv(1, GL_VERTEX_ATTRIB_ARRAY_ENABLED, &enabled);
            EXPECT_EQ(enabled, 0);
        }

        TEST_F(GeometryGLTest, LimitsAndReplacedBuffers)
        {
            test::LogRecorder log;
            Geometry geometry;
            const VertexFormat format("POS3");
            for (int i = 0; i < Geometry::maxVertexBuffers; ++i)
                ASSERT_NE(geometry.addVertexBuffer(format, 4, STATIC_DRAW), nullptr);
            EXPECT_EQ(geometry.addVertexBuffer(format, 4, STATIC_DRAW), nullptr) << "beyond the bind cache";
            EXPECT_TRUE(log.contains("at most 8 vertex buffers"));

            IndexBuffer* first = geometry.createIndexBuffer(6, INDEX_16BIT, STATIC_DRAW);
            ASSERT_NE(first, nullptr);
            const GLuint firstName = first->getGLName();
            geometry.createIndexBuffer(6, INDEX_32BIT, STATIC_DRAW);
            EXPECT_FALSE(glIsBuffer(firstName)) << "the replaced index buffer is deleted";

            // A bound geometry that goes away leaves no stale cache behind.
            geometry.bind(0);
            geometry.release();
            EXPECT_EQ(test::getInteger(GL_VERTEX_ARRAY), 0);
            Geometry::resetAll();
        }

        TEST_F(GeometryGLTest, SphereHasItsPolesOnTheThirdAxis)
        {
            Geometry geometry;
            const VertexFormat format("POS3 NORMAL UV COLOR");
            ASSERT_TRUE(geometry.sphere(format, 2.0f, 0xFF0000FFu, 4, 3));
            ASSERT_EQ(geometry.getNumVertexBuffers(), 1);
            EXPECT_EQ(geometry.getVertexBuffer(0)->getMaxNumVertices(), 15u);
            EXPECT_EQ(geometry.getIndexBuffer()->getSize(), 48u * 2u);

            const auto* data = static_cast<const float*>(geometry.getVertexBuffer(0)->map(true, false));
            ASSERT_NE(data, nullptr);
            const unsigned stride = format.getStride() / 4;
            for (int j = 0; j < 5; ++j)
            {
                EXPECT_NEAR(data[j * stride + 2], -2.0f, 1e-5f) << "south pole";
                EXPECT_NEAR(data[j * stride + 0], 0.0f, 1e-5f);
                EXPECT_NEAR(data[j * stride + 7], 1.0f, 1e-5f) << "v";
                EXPECT_NEAR(data[(10 + j) * stride + 2], 2.0f, 1e-5f) << "north pole";
                EXPECT_NEAR(data[(10 + j) * stride + 7], 0.0f, 1e-5f);
            }
            geometry.getVertexBuffer(0)->unmap();
            EXPECT_FALSE(geometry.sphere(format, 1.0f, 0, 4, 1)) << "one stack has no extent";
            EXPECT_FALSE(geometry.sphere(format, 1.0f, 0, 400, 400)) << "beyond 16-bit indices";
        }

        TEST_F(GeometryGLTest, TriangulatedGeometryDrawsTheFill)
        {
            test::ScopedTestFramebuffer target(32, 32);
            test::clearTo(0, 0, 0, 1);
            Geometry geometry;
            // A square with a notch: the notch stays empty.
            const TVec2<float> outline[] = {{2, 2}, {30, 2}, {30, 30}, {16, 30}, {16, 12}, {12, 12}, {12, 30}, {2, 30}};
            ASSERT_TRUE(triangulate(&geometry, outline, 8, WINDING_ODD));
            glColor4f(1, 1, 1, 1);
            geometry.bind(0);
            geometry.drawIndexed(gfx::PRIM_TRIANGLES);
            geometry.unbind();
            EXPECT_EQ(test::readPixel(5, 20), white);
            EXPECT_EQ(test::readPixel(25, 20), white);
            EXPECT_EQ(test::readPixel(14, 20), black) << "the notch";
            EXPECT_EQ(test::readPixel(14, 8), white);

            const TVec2<float> nan[] = {{0, 0}, {NAN, 0}, {1, 1}};
            test::LogRecorder log;
            EXPECT_FALSE(triangulate(&geometry, nan, 3, WINDING_ODD)) << "a failed tessellation answers false";
            EXPECT_EQ(geometry.getNumVertexBuffers(), 0);
            EXPECT_FALSE(triangulate(&geometry, outline, 2, WINDING_ODD));
        }

        TEST_F(GeometryGLTest, DrawerWireBoxAndLimits)
        {
            test::ScopedTestFramebuffer target(32, 32);
            test::clearTo(0, 0, 0, 1);
            glColor4f(1, 1, 1, 1);
            const float lo[3] = {4.5f, 4.5f, -1}, hi[3] = {24.5f, 24.5f, 1};
            gfx::drawWireBox(lo, hi);
            EXPECT_EQ(test::readPixel(4, 14), white) << "left edge";
            EXPECT_EQ(test::readPixel(14, 24), white) << "top edge";
            EXPECT_EQ(test::readPixel(14, 14), black) << "inside the outline";
            EXPECT_EQ(test::getInteger(GL_VERTEX_ARRAY), 0) << "the drawer resets its arrays";

            test::LogRecorder log;
            const float point[3] = {0, 0, 0};
            for (int i = 0; i < GeometryDrawer::maxRecords + 2; ++i)
                GeometryDrawer::setNormalPointer(point, 0);
            EXPECT_TRUE(log.contains("more than 14 arrays"));
            GeometryDrawer::reset();
            EXPECT_EQ(test::getInteger(GL_NORMAL_ARRAY), 0);
        }

        // Two contexts set up arrays in turn: each reset disables only what was
        // set up in its own context, and each context has its own record limit.
        TEST_F(GeometryGLTest, DrawerKeepsItsRecordsPerContext)
        {
            const float point[3] = {0, 0, 0};
            const float uv[2] = {0, 0};
            const unsigned int colours[1] = {0xffffffffu};
            glClientActiveTexture(GL_TEXTURE1);
            GeometryDrawer::setVertexPointer(point, 0);
            GeometryDrawer::setTexCoordPointer(uv, 0);
            for (int i = 0; i < 8; ++i)
                GeometryDrawer::setNormalPointer(point, 0);

            test::LogRecorder log;
            std::unique_ptr<Context> other(Context::createOffscreenContext(false, 11, nullptr));
            ASSERT_NE(other, nullptr);
            ASSERT_TRUE(other->activate());
            test::installDebugCallback();
            for (int i = 0; i < 8; ++i)
                GeometryDrawer::setColorPointer(colours, 0);
            GeometryDrawer::reset();
            EXPECT_EQ(test::getInteger(GL_COLOR_ARRAY), 0);
            other.reset();
            ASSERT_TRUE(test::GLTestContext::makeCurrent());
            EXPECT_FALSE(log.contains("more than 14 arrays")) << "ten here and eight there";

            EXPECT_EQ(test::getInteger(GL_VERTEX_ARRAY), 1) << "the other context's reset left them";
            EXPECT_EQ(test::getInteger(GL_NORMAL_ARRAY), 1);
            GeometryDrawer::reset();
            EXPECT_EQ(test::getInteger(GL_VERTEX_ARRAY), 0);
            EXPECT_EQ(test::getInteger(GL_NORMAL_ARRAY), 0);
            EXPECT_EQ(test::getInteger(GL_CLIENT_ACTIVE_TEXTURE), GL_TEXTURE1) << "the caller's client unit is back";
            glClientActiveTexture(GL_TEXTURE0);
            EXPECT_EQ(test::getInteger(GL_TEXTURE_COORD_ARRAY), 0);
        }

        TEST_F(GeometryGLTest, QuadTexCoordsAndFill)
        {
            Quad quad(2, 3);
            test::ScopedTestFramebuffer target(32, 32);
            test::clearTo(0, 0, 0, 1);
            glColor4f(1, 0, 0, 1);
            quad.draw(0, 0, 10, 10);
            EXPECT_EQ(quad.getBuiltTexCoord(0, 0), TVec2<float>(0, 0));
            EXPECT_EQ(quad.getBuiltTexCoord(0, 1), TVec2<float>(0, 3));
            EXPECT_EQ(quad.getBuiltTexCoord(0, 2), TVec2<float>(2, 3));
            EXPECT_EQ(quad.getBuiltTexCoord(0, 3), TVec2<float>(2, 0));
            EXPECT_EQ(test::readPixel(5, 5), red);
            EXPECT_EQ(test::readPixel(15, 5), black);

            quad.setNumTexCoords(2);
            quad.setFlipTexCoords(1, true);
            quad.setMaxCoords(1, 0.5f, 0.25f);
            quad.draw(0, 0, 1, 1);
            EXPECT_EQ(quad.getBuiltTexCoord(1, 0), TVec2<float>(0, 0.25f));
            EXPECT_EQ(quad.getBuiltTexCoord(1, 2), TVec2<float>(0.5f, 0));
            EXPECT_EQ(test::getInteger(GL_CLIENT_ACTIVE_TEXTURE), GL_TEXTURE0);
        }

        TEST_F(GeometryGLTest, VertexArrayObjectOwnsItsName)
        {
            GLuint name = 0;
            {
                VertexArrayObject vao;
                EXPECT_FALSE(vao.bind());
                ASSERT_TRUE(vao.initialize());
                name = vao.getGLName();
                EXPECT_TRUE(vao.bind());
                EXPECT_EQ(test::getInteger(GL_VERTEX_ARRAY_BINDING), GLint(name));
                vao.unbind();
            }
            EXPECT_FALSE(glIsVertexArray(name));
        }

        //==============================================================================
        // The renderer's contour, shape and mesh members, in pixel space.
        class RendererGeometryGLTest : public test::GLTest
        {
        protected:
            void SetUp() override
            {
                test::GLTest::SetUp();
                host = std::make_unique<test::ScopedHostRenderer>(manager);
                renderer = host->renderer;
                ASSERT_NE(renderer, nullptr);
            }
            void TearDown() override
            {
                host.reset();
                test::GLTest::TearDown();
            }
            void beginPixelSpace(int size)
            {
                renderer->setViewport(RectT<float>(0, 0, float(size), float(size)));
                renderer->setupGuiMatrices(100.0f);
                test::clearTo(0, 0, 0, 1);
                height = size;
            }
            PixelRGBA8 at(int x, int y) const { return test::readPixel(x, height - 1 - y); }

            ContextManager manager;
            std::unique_ptr<test::ScopedHostRenderer> host;
            Renderer* renderer = nullptr;
            int height = 0;
        };

        TEST_F(RendererGeometryGLTest, FillsContoursShapesAndMeshes)
        {
            test::ScopedTestFramebuffer target(32, 32);
            beginPixelSpace(32);

            Contour circle;
            circle.circle(16, 16, 10);
            renderer->fill(circle, Color::red);
            EXPECT_EQ(at(16, 16), red);
            EXPECT_EQ(at(8, 16), red);
            EXPECT_EQ(at(3, 3), black) << "outside the circle";
            EXPECT_EQ(test::getInteger(GL_CURRENT_PROGRAM), 0);

            // A shape with a hole: odd winding leaves it empty.
            test::clearTo(0, 0, 0, 1);
            Shape ring;
            ring.contours.push_back(Contour::makeRect(4, 4, 24, 24));
            ring.contours.push_back(Contour::makeRect(12, 12, 8, 8));
            renderer->fill(ring, Color::red);
            EXPECT_EQ(at(6, 16), red);
            EXPECT_EQ(at(16, 16), black) << "the hole";

            // Outlines: a line loop round the contour.
            test::clearTo(0, 0, 0, 1);
            Contour square;
            square.rect(4, 4, 20, 20);
            renderer->draw(square, Color::red);
            EXPECT_EQ(at(14, 14), black);
            int outline = 0;
            for (int i = 0; i < 32; ++i)
                outline += at(i, 14) == red;
            EXPECT_EQ(outline, 2) << "left and right sides";

            // Two points fill nothing.
            test::clearTo(0, 0, 0, 1);
            Contour line;
            line.addPoint(0, 0);
            line.addPoint(30, 30);
            renderer->fill(line, Color::red);
            EXPECT_EQ(at(15, 15), black);

            // A mesh with an index outside its vertices is refused.
            test::LogRecorder log;
            Mesh2d broken;
            broken.vertex({0, 0});
            broken.vertex({30, 0});
            broken.vertex({0, 30});
            broken.addTriangle(0, 1, 7);
            renderer->fill(broken, Color::red);
            EXPECT_TRUE(log.contains("index 7 outside 3 vertices"));
            EXPECT_EQ(at(5, 5), black);
        }

    } // namespace
} // namespace vx
