// Contour input into the tessellator: the bytes become contours of line and
// cubic segments (any float bit patterns, NaN and infinities included), which
// are subdivided and tessellated under every winding rule and element type.
// Nothing may crash, hang or leak; failures answer 0 with empty output.

#include "engine/gfx/geometry/VXContour.h"
#include "engine/gfx/geometry/VXTess.h"
#include "engine/gfx/geometry/VXTriangulate.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    const int rule = data[0] % 6; // 5: a rule that marks nothing inside
    const int elementType = data[1] % 3;
    data += 2;
    size -= 2;

    // Per record: one control byte (bit 0 new contour, bit 1 cubic, bit 2
    // coarse grid) then the coordinates as floats.
    vx::Shape shape;
    shape.contours.emplace_back();
    while (size >= 1 && shape.contours.size() < 64)
    {
        const uint8_t control = data[0];
        ++data;
        --size;
        const size_t floats = (control & 2) != 0 ? 6 : 2;
        if (size < floats * sizeof(float))
            break;
        float v[6];
        std::memcpy(v, data, floats * sizeof(float));
        data += floats * sizeof(float);
        size -= floats * sizeof(float);
        if ((control & 4) != 0)
            for (size_t i = 0; i < floats; ++i)
                v[i] = std::isfinite(v[i]) ? std::fmod(std::trunc(v[i]), 16.0f) : v[i]; // coincident points
        if ((control & 1) != 0 && ! shape.contours.back().getPoints().empty())
            shape.contours.emplace_back();
        vx::Contour& c = shape.contours.back();
        if ((control & 2) != 0 && ! c.getPoints().empty())
            c.curveTo({v[0], v[1]}, {v[2], v[3]}, {v[4], v[5]});
        else
            c.addPoint(v[0], v[1]);
    }

    std::vector<std::vector<vx::TVec2<float>>> outlines;
    for (vx::Contour& c : shape.contours)
    {
        c.close();
        // Subdivision of huge or non-finite curves is bounded by its depth.
        outlines.push_back(c.subdivide(1.0f));
    }

    // Twice on one tessellator, the second time under the next rule: a reused
    // tessellator keeps its memory between calls.
    vx::Tesselator* tess = vx::tessNewTess(nullptr);
    for (int pass = 0; pass < 2; ++pass)
    {
        const int passRule = (rule + pass) % 6;
        for (const auto& points : outlines)
            vx::tessAddContour(tess, 2, points.data(), sizeof(vx::TVec2<float>), int(points.size()));
        const int polySize = 3 + (passRule & 1);
        const int ok = vx::tessTesselate(tess, passRule, elementType, polySize, 2, nullptr);
        const int* elements = vx::tessGetElements(tess);
        const int vertexCount = vx::tessGetVertexCount(tess);
        if (ok == 0 && (elements != nullptr || vertexCount != 0))
            __builtin_trap();
        if (ok == 0 || elementType == vx::TESS_BOUNDARY_CONTOURS)
            continue;
        // Every index names an output vertex (or a face, for neighbours).
        const int stride = elementType == vx::TESS_CONNECTED_POLYGONS ? 2 * polySize : polySize;
        const int faces = vx::tessGetElementCount(tess);
        for (int f = 0; f < faces; ++f)
            for (int k = 0; k < polySize; ++k)
            {
                const int index = elements[f * stride + k];
                if (index < -1 || index >= vertexCount)
                    __builtin_trap();
                if (stride > polySize &&
                    (elements[f * stride + polySize + k] < -1 || elements[f * stride + polySize + k] >= faces))
                    __builtin_trap();
            }
    }
    vx::tessDeleteTess(tess);

    (void)vx::triangulate(shape, vx::Winding(rule % 5), 1.0f);
    return 0;
}
