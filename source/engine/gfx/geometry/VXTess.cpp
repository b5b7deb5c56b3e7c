#include "engine/gfx/geometry/VXTess.h"

#include "engine/gfx/geometry/VXTessBucketAlloc.h"
#include "engine/gfx/geometry/VXTessDict.h"
#include "engine/gfx/geometry/VXTessGeom.h"
#include "engine/gfx/geometry/VXTessMesh.h"
#include "engine/gfx/geometry/VXTessPriorityQ.h"
#include "engine/gfx/geometry/VXTesselator.h"

#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <new>

namespace vx
{

    namespace
    {
        void* heapAlloc(void*, unsigned int size)
        {
            return std::malloc(size);
        }
        void* heapRealloc(void*, void* pointer, unsigned int size)
        {
            return std::realloc(pointer, size);
        }
        void heapFree(void*, void* pointer)
        {
            std::free(pointer);
        }

        TessAllocator defaultAllocator()
        {
            TessAllocator alloc;
            alloc.allocate = &heapAlloc;
            alloc.reallocate = &heapRealloc;
            alloc.free = &heapFree;
            return alloc;
        }

        void noCombine(const float*, const float*)
        {
        }

        // The output reads as empty; its arrays are kept for the next one.
        void clearOutput(Tesselator* tess)
        {
            tess->vertices = nullptr;
            tess->elements = nullptr;
            tess->vertexCount = 0;
            tess->elementCount = 0;
        }

        void releaseBuffer(Tesselator* tess, TessBuffer& buffer)
        {
            if (buffer.data != nullptr)
                tess->alloc.free(tess->alloc.userData, buffer.data);
            buffer = {};
        }

        // Room for count items in the buffer, reusing it when large enough.
        // Null when out of memory or beyond what the allocator's unsigned size
        // can express.
        void* reserve(Tesselator* tess, TessBuffer& buffer, uint64_t count, size_t itemSize)
        {
            const uint64_t bytes = (count == 0 ? 1 : count) * itemSize;
            if (count > UINT_MAX / itemSize || bytes > UINT_MAX)
                return nullptr;
            if (buffer.data != nullptr && buffer.bytes >= bytes)
                return buffer.data;
            releaseBuffer(tess, buffer);
            buffer.data = tess->alloc.allocate(tess->alloc.userData, unsigned(bytes));
            if (buffer.data != nullptr)
                buffer.bytes = unsigned(bytes);
            return buffer.data;
        }

        // The contours are used up: the mesh is emptied when the next contour
        // comes, keeping its buckets.
        void retireMesh(Tesselator* tess)
        {
            if (tess->mesh == nullptr)
                return;
            if (tess->spareMesh == nullptr)
                tess->spareMesh = tess->mesh;
            else
                tessMeshDeleteMesh(&tess->alloc, tess->mesh);
            tess->mesh = nullptr;
        }

        bool isUsable(float coordinate)
        {
            return std::fabs(coordinate) <= tessMaxCoord; // false for NaN
        }

        int longAxis(const float v[3])
        {
            int i = 0;
            if (std::fabs(v[1]) > std::fabs(v[0]))
                i = 1;
            if (std::fabs(v[2]) > std::fabs(v[i]))
                i = 2;
            return i;
        }

        // The vertices with the smallest and largest coordinate on each axis.
        struct Extremes
        {
            float minVal[3], maxVal[3];
            const TessVertex* minVert[3];
            const TessVertex* maxVert[3];
        };

        // Finds the extremes in the same pass that checks every coordinate;
        // false when one is unusable.
        bool findExtremes(const TessMesh* mesh, Extremes& x)
        {
            const TessVertex* first = mesh->vHead.next;
            for (int i = 0; i < 3; ++i)
            {
                x.minVal[i] = x.maxVal[i] = first->coords[i];
                x.minVert[i] = x.maxVert[i] = first;
            }
            bool usable = true;
            for (const TessVertex* v = first; v != &mesh->vHead; v = v->next)
                for (int i = 0; i < 3; ++i)
                {
                    const float c = v->coords[i];
                    usable = usable && isUsable(c);
                    if (c < x.minVal[i])
                    {
                        x.minVal[i] = c;
                        x.minVert[i] = v;
                    }
                    if (c > x.maxVal[i])
                    {
                        x.maxVal[i] = c;
                        x.maxVert[i] = v;
                    }
                }
            return usable;
        }

        // The normal of the plane the points lie in (near enough): the largest
        // cross product of the longest extent with the vectors to every vertex.
        void computeNormal(const TessMesh* mesh, const Extremes& x, float norm[3])
        {
            // The axis whose extremes lie farthest apart.
            int i = 0;
            if (x.maxVal[1] - x.minVal[1] > x.maxVal[0] - x.minVal[0])
                i = 1;
            if (x.maxVal[2] - x.minVal[2] > x.maxVal[i] - x.minVal[i])
                i = 2;
            if (x.minVal[i] >= x.maxVal[i])
            {
                // All points coincide: any normal does.
                norm[0] = 0.0f;
                norm[1] = 0.0f;
                norm[2] = 1.0f;
                return;
            }

            // The triangle of largest area with those two extremes (in double:
            // the products of large coordinates would overflow a float).
            const TessVertex* lo = x.minVert[i];
            const TessVertex* hi = x.maxVert[i];
            const double d1[3] = {double(lo->coords[0]) - hi->coords[0], double(lo->coords[1]) - hi->coords[1],
                                  double(lo->coords[2]) - hi->coords[2]};
            double maxLen2 = 0.0;
            double best[3] = {0.0, 0.0, 0.0};
            for (const TessVertex* v = mesh->vHead.next; v != &mesh->vHead; v = v->next)
            {
                const double d2[3] = {double(v->coords[0]) - hi->coords[0], double(v->coords[1]) - hi->coords[1],
                                      double(v->coords[2]) - hi->coords[2]};
                const double n[3] = {d1[1] * d2[2] - d1[2] * d2[1], d1[2] * d2[0] - d1[0] * d2[2],
                                     d1[0] * d2[1] - d1[1] * d2[0]};
                const double len2 = n[0] * n[0] + n[1] * n[1] + n[2] * n[2];
                if (len2 > maxLen2)
                {
                    maxLen2 = len2;
                    best[0] = n[0];
                    best[1] = n[1];
                    best[2] = n[2];
                }
            }
            if (maxLen2 <= 0.0)
            {
                // All points on one line: the unit vector of its longest axis.
                const float d[3] = {float(d1[0]), float(d1[1]), float(d1[2])};
                norm[0] = norm[1] = norm[2] = 0.0f;
                norm[longAxis(d)] = 1.0f;
                return;
            }
            // Only the direction matters; scale it into float range.
            const double scale = 1.0 / std::sqrt(maxLen2);
            norm[0] = float(best[0] * scale);
            norm[1] = float(best[1] * scale);
            norm[2] = float(best[2] * scale);
        }

        // Makes the contours' total signed area positive: counter-clockwise
        // contours then add +1 to the winding number.
        void checkOrientation(Tesselator* tess)
        {
            TessMesh* mesh = tess->mesh;
            double area = 0.0;
            for (TessFace* f = mesh->fHead.next; f != &mesh->fHead; f = f->next)
            {
                TessHalfEdge* e = f->anEdge;
                if (e->winding <= 0)
                    continue;
                do
                {
                    area += (double(e->org->s) - dst(e)->s) * (double(e->org->t) + dst(e)->t);
                    e = e->lnext;
                } while (e != f->anEdge);
            }
            if (area < 0.0)
            {
                for (TessVertex* v = mesh->vHead.next; v != &mesh->vHead; v = v->next)
                    v->t = -v->t;
                tess->tUnit[0] = -tess->tUnit[0];
                tess->tUnit[1] = -tess->tUnit[1];
                tess->tUnit[2] = -tess->tUnit[2];
                const float tMin = tess->bmin[1];
                tess->bmin[1] = -tess->bmax[1];
                tess->bmax[1] = -tMin;
            }
        }

    } // namespace

    bool tessProjectPolygon(Tesselator* tess)
    {
        TessMesh* mesh = tess->mesh;
        float norm[3] = {tess->normal[0], tess->normal[1], tess->normal[2]};
        const bool computedNormal = norm[0] == 0.0f && norm[1] == 0.0f && norm[2] == 0.0f;
        if (computedNormal)
        {
            Extremes extremes;
            if (! findExtremes(mesh, extremes))
                return false;
            computeNormal(mesh, extremes, norm);
        }

        const int i = longAxis(norm);
        tess->sUnit[i] = 0.0f;
        tess->sUnit[(i + 1) % 3] = 1.0f;
        tess->sUnit[(i + 2) % 3] = 0.0f;
        tess->tUnit[i] = 0.0f;
        tess->tUnit[(i + 1) % 3] = norm[i] > 0.0f ? -0.0f : 0.0f;
        tess->tUnit[(i + 2) % 3] = norm[i] > 0.0f ? 1.0f : -1.0f;

        // Projection and bounds in one pass; with a given normal the
        // coordinates are checked here too.
        const float* sUnit = tess->sUnit;
        const float* tUnit = tess->tUnit;
        const TessVertex* first = mesh->vHead.next;
        float sMin = first->coords[0] * sUnit[0] + first->coords[1] * sUnit[1] + first->coords[2] * sUnit[2];
        float tMin = first->coords[0] * tUnit[0] + first->coords[1] * tUnit[1] + first->coords[2] * tUnit[2];
        float sMax = sMin;
        float tMax = tMin;
        bool usable = true;
        for (TessVertex* v = mesh->vHead.next; v != &mesh->vHead; v = v->next)
        {
            const float* c = v->coords;
            if (! computedNormal)
                usable = usable && isUsable(c[0]) && isUsable(c[1]) && isUsable(c[2]);
            const float s = c[0] * sUnit[0] + c[1] * sUnit[1] + c[2] * sUnit[2];
            const float t = c[0] * tUnit[0] + c[1] * tUnit[1] + c[2] * tUnit[2];
            v->s = s;
            v->t = t;
            sMin = s < sMin ? s : sMin;
            sMax = s > sMax ? s : sMax;
            tMin = t < tMin ? t : tMin;
            tMax = t > tMax ? t : tMax;
        }
        if (! usable)
            return false;
        tess->bmin[0] = sMin;
        tess->bmax[0] = sMax;
        tess->bmin[1] = tMin;
        tess->bmax[1] = tMax;

        if (computedNormal)
            checkOrientation(tess);
        return true;
    }

    namespace
    {

        int neighbourFace(const TessHalfEdge* edge)
        {
            const TessFace* f = rface(edge);
            if (f == nullptr || ! f->inside)
                return tessUndef;
            return f->n;
        }

        // Per inside face its vertex numbers (and with connected polygons its
        // neighbours), vertices numbered in first-visit order.
        bool outputPolymesh(Tesselator* tess, TessMesh* mesh, int elementType, int polySize, int vertexSize)
        {
            if (polySize > 3 && ! tessMeshMergeConvexFaces(mesh, polySize))
                return false;

            // Vertices are made unnumbered; number those of the inside faces.
            int faceCount = 0;
            int vertexCount = 0;
            for (TessFace* f = mesh->fHead.next; f != &mesh->fHead; f = f->next)
            {
                if (! f->inside)
                    continue;
                const TessHalfEdge* edge = f->anEdge;
                int faceVerts = 0;
                do
                {
                    TessVertex* v = edge->org;
                    if (v->n == tessUndef)
                        v->n = vertexCount++;
                    ++faceVerts;
                    edge = edge->lnext;
                } while (edge != f->anEdge);
                if (faceVerts > polySize)
                    throw TessFailure{}; // the mesh is not what it should be
                f->n = faceCount++;
            }

            const uint64_t elementSlots =
                uint64_t(faceCount) * uint64_t(polySize) * (elementType == TESS_CONNECTED_POLYGONS ? 2u : 1u);
            auto* elements = static_cast<int*>(reserve(tess, tess->elementBuffer, elementSlots, sizeof(int)));
            auto* vertices = static_cast<float*>(
                reserve(tess, tess->vertexBuffer, uint64_t(vertexCount) * uint64_t(vertexSize), sizeof(float)));
            if (elements == nullptr || vertices == nullptr)
                return false;

            // The same walk again meets the vertices in the order they were
            // numbered: each one's coordinates go out at its first visit.
            int* out = elements;
            float* vert = vertices;
            int written = 0;
            for (TessFace* f = mesh->fHead.next; f != &mesh->fHead; f = f->next)
            {
                if (! f->inside)
                    continue;
                const TessHalfEdge* edge = f->anEdge;
                int faceVerts = 0;
                do
                {
                    const TessVertex* v = edge->org;
                    if (v->n == written)
                    {
                        vert[0] = v->coords[0];
                        vert[1] = v->coords[1];
                        if (vertexSize > 2)
                            vert[2] = v->coords[2];
                        vert += vertexSize;
                        ++written;
                    }
                    *out++ = v->n;
                    ++faceVerts;
                    edge = edge->lnext;
                } while (edge != f->anEdge);
                for (int i = faceVerts; i < polySize; ++i)
                    *out++ = tessUndef;

                if (elementType == TESS_CONNECTED_POLYGONS)
                {
                    edge = f->anEdge;
                    do
                    {
                        *out++ = neighbourFace(edge);
                        edge = edge->lnext;
                    } while (edge != f->anEdge);
                    for (int i = faceVerts; i < polySize; ++i)
                        *out++ = tessUndef;
                }
            }

            tess->elements = elements;
            tess->elementCount = faceCount;
            tess->vertices = vertices;
            tess->vertexCount = vertexCount;
            return true;
        }

        // Per boundary loop (first vertex, count), the loops' vertices in order.
        bool outputContours(Tesselator* tess, TessMesh* mesh, int vertexSize)
        {
            uint64_t vertexCount = 0;
            int loopCount = 0;
            for (TessFace* f = mesh->fHead.next; f != &mesh->fHead; f = f->next)
            {
                if (! f->inside)
                    continue;
                const TessHalfEdge* edge = f->anEdge;
                do
                {
                    ++vertexCount;
                    edge = edge->lnext;
                } while (edge != f->anEdge);
                ++loopCount;
            }
            if (vertexCount > uint64_t(INT_MAX))
                return false;

            auto* elements =
                static_cast<int*>(reserve(tess, tess->elementBuffer, uint64_t(loopCount) * 2u, sizeof(int)));
            auto* vertices = static_cast<float*>(
                reserve(tess, tess->vertexBuffer, vertexCount * uint64_t(vertexSize), sizeof(float)));
            if (elements == nullptr || vertices == nullptr)
                return false;

            float* verts = vertices;
            int* out = elements;
            int startVert = 0;
            for (TessFace* f = mesh->fHead.next; f != &mesh->fHead; f = f->next)
            {
                if (! f->inside)
                    continue;
                int vertCount = 0;
                const TessHalfEdge* edge = f->anEdge;
                do
                {
                    *verts++ = edge->org->coords[0];
                    *verts++ = edge->org->coords[1];
                    if (vertexSize > 2)
                        *verts++ = edge->org->coords[2];
                    ++vertCount;
                    edge = edge->lnext;
                } while (edge != f->anEdge);
                out[0] = startVert;
                out[1] = vertCount;
                out += 2;
                startVert += vertCount;
            }

            tess->elements = elements;
            tess->elementCount = loopCount;
            tess->vertices = vertices;
            tess->vertexCount = int(vertexCount);
            return true;
        }
    } // namespace

    namespace
    {
        uint64_t meshBytes(const TessMesh* mesh)
        {
            if (mesh == nullptr)
                return 0;
            return sizeof(TessMesh) + bucketBytes(mesh->edgeBucket) + bucketBytes(mesh->vertexBucket) +
                   bucketBytes(mesh->faceBucket);
        }

        // What a tessellator holds from its allocator record.
        uint64_t keptBytes(const Tesselator* tess)
        {
            uint64_t bytes = sizeof(Tesselator) + meshBytes(tess->mesh) + meshBytes(tess->spareMesh) +
                             tess->vertexBuffer.bytes + tess->elementBuffer.bytes;
            if (tess->regionPool != nullptr)
                bytes += bucketBytes(tess->regionPool);
            if (tess->dict != nullptr)
                bytes += sizeof(Dict) + bucketBytes(tess->dict->nodePool);
            if (tess->pq != nullptr)
                bytes += pqBytes(tess->pq);
            return bytes;
        }

        void destroy(Tesselator* tess)
        {
            TessAllocator alloc = tess->alloc;
            tessReleaseSweep(tess);
            if (tess->regionPool != nullptr)
                deleteBucketAlloc(tess->regionPool);
            if (tess->mesh != nullptr)
                tessMeshDeleteMesh(&tess->alloc, tess->mesh);
            if (tess->spareMesh != nullptr)
                tessMeshDeleteMesh(&tess->alloc, tess->spareMesh);
            releaseBuffer(tess, tess->vertexBuffer);
            releaseBuffer(tess, tess->elementBuffer);
            tess->~Tesselator();
            alloc.free(alloc.userData, tess);
        }

        // A tessellator deleted on the default allocator waits here for the
        // next tessNewTess(nullptr). Freed, a large tessellation's memory goes
        // back to the system (the C heap trims its top), and the next one
        // faults every page in again: with a new tessellator per polygon that
        // took as long as the tessellation itself. One waits at a time, and
        // none holding more than parkedBytesMax. Constant-initialised, so it
        // is made before and destroyed after every dynamically initialised
        // object that may make or delete a tessellator.
        constexpr uint64_t parkedBytesMax = uint64_t(16) << 20;

        struct ParkedTesselator
        {
            ~ParkedTesselator()
            {
                const std::lock_guard<std::mutex> hold(lock);
                if (tess != nullptr)
                    destroy(tess);
                tess = nullptr;
            }

            std::mutex lock;
            Tesselator* tess = nullptr;
        };

        constinit ParkedTesselator parked;

        Tesselator* takeParked()
        {
            const std::lock_guard<std::mutex> hold(parked.lock);
            Tesselator* tess = parked.tess;
            parked.tess = nullptr;
            return tess;
        }

        // Empties the tessellator as tessNewTess leaves a new one and parks
        // it; false when it is to be destroyed instead.
        bool park(Tesselator* tess)
        {
            retireMesh(tess); // contours never tessellated are dropped
            clearOutput(tess);
            tess->outOfMemory = false;
            tess->badInput = false;
            tess->normal[0] = tess->normal[1] = tess->normal[2] = 0.0f;
            tess->windingRule = TESS_WINDING_ODD;
            if (keptBytes(tess) > parkedBytesMax)
                return false;
            const std::lock_guard<std::mutex> hold(parked.lock);
            if (parked.tess != nullptr)
                return false;
            parked.tess = tess;
            return true;
        }
    } // namespace

    //==============================================================================
    Tesselator* tessNewTess(const TessAllocator* alloc)
    {
        if (alloc == nullptr)
            if (Tesselator* tess = takeParked())
                return tess;
        TessAllocator record = alloc != nullptr ? *alloc : defaultAllocator();
        if (record.allocate == nullptr || record.free == nullptr)
            return nullptr;

        void* memory = record.allocate(record.userData, sizeof(Tesselator));
        if (memory == nullptr)
            return nullptr;
        auto* tess = new (memory) Tesselator();
        tess->alloc = record;
        tess->parkable = alloc == nullptr;

        // Zero sizes take the defaults; the mesh and dictionary sizes are
        // clamped where those are made.
        tess->alloc.meshEdgeBucketSize = clampBucketSize(tess->alloc.meshEdgeBucketSize, 512);
        tess->alloc.meshVertexBucketSize = clampBucketSize(tess->alloc.meshVertexBucketSize, 512);
        tess->alloc.meshFaceBucketSize = clampBucketSize(tess->alloc.meshFaceBucketSize, 256);
        tess->alloc.dictNodeBucketSize = clampBucketSize(tess->alloc.dictNodeBucketSize, 512);
        tess->alloc.regionBucketSize = clampBucketSize(tess->alloc.regionBucketSize, 256);
        tess->combine = &noCombine;

        tess->regionPool =
            createBucketAlloc(&tess->alloc, "Regions", sizeof(ActiveRegion), unsigned(tess->alloc.regionBucketSize));
        if (tess->regionPool == nullptr)
        {
            tess->~Tesselator();
            record.free(record.userData, memory);
            return nullptr;
        }
        return tess;
    }

    void tessDeleteTess(Tesselator* tess)
    {
        if (tess == nullptr)
            return;
        if (tess->parkable && park(tess))
            return;
        destroy(tess);
    }

    void tessAddContour(Tesselator* tess, int size, const void* pointer, int stride, int count)
    {
        if (count < 1)
            return;
        if (pointer == nullptr)
        {
            tess->badInput = true;
            return;
        }
        if (tess->mesh == nullptr && tess->spareMesh != nullptr)
        {
            tessMeshReset(tess->spareMesh);
            tess->mesh = tess->spareMesh;
            tess->spareMesh = nullptr;
            tess->reused = true;
        }
        if (tess->mesh == nullptr)
        {
            tess->mesh = tessMeshNewMesh(&tess->alloc);
            if (tess->mesh == nullptr)
            {
                tess->outOfMemory = true;
                return;
            }
        }
        size = size < 2 ? 2 : (size > 3 ? 3 : size);

        TessHalfEdge* e = nullptr;
        for (int i = 0; i < count; ++i)
        {
            const float* coords =
                reinterpret_cast<const float*>(static_cast<const char*>(pointer) + std::ptrdiff_t(i) * stride);
            if (e == nullptr)
            {
                // A self-loop: one vertex, one edge.
                e = tessMeshMakeEdge(tess->mesh);
                if (e == nullptr || ! tessMeshSplice(tess->mesh, e, e->sym))
                {
                    tess->outOfMemory = true;
                    return;
                }
            }
            else
            {
                // A new vertex and edge right after e around the left face.
                if (tessMeshSplitEdge(tess->mesh, e) == nullptr)
                {
                    tess->outOfMemory = true;
                    return;
                }
                e = e->lnext;
            }

            // The new vertex is e->org.
            e->org->coords[0] = coords[0];
            e->org->coords[1] = coords[1];
            e->org->coords[2] = size > 2 ? coords[2] : 0.0f;

            // The winding says how the winding number changes crossing from the
            // edge's right face to its left: a counter-clockwise contour adds +1
            // to the region inside it.
            e->winding = 1;
            e->sym->winding = -1;
        }
    }

    int tessTesselate(Tesselator* tess, int windingRule, int elementType, int polySize, int vertexSize,
                      const float* normal)
    {
        clearOutput(tess);
        if (normal != nullptr)
        {
            tess->normal[0] = normal[0];
            tess->normal[1] = normal[1];
            tess->normal[2] = normal[2];
        }
        tess->windingRule = windingRule;
        vertexSize = vertexSize < 2 ? 2 : (vertexSize > 3 ? 3 : vertexSize);

        // The contours are used up whatever happens.
        const bool refused = tess->outOfMemory || tess->badInput || tess->mesh == nullptr ||
                             (elementType != TESS_BOUNDARY_CONTOURS && polySize < 3) || elementType < 0 ||
                             elementType > TESS_BOUNDARY_CONTOURS;
        tess->outOfMemory = false;
        tess->badInput = false;
        if (refused)
        {
            retireMesh(tess);
            return 0;
        }

        bool ok = false;
        try
        {
            // Unusable coordinates fail here, before the sweep.
            if (tessProjectPolygon(tess) && tessComputeInterior(tess))
            {
                TessMesh* mesh = tess->mesh;
                if (elementType == TESS_BOUNDARY_CONTOURS)
                    ok = tessMeshSetWindingNumber(mesh, 1, true) != 0 && outputContours(tess, mesh, vertexSize);
                else
                    ok = tessMeshTessellateInterior(mesh) != 0 &&
                         outputPolymesh(tess, mesh, elementType, polySize, vertexSize);
            }
        }
        catch (const TessFailure&)
        {
            tessReleaseSweep(tess);
            ok = false;
        }

        // A mesh left half-swept cannot be swept again: it goes either way.
        retireMesh(tess);
        if (! ok)
        {
            clearOutput(tess);
            return 0;
        }
        return 1;
    }

    int tessGetVertexCount(const Tesselator* tess)
    {
        return tess->vertexCount;
    }
    const float* tessGetVertices(const Tesselator* tess)
    {
        return tess->vertices;
    }
    int tessGetElementCount(const Tesselator* tess)
    {
        return tess->elementCount;
    }
    const int* tessGetElements(const Tesselator* tess)
    {
        return tess->elements;
    }

} // namespace vx
