#pragma once

#include <cstdint>

// The parameter table and input counts of a plugin. Entries are kept in
// order of addition and found by their index field; lookups of an index with
// no entry answer null (name) or FFGL::fail (everything else).
class CFFGLPluginManager
{
public:
    CFFGLPluginManager() = default;
    // Frees every entry with its text default.
    virtual ~CFFGLPluginManager();

    CFFGLPluginManager(const CFFGLPluginManager&) = delete;
    CFFGLPluginManager& operator=(const CFFGLPluginManager&) = delete;

    std::uint32_t GetNumParams() const { return numParams; }
    int GetMinInputs() const { return minInputs; }
    int GetMaxInputs() const { return maxInputs; }
    bool GetTimeSupported() const { return timeSupported; }

    // The 16-byte name (not terminated when 16 characters long), or null.
    const char* GetParamName(std::uint32_t index) const;
    std::uint32_t GetParamType(std::uint32_t index) const;
    std::uint32_t GetNumParamElements(std::uint32_t index) const;
    std::uint32_t GetParamUsage(std::uint32_t index) const;
    // The default's float bits, or FFGL::fail as a word for an unknown index;
    // a text entry answers its text pointer.
    std::uintptr_t GetParamDefault(std::uint32_t index) const;
    // The default float of an entry (0 for none); false for an unknown index.
    bool GetParamDefaultFloat(std::uint32_t index, float& value) const;
    // The default text of a text entry, or null.
    const char* GetParamDefaultText(std::uint32_t index) const;

protected:
    void SetMinInputs(int count) { minInputs = count; }
    void SetMaxInputs(int count) { maxInputs = count; }
    void SetTimeSupported(bool supported) { timeSupported = supported; }

    // Each appends one entry of one element and usage 0.
    // The float default is clamped to 0..1 (NaN becomes 0).
    void SetParamInfo(std::uint32_t index, const char* name, std::uint32_t type, float defaultValue);
    void SetParamInfo(std::uint32_t index, const char* name, std::uint32_t type, bool defaultValue);
    // Keeps its own copy of the text (null: empty text); default float 0.
    void SetParamInfo(std::uint32_t index, const char* name, std::uint32_t type, const char* defaultValue);
    // Type option with that many elements, the default as a float.
    void SetOptionParamInfo(std::uint32_t index, const char* name, std::uint32_t elements, int defaultValue);
    // Type buffer with those elements and usage, default 0.
    void SetBufferParamInfo(std::uint32_t index, const char* name, std::uint32_t elements, std::uint32_t usage);

private:
    struct ParamInfo
    {
        std::uint32_t index = 0;
        char name[16] = {};
        std::uint32_t type = 0;
        std::uint32_t numElements = 1;
        std::uint32_t usage = 0;
        float defaultValue = 0.0f;
        char* defaultText = nullptr; // owned; text entries only
        ParamInfo* next = nullptr;
    };

    ParamInfo* append(std::uint32_t index, const char* name, std::uint32_t type);
    const ParamInfo* find(std::uint32_t index) const;

    std::uint32_t numParams = 0;
    ParamInfo* first = nullptr;
    ParamInfo* last = nullptr;
    int minInputs = 0;
    int maxInputs = 0;
    bool timeSupported = false;
};
