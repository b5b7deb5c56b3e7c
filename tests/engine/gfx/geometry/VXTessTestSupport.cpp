#include "VXTessTestSupport.h"

#include "engine/gfx/geometry/VXTessMesh.h"

#include <GL/glu.h>

#include <cmath>
#include <cstdlib>
#include <deque>
#include <set>
#include <sstream>

namespace vx::test
{

    namespace
    {
        // Walks one vertex ring or face loop, checking the navigation
        // identities of every half-edge on it. Fails on a ring longer than
        // limit (a broken cycle).
        std::string checkHalfEdge(const TessHalfEdge* e)
        {
            if (e->sym == e)
                return "a half-edge is its own partner";
            if (e->sym->sym != e)
                return "partner of the partner is not the half-edge";
            if (e->lnext == nullptr || e->onext == nullptr)
                return "missing next link";
            if (e->lnext->onext->sym != e)
                return "lnext and onext disagree (lnext->onext->sym)";
            if (e->onext->sym->lnext != e)
                return "lnext and onext disagree (onext->sym->lnext)";
            if (e->org == nullptr || e->sym->org == nullptr)
                return "half-edge without origin or destination";
            return {};
        }
    }

    std::string checkMesh(const TessMesh* mesh)
    {
        std::set<const TessVertex*> vertices;
        std::set<const TessFace*> faces;
        std::set<const TessHalfEdge*> halfEdges;

        // Edge list: circular through e->next, backwards through the partners.
        const TessHalfEdge* eHead = &mesh->eHead.e;
        const TessHalfEdge* ePrev = eHead;
        for (const TessHalfEdge* e = ePrev->next; e != eHead; ePrev = e, e = e->next)
        {
            if (halfEdges.size() > 10000000)
                return "edge list does not close";
            if (e->sym->next != ePrev->sym)
                return "edge list backward link broken";
            if (auto problem = checkHalfEdge(e); ! problem.empty())
                return problem;
            halfEdges.insert(e);
            halfEdges.insert(e->sym);
        }
        if (eHead->sym->next != ePrev->sym || eHead->org != nullptr || eHead->lface != nullptr ||
            eHead->sym->org != nullptr || eHead->sym->lface != nullptr)
            return "edge head disturbed";
        const size_t limit = halfEdges.size() + 1;

        // Vertex list and rings.
        size_t ringTotal = 0;
        const TessVertex* vPrev = &mesh->vHead;
        for (const TessVertex* v = vPrev->next; v != &mesh->vHead; vPrev = v, v = v->next)
        {
            if (v->prev != vPrev)
                return "vertex list backward link broken";
            if (! vertices.insert(v).second)
                return "vertex list does not close";
            const TessHalfEdge* e = v->anEdge;
            if (e == nullptr)
                return "vertex without edge";
            size_t n = 0;
            do
            {
                if (++n > limit)
                    return "vertex ring does not close";
                if (! halfEdges.count(e))
                    return "vertex ring reaches an edge not in the edge list";
                if (e->org != v)
                    return "edge in a vertex ring has another origin";
                e = e->onext;
            } while (e != v->anEdge);
            ringTotal += n;
        }
        if (mesh->vHead.prev != vPrev || mesh->vHead.anEdge != nullptr)
            return "vertex head disturbed";
        if (ringTotal != halfEdges.size())
            return "vertex rings do not cover every half-edge once";

        // Face list and loops.
        size_t loopTotal = 0;
        const TessFace* fPrev = &mesh->fHead;
        for (const TessFace* f = fPrev->next; f != &mesh->fHead; fPrev = f, f = f->next)
        {
            if (f->prev != fPrev)
                return "face list backward link broken";
            if (! faces.insert(f).second)
                return "face list does not close";
            const TessHalfEdge* e = f->anEdge;
            if (e == nullptr)
                return "face without edge";
            size_t n = 0;
            do
            {
                if (++n > limit)
                    return "face loop does not close";
                if (e->lface != f)
                    return "edge in a face loop has another left face";
                e = e->lnext;
            } while (e != f->anEdge);
            loopTotal += n;
        }
        if (mesh->fHead.prev != fPrev || mesh->fHead.anEdge != nullptr)
            return "face head disturbed";

        size_t withoutFace = 0;
        for (const TessHalfEdge* e : halfEdges)
        {
            if (! vertices.count(e->org))
                return "origin not in the vertex list";
            if (e->lface == nullptr)
                ++withoutFace;
            else if (! faces.count(e->lface))
                return "left face not in the face list";
        }
        if (loopTotal + withoutFace != halfEdges.size())
            return "face loops do not cover every half-edge with a face once";
        return {};
    }

    //==============================================================================
    CountingAllocator::CountingAllocator(bool withRealloc)
    {
        record.userData = this;
        record.allocate = [](void* self, unsigned int size) -> void*
        {
            auto* a = static_cast<CountingAllocator*>(self);
            if (a->calls++ == a->failAt)
                return nullptr;
            void* p = std::malloc(size);
            if (p != nullptr)
                ++a->live;
            return p;
        };
        if (withRealloc)
            record.reallocate = [](void* self, void* pointer, unsigned int size) -> void*
            {
                auto* a = static_cast<CountingAllocator*>(self);
                if (a->calls++ == a->failAt)
                    return nullptr;
                return std::realloc(pointer, size);
            };
        record.free = [](void* self, void* pointer)
        {
            if (pointer != nullptr)
                --static_cast<CountingAllocator*>(self)->live;
            std::free(pointer);
        };
    }

    //==============================================================================
    int windingNumber(const Contours& contours, double x, double y)
    {
        int w = 0;
        for (const auto& c : contours)
            for (size_t i = 0; i < c.size(); ++i)
            {
                const auto& a = c[i];
                const auto& b = c[(i + 1) % c.size()];
                const double ax = a[0], ay = a[1], bx = b[0], by = b[1];
                const double cross = (bx - ax) * (y - ay) - (x - ax) * (by - ay);
                if (ay <= y && by > y && cross > 0)
                    ++w;
                else if (ay > y && by <= y && cross < 0)
                    --w;
            }
        return w;
    }

    bool isInsideByRule(int n, int rule)
    {
        switch (rule)
        {
            case TESS_WINDING_ODD:
                return (n & 1) != 0;
            case TESS_WINDING_NONZERO:
                return n != 0;
            case TESS_WINDING_POSITIVE:
                return n > 0;
            case TESS_WINDING_NEGATIVE:
                return n < 0;
            case TESS_WINDING_ABS_GEQ_TWO:
                return std::abs(n) >= 2;
            default:
                return false;
        }
    }

    double signedArea(const Contours& contours)
    {
        double area = 0.0;
        for (const auto& c : contours)
            for (size_t i = 0; i < c.size(); ++i)
            {
                const auto& a = c[i];
                const auto& b = c[(i + 1) % c.size()];
                area += double(a[0]) * b[1] - double(b[0]) * a[1];
            }
        return area / 2.0;
    }

    double distanceToOutline(const Contours& contours, double x, double y)
    {
        double best = INFINITY;
        for (const auto& c : contours)
            for (size_t i = 0; i < c.size(); ++i)
            {
                const double ax = c[i][0], ay = c[i][1];
                const double bx = c[(i + 1) % c.size()][0], by = c[(i + 1) % c.size()][1];
                const double ex = bx - ax, ey = by - ay;
                const double len2 = ex * ex + ey * ey;
                double u = len2 > 0 ? ((x - ax) * ex + (y - ay) * ey) / len2 : 0.0;
                u = std::fmin(1.0, std::fmax(0.0, u));
                best = std::fmin(best, std::hypot(x - (ax + u * ex), y - (ay + u * ey)));
            }
        return best;
    }

    //==============================================================================
    double totalArea(const std::vector<Triangle>& triangles)
    {
        double area = 0.0;
        for (const auto& t : triangles)
            area += std::fabs((t.b[0] - t.a[0]) * (t.c[1] - t.a[1]) - (t.c[0] - t.a[0]) * (t.b[1] - t.a[1])) / 2.0;
        return area;
    }

    std::vector<Triangle> tessTriangles(const Contours& contours, int rule, bool* ok)
    {
        Tesselator* tess = tessNewTess(nullptr);
        for (const auto& c : contours)
            tessAddContour(tess, 2, c.data(), sizeof(Point), int(c.size()));
        const int answer = tessTesselate(tess, rule, TESS_POLYGONS, 3, 2, nullptr);
        if (ok != nullptr)
            *ok = answer == 1;
        std::vector<Triangle> triangles;
        const float* v = tessGetVertices(tess);
        const int* e = tessGetElements(tess);
        for (int i = 0; i < tessGetElementCount(tess); ++i)
        {
            const int* t = e + i * 3;
            triangles.push_back(
                {{v[t[0] * 2], v[t[0] * 2 + 1]}, {v[t[1] * 2], v[t[1] * 2 + 1]}, {v[t[2] * 2], v[t[2] * 2 + 1]}});
        }
        tessDeleteTess(tess);
        return triangles;
    }

    //==============================================================================
    namespace
    {
        constexpr double twoPi = 6.283185307179586;

        Contour2 randomStarShaped(std::mt19937& random, float cx, float cy, float radius, int n, bool clockwise,
                                  bool snap)
        {
            std::uniform_real_distribution<float> r(0.3f * radius, radius);
            Contour2 c;
            for (int i = 0; i < n; ++i)
            {
                const double a = twoPi * (clockwise ? n - i : i) / n;
                const float rr = r(random);
                float x = cx + float(std::cos(a) * rr);
                float y = cy + float(std::sin(a) * rr);
                if (snap)
                {
                    x = std::round(x);
                    y = std::round(y);
                }
                c.push_back({x, y});
            }
            return c;
        }

        Contours scaled(Contours contours, float factor)
        {
            for (auto& c : contours)
                for (auto& p : c)
                {
                    p[0] *= factor;
                    p[1] *= factor;
                }
            return contours;
        }
    }

    const char* shapeName(Shape shape)
    {
        static const char* names[] = {"simple", "star", "holes", "overlaps", "duplicates", "collinear", "huge", "tiny"};
        return names[int(shape)];
    }

    Contours makeContours(Shape shape, std::mt19937& random)
    {
        std::uniform_int_distribution<int> count(3, 40);
        std::uniform_int_distribution<int> coin(0, 1);
        switch (shape)
        {
            case Shape::simple:
                return {randomStarShaped(random, 0, 0, 100, count(random), coin(random) == 1, false)};
            case Shape::star:
            {
                // {n/k} star polygons: every edge crosses others.
                std::uniform_int_distribution<int> pointsDist(5, 25);
                const int n = pointsDist(random);
                std::uniform_int_distribution<int> stepDist(2, (n - 1) / 2);
                const int k = stepDist(random);
                Contour2 c;
                for (int i = 0; i < n; ++i)
                {
                    const double a = twoPi * double((i * k) % n) / n;
                    c.push_back({float(std::cos(a) * 100.0), float(std::sin(a) * 100.0)});
                }
                return {c};
            }
            case Shape::holes:
            {
                Contours cs{randomStarShaped(random, 0, 0, 200, count(random), false, false)};
                std::uniform_int_distribution<int> holes(1, 4);
                const int h = holes(random);
                for (int i = 0; i < h; ++i)
                {
                    std::uniform_real_distribution<float> pos(-40.0f, 40.0f);
                    cs.push_back(randomStarShaped(random, pos(random), pos(random), 25, count(random), true, false));
                }
                return cs;
            }
            case Shape::overlaps:
            {
                Contours cs;
                std::uniform_int_distribution<int> num(2, 5);
                std::uniform_real_distribution<float> pos(-60.0f, 60.0f);
                const int n = num(random);
                for (int i = 0; i < n; ++i)
                    cs.push_back(
                        randomStarShaped(random, pos(random), pos(random), 80, count(random), coin(random) == 1, true));
                return cs;
            }
            case Shape::duplicates:
            {
                // Snapped to a coarse grid, with repeated points and a copy of
                // one contour: coincident vertices and edges.
                Contours cs;
                Contour2 c = randomStarShaped(random, 0, 0, 20, count(random), false, true);
                Contour2 withRepeats;
                for (const auto& p : c)
                {
                    withRepeats.push_back(p);
                    if (coin(random) == 1)
                        withRepeats.push_back(p);
                }
                cs.push_back(withRepeats);
                cs.push_back(c);
                cs.push_back(randomStarShaped(random, 5, 5, 20, count(random), coin(random) == 1, true));
                return cs;
            }
            case Shape::collinear:
            {
                // Axis-aligned rectangles sharing edges, with extra points on
                // their edges, and a contour that is only a line.
                Contours cs;
                std::uniform_int_distribution<int> pos(-10, 10);
                std::uniform_int_distribution<int> size(1, 10);
                for (int i = 0; i < 4; ++i)
                {
                    const float x = float(pos(random)), y = float(pos(random));
                    const float w = float(size(random)), h = float(size(random));
                    Contour2 c{{x, y}, {x + w / 2, y}, {x + w, y}, {x + w, y + h}, {x, y + h}, {x, y + h / 2}};
                    if (coin(random) == 1)
                        c = Contour2(c.rbegin(), c.rend());
                    cs.push_back(c);
                }
                cs.push_back({{-10, -10}, {0, 0}, {10, 10}});
                return cs;
            }
            case Shape::huge:
                return scaled(makeContours(Shape::overlaps, random), 1.0e12f);
            case Shape::tiny:
                return scaled(makeContours(Shape::overlaps, random), 1.0e-12f);
        }
        return {};
    }

    namespace
    {
        struct GluCollector
        {
            std::deque<std::array<double, 3>> storage;
            std::vector<const double*> corners;
        };

        void GLAPIENTRY gluBegin(GLenum, void*)
        {
        }
        // Present so that GLU emits separate triangles only.
        void GLAPIENTRY gluEdgeFlag(GLboolean, void*)
        {
        }
        void GLAPIENTRY gluVertex(void* vertex, void* data)
        {
            static_cast<GluCollector*>(data)->corners.push_back(static_cast<const double*>(vertex));
        }
        void GLAPIENTRY gluCombine(GLdouble coords[3], void* [4], GLfloat[4], void** out, void* data)
        {
            auto* collector = static_cast<GluCollector*>(data);
            collector->storage.push_back({coords[0], coords[1], coords[2]});
            *out = collector->storage.back().data();
        }
    }

    std::vector<Triangle> referenceTriangles(const Contours& contours, int rule)
    {
        static const GLenum rules[] = {GLU_TESS_WINDING_ODD, GLU_TESS_WINDING_NONZERO, GLU_TESS_WINDING_POSITIVE,
                                       GLU_TESS_WINDING_NEGATIVE, GLU_TESS_WINDING_ABS_GEQ_TWO};
        GluCollector collector;
        GLUtesselator* glu = gluNewTess();
        gluTessCallback(glu, GLU_TESS_BEGIN_DATA, reinterpret_cast<void(GLAPIENTRY*)()>(&gluBegin));
        gluTessCallback(glu, GLU_TESS_EDGE_FLAG_DATA, reinterpret_cast<void(GLAPIENTRY*)()>(&gluEdgeFlag));
        gluTessCallback(glu, GLU_TESS_VERTEX_DATA, reinterpret_cast<void(GLAPIENTRY*)()>(&gluVertex));
        gluTessCallback(glu, GLU_TESS_COMBINE_DATA, reinterpret_cast<void(GLAPIENTRY*)()>(&gluCombine));
        gluTessProperty(glu, GLU_TESS_WINDING_RULE, rules[rule]);
        for (const auto& c : contours)
            for (const auto& p : c)
                collector.storage.push_back({p[0], p[1], 0.0});
        gluTessBeginPolygon(glu, &collector);
        size_t k = 0;
        for (const auto& c : contours)
        {
            gluTessBeginContour(glu);
            for (size_t i = 0; i < c.size(); ++i, ++k)
                gluTessVertex(glu, collector.storage[k].data(), collector.storage[k].data());
            gluTessEndContour(glu);
        }
        gluTessEndPolygon(glu);
        gluDeleteTess(glu);

        std::vector<Triangle> triangles;
        for (size_t i = 0; i + 2 < collector.corners.size(); i += 3)
        {
            const double* a = collector.corners[i];
            const double* b = collector.corners[i + 1];
            const double* c = collector.corners[i + 2];
            triangles.push_back({{a[0], a[1]}, {b[0], b[1]}, {c[0], c[1]}});
        }
        return triangles;
    }
} // namespace vx::test
