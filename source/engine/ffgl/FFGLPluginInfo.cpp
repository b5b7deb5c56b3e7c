#include "engine/ffgl/FFGLPluginInfo.h"

#include <cstdlib>
#include <cstring>

CFFGLPluginInfo* g_CurrPluginInfo = nullptr;

namespace
{
    // Byte by byte up to the first NUL, at most size bytes; the rest zero.
    void copyFixed(unsigned char* target, const char* source, std::size_t size)
    {
        std::memset(target, 0, size);
        if (source == nullptr)
            return;
        for (std::size_t i = 0; i < size && source[i] != '\0'; ++i)
            target[i] = static_cast<unsigned char>(source[i]);
    }

    char* copyText(const char* text)
    {
        const char* source = text != nullptr ? text : "";
        const std::size_t length = std::strlen(source);
        char* copy = static_cast<char*>(std::malloc(length + 1));
        if (copy != nullptr)
            std::memcpy(copy, source, length + 1);
        return copy;
    }
}

CFFGLPluginInfo::CFFGLPluginInfo(FFGLCreateInstanceFunction createInstance, const char* uniqueId, const char* name,
                                 std::uint32_t apiMajorVersion, std::uint32_t apiMinorVersion,
                                 std::uint32_t pluginMajorVersion, std::uint32_t pluginMinorVersion,
                                 std::uint32_t pluginType, const char* description, const char* about,
                                 std::uint32_t extendedDataSize, const void* extendedDataBlock)
    : factory(createInstance)
{
    info.APIMajorVersion = apiMajorVersion;
    info.APIMinorVersion = apiMinorVersion;
    copyFixed(info.PluginUniqueID, uniqueId, sizeof info.PluginUniqueID);
    copyFixed(info.PluginName, name, sizeof info.PluginName);
    info.PluginType = pluginType;

    extendedInfo.PluginMajorVersion = pluginMajorVersion;
    extendedInfo.PluginMinorVersion = pluginMinorVersion;
    extendedInfo.Description = copyText(description);
    extendedInfo.About = copyText(about);
    extendedInfo.FreeFrameExtendedDataSize = 0;
    extendedInfo.FreeFrameExtendedDataBlock = nullptr;
    if (extendedDataBlock != nullptr && extendedDataSize > 0)
    {
        if (void* block = std::malloc(extendedDataSize))
        {
            std::memcpy(block, extendedDataBlock, extendedDataSize);
            extendedInfo.FreeFrameExtendedDataBlock = block;
            extendedInfo.FreeFrameExtendedDataSize = extendedDataSize;
        }
    }

    g_CurrPluginInfo = this;
}

CFFGLPluginInfo::~CFFGLPluginInfo()
{
    std::free(extendedInfo.Description);
    std::free(extendedInfo.About);
    std::free(extendedInfo.FreeFrameExtendedDataBlock);
    // A host asking after this must not reach freed memory.
    if (g_CurrPluginInfo == this)
        g_CurrPluginInfo = nullptr;
}
