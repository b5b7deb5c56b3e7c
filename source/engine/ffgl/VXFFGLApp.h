#pragma once

#include "core/parameters/VXParamContainer.h"
#include "core/parameters/VXParamListener.h"
#include "engine/ffgl/VXAppModule.h"

namespace vx
{
    class Renderer;
    class Texture;
}

class VXFFGLPlugin;

// An engine application run as an FFGL instance through a VXFFGLPlugin. Its
// "Params" container is what the host sees as the parameter list, in order.
//
// It also owns the engine's life in the module: the first application made
// creates and initialises the engine root (without GL), the first initInternal
// hands the host's current GL context to the engine and starts the engine's
// GL, the last exitInternal releases the engine's GPU resources and forgets
// the host's context, and the last application destroyed shuts the root down
// and deletes it. A root that exists before the first application (an effect
// linked to a shared engine inside an application on it) is the host's and is
// never shut down or deleted here; GL the host started is never released
// here, and context entries the host made stay. Everything runs on the host's
// thread; no locks.
class VXFFGLApp : public VXApp::AppModule, public vx::ParamListener
{
public:
    struct Viewport
    {
        int x = 0;
        int y = 0;
        int width = 0;
        int height = 0;
    };

    static constexpr int numInputSlots = 3;

    // moduleFlags: the engine modules to start the root with when none exists.
    explicit VXFFGLApp(unsigned int moduleFlags);
    ~VXFFGLApp() override;

    // With the host's GL context current: counts the application in, starts
    // the engine's GL for the first one (unless it runs already), takes the
    // primary renderer, then answers init(). An application initialised on
    // another host context takes that context's own renderer instead (the
    // context is registered while applications use it: programs are not
    // shared between contexts).
    // False without a current context (nothing counted) or when init() fails;
    // exitInternal still balances the count.
    bool initInternal();
    // exit(), then counts the application out (only if initInternal counted
    // it); the last one releases the engine's GPU resources.
    void exitInternal();

    void setRenderer(vx::Renderer* rendererToUse) { renderer = rendererToUse; }
    vx::Renderer* getRenderer() const { return renderer; }

    void valueChanged(vx::ParamBase& param, vx::ChangeInfo info) override;
    // The application's own display text for a parameter; null for the
    // standard one.
    virtual const char* getParameterDisplay(vx::ParamBase* param);
    virtual void resize(int width, int height);
    virtual void connect();
    virtual void disconnect();

    vx::ParamContainer& getParams() { return params; }
    const vx::ParamContainer& getParams() const { return params; }
    const Viewport& getViewport() const { return viewport; }
    // The host's texture of input slot, wrapped; null until a frame supplied it.
    vx::Texture* getInputTexture(int slot) const;
    // Milliseconds since the previous frame, set before every update().
    double getFrameTime() const { return frameTime; }

    // Live counted applications, and those between initInternal and exitInternal.
    static unsigned int getInstanceCount() { return instanceCount; }
    static unsigned int getInitCount() { return initCount; }

protected:
    vx::Texture* inputTextures[numInputSlots] = {};
    Viewport viewport;
    vx::ParamContainer params;
    bool counted = true;
    double frameTime = 0.0;
    vx::Renderer* renderer = nullptr;

private:
    friend class VXFFGLPlugin;

    // Whether this module's applications started the engine's GL (and so
    // drive it), rather than found it started by their host.
    static bool startedEngineGL();

    // Whether this application is in initCount (initInternal counted it),
    // and whether init() ran since the last exit().
    bool initCounted = false;
    bool initEntered = false;

    static unsigned int instanceCount;
    static unsigned int initCount;
};
