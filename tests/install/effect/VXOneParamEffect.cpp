// An FFGL effect as a plugin author writes one against the installed engine:
// one parameter, "Level", filling the host's framebuffer with (Level, 0,
// 1 - Level, 1). VX_EFFECT_ID and VX_EFFECT_NAME tell builds apart; with
// VX_EFFECT_READS_MOVIES it also asks the movie layer for a reader at start.

#include "core/parameters/VXParamRange.h"
#include "engine/ffgl/FFGLPluginInfo.h"
#include "engine/ffgl/VXFFGLApp.h"
#include "engine/ffgl/VXFFGLPlugin.h"

#ifdef VX_EFFECT_READS_MOVIES
#include "core/VXFile.h"
#include "engine/video/formats/VXAVFVideoFormat.h"
#endif

#include <epoxy/gl.h>

#include <memory>

#ifndef VX_EFFECT_ID
#define VX_EFFECT_ID "VXE0"
#endif
#ifndef VX_EFFECT_NAME
#define VX_EFFECT_NAME "OneParam"
#endif

namespace
{
    class OneParamEffect : public VXFFGLApp
    {
    public:
        // Flags 3: the root's OpenGL and render passes, no media managers.
        OneParamEffect() : VXFFGLApp(3)
        {
            level = params.addParamRange("Level", 0.5, vx::ValueRange<double>(0.0, 1.0, "range"));
        }

        bool init() override
        {
#ifdef VX_EFFECT_READS_MOVIES
            // A movie that is not there gives no reader.
            vx::AVFVideoFormat movies;
            return movies.createReaderFor(vx::File("/no/such/folder/movie.mov")) == nullptr;
#else
            return true;
#endif
        }

        void draw() override
        {
            const auto value = static_cast<float>(level->getValue());
            glClearColor(value, 0.0f, 1.0f - value, 1.0f);
            glClear(GL_COLOR_BUFFER_BIT);
        }

    private:
        std::shared_ptr<vx::ParamRange> level;
    };

    std::uint32_t createInstance(CFreeFrameGLPlugin** instance)
    {
        if (instance == nullptr)
            return FFGL::fail;
        *instance = new VXFFGLPlugin(new OneParamEffect(), 0, 1);
        return FFGL::success;
    }

    const CFFGLPluginInfo info(createInstance, VX_EFFECT_ID, VX_EFFECT_NAME, 1, 500, 1, 0, FFGL::pluginEffect,
                               "One-parameter effect", "Vexkit install test");
}
