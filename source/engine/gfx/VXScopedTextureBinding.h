#pragma once

namespace vx
{
    // Binds a texture (0: none) to a target (GL_TEXTURE_2D or a rectangle
    // target) on the active unit for the scope and puts the unit's previous
    // binding back after; does nothing when it is bound already. The 2D binding
    // put back is recorded in the binding cache of the current context's
    // renderer, so the cache stays true whatever the scope bound through it.
    class ScopedTextureBinding
    {
    public:
        ScopedTextureBinding(unsigned int target, unsigned int texture);
        ~ScopedTextureBinding();
        ScopedTextureBinding(const ScopedTextureBinding&) = delete;
        ScopedTextureBinding& operator=(const ScopedTextureBinding&) = delete;

        // Leaves GL as it is at the end (no GL call): for a texture object that
        // ends without a current context.
        void dismiss() { previous = -1; }

    private:
        unsigned int target;
        int previous = -1; // -1: nothing to put back
    };
}
