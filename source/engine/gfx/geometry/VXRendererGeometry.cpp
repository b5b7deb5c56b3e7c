// The renderer's members over contours, shapes and meshes: declared with the
// renderer, defined here because filling needs the triangulation.

#include "engine/gfx/VXRenderer.h"

#include "engine/gfx/VXShaderProgram.h"
#include "engine/gfx/VXShaderUniforms.h"
#include "engine/gfx/geometry/VXContour.h"
#include "engine/gfx/geometry/VXMesh2d.h"
#include "engine/gfx/geometry/VXTriangulate.h"

#include <epoxy/gl.h>

namespace vx
{

    void Renderer::draw(const Contour& contour, const Color& color)
    {
        const std::vector<TVec2<float>> points = contour.subdivide(1.0f);
        drawFlat(GL_LINE_LOOP, reinterpret_cast<const float*>(points.data()), points.size(), color);
    }

    void Renderer::draw(const Shape& shape, const Color& color)
    {
        for (const Contour& contour : shape.contours)
            draw(contour, color);
    }

    void Renderer::fill(const Contour& contour, const Color& color)
    {
        if (contour.getNumPoints() < 3)
            return;
        const std::vector<TVec2<float>> points = contour.subdivide(1.0f);
        fill(triangulate(points.data(), int(points.size()), WINDING_ODD), color);
    }

    void Renderer::fill(const Shape& shape, const Color& color)
    {
        if (shape.contours.empty())
            return;
        fill(triangulate(shape, WINDING_ODD, 1.0f), color);
    }

    void Renderer::fill(const Mesh2d& mesh, const Color& color)
    {
        if (mesh.empty())
            return;
        ShaderProgram& program = shaders.get(Shaders::FlatColor);
        if (! renderContext.bindShader(program))
            return;
        program.setMatrix4x4(ShaderUniforms::WorldViewProj, matrices.getWorldViewProjMatrix().m);
        program.setVec4(ShaderUniforms::Color, color.getRGBAArray());
        mesh.render(*this);
        renderContext.unbindShader();
    }

} // namespace vx
