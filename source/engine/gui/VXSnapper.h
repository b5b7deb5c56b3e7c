#pragma once

#include "core/VXMatrix3x3.h"
#include "core/VXVec2.h"
#include "engine/gfx/geometry/VXPolygon.h"

#include <vector>

namespace vx
{

    class Color;
    class Renderer;

    // Pulls a dragged polygon (the transform tool's rectangle) onto the edges
    // and centre lines of registered snap shapes, or onto the lines of a grid,
    // when it comes within a distance given in screen pixels. Up to two snaps
    // are kept, one per direction, and can be drawn as guide lines. Used on
    // the thread that draws the view.
    class Snapper
    {
    public:
        using Matrix = TMatrix3x3<float>;

        // One snap: the line snapped to (unit normal, start, end), the signed
        // distance along the normal from the snapped point to it, and the
        // snapped point.
        struct Snap
        {
            TVec2<float> direction;
            float distance = 0.0f;
            TVec2<float> position;
            TVec2<float> lineStart;
            TVec2<float> lineEnd;
        };

        struct SnapShape
        {
            Polygon polygon;
            float distance = 0.0f; // screen pixels
            // Unit vector of the first edge for a rectangle, else (0, 0).
            TVec2<float> direction;
            bool isRect = false;
        };

        void addSnapShape(const Polygon& polygon, float distance);
        void clearSnapShapes();
        // A cell width or height that is not positive is refused (logged) and
        // leaves the grid off.
        void setupSnapGrid(float cellWidth, float cellHeight, float distance);
        void clearSnapGrid();
        void clearAll();
        bool isSnapGridEnabled() const { return gridEnabled; }
        const std::vector<SnapShape>& getSnapShapes() const { return shapes; }

        // Clears both active snaps.
        void resetSnaps();
        const Snap& getSnap(int index) const { return snaps[index == 0 ? 0 : 1]; }

        // Adjust a translation d of polygon, or a scale factor about anchor of
        // its edge or corner (numbered as its vertices), so that it lands on a
        // snap line; pixelSize is one screen pixel in view units. Each answers
        // whether it snapped and leaves its argument alone when not. With the
        // grid on, only the grid counts.
        bool snapTranslation(const Polygon& polygon, TVec2<float>& d, const TVec2<float>& pixelSize);
        bool snapScaleEdge(const Polygon& polygon, unsigned edge, const TVec2<float>& anchor, TVec2<float>& factor,
                           const TVec2<float>& pixelSize, bool proportional);
        bool snapScaleCorner(const Polygon& polygon, unsigned corner, const TVec2<float>& anchor, TVec2<float>& factor,
                             const TVec2<float>& pixelSize, bool proportional);
        // Moves point onto the nearest shape vertex within reach.
        bool snapToCorners(TVec2<float>& point, const TVec2<float>& pixelSize) const;

        // v scaled about anchor along the basis's first two columns.
        static TVec2<float> getScaledVertex(const Matrix& basis, const TVec2<float>& anchor, const TVec2<float>& factor,
                                            const TVec2<float>& v);

        // Two guide lines per active snap, from its line's ends to its point.
        void drawSnaps(Renderer& renderer, const Color& color) const;

        // The candidate search against one shape: lines within reach of point
        // (along their normals) are appended to out. centreGuides adds lines
        // through the shape's centre; bounded keeps only lines the point lies
        // beside; alongDir keeps lines whose normal is perpendicular to dir,
        // acrossDir those whose normal is parallel to it.
        static void snapToShape(const TVec2<float>& point, const TVec2<float>& dir, const Polygon& polygon, float reach,
                                bool centreGuides, bool bounded, bool alongDir, bool acrossDir, std::vector<Snap>& out);

        // The better of two candidates: at nearly equal distance (within 0.1)
        // the one on the longer line, else the nearer.
        static bool isBetter(const Snap& a, const Snap& b);
        // The best candidate by a linear scan with isBetter; null when empty.
        static const Snap* findBest(const std::vector<Snap>& candidates);

    private:
        void gatherGrid(const TVec2<float>& point, const TVec2<float>& dir, bool alongDir, bool acrossDir,
                        std::vector<Snap>& out) const;

        Snap snaps[2];
        std::vector<SnapShape> shapes;
        bool gridEnabled = false;
        float gridCellWidth = 0.0f;
        float gridCellHeight = 0.0f;
        float gridDistance = 0.0f;
    };

} // namespace vx
