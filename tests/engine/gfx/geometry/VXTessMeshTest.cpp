#include "engine/gfx/geometry/VXTessMesh.h"

#include "VXTessTestSupport.h"
#include "engine/gfx/geometry/VXTessBucketAlloc.h"
#include "engine/gfx/geometry/VXTessGeom.h"
#include "engine/gfx/geometry/VXTessPriorityQ.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>
#include <vector>

namespace vx
{
    namespace
    {
        int countFaces(const TessMesh* mesh)
        {
            int n = 0;
            for (const TessFace* f = mesh->fHead.next; f != &mesh->fHead; f = f->next)
                ++n;
            return n;
        }

        std::vector<TessHalfEdge*> allHalfEdges(TessMesh* mesh)
        {
            std::vector<TessHalfEdge*> edges;
            for (TessHalfEdge* e = mesh->eHead.e.next; e != &mesh->eHead.e; e = e->next)
            {
                edges.push_back(e);
                edges.push_back(e->sym);
            }
            return edges;
        }

        // A mesh over counted memory, checked for leaks when the test ends.
        class TessMeshTest : public ::testing::Test
        {
        protected:
            void SetUp() override
            {
                allocator.record.meshEdgeBucketSize = 16;
                allocator.record.meshVertexBucketSize = 16;
                allocator.record.meshFaceBucketSize = 16;
                mesh = tessMeshNewMesh(&allocator.record);
                ASSERT_NE(mesh, nullptr);
            }
            void TearDown() override
            {
                if (mesh != nullptr)
                    tessMeshDeleteMesh(&allocator.record, mesh);
                EXPECT_EQ(allocator.live, 0);
            }

            // A closed loop of n edges, as the tessellator adds a contour.
            TessHalfEdge* makeLoop(int n)
            {
                TessHalfEdge* e = tessMeshMakeEdge(mesh);
                EXPECT_TRUE(tessMeshSplice(mesh, e, e->sym));
                for (int i = 1; i < n; ++i)
                {
                    EXPECT_NE(tessMeshSplitEdge(mesh, e), nullptr);
                    e = e->lnext;
                }
                return e;
            }

            test::CountingAllocator allocator;
            TessMesh* mesh = nullptr;
        };

        TEST_F(TessMeshTest, ConnectSplitsOneFaceAndJoinsTwo)
        {
            TessHalfEdge* a = makeLoop(6);
            ASSERT_EQ(test::checkMesh(mesh), "");
            const int before = countFaces(mesh);
            // Across one face: one face more.
            TessHalfEdge* diagonal = tessMeshConnect(mesh, a, a->lnext->lnext->lnext);
            ASSERT_NE(diagonal, nullptr);
            EXPECT_EQ(countFaces(mesh), before + 1);
            EXPECT_EQ(test::checkMesh(mesh), "");
            // Between two faces (this loop and another contour): one face less.
            TessHalfEdge* other = makeLoop(3);
            const int withOther = countFaces(mesh);
            ASSERT_NE(tessMeshConnect(mesh, a, other), nullptr);
            EXPECT_EQ(countFaces(mesh), withOther - 1);
            EXPECT_EQ(test::checkMesh(mesh), "");
        }

        // Random sequences of every mesh operation with the checker after
        // each step.
        TEST_F(TessMeshTest, RandomOperationsKeepTheMeshConsistent)
        {
            std::mt19937 random(77u);
            for (int i = 0; i < 4; ++i)
                makeLoop(3 + i);
            ASSERT_EQ(test::checkMesh(mesh), "");
            for (int step = 0; step < 600; ++step)
            {
                auto edges = allHalfEdges(mesh);
                if (edges.size() < 4)
                {
                    makeLoop(5);
                    continue;
                }
                std::uniform_int_distribution<size_t> pick(0, edges.size() - 1);
                TessHalfEdge* a = edges[pick(random)];
                TessHalfEdge* b = edges[pick(random)];
                const int op = std::uniform_int_distribution<int>(0, 5)(random);
                switch (op)
                {
                    case 0:
                        ASSERT_NE(tessMeshSplitEdge(mesh, a), nullptr);
                        break;
                    case 1:
                        ASSERT_NE(tessMeshAddEdgeVertex(mesh, a), nullptr);
                        break;
                    case 2:
                        ASSERT_NE(tessMeshConnect(mesh, a, b), nullptr);
                        break;
                    case 3:
                        ASSERT_TRUE(tessMeshSplice(mesh, a, b));
                        break;
                    case 4:
                        ASSERT_TRUE(tessMeshDelete(mesh, a));
                        break;
                    case 5:
                        ASSERT_NE(tessMeshMakeEdge(mesh), nullptr);
                        break;
                }
                ASSERT_EQ(test::checkMesh(mesh), "") << "step " << step << " operation " << op;
            }
            // Zapping the faces one by one takes the mesh apart cleanly.
            while (mesh->fHead.next != &mesh->fHead)
            {
                tessMeshZapFace(mesh, mesh->fHead.next);
                ASSERT_EQ(test::checkMesh(mesh), "") << "after zapping a face";
            }
            EXPECT_EQ(mesh->vHead.next, &mesh->vHead) << "no vertex left";
            EXPECT_EQ(mesh->eHead.e.next, &mesh->eHead.e) << "no edge left";
        }

        // A mesh from random operations of the given seed: the same seed makes
        // the same mesh, faces inside or not at random.
        void buildRandomMesh(TessMesh* mesh, unsigned seed)
        {
            std::mt19937 random(seed);
            for (int step = 0; step < 40; ++step)
            {
                auto edges = allHalfEdges(mesh);
                const int op = edges.size() < 4 ? 4 : std::uniform_int_distribution<int>(0, 4)(random);
                std::uniform_int_distribution<size_t> pick(0, edges.empty() ? 0 : edges.size() - 1);
                TessHalfEdge* a = edges.empty() ? nullptr : edges[pick(random)];
                TessHalfEdge* b = edges.empty() ? nullptr : edges[pick(random)];
                switch (op)
                {
                    case 0:
                        tessMeshSplitEdge(mesh, a);
                        break;
                    case 1:
                        tessMeshAddEdgeVertex(mesh, a);
                        break;
                    case 2:
                        tessMeshConnect(mesh, a, b);
                        break;
                    case 3:
                        tessMeshSplice(mesh, a, b);
                        break;
                    default:
                        tessMeshMakeEdge(mesh);
                }
            }
            for (TessFace* f = mesh->fHead.next; f != &mesh->fHead; f = f->next)
                f->inside = std::uniform_int_distribution<int>(0, 1)(random) == 1;
        }

        // Every link of the mesh as positions in its lists, so two meshes made
        // the same way compare equal exactly when they are.
        std::vector<int> describe(TessMesh* mesh)
        {
            std::map<const void*, int> index{{nullptr, -1}};
            int n = 0;
            for (TessHalfEdge* e : allHalfEdges(mesh))
                index[e] = n++;
            n = 0;
            for (TessVertex* v = mesh->vHead.next; v != &mesh->vHead; v = v->next)
                index[v] = n++;
            n = 0;
            for (TessFace* f = mesh->fHead.next; f != &mesh->fHead; f = f->next)
                index[f] = n++;
            std::vector<int> out;
            for (TessHalfEdge* e : allHalfEdges(mesh))
                out.insert(out.end(), {index[e->onext], index[e->lnext], index[e->org], index[e->lface]});
            for (TessVertex* v = mesh->vHead.next; v != &mesh->vHead; v = v->next)
                out.push_back(index[v->anEdge]);
            for (TessFace* f = mesh->fHead.next; f != &mesh->fHead; f = f->next)
                out.insert(out.end(), {index[f->anEdge], int(f->inside), int(f->marked), f->n});
            return out;
        }

        // Moving an edge in its ring leaves the mesh exactly as the two
        // splices it stands for, for every way the faces around the ring can
        // be shared (all six seen).
        TEST_F(TessMeshTest, MovingAnEdgeInItsRingEqualsTheTwoSplices)
        {
            std::set<std::pair<int, int>> seen; // faces shared, face count change
            for (unsigned seed = 1; seed <= 400; ++seed)
            {
                TessMesh* moved = tessMeshNewMesh(&allocator.record);
                TessMesh* spliced = tessMeshNewMesh(&allocator.record);
                buildRandomMesh(moved, seed);
                buildRandomMesh(spliced, seed);
                ASSERT_EQ(describe(moved), describe(spliced));

                // A ring of at least three, e and a place in it other than its own.
                std::mt19937 random(seed);
                const auto edgesMoved = allHalfEdges(moved);
                const auto edgesSpliced = allHalfEdges(spliced);
                std::vector<size_t> candidates;
                for (size_t i = 0; i < edgesMoved.size(); ++i)
                    if (edgesMoved[i]->onext->onext != edgesMoved[i])
                        candidates.push_back(i);
                if (! candidates.empty())
                {
                    const size_t i = candidates[random() % candidates.size()];
                    TessHalfEdge* e = edgesMoved[i];
                    std::vector<TessHalfEdge*> ring;
                    for (TessHalfEdge* x = e->onext->onext; x != e; x = x->onext)
                        ring.push_back(x);
                    TessHalfEdge* eNext = ring[random() % ring.size()];
                    const size_t j =
                        size_t(std::find(edgesMoved.begin(), edgesMoved.end(), eNext) - edgesMoved.begin());

                    const TessFace* fA = e->lface;
                    const TessFace* fB = oprev(e)->lface;
                    const TessFace* fC = oprev(eNext)->lface;
                    const int shared = (fA == fB) + 2 * (fB == fC) + 4 * (fA == fC);
                    const int faces = countFaces(moved);

                    ASSERT_TRUE(tessMeshMoveInRing(moved, e, eNext));
                    ASSERT_TRUE(tessMeshSplice(spliced, oprev(edgesSpliced[i]), edgesSpliced[i]));
                    ASSERT_TRUE(tessMeshSplice(spliced, oprev(edgesSpliced[j]), edgesSpliced[i]));
                    ASSERT_EQ(test::checkMesh(moved), "") << "seed " << seed;
                    ASSERT_EQ(describe(moved), describe(spliced)) << "seed " << seed;
                    EXPECT_EQ(e->onext, eNext);
                    seen.insert({shared, countFaces(moved) - faces});
                }
                tessMeshDeleteMesh(&allocator.record, moved);
                tessMeshDeleteMesh(&allocator.record, spliced);
            }
            const std::set<std::pair<int, int>> all{{0, -2}, {1, 0}, {2, 0}, {4, 0}, {7, 0}, {7, 2}};
            for (const auto& kind : all)
                EXPECT_TRUE(seen.count(kind)) << "faces shared " << kind.first << ", change " << kind.second;
        }

        TEST_F(TessMeshTest, FailedAllocationsLeaveTheMeshAsItWas)
        {
            TessHalfEdge* a = makeLoop(5);
            for (int step = 0; step < 50; ++step)
            {
                allocator.failAt = allocator.calls; // the next allocation fails
                TessHalfEdge* far = a->lnext->lnext;
                // Splitting fills buckets; once the bucket is exhausted the
                // operation fails cleanly.
                tessMeshSplitEdge(mesh, a);
                tessMeshConnect(mesh, a, far);
                allocator.failAt = -1;
                ASSERT_EQ(test::checkMesh(mesh), "") << "step " << step;
            }
        }

        TEST_F(TessMeshTest, UnionMovesEverythingAndFreesTheOther)
        {
            makeLoop(4);
            TessMesh* other = tessMeshNewMesh(&allocator.record);
            TessMesh* saved = mesh;
            mesh = other;
            makeLoop(7);
            mesh = saved;
            const int faces = countFaces(mesh) + countFaces(other);
            mesh = tessMeshUnion(&allocator.record, mesh, other);
            EXPECT_EQ(countFaces(mesh), faces);
            EXPECT_EQ(test::checkMesh(mesh), "");
            makeLoop(3); // the moved buckets serve further records
            EXPECT_EQ(test::checkMesh(mesh), "");
        }

        TEST_F(TessMeshTest, MergingConvexFacesIntoTrianglesChangesNothing)
        {
            // A fan of triangles around a convex polygon, all inside.
            TessHalfEdge* a = makeLoop(6);
            float angle = 0.0f;
            TessHalfEdge* e = a;
            do
            {
                e->org->s = std::cos(angle);
                e->org->t = std::sin(angle);
                angle += 1.0f;
                e = e->lnext;
            } while (e != a);
            a->lface->inside = true;
            ASSERT_TRUE(tessMeshTessellateMonoRegion(mesh, a->lface));
            ASSERT_EQ(test::checkMesh(mesh), "");
            const int triangles = countFaces(mesh);
            ASSERT_TRUE(tessMeshMergeConvexFaces(mesh, 3));
            EXPECT_EQ(countFaces(mesh), triangles);
            ASSERT_TRUE(tessMeshMergeConvexFaces(mesh, 6));
            EXPECT_EQ(countFaces(mesh), triangles - 3) << "the four triangles become one hexagon";
            EXPECT_EQ(test::checkMesh(mesh), "");
        }

        TEST(TessBucketAllocTest, TheFirstBucketHoldsBackItsLastItem)
        {
            test::CountingAllocator allocator;
            BucketAlloc* ba = createBucketAlloc(&allocator.record, "Test", 24, 16);
            ASSERT_NE(ba, nullptr);
            EXPECT_EQ(allocator.live, 2); // the record and one bucket
            std::set<void*> items;
            for (int i = 0; i < 15; ++i)
                items.insert(bucketAlloc(ba));
            EXPECT_EQ(allocator.live, 2) << "15 of 16 items from the first bucket";
            items.insert(bucketAlloc(ba));
            EXPECT_EQ(allocator.live, 3) << "the 16th request makes a new bucket first";
            EXPECT_EQ(items.size(), 16u);
            for (void* p : items)
                bucketFree(ba, p);
            std::set<void*> again;
            for (int i = 0; i < 16; ++i)
                again.insert(bucketAlloc(ba));
            EXPECT_EQ(again, items) << "freed items are reused";

            // Reset keeps both buckets and hands items out as a new allocator
            // would: the first of them again holds back its last item.
            bucketReset(ba);
            std::set<void*> afterReset;
            for (int i = 0; i < 16; ++i)
                afterReset.insert(bucketAlloc(ba));
            EXPECT_EQ(afterReset.size(), 16u);
            EXPECT_EQ(allocator.live, 3) << "no bucket made after a reset";
            for (int i = 0; i < 15; ++i)
                bucketAlloc(ba);
            EXPECT_EQ(allocator.live, 3) << "31 items from the two kept buckets";
            bucketAlloc(ba);
            EXPECT_EQ(allocator.live, 4) << "beyond the kept buckets a new one is made";
            deleteBucketAlloc(ba);
            EXPECT_EQ(allocator.live, 0);
            EXPECT_EQ(clampBucketSize(0, 512), 512);
            EXPECT_EQ(clampBucketSize(3, 512), 16);
            EXPECT_EQ(clampBucketSize(100000, 512), 4096);
        }

        // The event queue against a multiset, with sorted and heap keys,
        // deletions of both kinds and interleaved extraction.
        TEST(TessPriorityQTest, ExtractsInVertexOrder)
        {
            std::mt19937 random(5u);
            std::uniform_int_distribution<int> coordinate(0, 20);
            std::vector<TessVertex> vertices(600);
            for (auto& v : vertices)
            {
                v.s = float(coordinate(random));
                v.t = float(coordinate(random));
            }
            auto key = [](const TessVertex* v) { return std::make_pair(v->s, v->t); };

            test::CountingAllocator allocator;
            PriorityQ* pq = pqNewPriorityQ(&allocator.record, 16, &tesvertLeq);
            std::multimap<std::pair<float, float>, TessVertex*> reference;
            std::map<TessVertex*, int> handles;
            for (int i = 0; i < 300; ++i)
            {
                handles[&vertices[size_t(i)]] = pqInsert(&allocator.record, pq, &vertices[size_t(i)]);
                reference.emplace(key(&vertices[size_t(i)]), &vertices[size_t(i)]);
            }
            ASSERT_TRUE(pqInit(&allocator.record, pq));
            size_t next = 300;
            while (! reference.empty())
            {
                const int op = std::uniform_int_distribution<int>(0, 3)(random);
                if (op == 0 && next < vertices.size())
                {
                    TessVertex* v = &vertices[next++];
                    handles[v] = pqInsert(&allocator.record, pq, v);
                    reference.emplace(key(v), v);
                }
                else if (op == 1)
                {
                    auto it = reference.begin();
                    std::advance(it, std::uniform_int_distribution<size_t>(0, reference.size() - 1)(random));
                    pqDelete(pq, handles[it->second]);
                    reference.erase(it);
                }
                else
                {
                    TessVertex* v = pqExtractMin(pq);
                    ASSERT_NE(v, nullptr);
                    ASSERT_EQ(key(v), reference.begin()->first);
                    auto range = reference.equal_range(key(v));
                    for (auto it = range.first; it != range.second; ++it)
                        if (it->second == v)
                        {
                            reference.erase(it);
                            break;
                        }
                }
            }
            EXPECT_TRUE(pqIsEmpty(pq));
            EXPECT_EQ(pqExtractMin(pq), nullptr);
            pqDeletePriorityQ(&allocator.record, pq);
            EXPECT_EQ(allocator.live, 0);
        }

        TEST(TessPriorityQTest, HeapWithoutReallocationRefusesBeyondHalfItsRoom)
        {
            test::CountingAllocator allocator(false);
            std::vector<TessVertex> vertices(20);
            PriorityQ* pq = pqNewPriorityQ(&allocator.record, 16, &tesvertLeq);
            ASSERT_TRUE(pqInit(&allocator.record, pq));
            int accepted = 0;
            for (auto& v : vertices)
                accepted += pqInsert(&allocator.record, pq, &v) != pqInvalidHandle;
            EXPECT_EQ(accepted, 8);
            pqDeletePriorityQ(&allocator.record, pq);
            EXPECT_EQ(allocator.live, 0);
        }

    } // namespace
} // namespace vx
