#include "engine/gfx/geometry/VXTriangulate.h"

#include "core/VXLog.h"
#include "engine/gfx/VXIndexBuffer.h"
#include "engine/gfx/VXVertexFormat.h"
#include "engine/gfx/geometry/VXContour.h"
#include "engine/gfx/geometry/VXGeometry.h"
#include "engine/gfx/geometry/VXTess.h"

#include <cstdlib>
#include <memory>
#include <mutex>
#include <vector>

namespace vx
{

    namespace
    {
        void* stdAlloc(void* userData, unsigned int size)
        {
            *static_cast<unsigned int*>(userData) += size;
            return std::malloc(size);
        }

        void stdFree(void*, void* p)
        {
            std::free(p);
        }

        // A tessellator kept between calls (allocator record: bytes counted,
        // no reallocation, room for 2560 crossings). A kept tessellator keeps
        // its memory, so a fill every frame neither hands that memory back to
        // the system nor faults it in again. Null when it could not be made.
        struct KeptTesselator
        {
            KeptTesselator()
            {
                TessAllocator alloc;
                alloc.allocate = &stdAlloc;
                alloc.free = &stdFree;
                alloc.userData = &allocatedBytes;
                alloc.extraVertices = 2560;
                tess = tessNewTess(&alloc);
            }
            ~KeptTesselator() { tessDeleteTess(tess); }
            KeptTesselator(const KeptTesselator&) = delete;
            KeptTesselator& operator=(const KeptTesselator&) = delete;

            unsigned int allocatedBytes = 0;
            Tesselator* tess = nullptr;
        };

        // The idle tessellators: as many as triangulations ever ran at once.
        // A pool rather than a thread-local one per thread: a thread-local
        // with a destructor would keep a plugin module that links this code
        // loaded for as long as its host's thread lives.
        class TesselatorPool
        {
        public:
            std::unique_ptr<KeptTesselator> take()
            {
                {
                    const std::lock_guard<std::mutex> hold(lock);
                    if (! idle.empty())
                    {
                        std::unique_ptr<KeptTesselator> kept = std::move(idle.back());
                        idle.pop_back();
                        return kept;
                    }
                }
                return std::make_unique<KeptTesselator>();
            }

            void giveBack(std::unique_ptr<KeptTesselator> kept)
            {
                const std::lock_guard<std::mutex> hold(lock);
                idle.push_back(std::move(kept));
            }

        private:
            std::mutex lock;
            std::vector<std::unique_ptr<KeptTesselator>> idle;
        };

        TesselatorPool tesselatorPool;

        // One tessellation on a tessellator of its own from the pool.
        class Triangulation
        {
        public:
            Triangulation() : kept(tesselatorPool.take()), tess(kept->tess) {}
            ~Triangulation()
            {
                // Contours added but never tessellated would join the next
                // call: such a tessellator is not kept.
                if (tess != nullptr && (! added || ran))
                    tesselatorPool.giveBack(std::move(kept));
            }
            Triangulation(const Triangulation&) = delete;
            Triangulation& operator=(const Triangulation&) = delete;

            void add(int size, const void* points, int stride, int count)
            {
                if (tess != nullptr && count > 0)
                {
                    tessAddContour(tess, size, points, stride, count);
                    added = true;
                }
            }

            /** Triangles; false (logged) when the tessellation failed. No
                contour at all gives no triangles and no complaint. */
            bool run(Winding winding, int vertexSize, const char* caller)
            {
                ran = true;
                if (tess != nullptr && tessTesselate(tess, winding, TESS_POLYGONS, 3, vertexSize, nullptr) == 1)
                    return true;
                if (tess != nullptr && ! added)
                    return false;
                logPrint(logError, "%s: the tessellation failed (out of memory or unusable coordinates)", caller);
                return false;
            }

            int vertexCount() const { return tessGetVertexCount(tess); }
            int triangleCount() const { return tessGetElementCount(tess); }
            const float* vertices() const { return tessGetVertices(tess); }
            const int* elements() const { return tessGetElements(tess); }

        private:
            std::unique_ptr<KeptTesselator> kept;
            Tesselator* tess = nullptr;
            bool added = false;
            bool ran = false;
        };

        Mesh2d toMesh2d(const Triangulation& t)
        {
            Mesh2d mesh;
            mesh.vertices.reserve(size_t(t.vertexCount()));
            for (int i = 0; i < t.vertexCount(); ++i)
                mesh.vertices.emplace_back(t.vertices()[i * 2], t.vertices()[i * 2 + 1]);
            mesh.indices.assign(t.elements(), t.elements() + size_t(t.triangleCount()) * 3);
            return mesh;
        }
    }

    Mesh2d triangulate(const TVec2<float>* points, int n, Winding winding)
    {
        if (n < 3 || points == nullptr)
            return {};
        Triangulation t;
        t.add(2, points, sizeof(TVec2<float>), n);
        if (! t.run(winding, 2, "triangulate"))
            return {};
        return toMesh2d(t);
    }

    Mesh2d triangulate(const Contour& contour, Winding winding, float s)
    {
        if (contour.getNumPoints() <= 2)
            return {};
        const std::vector<TVec2<float>> points = contour.subdivide(s);
        return triangulate(points.data(), int(points.size()), winding);
    }

    Mesh2d triangulate(const Shape& shape, Winding winding, float s)
    {
        if (shape.contours.empty())
            return {};
        Triangulation t;
        for (const Contour& contour : shape.contours)
        {
            if (contour.getNumPoints() < 3)
                continue;
            const std::vector<TVec2<float>> points = contour.subdivide(s);
            t.add(2, points.data(), sizeof(TVec2<float>), int(points.size()));
        }
        // A shape of nothing but short contours added none: no triangles, and
        // no error either.
        if (! t.run(winding, 2, "triangulate"))
            return {};
        return toMesh2d(t);
    }

    Mesh3d triangulate3d(const std::vector<TVec3<float>>& points, Winding winding)
    {
        if (points.size() < 3)
            return {};
        Triangulation t;
        t.add(3, points.data(), sizeof(TVec3<float>), int(points.size()));
        if (! t.run(winding, 3, "triangulate3d"))
            return {};
        Mesh3d mesh;
        for (int i = 0; i < t.vertexCount(); ++i)
            mesh.vertices.emplace_back(t.vertices()[i * 3], t.vertices()[i * 3 + 1], t.vertices()[i * 3 + 2]);
        mesh.indices.assign(t.elements(), t.elements() + size_t(t.triangleCount()) * 3);
        return mesh;
    }

    bool triangulate(Geometry* geometry, const TVec2<float>* points, int n, Winding winding)
    {
        if (geometry == nullptr || points == nullptr || n < 3)
            return false;
        Triangulation t;
        t.add(2, points, sizeof(TVec2<float>), n);
        const bool ok = t.run(winding, 3, "triangulate");
        geometry->release();
        if (! ok)
            return false;
        if (t.triangleCount() == 0)
            return true; // nothing inside: nothing to draw
        const VertexFormat format("POS3");
        if (geometry->addVertexBufferWithData(format, t.vertices(), t.vertexCount(), STREAM_DRAW) == nullptr ||
            geometry->createIndexBufferWithData(t.elements(), t.triangleCount() * 3, INDEX_32BIT, STREAM_DRAW) ==
                nullptr)
        {
            geometry->release();
            return false;
        }
        return true;
    }

} // namespace vx
