#pragma once

namespace vx
{
    // Keeps the texture environment of the unit active on entry across a
    // scope that sets its own (glTexEnv): the mode, the environment colour and
    // the whole combiner (functions, sources, operands, scales) come back
    // after, on that unit; the unit active at the end of the scope stays
    // active. Queried and set directly: no attribute stack level is used.
    class ScopedTextureEnvironment
    {
    public:
        ScopedTextureEnvironment();
        ~ScopedTextureEnvironment();
        ScopedTextureEnvironment(const ScopedTextureEnvironment&) = delete;
        ScopedTextureEnvironment& operator=(const ScopedTextureEnvironment&) = delete;

    private:
        static constexpr int numEnums = 15;
        int unit = 0;
        int enums[numEnums] = {};
        float colour[4] = {};
        float rgbScale = 1.0f, alphaScale = 1.0f;
    };
}
