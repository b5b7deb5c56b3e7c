#include "engine/gui/VXSnapper.h"

#include <cmath>

#include "core/VXColor.h"
#include "core/VXLog.h"
#include "engine/gfx/VXRenderer.h"

namespace vx
{
    namespace
    {
        using Vec = TVec2<float>;

        constexpr float alignmentTolerance = 1e-5f;
        constexpr float equalDistance = 0.1f;
        constexpr float perpendicularTolerance = 0.0001f;

        struct Line
        {
            Vec normal;
            Vec start;
            Vec end;
        };

        // The unit normal of the edge a to b (unnormalised for a zero edge).
        Vec edgeNormal(const Vec& a, const Vec& b)
        {
            return Vec(-(b.y - a.y), b.x - a.x).normalized();
        }

        bool isParallelOrPerpendicular(float t)
        {
            return std::abs(t) < alignmentTolerance || std::abs(1.0f - std::abs(t)) < alignmentTolerance;
        }

        float lineExtent(const Snapper::Snap& s)
        {
            return (s.position - s.lineStart).squareLength() + (s.position - s.lineEnd).squareLength();
        }

        Snapper::Snap cleared()
        {
            return {};
        }
    }

    void Snapper::addSnapShape(const Polygon& polygon, float distance)
    {
        SnapShape shape;
        shape.polygon = polygon;
        shape.distance = distance;
        shape.isRect = polygon.isRect();
        if (shape.isRect)
            shape.direction = (polygon[1] - polygon[0]).normalized();
        shapes.push_back(std::move(shape));
    }

    void Snapper::clearSnapShapes()
    {
        shapes.clear();
    }

    void Snapper::setupSnapGrid(float cellWidth, float cellHeight, float distance)
    {
        if (! (cellWidth > 0.0f) || ! (cellHeight > 0.0f) || ! std::isfinite(cellWidth) || ! std::isfinite(cellHeight))
        {
            logPrint(logError, "Snapper::setupSnapGrid: refused a grid of %g x %g cells.", double(cellWidth),
                     double(cellHeight));
            gridEnabled = false;
            return;
        }
        gridEnabled = true;
        gridCellWidth = cellWidth;
        gridCellHeight = cellHeight;
        gridDistance = distance;
    }

    void Snapper::clearSnapGrid()
    {
        gridEnabled = false;
    }

    void Snapper::clearAll()
    {
        clearSnapShapes();
        clearSnapGrid();
    }

    void Snapper::resetSnaps()
    {
        snaps[0] = cleared();
        snaps[1] = cleared();
    }

    bool Snapper::isBetter(const Snap& a, const Snap& b)
    {
        if (std::abs(std::abs(a.distance) - std::abs(b.distance)) < equalDistance)
            return lineExtent(a) > lineExtent(b);
        return std::abs(a.distance) < std::abs(b.distance);
    }

    // The pairwise rule is not transitive (nearly equal distances chain), so
    // no sort may use it; a scan picks one candidate no other beats when met.
    const Snapper::Snap* Snapper::findBest(const std::vector<Snap>& candidates)
    {
        const Snap* best = nullptr;
        for (const Snap& candidate : candidates)
            if (best == nullptr || isBetter(candidate, *best))
                best = &candidate;
        return best;
    }

    void Snapper::snapToShape(const Vec& point, const Vec& dir, const Polygon& polygon, float reach, bool centreGuides,
                              bool bounded, bool alongDir, bool acrossDir, std::vector<Snap>& out)
    {
        if (polygon.size() == 0)
            return;
        std::vector<Line> lines;
        if (centreGuides)
        {
            const Vec centre = polygon.getCenter();
            const bool axisAligned = dir == Vec() || std::abs(dir.x) < alignmentTolerance ||
                                     std::abs(1.0f - std::abs(dir.x)) < alignmentTolerance;
            if (axisAligned)
            {
                lines.push_back({Vec(0.0f, 1.0f), centre, centre});
                lines.push_back({Vec(-1.0f, 0.0f), centre, centre});
            }
            if (polygon.isRect())
            {
                const Vec u = (polygon[1] - polygon[0]).normalized();
                if (! (std::abs(u.x) < alignmentTolerance || std::abs(u.y) < alignmentTolerance))
                {
                    lines.push_back({u, centre, centre});
                    lines.push_back({(polygon[3] - polygon[0]).normalized(), centre, centre});
                }
            }
        }
        polygon.forEachEdge([&lines](const Vec& a, const Vec& b) { lines.push_back({edgeNormal(a, b), a, b}); });

        const bool filter = dir != Vec();
        for (const Line& line : lines)
        {
            if (filter)
            {
                const float t = line.normal.dot(dir);
                if (acrossDir && ! (std::abs(1.0f - std::abs(t)) < alignmentTolerance))
                    continue;
                if (! acrossDir && alongDir && ! (std::abs(t) < alignmentTolerance))
                    continue;
            }
            if (bounded)
            {
                const Vec u = (line.end - line.start).normalized();
                const float along = u.dot(point);
                if (along < u.dot(line.start) || along > u.dot(line.end))
                    continue;
            }
            const float distance = line.normal.dot(line.start) - line.normal.dot(point);
            if (std::abs(distance) <= reach)
                out.push_back({line.normal, distance, point + line.normal * distance, line.start, line.end});
        }
    }

    void Snapper::gatherGrid(const Vec& point, const Vec& dir, bool alongDir, bool acrossDir,
                             std::vector<Snap>& out) const
    {
        const float x = std::floor(point.x / gridCellWidth) * gridCellWidth;
        const float y = std::floor(point.y / gridCellHeight) * gridCellHeight;
        if (! std::isfinite(x) || ! std::isfinite(y))
            return;
        const Polygon cell(RectT<float>(x, y, x + gridCellWidth, y + gridCellHeight));
        snapToShape(point, dir, cell, gridDistance, false, false, alongDir, acrossDir, out);
    }

    bool Snapper::snapTranslation(const Polygon& polygon, Vec& d, const Vec& pixelSize)
    {
        resetSnaps();
        if (polygon.size() == 0)
            return false;
        std::vector<Snap> candidates;
        if (gridEnabled)
        {
            for (const Vec& v : polygon.getVertices())
                gatherGrid(v + d, Vec(), false, false, candidates);
        }
        else
        {
            const bool polygonIsRect = polygon.isRect();
            for (const SnapShape& shape : shapes)
            {
                const float reach = shape.distance * pixelSize.x;
                Vec dir;
                bool aligned = true;
                if (shape.isRect && polygonIsRect)
                {
                    dir = (polygon[1] - polygon[0]).normalized();
                    aligned = isParallelOrPerpendicular(dir.dot(shape.direction));
                }
                for (const Vec& v : polygon.getVertices())
                    snapToShape(v + d, dir, shape.polygon, reach, shape.polygon.size() > 2, ! aligned, false, false,
                                candidates);
                snapToShape(polygon.getCenter() + d, Vec(), shape.polygon, reach, true, false, false, false,
                            candidates);
            }
        }
        const Snap* primary = findBest(candidates);
        if (primary == nullptr)
            return false;
        d += primary->direction * primary->distance;
        snaps[0] = *primary;

        const Vec perpendicular = Vec(-primary->direction.y, primary->direction.x).normalized();
        std::vector<Snap> across;
        for (const Snap& candidate : candidates)
            if (std::abs(1.0f - std::abs(candidate.direction.dot(perpendicular))) < perpendicularTolerance)
                across.push_back(candidate);
        if (const Snap* secondary = findBest(across))
        {
            d += secondary->direction * secondary->distance;
            snaps[1] = *secondary;
            // Both guides pass through the final position.
            snaps[0].position += snaps[1].direction * snaps[1].distance;
            snaps[1].position += snaps[0].direction * snaps[0].distance;
        }
        return true;
    }

    Vec Snapper::getScaledVertex(const Matrix& basis, const Vec& anchor, const Vec& factor, const Vec& v)
    {
        const Vec column0(basis.m[0], basis.m[1]);
        const Vec column1(basis.m[3], basis.m[4]);
        const Vec offset = v - anchor;
        const Vec local(offset.dot(column0) * factor.x, offset.dot(column1) * factor.y);
        return anchor + column0 * local.x + column1 * local.y;
    }

    bool Snapper::snapScaleEdge(const Polygon& polygon, unsigned edge, const Vec& anchor, Vec& factor,
                                const Vec& pixelSize, bool proportional)
    {
        resetSnaps();
        const size_t n = polygon.size();
        if (n < 2)
            return false;
        const Vec u = (polygon[1] - polygon[0]).normalized();
        const Vec v(-u.y, u.x);
        Matrix basis;
        basis.m[0] = u.x;
        basis.m[1] = u.y;
        basis.m[3] = v.x;
        basis.m[4] = v.y;
        const Vec q[2] = {getScaledVertex(basis, anchor, factor, polygon[edge % n]),
                          getScaledVertex(basis, anchor, factor, polygon[(edge + 1) % n])};
        const bool alongDir = edge % 2 == 0;
        const bool acrossDir = ! alongDir;

        std::vector<Snap> candidates;
        for (const Vec& point : q)
        {
            if (gridEnabled)
                gatherGrid(point, u, alongDir, acrossDir, candidates);
            else
                for (const SnapShape& shape : shapes)
                    if (shape.isRect && isParallelOrPerpendicular(shape.direction.dot(u)))
                        snapToShape(point, u, shape.polygon, shape.distance * pixelSize.x, true, false, alongDir,
                                    acrossDir, candidates);
        }
        const Snap* best = findBest(candidates);
        if (best == nullptr)
            return false;
        snaps[0] = *best;

        float cx = 1.0f, cy = 1.0f;
        for (const Vec& point : q)
        {
            const Vec moved = point + best->direction * best->distance;
            if (std::abs(moved.x - best->position.x) > 1e-5f || std::abs(moved.y - best->position.y) > 1e-5f)
                continue;
            if (std::abs(1.0f - std::abs(best->direction.dot(u))) < alignmentTolerance)
            {
                const float divisor = point.dot(u) - anchor.dot(u);
                if (divisor != 0.0f)
                    cx = (best->position.dot(u) - anchor.dot(u)) / divisor;
            }
            else
            {
                const float divisor = point.dot(v) - anchor.dot(v);
                if (divisor != 0.0f)
                    cy = (best->position.dot(v) - anchor.dot(v)) / divisor;
            }
            break;
        }
        if (cx == 1.0f && cy == 1.0f)
            return true;
        if (! proportional)
            factor = {factor.x * cx, factor.y * cy};
        else
        {
            const float c = cx != 1.0f ? cx : cy;
            factor = factor * c;
        }
        return true;
    }

    bool Snapper::snapScaleCorner(const Polygon& polygon, unsigned corner, const Vec& anchor, Vec& factor,
                                  const Vec& pixelSize, bool proportional)
    {
        const size_t n = polygon.size();
        if (n < 2)
            return false;
        const Vec saved = factor;
        const bool first = snapScaleEdge(polygon, corner, anchor, factor, pixelSize, proportional);
        const Snap firstSnap = snaps[0];
        const Vec firstFactor = factor;
        factor = saved;
        bool second = snapScaleEdge(polygon, unsigned((corner + 3) % n), anchor, factor, pixelSize, proportional);
        if (first && second && proportional)
        {
            if (std::abs(snaps[0].distance) <= std::abs(firstSnap.distance))
                return true;
            resetSnaps();
            factor = saved;
            second = false;
        }
        if (! first)
            return second;
        if (! second)
        {
            snaps[0] = firstSnap;
            factor = firstFactor;
            return true;
        }
        snaps[1] = firstSnap;
        if (std::abs(saved.x - factor.x) < 1e-5f)
            factor.x = firstFactor.x;
        else
            factor.y = firstFactor.y;
        snaps[0].position += snaps[1].direction * snaps[1].distance;
        snaps[1].position += snaps[0].direction * snaps[0].distance;
        return true;
    }

    bool Snapper::snapToCorners(Vec& point, const Vec& pixelSize) const
    {
        bool found = false;
        Vec best;
        for (const SnapShape& shape : shapes)
        {
            const float reach = shape.distance * pixelSize.x;
            for (const Vec& vertex : shape.polygon.getVertices())
            {
                const Vec offset = vertex - point;
                if (offset.length() < reach && (! found || offset.squareLength() < best.squareLength()))
                {
                    best = offset;
                    found = true;
                }
            }
        }
        if (found)
            point += best;
        return found;
    }

    void Snapper::drawSnaps(Renderer& renderer, const Color& color) const
    {
        for (const Snap& snap : snaps)
        {
            renderer.drawLine(snap.lineStart, snap.position, color);
            renderer.drawLine(snap.lineEnd, snap.position, color);
        }
    }

} // namespace vx
