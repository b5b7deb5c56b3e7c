#include "engine/gfx/geometry/VXTessMesh.h"

#include "engine/gfx/geometry/VXTessBucketAlloc.h"
#include "engine/gfx/geometry/VXTessGeom.h"

#include <functional>

namespace vx
{

    namespace
    {
        // The first half of a pair is the one kept in the global edge list.
        TessHalfEdge* firstOfPair(TessHalfEdge* e)
        {
            return std::less<TessHalfEdge*>()(e->sym, e) ? e->sym : e;
        }

        void initHalfEdge(TessHalfEdge* e, TessHalfEdge* sym)
        {
            e->sym = sym;
            e->onext = e;
            e->lnext = sym;
            e->org = nullptr;
            e->lface = nullptr;
            e->winding = 0;
            e->activeRegion = nullptr;
        }

        // A new edge pair inserted before eNext in the global list: a loop of
        // its own with no vertices or faces yet. Null when out of memory.
        TessHalfEdge* makeEdge(TessMesh* mesh, TessHalfEdge* eNext)
        {
            auto* pair = static_cast<TessEdgePair*>(bucketAlloc(mesh->edgeBucket));
            if (pair == nullptr)
                return nullptr;
            TessHalfEdge* e = &pair->e;
            TessHalfEdge* eSym = &pair->eSym;

            // The previous pair's partner sits in eNext's partner's link.
            eNext = firstOfPair(eNext);
            TessHalfEdge* ePrev = eNext->sym->next;
            eSym->next = ePrev;
            ePrev->sym->next = e;
            e->next = eNext;
            eNext->sym->next = eSym;

            initHalfEdge(e, eSym);
            initHalfEdge(eSym, e);
            return e;
        }

        // The core ring exchange: swaps a->onext and b->onext, keeping the
        // lnext links consistent.
        void splice(TessHalfEdge* a, TessHalfEdge* b)
        {
            TessHalfEdge* aOnext = a->onext;
            TessHalfEdge* bOnext = b->onext;
            aOnext->sym->lnext = b;
            bOnext->sym->lnext = a;
            a->onext = bOnext;
            b->onext = aOnext;
        }

        // Inserts vNew before vNext and makes it the origin of eOrig's ring.
        void makeVertex(TessVertex* vNew, TessHalfEdge* eOrig, TessVertex* vNext)
        {
            TessVertex* vPrev = vNext->prev;
            vNew->prev = vPrev;
            vPrev->next = vNew;
            vNew->next = vNext;
            vNext->prev = vNew;
            vNew->anEdge = eOrig;
            vNew->coords[0] = vNew->coords[1] = vNew->coords[2] = 0.0f;
            vNew->s = vNew->t = 0.0f;
            vNew->pqHandle = 0;
            vNew->n = tessUndef;

            TessHalfEdge* e = eOrig;
            do
            {
                e->org = vNew;
                e = e->onext;
            } while (e != eOrig);
        }

        // Inserts fNew before fNext as a new face with eOrig in its loop.
        void linkFaceBefore(TessFace* fNew, TessHalfEdge* eOrig, TessFace* fNext)
        {
            TessFace* fPrev = fNext->prev;
            fNew->prev = fPrev;
            fPrev->next = fNew;
            fNew->next = fNext;
            fNext->prev = fNew;
            fNew->anEdge = eOrig;
            fNew->trail = nullptr;
            fNew->n = tessUndef;
            fNew->marked = false;
            // A face split off another lies on the same side of the outline.
            fNew->inside = fNext->inside;
        }

        // Inserts fNew before fNext and makes it the left face of eOrig's loop.
        void makeFace(TessFace* fNew, TessHalfEdge* eOrig, TessFace* fNext)
        {
            linkFaceBefore(fNew, eOrig, fNext);
            TessHalfEdge* e = eOrig;
            do
            {
                e->lface = fNew;
                e = e->lnext;
            } while (e != eOrig);
        }

        // Takes f out of the face list and gives its record back.
        void unlinkFace(TessMesh* mesh, TessFace* f)
        {
            f->next->prev = f->prev;
            f->prev->next = f->next;
            bucketFree(mesh->faceBucket, f);
        }

        void killEdge(TessMesh* mesh, TessHalfEdge* eDel)
        {
            eDel = firstOfPair(eDel);
            TessHalfEdge* eNext = eDel->next;
            TessHalfEdge* ePrev = eDel->sym->next;
            eNext->sym->next = ePrev;
            ePrev->sym->next = eNext;
            bucketFree(mesh->edgeBucket, eDel);
        }

        // Unlinks vDel, making newOrg the origin of its ring (null allowed).
        void killVertex(TessMesh* mesh, TessVertex* vDel, TessVertex* newOrg)
        {
            TessHalfEdge* eStart = vDel->anEdge;
            TessHalfEdge* e = eStart;
            do
            {
                e->org = newOrg;
                e = e->onext;
            } while (e != eStart);
            TessVertex* vPrev = vDel->prev;
            TessVertex* vNext = vDel->next;
            vNext->prev = vPrev;
            vPrev->next = vNext;
            bucketFree(mesh->vertexBucket, vDel);
        }

        // Unlinks fDel, making newLface the left face of its loop (null allowed).
        void killFace(TessMesh* mesh, TessFace* fDel, TessFace* newLface)
        {
            TessHalfEdge* eStart = fDel->anEdge;
            TessHalfEdge* e = eStart;
            do
            {
                e->lface = newLface;
                e = e->lnext;
            } while (e != eStart);
            unlinkFace(mesh, fDel);
        }

        // The dummy heads of an empty mesh, each list linked to itself.
        void initHeads(TessMesh* mesh)
        {
            TessVertex* v = &mesh->vHead;
            TessFace* f = &mesh->fHead;
            TessHalfEdge* e = &mesh->eHead.e;
            TessHalfEdge* eSym = &mesh->eHead.eSym;

            v->next = v->prev = v;
            v->anEdge = nullptr;
            v->coords[0] = v->coords[1] = v->coords[2] = 0.0f;
            v->s = v->t = 0.0f;
            v->pqHandle = 0;
            v->n = tessUndef;

            f->next = f->prev = f;
            f->anEdge = nullptr;
            f->trail = nullptr;
            f->n = tessUndef;
            f->marked = false;
            f->inside = false;

            initHalfEdge(e, eSym);
            initHalfEdge(eSym, e);
            e->next = e;
            e->onext = e->lnext = nullptr;
            eSym->next = eSym;
            eSym->onext = eSym->lnext = nullptr;
        }

        int countFaceVertices(const TessFace* f)
        {
            const TessHalfEdge* e = f->anEdge;
            int n = 0;
            do
            {
                ++n;
                e = e->lnext;
            } while (e != f->anEdge);
            return n;
        }
    }

    //==============================================================================
    TessMesh* tessMeshNewMesh(TessAllocator* alloc)
    {
        auto* mesh = static_cast<TessMesh*>(alloc->allocate(alloc->userData, sizeof(TessMesh)));
        if (mesh == nullptr)
            return nullptr;

        alloc->meshEdgeBucketSize = clampBucketSize(alloc->meshEdgeBucketSize, 512);
        alloc->meshVertexBucketSize = clampBucketSize(alloc->meshVertexBucketSize, 512);
        alloc->meshFaceBucketSize = clampBucketSize(alloc->meshFaceBucketSize, 256);

        initHeads(mesh);
        mesh->edgeBucket =
            createBucketAlloc(alloc, "Mesh Edges", sizeof(TessEdgePair), unsigned(alloc->meshEdgeBucketSize));
        mesh->vertexBucket =
            createBucketAlloc(alloc, "Mesh Vertices", sizeof(TessVertex), unsigned(alloc->meshVertexBucketSize));
        mesh->faceBucket =
            createBucketAlloc(alloc, "Mesh Faces", sizeof(TessFace), unsigned(alloc->meshFaceBucketSize));
        if (mesh->edgeBucket == nullptr || mesh->vertexBucket == nullptr || mesh->faceBucket == nullptr)
        {
            if (mesh->edgeBucket != nullptr)
                deleteBucketAlloc(mesh->edgeBucket);
            if (mesh->vertexBucket != nullptr)
                deleteBucketAlloc(mesh->vertexBucket);
            if (mesh->faceBucket != nullptr)
                deleteBucketAlloc(mesh->faceBucket);
            alloc->free(alloc->userData, mesh);
            return nullptr;
        }
        return mesh;
    }

    void tessMeshDeleteMesh(TessAllocator* alloc, TessMesh* mesh)
    {
        deleteBucketAlloc(mesh->edgeBucket);
        deleteBucketAlloc(mesh->vertexBucket);
        deleteBucketAlloc(mesh->faceBucket);
        alloc->free(alloc->userData, mesh);
    }

    void tessMeshReset(TessMesh* mesh)
    {
        initHeads(mesh);
        bucketReset(mesh->edgeBucket);
        bucketReset(mesh->vertexBucket);
        bucketReset(mesh->faceBucket);
    }

    TessMesh* tessMeshUnion(TessAllocator* alloc, TessMesh* mesh1, TessMesh* mesh2)
    {
        TessFace* f1 = &mesh1->fHead;
        TessVertex* v1 = &mesh1->vHead;
        TessHalfEdge* e1 = &mesh1->eHead.e;
        TessFace* f2 = &mesh2->fHead;
        TessVertex* v2 = &mesh2->vHead;
        TessHalfEdge* e2 = &mesh2->eHead.e;

        if (f2->next != f2)
        {
            f1->prev->next = f2->next;
            f2->next->prev = f1->prev;
            f2->prev->next = f1;
            f1->prev = f2->prev;
        }
        if (v2->next != v2)
        {
            v1->prev->next = v2->next;
            v2->next->prev = v1->prev;
            v2->prev->next = v1;
            v1->prev = v2->prev;
        }
        if (e2->next != e2)
        {
            e1->sym->next->sym->next = e2->next;
            e2->next->sym->next = e1->sym->next;
            e2->sym->next->sym->next = e1;
            e1->sym->next = e2->sym->next;
        }

        // The moved records still sit in mesh2's buckets: they move along.
        mergeBucketAlloc(mesh1->edgeBucket, mesh2->edgeBucket);
        mergeBucketAlloc(mesh1->vertexBucket, mesh2->vertexBucket);
        mergeBucketAlloc(mesh1->faceBucket, mesh2->faceBucket);
        alloc->free(alloc->userData, mesh2);
        return mesh1;
    }

    //==============================================================================
    TessHalfEdge* tessMeshMakeEdge(TessMesh* mesh)
    {
        auto* v1 = static_cast<TessVertex*>(bucketAlloc(mesh->vertexBucket));
        auto* v2 = static_cast<TessVertex*>(bucketAlloc(mesh->vertexBucket));
        auto* f = static_cast<TessFace*>(bucketAlloc(mesh->faceBucket));
        TessHalfEdge* e = (v1 && v2 && f) ? makeEdge(mesh, &mesh->eHead.e) : nullptr;
        if (e == nullptr)
        {
            if (v1 != nullptr)
                bucketFree(mesh->vertexBucket, v1);
            if (v2 != nullptr)
                bucketFree(mesh->vertexBucket, v2);
            if (f != nullptr)
                bucketFree(mesh->faceBucket, f);
            return nullptr;
        }
        makeVertex(v1, e, &mesh->vHead);
        makeVertex(v2, e->sym, &mesh->vHead);
        makeFace(f, e, &mesh->fHead);
        return e;
    }

    int tessMeshSplice(TessMesh* mesh, TessHalfEdge* eOrg, TessHalfEdge* eDst)
    {
        if (eOrg == eDst)
            return 1;

        const bool joiningVertices = eDst->org != eOrg->org;
        const bool joiningLoops = eDst->lface != eOrg->lface;

        // Splitting a ring or a loop needs a new record: take it first.
        TessVertex* vNew = nullptr;
        TessFace* fNew = nullptr;
        if (! joiningVertices && (vNew = static_cast<TessVertex*>(bucketAlloc(mesh->vertexBucket))) == nullptr)
            return 0;
        if (! joiningLoops && (fNew = static_cast<TessFace*>(bucketAlloc(mesh->faceBucket))) == nullptr)
        {
            if (vNew != nullptr)
                bucketFree(mesh->vertexBucket, vNew);
            return 0;
        }

        if (joiningVertices)
            killVertex(mesh, eDst->org, eOrg->org);
        if (joiningLoops)
            killFace(mesh, eDst->lface, eOrg->lface);

        splice(eDst, eOrg);

        if (! joiningVertices)
        {
            // eDst's ring became a vertex of its own.
            makeVertex(vNew, eDst, eOrg->org);
            eOrg->org->anEdge = eOrg;
        }
        if (! joiningLoops)
        {
            makeFace(fNew, eDst, eOrg->lface);
            eOrg->lface->anEdge = eOrg;
        }
        return 1;
    }

    int tessMeshDelete(TessMesh* mesh, TessHalfEdge* eDel)
    {
        TessHalfEdge* eDelSym = eDel->sym;
        const bool joiningLoops = eDel->lface != rface(eDel);

        // Removing the edge from its origin's ring splits the shared loop when
        // both sides are one face: that needs a new face.
        TessFace* fNew = nullptr;
        if (! joiningLoops && eDel->onext != eDel &&
            (fNew = static_cast<TessFace*>(bucketAlloc(mesh->faceBucket))) == nullptr)
            return 0;

        if (joiningLoops)
            killFace(mesh, eDel->lface, rface(eDel));

        if (eDel->onext == eDel)
            killVertex(mesh, eDel->org, nullptr);
        else
        {
            rface(eDel)->anEdge = oprev(eDel);
            eDel->org->anEdge = eDel->onext;
            splice(eDel, oprev(eDel));
            if (! joiningLoops)
                makeFace(fNew, eDel, eDel->lface);
        }

        // eDel is now alone around its origin; the same for its partner.
        if (eDelSym->onext == eDelSym)
        {
            killVertex(mesh, eDelSym->org, nullptr);
            killFace(mesh, eDelSym->lface, nullptr);
        }
        else
        {
            eDel->lface->anEdge = oprev(eDelSym);
            eDelSym->org->anEdge = eDelSym->onext;
            splice(eDelSym, oprev(eDelSym));
        }
        killEdge(mesh, eDel);
        return 1;
    }

    namespace
    {
        // Makes f the left face of the half-edges from first on along lnext up
        // to and including last.
        void setPathFace(TessHalfEdge* first, const TessHalfEdge* last, TessFace* f)
        {
            for (TessHalfEdge* e = first;; e = e->lnext)
            {
                e->lface = f;
                if (e == last)
                    return;
            }
        }

        // Moves f in the face list to before fNext, as a face just made there.
        void relinkFaceBefore(TessFace* f, TessHalfEdge* eOrig, TessFace* fNext)
        {
            f->next->prev = f->prev;
            f->prev->next = f->next;
            linkFaceBefore(f, eOrig, fNext);
        }
    }

    int tessMeshMoveInRing(TessMesh* mesh, TessHalfEdge* e, TessHalfEdge* eNext)
    {
        // The ring around v = e->org runs p, e, q, ... r, eNext. Moving e
        // changes the lnext of three half-edges, the cuts: cutQ (q->sym) now
        // leads to p instead of e, cutE (e->sym) to r instead of p, and cutNext
        // (eNext->sym) to e instead of r. The loops through e, p and r are
        // made of three paths, each from one of e, p, r along lnext to the
        // first cut, and the move joins the same paths in another order.
        // Which faces were equal tells how the paths ran. The two splices
        // this stands for, tessMeshSplice(p, e) then tessMeshSplice(r, e),
        // relabel whole loops, some twice; here only the paths whose face
        // changes are walked, and the face list ends exactly as they leave it
        // (a record the first splice frees is the one the second takes).
        TessHalfEdge* p = oprev(e);
        TessHalfEdge* q = e->onext;
        TessHalfEdge* r = oprev(eNext);
        TessVertex* v = e->org;
        if (dst(p) == v || dst(e) == v || dst(q) == v || dst(r) == v || dst(eNext) == v)
        {
            // An edge from v back to v: a path could start at a cut.
            return tessMeshSplice(mesh, p, e) && tessMeshSplice(mesh, oprev(eNext), e);
        }
        TessHalfEdge* cutQ = q->sym;
        TessHalfEdge* cutE = e->sym;
        TessHalfEdge* cutNext = eNext->sym;
        TessFace* fA = e->lface; // the loop through e and cutQ
        TessFace* fB = p->lface; // through p and cutE
        TessFace* fC = r->lface; // through r and cutNext

        if (fA != fB && fB != fC && fA != fC)
        {
            // Loops e..cutQ, p..cutE and r..cutNext become one, on fC.
            setPathFace(e, cutQ, fC);
            setPathFace(p, cutE, fC);
            unlinkFace(mesh, fA);
            unlinkFace(mesh, fB);
        }
        else if (fA != fB)
        {
            // fB == fC: loops e..cutQ and p..cutNext r..cutE become
            // e..cutQ p..cutNext, a face made anew in fA's record in front of
            // fB, and r..cutE on fB.
            // fA == fC: loops e..cutNext r..cutQ and p..cutE become
            // e..cutNext, again fA's record made anew, and p..cutE r..cutQ on
            // fB.
            if (fB == fC)
                setPathFace(p, cutNext, fA);
            else
                setPathFace(r, cutQ, fB);
            relinkFaceBefore(fA, e, fB);
            fB->anEdge = r;
        }
        else if (fA != fC)
        {
            // Loops e..cutE p..cutQ and r..cutNext become e..cutE r..cutNext
            // on fC and p..cutQ on fA.
            setPathFace(e, cutE, fC);
            fA->anEdge = p;
        }
        else
        {
            // One loop: its path from e ends at cutE or at cutNext.
            const TessHalfEdge* last = e;
            while (last != cutE && last != cutNext)
                last = last->lnext;
            if (last == cutNext)
            {
                // e..cutNext r..cutE p..cutQ becomes three loops: p..cutQ on
                // fA, r..cutE on a new face in front of fA and e..cutNext on
                // a new face in front of that.
                auto* fR = static_cast<TessFace*>(bucketAlloc(mesh->faceBucket));
                if (fR == nullptr)
                    return 0;
                auto* fE = static_cast<TessFace*>(bucketAlloc(mesh->faceBucket));
                if (fE == nullptr)
                {
                    bucketFree(mesh->faceBucket, fR);
                    return 0;
                }
                linkFaceBefore(fR, r, fA);
                linkFaceBefore(fE, e, fR);
                setPathFace(r, cutE, fR);
                setPathFace(e, cutNext, fE);
            }
            // Else e..cutE p..cutNext r..cutQ stays one loop, as
            // e..cutE r..cutQ p..cutNext.
            fA->anEdge = p;
        }

        v->anEdge = p;
        splice(e, p);
        splice(e, r);
        return 1;
    }

    TessHalfEdge* tessMeshAddEdgeVertex(TessMesh* mesh, TessHalfEdge* eOrg)
    {
        auto* vNew = static_cast<TessVertex*>(bucketAlloc(mesh->vertexBucket));
        if (vNew == nullptr)
            return nullptr;
        TessHalfEdge* eNew = makeEdge(mesh, eOrg);
        if (eNew == nullptr)
        {
            bucketFree(mesh->vertexBucket, vNew);
            return nullptr;
        }
        TessHalfEdge* eNewSym = eNew->sym;

        // The new edge follows eOrg around eOrg's left face.
        splice(eNew, eOrg->lnext);
        eNew->org = dst(eOrg);
        makeVertex(vNew, eNewSym, eNew->org);
        eNew->lface = eNewSym->lface = eOrg->lface;
        return eNew;
    }

    TessHalfEdge* tessMeshSplitEdge(TessMesh* mesh, TessHalfEdge* eOrg)
    {
        TessHalfEdge* tempHalfEdge = tessMeshAddEdgeVertex(mesh, eOrg);
        if (tempHalfEdge == nullptr)
            return nullptr;
        TessHalfEdge* eNew = tempHalfEdge->sym;

        // Disconnect eOrg from its destination and connect it to the new vertex.
        splice(eOrg->sym, oprev(eOrg->sym));
        splice(eOrg->sym, eNew);

        eOrg->sym->org = eNew->org;
        dst(eNew)->anEdge = eNew->sym;
        eNew->sym->lface = rface(eOrg);
        eNew->winding = eOrg->winding; // copy the old edge's winding
        eNew->sym->winding = eOrg->sym->winding;
        return eNew;
    }

    TessHalfEdge* tessMeshConnect(TessMesh* mesh, TessHalfEdge* eOrg, TessHalfEdge* eDst)
    {
        const bool joiningLoops = eDst->lface != eOrg->lface;
        TessFace* fNew = nullptr;
        if (! joiningLoops && (fNew = static_cast<TessFace*>(bucketAlloc(mesh->faceBucket))) == nullptr)
            return nullptr;
        TessHalfEdge* eNew = makeEdge(mesh, eOrg);
        if (eNew == nullptr)
        {
            if (fNew != nullptr)
                bucketFree(mesh->faceBucket, fNew);
            return nullptr;
        }
        TessHalfEdge* eNewSym = eNew->sym;

        if (joiningLoops)
            killFace(mesh, eDst->lface, eOrg->lface);

        splice(eNew, eOrg->lnext);
        splice(eNewSym, eDst);

        eNew->org = dst(eOrg);
        eNewSym->org = eDst->org;
        eNew->lface = eNewSym->lface = eOrg->lface;

        // Make sure the old face points to a valid half-edge.
        eOrg->lface->anEdge = eNewSym;
        if (! joiningLoops)
            makeFace(fNew, eNew, eOrg->lface);
        return eNew;
    }

    void tessMeshZapFace(TessMesh* mesh, TessFace* fZap)
    {
        TessHalfEdge* eStart = fZap->anEdge;
        TessHalfEdge* eNext = eStart->lnext;
        TessHalfEdge* e;
        do
        {
            e = eNext;
            eNext = e->lnext;
            e->lface = nullptr;
            if (rface(e) == nullptr)
            {
                // Nothing on either side: the edge goes.
                if (e->onext == e)
                    killVertex(mesh, e->org, nullptr);
                else
                {
                    e->org->anEdge = e->onext;
                    splice(e, oprev(e));
                }
                TessHalfEdge* eSym = e->sym;
                if (eSym->onext == eSym)
                    killVertex(mesh, eSym->org, nullptr);
                else
                {
                    eSym->org->anEdge = eSym->onext;
                    splice(eSym, oprev(eSym));
                }
                killEdge(mesh, e);
            }
        } while (e != eStart);

        TessFace* fPrev = fZap->prev;
        TessFace* fNext = fZap->next;
        fNext->prev = fPrev;
        fPrev->next = fNext;
        bucketFree(mesh->faceBucket, fZap);
    }

    //==============================================================================
    int tessMeshMergeConvexFaces(TessMesh* mesh, int maxVertsPerFace)
    {
        for (TessFace* f = mesh->fHead.next; f != &mesh->fHead; f = f->next)
        {
            if (! f->inside)
                continue;
            TessHalfEdge* eCur = f->anEdge;
            const TessVertex* vStart = eCur->org;
            for (;;)
            {
                TessHalfEdge* eNext = eCur->lnext;
                TessHalfEdge* eSym = eCur->sym;
                // An edge with f on both sides is no join of two faces: deleting
                // it would split f and the walk would lose its start.
                if (eSym != nullptr && eSym->lface != nullptr && eSym->lface != f && eSym->lface->inside)
                {
                    const int curNv = countFaceVertices(f);
                    const int symNv = countFaceVertices(eSym->lface);
                    if (curNv + symNv - 2 <= maxVertsPerFace &&
                        tesvertCCW(lprev(eCur)->org, eCur->org, eSym->lnext->lnext->org) &&
                        tesvertCCW(lprev(eSym)->org, eSym->org, eCur->lnext->lnext->org))
                    {
                        eNext = eSym->lnext;
                        if (! tessMeshDelete(mesh, eSym))
                            return 0;
                        eCur = nullptr;
                    }
                }
                if (eCur != nullptr && eCur->lnext->org == vStart)
                    break;
                eCur = eNext;
            }
        }
        return 1;
    }

    int tessMeshTessellateMonoRegion(TessMesh* mesh, TessFace* face)
    {
        // The face is monotone in s: its loop is an upper chain and a lower
        // chain from its rightmost to its leftmost vertex. Numerical trouble
        // can break that; the walks are bounded by the loop length so a broken
        // face fails instead of looping for ever.
        const int numEdges = countFaceVertices(face);
        if (numEdges < 3)
            return 1;
        int budget = 4 * numEdges + 8;

        TessHalfEdge* up = face->anEdge;
        for (; tesvertLeq(dst(up), up->org); up = lprev(up))
            if (--budget < 0)
                return 0;
        for (; tesvertLeq(up->org, dst(up)); up = up->lnext)
            if (--budget < 0)
                return 0;
        TessHalfEdge* lo = lprev(up);

        while (up->lnext != lo)
        {
            if (--budget < 0)
                return 0;
            if (tesvertLeq(dst(up), lo->org))
            {
                // dst(up) is on the left: triangles can be made from lo->org.
                // Testing that the edge goes left keeps progress even when some
                // triangles come out clockwise.
                while (lo->lnext != up &&
                       (tesedgeGoesLeft(lo->lnext) || tesedgeSign(lo->org, dst(lo), dst(lo->lnext)) <= 0.0f))
                {
                    TessHalfEdge* tempHalfEdge = tessMeshConnect(mesh, lo->lnext, lo);
                    if (tempHalfEdge == nullptr)
                        return 0;
                    lo = tempHalfEdge->sym;
                }
                lo = lprev(lo);
            }
            else
            {
                // lo->org is on the left: counter-clockwise triangles from dst(up).
                while (lo->lnext != up &&
                       (tesedgeGoesRight(lprev(up)) || tesedgeSign(dst(up), up->org, lprev(up)->org) >= 0.0f))
                {
                    TessHalfEdge* tempHalfEdge = tessMeshConnect(mesh, up, lprev(up));
                    if (tempHalfEdge == nullptr)
                        return 0;
                    up = tempHalfEdge->sym;
                }
                up = up->lnext;
            }
        }

        // lo->org == dst(up) is the leftmost vertex: fan out the rest from it.
        if (lo->lnext == up)
            return 0;
        while (lo->lnext->lnext != up)
        {
            TessHalfEdge* tempHalfEdge = tessMeshConnect(mesh, lo->lnext, lo);
            if (tempHalfEdge == nullptr)
                return 0;
            lo = tempHalfEdge->sym;
        }
        return 1;
    }

    int tessMeshTessellateInterior(TessMesh* mesh)
    {
        TessFace* next;
        for (TessFace* f = mesh->fHead.next; f != &mesh->fHead; f = next)
        {
            // New triangles go in before f and are not visited again.
            next = f->next;
            if (f->inside && ! tessMeshTessellateMonoRegion(mesh, f))
                return 0;
        }
        return 1;
    }

    void tessMeshDiscardExterior(TessMesh* mesh)
    {
        TessFace* next;
        for (TessFace* f = mesh->fHead.next; f != &mesh->fHead; f = next)
        {
            next = f->next;
            if (! f->inside)
                tessMeshZapFace(mesh, f);
        }
    }

    int tessMeshSetWindingNumber(TessMesh* mesh, int value, bool keepOnlyBoundary)
    {
        TessHalfEdge* eNext;
        for (TessHalfEdge* e = mesh->eHead.e.next; e != &mesh->eHead.e; e = eNext)
        {
            eNext = e->next;
            if (rface(e)->inside != e->lface->inside)
                e->winding = e->lface->inside ? value : -value;
            else if (! keepOnlyBoundary)
                e->winding = 0;
            else if (! tessMeshDelete(mesh, e))
                return 0;
        }
        return 1;
    }

} // namespace vx
