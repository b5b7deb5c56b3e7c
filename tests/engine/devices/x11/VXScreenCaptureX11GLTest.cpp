// Window grabs over the X11 backend into textures: known pixels, also while
// covered and after a resize, with and without MIT-SHM; a window that goes
// between choosing and grabbing, or whose id another program's window gets,
// also as the screen capture source shows it; two captures of one window
// over a slow link; a server that stops answering for a while.

#include "engine/devices/VXScreenCaptureWrapper.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include <signal.h>
#include <unistd.h>

#include "VXExternalWindowManager.h"
#include "VXX11Relay.h"
#include "VXX11TestSupport.h"
#include "core/VXTime.h"
#include "core/parameters/VXParamChoice.h"
#include "engine/gfx/VXGfxObjectManager.h"
#include "engine/gfx/VXRenderTargetTestSupport.h"
#include "engine/gfx/VXTexture.h"
#include "engine/video/sources/VXScreenCaptureVideoSource.h"
#include "support/VXLogRecorder.h"
#include "support/gl/VXGLTestFixture.h"

namespace vx::test
{
    namespace
    {
        struct GrabCase
        {
            const char* name;
            bool useSharedMemory;
            bool composited = false; // with a compositing manager running
        };
        std::ostream& operator<<(std::ostream& out, const GrabCase& c)
        {
            return out << c.name;
        }

        class X11GrabGLTest : public X11TestOn<GLTest>, public ::testing::WithParamInterface<GrabCase>
        {
        protected:
            void SetUp() override
            {
                X11TestOn<GLTest>::SetUp();
                if (IsSkipped() || HasFatalFailure())
                    return;
                if (GetParam().composited)
                {
                    compositor = std::make_unique<ExternalCompositor>(server->getDisplayName());
                    if (compositor->getWhyNot().find("not installed") != std::string::npos)
                        GTEST_SKIP() << compositor->getWhyNot();
                    ASSERT_TRUE(compositor->isRunning()) << compositor->getWhyNot();
                }
                cg::setBackend(connectX11(*server, GetParam().useSharedMemory));
                updateTime(clock);
            }

            void TearDown() override
            {
                texture.release();
                X11TestOn<GLTest>::TearDown();
                compositor.reset();
            }

            bool grabLater()
            {
                clock += 40.0;
                updateTime(clock);
                return wrapper.grab(&texture);
            }

            // The texture holds the tiled pattern of a tileWidth x tileHeight window.
            void expectPattern(int tileWidth, int tileHeight)
            {
                const std::vector<PixelRGBA8> read = readTexture(GL_TEXTURE_2D, texture.getGLName());
                const int stride = texture.getHardwareWidth();
                int wrong = 0;
                for (int y = 0; y < texture.getHeight(); ++y)
                    for (int x = 0; x < texture.getWidth(); ++x)
                    {
                        const uint32_t p = patternPixel(x % tileWidth, y % tileHeight);
                        const PixelRGBA8 expected{uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p), 255};
                        if (read[size_t(y * stride + x)] != expected && wrong++ < 3)
                            ADD_FAILURE() << "at " << x << "," << y << ": " << read[size_t(y * stride + x)]
                                          << " instead of " << expected;
                    }
                EXPECT_EQ(wrong, 0);
            }

            std::unique_ptr<ExternalCompositor> compositor;
            ScreenCaptureWrapper wrapper;
            Texture texture;
            double clock = 5000.0;
        };

        TEST_P(X11GrabGLTest, AWindowIsGrabbedWithItsPixelsAlsoWhileCoveredAndAfterAResize)
        {
            const xcb_window_t window = windows->create(100, 100, 64, 48, {"grabbed", "", "vx", "VX", 0});
            windows->create(120, 110, 50, 50, {"cover", "", "vx", "VX", 0});
            wrapper.setWindowId(int(window));
            ASSERT_TRUE(grabLater());
            ASSERT_EQ(texture.getWidth(), 64);
            ASSERT_EQ(texture.getHeight(), 48);
            expectPattern(64, 48);

            windows->resize(window, 80, 40);
            ASSERT_TRUE(grabLater());
            ASSERT_EQ(texture.getWidth(), 80);
            ASSERT_EQ(texture.getHeight(), 40);
            expectPattern(64, 48);
        }

        TEST_P(X11GrabGLTest, AWindowGoneBetweenListAndGrabAnswersFalseWithTheTextureUntouched)
        {
            const xcb_window_t kept = windows->create(10, 10, 32, 16, {"kept", "", "vx", "VX", 0});
            const xcb_window_t going = windows->create(60, 10, 20, 20, {"going", "", "vx", "VX", 0});
            wrapper.setWindowId(int(kept));
            ASSERT_TRUE(grabLater());
            wrapper.setWindowId(int(going));
            windows->destroy(going);
            EXPECT_FALSE(grabLater());
            ASSERT_EQ(texture.getWidth(), 32);
            expectPattern(32, 16);
        }

        TEST_P(X11GrabGLTest, AWindowThatWentStaysGoneWhenAnotherProgramGetsItsIdUntilAWindowIsChosenAgain)
        {
            auto first = std::make_unique<TestWindows>(server->getDisplayName());
            const xcb_window_t window = first->create(100, 100, 32, 16, {"first", "", "vx", "VX", 0});
            wrapper.setWindowId(int(window));
            ASSERT_TRUE(grabLater());

            // The program ends; the next one is given its ids.
            std::vector<std::unique_ptr<TestWindows>> others;
            std::unique_ptr<TestWindows> second = restartWithTheSameIds(*server, first, *windows, window, others);
            ASSERT_NE(second, nullptr);
            EXPECT_FALSE(grabLater());
            EXPECT_FALSE(grabLater());
            ASSERT_EQ(texture.getWidth(), 32);
            expectPattern(32, 16);

            // Chosen again, it is the window shown.
            wrapper.setWindowId(int(window));
            ASSERT_TRUE(grabLater());
            EXPECT_EQ(texture.getWidth(), 40);
            expectPattern(40, 20);
        }

        // Two sources capturing one window over a slow link (a forwarded
        // display, without shared memory): a picture that came while
        // neither waited shows in both.
        using X11SlowLinkGrabGLTest = X11TestOn<GLTest>;

        TEST_F(X11SlowLinkGrabGLTest, TwoCapturesOfOneWindowEachShowEveryPictureThatComes)
        {
            const xcb_window_t window = windows->create(0, 0, 1280, 720, {"shown", "", "vx", "VX", long(getpid())});
            windows->sync();
            X11Relay relay(server->getDisplayName());
            ASSERT_TRUE(relay.isRunning()) << relay.getWhyNot();
            std::shared_ptr<cg::Backend> backend = connectX11(relay.getDisplayName(), false);
            ASSERT_NE(backend, nullptr);
            cg::setBackend(backend);
            ScreenCaptureWrapper wrappers[2];
            Texture textures[2];
            for (ScreenCaptureWrapper& wrapper : wrappers)
                wrapper.setWindowId(int(window));
            // A picture in about 0.9 s: longer than a grab waits.
            relay.limitToClients(4 << 20);
            const size_t before = relay.getBytesToClients();
            const auto come = [&] { return int((relay.getBytesToClients() - before) / (1280 * 720 * 4)); };
            int shown[] = {0, 0};
            double clock = 5000.0;
            const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
            while (come() < 6 && std::chrono::steady_clock::now() < giveUp)
            {
                clock += 40.0;
                updateTime(clock);
                for (int i : {0, 1})
                    shown[i] += wrappers[i].grab(&textures[i]) ? 1 : 0;
                std::this_thread::sleep_for(std::chrono::milliseconds(16));
            }
            // The last may not have been taken yet.
            const int came = come();
            EXPECT_GE(came, 6);
            EXPECT_GE(shown[0], came - 2);
            EXPECT_GE(shown[1], came - 2) << "the pictures went to one capture or the other, not to both";
            for (Texture& texture : textures)
            {
                ASSERT_EQ(texture.getWidth(), 1280);
                const std::vector<PixelRGBA8> read = readTexture(GL_TEXTURE_2D, texture.getGLName());
                const uint32_t p = patternPixel(700, 400);
                EXPECT_EQ(read[size_t(400 * texture.getHardwareWidth() + 700)],
                          (PixelRGBA8{uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p), 255}));
                texture.release();
            }
            cg::setBackend(nullptr);
        }

        INSTANTIATE_TEST_SUITE_P(Reads, X11GrabGLTest,
                                 ::testing::Values(GrabCase{"SharedMemory", true}, GrabCase{"GetImage", false},
                                                   GrabCase{"Composited", true, true}),
                                 [](const ::testing::TestParamInfo<GrabCase>& info) { return info.param.name; });

        // A screen capture source on the backend, rendered by the engine's
        // renderer; its "Windows" entries are chosen as a user picks them.
        class X11ScreenCaptureSourceGLTest : public X11TestOn<HostRendererGLTest>
        {
        protected:
            void SetUp() override
            {
                X11TestOn<HostRendererGLTest>::SetUp();
                if (IsSkipped() || HasFatalFailure())
                    return;
                cg::setBackend(connectX11(*server));
                restoresViewport = true;
                updateTime(clock);
            }

            void TearDown() override
            {
                source.reset();
                if (auto* objects = root->getGfxObjectManager())
                    objects->cleanAll();
                X11TestOn<HostRendererGLTest>::TearDown();
            }

            // Picks the entry of that window; false when none is listed.
            bool choose(xcb_window_t window)
            {
                ParamChoice<int>& choice = *source->getWindowsParam();
                for (unsigned int i = 0; i < choice.getNumChoices(); ++i)
                    if (choice.getChoices()[i].getValue() == int(window))
                        return choice.setValueByIndex(i, ValueChangeInfo());
                return false;
            }

            // The next frame, 40 ms of engine time after the last (so it grabs).
            TextureRef renderLater()
            {
                clock += 40.0;
                updateTime(clock);
                return source->render(*renderer, info);
            }

            // The frame shows the tiled pattern of a width x height window,
            // its top row on top.
            void expectWindow(const TextureRef& frame, int width, int height)
            {
                ASSERT_NE(frame.get(), nullptr);
                ASSERT_EQ(source->getWidth(), width);
                ASSERT_EQ(source->getHeight(), height);
                const Texture& texture = *frame.get();
                ASSERT_GE(texture.getHardwareHeight(), height);
                const std::vector<PixelRGBA8> read = readTexture(GL_TEXTURE_2D, texture.getGLName());
                const int stride = texture.getHardwareWidth();
                int wrong = 0;
                for (int y = 0; y < height; ++y)
                    for (int x = 0; x < width; ++x)
                    {
                        const uint32_t p = patternPixel(x, y);
                        const PixelRGBA8 expected{uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p), 255};
                        const PixelRGBA8 seen = read[size_t((height - 1 - y) * stride + x)];
                        if (! isNear(seen, expected, 1) && wrong++ < 3)
                            ADD_FAILURE()
                                << "window pixel " << x << "," << y << ": " << seen << " instead of " << expected;
                    }
                EXPECT_EQ(wrong, 0);
            }

            // The owner's name the window list gives the window; empty when unlisted.
            static std::string listedOwner(xcb_window_t window)
            {
                for (const cg::Dictionary& entry :
                     cg::getBackend()->windowListCopyWindowInfo(cg::kCGWindowListOptionOnScreenOnly, 0))
                    if (entry.getNumber("kCGWindowNumber") == std::optional<long long>(window))
                        return entry.getString("kCGWindowOwnerName").value_or("");
                return "";
            }

            // A source made again from a stored element, as a saved
            // composition opened again makes it.
            void restore(const XmlNode& element)
            {
                source = std::make_unique<ScreenCaptureVideoSource>();
                source->readState(&element, false);
            }

            std::unique_ptr<ScreenCaptureVideoSource> source;
            RenderInfo info;
            double clock = 5000.0;
        };

        // X hands a program that ends its ids' range again: the same
        // program started again shows a window with the same id. The entry
        // is that window; choosing it shows it, and nothing shows it unasked.
        TEST_F(X11ScreenCaptureSourceGLTest, AWindowGivenTheIdOfOneThatWentIsShownOnceItsEntryIsChosen)
        {
            auto first = std::make_unique<TestWindows>(server->getDisplayName());
            const xcb_window_t window = first->create(100, 100, 32, 16, {"first", "", "vx", "VX", 0});
            first->sync();
            source = std::make_unique<ScreenCaptureVideoSource>();
            ASSERT_TRUE(choose(window));
            expectWindow(renderLater(), 32, 16);
            // Listed again while it is there, it stays chosen.
            source->refresh();
            EXPECT_EQ(source->getWindowsParam()->getValue(), int(window));
            expectWindow(renderLater(), 32, 16);

            // The program ends; the next one is given its ids.
            std::vector<std::unique_ptr<TestWindows>> others;
            std::unique_ptr<TestWindows> second = restartWithTheSameIds(*server, first, *windows, window, others);
            ASSERT_NE(second, nullptr);
            second->sync();
            expectWindow(renderLater(), 32, 16);

            // Listed again, the window that went is chosen no more; the new
            // one is listed but not shown.
            source->refresh();
            EXPECT_EQ(source->getWindowsParam()->getValue(), 0);
            EXPECT_EQ(source->getGrabber()->getWindowId(), 0);
            expectWindow(renderLater(), 32, 16);

            ASSERT_TRUE(choose(window));
            EXPECT_EQ(source->getGrabber()->getWindowId(), int(window));
            expectWindow(renderLater(), 40, 20);
        }

        // A stored window comes back only while its own program has its id:
        // once another program's window has it, the restored source shows
        // nothing. Elements stored without the owner choose the id as before.
        TEST_F(X11ScreenCaptureSourceGLTest, ARestoredSourceShowsItsWindowOnlyWhileItsProgramHasTheId)
        {
            auto first = std::make_unique<TestWindows>(server->getDisplayName());
            const xcb_window_t window = first->create(100, 100, 32, 16, {"first", "", "vx", "VX", 0});
            first->sync();
            source = std::make_unique<ScreenCaptureVideoSource>();
            ASSERT_TRUE(choose(window));
            XmlDocument stored;
            XmlNode* element = source->writeState(stored, false);
            ASSERT_NE(element, nullptr);
            XmlNode* withoutOwner = source->writeState(stored, false);
            ASSERT_NE(withoutOwner, nullptr);
            if (XmlAttribute* owner = withoutOwner->first_attribute("windowOwner"))
                withoutOwner->remove_attribute(owner);

            restore(*element);
            EXPECT_EQ(source->getWindowsParam()->getValue(), int(window));
            EXPECT_EQ(source->getGrabber()->getWindowId(), int(window));
            expectWindow(renderLater(), 32, 16);

            // The program ends; another one is given its ids.
            source.reset();
            std::vector<std::unique_ptr<TestWindows>> others;
            std::unique_ptr<TestWindows> second =
                restartWithTheSameIds(*server, first, *windows, window, others, "Other");
            ASSERT_NE(second, nullptr);
            second->sync();
            ASSERT_EQ(listedOwner(window), "Other");

            {
                const LogRecorder log;
                restore(*element);
                EXPECT_EQ(log.count(logWarning), 1u) << log.dump();
            }
            EXPECT_EQ(source->getWindowsParam()->getValue(), 0);
            EXPECT_EQ(source->getGrabber()->getWindowId(), 0);
            EXPECT_EQ(renderLater().get(), nullptr);
            EXPECT_EQ(renderLater().get(), nullptr);

            restore(*withoutOwner);
            EXPECT_EQ(source->getWindowsParam()->getValue(), int(window));
            expectWindow(renderLater(), 40, 20);
        }

        // The parameters' thread lists and chooses while the render thread
        // grabs; the window chosen last is the one shown.
        TEST_F(X11ScreenCaptureSourceGLTest, WindowsChosenWhileTheSourceRendersAreShown)
        {
            const xcb_window_t wide = windows->create(10, 10, 32, 16, {"wide", "", "vx", "VX", 0});
            const xcb_window_t tall = windows->create(60, 10, 24, 40, {"tall", "", "vx", "VX", 0});
            windows->sync();
            source = std::make_unique<ScreenCaptureVideoSource>();
            std::atomic<bool> chosen{false};
            std::atomic<int> unlisted{0};
            std::thread parameters(
                [&]
                {
                    for (int i = 0; i < 20; ++i)
                    {
                        source->refresh();
                        if (! choose(i % 2 == 0 ? wide : tall))
                            ++unlisted;
                    }
                    chosen = true;
                });
            // Rendering on until a frame begun after the last choice; half a
            // minute is only the watchdog.
            const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
            TextureRef frame;
            bool shown = false;
            while (! shown && std::chrono::steady_clock::now() < giveUp)
            {
                const bool last = chosen.load();
                frame = renderLater();
                shown = last && frame.get() != nullptr && source->getWidth() == 24;
            }
            parameters.join();
            EXPECT_EQ(unlisted.load(), 0);
            ASSERT_TRUE(shown) << "the window chosen last is not shown";
            expectWindow(frame, 24, 40);
        }

        // A server that stops answering: the render thread renders on,
        // showing the last picture, and the parameters' thread lists and
        // clicks on, each call waiting a bounded time; said once; all
        // resume when it answers again.
        class X11SilentServerGLTest : public X11ScreenCaptureSourceGLTest
        {
        protected:
            // The backend gives up on a server silent for 250 ms; a second
            // leaves room for a busy machine under the sanitizers, while a
            // call waiting out the silence takes its seconds.
            static constexpr std::chrono::milliseconds longestWait{1000};

            void rendersAndClicksThroughSilence(const std::function<void()>& silence,
                                                const std::function<void()>& answer, std::chrono::milliseconds howLong)
            {
                using Clock = std::chrono::steady_clock;
                const xcb_window_t window =
                    windows->create(100, 100, 32, 16, {"watched", "", "vx", "VX", long(getpid())});
                windows->sync();
                source = std::make_unique<ScreenCaptureVideoSource>();
                ASSERT_TRUE(choose(window));
                expectWindow(renderLater(), 32, 16);
                ScreenCaptureWrapper clicker;
                clicker.setWindowId(int(window));
                ParamChoice<int> before("Windows");
                clicker.getWindows(before);
                ASSERT_GT(before.getNumChoices(), 0u);

                LogRecorder log;
                silence();
                // Silent for howLong, whatever the threads do meanwhile; a
                // call that returns while silent is cleared has begun and
                // ended in the silence.
                std::atomic<bool> silent{true};
                std::thread timer(
                    [&]
                    {
                        std::this_thread::sleep_for(howLong);
                        silent = false;
                        answer();
                    });
                std::atomic<bool> done{false};
                std::atomic<long long> longestCallMs{0};
                std::atomic<int> clicked{0}, unlisted{0};
                std::thread parameters(
                    [&]
                    {
                        while (! done.load())
                        {
                            const auto start = Clock::now();
                            ParamChoice<int> listed("Windows");
                            clicker.getWindows(listed);
                            const bool click = clicker.sendMouseDown(110, 105);
                            if (silent.load())
                            {
                                unlisted += listed.getNumChoices() == before.getNumChoices() ? 0 : 1;
                                clicked += click ? 1 : 0;
                            }
                            const long long ms =
                                std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
                            longestCallMs = std::max(longestCallMs.load(), ms);
                        }
                    });
                long long longestFrameMs = 0;
                TextureRef frame;
                int frames = 0;
                for (; silent.load(); ++frames)
                {
                    const auto start = Clock::now();
                    frame = renderLater();
                    longestFrameMs = std::max<long long>(
                        longestFrameMs,
                        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
                    if (frame.get() == nullptr)
                        break;
                }
                timer.join();
                done = true;
                parameters.join();
                // The last picture stays.
                expectWindow(frame, 32, 16);
                EXPECT_LT(longestFrameMs, longestWait.count()) << frames << " frames";
                EXPECT_LT(longestCallMs.load(), longestWait.count());
                EXPECT_EQ(clicked.load(), 0) << "a click was sent while the server was silent";
                EXPECT_EQ(unlisted.load(), 0) << "the list did not answer what it knew";
                size_t said = 0;
                for (const LogRecorder::Line& line : log.lines())
                    said += line.text.find("is not answering") != std::string::npos ? 1 : 0;
                EXPECT_EQ(said, 1u) << log.dump();

                // Answering again, the window is shown as it is now (its
                // background tiled over the new size) and takes a click.
                windows->resize(window, 40, 20);
                windows->sync();
                const auto giveUp = Clock::now() + std::chrono::seconds(30);
                while (source->getWidth() != 40 && Clock::now() < giveUp)
                    frame = renderLater();
                EXPECT_NE(frame.get(), nullptr);
                EXPECT_EQ(source->getWidth(), 40);
                EXPECT_EQ(source->getHeight(), 20);
                bool sent = false;
                while (! sent && Clock::now() < giveUp)
                    sent = clicker.sendMouseDown(130, 105);
                EXPECT_TRUE(sent);
                std::pair<int, int> pressed{-1, -1};
                while (sent && pressed != std::make_pair(30, 5) && Clock::now() < giveUp)
                    pressed = windows->waitForButtonPress(window, 1000);
                EXPECT_EQ(pressed, std::make_pair(30, 5));
            }
        };

        TEST_F(X11SilentServerGLTest, AStoppedServerStallsNoFrameNorCallAndAllResumeWhenItGoesOn)
        {
            struct GoOn
            {
                XorgServer& server;
                ~GoOn() { server.signal(SIGCONT); }
            } goOn{*server};
            rendersAndClicksThroughSilence([this] { ASSERT_TRUE(server->signal(SIGSTOP)); },
                                           [this] { server->signal(SIGCONT); }, std::chrono::seconds(4));
        }

        TEST_F(X11SilentServerGLTest, AServerHeldByAnotherClientsGrabStallsNoFrameNorCallAndAllResumeAfter)
        {
            xcb_connection_t* holder = xcb_connect(server->getDisplayName().c_str(), nullptr);
            ASSERT_EQ(xcb_connection_has_error(holder), 0);
            auto roundTrip = [holder]
            { std::free(xcb_get_input_focus_reply(holder, xcb_get_input_focus(holder), nullptr)); };
            rendersAndClicksThroughSilence(
                [&]
                {
                    xcb_grab_server(holder);
                    roundTrip();
                },
                [&]
                {
                    xcb_ungrab_server(holder);
                    roundTrip();
                },
                std::chrono::seconds(3));
            xcb_disconnect(holder);
        }
    }
}
