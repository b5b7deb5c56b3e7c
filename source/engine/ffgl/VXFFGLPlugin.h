#pragma once

#include "core/VXScopedPointer.h"
#include "engine/ffgl/FreeFrameGLPlugin.h"
#include "engine/gfx/VXScopedNoConditionalRender.h"

class VXFFGLApp;

// The FFGL instance over one VXFFGLApp (owned): maps the FFGL calls onto the
// application and its "Params" container. Parameters are exchanged by their
// position in the container: bools (events included) as 0 or 1, ranges
// normalised, texts as text; other kinds read 0 and refuse values.
class VXFFGLPlugin : public CFreeFrameGLPlugin
{
public:
    // Takes ownership of app (deleted with the instance) and builds the
    // parameter table from its container.
    VXFFGLPlugin(VXFFGLApp* app, int minInputs, int maxInputs);
    ~VXFFGLPlugin() override;

    std::uint32_t InitGL(const FFGLViewportStructTag* viewport) override;
    std::uint32_t DeInitGL() override;
    char* GetParameterDisplay(std::uint32_t index) override;
    std::uint32_t SetFloatParameter(std::uint32_t index, float value) override;
    std::uint32_t SetTextParameter(std::uint32_t index, const char* text) override;
    float GetFloatParameter(std::uint32_t index) override;
    // The text parameter's text (valid until its value changes), else null.
    FFGL::Word GetTextParameter(std::uint32_t index) override;
    // FFGL::fail (nothing drawn, no GL touched) before InitGL succeeded or
    // when an input the plugin needs is missing from this frame; FFGL::fail
    // with nothing drawn too while an input it needs is not a 2D texture or
    // the host's attribute stack is full (a log line says so once). The
    // application draws under the state it assumes whatever the host left
    // (no depth test, culling, discard, sample mask, clip planes, texture
    // generation, sampler objects or running transform feedback; filled
    // polygons, GL's clip origin, the read buffer its draw buffer) and the
    // host's GL state is restored after drawing.
    std::uint32_t ProcessOpenGL(ProcessOpenGLStructTag* frame) override;
    std::uint32_t SetTime(double time) override;
    std::uint32_t Connect() override;
    std::uint32_t Disconnect() override;
    std::uint32_t Resize(const FFGLViewportStructTag* viewport) override;

    VXFFGLApp* getApp() const { return app.get(); }
    bool isGLInitialised() const { return glInitialised; }

private:
    void initParameters();
    void setupInputTextures(ProcessOpenGLStructTag* frame);

    double previousFrameTime = 0.0;
    char displayBuffer[128] = {};
    bool glInitialised = false;
    bool fullStackReported = false;
    bool undrawableInputReported = false;
    vx::ScopedNoConditionalRender::Queries conditionalRenderQueries;
    vx::ScopedPointer<VXFFGLApp> app;
};
