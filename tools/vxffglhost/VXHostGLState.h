#pragma once

#include <string>
#include <vector>

namespace vx::host
{
    // The GL state an FFGL host hands a plugin with each frame and expects
    // back unchanged: viewport, matrices (unit 0's texture matrix too) and
    // matrix mode, the depths of the matrix and attribute stacks, draw and
    // read framebuffer, buffer, program and texture bindings, the active
    // unit's texture environment and current texture coordinates, unit 0's
    // texture generation, each unit's sampler object, enables, blending (of
    // each draw buffer too), draw and read buffers, what decides whether a
    // primitive is drawn (depth function, culling, polygon mode, rasterizer
    // discard, sample mask, clip control and planes, transform feedback
    // running or paused), the scissor box, colours, clear values, masks, every client
    // array (enable, buffer, pointer, layout; texture coordinates on each
    // client unit, generic attributes too with their separate format and
    // binding) and vertex buffer binding, and pixel-store alignment. Each
    // buffer of the vertex array object is taken by object as well as by
    // name: whether the name is a buffer, and its size.
    class HostGLState
    {
    public:
        struct Entry
        {
            std::string name;
            std::vector<double> values;
        };

        // Puts the handover state in place: the framebuffer bound for
        // drawing and reading, the viewport over width x height, identity
        // matrices with the modelview selected, no program, unit 0 active,
        // blending, depth, scissor and culling off, white current colour.
        static void handOver(unsigned int framebuffer, int width, int height);

        static HostGLState capture();

        // One line per entry that differs: "name: before -> after".
        std::vector<std::string> differencesTo(const HostGLState& after) const;

        const std::vector<Entry>& getEntries() const { return entries; }

    private:
        std::vector<Entry> entries;
    };
}
