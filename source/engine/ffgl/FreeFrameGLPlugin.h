#pragma once

#include "engine/ffgl/FFGL.h"
#include "engine/ffgl/FFGLPluginManager.h"

#include <cstdint>

// The base of a plugin instance: plugMain calls these operations. Integer
// answers are FFGL::success or FFGL::fail unless stated.
class CFreeFrameGLPlugin : public CFFGLPluginManager
{
public:
    CFreeFrameGLPlugin() = default;
    ~CFreeFrameGLPlugin() override = default;

    virtual std::uint32_t InitGL(const FFGLViewportStructTag* viewport);
    virtual std::uint32_t DeInitGL();
    // A text parameter's text, or "%f" of the float value in a module-wide
    // buffer; null for an unknown index or an instance without self pointer.
    virtual char* GetParameterDisplay(std::uint32_t index);
    virtual std::uint32_t SetFloatParameter(std::uint32_t index, float value);
    virtual std::uint32_t SetTextParameter(std::uint32_t index, const char* text);
    virtual float GetFloatParameter(std::uint32_t index);
    // A text pointer, or FFGL::fail as a word.
    virtual FFGL::Word GetTextParameter(std::uint32_t index);
    virtual std::uint32_t ProcessOpenGL(ProcessOpenGLStructTag* frame);
    virtual std::uint32_t SetTime(double time);
    // 1 for an index below the maximum number of inputs, else FFGL::fail.
    virtual std::uint32_t GetInputStatus(std::uint32_t index);
    virtual char* GetShortName();
    virtual std::uint32_t Connect();
    virtual std::uint32_t Disconnect();
    virtual std::uint32_t Resize(const FFGLViewportStructTag* viewport);

    bool IsConnected() const { return connected; }
    void SetConnected(bool isConnected) { connected = isConnected; }
    // Set by instantiateGL to the instance itself.
    void SetSelf(CFreeFrameGLPlugin* instance) { self = instance; }

private:
    bool connected = false;
    CFreeFrameGLPlugin* self = nullptr;
};
