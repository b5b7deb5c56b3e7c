// Drawing the flakes on the shared headless context.

#include "plugin/FlakeSimulation.h"

#include "engine/gfx/VXTexture.h"
#include "support/gl/VXGLTestFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <limits>
#include <memory>
#include <vector>

namespace
{
    using kelvo::FlakeSimulation;
    using kelvo::Particle;
    using vx::test::PixelRGBA8;

    constexpr int canvasSize = 128;
    constexpr int spriteSize = 16;

    // Opaque and coloured towards one corner, transparent towards the other,
    // so a flake drawn mirrored or with another colour reads differently.
    std::vector<PixelRGBA8> spritePixels()
    {
        std::vector<PixelRGBA8> pixels;
        for (int row = 0; row < spriteSize; ++row)
            for (int column = 0; column < spriteSize; ++column)
                pixels.push_back({static_cast<std::uint8_t>(column * 16), static_cast<std::uint8_t>(row * 16), 200,
                                  static_cast<std::uint8_t>(255 - (row + column) * 8)});
        return pixels;
    }

    // Flakes over and beyond a canvas of -1..1, overlapping, in many colours.
    std::vector<Particle> scatteredFlakes()
    {
        std::srand(5);
        const auto r = [] { return static_cast<float>(std::rand()) / static_cast<float>(RAND_MAX); };
        std::vector<Particle> flakes;
        for (int i = 0; i < 60; ++i)
        {
            Particle p;
            p.x = r() * 2.6f - 1.3f;
            p.y = r() * 2.6f - 1.3f;
            p.height = 0.05f + r() * 0.4f;
            p.width = p.height * 0.75f;
            p.color = vx::Color(r(), r(), r(), 0.5f + r() * 0.5f);
            flakes.push_back(p);
        }
        return flakes;
    }

    // The drawing every frame relies on: one textured fan per flake in its
    // own colour, blended over what is there, skipping flakes wholly left or
    // right of the picture.
    void drawFlakesOneByOne(const std::vector<Particle>& flakes, float u, float v)
    {
        const float texCoords[8] = {0.0f, 0.0f, 0.0f, v, u, v, u, 0.0f};
        float corners[8] = {};
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glTexCoordPointer(2, GL_FLOAT, 0, texCoords);
        glEnableClientState(GL_VERTEX_ARRAY);
        glVertexPointer(2, GL_FLOAT, 0, corners);
        for (const Particle& p : flakes)
        {
            const float left = p.x - p.width * 0.5f;
            const float top = p.y - p.height * 0.5f;
            if (left + p.width < -1.0f || left - p.width > 1.0f)
                continue;
            glColor4f(p.color.r, p.color.g, p.color.b, p.color.a);
            const float quad[8] = {left,           top, left, top + p.height, left + p.width, top + p.height,
                                   left + p.width, top};
            std::copy(std::begin(quad), std::end(quad), corners);
            glDrawArrays(GL_TRIANGLE_FAN, 0, 4);
        }
        glDisableClientState(GL_VERTEX_ARRAY);
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
        glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    }

    // The draws handed to glMultiDrawArrays while in scope, one entry each.
    class MultiDrawRecorder
    {
    public:
        struct Draw
        {
            GLenum mode;
            GLint first;
            GLsizei count;
            bool operator==(const Draw&) const = default;
        };

        MultiDrawRecorder()
        {
            saved = epoxy_glMultiDrawArrays;
            draws.clear();
            epoxy_glMultiDrawArrays = &record;
        }
        ~MultiDrawRecorder() { epoxy_glMultiDrawArrays = saved; }
        MultiDrawRecorder(const MultiDrawRecorder&) = delete;
        MultiDrawRecorder& operator=(const MultiDrawRecorder&) = delete;

        static inline std::vector<Draw> draws;

    private:
        static void GLAPIENTRY record(GLenum mode, const GLint* first, const GLsizei* count, GLsizei drawcount)
        {
            for (GLsizei i = 0; i < drawcount; ++i)
                draws.push_back({mode, first[i], count[i]});
            saved(mode, first, count, drawcount);
        }

        static inline decltype(epoxy_glMultiDrawArrays) saved = nullptr;
    };

    class FlakeSimulationGLTest : public vx::test::GLTest
    {
    protected:
        void SetUp() override
        {
            GLTest::SetUp();
            canvas = std::make_unique<vx::test::ScopedTestFramebuffer>(canvasSize, canvasSize);
            glGenTextures(1, &spriteName);
            glBindTexture(GL_TEXTURE_2D, spriteName);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
            const auto pixels = spritePixels();
            // Used area 12 x 10 of the 16 x 16 texture: u and v below 1.
            glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, spriteSize, spriteSize, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                         pixels.data());
            sprite.setGLData(12, 10, spriteSize, spriteSize, GL_TEXTURE_2D, spriteName, GL_RGBA8, GL_LINEAR, GL_LINEAR,
                             true);
            glEnable(GL_TEXTURE_2D);
            glEnable(GL_BLEND);
            glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
            // The effect's space: x -1 (left) to 1, y -1 (top) to 1.
            glMatrixMode(GL_PROJECTION);
            glLoadIdentity();
            glOrtho(-1.0, 1.0, 1.0, -1.0, -1.0, 1.0);
            glMatrixMode(GL_MODELVIEW);
        }

        void TearDown() override
        {
            glMatrixMode(GL_PROJECTION);
            glLoadIdentity();
            glMatrixMode(GL_MODELVIEW);
            glDisable(GL_BLEND);
            glBlendFunc(GL_ONE, GL_ZERO);
            glDisable(GL_TEXTURE_2D);
            glBindTexture(GL_TEXTURE_2D, 0);
            glDeleteTextures(1, &spriteName);
            canvas.reset();
            GLTest::TearDown();
        }

        std::vector<PixelRGBA8> drawn(const std::vector<Particle>& flakes)
        {
            vx::test::clearTo(0.1f, 0.2f, 0.3f, 1.0f);
            FlakeSimulation simulation;
            for (const Particle& p : flakes)
                simulation.addParticle(p);
            simulation.drawParticles(sprite);
            return vx::test::readPixels(0, 0, canvasSize, canvasSize);
        }

        std::unique_ptr<vx::test::ScopedTestFramebuffer> canvas;
        GLuint spriteName = 0;
        vx::Texture sprite;
    };

    TEST_F(FlakeSimulationGLTest, FlakesLookAsDrawnOneByOneInBirthOrder)
    {
        const auto flakes = scatteredFlakes();
        const auto pixels = drawn(flakes);

        vx::test::clearTo(0.1f, 0.2f, 0.3f, 1.0f);
        drawFlakesOneByOne(flakes, sprite.getMaxU(), sprite.getMaxV());
        const auto expected = vx::test::readPixels(0, 0, canvasSize, canvasSize);

        // The same primitives in the same order: exactly the same pixels.
        int differing = 0;
        for (std::size_t i = 0; i < pixels.size(); ++i)
            differing += pixels[i] == expected[i] ? 0 : 1;
        EXPECT_EQ(differing, 0);
        EXPECT_NE(pixels, drawn({}));
    }

    TEST_F(FlakeSimulationGLTest, DrawingLeavesTheShadeModelAsFound)
    {
        for (const GLenum model : {GL_SMOOTH, GL_FLAT})
        {
            glShadeModel(model);
            drawn(scatteredFlakes());
            GLint after = 0;
            glGetIntegerv(GL_SHADE_MODEL, &after);
            EXPECT_EQ(after, static_cast<GLint>(model));
        }
        glShadeModel(GL_SMOOTH);
    }

    TEST_F(FlakeSimulationGLTest, EachVisibleFlakeIsOneDrawAndFlakesOfNoPositionAreNone)
    {
        const float nan = std::numeric_limits<float>::quiet_NaN();
        std::vector<Particle> flakes(5);
        for (Particle& p : flakes)
            p.width = p.height = 0.2f;
        flakes[1].x = -1.05f; // overlaps the left edge: drawn
        flakes[2].x = -1.25f; // wholly left: not drawn
        flakes[3].x = nan;
        flakes[4].width = nan;

        vx::test::GLCallCounter<&epoxy_glDrawArrays> draws("glDrawArrays");
        vx::test::GLCallCounter<&epoxy_glMultiDrawArrays> batches("glMultiDrawArrays");
        const MultiDrawRecorder recorder;
        drawn(flakes);
        // All in one batch: the driver validates and takes the arrays once.
        EXPECT_EQ(draws.count(), 0);
        EXPECT_EQ(batches.count(), 1);
        const std::vector<MultiDrawRecorder::Draw> expected{{GL_TRIANGLE_FAN, 0, 4}, {GL_TRIANGLE_FAN, 4, 4}};
        EXPECT_EQ(MultiDrawRecorder::draws, expected);
    }
}
