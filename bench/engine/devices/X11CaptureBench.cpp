// The X11 backend against an Xorg with the dummy driver that the benchmark
// starts (skipped when it cannot):
// - a grab of a 1920x1080 window into a texture (Composite pixmap, over
//   MIT-SHM or plain GetImage) against a bare xcb_get_image of the same
//   window plus glTexSubImage2D, each frame ending with glFinish, taking
//   turns to go first; the ratio of median frame times;
// - display enumeration with 3 monitors: the display collection rebuilt
//   from the server's monitors, beside one bare RandR monitor query.

#include <benchmark/benchmark.h>

#include "DeviceBenchSupport.h"
#include "core/VXTime.h"
#include "engine/devices/VXDeviceChangeDetector.h"
#include "engine/devices/VXDisplayCollection.h"
#include "engine/devices/VXScreenCaptureWrapper.h"
#include "engine/devices/x11/VXTestWindows.h"
#include "engine/devices/x11/VXXorgServer.h"
#include "engine/gfx/VXTexture.h"
#include "platform/coregraphics/VXCoreGraphicsX11.h"

#include <epoxy/gl.h>
#include <xcb/randr.h>

#include <cstdlib>
#include <memory>

namespace
{
    constexpr int width = 1920;
    constexpr int height = 1080;

    // The server for every case, stopped at exit.
    vx::test::XorgServer& server()
    {
        static vx::test::XorgServer instance;
        return instance;
    }

    struct WindowGrab
    {
        explicit WindowGrab(xcb_window_t window) { wrapper.setWindowId(int(window)); }
        ~WindowGrab() { texture.release(); }
        void operator()()
        {
            clock += 40.0;
            vx::updateTime(clock);
            wrapper.grab(&texture);
            glFinish();
        }
        vx::ScreenCaptureWrapper wrapper;
        vx::Texture texture;
        double clock = 1000.0;
    };

    // What a program would write by hand: the window's pixels as the server
    // sends them, uploaded as they come.
    struct BareGetImage
    {
        BareGetImage(const std::string& display, xcb_window_t target)
            : connection(xcb_connect(display.c_str(), nullptr)), window(target)
        {
            glGenTextures(1, &texture);
            glBindTexture(GL_TEXTURE_2D, texture);
            glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_BGRA, GL_UNSIGNED_BYTE, nullptr);
            glBindTexture(GL_TEXTURE_2D, 0);
        }
        ~BareGetImage()
        {
            glDeleteTextures(1, &texture);
            xcb_disconnect(connection);
        }
        void operator()()
        {
            xcb_get_image_reply_t* reply = xcb_get_image_reply(
                connection,
                xcb_get_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, window, 0, 0, width, height, ~0u), nullptr);
            glBindTexture(GL_TEXTURE_2D, texture);
            if (reply != nullptr)
                glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width, height, GL_BGRA, GL_UNSIGNED_BYTE,
                                xcb_get_image_data(reply));
            glBindTexture(GL_TEXTURE_2D, 0);
            glFinish();
            std::free(reply);
        }
        xcb_connection_t* connection;
        xcb_window_t window;
        GLuint texture = 0;
    };

    void BM_X11WindowGrabOverGetImageUpload(benchmark::State& state)
    {
        if (vx::bench::benchEngine().renderer == nullptr)
            return state.SkipWithError("no GL context");
        if (! server().isRunning())
            return state.SkipWithError(("no X server: " + server().getWhyNot()).c_str());
        vx::cg::X11Options options;
        options.useSharedMemory = state.range(0) != 0;
        vx::cg::setBackend(vx::cg::createX11Backend(server().getDisplayName().c_str(), options));
        {
            vx::test::TestWindows windows(server().getDisplayName());
            const xcb_window_t window = windows.create(0, 0, width, height, {"bench", "", "vx", "VXBench", 1});
            WindowGrab frame(window);
            BareGetImage baseline(server().getDisplayName(), window);
            frame();
            baseline();
            vx::bench::timeAlternately(state, frame, baseline, [] {}, "grabUs", "getImageUploadUs",
                                       "grabOverBaseline");
        }
        vx::cg::setBackend(nullptr);
    }
    BENCHMARK(BM_X11WindowGrabOverGetImageUpload)
        ->Name("BM_X11WindowGrabOverGetImageUpload/1920x1080/SharedMemory")
        ->Arg(1)
        ->Iterations(200);
    BENCHMARK(BM_X11WindowGrabOverGetImageUpload)
        ->Name("BM_X11WindowGrabOverGetImageUpload/1920x1080/GetImage")
        ->Arg(0)
        ->Iterations(200);

    void BM_X11DisplayEnumeration(benchmark::State& state)
    {
        if (! server().isRunning())
            return state.SkipWithError(("no X server: " + server().getWhyNot()).c_str());
        server().xrandr("--setmonitor V1 640/100x480/100+1920+0 none");
        server().xrandr("--setmonitor V2 640/100x480/100+2560+0 none");
        vx::cg::setBackend(vx::cg::createX11Backend(server().getDisplayName().c_str(), vx::cg::X11Options()));
        {
            vx::DeviceChangeDetector detector;
            vx::DisplayCollection collection(detector);
            if (collection.getDisplayItemByIndex(2) == nullptr)
                return state.SkipWithError("the server did not take 3 monitors");
            auto enumerate = [&]
            {
                collection.DeviceChanged(vx::DeviceCategoryDisplay);
                collection.enumerateDisplays();
            };
            xcb_connection_t* connection = xcb_connect(server().getDisplayName().c_str(), nullptr);
            const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
            auto bare = [&]
            {
                std::free(xcb_randr_get_monitors_reply(connection, xcb_randr_get_monitors(connection, root, 1),
                                                       nullptr));
            };
            vx::bench::timeAlternately(state, enumerate, bare, [] {}, "enumerateUs", "getMonitorsUs",
                                       "enumerateOverGetMonitors");
            xcb_disconnect(connection);
        }
        vx::cg::setBackend(nullptr);
        server().xrandr("--delmonitor V1");
        server().xrandr("--delmonitor V2");
    }
    BENCHMARK(BM_X11DisplayEnumeration)->Name("BM_X11DisplayEnumeration/3monitors")->Iterations(1000);
}
