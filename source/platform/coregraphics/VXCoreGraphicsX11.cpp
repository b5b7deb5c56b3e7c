#include "platform/coregraphics/VXCoreGraphicsX11.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <system_error>
#include <thread>

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <sys/socket.h>
#include <unistd.h>

#include <xcb/composite.h>
#include <xcb/randr.h>
#include <xcb/res.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>
#include <xcb/xcbext.h>
#include <xcb/xtest.h>

#include "core/VXLog.h"
#include "platform/coregraphics/VXX11Text.h"

namespace vx::cg
{
    namespace
    {
        // How long the events posted to a process after setFrontProcess
        // wait for a window manager to carry the raise out.
        constexpr std::chrono::milliseconds raiseWait{500};
        // How long a call waits for the server to send anything before it
        // takes it for not answering. A server that stops costs the render
        // thread this once, not at every frame: later calls do not wait
        // until it answers again. A frame's worth (50 ms) is too short: a
        // server on a busy machine sends nothing for that long at times,
        // and a click refused or a grab dropped for it would be ours. A
        // server sending a large image keeps sending: a reply still coming
        // is waited for up to replyWaitLongest.
        constexpr std::chrono::milliseconds replyWait{250};
        constexpr std::chrono::milliseconds replyWaitLongest{500};
        // How long a window picture that came with no read waiting is kept
        // for the next read of each reader of the window (a grab each frame
        // takes it at once): a window no longer grabbed, or resized, leaves
        // none behind; one destroyed leaves none at all (X gives its id to
        // another program's window).
        constexpr std::chrono::milliseconds pictureKept{2000};

        // xcb writes to a server that has closed its end (gone away, or
        // going) raise SIGPIPE, whose default action ends the process.
        // While one lives, SIGPIPE is blocked for this thread, and one its
        // writes raised is taken before the thread's mask is put back; the
        // process's disposition is left as the application set it.
        class NoSigPipe
        {
        public:
            NoSigPipe()
            {
                sigemptyset(&pipeOnly);
                sigaddset(&pipeOnly, SIGPIPE);
                sigset_t before;
                pthread_sigmask(SIG_BLOCK, &pipeOnly, &before);
                wasBlocked = sigismember(&before, SIGPIPE) == 1;
                wasPending = isPending();
            }
            ~NoSigPipe()
            {
                const int keptErrno = errno;
                if (! wasPending && isPending())
                {
                    const timespec now{0, 0};
                    while (sigtimedwait(&pipeOnly, nullptr, &now) < 0 && errno == EINTR)
                    {
                    }
                }
                if (! wasBlocked)
                    pthread_sigmask(SIG_UNBLOCK, &pipeOnly, nullptr);
                errno = keptErrno;
            }
            NoSigPipe(const NoSigPipe&) = delete;
            NoSigPipe& operator=(const NoSigPipe&) = delete;

        private:
            static bool isPending()
            {
                sigset_t pending;
                return sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1;
            }

            sigset_t pipeOnly;
            bool wasBlocked = false;
            bool wasPending = false;
        };

        // A reply that frees itself.
        template <typename T>
        using Reply = std::unique_ptr<T, decltype(&std::free)>;

        template <typename T>
        Reply<T> own(T* reply)
        {
            return Reply<T>(reply, &std::free);
        }

        struct Monitor
        {
            DirectDisplayID id = 0;
            Rect bounds;
            bool primary = false;
        };

        struct Atoms
        {
            xcb_atom_t clientList = 0, clientListStacking = 0, supportingWmCheck = 0, wmState = 0, wmName = 0,
                       utf8String = 0, compoundText = 0, wmPid = 0, activeWindow = 0, windowType = 0, typeDesktop = 0,
                       typeDock = 0;
        };

        xcb_atom_t internAtom(xcb_connection_t* connection, const char* name)
        {
            auto reply =
                own(xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, uint16_t(std::strlen(name)), name),
                                          nullptr));
            return reply != nullptr ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        }

        // The RandR 1.5 monitors of the reply (the screen as one display
        // without them); none without a reply.
        std::vector<Monitor> monitorsOf(const xcb_randr_get_monitors_reply_t* reply, const xcb_screen_t& screen,
                                        bool hasMonitors)
        {
            std::vector<Monitor> monitors;
            if (! hasMonitors)
            {
                Monitor whole;
                whole.id = 1;
                whole.bounds = Rect{0.0, 0.0, double(screen.width_in_pixels), double(screen.height_in_pixels)};
                whole.primary = true;
                monitors.push_back(whole);
                return monitors;
            }
            if (reply == nullptr)
                return monitors;
            for (auto it = xcb_randr_get_monitors_monitors_iterator(reply); it.rem > 0;
                 xcb_randr_monitor_info_next(&it))
            {
                Monitor monitor;
                monitor.id = it.data->name;
                monitor.bounds = Rect{double(it.data->x), double(it.data->y), double(it.data->width),
                                      double(it.data->height)};
                monitor.primary = it.data->primary != 0;
                monitors.push_back(monitor);
            }
            return monitors;
        }

        // How a window's pixels lie in the images the server sends: 32-bit
        // (depth 24 and 32), or 16-bit with the visual's masks (depth 15 and 16).
        struct PixelFormat
        {
            int bytesPerPixel = 4;
            int scanlinePad = 32; // bits
            bool opaque = false;  // 32-bit without alpha: depth 24
            uint32_t red = 0, green = 0, blue = 0;

            size_t rowBytes(int width) const
            {
                const size_t bits = size_t(width) * size_t(bytesPerPixel) * 8;
                const size_t pad = size_t(scanlinePad);
                return (bits + pad - 1) / pad * pad / 8;
            }
        };

        // The shared memory segment window images are read through.
        struct SharedSegment
        {
            xcb_shm_seg_t id = 0;
            uint8_t* bytes = nullptr;
            size_t size = 0;
        };

        // Whom a click is for: a process, or, where the server cannot tell
        // a window's process (no X-Resource: a window's _NET_WM_PID is what
        // any program says), the client that made the window chosen: the
        // client part of its id.
        struct Owner
        {
            long pid = 0;
            uint32_t client = 0; // 0: the process's windows, whatever client made them

            bool operator==(const Owner& other) const { return pid == other.pid && client == other.client; }
        };

        // Where a window's pixels are read: the window as the screen shows
        // it, or its own pixmap (redirected with Composite, border included).
        struct ImageSource
        {
            xcb_window_t window = XCB_NONE;
            bool redirected = false;
            int x = 0, y = 0, width = 0, height = 0;
            PixelFormat format;

            bool operator==(const ImageSource& other) const
            {
                return window == other.window && redirected == other.redirected && x == other.x && y == other.y &&
                       width == other.width && height == other.height &&
                       format.bytesPerPixel == other.format.bytesPerPixel && format.opaque == other.format.opaque &&
                       format.red == other.format.red && format.green == other.format.green &&
                       format.blue == other.format.blue;
            }
        };

        enum class ImageRead
        {
            done,
            failed, // the server refused (a window gone or resized meanwhile)
            later   // not read in time: it may come for the next read of the same
        };

        // Window images read without shared memory come in replies of every
        // pixel, which libxcb reads to their end once begun, holding the
        // connection all along: a server that stops while sending one would
        // hold every call. They are read on a connection of their own (made
        // at the first read), by a thread of their own, in bands of rows; a
        // read waits for the bands as calls wait for any reply. One picture
        // comes at a time, the sources in the order they were asked for: a
        // source asked while another's picture is coming is read in its
        // turn, and the thread reads on after a read has given up, so that
        // over a slow link every source's pictures come at the link's pace,
        // the next read of a source taking the one come meanwhile and
        // asking for another. A picture come meanwhile goes to every reader
        // of the source that has not had it (each counts the pictures it
        // had), until a newer one comes or its window is destroyed.
        class ImageReader
        {
        public:
            enum class Outcome
            {
                read,
                failed,
                slow,  // still coming after replyWaitLongest, or others' coming first
                silent // nothing came for replyWait while the thread waited for it
            };

            explicit ImageReader(std::string displayName) : display(std::move(displayName)) {}
            // Ends the thread, breaking off a read under way.
            ~ImageReader();
            ImageReader(const ImageReader&) = delete;
            ImageReader& operator=(const ImageReader&) = delete;

            // The source's pixels into image, waited for a bounded time when
            // no other picture is coming; at once, without waiting, a picture
            // of the same come since an earlier read gave up that this
            // reader has not had (numbered past seen; the next is asked
            // for), or slow while pictures are coming (this source's is
            // asked for in its turn). seen: the number of the last picture
            // the reader had, updated.
            Outcome read(const ImageSource& source, Image& image, uint64_t& seen);
            // The windows destroyed: their pictures kept, asked or coming are dropped.
            void forget(const std::vector<xcb_window_t>& windows);

        private:
            // A picture no read waited for, for the source's readers: until a
            // newer one of its window comes, pictureKept passes or the window
            // is destroyed.
            struct Kept
            {
                ImageSource source;
                Image picture;
                std::chrono::steady_clock::time_point came;
                uint64_t number = 0;
            };

            void run();
            // On the thread: the source's pixels, or false.
            bool transfer(const ImageSource& source, Image& image);
            bool connect();
            // On the thread: waits until the server has sent something
            // (or the connection has broken).
            void waitForBytes();
            // Asks for the source in its turn, unless it is coming or asked. Lock held.
            void ask(const ImageSource& source);
            // Whether the thread has waited replyWait for a server that has
            // sent it nothing: bytes come while it was kept from running
            // count. Lock held.
            bool isSilent(std::chrono::steady_clock::time_point now) const;

            const std::string display;
            std::mutex lock; // guards all below but connection
            std::condition_variable changed;
            std::thread thread;
            xcb_connection_t* connection = nullptr; // the thread's
            int socket = -1;                        // its descriptor, shut down to break a read off
            bool stopping = false;
            std::deque<ImageSource> asked;          // in turn
            std::optional<ImageSource> coming;      // read now
            bool comingWaited = false;              // for a read waiting then
            bool comingForgotten = false;           // its window destroyed meanwhile
            bool waiting = false;                   // a read waits for the picture coming
            std::optional<std::chrono::steady_clock::time_point> quietSince; // the thread waits, nothing come
            bool finished = false; // the waited picture's outcome, not taken yet
            bool succeeded = false;
            Image picture;
            uint64_t pictureNumber = 0; // the waited picture's
            uint64_t lastNumber = 0;    // of the pictures come
            std::vector<Kept> kept;     // one per window at most, the newest come unwaited
        };

        class X11Backend : public Backend
        {
        public:
            ~X11Backend() override;

            bool open(const char* displayName, const X11Options& options, std::string& whyNot);

            DirectDisplayID mainDisplayID() override;
            Error getOnlineDisplayList(uint32_t maxDisplays, DirectDisplayID* displays, uint32_t* count) override;
            Rect displayBounds(DirectDisplayID display) override;
            iokit::Object displayIOServicePort(DirectDisplayID) override { return 0; }
            // X has no exclusive hold of a display.
            Error displayCapture(DirectDisplayID) override { return kCGErrorFailure; }
            Error displayRelease(DirectDisplayID) override { return kCGErrorFailure; }
            int addReconfiguration(std::function<void(DirectDisplayID, uint32_t)> notify) override;
            void removeReconfiguration(int token) override;
            std::vector<Dictionary> windowListCopyWindowInfo(uint32_t options, uint32_t relativeToWindow) override;
            std::shared_ptr<const Image> windowListCreateImage(uint32_t options, uint32_t windowId) override;
            std::shared_ptr<const Image> windowListCreateImageForReader(uint32_t options, uint32_t windowId,
                                                                        uint64_t& seen) override;
            uint64_t windowGeneration(uint32_t windowId) override;
            bool setFrontProcess(long pid, uint32_t windowId) override;
            bool postEventToProcess(long pid, const MouseEvent& event) override;

        private:
            // False, said once, when the server has gone.
            bool isAlive();
            // Whether the server answers now: alive, and not found silent,
            // or it has answered since (said once each way). Does not wait.
            bool answers();
            // The reply to the request with that sequence on the callers'
            // connection, waited for while the server sends something at
            // least every replyWait (at most replyWaitLongest in all); null
            // when the request failed, or the server has not answered by
            // then: from then on it is taken for not answering, and its
            // reply is thrown away when it comes. An error, when asked for,
            // goes to error.
            void* waitForReply(unsigned int sequence, xcb_generic_error_t** error = nullptr);
            template <typename T, typename Cookie>
            Reply<T> await(Cookie cookie)
            {
                return own(static_cast<T*>(waitForReply(cookie.sequence)));
            }
            // The server has not answered in time: says so once and asks
            // it something whose answer tells it answers again.
            void stopAnswering();
            // The monitors now, asked on that connection (the callers' waits a bounded time).
            std::vector<Monitor> queryMonitors(xcb_connection_t* connection);
            // The monitors now, or those known when the server does not answer.
            std::vector<Monitor> knownMonitors();
            // Whether the server still answers the callers' connection
            // (true while it is only not answering in time).
            bool serverAnswers();
            // Takes the events queued on the callers' connection (the errors
            // of requests sent unchecked, the destruction of windows
            // redirected or watched); answers the windows destroyed.
            std::vector<xcb_window_t> takeQueuedEvents();
            // The windows destroyed are forgotten (X gives their ids again),
            // their pictures too; those watched count as gone once more.
            void forgetRedirected(const std::vector<xcb_window_t>& destroyed);
            // From now on the window's destruction is told. grabLock held.
            void watchForGoing(xcb_window_t window);
            // The window's picture for the reader that had the one numbered seen.
            std::shared_ptr<const Image> createImage(uint32_t windowId, uint64_t& seen);
            // Whether a window manager lives that keeps the EWMH lists.
            bool managerLives();
            // The top-level windows (clients, not their frames) the manager
            // lists, bottom to top; false when there is no list to trust.
            bool listManaged(std::vector<xcb_window_t>& windows);
            // The client window in each top-level window (the window itself
            // when it holds none), found as ICCCM says: the first with WM_STATE.
            std::vector<xcb_window_t> clientsIn(const std::vector<xcb_window_t>& topLevels);
            // On-screen windows, front to back.
            std::vector<xcb_window_t> listWindows();
            // The window list as the server has it now; part of it when the
            // server stops answering meanwhile.
            std::vector<Dictionary> listNow(uint32_t options);
            // The windows stacked bottom to top as the server has the
            // top-level windows holding them (those in one keep their order).
            void orderAsStacked(std::vector<xcb_window_t>& windows);
            // The process of each window: that of the client that made it,
            // else its _NET_WM_PID; 0 when neither is known.
            std::vector<long> ownersOf(const std::vector<xcb_window_t>& windows);
            // Whom a click for that process and window is for.
            Owner ownerFor(long pid, uint32_t windowId) const;
            // Whether the window, of the process said, is the owner's.
            bool owns(const Owner& owner, xcb_window_t window, long pid) const;
            // The owner's windows on the list, front to back; behindAnother:
            // whether another's window comes before one of them.
            std::vector<xcb_window_t> listOwned(const Owner& owner, bool& behindAnother);
            // The viewable override-redirect top-level windows (pop-ups) of
            // the owner, bottom to top.
            std::vector<xcb_window_t> popUpsOf(const Owner& owner);
            // Whether the front-most window at (x, y) is one of the owner
            // (a pop-up too), not a window manager's or another's.
            bool isProcessWindowAt(const Owner& owner, int x, int y);
            // Whether (x, y) is on the screen as it is now.
            bool isOnScreen(double x, double y);
            // Waits until done answers true, asking again at each change of
            // the root's children; false when it has not by end.
            bool waitForStacking(const std::function<bool()>& done, std::chrono::steady_clock::time_point end);
            // Whether a window of the owner comes to (x, y) by the end of
            // the wait for the raise setFrontProcess asked for it.
            bool waitForProcessWindowAt(const Owner& owner, int x, int y);
            // Waits until the server has taken the press (down) or the
            // release of the button: the pointer's state shows it so (the
            // pointer's events held by another client's grab meanwhile);
            // false when it has not by the end of raiseWait.
            bool waitForButton(uint8_t button, bool down);
            // Whether a client holds the pointer grabbed (an open menu, a
            // drag): the pointer's events go to it, whatever window they
            // fall in. True too when the server does not answer.
            bool isPointerGrabbed();
            // The pixel format of a window of that depth and visual; false when its pixels are not read.
            bool pixelFormatOf(int depth, xcb_visualid_t visual, PixelFormat& format) const;
            // seen: as in ImageReader::read.
            ImageRead readImage(const ImageSource& source, Image& image, uint64_t& seen);
            // The window's own pixmap (right also where covered) into spareImage.
            ImageRead readRedirected(xcb_window_t window, const xcb_get_geometry_reply_t& geometry,
                                     const PixelFormat& format, uint64_t& seen);
            // What the screen shows of the window into spareImage; the parts
            // off the screen are transparent.
            ImageRead readOnScreen(xcb_window_t window, const xcb_get_geometry_reply_t& geometry,
                                   const PixelFormat& format, uint64_t& seen);
            bool ensureSegment(size_t size);
            void releaseSegment();

            static bool speaksMonitors(xcb_connection_t* connection);
            // The event thread runs only while callbacks are registered, so
            // none is left running in a module being unloaded.
            void updateWatching();
            void startWatching();
            void stopWatching();
            bool isStopAsked();
            // The event thread: connects to the display opened, and again
            // after a refusal or a lost connection while the server answers.
            void watchEvents();
            // True when connected, with the wake-up descriptor installed.
            bool connectWatcher();
            void disconnectWatcher();
            // Handles events until stopped (false) or the connection breaks (true).
            bool pumpEvents();
            void handleEvent(const xcb_generic_event_t& event);
            // Compares the monitors now with those watched: reports the ones
            // that came and went, then flags for the whole.
            void monitorsNow(std::vector<Monitor> now, uint32_t flags);
            void notifyAll(DirectDisplayID display, uint32_t flags);
            void serverGone();

            xcb_connection_t* requests = nullptr; // every call's; the event thread's only to see the server answers
            xcb_connection_t* events = nullptr;   // the event thread's alone, while it runs
            std::string displayToWatch;           // the display opened, whatever $DISPLAY says later
            xcb_screen_t screen{};
            Atoms atoms;
            bool hasMonitors = false;
            bool hasTest = false;      // clicks need XTest
            bool hasComposite = false; // without it, windows are read as the screen shows them
            bool hasResources = false; // X-Resource 1.2 tells each local client's process
            uint32_t idMask = 0;       // the resource part of an id; the bits above name the client
            bool readsPixels = false;  // depth 24 is 32-bit little-endian pixels
            // The true-colour visuals of depth 15 and 16 in 16-bit little-endian pixels.
            std::map<xcb_visualid_t, PixelFormat> shallowVisuals;
            uint8_t randrEventBase = 0; // the event thread's
            bool useSharedMemory = false;

            std::mutex displayLock;
            std::vector<Monitor> lastQueried; // by the callers' threads
            std::mutex grabLock;
            std::set<xcb_window_t> redirected;
            std::set<xcb_window_t> watchedForGoing;     // by windowGeneration
            std::map<xcb_window_t, uint64_t> timesGone; // of the windows watched
            SharedSegment segment;
            std::unique_ptr<ImageReader> reader; // made at the first read without shared memory
            std::map<xcb_window_t, uint64_t> plainSeen; // windowListCreateImage's reader, per window
            std::shared_ptr<Image> spareImage;
            std::atomic<bool> depthSaid{false};
            std::atomic<bool> noTestSaid{false};

            std::once_flag unshownMade;
            xcb_window_t unshown = XCB_NONE; // never mapped: a grab of it asks whether the pointer is grabbed
            std::atomic<bool> pressGrabbed{false}; // the last press went to another's grab of the pointer

            std::mutex raiseLock;
            Owner raised; // whom setFrontProcess raised last
            std::chrono::steady_clock::time_point raiseWaitEnd;

            std::mutex notifyLock;
            std::map<int, std::function<void(DirectDisplayID, uint32_t)>> callbacks;
            int nextToken = 1;
            std::vector<Monitor> watched; // set before the event thread starts, then its own
            std::mutex watchLock;         // starting and stopping it

            std::atomic<bool> gone{false};
            std::atomic<bool> goneSaid{false};
            std::atomic<bool> answering{true};
            std::mutex answerLock;
            unsigned int probe = 0; // the request whose answer tells the server answers again
            std::mutex listLock;
            std::map<uint32_t, std::vector<Dictionary>> lastListed; // by list options
            std::mutex stopLock; // guards stopAsked and wakeFd
            std::condition_variable stopSignal;
            bool stopAsked = false;
            int wakeFd = -1; // wakes the event thread's poll; made and closed by it
            std::thread eventThread;
        };

        // Wakes the poll waiting on an eventfd.
        void wakeUp(int eventFd)
        {
            const uint64_t one = 1;
            [[maybe_unused]] const ssize_t written = write(eventFd, &one, sizeof(one));
        }

        bool operator==(const Monitor& a, const Monitor& b)
        {
            return a.id == b.id && a.primary == b.primary && a.bounds.x == b.bounds.x && a.bounds.y == b.bounds.y &&
                   a.bounds.width == b.bounds.width && a.bounds.height == b.bounds.height;
        }

        bool hasExtension(xcb_connection_t* connection, xcb_extension_t* extension)
        {
            const xcb_query_extension_reply_t* data = xcb_get_extension_data(connection, extension);
            return data != nullptr && data->present != 0;
        }

        bool X11Backend::open(const char* displayName, const X11Options& options, std::string& whyNot)
        {
            const NoSigPipe quiet;
            const char* name = displayName != nullptr && *displayName != 0 ? displayName : nullptr;
            if (name == nullptr && (std::getenv("DISPLAY") == nullptr || *std::getenv("DISPLAY") == 0))
            {
                whyNot = "DISPLAY is not set";
                return false;
            }
            int screenNumber = 0;
            requests = xcb_connect(name, &screenNumber);
            if (xcb_connection_has_error(requests) != 0)
            {
                whyNot = "no X server answers";
                return false;
            }
            // Watched on this display even when $DISPLAY changes later.
            displayToWatch = name != nullptr ? name : std::getenv("DISPLAY");
            const xcb_setup_t* setup = xcb_get_setup(requests);
            auto roots = xcb_setup_roots_iterator(setup);
            for (int i = 0; i < screenNumber && roots.rem > 0; ++i)
                xcb_screen_next(&roots);
            if (roots.rem == 0)
            {
                whyNot = "no such screen";
                return false;
            }
            screen = *roots.data;

            // Each extension serves one feature: displays and window lists
            // need none. Window images are read as 32-bit little-endian
            // pixels with red in bits 16 to 23.
            bool thirtyTwoBits = false;
            for (auto format = xcb_setup_pixmap_formats_iterator(setup); format.rem > 0; xcb_format_next(&format))
                if (format.data->depth == 24)
                    thirtyTwoBits = format.data->bits_per_pixel == 32;
            readsPixels = thirtyTwoBits && setup->image_byte_order == XCB_IMAGE_ORDER_LSB_FIRST;
            for (auto format = xcb_setup_pixmap_formats_iterator(setup); format.rem > 0; xcb_format_next(&format))
            {
                const int depth = format.data->depth;
                if ((depth != 15 && depth != 16) || format.data->bits_per_pixel != 16 ||
                    setup->image_byte_order != XCB_IMAGE_ORDER_LSB_FIRST)
                    continue;
                for (auto depths = xcb_screen_allowed_depths_iterator(roots.data); depths.rem > 0;
                     xcb_depth_next(&depths))
                {
                    if (depths.data->depth != depth)
                        continue;
                    for (auto visual = xcb_depth_visuals_iterator(depths.data); visual.rem > 0;
                         xcb_visualtype_next(&visual))
                    {
                        PixelFormat pixels;
                        pixels.bytesPerPixel = 2;
                        pixels.scanlinePad = format.data->scanline_pad;
                        pixels.opaque = true;
                        pixels.red = visual.data->red_mask;
                        pixels.green = visual.data->green_mask;
                        pixels.blue = visual.data->blue_mask;
                        if (visual.data->_class == XCB_VISUAL_CLASS_TRUE_COLOR && pixels.red != 0 &&
                            pixels.green != 0 && pixels.blue != 0)
                            shallowVisuals[visual.data->visual_id] = pixels;
                    }
                }
            }
            hasTest = hasExtension(requests, &xcb_test_id);
            if (hasExtension(requests, &xcb_composite_id))
            {
                auto composite = own(
                    xcb_composite_query_version_reply(requests, xcb_composite_query_version(requests, 0, 2), nullptr));
                hasComposite = composite != nullptr && (composite->major_version > 0 || composite->minor_version >= 2);
            }

            if (hasExtension(requests, &xcb_res_id))
            {
                auto resources =
                    own(xcb_res_query_version_reply(requests, xcb_res_query_version(requests, 1, 2), nullptr));
                hasResources = resources != nullptr && (resources->server_major > 1 ||
                                                        (resources->server_major == 1 && resources->server_minor >= 2));
            }
            idMask = setup->resource_id_mask;

            hasMonitors = speaksMonitors(requests);

            if (options.useSharedMemory && hasExtension(requests, &xcb_shm_id))
            {
                auto shm = own(xcb_shm_query_version_reply(requests, xcb_shm_query_version(requests), nullptr));
                useSharedMemory = shm != nullptr;
            }

            atoms.clientList = internAtom(requests, "_NET_CLIENT_LIST");
            atoms.clientListStacking = internAtom(requests, "_NET_CLIENT_LIST_STACKING");
            atoms.supportingWmCheck = internAtom(requests, "_NET_SUPPORTING_WM_CHECK");
            atoms.wmState = internAtom(requests, "WM_STATE");
            atoms.wmName = internAtom(requests, "_NET_WM_NAME");
            atoms.utf8String = internAtom(requests, "UTF8_STRING");
            atoms.compoundText = internAtom(requests, "COMPOUND_TEXT");
            atoms.wmPid = internAtom(requests, "_NET_WM_PID");
            atoms.activeWindow = internAtom(requests, "_NET_ACTIVE_WINDOW");
            atoms.windowType = internAtom(requests, "_NET_WM_WINDOW_TYPE");
            atoms.typeDesktop = internAtom(requests, "_NET_WM_WINDOW_TYPE_DESKTOP");
            atoms.typeDock = internAtom(requests, "_NET_WM_WINDOW_TYPE_DOCK");
            return true;
        }

        X11Backend::~X11Backend()
        {
            const NoSigPipe quiet;
            stopWatching();
            reader.reset();
            releaseSegment();
            if (requests != nullptr)
                xcb_disconnect(requests);
        }

        bool X11Backend::speaksMonitors(xcb_connection_t* connection)
        {
            // Asked on every connection: RandR sends events only to a client
            // that said which version it speaks.
            if (! hasExtension(connection, &xcb_randr_id))
                return false;
            auto version =
                own(xcb_randr_query_version_reply(connection, xcb_randr_query_version(connection, 1, 5), nullptr));
            return version != nullptr && (version->major_version > 1 || version->minor_version >= 5);
        }

        void X11Backend::updateWatching()
        {
            std::lock_guard<std::mutex> hold(watchLock);
            bool wanted = false;
            {
                std::lock_guard<std::mutex> holdCallbacks(notifyLock);
                wanted = ! callbacks.empty();
            }
            if (wanted && ! eventThread.joinable())
                startWatching();
            else if (! wanted)
                stopWatching();
        }

        void X11Backend::startWatching()
        {
            const NoSigPipe quiet;
            // Changes are told against the monitors of now, also when the
            // event connection comes only later.
            watched = knownMonitors();
            {
                std::lock_guard<std::mutex> hold(stopLock);
                stopAsked = false;
            }
            try
            {
                eventThread = std::thread([this] { watchEvents(); });
            }
            catch (const std::system_error& error)
            {
                logPrint(logWarning, "Displays and windows: cannot watch X display %s for changes (%s).",
                         displayToWatch.c_str(), error.what());
            }
        }

        void X11Backend::stopWatching()
        {
            if (! eventThread.joinable())
                return;
            {
                std::lock_guard<std::mutex> hold(stopLock);
                stopAsked = true;
                if (wakeFd >= 0)
                    wakeUp(wakeFd);
            }
            stopSignal.notify_all();
            eventThread.join();
        }

        bool X11Backend::isStopAsked()
        {
            std::lock_guard<std::mutex> hold(stopLock);
            return stopAsked;
        }

        void X11Backend::watchEvents()
        {
            // Blocked for the thread's whole life.
            const NoSigPipe quiet;
            // A server at its client limit, or a process out of descriptors,
            // refuses the connection for a while: try again, less often the
            // longer it lasts.
            int retryMs = 100;
            bool refusalSaid = false;
            while (! isStopAsked())
            {
                if (! connectWatcher())
                {
                    if (! serverAnswers())
                    {
                        serverGone();
                        return;
                    }
                    if (! refusalSaid)
                        logPrint(logWarning,
                                 "Displays and windows: cannot connect to X display %s to watch it for changes; "
                                 "trying again.",
                                 displayToWatch.c_str());
                    refusalSaid = true;
                    std::unique_lock<std::mutex> hold(stopLock);
                    if (stopSignal.wait_for(hold, std::chrono::milliseconds(retryMs), [this] { return stopAsked; }))
                        return;
                    retryMs = std::min(retryMs * 2, 2000);
                    continue;
                }
                if (refusalSaid)
                    logPrint(logInfo, "Displays and windows: watching X display %s for changes again.",
                             displayToWatch.c_str());
                refusalSaid = false;
                retryMs = 100;
                const bool broken = pumpEvents();
                disconnectWatcher();
                if (! broken)
                    return;
                if (! serverAnswers())
                {
                    serverGone();
                    return;
                }
            }
        }

        bool X11Backend::connectWatcher()
        {
            const int fd = eventfd(0, EFD_CLOEXEC);
            if (fd < 0)
                return false;
            xcb_connection_t* connection = xcb_connect(displayToWatch.c_str(), nullptr);
            if (xcb_connection_has_error(connection) != 0)
            {
                xcb_disconnect(connection);
                close(fd);
                return false;
            }
            events = connection;
            {
                std::lock_guard<std::mutex> hold(stopLock);
                wakeFd = fd;
                // A stop asked before found no descriptor to wake.
                if (stopAsked)
                    wakeUp(wakeFd);
            }
            if (hasMonitors && speaksMonitors(events))
            {
                randrEventBase = xcb_get_extension_data(events, &xcb_randr_id)->first_event;
                xcb_randr_select_input(events, screen.root,
                                       XCB_RANDR_NOTIFY_MASK_SCREEN_CHANGE | XCB_RANDR_NOTIFY_MASK_OUTPUT_CHANGE |
                                           XCB_RANDR_NOTIFY_MASK_CRTC_CHANGE);
            }
            // Monitors set or deleted reach clients only as a reshape of the root.
            const uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
            xcb_change_window_attributes(events, screen.root, XCB_CW_EVENT_MASK, &mask);
            // What changed while there was no connection is told now.
            std::vector<Monitor> now = queryMonitors(events);
            if (xcb_connection_has_error(events) == 0 && now != watched)
                monitorsNow(std::move(now), kCGDisplayDesktopShapeChangedFlag);
            return true;
        }

        void X11Backend::disconnectWatcher()
        {
            {
                std::lock_guard<std::mutex> hold(stopLock);
                close(wakeFd);
                wakeFd = -1;
            }
            xcb_disconnect(events);
            events = nullptr;
        }

        bool X11Backend::isAlive()
        {
            if (! gone.load() && xcb_connection_has_error(requests) != 0)
                gone = true;
            if (gone.load() && ! goneSaid.exchange(true))
                logPrint(logWarning, "Displays and windows: the X server has gone; no displays or windows from now on.");
            return ! gone.load();
        }

        bool X11Backend::answers()
        {
            if (! isAlive())
                return false;
            if (answering.load())
                return true;
            std::lock_guard<std::mutex> hold(answerLock);
            if (answering.load())
                return true;
            // The answers to the requests given up on come before the probe's.
            void* reply = nullptr;
            xcb_generic_error_t* error = nullptr;
            if (xcb_poll_for_reply(requests, probe, &reply, &error) == 0)
                return false;
            std::free(reply);
            std::free(error);
            if (! isAlive())
                return false;
            answering = true;
            logPrint(logInfo, "Displays and windows: the X server on display %s answers again.",
                     displayToWatch.c_str());
            return true;
        }

        void X11Backend::stopAnswering()
        {
            std::lock_guard<std::mutex> hold(answerLock);
            if (! answering.load())
                return;
            probe = xcb_get_input_focus(requests).sequence;
            xcb_flush(requests);
            answering = false;
            logPrint(logWarning,
                     "Displays and windows: the X server on display %s is not answering; windows are not grabbed "
                     "or clicked, and the lists stay as they were, until it answers again.",
                     displayToWatch.c_str());
        }

        void* X11Backend::waitForReply(unsigned int sequence, xcb_generic_error_t** error)
        {
            if (error != nullptr)
                *error = nullptr;
            void* reply = nullptr;
            xcb_generic_error_t* failed = nullptr;
            // Reads what has come (unless another thread is reading).
            auto arrived = [&] { return xcb_poll_for_reply(requests, sequence, &reply, &failed) != 0; };
            bool answered = false;
            if (answering.load())
            {
                xcb_flush(requests);
                const int fd = xcb_get_file_descriptor(requests);
                const auto start = std::chrono::steady_clock::now();
                auto silentUntil = start + replyWait;
                while (! (answered = arrived()))
                {
                    // Another thread found the server silent: not waited for twice.
                    if (! answering.load())
                        break;
                    const auto now = std::chrono::steady_clock::now();
                    pollfd wait{fd, POLLIN, 0};
                    if (now >= silentUntil || now >= start + replyWaitLongest)
                    {
                        // This thread may have been kept from running past
                        // the time: what the server sent meanwhile counts.
                        if (now < start + replyWaitLongest && poll(&wait, 1, 0) > 0)
                        {
                            silentUntil = now + replyWait;
                            continue;
                        }
                        if ((answered = arrived()))
                            break;
                        stopAnswering();
                        break;
                    }
                    // In slices: another thread may take what comes.
                    const auto left = std::chrono::ceil<std::chrono::milliseconds>(silentUntil - now).count();
                    if (poll(&wait, 1, int(std::clamp<long long>(left, 1, 5))) > 0)
                        silentUntil = std::chrono::steady_clock::now() + replyWait;
                }
            }
            if (answered)
            {
                if (error != nullptr)
                    *error = failed;
                else
                    std::free(failed);
                return reply;
            }
            // Its reply, when it comes, is dropped: never taken for another's.
            xcb_discard_reply(requests, sequence);
            return nullptr;
        }

        std::vector<Monitor> X11Backend::queryMonitors(xcb_connection_t* connection)
        {
            if (! hasMonitors)
                return monitorsOf(nullptr, screen, false);
            const auto cookie = xcb_randr_get_monitors(connection, screen.root, 1);
            // The event thread's connection is its own: nothing waits for it.
            Reply<xcb_randr_get_monitors_reply_t> reply =
                connection == requests ? await<xcb_randr_get_monitors_reply_t>(cookie)
                                       : own(xcb_randr_get_monitors_reply(connection, cookie, nullptr));
            return monitorsOf(reply.get(), screen, hasMonitors);
        }

        std::vector<Monitor> X11Backend::knownMonitors()
        {
            std::vector<Monitor> monitors;
            if (answers())
            {
                monitors = queryMonitors(requests);
                if (answering.load())
                {
                    std::lock_guard<std::mutex> hold(displayLock);
                    lastQueried = monitors;
                    return monitors;
                }
            }
            std::lock_guard<std::mutex> hold(displayLock);
            // A server that has gone has no displays.
            if (gone.load())
                lastQueried.clear();
            return lastQueried;
        }

        bool X11Backend::serverAnswers()
        {
            // Gone only when the connection has broken: a server that does
            // not answer in time is there still.
            return await<xcb_get_input_focus_reply_t>(xcb_get_input_focus(requests)) != nullptr ||
                   xcb_connection_has_error(requests) == 0;
        }

        std::vector<xcb_window_t> X11Backend::takeQueuedEvents()
        {
            std::vector<xcb_window_t> destroyed;
            while (xcb_generic_event_t* event = xcb_poll_for_queued_event(requests))
            {
                if ((event->response_type & 0x7F) == XCB_DESTROY_NOTIFY)
                    destroyed.push_back(reinterpret_cast<const xcb_destroy_notify_event_t*>(event)->window);
                std::free(event);
            }
            return destroyed;
        }

        void X11Backend::forgetRedirected(const std::vector<xcb_window_t>& destroyed)
        {
            for (xcb_window_t window : destroyed)
            {
                redirected.erase(window);
                plainSeen.erase(window);
                if (watchedForGoing.erase(window) != 0)
                    ++timesGone[window];
            }
            if (reader != nullptr && ! destroyed.empty())
                reader->forget(destroyed);
        }

        void X11Backend::watchForGoing(xcb_window_t window)
        {
            // Selected when not watched: first, and after the window went (a
            // window given the id since is watched too), not at every grab.
            if (watchedForGoing.insert(window).second)
            {
                const uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
                xcb_change_window_attributes(requests, window, XCB_CW_EVENT_MASK, &mask);
                xcb_flush(requests);
            }
        }

        uint64_t X11Backend::windowGeneration(uint32_t windowId)
        {
            const NoSigPipe quiet;
            if (! isAlive() || windowId == 0)
                return 0;
            std::lock_guard<std::mutex> hold(grabLock);
            forgetRedirected(takeQueuedEvents());
            watchForGoing(windowId);
            auto found = timesGone.find(windowId);
            return found != timesGone.end() ? found->second : 0;
        }

        DirectDisplayID X11Backend::mainDisplayID()
        {
            const NoSigPipe quiet;
            const std::vector<Monitor> monitors = knownMonitors();
            if (monitors.empty())
                return 0;
            auto primary = std::find_if(monitors.begin(), monitors.end(), [](const Monitor& m) { return m.primary; });
            return primary != monitors.end() ? primary->id : monitors.front().id;
        }

        Error X11Backend::getOnlineDisplayList(uint32_t maxDisplays, DirectDisplayID* displays, uint32_t* count)
        {
            const NoSigPipe quiet;
            const std::vector<Monitor> monitors = knownMonitors();
            uint32_t listed = uint32_t(monitors.size());
            if (displays != nullptr)
            {
                listed = std::min(listed, maxDisplays);
                for (uint32_t i = 0; i < listed; ++i)
                    displays[i] = monitors[i].id;
            }
            if (count != nullptr)
                *count = listed;
            return kCGErrorSuccess;
        }

        Rect X11Backend::displayBounds(DirectDisplayID display)
        {
            const NoSigPipe quiet;
            // Bounds follow a list just taken (as the display collection
            // does); any other id is asked afresh.
            {
                std::lock_guard<std::mutex> hold(displayLock);
                for (const Monitor& monitor : lastQueried)
                    if (monitor.id == display)
                        return monitor.bounds;
            }
            if (! answers())
                return {};
            for (const Monitor& monitor : queryMonitors(requests))
                if (monitor.id == display)
                    return monitor.bounds;
            return {};
        }

        int X11Backend::addReconfiguration(std::function<void(DirectDisplayID, uint32_t)> notify)
        {
            int token = 0;
            {
                std::lock_guard<std::mutex> hold(notifyLock);
                token = nextToken++;
                callbacks[token] = std::move(notify);
            }
            updateWatching();
            return token;
        }

        void X11Backend::removeReconfiguration(int token)
        {
            {
                std::lock_guard<std::mutex> hold(notifyLock);
                callbacks.erase(token);
            }
            updateWatching();
        }

        void X11Backend::notifyAll(DirectDisplayID display, uint32_t flags)
        {
            std::vector<std::function<void(DirectDisplayID, uint32_t)>> calls;
            {
                std::lock_guard<std::mutex> hold(notifyLock);
                for (auto& entry : callbacks)
                    calls.push_back(entry.second);
            }
            for (auto& call : calls)
                call(display, flags);
        }

        bool X11Backend::pumpEvents()
        {
            // wakeFd changes only on this thread.
            pollfd waits[2] = {{xcb_get_file_descriptor(events), POLLIN, 0}, {wakeFd, POLLIN, 0}};
            for (;;)
            {
                while (xcb_generic_event_t* event = xcb_poll_for_event(events))
                {
                    handleEvent(*event);
                    std::free(event);
                }
                if (xcb_connection_has_error(events) != 0)
                    return true;
                if (poll(waits, 2, -1) < 0 && errno != EINTR)
                    return false;
                if ((waits[1].revents & POLLIN) != 0)
                    return false;
            }
        }

        void X11Backend::handleEvent(const xcb_generic_event_t& event)
        {
            const uint8_t type = event.response_type & 0x7F;
            uint32_t flags = 0;
            if (type == XCB_CONFIGURE_NOTIFY)
                flags = kCGDisplayDesktopShapeChangedFlag;
            else if (hasMonitors && type == randrEventBase + XCB_RANDR_SCREEN_CHANGE_NOTIFY)
                flags = kCGDisplayDesktopShapeChangedFlag;
            else if (hasMonitors && type == randrEventBase + XCB_RANDR_NOTIFY)
            {
                const auto& notify = reinterpret_cast<const xcb_randr_notify_event_t&>(event);
                if (notify.subCode == XCB_RANDR_NOTIFY_CRTC_CHANGE || notify.subCode == XCB_RANDR_NOTIFY_OUTPUT_CHANGE)
                    flags = kCGDisplaySetModeFlag;
            }
            if (flags == 0)
                return;

            std::vector<Monitor> now = queryMonitors(events);
            if (xcb_connection_has_error(events) != 0)
                return; // the loop reports it
            monitorsNow(std::move(now), flags);
        }

        void X11Backend::monitorsNow(std::vector<Monitor> now, uint32_t flags)
        {
            // Monitors that came or went are told apart by their name atoms.
            auto has = [](const std::vector<Monitor>& list, DirectDisplayID id)
            { return std::any_of(list.begin(), list.end(), [id](const Monitor& m) { return m.id == id; }); };
            for (const Monitor& monitor : watched)
                if (! has(now, monitor.id))
                    notifyAll(monitor.id, kCGDisplayRemoveFlag);
            for (const Monitor& monitor : now)
                if (! has(watched, monitor.id))
                    notifyAll(monitor.id, kCGDisplayAddFlag);
            watched = std::move(now);
            notifyAll(watched.empty() ? 0 : watched.front().id, flags);
        }

        void X11Backend::serverGone()
        {
            gone = true;
            isAlive();
            for (const Monitor& monitor : watched)
                notifyAll(monitor.id, kCGDisplayRemoveFlag);
            watched.clear();
        }

        // The first window a WINDOW property names; none when it has none.
        xcb_window_t firstWindowOf(const xcb_get_property_reply_t* reply)
        {
            if (reply == nullptr || reply->type != XCB_ATOM_WINDOW || reply->format != 32 ||
                xcb_get_property_value_length(reply) < 4)
                return XCB_NONE;
            return *static_cast<const xcb_window_t*>(xcb_get_property_value(reply));
        }

        bool X11Backend::managerLives()
        {
            // The manager's check window names itself while the manager runs;
            // the id a manager that has gone left on the root names nothing,
            // or another client's window.
            auto onRoot = await<xcb_get_property_reply_t>(
                xcb_get_property(requests, 0, screen.root, atoms.supportingWmCheck, XCB_ATOM_WINDOW, 0, 1));
            const xcb_window_t check = firstWindowOf(onRoot.get());
            if (check == XCB_NONE)
                return false;
            auto onCheck = await<xcb_get_property_reply_t>(
                xcb_get_property(requests, 0, check, atoms.supportingWmCheck, XCB_ATOM_WINDOW, 0, 1));
            return firstWindowOf(onCheck.get()) == check;
        }

        bool X11Backend::listManaged(std::vector<xcb_window_t>& windows)
        {
            if (atoms.supportingWmCheck == XCB_ATOM_NONE || ! managerLives())
                return false;
            // Bottom to top when the manager keeps the stacking order.
            for (xcb_atom_t list : {atoms.clientListStacking, atoms.clientList})
            {
                if (list == XCB_ATOM_NONE)
                    continue;
                auto reply = await<xcb_get_property_reply_t>(
                    xcb_get_property(requests, 0, screen.root, list, XCB_ATOM_WINDOW, 0, 1 << 16));
                if (reply != nullptr && reply->type == XCB_ATOM_WINDOW && reply->format == 32)
                {
                    const auto* ids = static_cast<const xcb_window_t*>(xcb_get_property_value(reply.get()));
                    windows.assign(ids, ids + xcb_get_property_value_length(reply.get()) / 4);
                    // Some managers keep their stacking list in the order
                    // the windows came: the server's own order counts.
                    orderAsStacked(windows);
                    return ! windows.empty();
                }
            }
            return false;
        }

        void X11Backend::orderAsStacked(std::vector<xcb_window_t>& windows)
        {
            auto tree = await<xcb_query_tree_reply_t>(xcb_query_tree(requests, screen.root));
            if (tree == nullptr)
                return;
            std::map<xcb_window_t, long> stackedAt;
            const xcb_window_t* children = xcb_query_tree_children(tree.get());
            for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i)
                stackedAt[children[i]] = i;
            // Up from each window to the top-level one holding it, a level
            // of all at a time; a window gone meanwhile goes to the bottom.
            std::vector<xcb_window_t> above = windows;
            std::vector<long> rank(windows.size(), -1);
            for (int depth = 0; depth < 16; ++depth)
            {
                std::vector<std::pair<size_t, xcb_query_tree_cookie_t>> asked;
                for (size_t i = 0; i < windows.size(); ++i)
                {
                    if (rank[i] >= 0 || above[i] == XCB_NONE)
                        continue;
                    if (auto found = stackedAt.find(above[i]); found != stackedAt.end())
                        rank[i] = found->second;
                    else
                        asked.emplace_back(i, xcb_query_tree(requests, above[i]));
                }
                if (asked.empty())
                    break;
                for (const auto& [i, cookie] : asked)
                {
                    auto up = await<xcb_query_tree_reply_t>(cookie);
                    above[i] = up != nullptr && up->parent != screen.root ? up->parent : xcb_window_t(XCB_NONE);
                }
            }
            std::vector<size_t> order(windows.size());
            for (size_t i = 0; i < order.size(); ++i)
                order[i] = i;
            std::stable_sort(order.begin(), order.end(), [&rank](size_t a, size_t b) { return rank[a] < rank[b]; });
            std::vector<xcb_window_t> stacked;
            for (size_t i : order)
                stacked.push_back(windows[i]);
            windows = std::move(stacked);
        }

        std::vector<long> X11Backend::ownersOf(const std::vector<xcb_window_t>& windows)
        {
            std::vector<long> owners(windows.size(), 0);
            if (windows.empty())
                return owners;
            // The server names each local client's process; any id a client
            // made names that client.
            if (hasResources)
            {
                std::vector<xcb_res_client_id_spec_t> specs;
                for (xcb_window_t window : windows)
                    specs.push_back({window, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID});
                auto reply = await<xcb_res_query_client_ids_reply_t>(
                    xcb_res_query_client_ids(requests, uint32_t(specs.size()), specs.data()));
                std::map<uint32_t, long> processOf; // by client id base
                if (reply != nullptr)
                    for (auto id = xcb_res_query_client_ids_ids_iterator(reply.get()); id.rem > 0;
                         xcb_res_client_id_value_next(&id))
                        if ((id.data->spec.mask & XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID) != 0 &&
                            xcb_res_client_id_value_value_length(id.data) == 1)
                            processOf[id.data->spec.client & ~idMask] = long(*xcb_res_client_id_value_value(id.data));
                for (size_t i = 0; i < windows.size(); ++i)
                    if (auto found = processOf.find(windows[i] & ~idMask); found != processOf.end())
                        owners[i] = found->second;
            }
            // A remote client, or a server without X-Resource: what the
            // window says of itself.
            std::vector<std::pair<size_t, xcb_get_property_cookie_t>> asked;
            for (size_t i = 0; i < windows.size(); ++i)
                if (owners[i] == 0)
                    asked.emplace_back(i,
                                       xcb_get_property(requests, 0, windows[i], atoms.wmPid, XCB_ATOM_CARDINAL, 0, 1));
            for (const auto& [i, cookie] : asked)
            {
                auto pid = await<xcb_get_property_reply_t>(cookie);
                if (pid != nullptr && pid->format == 32 && xcb_get_property_value_length(pid.get()) == 4)
                    owners[i] = long(*static_cast<const uint32_t*>(xcb_get_property_value(pid.get())));
            }
            return owners;
        }

        Owner X11Backend::ownerFor(long pid, uint32_t windowId) const
        {
            Owner owner;
            owner.pid = pid;
            if (! hasResources && windowId != 0)
                owner.client = windowId & ~idMask;
            return owner;
        }

        bool X11Backend::owns(const Owner& owner, xcb_window_t window, long pid) const
        {
            return owner.client != 0 ? (window & ~idMask) == owner.client : pid != 0 && pid == owner.pid;
        }

        std::vector<xcb_window_t> X11Backend::listOwned(const Owner& owner, bool& behindAnother)
        {
            std::vector<xcb_window_t> owned;
            behindAnother = false;
            bool anotherSeen = false;
            for (const Dictionary& entry : listNow(kCGWindowListOptionOnScreenOnly))
            {
                const xcb_window_t window = xcb_window_t(entry.getNumber("kCGWindowNumber").value_or(0));
                if (! owns(owner, window, long(entry.getNumber("kCGWindowOwnerPID").value_or(0))))
                {
                    anotherSeen = true;
                    continue;
                }
                owned.push_back(window);
                behindAnother = behindAnother || anotherSeen;
            }
            return owned;
        }

        std::vector<xcb_window_t> X11Backend::popUpsOf(const Owner& owner)
        {
            std::vector<xcb_window_t> popUps;
            auto tree = await<xcb_query_tree_reply_t>(xcb_query_tree(requests, screen.root));
            if (tree == nullptr)
                return popUps;
            const xcb_window_t* children = xcb_query_tree_children(tree.get());
            const int count = xcb_query_tree_children_length(tree.get());
            std::vector<xcb_get_window_attributes_cookie_t> cookies;
            for (int i = 0; i < count; ++i)
                cookies.push_back(xcb_get_window_attributes(requests, children[i]));
            for (int i = 0; i < count; ++i)
            {
                auto attributes = await<xcb_get_window_attributes_reply_t>(cookies[size_t(i)]);
                if (attributes != nullptr && attributes->override_redirect != 0 &&
                    attributes->map_state == XCB_MAP_STATE_VIEWABLE)
                    popUps.push_back(children[i]);
            }
            const std::vector<long> owners = ownersOf(popUps);
            std::vector<xcb_window_t> owned;
            for (size_t i = 0; i < popUps.size(); ++i)
                if (owns(owner, popUps[i], owners[i]))
                    owned.push_back(popUps[i]);
            return owned;
        }

        std::vector<xcb_window_t> X11Backend::clientsIn(const std::vector<xcb_window_t>& topLevels)
        {
            // Breadth first, every top-level window a level at a time: each
            // level of all is asked in one go.
            std::vector<xcb_window_t> clients(topLevels.size(), XCB_NONE);
            std::vector<std::vector<xcb_window_t>> levels;
            for (xcb_window_t top : topLevels)
                levels.push_back({top});
            struct Asked
            {
                size_t top;
                xcb_window_t window;
                xcb_get_property_cookie_t state;
                xcb_query_tree_cookie_t tree;
            };
            for (int depth = 0; depth < 8; ++depth)
            {
                std::vector<Asked> asked;
                for (size_t i = 0; i < topLevels.size(); ++i)
                {
                    for (xcb_window_t window : levels[i])
                        asked.push_back(
                            {i, window,
                             xcb_get_property(requests, 0, window, atoms.wmState, XCB_GET_PROPERTY_TYPE_ANY, 0, 0),
                             xcb_query_tree(requests, window)});
                    levels[i].clear();
                }
                if (asked.empty())
                    break;
                for (const Asked& a : asked)
                {
                    auto state = await<xcb_get_property_reply_t>(a.state);
                    auto tree = await<xcb_query_tree_reply_t>(a.tree);
                    if (clients[a.top] != XCB_NONE)
                        continue;
                    if (state != nullptr && state->type != XCB_NONE)
                    {
                        clients[a.top] = a.window;
                        levels[a.top].clear();
                    }
                    else if (tree != nullptr)
                    {
                        const xcb_window_t* children = xcb_query_tree_children(tree.get());
                        levels[a.top].insert(levels[a.top].end(), children,
                                             children + xcb_query_tree_children_length(tree.get()));
                    }
                }
            }
            // Without a manager, or for the manager's own windows, the
            // top-level window is the client.
            for (size_t i = 0; i < topLevels.size(); ++i)
                if (clients[i] == XCB_NONE)
                    clients[i] = topLevels[i];
            return clients;
        }

        std::vector<xcb_window_t> X11Backend::listWindows()
        {
            std::vector<xcb_window_t> windows;
            const bool managed = listManaged(windows);
            if (! managed)
            {
                // No list to trust: the top-level windows, bottom to top,
                // which are the frames a manager put around the clients.
                auto tree = await<xcb_query_tree_reply_t>(xcb_query_tree(requests, screen.root));
                if (tree != nullptr)
                {
                    const xcb_window_t* children = xcb_query_tree_children(tree.get());
                    windows.assign(children, children + xcb_query_tree_children_length(tree.get()));
                }
            }
            std::vector<xcb_get_window_attributes_cookie_t> cookies;
            for (xcb_window_t window : windows)
                cookies.push_back(xcb_get_window_attributes(requests, window));
            std::vector<xcb_window_t> onScreen;
            for (size_t i = windows.size(); i-- > 0;)
            {
                auto attributes = await<xcb_get_window_attributes_reply_t>(cookies[i]);
                if (attributes != nullptr && attributes->map_state == XCB_MAP_STATE_VIEWABLE &&
                    (managed || attributes->override_redirect == 0))
                    onScreen.push_back(windows[i]);
            }
            return managed ? onScreen : clientsIn(onScreen);
        }

        std::vector<Dictionary> X11Backend::windowListCopyWindowInfo(uint32_t options, uint32_t)
        {
            const NoSigPipe quiet;
            if (answers())
            {
                std::vector<Dictionary> list = listNow(options);
                // A list the server stopped answering in the middle of is not whole.
                if (answering.load())
                {
                    std::lock_guard<std::mutex> hold(listLock);
                    lastListed[options] = list;
                    return list;
                }
            }
            std::lock_guard<std::mutex> hold(listLock);
            if (gone.load())
                lastListed.clear();
            auto known = lastListed.find(options);
            return known != lastListed.end() ? known->second : std::vector<Dictionary>();
        }

        std::vector<Dictionary> X11Backend::listNow(uint32_t options)
        {
            std::vector<Dictionary> list;
            if (const std::vector<xcb_window_t> destroyed = takeQueuedEvents(); ! destroyed.empty())
            {
                std::lock_guard<std::mutex> hold(grabLock);
                forgetRedirected(destroyed);
            }
            const std::vector<xcb_window_t> windows = listWindows();
            struct Asked
            {
                xcb_get_property_cookie_t netName, name, wmClass, type;
            };
            std::vector<Asked> asked;
            for (xcb_window_t window : windows)
                asked.push_back(
                    {xcb_get_property(requests, 0, window, atoms.wmName, atoms.utf8String, 0, 1024),
                     xcb_get_property(requests, 0, window, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, 0, 1024),
                     xcb_get_property(requests, 0, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 1024),
                     xcb_get_property(requests, 0, window, atoms.windowType, XCB_ATOM_ATOM, 0, 32)});
            auto take = [this](xcb_get_property_cookie_t cookie) { return await<xcb_get_property_reply_t>(cookie); };
            const std::vector<long> owners = ownersOf(windows);
            for (size_t i = 0; i < windows.size(); ++i)
            {
                auto netName = take(asked[i].netName);
                auto name = take(asked[i].name);
                auto wmClass = take(asked[i].wmClass);
                auto type = take(asked[i].type);
                // The desktop and panels are desktop elements.
                if ((options & kCGWindowListExcludeDesktopElements) != 0 && type != nullptr && type->format == 32)
                {
                    const auto* types = static_cast<const xcb_atom_t*>(xcb_get_property_value(type.get()));
                    const auto* end = types + xcb_get_property_value_length(type.get()) / 4;
                    if (std::find_if(types, end, [this](xcb_atom_t t)
                                     { return t == atoms.typeDesktop || t == atoms.typeDock; }) != end)
                        continue;
                }
                Dictionary entry;
                entry.set("kCGWindowNumber", (long long)windows[i]);
                auto text = [](const Reply<xcb_get_property_reply_t>& reply)
                {
                    return std::string(static_cast<const char*>(xcb_get_property_value(reply.get())),
                                       size_t(xcb_get_property_value_length(reply.get())));
                };
                if (netName != nullptr && netName->format == 8 && xcb_get_property_value_length(netName.get()) > 0)
                    entry.set("kCGWindowName", x11TextToUtf8(X11TextType::utf8String, text(netName)));
                else if (name != nullptr && name->format == 8 && xcb_get_property_value_length(name.get()) > 0)
                {
                    // Every text type X has; others are taken for UTF-8.
                    const X11TextType type = name->type == XCB_ATOM_STRING      ? X11TextType::string
                                             : name->type == atoms.compoundText ? X11TextType::compoundText
                                                                                : X11TextType::utf8String;
                    entry.set("kCGWindowName", x11TextToUtf8(type, text(name)));
                }
                if (wmClass != nullptr && wmClass->format == 8)
                {
                    // Instance and class, each ended by a NUL: the class names the owner.
                    const std::string both = text(wmClass);
                    const size_t split = both.find('\0');
                    std::string owner = split == std::string::npos ? both : both.substr(split + 1);
                    owner = owner.substr(0, owner.find('\0'));
                    if (owner.empty())
                        owner = both.substr(0, split);
                    if (! owner.empty())
                        entry.set("kCGWindowOwnerName", x11TextToUtf8(X11TextType::string, owner));
                }
                if (owners[i] != 0)
                    entry.set("kCGWindowOwnerPID", (long long)owners[i]);
                list.push_back(std::move(entry));
            }
            return list;
        }

        bool X11Backend::ensureSegment(size_t size)
        {
            if (segment.bytes != nullptr && segment.size >= size)
                return true;
            releaseSegment();
            const int id = shmget(IPC_PRIVATE, size, IPC_CREAT | 0600);
            if (id < 0)
                return false;
            void* address = shmat(id, nullptr, 0);
            // Removed now, freed when both sides have detached.
            shmctl(id, IPC_RMID, nullptr);
            if (address == reinterpret_cast<void*>(-1))
                return false;
            const xcb_shm_seg_t seg = xcb_generate_id(requests);
            const unsigned int attach = xcb_shm_attach_checked(requests, seg, uint32_t(id), 0).sequence;
            // Once a later request is answered, the attach's error has come, if any.
            const bool answered = await<xcb_get_input_focus_reply_t>(xcb_get_input_focus(requests)) != nullptr;
            xcb_generic_error_t* error = nullptr;
            void* none = nullptr;
            if (! answered || xcb_poll_for_reply(requests, attach, &none, &error) == 0 || error != nullptr)
            {
                std::free(error);
                // Detached when it did attach after all: the server keeps the
                // segment while attached, not this process's memory.
                if (! answered)
                {
                    xcb_discard_reply(requests, attach);
                    xcb_shm_detach(requests, seg);
                }
                shmdt(address);
                return false;
            }
            segment = SharedSegment{seg, static_cast<uint8_t*>(address), size};
            return true;
        }

        void X11Backend::releaseSegment()
        {
            if (segment.bytes == nullptr)
                return;
            if (xcb_connection_has_error(requests) == 0)
                xcb_shm_detach(requests, segment.id);
            shmdt(segment.bytes);
            segment = SharedSegment{};
        }

        // A channel of a 16-bit pixel scaled to 8 bits.
        uint32_t channel(uint32_t pixel, uint32_t mask)
        {
            const uint32_t maximum = mask >> __builtin_ctz(mask);
            return ((pixel & mask) >> __builtin_ctz(mask)) * 255 / maximum;
        }

        // An image of that size, its pixels still to come.
        void shapeImage(Image& image, int width, int height)
        {
            image.width = width;
            image.height = height;
            image.bytesPerRow = width * 4;
            image.layout = ImageLayout::premultipliedBGRA;
            image.bytes.resize(size_t(width) * 4 * size_t(height));
        }

        // Rows of the server's pixels (sourceRowBytes apart) into rows of
        // 32-bit premultiplied BGRA (width * 4 apart) from destination; a
        // window without alpha is opaque whatever its unused bits hold.
        void convertRows(const uint8_t* source, size_t sourceRowBytes, int width, int height,
                         const PixelFormat& format, uint8_t* destination)
        {
            const size_t rowBytes = size_t(width) * 4;
            if (format.bytesPerPixel == 4 && ! format.opaque)
            {
                std::memcpy(destination, source, rowBytes * size_t(height));
                return;
            }
            for (int y = 0; y < height; ++y)
            {
                const uint8_t* from = source + size_t(y) * sourceRowBytes;
                uint8_t* to = destination + size_t(y) * rowBytes;
                for (int x = 0; x < width; ++x)
                {
                    uint32_t v = 0;
                    if (format.bytesPerPixel == 4)
                    {
                        std::memcpy(&v, from + size_t(x) * 4, 4);
                        v |= 0xFF000000u;
                    }
                    else
                    {
                        const uint32_t p = uint32_t(from[size_t(x) * 2]) | uint32_t(from[size_t(x) * 2 + 1]) << 8;
                        v = 0xFF000000u | channel(p, format.red) << 16 | channel(p, format.green) << 8 |
                            channel(p, format.blue);
                    }
                    std::memcpy(to + size_t(x) * 4, &v, 4);
                }
            }
        }

        void copyPixels(const uint8_t* source, size_t sourceRowBytes, int width, int height, const PixelFormat& format,
                        Image& image)
        {
            shapeImage(image, width, height);
            convertRows(source, sourceRowBytes, width, height, format, image.bytes.data());
        }

        ImageReader::~ImageReader()
        {
            {
                std::lock_guard<std::mutex> hold(lock);
                stopping = true;
                // A read under way ends at once: the connection breaks.
                if (socket >= 0)
                    shutdown(socket, SHUT_RDWR);
            }
            changed.notify_all();
            if (thread.joinable())
                thread.join();
        }

        void ImageReader::ask(const ImageSource& source)
        {
            if ((coming && ! comingForgotten && *coming == source) ||
                std::find(asked.begin(), asked.end(), source) != asked.end())
                return;
            asked.push_back(source);
            changed.notify_all();
        }

        void ImageReader::forget(const std::vector<xcb_window_t>& windows)
        {
            std::lock_guard<std::mutex> hold(lock);
            for (xcb_window_t window : windows)
            {
                kept.erase(std::remove_if(kept.begin(), kept.end(),
                                          [window](const Kept& k) { return k.source.window == window; }),
                           kept.end());
                asked.erase(std::remove_if(asked.begin(), asked.end(),
                                           [window](const ImageSource& a) { return a.window == window; }),
                            asked.end());
                if (coming && coming->window == window)
                    comingForgotten = true;
            }
        }

        bool ImageReader::isSilent(std::chrono::steady_clock::time_point now) const
        {
            if (! quietSince || now < *quietSince + replyWait)
                return false;
            pollfd wait{socket, POLLIN, 0};
            return poll(&wait, 1, 0) <= 0;
        }

        ImageReader::Outcome ImageReader::read(const ImageSource& source, Image& image, uint64_t& seen)
        {
            using Clock = std::chrono::steady_clock;
            std::unique_lock<std::mutex> hold(lock);
            if (! thread.joinable())
            {
                try
                {
                    thread = std::thread([this] { run(); });
                }
                catch (const std::system_error&)
                {
                    return Outcome::failed;
                }
            }
            const auto start = Clock::now();
            kept.erase(std::remove_if(kept.begin(), kept.end(),
                                      [start](const Kept& k) { return start - k.came >= pictureKept; }),
                       kept.end());
            // Come since this reader's last read: given now (kept for the
            // source's other readers), and the next asked for in turn.
            if (auto found = std::find_if(kept.begin(), kept.end(),
                                          [&](const Kept& k) { return k.source == source && k.number > seen; });
                found != kept.end())
            {
                image = found->picture;
                seen = found->number;
                ask(source);
                return Outcome::read;
            }
            if (coming || ! asked.empty())
            {
                ask(source);
                return Outcome::slow;
            }
            finished = false;
            waiting = true;
            ask(source);
            // As waitForReply waits: while the server sends something at
            // least every replyWait, at most replyWaitLongest.
            const auto longest = start + replyWaitLongest;
            while (! finished)
            {
                const auto now = Clock::now();
                Outcome outcome = Outcome::read;
                if (now >= longest)
                    outcome = Outcome::slow;
                else if (isSilent(now))
                    outcome = Outcome::silent;
                if (outcome != Outcome::read)
                {
                    waiting = false;
                    return outcome;
                }
                // Bytes that came while the thread was kept from running:
                // looked at again a moment later.
                auto until = longest;
                if (quietSince)
                    until = std::min(until, std::max(*quietSince + replyWait, now + std::chrono::milliseconds(5)));
                changed.wait_until(hold, until);
            }
            waiting = false;
            finished = false;
            if (! succeeded)
                return Outcome::failed;
            image = std::move(picture);
            seen = pictureNumber;
            return Outcome::read;
        }

        void ImageReader::run()
        {
            // Blocked for the thread's whole life.
            const NoSigPipe quiet;
            std::unique_lock<std::mutex> hold(lock);
            for (;;)
            {
                changed.wait(hold, [this] { return stopping || ! asked.empty(); });
                if (stopping)
                    break;
                const ImageSource source = asked.front();
                asked.pop_front();
                coming = source;
                comingWaited = waiting;
                comingForgotten = false;
                hold.unlock();
                const auto start = std::chrono::steady_clock::now();
                Image image;
                const bool transferred = transfer(source, image);
                hold.lock();
                const auto now = std::chrono::steady_clock::now();
                // A destroyed window's picture is no picture of the window
                // that may have its id by now.
                const bool read = transferred && ! comingForgotten;
                coming.reset();
                comingForgotten = false;
                quietSince.reset();
                if (comingWaited && waiting)
                {
                    finished = true;
                    succeeded = read;
                    picture = std::move(image);
                    pictureNumber = ++lastNumber;
                }
                // One a read gave up on soon before it came is old by the
                // next read (the server did not answer meanwhile): that read
                // asks afresh.
                else if (read && (! comingWaited || now - start >= replyWaitLongest))
                {
                    kept.erase(std::remove_if(kept.begin(), kept.end(),
                                              [&](const Kept& k) { return k.source.window == source.window; }),
                               kept.end());
                    kept.push_back(Kept{source, std::move(image), now, ++lastNumber});
                }
                changed.notify_all();
            }
            socket = -1;
            hold.unlock();
            if (connection != nullptr)
                xcb_disconnect(connection);
            connection = nullptr;
        }

        bool ImageReader::connect()
        {
            if (connection != nullptr && xcb_connection_has_error(connection) == 0)
                return true;
            if (connection != nullptr)
            {
                {
                    std::lock_guard<std::mutex> hold(lock);
                    socket = -1;
                }
                xcb_disconnect(connection);
                connection = nullptr;
            }
            xcb_connection_t* made = xcb_connect(display.c_str(), nullptr);
            if (xcb_connection_has_error(made) != 0)
            {
                xcb_disconnect(made);
                return false;
            }
            {
                std::lock_guard<std::mutex> hold(lock);
                if (stopping)
                {
                    xcb_disconnect(made);
                    return false;
                }
                connection = made;
                socket = xcb_get_file_descriptor(made);
            }
            // Composite answers a client that said which version it speaks.
            if (hasExtension(connection, &xcb_composite_id))
                std::free(xcb_composite_query_version_reply(
                    connection, xcb_composite_query_version(connection, 0, 2), nullptr));
            return xcb_connection_has_error(connection) == 0;
        }

        void ImageReader::waitForBytes()
        {
            {
                std::lock_guard<std::mutex> hold(lock);
                quietSince = std::chrono::steady_clock::now();
            }
            // The read waiting looks at its silence from now.
            changed.notify_all();
            pollfd wait{xcb_get_file_descriptor(connection), POLLIN, 0};
            poll(&wait, 1, -1);
            std::lock_guard<std::mutex> hold(lock);
            quietSince.reset();
        }

        bool ImageReader::transfer(const ImageSource& source, Image& image)
        {
            if (! connect())
                return false;
            xcb_drawable_t drawable = source.window;
            if (source.redirected)
            {
                drawable = xcb_generate_id(connection);
                xcb_composite_name_window_pixmap(connection, source.window, drawable);
            }
            // Bands of about 64 KiB: each comes soon on a slow link too, so
            // that a silent server is told from a slow one.
            const size_t rowBytes = source.format.rowBytes(source.width);
            const int bandRows = int(std::max<size_t>(1, (size_t(64) << 10) / rowBytes));
            std::vector<xcb_get_image_cookie_t> bands;
            for (int top = 0; top < source.height; top += bandRows)
                bands.push_back(xcb_get_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, drawable, int16_t(source.x),
                                              int16_t(source.y + top), uint16_t(source.width),
                                              uint16_t(std::min(bandRows, source.height - top)), ~0u));
            if (source.redirected)
                xcb_free_pixmap(connection, drawable);
            xcb_flush(connection);
            shapeImage(image, source.width, source.height);
            bool read = true;
            for (size_t i = 0; i < bands.size(); ++i)
            {
                if (! read)
                {
                    xcb_discard_reply(connection, bands[i].sequence);
                    continue;
                }
                // Waited for here, not inside libxcb: the read waiting for
                // it tells a silent server from this thread kept from running.
                void* answer = nullptr;
                xcb_generic_error_t* error = nullptr;
                while (xcb_poll_for_reply(connection, bands[i].sequence, &answer, &error) == 0)
                    waitForBytes();
                std::free(error);
                auto reply = own(static_cast<xcb_get_image_reply_t*>(answer));
                const int top = int(i) * bandRows;
                const int rows = std::min(bandRows, source.height - top);
                if (reply == nullptr || size_t(xcb_get_image_data_length(reply.get())) < rowBytes * size_t(rows))
                {
                    read = false;
                    continue;
                }
                convertRows(xcb_get_image_data(reply.get()), rowBytes, source.width, rows, source.format,
                            image.bytes.data() + size_t(top) * size_t(image.bytesPerRow));
            }
            // The errors of a window gone or resized meanwhile, queued as events: nobody reads them.
            while (xcb_generic_event_t* event = xcb_poll_for_queued_event(connection))
                std::free(event);
            return read;
        }

        bool X11Backend::pixelFormatOf(int depth, xcb_visualid_t visual, PixelFormat& format) const
        {
            if (depth == 24 || depth == 32)
            {
                format = PixelFormat();
                format.opaque = depth == 24;
                return readsPixels;
            }
            auto found = shallowVisuals.find(visual);
            if ((depth != 15 && depth != 16) || found == shallowVisuals.end())
                return false;
            format = found->second;
            return true;
        }

        ImageRead X11Backend::readImage(const ImageSource& source, Image& image, uint64_t& seen)
        {
            const size_t rowBytes = source.format.rowBytes(source.width);
            const size_t size = rowBytes * size_t(source.height);
            if (useSharedMemory && ensureSegment(size))
            {
                // The reply is short: the pixels are in the segment.
                xcb_drawable_t drawable = source.window;
                if (source.redirected)
                {
                    drawable = xcb_generate_id(requests);
                    xcb_composite_name_window_pixmap(requests, source.window, drawable);
                }
                auto reply = await<xcb_shm_get_image_reply_t>(xcb_shm_get_image(
                    requests, drawable, int16_t(source.x), int16_t(source.y), uint16_t(source.width),
                    uint16_t(source.height), ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP, segment.id, 0));
                if (source.redirected)
                    xcb_free_pixmap(requests, drawable);
                if (reply == nullptr)
                    return answering.load() ? ImageRead::failed : ImageRead::later;
                copyPixels(segment.bytes, rowBytes, source.width, source.height, source.format, image);
                return ImageRead::done;
            }
            if (reader == nullptr)
                reader = std::make_unique<ImageReader>(displayToWatch);
            switch (reader->read(source, image, seen))
            {
            case ImageReader::Outcome::read:
                return ImageRead::done;
            case ImageReader::Outcome::failed:
                return ImageRead::failed;
            case ImageReader::Outcome::silent:
                stopAnswering();
                return ImageRead::later;
            case ImageReader::Outcome::slow:
                break;
            }
            return ImageRead::later;
        }

        std::shared_ptr<const Image> X11Backend::windowListCreateImage(uint32_t, uint32_t windowId)
        {
            const NoSigPipe quiet;
            if (! answers())
                return nullptr;
            std::lock_guard<std::mutex> hold(grabLock);
            const auto found = plainSeen.find(windowId);
            uint64_t seen = found != plainSeen.end() ? found->second : 0;
            std::shared_ptr<const Image> image = createImage(windowId, seen);
            // Kept while the window is watched: its destruction forgets it.
            if (seen != 0 && watchedForGoing.count(windowId) != 0)
                plainSeen[windowId] = seen;
            return image;
        }

        std::shared_ptr<const Image> X11Backend::windowListCreateImageForReader(uint32_t, uint32_t windowId,
                                                                                uint64_t& seen)
        {
            const NoSigPipe quiet;
            if (! answers())
                return nullptr;
            std::lock_guard<std::mutex> hold(grabLock);
            return createImage(windowId, seen);
        }

        std::shared_ptr<const Image> X11Backend::createImage(uint32_t windowId, uint64_t& seen)
        {
            // Before its first picture is asked for: a picture of it kept
            // goes once it is destroyed.
            watchForGoing(windowId);
            const auto geometryCookie = xcb_get_geometry(requests, windowId);
            const auto attributesCookie = xcb_get_window_attributes(requests, windowId);
            auto geometry = await<xcb_get_geometry_reply_t>(geometryCookie);
            auto attributes = await<xcb_get_window_attributes_reply_t>(attributesCookie);
            // Past the replies, every window destroyed before is told: a
            // window with a known id may be another client's new one.
            forgetRedirected(takeQueuedEvents());
            // A window that has gone, or is not shown, has no picture.
            if (geometry == nullptr || attributes == nullptr || attributes->map_state != XCB_MAP_STATE_VIEWABLE ||
                geometry->width == 0 || geometry->height == 0)
                return nullptr;
            PixelFormat format;
            if (! pixelFormatOf(geometry->depth, attributes->visual, format))
            {
                if (! depthSaid.exchange(true))
                    logPrint(logWarning,
                             "Displays and windows: cannot grab window 0x%x: its pixels (depth %d) are not read; "
                             "those of depth 24 and 32 (32 bits each) and 15 and 16 (true colour) are.",
                             unsigned(windowId), int(geometry->depth));
                return nullptr;
            }

            if (spareImage == nullptr || spareImage.use_count() > 1)
                spareImage = std::make_shared<Image>();
            const ImageRead read = hasComposite ? readRedirected(windowId, *geometry, format, seen)
                                                : readOnScreen(windowId, *geometry, format, seen);
            xcb_flush(requests);
            return read == ImageRead::done ? spareImage : nullptr;
        }

        ImageRead X11Backend::readRedirected(xcb_window_t window, const xcb_get_geometry_reply_t& geometry,
                                             const PixelFormat& format, uint64_t& seen)
        {
            // Automatic redirection keeps the window's content in a pixmap
            // of its own, so covered parts are there too; it stays while the
            // window and this connection live. The window's destruction is
            // watched, to forget it.
            if (redirected.insert(window).second)
            {
                xcb_composite_redirect_window(requests, window, XCB_COMPOSITE_REDIRECT_AUTOMATIC);
                const uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
                xcb_change_window_attributes(requests, window, XCB_CW_EVENT_MASK, &mask);
                // The image reader's connection names the pixmap only once
                // the server has redirected the window.
                await<xcb_get_input_focus_reply_t>(xcb_get_input_focus(requests));
            }
            // The pixmap includes the border.
            ImageSource source;
            source.window = window;
            source.redirected = true;
            source.x = geometry.border_width;
            source.y = geometry.border_width;
            source.width = geometry.width;
            source.height = geometry.height;
            source.format = format;
            const ImageRead read = readImage(source, *spareImage, seen);
            // A window resized since its geometry came has a pixmap of
            // another size: given back before it is forgotten, else the
            // next grab redirects it once more and the server keeps both.
            // One the server did not answer for keeps its redirection.
            if (read == ImageRead::failed && answering.load())
            {
                xcb_composite_unredirect_window(requests, window, XCB_COMPOSITE_REDIRECT_AUTOMATIC);
                redirected.erase(window);
            }
            return read;
        }

        ImageRead X11Backend::readOnScreen(xcb_window_t window, const xcb_get_geometry_reply_t& geometry,
                                           const PixelFormat& format, uint64_t& seen)
        {
            // A window can be read only where it lies on the screen.
            auto origin = await<xcb_translate_coordinates_reply_t>(
                xcb_translate_coordinates(requests, window, screen.root, 0, 0));
            if (origin == nullptr)
                return ImageRead::failed;
            const int width = geometry.width, height = geometry.height;
            const int left = std::max(0, -origin->dst_x), top = std::max(0, -origin->dst_y);
            const int right = std::min(width, int(screen.width_in_pixels) - origin->dst_x);
            const int bottom = std::min(height, int(screen.height_in_pixels) - origin->dst_y);
            if (right <= left || bottom <= top)
                return ImageRead::failed;
            ImageSource source;
            source.window = window;
            source.x = left;
            source.y = top;
            source.width = right - left;
            source.height = bottom - top;
            source.format = format;
            if (left == 0 && top == 0 && right == width && bottom == height)
                return readImage(source, *spareImage, seen);
            Image part;
            if (const ImageRead read = readImage(source, part, seen); read != ImageRead::done)
                return read;
            Image& whole = *spareImage;
            whole.width = width;
            whole.height = height;
            whole.bytesPerRow = width * 4;
            whole.layout = part.layout;
            whole.bytes.assign(size_t(width) * size_t(height) * 4, 0);
            for (int y = 0; y < part.height; ++y)
                std::memcpy(whole.bytes.data() + size_t(top + y) * size_t(whole.bytesPerRow) + size_t(left) * 4,
                            part.bytes.data() + size_t(y) * size_t(part.bytesPerRow), size_t(part.width) * 4);
            return ImageRead::done;
        }

        bool X11Backend::setFrontProcess(long pid, uint32_t windowId)
        {
            const NoSigPipe quiet;
            if (! answers() || pid <= 0)
                return false;
            const Owner owner = ownerFor(pid, windowId);
            // The list is front to back: the process is in front already
            // when no other's window comes before one of its own.
            bool behindAnother = false;
            const std::vector<xcb_window_t> owned = listOwned(owner, behindAnother);
            // Its pop-ups (open menus, lists) stay above its other windows:
            // a window manager asked to raise a window in front already may
            // put it over them a moment later, so it is asked only when needed.
            const std::vector<xcb_window_t> popUps = popUpsOf(owner);
            if ((owned.empty() && popUps.empty()) || ! answering.load())
                return false;
            const uint32_t above = XCB_STACK_MODE_ABOVE;
            if (behindAnother)
            {
                // Back to front, so the process's windows keep their own order.
                for (auto window = owned.rbegin(); window != owned.rend(); ++window)
                    xcb_configure_window(requests, *window, XCB_CONFIG_WINDOW_STACK_MODE, &above);
                // A window manager raises the frame around the client when asked.
                xcb_client_message_event_t message{};
                message.response_type = XCB_CLIENT_MESSAGE;
                message.format = 32;
                message.window = owned.front();
                message.type = atoms.activeWindow;
                message.data.data32[0] = 2; // from a pager: honoured as the user's wish
                xcb_send_event(requests, 0, screen.root,
                               XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                               reinterpret_cast<const char*>(&message));
                xcb_flush(requests);
                // A window manager raises a moment later, and one (twm) puts
                // the frame over everything then, pop-ups too: they go above
                // once the process is in front (or the wait has ended).
                if (! owned.empty() && ! popUps.empty())
                    waitForStacking(
                        [&]
                        {
                            bool stillBehind = false;
                            listOwned(owner, stillBehind);
                            return ! stillBehind;
                        },
                        std::chrono::steady_clock::now() + raiseWait);
            }
            for (xcb_window_t popUp : popUps)
                xcb_configure_window(requests, popUp, XCB_CONFIG_WINDOW_STACK_MODE, &above);
            xcb_flush(requests);
            // A window manager takes the requests and raises a moment
            // later: the events posted next wait for it.
            std::lock_guard<std::mutex> hold(raiseLock);
            raised = owner;
            raiseWaitEnd = std::chrono::steady_clock::now() + raiseWait;
            return true;
        }

        bool X11Backend::isProcessWindowAt(const Owner& owner, int x, int y)
        {
            if (owner.pid <= 0)
                return false;
            // Down from the root through the front-most window under the
            // point at each level.
            std::vector<xcb_window_t> under;
            xcb_window_t window = screen.root;
            for (int depth = 0; depth < 64; ++depth)
            {
                auto at = await<xcb_translate_coordinates_reply_t>(
                    xcb_translate_coordinates(requests, screen.root, window, int16_t(x), int16_t(y)));
                if (at == nullptr)
                    return false;
                if (at->child == XCB_NONE)
                    break;
                under.push_back(at->child);
                window = at->child;
            }
            // The innermost window whose process is known tells: the point
            // is the process's on its windows and pop-ups, not on a window
            // manager's frame, title bar or button, nor on another
            // program's window (one embedded in the process's too).
            // Without X-Resource, every window's client is known.
            if (owner.client != 0)
                return ! under.empty() && owns(owner, under.back(), 0);
            const std::vector<long> owners = ownersOf(under);
            for (size_t i = under.size(); i-- > 0;)
                if (owners[i] != 0)
                    return owns(owner, under[i], owners[i]);
            return false;
        }

        bool X11Backend::isOnScreen(double x, double y)
        {
            // The screen's size now: RandR changes it.
            auto root = await<xcb_get_geometry_reply_t>(xcb_get_geometry(requests, screen.root));
            return root != nullptr && x >= 0.0 && y >= 0.0 && x < double(root->width) && y < double(root->height);
        }

        bool X11Backend::waitForStacking(const std::function<bool()>& done, std::chrono::steady_clock::time_point end)
        {
            // Every change of the root's children is told while waiting,
            // selected before looking again so that none goes unseen. Each
            // event, and at the latest every pollMs (another thread may
            // take the events of this connection), looks again.
            constexpr int pollMs = 50;
            const uint32_t watch = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
            xcb_change_window_attributes(requests, screen.root, XCB_CW_EVENT_MASK, &watch);
            bool found = false;
            for (;;)
            {
                found = done();
                const auto left =
                    std::chrono::ceil<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
                if (found || left <= 0 || ! answering.load() || ! isAlive())
                    break;
                std::vector<xcb_window_t> destroyed;
                bool changed = false;
                while (xcb_generic_event_t* event = xcb_poll_for_event(requests))
                {
                    changed = true;
                    if ((event->response_type & 0x7F) == XCB_DESTROY_NOTIFY)
                        destroyed.push_back(reinterpret_cast<const xcb_destroy_notify_event_t*>(event)->window);
                    std::free(event);
                }
                if (! destroyed.empty())
                {
                    std::lock_guard<std::mutex> hold(grabLock);
                    forgetRedirected(destroyed);
                }
                if (! changed)
                {
                    pollfd wait{xcb_get_file_descriptor(requests), POLLIN, 0};
                    poll(&wait, 1, int(std::min<long long>(left, pollMs)));
                }
            }
            const uint32_t none = 0;
            xcb_change_window_attributes(requests, screen.root, XCB_CW_EVENT_MASK, &none);
            xcb_flush(requests);
            return found;
        }

        bool X11Backend::waitForProcessWindowAt(const Owner& owner, int x, int y)
        {
            std::chrono::steady_clock::time_point end;
            {
                std::lock_guard<std::mutex> hold(raiseLock);
                if (! (owner == raised))
                    return false;
                end = raiseWaitEnd;
            }
            if (std::chrono::steady_clock::now() >= end)
                return false;
            return waitForStacking([&] { return isProcessWindowAt(owner, x, y); }, end);
        }

        bool X11Backend::postEventToProcess(long pid, const MouseEvent& event)
        {
            const NoSigPipe quiet;
            if (! isAlive())
                return false;
            if (! hasTest)
            {
                if (! noTestSaid.exchange(true))
                    logPrint(logWarning,
                             "Displays and windows: the X server has no XTest extension; clicks are not sent.");
                return false;
            }
            // XTest acts as the pointer itself: the events reach whatever
            // window is under (x, y). Nothing is moved or pressed unless that
            // is the process's (setFrontProcess raised it, at once or, under
            // a window manager, a moment later); a button is let go whatever
            // lies there.
            const uint8_t button = uint8_t(event.button + 1);
            if (event.type == kCGEventLeftMouseUp)
            {
                // The press first: a program's freezing grab keeps it queued,
                // the button never seen down, and a release wait alone
                // would find the button up at once. The release is sent
                // whatever came of the press: a press taken later finds it.
                // Both taken under another client's grab went to that client.
                const bool pressed = waitForButton(button, true);
                xcb_test_fake_input(requests, XCB_BUTTON_RELEASE, button, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
                const bool released = waitForButton(button, false);
                return pressed && released && ! pressGrabbed.exchange(false);
            }
            if (event.type == kCGEventMouseMoved || event.type == kCGEventLeftMouseDown)
            {
                // A server that does not answer cannot say where the point is.
                if (! answers())
                    return false;
                // The server keeps the pointer on the screen: a point of a
                // window beyond its edge would be pressed at the edge.
                if (! isOnScreen(event.x, event.y))
                    return false;
                const int x = int(event.x), y = int(event.y);
                const Owner owner = ownerFor(pid, event.windowId);
                if (! isProcessWindowAt(owner, x, y) && ! waitForProcessWindowAt(owner, x, y))
                    return false;
                xcb_test_fake_input(requests, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, screen.root, int16_t(x),
                                    int16_t(y), 0);
                // The press goes where the check was made, when the pointer
                // got there (the server confines it to the monitors too),
                // with no button down: a press still held by a manager's
                // grab (or the user's own) would take this one with it.
                auto pointer = await<xcb_query_pointer_reply_t>(xcb_query_pointer(requests, screen.root));
                const uint16_t buttons = XCB_BUTTON_MASK_1 | XCB_BUTTON_MASK_2 | XCB_BUTTON_MASK_3;
                if (pointer == nullptr || pointer->root_x != x || pointer->root_y != y ||
                    (pointer->mask & buttons) != 0)
                    return false;
                if (event.type == kCGEventLeftMouseDown)
                {
                    // Under a grab the press goes to the client holding it,
                    // which the server does not tell: one of the process's
                    // while a pop-up of it shows (its open menu), another's
                    // else. Sent all the same, as the pointer itself would
                    // be: a freezing grab may let it go on to the window later.
                    pressGrabbed = isPointerGrabbed() && popUpsOf(owner).empty();
                    xcb_test_fake_input(requests, XCB_BUTTON_PRESS, button, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
                }
            }
            else
                return false;
            // A round trip: the server may leave faked input queued until it
            // next has something to do. What was sent is sent even when the
            // server does not answer it in time: a press is let go after.
            await<xcb_get_input_focus_reply_t>(xcb_get_input_focus(requests));
            return true;
        }

        bool X11Backend::isPointerGrabbed()
        {
            // The server answers a grab of a window not shown "already
            // grabbed" while another client holds the pointer, else "not
            // viewable", taking nothing. A grab held is that of whichever
            // client took it: the press is checked with no button down, so
            // no window's own grab of a press is held then.
            std::call_once(unshownMade,
                           [this]
                           {
                               unshown = xcb_generate_id(requests);
                               const uint32_t overrideRedirect = 1;
                               xcb_create_window(requests, 0, unshown, screen.root, -1, -1, 1, 1, 0,
                                                 XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT,
                                                 XCB_CW_OVERRIDE_REDIRECT, &overrideRedirect);
                           });
            auto reply = await<xcb_grab_pointer_reply_t>(xcb_grab_pointer(requests, 0, unshown, 0, XCB_GRAB_MODE_ASYNC,
                                                                          XCB_GRAB_MODE_ASYNC, XCB_NONE, XCB_NONE,
                                                                          XCB_CURRENT_TIME));
            if (reply == nullptr)
                return true;
            if (reply->status == XCB_GRAB_STATUS_SUCCESS)
                xcb_ungrab_pointer(requests, XCB_CURRENT_TIME);
            return reply->status == XCB_GRAB_STATUS_ALREADY_GRABBED || reply->status == XCB_GRAB_STATUS_FROZEN;
        }

        bool X11Backend::waitForButton(uint8_t button, bool down)
        {
            // A window manager that takes presses with a grab of its own (to
            // focus and raise the window clicked) holds the pointer's events
            // until it lets the press go on to the window, where it is under
            // the pointer then; the release waits behind it. Until the
            // server has taken the release, the next click's raise and check
            // would come before this click has landed: the manager, raising
            // the next one's window first, would hand it this press. The
            // pointer's state changes only as the server takes the events.
            const uint16_t held = uint16_t(XCB_BUTTON_MASK_1 << (button - 1));
            const auto end = std::chrono::steady_clock::now() + raiseWait;
            for (;;)
            {
                auto pointer = await<xcb_query_pointer_reply_t>(xcb_query_pointer(requests, screen.root));
                if (pointer == nullptr)
                    return false;
                if (((pointer->mask & held) != 0) == down)
                    return true;
                if (std::chrono::steady_clock::now() >= end)
                    return false;
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
    }

    std::shared_ptr<Backend> createX11Backend(const char* displayName, const X11Options& options, std::string* whyNot)
    {
        auto backend = std::make_shared<X11Backend>();
        std::string reason;
        if (backend->open(displayName, options, reason))
            return backend;
        if (whyNot != nullptr)
            *whyNot = reason;
        return nullptr;
    }
}
