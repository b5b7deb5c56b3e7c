#include "FlakeSimulation.h"

#include "engine/gfx/VXScopedNoArrayBuffer.h"
#include "engine/gfx/VXTexture.h"
#include "engine/video/formats/VXPixels.h"

#include <epoxy/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>

namespace kelvo
{
    namespace
    {
        // A number in [0, 1) from rand() (RAND_MAX is 2^31 - 1 here).
        double random01()
        {
            return static_cast<double>(std::rand()) * 4.656613e-10;
        }
    }

    int FlakeSimulation::bucketFor(float x)
    {
        const double index = std::floor((static_cast<double>(x) + 1.0) / static_cast<double>(bucketWidth));
        // Callers pass x inside -1..1; the clamp only guards the array, and
        // is done in floating point so NaN (to 0) never becomes an integer.
        if (! (index > 0.0))
            return 0;
        return index < numBuckets - 1 ? static_cast<int>(index) : numBuckets - 1;
    }

    std::size_t FlakeSimulation::getNumEdgePoints() const
    {
        std::size_t count = 0;
        for (const auto& bucket : buckets)
            count += bucket.size();
        return count;
    }

    void FlakeSimulation::findEdgePoints(const vx::Pixels* buffer, bool smartEdges)
    {
        if (buffer == nullptr)
            return;
        // Only a buffer of one byte per pixel matches the read-back layout.
        if (buffer->bytesPerPixel != 1 || buffer->stride != buffer->width)
        {
            findEdgePoints(nullptr, 0, 0, smartEdges);
            return;
        }
        findEdgePoints(buffer->data, buffer->width, buffer->height, smartEdges);
    }

    void FlakeSimulation::findEdgePoints(const unsigned char* bytes, int width, int height, bool smartEdges)
    {
        for (auto& bucket : buckets)
            bucket.clear();
        if (bytes == nullptr || width <= 0 || height <= 0)
            return;

        // Points per column met so far; the visiting order below makes them
        // the ones nearest the top of the picture.
        std::vector<unsigned char> columnCounts(smartEdges ? static_cast<std::size_t>(width) : 0u, 0);

        const int lastColumn = width - 1 - borderPixels;
        const int lastRow = height - 1 - borderPixels;
        const auto widthF = static_cast<float>(width);
        const auto heightF = static_cast<float>(height);
        for (int row = height - 1; row >= 0; --row)
        {
            if (row < borderPixels || row > lastRow)
                continue;
            const unsigned char* line = bytes + static_cast<std::size_t>(row) * static_cast<std::size_t>(width);
            for (int column = width - 1; column >= 0; --column)
            {
                if (line[column] == 0 || column < borderPixels || column > lastColumn)
                    continue;
                if (smartEdges)
                {
                    unsigned char& count = columnCounts[static_cast<std::size_t>(column)];
                    if (count >= maxPointsPerColumn)
                        continue;
                    ++count;
                }
                const float px = static_cast<float>(column) * 2.0f / widthF - 1.0f;
                const float py = 1.0f - static_cast<float>(row) * 2.0f / heightF;
                buckets[static_cast<std::size_t>(bucketFor(px))].push_back({px, py});
            }
        }
    }

    bool FlakeSimulation::hasPoint(int bucket, float x, float y) const
    {
        if (bucket < 0 || bucket >= numBuckets)
            return false;
        const Point point{x, y};
        const auto& points = buckets[static_cast<std::size_t>(bucket)];
        return std::find(points.begin(), points.end(), point) != points.end();
    }

    void FlakeSimulation::update(double nowMs, double frameMs, const Settings& settings)
    {
        const double k = frameMs * settings.speed;
        const auto step = static_cast<float>(k / 10.0);
        const double decay = k * 5.25e-5;

        for (Particle& p : particles)
        {
            if (! p.falling)
            {
                p.life = static_cast<float>(p.life - decay);
                // Its point is gone (or moved by as little as a pixel).
                if (! hasPoint(p.bucket, p.pointX, p.pointY))
                {
                    p.falling = true;
                    p.life *= 0.5f;
                }
                continue;
            }

            const float oldX = p.x;
            const float oldY = p.y;
            p.x += p.velocityX * step;
            p.y += p.velocityY * step;
            p.life = static_cast<float>(p.life - decay);

            // Outside, or a position that is not a number (a host may set
            // any parameter to NaN): no landing test.
            if (! (p.x >= -1.0f && p.x <= 1.0f) || p.y < -1.0f)
                continue;
            if (p.y > 1.0f)
            {
                p.life = 0.0f; // below the picture
                continue;
            }
            // Too fast to land this frame.
            if (std::fabs(p.x - oldX) > 0.0025f && std::fabs(p.y - oldY) > 0.0025f)
                continue;

            const int bucket = bucketFor(p.x);
            for (const Point& point : buckets[static_cast<std::size_t>(bucket)])
            {
                if (point.y >= p.y && point.y - p.y < 0.005f && std::fabs(point.x - p.x) < 0.005f)
                {
                    p.falling = false;
                    p.life = 1.0f;
                    p.pointX = point.x;
                    p.pointY = point.y;
                    p.bucket = bucket;
                    break;
                }
            }
        }

        // A life that is not a number (NaN speed) counts as run out, or such
        // flakes would stay for ever.
        particles.erase(
            std::remove_if(particles.begin(), particles.end(), [](const Particle& p) { return ! (p.life > 0.0f); }),
            particles.end());

        if (nowMs - lastSpawnTime > spawnIntervalMs)
        {
            lastSpawnTime = nowMs;
            spawn(settings);
        }
    }

    void FlakeSimulation::spawn(const Settings& settings)
    {
        float hue = 0.0f, saturation = 0.0f, value = 0.0f;
        vx::Color::blue.toHSV(&hue, &saturation, &value);

        // Truncated as an integer would be, but compared first: NaN spawns
        // none, and anything past the list's limit (infinity too) spawns
        // until the limit stops it, as any larger count would.
        constexpr auto countLimit = static_cast<double>(maxParticlesBeforeStop + 1);
        const double amount = settings.amount;
        const int count = amount >= 1.0 ? static_cast<int>(std::min(amount, countLimit)) : 0;
        for (int i = 0; i < count; ++i)
        {
            Particle p;
            p.y = -1.2f;
            p.falling = true;
            p.life = 1.0f;
            p.x = static_cast<float>(random01() * 2.2 - 1.1);

            p.color.HSV(hue, static_cast<float>(random01() * 0.1), value);
            p.color.a = 1.0f;

            const double a = (random01() * 0.001 + 0.001) * settings.spread;
            p.velocityX = static_cast<float>(a * std::cos(-std::numbers::pi * random01()));
            p.velocityY = static_cast<float>(random01() * 0.005 + 0.001);

            p.height = static_cast<float>((random01() * 0.045 + 0.005) * settings.size);
            p.width = p.height * aspectRatio;

            particles.push_back(p);
            if (particles.size() > maxParticlesBeforeStop)
                break;
        }
    }

    void FlakeSimulation::drawParticles(const vx::Texture& texture)
    {
        const float u = texture.getMaxU();
        const float v = texture.getMaxV();

        // Every visible flake's fan goes into one array first, colour per
        // vertex, so all of them go to GL in one call.
        flakeVertices.clear();
        fanFirsts.clear();
        for (const Particle& p : particles)
        {
            const float left = p.x - p.width * 0.5f;
            const float top = p.y - p.height * 0.5f;
            // Written so a flake whose position is not a number is skipped.
            if (! (left + p.width >= -1.0f && left - p.width <= 1.0f))
                continue;
            const float right = left + p.width;
            const float bottom = top + p.height;
            const vx::Color& c = p.color;
            fanFirsts.push_back(static_cast<GLint>(flakeVertices.size()));
            flakeVertices.push_back({left, top, 0.0f, 0.0f, c.r, c.g, c.b, c.a});
            flakeVertices.push_back({left, bottom, 0.0f, v, c.r, c.g, c.b, c.a});
            flakeVertices.push_back({right, bottom, u, v, c.r, c.g, c.b, c.a});
            flakeVertices.push_back({right, top, u, 0.0f, c.r, c.g, c.b, c.a});
        }
        if (flakeVertices.empty())
            return;
        fanCounts.resize(fanFirsts.size(), 4);

        const vx::ScopedNoArrayBuffer noArrayBuffer;
        constexpr GLsizei stride = sizeof(FlakeVertex);
        const FlakeVertex* first = flakeVertices.data();
        glClientActiveTexture(GL_TEXTURE0);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glTexCoordPointer(2, GL_FLOAT, stride, &first->u);
        glEnableClientState(GL_COLOR_ARRAY);
        glColorPointer(4, GL_FLOAT, stride, &first->r);
        glEnableClientState(GL_VERTEX_ARRAY);
        glVertexPointer(2, GL_FLOAT, stride, &first->x);

        // One fan per flake, in birth order, as separate draws would give;
        // the driver validates its state and takes the arrays once rather
        // than once per flake.
        // A flake's four corners share its colour: flat shading gives the
        // same pixels without interpolating it across the flake.
        GLint shadeModel = GL_SMOOTH;
        glGetIntegerv(GL_SHADE_MODEL, &shadeModel);
        glShadeModel(GL_FLAT);
        glMultiDrawArrays(GL_TRIANGLE_FAN, fanFirsts.data(), fanCounts.data(), static_cast<GLsizei>(fanFirsts.size()));
        glShadeModel(static_cast<GLenum>(shadeModel));

        glDisableClientState(GL_VERTEX_ARRAY);
        glDisableClientState(GL_COLOR_ARRAY);
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    }

    double InstanceFrameClock::tick(double nowMs)
    {
        const double elapsed = hasPrevious ? nowMs - previousMs : 0.0;
        previousMs = nowMs;
        hasPrevious = true;
        return elapsed;
    }
}
