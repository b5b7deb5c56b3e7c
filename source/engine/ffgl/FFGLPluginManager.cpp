#include "engine/ffgl/FFGLPluginManager.h"

#include "engine/ffgl/FFGL.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

CFFGLPluginManager::~CFFGLPluginManager()
{
    ParamInfo* entry = first;
    while (entry != nullptr)
    {
        ParamInfo* next = entry->next;
        std::free(entry->defaultText);
        delete entry;
        entry = next;
    }
}

CFFGLPluginManager::ParamInfo* CFFGLPluginManager::append(std::uint32_t index, const char* name, std::uint32_t type)
{
    auto* entry = new ParamInfo;
    entry->index = index;
    // Copied like the unique id: no terminator when 16 characters long.
    if (name != nullptr)
        for (std::size_t i = 0; i < sizeof entry->name && name[i] != '\0'; ++i)
            entry->name[i] = name[i];
    entry->type = type;

    if (last != nullptr)
        last->next = entry;
    else
        first = entry;
    last = entry;
    ++numParams;
    return entry;
}

const CFFGLPluginManager::ParamInfo* CFFGLPluginManager::find(std::uint32_t index) const
{
    for (const ParamInfo* entry = first; entry != nullptr; entry = entry->next)
        if (entry->index == index)
            return entry;
    return nullptr;
}

void CFFGLPluginManager::SetParamInfo(std::uint32_t index, const char* name, std::uint32_t type, float defaultValue)
{
    float clamped = defaultValue;
    if (! (clamped >= 0.0f))
        clamped = 0.0f;
    else if (clamped > 1.0f)
        clamped = 1.0f;
    append(index, name, type)->defaultValue = clamped;
}

void CFFGLPluginManager::SetParamInfo(std::uint32_t index, const char* name, std::uint32_t type, bool defaultValue)
{
    append(index, name, type)->defaultValue = defaultValue ? 1.0f : 0.0f;
}

void CFFGLPluginManager::SetParamInfo(std::uint32_t index, const char* name, std::uint32_t type,
                                      const char* defaultValue)
{
    const char* text = defaultValue != nullptr ? defaultValue : "";
    const std::size_t length = std::strlen(text);
    char* copy = static_cast<char*>(std::malloc(length + 1));
    if (copy != nullptr)
        std::memcpy(copy, text, length + 1);
    append(index, name, type)->defaultText = copy;
}

void CFFGLPluginManager::SetOptionParamInfo(std::uint32_t index, const char* name, std::uint32_t elements,
                                            int defaultValue)
{
    ParamInfo* entry = append(index, name, FFGL::typeOption);
    entry->numElements = elements;
    entry->defaultValue = static_cast<float>(defaultValue);
}

void CFFGLPluginManager::SetBufferParamInfo(std::uint32_t index, const char* name, std::uint32_t elements,
                                            std::uint32_t usage)
{
    ParamInfo* entry = append(index, name, FFGL::typeBuffer);
    entry->numElements = elements;
    entry->usage = usage;
}

const char* CFFGLPluginManager::GetParamName(std::uint32_t index) const
{
    const ParamInfo* entry = find(index);
    return entry != nullptr ? entry->name : nullptr;
}

std::uint32_t CFFGLPluginManager::GetParamType(std::uint32_t index) const
{
    const ParamInfo* entry = find(index);
    return entry != nullptr ? entry->type : FFGL::fail;
}

std::uint32_t CFFGLPluginManager::GetNumParamElements(std::uint32_t index) const
{
    const ParamInfo* entry = find(index);
    return entry != nullptr ? entry->numElements : FFGL::fail;
}

std::uint32_t CFFGLPluginManager::GetParamUsage(std::uint32_t index) const
{
    const ParamInfo* entry = find(index);
    return entry != nullptr ? entry->usage : FFGL::fail;
}

std::uintptr_t CFFGLPluginManager::GetParamDefault(std::uint32_t index) const
{
    const ParamInfo* entry = find(index);
    if (entry == nullptr)
        return FFGL::fromU32(FFGL::fail);
    if (entry->type == FFGL::typeText)
        return FFGL::fromPointer(entry->defaultText);
    return FFGL::fromFloat(entry->defaultValue);
}

bool CFFGLPluginManager::GetParamDefaultFloat(std::uint32_t index, float& value) const
{
    const ParamInfo* entry = find(index);
    if (entry == nullptr)
        return false;
    value = entry->defaultValue;
    return true;
}

const char* CFFGLPluginManager::GetParamDefaultText(std::uint32_t index) const
{
    const ParamInfo* entry = find(index);
    return entry != nullptr ? entry->defaultText : nullptr;
}
