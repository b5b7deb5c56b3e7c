#pragma once

// An effect for the FFGL layer's tests, run in-process and built into a test
// module: parameters of every kind the adapter maps, counters of the calls it
// receives, and a draw that fills the bound framebuffer with a colour taken
// from its parameters and then scrambles GL state the host must get back.

#include "core/parameters/VXParamEvent.h"
#include "core/parameters/VXParamRange.h"
#include "engine/ffgl/FFGLPluginInfo.h"
#include "engine/ffgl/VXFFGLApp.h"
#include "engine/ffgl/VXFFGLPlugin.h"
#include "engine/gfx/VXRenderer.h"

#include <epoxy/gl.h>

#include <memory>
#include <string>

namespace vx::test
{
    // What the effects of one process did (the module keeps its own copy).
    struct FFGLTestEffectLog
    {
        int constructed = 0;
        int destroyed = 0;
        int inits = 0;
        int exits = 0;
        int updates = 0;
        int draws = 0;
        int connects = 0;
        int disconnects = 0;
        int resizes = 0;
        double lastFrameTime = -1.0;
        // One letter per call, in order: C connect, D disconnect, I init,
        // X exit, R resize, U update, W draw.
        std::string trail;
        // Renderer each init found (null without GL start-up).
        Renderer* lastRenderer = nullptr;
        // Set to make the next inits fail, or the factory.
        bool failInit = false;
        bool failFactory = false;
        // Set to make draws fill the viewport with rendererFill through the
        // application's renderer (its built-in programs) after the clear.
        bool drawThroughRenderer = false;
        static constexpr Color rendererFill{0.2f, 0.4f, 0.6f, 1.0f};

        static FFGLTestEffectLog& get()
        {
            static FFGLTestEffectLog log;
            return log;
        }

        // Counts a call and appends its letter to the trail.
        static void note(int& counter, char letter)
        {
            ++counter;
            get().trail += letter;
        }
    };

    class FFGLTestEffect : public VXFFGLApp
    {
    public:
        // Table: 0 "Gain" range 0..8 at 2 (0.25), 1 "Invert" bool true,
        // 2 "Flash" event, 3 "Caption" text "hello", 4 a range from -1 to 1
        // at 0 whose name is longer than 16 characters; with
        // withUnmappedParam also 5 "Opaque", a double no FFGL type carries.
        explicit FFGLTestEffect(bool withUnmappedParam = false) : VXFFGLApp(3)
        {
            gain = std::make_shared<ParamRange>("Gain", 2.0, ValueRange<double>(0.0, 8.0, "range"));
            params.addParam(gain);
            invert = params.addParamBool("Invert", true);
            flash = std::make_shared<ParamEvent>("Flash");
            params.addParam(flash);
            caption = params.addParamString("Caption", "hello");
            params.addParam(std::make_shared<ParamRange>("Exactly Sixteen!Tail", 0.0, ValueRange<double>(-1.0, 1.0)));
            if (withUnmappedParam)
                opaque = params.addParamDouble("Opaque", 0.5);
            ++FFGLTestEffectLog::get().constructed;
        }

        ~FFGLTestEffect() override { ++FFGLTestEffectLog::get().destroyed; }

        bool init() override
        {
            auto& log = FFGLTestEffectLog::get();
            FFGLTestEffectLog::note(log.inits, 'I');
            log.lastRenderer = getRenderer();
            return ! log.failInit;
        }

        void exit() override { FFGLTestEffectLog::note(FFGLTestEffectLog::get().exits, 'X'); }

        void update() override
        {
            auto& log = FFGLTestEffectLog::get();
            FFGLTestEffectLog::note(log.updates, 'U');
            log.lastFrameTime = getFrameTime();
        }

        // Red from "Gain" (normalised), green from "Invert", blue 1, alpha 1;
        // then state a careless effect leaves behind.
        void draw() override
        {
            FFGLTestEffectLog::note(FFGLTestEffectLog::get().draws, 'W');
            glClearColor(static_cast<float>(gain->getValueNormalized()), invert->getValue() ? 1.0f : 0.0f, 1.0f, 1.0f);
            glClear(GL_COLOR_BUFFER_BIT);
            if (FFGLTestEffectLog::get().drawThroughRenderer && getRenderer() != nullptr)
            {
                const RectT<float> area(0.0f, 0.0f, static_cast<float>(viewport.width),
                                        static_cast<float>(viewport.height));
                getRenderer()->setViewport(area);
                getRenderer()->setupGuiMatrices(1.0f);
                getRenderer()->fillRect(area, FFGLTestEffectLog::rendererFill);
            }

            glEnable(GL_BLEND);
            glBlendFunc(GL_ONE, GL_ONE);
            glViewport(1, 2, 3, 4);
            glMatrixMode(GL_PROJECTION);
            glOrtho(-2.0, 2.0, -2.0, 2.0, -1.0, 1.0);
            glMatrixMode(GL_TEXTURE);
            glTranslatef(0.5f, 0.0f, 0.0f);
            glBindFramebuffer(GL_FRAMEBUFFER, 0);
            glEnableClientState(GL_VERTEX_ARRAY);
            glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_COMBINE);
            glTexEnvf(GL_TEXTURE_ENV, GL_RGB_SCALE, 4.0f);
            glActiveTexture(GL_TEXTURE1);
            // A colour, then a draw (of nothing) inside a nested push and
            // pop: on this road Mesa's llvmpipe loses the colour the
            // adapter's own pop restores.
            glColor4f(1.0f, 0.0f, 1.0f, 0.5f);
            glPushAttrib(GL_TEXTURE_BIT);
            static const float point[8] = {};
            glBindBuffer(GL_ARRAY_BUFFER, 0);
            glVertexPointer(2, GL_FLOAT, 0, point);
            glDrawArrays(GL_TRIANGLE_FAN, 0, 4);
            glPopAttrib();
        }

        void resize(int, int) override { FFGLTestEffectLog::note(FFGLTestEffectLog::get().resizes, 'R'); }
        void connect() override { FFGLTestEffectLog::note(FFGLTestEffectLog::get().connects, 'C'); }
        void disconnect() override { FFGLTestEffectLog::note(FFGLTestEffectLog::get().disconnects, 'D'); }

        std::shared_ptr<ParamRange> gain;
        std::shared_ptr<Param<bool>> invert;
        std::shared_ptr<ParamEvent> flash;
        std::shared_ptr<Param<std::string>> caption;
        std::shared_ptr<Param<double>> opaque;
    };

    // The effect's factory: one minimum and one maximum input.
    inline std::uint32_t createTestEffectInstance(CFreeFrameGLPlugin** instance)
    {
        if (FFGLTestEffectLog::get().failFactory)
            return FFGL::fail;
        *instance = new VXFFGLPlugin(new FFGLTestEffect(), 1, 1);
        return FFGL::success;
    }

    // The information record: id "VXTE", a name of exactly 16 characters.
    inline constexpr const char* testEffectId = "VXTE";
    inline constexpr const char* testEffectName = "FFGL Test Effect";

    inline CFFGLPluginInfo* makeTestEffectInfo()
    {
        return new CFFGLPluginInfo(createTestEffectInstance, testEffectId, testEffectName, 1, 500, 2, 7,
                                   FFGL::pluginEffect, "Effect of the tests", "Vexkit tests");
    }
}
