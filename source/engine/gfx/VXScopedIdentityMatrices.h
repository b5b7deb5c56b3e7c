#pragma once

namespace vx
{
    // Starts a scope with identity modelview, projection and texture matrices
    // (the texture matrix of unit 0, the unit a scope draws its textures
    // with, whichever unit is active), the modelview selected and unit 0
    // active, and gives the caller's matrices, matrix mode and active
    // texture unit back after. The matrices are kept by value, not on their
    // stacks: a caller may leave a stack full, and its levels stay its own.
    class ScopedIdentityMatrices
    {
    public:
        ScopedIdentityMatrices();
        ~ScopedIdentityMatrices();
        ScopedIdentityMatrices(const ScopedIdentityMatrices&) = delete;
        ScopedIdentityMatrices& operator=(const ScopedIdentityMatrices&) = delete;

    private:
        int matrixMode = 0, activeTexture = 0;
        float texture[16] = {}, projection[16] = {}, modelview[16] = {};
    };
}
