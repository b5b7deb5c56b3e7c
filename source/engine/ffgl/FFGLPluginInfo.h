#pragma once

#include "engine/ffgl/FFGL.h"

#include <cstdint>

class CFreeFrameGLPlugin;

// Makes a new plugin instance into *instance; answers FFGL::success or
// FFGL::fail.
using FFGLCreateInstanceFunction = std::uint32_t (*)(CFreeFrameGLPlugin** instance);

// The module's static plugin information: the information record, the
// extended record behind it and the instance factory. Constructing one makes
// it the module's current plugin information (the last one constructed
// wins); destroying the current one clears it.
class CFFGLPluginInfo
{
public:
    // The unique id is copied up to its first NUL, at most 4 bytes, the name
    // at most 16 (so a 16-character name has no terminator), the rest zero.
    // Description, about text and a non-empty extended block are copied.
    CFFGLPluginInfo(FFGLCreateInstanceFunction createInstance, const char* uniqueId, const char* name,
                    std::uint32_t apiMajorVersion, std::uint32_t apiMinorVersion, std::uint32_t pluginMajorVersion,
                    std::uint32_t pluginMinorVersion, std::uint32_t pluginType, const char* description,
                    const char* about, std::uint32_t extendedDataSize = 0, const void* extendedDataBlock = nullptr);
    ~CFFGLPluginInfo();

    CFFGLPluginInfo(const CFFGLPluginInfo&) = delete;
    CFFGLPluginInfo& operator=(const CFFGLPluginInfo&) = delete;

    const PluginInfoStruct* GetPluginInfo() const { return &info; }
    const PluginExtendedInfoStruct* GetPluginExtendedInfo() const { return &extendedInfo; }
    FFGLCreateInstanceFunction GetFactoryMethod() const { return factory; }

private:
    PluginInfoStruct info;
    PluginExtendedInfoStruct extendedInfo;
    FFGLCreateInstanceFunction factory;
};

// The module's current plugin information, or null.
extern CFFGLPluginInfo* g_CurrPluginInfo;
