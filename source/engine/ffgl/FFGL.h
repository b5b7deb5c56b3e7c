#pragma once

// The FFGL 1.5 wire protocol: the word that crosses plugMain, the function
// codes and the records exchanged with a host. Shared by the plugin side
// (plugMain and the SDK classes) and by the engine when it hosts plugins,
// so it stands below both and holds nothing of either.
//
// The word is pointer-sized. Integer answers and float bits sit in its low 32
// bits with the upper bits zero; failure is 0xFFFFFFFF zero-extended; pointers
// use the whole word. Records keep the 32-bit protocol's field order with u32
// fields 32 bits wide and pointer fields pointer-sized at natural alignment.

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace FFGL
{
    using Word = std::uintptr_t;

    // Answers of every code and of the SDK operations.
    constexpr std::uint32_t success = 0u;
    constexpr std::uint32_t fail = 0xFFFFFFFFu;

    enum Code : std::uint32_t
    {
        getInfo = 0,
        initialise = 1,
        deInitialise = 2,
        getNumParameters = 4,
        getParameterName = 5,
        getParameterDefault = 6,
        getParameterDisplay = 7,
        setParameter = 8,
        getParameter = 9,
        getPluginCaps = 10,
        getExtendedInfo = 13,
        getParameterType = 15,
        getInputStatus = 16,
        processOpenGL = 17,
        instantiateGL = 18,
        deInstantiateGL = 19,
        setTime = 20,
        connect = 21,
        disconnect = 22,
        resize = 23,
        getNumParameterElements = 31,
        getParameterUsage = 32,
        getPluginShortName = 33
    };

    enum ParamType : std::uint32_t
    {
        typeBoolean = 0,
        typeEvent = 1,
        typeStandard = 10, // a float from 0 to 1
        typeOption = 11,
        typeBuffer = 12,
        typeText = 100
    };

    // Capability numbers asked with getPluginCaps.
    enum Capability : std::uint32_t
    {
        capProcessOpenGL = 4,
        capSetTime = 5,
        capMinimumInputs = 10,
        capMaximumInputs = 11
    };

    enum PluginType : std::uint32_t
    {
        pluginEffect = 0,
        pluginSource = 1
    };

    // A 32-bit answer widened into the word (upper bits zero).
    constexpr Word fromU32(std::uint32_t value)
    {
        return static_cast<Word>(value);
    }

    inline Word fromFloat(float value)
    {
        std::uint32_t bits = 0;
        std::memcpy(&bits, &value, sizeof bits);
        return fromU32(bits);
    }

    // The float held in the low 32 bits; the upper bits are ignored.
    inline float toFloat(Word word)
    {
        const auto bits = static_cast<std::uint32_t>(word & 0xFFFFFFFFu);
        float value = 0.0f;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }

    inline Word fromPointer(const void* pointer)
    {
        return reinterpret_cast<Word>(pointer);
    }

    template <typename T>
    T* toPointer(Word word)
    {
        return reinterpret_cast<T*>(word);
    }

    // The 32-bit failure answer as it arrives in a word.
    constexpr bool isFail(Word word)
    {
        return word == fromU32(fail);
    }

    // The one exported entry point of a plugin module.
    using PlugMainFunction = Word (*)(std::uint32_t code, Word input, Word instance);
}

// Answered by getInfo.
struct PluginInfoStruct
{
    std::uint32_t APIMajorVersion;
    std::uint32_t APIMinorVersion;
    unsigned char PluginUniqueID[4]; // not NUL-terminated
    unsigned char PluginName[16];    // zero-padded; no terminator when 16 long
    std::uint32_t PluginType;
};

// Answered by getExtendedInfo.
struct PluginExtendedInfoStruct
{
    std::uint32_t PluginMajorVersion;
    std::uint32_t PluginMinorVersion;
    char* Description;
    char* About;
    std::uint32_t FreeFrameExtendedDataSize;
    void* FreeFrameExtendedDataBlock;
};

// Passed by pointer to instantiateGL and resize.
struct FFGLViewportStructTag
{
    std::uint32_t x;
    std::uint32_t y;
    std::uint32_t width;
    std::uint32_t height;
};

// One input texture of a frame: the used area, the GL texture's size and name.
struct FFGLTextureStruct
{
    std::uint32_t Width;
    std::uint32_t Height;
    std::uint32_t HardwareWidth;
    std::uint32_t HardwareHeight;
    std::uint32_t Handle;
};

// Passed by pointer to processOpenGL.
struct ProcessOpenGLStructTag
{
    std::uint32_t numInputTextures;
    FFGLTextureStruct** inputTextures; // that many pointers; entries may be null
    std::uint32_t HostFBO;             // the framebuffer object to draw into
};

// Passed by pointer to setParameter.
struct SetParameterStruct
{
    std::uint32_t ParameterNumber;
    FFGL::Word NewParameterValue; // float bits in the low 32 bits, or a text pointer
};

static_assert(sizeof(PluginInfoStruct) == 32);
static_assert(sizeof(PluginExtendedInfoStruct) == (sizeof(void*) == 8 ? 40 : 24));
static_assert(sizeof(FFGLViewportStructTag) == 16);
static_assert(sizeof(FFGLTextureStruct) == 20);
static_assert(sizeof(ProcessOpenGLStructTag) == (sizeof(void*) == 8 ? 24 : 12));
static_assert(sizeof(SetParameterStruct) == (sizeof(void*) == 8 ? 16 : 8));
static_assert(sizeof(FFGL::Word) == sizeof(void*));
static_assert(offsetof(PluginExtendedInfoStruct, FreeFrameExtendedDataBlock) == 4 * sizeof(void*));
static_assert(offsetof(ProcessOpenGLStructTag, HostFBO) == 2 * sizeof(void*));
static_assert(offsetof(SetParameterStruct, NewParameterValue) == sizeof(void*));
