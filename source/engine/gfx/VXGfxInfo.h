#pragma once

#include <string>

namespace vx
{

    /** What the current OpenGL implementation is and can do, probed once per GL
        start-up on the render thread and read freely afterwards. */
    class GfxInfo
    {
    public:
        static std::string VX_GL_VERSION;
        static float VX_GL_VERSION_F;
        static std::string VX_GL_RENDERER;
        static std::string VX_GL_VENDOR;
        static std::string VX_GL_SHADER_VERSION;
        static int VX_MAX_TEXTURE_SIZE;
        static int VX_MAX_TEXTURE_SIZE_DIV2;
        static bool VX_GFX_CARD_IS_NVIDIA;
        static bool VX_GFX_CARD_SUPPORTS_NONPOWEROFTWOTEXTURES;
        static bool VX_GFX_CARD_SUPPORTS_FBO;
        static bool VX_GFX_CARD_SUPPORTS_PBO;
        static bool VX_GFX_CARD_SUPPORTS_MRT;

        /** Fills every field from the current context. */
        static void filloutGfxInfo();

        /** The maximum texture size, read safely on any thread (sizes that
            arrive from files and the network are checked on theirs). */
        static int getMaxTextureSize();
        /** Whether a picture of width x height fits one texture: each side 1
            to the maximum texture size. */
        static bool fitsOneTexture(long long width, long long height);

        /** Whole-name match in the extension list read once per process, on the
            first call that finds a context current (the list is copied, so it
            outlives that context). False while none has been read. */
        static bool isExtensionAvailable(const std::string& name);

        /** Whether a space-separated list holds the name as a whole entry. */
        static bool extensionListContains(const std::string& list, const std::string& name);
    };

} // namespace vx
