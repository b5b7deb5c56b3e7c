#pragma once

#include "core/VXColor.h"
#include "core/VXVec2.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vx
{
    class Pixels;
    class Texture;
}

namespace kelvo
{
    // One flake. Positions are in the effect's normalised space: x from -1
    // (left) to 1 (right), y from -1 (top) to 1 (bottom).
    struct Particle
    {
        float x = 0.0f, y = 0.0f;
        float velocityX = 0.0f, velocityY = 0.0f; // per time step
        float width = 0.0f, height = 0.0f;
        float life = 1.0f;                  // removed at 0 or below
        float pointX = 0.0f, pointY = 0.0f; // the edge point it settled on
        std::int32_t bucket = 0;
        bool falling = true;
        vx::Color color = vx::Color::white;
    };

    // The effect's flakes and the edge points they settle on. Edge points are
    // sorted into vertical strips (buckets) of width 0.05 so a falling flake
    // only compares itself with the points of its own strip.
    //
    // Time comes in from the caller (engine milliseconds and the frame's
    // length), so the simulation itself reads no clock; random numbers come
    // from the standard rand(). Render thread only (drawParticles needs the
    // GL context); no locks.
    class FlakeSimulation
    {
    public:
        static constexpr int numBuckets = 40;
        // Held as a 32-bit float (slightly above 0.05), so x = 1 still falls
        // in the last bucket.
        static constexpr float bucketWidth = 0.05f;
        // Minimum milliseconds between two spawns.
        static constexpr double spawnIntervalMs = 20.0;
        // Spawning stops for the frame once the list holds more flakes than this.
        static constexpr std::size_t maxParticlesBeforeStop = 9999;
        // Pixels at the read-back's border that never count as edges.
        static constexpr int borderPixels = 5;
        // Points per column kept with smart edges on.
        static constexpr int maxPointsPerColumn = 3;

        // The effect's parameter values (in their own units) that steer it.
        struct Settings
        {
            double size = 1.0;
            double speed = 1.0;
            double amount = 20.0;
            double spread = 0.25;
        };

        using Point = vx::TVec2<float>;

        // Rebuilds every bucket from a read-back of width x height bytes, one
        // per pixel, row 0 = bottom row of the framebuffer. A null or empty
        // buffer only empties the buckets. With smartEdges at most three
        // points per column are kept: those nearest the top.
        void findEdgePoints(const unsigned char* bytes, int width, int height, bool smartEdges);
        // The same over a one-byte-per-pixel Pixels; a Pixels of another
        // layout only empties the buckets, null does nothing at all.
        void findEdgePoints(const vx::Pixels* buffer, bool smartEdges);

        // One frame: moves, lands, releases and removes flakes, then spawns
        // when more than 20 ms of nowMs have passed since the last spawn.
        // frameMs is the length of this instance's frame.
        void update(double nowMs, double frameMs, const Settings& settings);

        // Draws every flake at least partly inside -1..1 horizontally (none
        // whose position is not a number) as a textured four-vertex fan in
        // its colour: one fan per flake from client-side arrays, all in one
        // glMultiDrawArrays, written into buffers that are kept, so no
        // allocation once they have grown.
        // The caller binds the texture to unit 0 and sets the projection.
        void drawParticles(const vx::Texture& texture);
        // The flakes the last drawParticles drew.
        std::size_t getNumDrawn() const { return flakeVertices.size() / 4; }

        void clearParticles() { particles.clear(); }
        // Flakes made elsewhere (tests, restored state); appended in order.
        void addParticle(const Particle& particle) { particles.push_back(particle); }
        const std::vector<Particle>& getParticles() const { return particles; }

        const std::vector<Point>& getBucket(int index) const { return buckets[static_cast<std::size_t>(index)]; }
        std::size_t getNumEdgePoints() const;
        // The bucket of an x inside -1..1 (39 for x = 1).
        static int bucketFor(float x);

        double getLastSpawnTime() const { return lastSpawnTime; }
        void setLastSpawnTime(double timeMs) { lastSpawnTime = timeMs; }

        // The smaller viewport side over the larger; flakes are that much
        // narrower than high so they look round.
        float getAspectRatio() const { return aspectRatio; }
        void setAspectRatio(float ratio) { aspectRatio = ratio; }

    private:
        void spawn(const Settings& settings);
        bool hasPoint(int bucket, float x, float y) const;

        // One vertex of a flake's fan as drawParticles hands it to GL.
        struct FlakeVertex
        {
            float x, y, u, v, r, g, b, a;
        };

        std::array<std::vector<Point>, numBuckets> buckets;
        std::vector<Particle> particles;
        // Reused from frame to frame: the flakes' vertices, and the first
        // vertex and vertex count of each flake's fan.
        std::vector<FlakeVertex> flakeVertices;
        std::vector<std::int32_t> fanFirsts, fanCounts;
        double lastSpawnTime = 0.0;
        float aspectRatio = 1.0f;
    };

    // Frame lengths of one effect instance, measured from that instance's own
    // previous tick, so instances sharing the process-wide clock do not
    // shorten each other's frames.
    class InstanceFrameClock
    {
    public:
        // The milliseconds since the previous tick (0 on the first one); nowMs
        // becomes the previous tick.
        double tick(double nowMs);
        void reset() { hasPrevious = false; }

    private:
        double previousMs = 0.0;
        bool hasPrevious = false;
    };
}
