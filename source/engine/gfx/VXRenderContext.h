#pragma once

#include <vector>

namespace vx
{

    class ShaderProgram;
    class Texture;

    /** Cache of the bound program, the active texture unit and the 2D texture
        bound on every unit, so repeated binds make no GL call. Valid only while
        nothing else changes those bindings: after foreign code ran, call
        assumeDefaultContextState. Render thread only. */
    class RenderContext
    {
    public:
        /** Sizes the per-unit list by GL_MAX_TEXTURE_IMAGE_UNITS and zeroes the
            cache; true. */
        bool initialize();
        /** Forgets the cache, as if everything were unbound. */
        void assumeDefaultContextState();
        /** Record what GL holds after code outside the cache changed it (a
            state guard putting a binding back); no GL call. A unit beyond the
            list is ignored. */
        void assumeBound2DTexture(unsigned long unit, unsigned int texture);
        void assumeActiveSampler(unsigned int unit);
        void assumeBoundShader(unsigned int program);
        /** The texture was deleted: GL unbound it from every unit. */
        void forgetTexture(unsigned int texture);

        /** The cache of the renderer whose context is current on the calling
            thread, or null. */
        static RenderContext* getCurrent();

        /** glUseProgram only when it differs from the cached program. */
        void bindShader(unsigned int program);
        /** False for a program without GL name. */
        bool bindShader(const ShaderProgram& program);
        /** Enables GL_TEXTURE_2D and binds texture on unit; false for a unit at
            or beyond the list size. */
        bool bind2DTexture(unsigned long unit, unsigned int texture);
        /** False for a texture without GL name. */
        bool bind2DTexture(unsigned long unit, const Texture& texture);
        /** glActiveTexture when the active unit differs. */
        void ensureSamplerActive(unsigned int unit);

        void unbindShader();
        /** Binds 0 on every unit the cache holds a texture on, leaving the
            enables bind2DTexture(unit, 0) on every unit would. */
        void unbind2DTextures();
        void unbindAll();

        unsigned int getBoundShader() const { return boundProgram; }
        unsigned int getActiveSampler() const { return activeUnit; }
        /** 0 for a unit beyond the list. */
        unsigned int getBoundTexture(unsigned long unit) const;
        unsigned long getNumTextureUnits() const { return boundTextures.size(); }

    private:
        unsigned int boundProgram = 0;
        unsigned int activeUnit = 0;
        std::vector<unsigned int> boundTextures;
    };

} // namespace vx
