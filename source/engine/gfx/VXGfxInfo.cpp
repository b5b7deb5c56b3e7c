#include "engine/gfx/VXGfxInfo.h"

#include "core/VXLog.h"
#include "core/VXStringUtils.h"

#include <epoxy/gl.h>

#include <atomic>
#include <map>

namespace vx
{

    std::string GfxInfo::VX_GL_VERSION;
    float GfxInfo::VX_GL_VERSION_F = 0.0f;
    std::string GfxInfo::VX_GL_RENDERER;
    std::string GfxInfo::VX_GL_VENDOR;
    std::string GfxInfo::VX_GL_SHADER_VERSION;
    int GfxInfo::VX_MAX_TEXTURE_SIZE = 4096;
    int GfxInfo::VX_MAX_TEXTURE_SIZE_DIV2 = GfxInfo::VX_MAX_TEXTURE_SIZE / 2;
    bool GfxInfo::VX_GFX_CARD_IS_NVIDIA = false;
    bool GfxInfo::VX_GFX_CARD_SUPPORTS_NONPOWEROFTWOTEXTURES = false;
    bool GfxInfo::VX_GFX_CARD_SUPPORTS_FBO = false;
    bool GfxInfo::VX_GFX_CARD_SUPPORTS_PBO = false;
    bool GfxInfo::VX_GFX_CARD_SUPPORTS_MRT = false;

    namespace
    {
        std::string glText(GLenum name)
        {
            const auto* text = reinterpret_cast<const char*>(glGetString(name));
            return text != nullptr ? std::string(text) : std::string();
        }

        // The list is copied on first read: the context it came from may go
        // before the process does.
        struct ExtensionCache
        {
            bool haveList = false;
            std::string list;
            std::map<std::string, bool> answers;
        };

        ExtensionCache& getExtensionCache()
        {
            static ExtensionCache cache;
            return cache;
        }
    }

    int GfxInfo::getMaxTextureSize()
    {
        return std::atomic_ref<int>(VX_MAX_TEXTURE_SIZE).load(std::memory_order_relaxed);
    }

    bool GfxInfo::fitsOneTexture(long long width, long long height)
    {
        const long long most = getMaxTextureSize();
        return width >= 1 && height >= 1 && width <= most && height <= most;
    }

    void GfxInfo::filloutGfxInfo()
    {
        VX_GL_VERSION = glText(GL_VERSION);
        VX_GL_VERSION_F = stringToFloat(VX_GL_VERSION.c_str());
        VX_GL_RENDERER = glText(GL_RENDERER);
        VX_GL_VENDOR = glText(GL_VENDOR);
        GLint maxSize = 0;
        glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &maxSize);
        if (maxSize > 0)
        {
            std::atomic_ref<int>(VX_MAX_TEXTURE_SIZE).store(maxSize, std::memory_order_relaxed);
            VX_MAX_TEXTURE_SIZE_DIV2 = maxSize / 2;
        }
        VX_GL_SHADER_VERSION = glText(GL_SHADING_LANGUAGE_VERSION);

        debugPrint("---Gfx Info---");
        debugPrint("Vendor : " + VX_GL_VENDOR);
        debugPrint("Model: " + VX_GL_RENDERER);
        debugPrint("OpenGL version: " + VX_GL_VERSION);
        debugPrint("OpenGL version short %.2f: ", static_cast<double>(VX_GL_VERSION_F));
        debugPrint("OpenGL shader language version: " + VX_GL_SHADER_VERSION);
        debugPrint("Max texture size: %d", VX_MAX_TEXTURE_SIZE);
        debugPrint("--------------");

        VX_GFX_CARD_IS_NVIDIA =
            toLower(static_cast<const std::string&>(VX_GL_VENDOR)).find("nvidia") != std::string::npos;
        VX_GFX_CARD_SUPPORTS_NONPOWEROFTWOTEXTURES = isExtensionAvailable("GL_ARB_texture_non_power_of_two");
        VX_GFX_CARD_SUPPORTS_FBO = isExtensionAvailable("GL_EXT_framebuffer_object");
        VX_GFX_CARD_SUPPORTS_PBO = isExtensionAvailable("GL_ARB_pixel_buffer_object");
        GLint attachments = 0;
        glGetIntegerv(GL_MAX_COLOR_ATTACHMENTS, &attachments);
        VX_GFX_CARD_SUPPORTS_MRT = attachments > 1;
    }

    bool GfxInfo::isExtensionAvailable(const std::string& name)
    {
        auto& cache = getExtensionCache();
        if (! cache.haveList)
        {
            const auto* list = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
            if (list == nullptr)
                return false;
            cache.list = list;
            cache.haveList = true;
        }

        if (auto found = cache.answers.find(name); found != cache.answers.end())
            return found->second;

        const bool available = extensionListContains(cache.list, name);
        cache.answers[name] = available;
        return available;
    }

    bool GfxInfo::extensionListContains(const std::string& list, const std::string& name)
    {
        if (name.empty())
            return false;
        size_t start = 0;
        while (start <= list.size())
        {
            size_t end = list.find(' ', start);
            if (end == std::string::npos)
                end = list.size();
            if (end - start == name.size() && list.compare(start, name.size(), name) == 0)
                return true;
            start = end + 1;
        }
        return false;
    }

} // namespace vx
