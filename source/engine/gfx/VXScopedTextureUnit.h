#pragma once

namespace vx
{
    class RenderContext;

    // Makes a texture unit active for the scope; after it the unit's 2D
    // binding and its GL_TEXTURE_2D enable come back, then the unit that was
    // active. The binding cache of the current context's renderer records both,
    // so binds made through the cache inside the scope leave it true.
    class ScopedTextureUnit
    {
    public:
        explicit ScopedTextureUnit(unsigned int unit);
        ~ScopedTextureUnit();
        ScopedTextureUnit(const ScopedTextureUnit&) = delete;
        ScopedTextureUnit& operator=(const ScopedTextureUnit&) = delete;

    private:
        unsigned int unit;
        int previousActive = 0;
        int previousBinding = 0;
        bool wasEnabled = false;
        RenderContext* cache;
    };
}
