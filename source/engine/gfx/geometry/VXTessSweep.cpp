#include "engine/gfx/geometry/VXTessBucketAlloc.h"
#include "engine/gfx/geometry/VXTessDict.h"
#include "engine/gfx/geometry/VXTessGeom.h"
#include "engine/gfx/geometry/VXTessMesh.h"
#include "engine/gfx/geometry/VXTessPriorityQ.h"
#include "engine/gfx/geometry/VXTesselator.h"

#include <algorithm>
#include <cstdlib>

// The sweep line moves left to right (increasing s, then t). The dictionary
// holds the edges crossing the sweep line, and between two neighbouring edges
// lies an active region that knows its winding number. At each event vertex
// the regions that end there are finished (their faces get the inside flag),
// the edges leaving to the right are inserted, and every pair of edges that
// became neighbours is checked for a crossing, which is cut into the mesh and
// queued as a new event. Regions are kept monotone, so the front-end can
// triangulate each inside face in one pass.

namespace vx
{

    namespace
    {
        [[noreturn]] void fail()
        {
            throw TessFailure{};
        }

        template <typename T>
        T* check(T* p)
        {
            if (p == nullptr)
                fail();
            return p;
        }

        void check(int ok)
        {
            if (ok == 0)
                fail();
        }

        ActiveRegion* regionBelow(const ActiveRegion* r)
        {
            return r->nodeUp->prev->key;
        }

        ActiveRegion* regionAbove(const ActiveRegion* r)
        {
            return r->nodeUp->next->key;
        }

        void addWinding(TessHalfEdge* eDst, const TessHalfEdge* eSrc)
        {
            eDst->winding += eSrc->winding;
            eDst->sym->winding += eSrc->sym->winding;
        }

        // Orders regions by their upper edges at the current event: r1 <= r2
        // when r1's edge passes at or below r2's.
        bool edgeLeq(Tesselator* tess, ActiveRegion* reg1, ActiveRegion* reg2)
        {
            const TessVertex* event = tess->event;
            const TessHalfEdge* e1 = reg1->eUp;
            const TessHalfEdge* e2 = reg2->eUp;

            if (dst(e1) == event)
            {
                if (dst(e2) == event)
                {
                    // Both edges end at the event: compare their right ends.
                    if (tesvertLeq(e1->org, e2->org))
                        return tesedgeSign(dst(e2), e1->org, e2->org) <= 0.0f;
                    return tesedgeSign(dst(e1), e2->org, e1->org) >= 0.0f;
                }
                return tesedgeSign(dst(e2), event, e2->org) <= 0.0f;
            }
            if (dst(e2) == event)
                return tesedgeSign(dst(e1), event, e1->org) >= 0.0f;

            // General case: compare where the edges cross the sweep line.
            const float t1 = tesedgeEval(dst(e1), event, e1->org);
            const float t2 = tesedgeEval(dst(e2), event, e2->org);
            return t1 >= t2;
        }

        void deleteRegion(Tesselator* tess, ActiveRegion* reg)
        {
            reg->eUp->activeRegion = nullptr;
            dictDelete(tess->dict, reg->nodeUp);
            bucketFree(tess->regionPool, reg);
        }

        // Replaces the temporary upper edge of reg by newEdge.
        void fixUpperEdge(Tesselator* tess, ActiveRegion* reg, TessHalfEdge* newEdge)
        {
            check(tessMeshDelete(tess->mesh, reg->eUp));
            reg->fixUpperEdge = false;
            reg->eUp = newEdge;
            newEdge->activeRegion = reg;
        }

        ActiveRegion* topLeftRegion(Tesselator* tess, ActiveRegion* reg)
        {
            const TessVertex* org = reg->eUp->org;
            // The region above the uppermost edge with the same origin.
            do
            {
                reg = check(regionAbove(reg));
            } while (reg->eUp->org == org);

            // A temporary edge ending here can now be replaced by a real one.
            if (reg->fixUpperEdge)
            {
                TessHalfEdge* e =
                    check(tessMeshConnect(tess->mesh, check(regionBelow(reg))->eUp->sym, reg->eUp->lnext));
                fixUpperEdge(tess, reg, e);
                reg = check(regionAbove(reg));
            }
            return reg;
        }

        ActiveRegion* topRightRegion(ActiveRegion* reg)
        {
            const TessVertex* d = dst(reg->eUp);
            do
            {
                reg = check(regionAbove(reg));
            } while (dst(reg->eUp) == d);
            return reg;
        }

        // A new region below regAbove with upper edge eNewUp; its winding and
        // inside flag are set by the caller.
        ActiveRegion* addRegionBelow(Tesselator* tess, ActiveRegion* regAbove, TessHalfEdge* eNewUp)
        {
            auto* regNew = check(static_cast<ActiveRegion*>(bucketAlloc(tess->regionPool)));
            regNew->eUp = eNewUp;
            regNew->windingNumber = 0;
            regNew->inside = false;
            regNew->sentinel = false;
            regNew->dirty = false;
            regNew->fixUpperEdge = false;
            regNew->nodeUp = dictInsertBefore(tess->dict, regAbove->nodeUp, regNew);
            if (regNew->nodeUp == nullptr)
            {
                bucketFree(tess->regionPool, regNew);
                fail();
            }
            eNewUp->activeRegion = regNew;
            return regNew;
        }

        bool isWindingInside(const Tesselator* tess, int n)
        {
            switch (tess->windingRule)
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
                    return n >= 2 || n <= -2;
                default:
                    return false;
            }
        }

        void computeWinding(Tesselator* tess, ActiveRegion* reg)
        {
            reg->windingNumber = check(regionAbove(reg))->windingNumber + reg->eUp->winding;
            reg->inside = isWindingInside(tess, reg->windingNumber);
        }

        // The region's face is complete: it takes the inside flag.
        void finishRegion(Tesselator* tess, ActiveRegion* reg)
        {
            TessHalfEdge* e = reg->eUp;
            TessFace* f = e->lface;
            f->inside = reg->inside;
            f->anEdge = e; // where the monotone triangulation starts
            deleteRegion(tess, reg);
        }

        // Finishes the regions from regFirst down to regLast (or, without
        // regLast, down to the first whose upper edge leaves the event from
        // elsewhere), relinking the mesh edges around the event to match the
        // dictionary order. Answers the lowest left-going edge.
        TessHalfEdge* finishLeftRegions(Tesselator* tess, ActiveRegion* regFirst, ActiveRegion* regLast)
        {
            ActiveRegion* regPrev = regFirst;
            TessHalfEdge* ePrev = regFirst->eUp;
            while (regPrev != regLast)
            {
                regPrev->fixUpperEdge = false; // its placement was right
                ActiveRegion* reg = check(regionBelow(regPrev));
                TessHalfEdge* e = reg->eUp;
                if (e->org != ePrev->org)
                {
                    if (! reg->fixUpperEdge)
                    {
                        // The last left-going edge: its region is done.
                        finishRegion(tess, regPrev);
                        break;
                    }
                    // A temporary edge below: replace it by a real one.
                    e = check(tessMeshConnect(tess->mesh, lprev(ePrev), e->sym));
                    fixUpperEdge(tess, reg, e);
                }
                if (ePrev->onext != e)
                    check(tessMeshMoveInRing(tess->mesh, e, ePrev->onext));
                finishRegion(tess, regPrev); // may change reg->eUp
                ePrev = reg->eUp;
                regPrev = reg;
            }
            return ePrev;
        }

        bool checkForRightSplice(Tesselator* tess, ActiveRegion* regUp);
        void walkDirtyRegions(Tesselator* tess, ActiveRegion* regUp);

        // Inserts a region below regUp for each right-going edge from eFirst
        // up to (not including) eLast, then walks all right-going edges of the
        // event in dictionary order, fixing the mesh order and the windings.
        void addRightEdges(Tesselator* tess, ActiveRegion* regUp, TessHalfEdge* eFirst, TessHalfEdge* eLast,
                           TessHalfEdge* eTopLeft, bool cleanUp)
        {
            TessHalfEdge* e = eFirst;
            do
            {
                addRegionBelow(tess, regUp, e->sym);
                e = e->onext;
            } while (e != eLast);

            if (eTopLeft == nullptr)
                eTopLeft = rprev(check(regionBelow(regUp))->eUp);

            ActiveRegion* regPrev = regUp;
            TessHalfEdge* ePrev = eTopLeft;
            bool firstTime = true;
            for (;;)
            {
                ActiveRegion* reg = check(regionBelow(regPrev));
                e = reg->eUp->sym;
                if (e->org != ePrev->org)
                    break;

                if (e->onext != ePrev)
                    check(tessMeshMoveInRing(tess->mesh, e, ePrev)); // relink e below ePrev
                reg->windingNumber = regPrev->windingNumber - e->winding;
                reg->inside = isWindingInside(tess, reg->windingNumber);

                // Two right-going edges of the same slope are merged before any
                // crossing test.
                regPrev->dirty = true;
                if (! firstTime && checkForRightSplice(tess, regPrev))
                {
                    addWinding(e, ePrev);
                    deleteRegion(tess, regPrev);
                    check(tessMeshDelete(tess->mesh, ePrev));
                }
                firstTime = false;
                regPrev = reg;
                ePrev = e;
            }
            regPrev->dirty = true;
            if (cleanUp)
                walkDirtyRegions(tess, regPrev);
        }

        void spliceMergeVertices(Tesselator* tess, TessHalfEdge* e1, TessHalfEdge* e2)
        {
            static const float weights[4] = {0.5f, 0.5f, 0.0f, 0.0f};
            if (tess->combine != nullptr)
                tess->combine(e1->org->coords, weights);
            check(tessMeshSplice(tess->mesh, e1, e2));
        }

        // Adds the weighted coordinates of org and dst to isect: each end
        // weighs by the other's L1 distance to the crossing in (s, t).
        void vertexWeights(TessVertex* isect, const TessVertex* org, const TessVertex* d, float* weights)
        {
            const float t1 = std::abs(org->s - isect->s) + std::abs(org->t - isect->t);
            const float t2 = std::abs(d->s - isect->s) + std::abs(d->t - isect->t);
            if (t1 + t2 > 0.0f)
            {
                weights[0] = 0.5f * t2 / (t1 + t2);
                weights[1] = 0.5f * t1 / (t1 + t2);
            }
            else
                weights[0] = weights[1] = 0.25f;
            for (int i = 0; i < 3; ++i)
                isect->coords[i] += weights[0] * org->coords[i] + weights[1] * d->coords[i];
        }

        void getIntersectData(Tesselator* tess, TessVertex* isect, const TessVertex* orgUp, const TessVertex* dstUp,
                              const TessVertex* orgLo, const TessVertex* dstLo)
        {
            float weights[4];
            isect->coords[0] = isect->coords[1] = isect->coords[2] = 0.0f;
            vertexWeights(isect, orgUp, dstUp, &weights[0]);
            vertexWeights(isect, orgLo, dstLo, &weights[2]);
            if (tess->combine != nullptr)
                tess->combine(isect->coords, weights);
        }

        void copyPosition(TessVertex* v, const TessVertex* from)
        {
            v->s = from->s;
            v->t = from->t;
            v->coords[0] = from->coords[0];
            v->coords[1] = from->coords[1];
            v->coords[2] = from->coords[2];
        }

        // The right ends (origins) of regUp's upper and lower edges must keep
        // the dictionary order; when they do not, the one on the wrong side is
        // spliced into the other edge. True when something changed.
        bool checkForRightSplice(Tesselator* tess, ActiveRegion* regUp)
        {
            ActiveRegion* regLo = check(regionBelow(regUp));
            TessHalfEdge* eUp = regUp->eUp;
            TessHalfEdge* eLo = regLo->eUp;

            if (tesvertLeq(eUp->org, eLo->org))
            {
                if (tesedgeSign(dst(eLo), eUp->org, eLo->org) > 0.0f)
                    return false;
                // eUp->org lies below eLo.
                if (! tesvertEq(eUp->org, eLo->org))
                {
                    // Splice eUp->org into eLo.
                    check(tessMeshSplitEdge(tess->mesh, eLo->sym));
                    check(tessMeshSplice(tess->mesh, eUp, oprev(eLo)));
                    regUp->dirty = regLo->dirty = true;
                }
                else if (eUp->org != eLo->org)
                {
                    // Merge the two vertices, discarding eUp->org.
                    pqDelete(tess->pq, eUp->org->pqHandle);
                    eUp->org->pqHandle = 0;
                    spliceMergeVertices(tess, oprev(eLo), eUp);
                }
            }
            else
            {
                if (tesedgeSign(dst(eUp), eLo->org, eUp->org) < 0.0f)
                    return false;
                // eLo->org lies above eUp: splice it into eUp.
                check(regionAbove(regUp))->dirty = regUp->dirty = true;
                check(tessMeshSplitEdge(tess->mesh, eUp->sym));
                check(tessMeshSplice(tess->mesh, oprev(eLo), eUp));
            }
            return true;
        }

        // The same for the left ends (destinations).
        bool checkForLeftSplice(Tesselator* tess, ActiveRegion* regUp)
        {
            ActiveRegion* regLo = check(regionBelow(regUp));
            TessHalfEdge* eUp = regUp->eUp;
            TessHalfEdge* eLo = regLo->eUp;

            if (tesvertLeq(dst(eUp), dst(eLo)))
            {
                if (tesedgeSign(dst(eUp), dst(eLo), eUp->org) < 0.0f)
                    return false;
                // dst(eLo) lies above eUp: splice it into eUp.
                check(regionAbove(regUp))->dirty = regUp->dirty = true;
                TessHalfEdge* e = check(tessMeshSplitEdge(tess->mesh, eUp));
                check(tessMeshSplice(tess->mesh, eLo->sym, e));
                e->lface->inside = regUp->inside;
            }
            else
            {
                if (tesedgeSign(dst(eLo), dst(eUp), eLo->org) > 0.0f)
                    return false;
                // dst(eUp) lies below eLo: splice it into eLo.
                regUp->dirty = regLo->dirty = true;
                TessHalfEdge* e = check(tessMeshSplitEdge(tess->mesh, eLo));
                check(tessMeshSplice(tess->mesh, eUp->lnext, eLo->sym));
                rface(e)->inside = regUp->inside;
            }
            return true;
        }

        // Checks regUp's upper edge against the one below for a crossing
        // right of the sweep line and cuts it into the mesh as a new event.
        // True when it had to process new regions itself (walkDirtyRegions
        // ran recursively).
        bool checkForIntersect(Tesselator* tess, ActiveRegion* regUp)
        {
            ActiveRegion* regLo = check(regionBelow(regUp));
            TessHalfEdge* eUp = regUp->eUp;
            TessHalfEdge* eLo = regLo->eUp;
            TessVertex* orgUp = eUp->org;
            TessVertex* orgLo = eLo->org;
            TessVertex* dstUp = dst(eUp);
            TessVertex* dstLo = dst(eLo);
            TessVertex* event = tess->event;

            if (orgUp == orgLo)
                return false; // same right end
            const float tMinUp = std::min(orgUp->t, dstUp->t);
            const float tMaxLo = std::max(orgLo->t, dstLo->t);
            if (tMinUp > tMaxLo)
                return false; // t ranges do not overlap
            if (tesvertLeq(orgUp, orgLo))
            {
                if (tesedgeSign(dstLo, orgUp, orgLo) > 0.0f)
                    return false;
            }
            else if (tesedgeSign(dstUp, orgLo, orgUp) < 0.0f)
                return false;

            // The edges cross, at least marginally.
            TessVertex isect{};
            tesedgeIntersect(dstUp, orgUp, dstLo, orgLo, &isect);

            // Rounding may put the crossing left of the sweep line: the event
            // itself is the safe place then.
            if (tesvertLeq(&isect, event))
            {
                isect.s = event->s;
                isect.t = event->t;
            }
            // Right of the rightmost origin it would make very thin slivers.
            TessVertex* orgMin = tesvertLeq(orgUp, orgLo) ? orgUp : orgLo;
            if (tesvertLeq(orgMin, &isect))
            {
                isect.s = orgMin->s;
                isect.t = orgMin->t;
            }

            if (tesvertEq(&isect, orgUp) || tesvertEq(&isect, orgLo))
            {
                // At one of the right ends.
                checkForRightSplice(tess, regUp);
                return false;
            }

            if ((! tesvertEq(dstUp, event) && tesedgeSign(dstUp, event, &isect) >= 0.0f) ||
                (! tesvertEq(dstLo, event) && tesedgeSign(dstLo, event, &isect) <= 0.0f))
            {
                // The new pieces would pass on the wrong side of the event (or
                // through it): rounding again.
                if (dstLo == event)
                {
                    // Splice dstLo into eUp and process the new regions.
                    check(tessMeshSplitEdge(tess->mesh, eUp->sym));
                    check(tessMeshSplice(tess->mesh, eLo->sym, eUp));
                    regUp = topLeftRegion(tess, regUp);
                    eUp = check(regionBelow(regUp))->eUp;
                    finishLeftRegions(tess, check(regionBelow(regUp)), regLo);
                    addRightEdges(tess, regUp, oprev(eUp), eUp, eUp, true);
                    return true;
                }
                if (dstUp == event)
                {
                    // Splice dstUp into eLo and process the new regions.
                    check(tessMeshSplitEdge(tess->mesh, eLo->sym));
                    check(tessMeshSplice(tess->mesh, eUp->lnext, oprev(eLo)));
                    regLo = regUp;
                    regUp = topRightRegion(regUp);
                    TessHalfEdge* e = rprev(check(regionBelow(regUp))->eUp);
                    regLo->eUp = oprev(eLo);
                    eLo = finishLeftRegions(tess, regLo, nullptr);
                    addRightEdges(tess, regUp, eLo->onext, rprev(eUp), e, true);
                    return true;
                }
                // Neither ends at the event (called from connectRightVertex):
                // split the offending edges at the event and let the caller
                // splice them.
                if (tesedgeSign(dstUp, event, &isect) >= 0.0f)
                {
                    check(regionAbove(regUp))->dirty = regUp->dirty = true;
                    check(tessMeshSplitEdge(tess->mesh, eUp->sym));
                    copyPosition(eUp->org, event);
                }
                if (tesedgeSign(dstLo, event, &isect) <= 0.0f)
                {
                    regUp->dirty = regLo->dirty = true;
                    check(tessMeshSplitEdge(tess->mesh, eLo->sym));
                    copyPosition(eLo->org, event);
                }
                return false;
            }

            // General case: split both edges and splice them at a new vertex.
            // The processed side's faces are the smaller ones, so the splice
            // takes eUp's side as the face that gets walked.
            check(tessMeshSplitEdge(tess->mesh, eUp->sym));
            check(tessMeshSplitEdge(tess->mesh, eLo->sym));
            check(tessMeshSplice(tess->mesh, oprev(eLo), eUp));
            eUp->org->s = isect.s;
            eUp->org->t = isect.t;
            eUp->org->pqHandle = pqInsert(&tess->alloc, tess->pq, eUp->org);
            if (eUp->org->pqHandle == pqInvalidHandle)
                fail();
            getIntersectData(tess, eUp->org, orgUp, dstUp, orgLo, dstLo);
            check(regionAbove(regUp))->dirty = regUp->dirty = regLo->dirty = true;
            return false;
        }

        // Restores the dictionary invariants after changes: walks the dirty
        // regions bottom-up, checking each pair of neighbouring edges for order
        // at both ends and for crossings.
        void walkDirtyRegions(Tesselator* tess, ActiveRegion* regUp)
        {
            ActiveRegion* regLo = check(regionBelow(regUp));
            for (;;)
            {
                // The lowest dirty region.
                while (regLo != nullptr && regLo->dirty)
                {
                    regUp = regLo;
                    regLo = regionBelow(regLo);
                }
                if (regLo == nullptr)
                    fail();
                if (! regUp->dirty)
                {
                    regLo = regUp;
                    regUp = regionAbove(regUp);
                    if (regUp == nullptr || ! regUp->dirty)
                        return; // all dirty regions done
                }
                regUp->dirty = false;
                TessHalfEdge* eUp = regUp->eUp;
                TessHalfEdge* eLo = regLo->eUp;

                if (dst(eUp) != dst(eLo))
                {
                    // The order at the left ends.
                    if (checkForLeftSplice(tess, regUp))
                    {
                        // A temporary edge was only needed for a vertex with no
                        // right-going edge; after the splice it has one.
                        if (regLo->fixUpperEdge)
                        {
                            deleteRegion(tess, regLo);
                            check(tessMeshDelete(tess->mesh, eLo));
                            regLo = check(regionBelow(regUp));
                            eLo = regLo->eUp;
                        }
                        else if (regUp->fixUpperEdge)
                        {
                            deleteRegion(tess, regUp);
                            check(tessMeshDelete(tess->mesh, eUp));
                            regUp = check(regionAbove(regLo));
                            eUp = regUp->eUp;
                        }
                    }
                }
                if (eUp->org != eLo->org)
                {
                    if (dst(eUp) != dst(eLo) && ! regUp->fixUpperEdge && ! regLo->fixUpperEdge &&
                        (dst(eUp) == tess->event || dst(eLo) == tess->event))
                    {
                        // The crossing test may fall back on the event as the
                        // crossing, which needs the event between the edges and
                        // neither edge temporary.
                        if (checkForIntersect(tess, regUp))
                            return; // walked recursively
                    }
                    else
                        checkForRightSplice(tess, regUp);
                }
                if (eUp->org == eLo->org && dst(eUp) == dst(eLo))
                {
                    // A degenerate loop of two edges: merge them.
                    addWinding(eLo, eUp);
                    deleteRegion(tess, regUp);
                    check(tessMeshDelete(tess->mesh, eUp));
                    regUp = check(regionAbove(regLo));
                }
            }
        }

        // The event has left-going edges but no right-going one: it is joined
        // to a vertex to its right by a temporary edge, which a later event
        // replaces (so the regions stay monotone).
        void connectRightVertex(Tesselator* tess, ActiveRegion* regUp, TessHalfEdge* eBottomLeft)
        {
            TessHalfEdge* eTopLeft = eBottomLeft->onext;
            ActiveRegion* regLo = check(regionBelow(regUp));
            TessHalfEdge* eUp = regUp->eUp;
            TessHalfEdge* eLo = regLo->eUp;
            bool degenerate = false;

            if (dst(eUp) != dst(eLo))
                checkForIntersect(tess, regUp);

            // The upper or lower edge may now pass through the event.
            if (tesvertEq(eUp->org, tess->event))
            {
                check(tessMeshSplice(tess->mesh, oprev(eTopLeft), eUp));
                regUp = topLeftRegion(tess, regUp);
                eTopLeft = check(regionBelow(regUp))->eUp;
                finishLeftRegions(tess, check(regionBelow(regUp)), regLo);
                degenerate = true;
            }
            if (tesvertEq(eLo->org, tess->event))
            {
                check(tessMeshSplice(tess->mesh, eBottomLeft, oprev(eLo)));
                eBottomLeft = finishLeftRegions(tess, regLo, nullptr);
                degenerate = true;
            }
            if (degenerate)
            {
                addRightEdges(tess, regUp, eBottomLeft->onext, eTopLeft, eTopLeft, true);
                return;
            }

            // Connect to the closer of eLo->org and eUp->org.
            TessHalfEdge* eNew = tesvertLeq(eLo->org, eUp->org) ? oprev(eLo) : eUp;
            eNew = check(tessMeshConnect(tess->mesh, lprev(eBottomLeft), eNew));

            // No clean-up yet: eNew must be marked temporary first.
            addRightEdges(tess, regUp, eNew, eNew->onext, eNew->onext, false);
            check(eNew->sym->activeRegion)->fixUpperEdge = true;
            walkDirtyRegions(tess, regUp);
        }

        void sweepEvent(Tesselator* tess, TessVertex* vEvent);

        // The event lies on regUp's upper edge (or on one of its ends).
        void connectLeftDegenerate(Tesselator* tess, ActiveRegion* regUp, TessVertex* vEvent)
        {
            TessHalfEdge* e = regUp->eUp;
            if (tesvertEq(e->org, vEvent))
            {
                // An unprocessed vertex at the same place: merge them and wait
                // for it to come out of the queue.
                spliceMergeVertices(tess, e, vEvent->anEdge);
                return;
            }
            if (! tesvertEq(dst(e), vEvent))
            {
                // Splice the event into the edge passing through it.
                check(tessMeshSplitEdge(tess->mesh, e->sym));
                if (regUp->fixUpperEdge)
                {
                    // The unused part of the temporary edge goes.
                    check(tessMeshDelete(tess->mesh, e->onext));
                    regUp->fixUpperEdge = false;
                }
                check(tessMeshSplice(tess->mesh, vEvent->anEdge, e));
                sweepEvent(tess, vEvent); // again, now with a left-going edge
                return;
            }

            // The event coincides with dst(e), already processed: splice in the
            // further right-going edges.
            regUp = topRightRegion(regUp);
            ActiveRegion* reg = check(regionBelow(regUp));
            TessHalfEdge* eTopRight = reg->eUp->sym;
            TessHalfEdge* eTopLeft = eTopRight->onext;
            TessHalfEdge* eLast = eTopLeft;
            if (reg->fixUpperEdge)
            {
                // dst(e) had only a temporary edge going right: real ones replace it.
                deleteRegion(tess, reg);
                check(tessMeshDelete(tess->mesh, eTopRight));
                eTopRight = oprev(eTopLeft);
            }
            check(tessMeshSplice(tess->mesh, vEvent->anEdge, eTopRight));
            if (! tesedgeGoesLeft(eTopLeft))
                eTopLeft = nullptr; // no left-going edges
            addRightEdges(tess, regUp, eTopRight->onext, eLast, eTopLeft, true);
        }

        // An event with only right-going edges: find the region containing it.
        void connectLeftVertex(Tesselator* tess, TessVertex* vEvent)
        {
            ActiveRegion tmp{};
            tmp.eUp = vEvent->anEdge->sym;
            ActiveRegion* regUp = dictSearch(tess->dict, &tmp)->key;
            if (regUp == nullptr)
                fail();
            ActiveRegion* regLo = regionBelow(regUp);
            if (regLo == nullptr)
                return;
            TessHalfEdge* eUp = regUp->eUp;
            TessHalfEdge* eLo = regLo->eUp;

            if (tesedgeSign(dst(eUp), vEvent, eUp->org) == 0.0f)
            {
                connectLeftDegenerate(tess, regUp, vEvent);
                return;
            }

            // Connect to the edge whose left end lies further right.
            ActiveRegion* reg = tesvertLeq(dst(eLo), dst(eUp)) ? regUp : regLo;
            if (regUp->inside || reg->fixUpperEdge)
            {
                TessHalfEdge* eNew;
                if (reg == regUp)
                    eNew = check(tessMeshConnect(tess->mesh, vEvent->anEdge->sym, eUp->lnext));
                else
                    eNew = check(tessMeshConnect(tess->mesh, dnext(eLo), vEvent->anEdge))->sym;
                if (reg->fixUpperEdge)
                    fixUpperEdge(tess, reg, eNew);
                else
                    computeWinding(tess, addRegionBelow(tess, regUp, eNew));
                sweepEvent(tess, vEvent);
            }
            else
            {
                // Outside the polygon: no need to connect the vertex.
                addRightEdges(tess, regUp, vEvent->anEdge, vEvent->anEdge, nullptr, true);
            }
        }

        void sweepEvent(Tesselator* tess, TessVertex* vEvent)
        {
            tess->event = vEvent;

            // An edge of the event already in the dictionary means the event
            // is its left end; otherwise every edge goes right.
            TessHalfEdge* e = vEvent->anEdge;
            while (e->activeRegion == nullptr)
            {
                e = e->onext;
                if (e == vEvent->anEdge)
                {
                    connectLeftVertex(tess, vEvent);
                    return;
                }
            }

            // Finish the regions closed at the event (its left-going edges)...
            ActiveRegion* regUp = topLeftRegion(tess, e->activeRegion);
            ActiveRegion* reg = check(regionBelow(regUp));
            TessHalfEdge* eTopLeft = reg->eUp;
            TessHalfEdge* eBottomLeft = finishLeftRegions(tess, reg, nullptr);

            // ... then add its right-going edges.
            if (eBottomLeft->onext == eTopLeft)
                connectRightVertex(tess, regUp, eBottomLeft);
            else
                addRightEdges(tess, regUp, eBottomLeft->onext, eTopLeft, eTopLeft, true);
        }

        // One of the two regions bounding everything, above or below it.
        void addSentinel(Tesselator* tess, float smin, float smax, float t)
        {
            auto* reg = check(static_cast<ActiveRegion*>(bucketAlloc(tess->regionPool)));
            TessHalfEdge* e = tessMeshMakeEdge(tess->mesh);
            if (e == nullptr)
            {
                bucketFree(tess->regionPool, reg);
                fail();
            }
            e->org->s = smax;
            e->org->t = t;
            dst(e)->s = smin;
            dst(e)->t = t;
            tess->event = dst(e);

            reg->eUp = e;
            reg->windingNumber = 0;
            reg->inside = false;
            reg->fixUpperEdge = false;
            reg->sentinel = true;
            reg->dirty = false;
            reg->nodeUp = dictInsert(tess->dict, reg);
            if (reg->nodeUp == nullptr)
            {
                bucketFree(tess->regionPool, reg);
                fail();
            }
            e->activeRegion = reg;
        }

        void initEdgeDict(Tesselator* tess)
        {
            // The last sweep's dictionary is empty and reused.
            if (tess->dict == nullptr)
                tess->dict = check(dictNewDict(&tess->alloc, tess, &edgeLeq));
            // The sentinels reach well beyond the points; a point set without
            // extent in one direction still gets room there.
            float w = tess->bmax[0] - tess->bmin[0];
            float h = tess->bmax[1] - tess->bmin[1];
            if (! (w > 0.0f))
                w = 1.0f;
            if (! (h > 0.0f))
                h = 1.0f;
            const float smin = tess->bmin[0] - w;
            const float smax = tess->bmax[0] + w;
            addSentinel(tess, smin, smax, tess->bmin[1] - h);
            addSentinel(tess, smin, smax, tess->bmax[1] + h);
        }

        void doneEdgeDict(Tesselator* tess)
        {
            // Only the sentinels and at most one temporary edge are left. The
            // empty dictionary stays for the next sweep.
            ActiveRegion* reg;
            while ((reg = dictMin(tess->dict)->key) != nullptr)
                deleteRegion(tess, reg);
        }

        // Zero-length edges and contours of one or two edges go.
        void removeDegenerateEdges(Tesselator* tess)
        {
            TessMesh* mesh = tess->mesh;
            TessHalfEdge* eHead = &mesh->eHead.e;
            TessHalfEdge* eNext;
            for (TessHalfEdge* e = eHead->next; e != eHead; e = eNext)
            {
                eNext = e->next;
                TessHalfEdge* eLnext = e->lnext;

                if (tesvertEq(e->org, dst(e)) && e->lnext->lnext != e)
                {
                    // A zero-length edge in a contour of at least three edges.
                    spliceMergeVertices(tess, eLnext, e); // deletes e->org
                    check(tessMeshDelete(mesh, e));       // e is now a self-loop
                    e = eLnext;
                    eLnext = e->lnext;
                }
                if (eLnext->lnext == e)
                {
                    // A contour of one or two edges.
                    if (eLnext != e)
                    {
                        if (eLnext == eNext || eLnext == eNext->sym)
                            eNext = eNext->next;
                        check(tessMeshDelete(mesh, eLnext));
                    }
                    if (e == eNext || e == eNext->sym)
                        eNext = eNext->next;
                    check(tessMeshDelete(mesh, e));
                }
            }
        }

        bool initPriorityQ(Tesselator* tess)
        {
            TessVertex* vHead = &tess->mesh->vHead;
            int vertexCount = 0;
            for (TessVertex* v = vHead->next; v != vHead; v = v->next)
                ++vertexCount;
            // Room for the crossings made while sweeping.
            vertexCount += std::max(8, tess->alloc.extraVertices);

            // The last sweep's queue is reused with its arrays.
            if (tess->pq != nullptr && ! pqReset(&tess->alloc, tess->pq, vertexCount))
            {
                pqDeletePriorityQ(&tess->alloc, tess->pq);
                tess->pq = nullptr;
                return false;
            }
            if (tess->pq == nullptr)
                tess->pq = pqNewPriorityQ(&tess->alloc, vertexCount, &tesvertLeq);
            PriorityQ* pq = tess->pq;
            if (pq == nullptr)
                return false;
            TessVertex* v;
            for (v = vHead->next; v != vHead; v = v->next)
            {
                v->pqHandle = pqInsert(&tess->alloc, pq, v);
                if (v->pqHandle == pqInvalidHandle)
                    break;
            }
            if (v != vHead || ! pqInit(&tess->alloc, pq))
            {
                pqDeletePriorityQ(&tess->alloc, tess->pq);
                tess->pq = nullptr;
                return false;
            }
            return true;
        }

        // Faces of two edges go; the surviving edge takes both windings.
        void removeDegenerateFaces(Tesselator* tess)
        {
            TessMesh* mesh = tess->mesh;
            TessFace* fNext;
            for (TessFace* f = mesh->fHead.next; f != &mesh->fHead; f = fNext)
            {
                fNext = f->next;
                TessHalfEdge* e = f->anEdge;
                if (e->lnext->lnext == e)
                {
                    addWinding(e->onext, e);
                    check(tessMeshDelete(mesh, e));
                }
            }
        }
    } // namespace

    bool tessComputeInterior(Tesselator* tess)
    {
        removeDegenerateEdges(tess);
        if (! initPriorityQ(tess))
            return false;
        initEdgeDict(tess);

        TessVertex* v;
        while ((v = pqExtractMin(tess->pq)) != nullptr)
        {
            v->pqHandle = 0; // no longer queued
            // Every vertex at exactly this place merges into v first, so that
            // identical edges of different contours are cut the same way.
            for (;;)
            {
                TessVertex* vNext = pqMinimum(tess->pq);
                if (vNext == nullptr || ! tesvertEq(vNext, v))
                    break;
                vNext = pqExtractMin(tess->pq);
                vNext->pqHandle = 0;
                spliceMergeVertices(tess, v->anEdge, vNext->anEdge);
            }
            sweepEvent(tess, v);
        }

        // A tessellator in its second tessellation or later keeps the empty
        // queue and dictionary for the next sweep. On its first, their memory
        // goes back now, where the triangulation's records may take it.
        doneEdgeDict(tess);
        if (! tess->reused)
            tessReleaseSweep(tess);
        removeDegenerateFaces(tess);
        return true;
    }

    void tessReleaseSweep(Tesselator* tess)
    {
        if (tess->regionPool != nullptr)
            bucketReset(tess->regionPool);
        if (tess->dict != nullptr)
        {
            dictDeleteDict(&tess->alloc, tess->dict);
            tess->dict = nullptr;
        }
        if (tess->pq != nullptr)
        {
            pqDeletePriorityQ(&tess->alloc, tess->pq);
            tess->pq = nullptr;
        }
    }

} // namespace vx
