#include "engine/gfx/geometry/VXMesh2d.h"

#include "core/VXLog.h"
#include "engine/gfx/VXScopedNoArrayBuffer.h"

#include <epoxy/gl.h>

#include <algorithm>

namespace vx
{

    void Mesh2d::render(Renderer&) const
    {
        if (empty())
            return;
        // GL would read the client arrays at every index: one outside them
        // reads foreign memory.
        const auto [lowest, highest] = std::minmax_element(indices.begin(), indices.end());
        if (*lowest < 0 || size_t(*highest) >= vertices.size())
        {
            logPrint(logError, "Mesh2d::render: index %d outside %zu vertices", *lowest < 0 ? *lowest : *highest,
                     vertices.size());
            return;
        }
        const bool textured = uvs.size() >= vertices.size();

        const ScopedNoArrayBuffer noArrayBuffer;
        glEnableVertexAttribArray(0);
        glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 0, vertices.data());
        if (textured)
        {
            glEnableVertexAttribArray(2);
            glVertexAttribPointer(2, 2, GL_FLOAT, GL_FALSE, 0, uvs.data());
        }
        glDrawElements(GL_TRIANGLES, GLsizei(indices.size() / 3 * 3), GL_UNSIGNED_INT, indices.data());
        glDisableVertexAttribArray(0);
        if (textured)
            glDisableVertexAttribArray(2);
    }

} // namespace vx
