#pragma once

#include "FlakeSimulation.h"

#include "core/VXScopedPointer.h"
#include "engine/ffgl/VXFFGLApp.h"
#include "engine/gfx/VXShaderProgram.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <utility>

namespace vx
{
    template <typename T>
    class Param;
    class ParamRange;
    class Pixels;
    class Texture;
}

class CFreeFrameGLPlugin;

// The module's instance factory: a Plugin behind a VXFFGLPlugin with one
// input. Answers FFGL::success, or FFGL::fail for a null destination.
std::uint32_t createPluginInstance(CFreeFrameGLPlugin** instance);

// The Kelvo effect: near-white flakes fall over the input picture and settle
// on its edges. At most every 50 ms a Sobel pass over the input, drawn at
// reduced size into the host's framebuffer and read back at one byte per
// pixel, rebuilds the edge points; every frame then clears the framebuffer
// and draws the input ("Show Image") and the flakes.
//
// Runs on the host's thread with its GL context current (init to exit).
class Plugin : public VXFFGLApp
{
public:
    Plugin();
    ~Plugin() override;

    bool init() override;
    void update() override;
    void draw() override;
    void exit() override;
    void resize(int width, int height) override;
    void connect() override;
    void disconnect() override;

    const kelvo::FlakeSimulation& getSimulation() const { return simulation; }
    // Null before init and after exit.
    const vx::Pixels* getReadbackBuffer() const { return readbackBuffer.get(); }
    // This instance's last frame length in milliseconds.
    double getLastFrameMsecs() const { return lastFrameMsecs; }
    double getLastEdgePassTime() const { return lastEdgePassTime; }

    // Where the effect reads engine milliseconds (the frame's time and the
    // edge pass's timer): the monotonic tick, unless a clock is set here, so
    // a benchmark can replay the same frames. An empty function restores
    // the tick.
    void setClock(std::function<double()> clock) { this->clock = std::move(clock); }

private:
    kelvo::FlakeSimulation::Settings currentSettings() const;
    double readClock() const;
    void runEdgePass(const vx::Texture& input);

    std::shared_ptr<vx::ParamRange> size, speed, amount, spread, threshold;
    std::shared_ptr<vx::Param<bool>> showImage, smartEdges;

    vx::ShaderProgram edgeProgram;
    vx::ShaderProgram particleProgram;
    std::shared_ptr<vx::Pixels> readbackBuffer;
    vx::ScopedPointer<vx::Texture> flakeTexture;

    kelvo::FlakeSimulation simulation;
    kelvo::InstanceFrameClock frameClock;
    std::function<double()> clock; // empty: vx::getTickCount
    double lastEdgePassTime = 0.0; // engine milliseconds
    double lastFrameMsecs = 0.0;
};
