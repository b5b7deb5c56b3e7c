#include "engine/gfx/geometry/VXTess.h"

#include "engine/gfx/geometry/VXTessBucketAlloc.h"
#include "engine/gfx/geometry/VXTessGeom.h"
#include "engine/gfx/geometry/VXTessMesh.h"
#include "engine/gfx/geometry/VXTesselator.h"

#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
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

        void freeOutput(Tesselator* tess)
        {
            if (tess->vertices != nullptr)
                tess->alloc.free(tess->alloc.userData, tess->vertices);
            if (tess->elements != nullptr)
                tess->alloc.free(tess->alloc.userData, tess->elements);
            tess->vertices = nullptr;
            tess->elements = nullptr;
            tess->vertexCount = 0;
            tess->elementCount = 0;
        }

        void deleteMesh(Tesselator* tess)
        {
            if (tess->mesh != nullptr)
                tessMeshDeleteMesh(&tess->alloc, tess->mesh);
            tess->mesh = nullptr;
        }

        // An array of count items, null when out of memory or beyond what the
        // allocator's unsigned size can express.
        void* allocateArray(Tesselator* tess, uint64_t count, size_t itemSize)
        {
            const uint64_t bytes = (count == 0 ? 1 : count) * itemSize;
            if (count > UINT_MAX / itemSize || bytes > UINT_MAX)
                return nullptr;
            return tess->alloc.allocate(tess->alloc.userData, unsigned(bytes));
        }

        // Every coordinate finite and within tessMaxCoord.
        bool hasUsableCoordinates(const TessMesh* mesh)
        {
            for (const TessVertex* v = mesh->vHead.next; v != &mesh->vHead; v = v->next)
                for (float c : v->coords)
                    if (! (std::fabs(c) <= tessMaxCoord))
                        return false;
            return true;
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

        // The normal of the plane the points lie in (near enough): the largest
        // cross product of the longest extent with the vectors to every vertex.
        void computeNormal(Tesselator* tess, float norm[3])
        {
            TessVertex* vHead = &tess->mesh->vHead;
            TessVertex* first = vHead->next;
            float minVal[3], maxVal[3];
            TessVertex* minVert[3];
            TessVertex* maxVert[3];
            for (int i = 0; i < 3; ++i)
            {
                minVal[i] = maxVal[i] = first->coords[i];
                minVert[i] = maxVert[i] = first;
            }
            for (TessVertex* v = first; v != vHead; v = v->next)
                for (int i = 0; i < 3; ++i)
                {
                    const float c = v->coords[i];
                    if (c < minVal[i])
                    {
                        minVal[i] = c;
                        minVert[i] = v;
                    }
                    if (c > maxVal[i])
                    {
                        maxVal[i] = c;
                        maxVert[i] = v;
                    }
                }

            // The axis whose extremes lie farthest apart.
            int i = 0;
            if (maxVal[1] - minVal[1] > maxVal[0] - minVal[0])
                i = 1;
            if (maxVal[2] - minVal[2] > maxVal[i] - minVal[i])
                i = 2;
            if (minVal[i] >= maxVal[i])
            {
                // All points coincide: any normal does.
                norm[0] = 0.0f;
                norm[1] = 0.0f;
                norm[2] = 1.0f;
                return;
            }

            // The triangle of largest area with those two extremes (in double:
            // the products of large coordinates would overflow a float).
            const TessVertex* lo = minVert[i];
            const TessVertex* hi = maxVert[i];
            const double d1[3] = {double(lo->coords[0]) - hi->coords[0], double(lo->coords[1]) - hi->coords[1],
                                  double(lo->coords[2]) - hi->coords[2]};
            double maxLen2 = 0.0;
            double best[3] = {0.0, 0.0, 0.0};
            for (TessVertex* v = first; v != vHead; v = v->next)
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
            }
        }

    } // namespace

    void tessProjectPolygon(Tesselator* tess)
    {
        TessMesh* mesh = tess->mesh;
        float norm[3] = {tess->normal[0], tess->normal[1], tess->normal[2]};
        bool computedNormal = false;
        if (norm[0] == 0.0f && norm[1] == 0.0f && norm[2] == 0.0f)
        {
            computeNormal(tess, norm);
            computedNormal = true;
        }

        const int i = longAxis(norm);
        tess->sUnit[i] = 0.0f;
        tess->sUnit[(i + 1) % 3] = 1.0f;
        tess->sUnit[(i + 2) % 3] = 0.0f;
        tess->tUnit[i] = 0.0f;
        tess->tUnit[(i + 1) % 3] = norm[i] > 0.0f ? -0.0f : 0.0f;
        tess->tUnit[(i + 2) % 3] = norm[i] > 0.0f ? 1.0f : -1.0f;

        for (TessVertex* v = mesh->vHead.next; v != &mesh->vHead; v = v->next)
        {
            v->s = v->coords[0] * tess->sUnit[0] + v->coords[1] * tess->sUnit[1] + v->coords[2] * tess->sUnit[2];
            v->t = v->coords[0] * tess->tUnit[0] + v->coords[1] * tess->tUnit[1] + v->coords[2] * tess->tUnit[2];
        }
        if (computedNormal)
            checkOrientation(tess);

        bool first = true;
        for (TessVertex* v = mesh->vHead.next; v != &mesh->vHead; v = v->next)
        {
            if (first)
            {
                tess->bmin[0] = tess->bmax[0] = v->s;
                tess->bmin[1] = tess->bmax[1] = v->t;
                first = false;
                continue;
            }
            tess->bmin[0] = std::fmin(tess->bmin[0], v->s);
            tess->bmax[0] = std::fmax(tess->bmax[0], v->s);
            tess->bmin[1] = std::fmin(tess->bmin[1], v->t);
            tess->bmax[1] = std::fmax(tess->bmax[1], v->t);
        }
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

            for (TessVertex* v = mesh->vHead.next; v != &mesh->vHead; v = v->next)
                v->n = tessUndef;

            int faceCount = 0;
            int vertexCount = 0;
            for (TessFace* f = mesh->fHead.next; f != &mesh->fHead; f = f->next)
            {
                f->n = tessUndef;
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
            int* elements = static_cast<int*>(allocateArray(tess, elementSlots, sizeof(int)));
            float* vertices =
                static_cast<float*>(allocateArray(tess, uint64_t(vertexCount) * uint64_t(vertexSize), sizeof(float)));
            if (elements == nullptr || vertices == nullptr)
            {
                if (elements != nullptr)
                    tess->alloc.free(tess->alloc.userData, elements);
                if (vertices != nullptr)
                    tess->alloc.free(tess->alloc.userData, vertices);
                return false;
            }

            for (TessVertex* v = mesh->vHead.next; v != &mesh->vHead; v = v->next)
                if (v->n != tessUndef)
                {
                    float* vert = &vertices[size_t(v->n) * size_t(vertexSize)];
                    vert[0] = v->coords[0];
                    vert[1] = v->coords[1];
                    if (vertexSize > 2)
                        vert[2] = v->coords[2];
                }

            int* out = elements;
            for (TessFace* f = mesh->fHead.next; f != &mesh->fHead; f = f->next)
            {
                if (! f->inside)
                    continue;
                const TessHalfEdge* edge = f->anEdge;
                int faceVerts = 0;
                do
                {
                    *out++ = edge->org->n;
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

            int* elements = static_cast<int*>(allocateArray(tess, uint64_t(loopCount) * 2u, sizeof(int)));
            float* vertices =
                static_cast<float*>(allocateArray(tess, vertexCount * uint64_t(vertexSize), sizeof(float)));
            if (elements == nullptr || vertices == nullptr)
            {
                if (elements != nullptr)
                    tess->alloc.free(tess->alloc.userData, elements);
                if (vertices != nullptr)
                    tess->alloc.free(tess->alloc.userData, vertices);
                return false;
            }

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

    //==============================================================================
    Tesselator* tessNewTess(const TessAllocator* alloc)
    {
        TessAllocator record = alloc != nullptr ? *alloc : defaultAllocator();
        if (record.allocate == nullptr || record.free == nullptr)
            return nullptr;

        void* memory = record.allocate(record.userData, sizeof(Tesselator));
        if (memory == nullptr)
            return nullptr;
        auto* tess = new (memory) Tesselator();
        tess->alloc = record;

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
        TessAllocator alloc = tess->alloc;
        tessAbandonSweep(tess);
        if (tess->regionPool != nullptr)
            deleteBucketAlloc(tess->regionPool);
        deleteMesh(tess);
        freeOutput(tess);
        tess->~Tesselator();
        alloc.free(alloc.userData, tess);
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
        freeOutput(tess);
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
                             elementType > TESS_BOUNDARY_CONTOURS || ! hasUsableCoordinates(tess->mesh);
        tess->outOfMemory = false;
        tess->badInput = false;
        if (refused)
        {
            deleteMesh(tess);
            return 0;
        }

        bool ok = false;
        try
        {
            tessProjectPolygon(tess);
            if (tessComputeInterior(tess))
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
            tessAbandonSweep(tess);
            ok = false;
        }

        // A mesh left half-swept cannot be swept again: it goes either way.
        deleteMesh(tess);
        if (! ok)
        {
            freeOutput(tess);
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
