// An effect of the host's tests whose display texts are not a straight line
// of the values FFGL exchanges: "Frequency" shows 20 Hz to 20 kHz on a
// logarithmic scale with one decimal, "Depth" holds 0.003 to 0.012 and shows
// it with two decimals (its text changes once), "Falloff" shows 1.5 falling
// to 0.5 with two decimals, "Level" shows 0 to 100 truncated to a whole
// number (100 at the very top only), "Decay" 100 falling to 0 truncated (100
// at the very start only). It fills the host's framebuffer with black.

#include "core/parameters/VXParamRange.h"
#include "engine/ffgl/FFGLPluginInfo.h"
#include "engine/ffgl/VXFFGLApp.h"
#include "engine/ffgl/VXFFGLPlugin.h"

#include <epoxy/gl.h>

#include <cmath>
#include <cstdio>
#include <memory>

namespace
{
    class DisplayEffect : public VXFFGLApp
    {
    public:
        DisplayEffect() : VXFFGLApp(3)
        {
            frequency = params.addParamRange("Frequency", 0.5, vx::ValueRange<double>(0.0, 1.0, "range"));
            params.addParamRange("Depth", 0.006, vx::ValueRange<double>(0.003, 0.012, "range"));
            falloff = params.addParamRange("Falloff", 0.5, vx::ValueRange<double>(0.0, 1.0, "range"));
            level = params.addParamRange("Level", 0.5, vx::ValueRange<double>(0.0, 1.0, "range"));
            decay = params.addParamRange("Decay", 0.5, vx::ValueRange<double>(0.0, 1.0, "range"));
        }

        bool init() override { return true; }

        void draw() override
        {
            glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
            glClear(GL_COLOR_BUFFER_BIT);
        }

        const char* getParameterDisplay(vx::ParamBase* param) override
        {
            if (param == frequency.get())
                std::snprintf(display, sizeof display, "%.1f", 20.0 * std::pow(1000.0, frequency->getValue()));
            else if (param == falloff.get())
                std::snprintf(display, sizeof display, "%.2f", 1.5 - falloff->getValue());
            else if (param == level.get())
                std::snprintf(display, sizeof display, "%d", static_cast<int>(100 * level->getValue()));
            else if (param == decay.get())
                std::snprintf(display, sizeof display, "%d", static_cast<int>(100 * (1.0 - decay->getValue())));
            else
                return nullptr;
            return display;
        }

    private:
        std::shared_ptr<vx::ParamRange> frequency, falloff, level, decay;
        char display[64] = {};
    };

    std::uint32_t createInstance(CFreeFrameGLPlugin** instance)
    {
        if (instance == nullptr)
            return FFGL::fail;
        *instance = new VXFFGLPlugin(new DisplayEffect(), 0, 1);
        return FFGL::success;
    }

    const CFFGLPluginInfo info(createInstance, "VXD0", "Displays", 1, 500, 1, 0, FFGL::pluginEffect,
                               "Effect with curved and coarse displays", "Vexkit tests");
}
