// drawText's vertex building: six vertices of position and texture
// coordinate per glyph, for texts of 100 and 10,000 characters. Baseline: a
// copy of the same number of vertex bytes.
#include "engine/gfx/VXFonts.h"
#include "engine/gfx/VXRenderer.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

namespace
{

    // Printable text with a newline every 80 characters, as a text overlay has.
    std::string makeText(size_t length)
    {
        std::string text(length, ' ');
        for (size_t i = 0; i < length; ++i)
            text[i] = (i % 81 == 80) ? '\n' : char(32 + (i * 7) % 95);
        return text;
    }

    void BM_TextVertices(benchmark::State& state)
    {
        const std::string text = makeText(size_t(state.range(0)));
        std::vector<float> vertices;
        for (auto _ : state)
        {
            vx::Renderer::buildTextVertices(vx::Fonts::uni9, 10.0f, 20.0f, 9.0f, text, vertices);
            benchmark::DoNotOptimize(vertices.data());
        }
        state.SetItemsProcessed(state.iterations() * state.range(0));
        state.SetLabel(std::to_string(vertices.size() / 4) + " vertices");
    }
    BENCHMARK(BM_TextVertices)->Arg(100)->Arg(10000);

    void BM_TextVerticesBaselineCopy(benchmark::State& state)
    {
        const size_t floats = size_t(state.range(0)) * 24;
        const std::vector<float> source(floats, 1.0f);
        std::vector<float> target(floats);
        for (auto _ : state)
        {
            std::memcpy(target.data(), source.data(), floats * sizeof(float));
            benchmark::DoNotOptimize(target.data());
        }
        state.SetItemsProcessed(state.iterations() * state.range(0));
    }
    BENCHMARK(BM_TextVerticesBaselineCopy)->Arg(100)->Arg(10000);

} // namespace
