#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

#include "platform/iokit/VXIOKit.h"

// The CoreGraphics calls the device layer makes (displays and their
// reconfiguration, window lists and window images, mouse events, the process
// manager's front process), over an installable backend. On Linux the
// backend is X11 where an X display answers at start-up, else empty: no
// display, no window. Bitmap contexts are computed here, whatever the backend.
namespace vx::cg
{
    using DirectDisplayID = uint32_t;
    using Error = int32_t;
    inline constexpr Error kCGErrorSuccess = 0;
    inline constexpr Error kCGErrorFailure = 1000;

    struct Rect
    {
        double x = 0.0, y = 0.0, width = 0.0, height = 0.0;
    };

    // Reconfiguration flags.
    enum : uint32_t
    {
        kCGDisplayBeginConfigurationFlag = 1,
        kCGDisplayMovedFlag = 2,
        kCGDisplaySetMainFlag = 4,
        kCGDisplaySetModeFlag = 8,
        kCGDisplayAddFlag = 0x10,
        kCGDisplayRemoveFlag = 0x20,
        kCGDisplayEnabledFlag = 0x100,
        kCGDisplayDisabledFlag = 0x200,
        kCGDisplayDesktopShapeChangedFlag = 0x1000
    };

    // Window list options.
    enum : uint32_t
    {
        kCGWindowListOptionOnScreenOnly = 1,
        kCGWindowListOptionIncludingWindow = 8,
        kCGWindowListExcludeDesktopElements = 16
    };

    // What reading a value of the wrong kind raises (the platform's exception).
    class Exception : public std::runtime_error
    {
    public:
        using std::runtime_error::runtime_error;
    };

    // One entry of a window list: keys ("kCGWindowNumber", "kCGWindowOwnerName",
    // "kCGWindowName", "kCGWindowOwnerPID") to numbers or strings.
    class Dictionary
    {
    public:
        using Value = std::variant<long long, std::string>;

        Dictionary() = default;
        Dictionary(std::initializer_list<std::pair<const std::string, Value>> entries) : values(entries) {}

        bool contains(const std::string& key) const { return values.count(key) != 0; }
        // The number under key; none when absent; throws Exception when it is a string.
        std::optional<long long> getNumber(const std::string& key) const;
        // The string under key; none when absent; throws Exception when it is a number.
        std::optional<std::string> getString(const std::string& key) const;
        void set(const std::string& key, Value value) { values[key] = std::move(value); }

    private:
        std::map<std::string, Value> values;
    };

    // How an image's 32-bit pixels are laid out in memory.
    enum class ImageLayout
    {
        premultipliedBGRA, // alpha premultiplied first, 32-bit little endian (window images)
        premultipliedRGBA, // alpha premultiplied last
        straightRGBA       // alpha last, not premultiplied
    };

    // A CGImage: rows top to bottom, bytesPerRow apart.
    struct Image
    {
        int width = 0;
        int height = 0;
        int bytesPerRow = 0;
        ImageLayout layout = ImageLayout::premultipliedBGRA;
        std::vector<uint8_t> bytes;
    };

    enum EventType : uint32_t
    {
        kCGEventLeftMouseDown = 1,
        kCGEventLeftMouseUp = 2,
        kCGEventMouseMoved = 5
    };

    struct MouseEvent
    {
        EventType type = kCGEventMouseMoved;
        double x = 0.0, y = 0.0;
        int button = 0;
        // The window chosen (0: none): where the platform cannot tell a
        // window's process, the event reaches only windows of the program
        // that made this one.
        uint32_t windowId = 0;
    };

    class Backend
    {
    public:
        virtual ~Backend() = default;

        virtual DirectDisplayID mainDisplayID() = 0;
        // CGGetOnlineDisplayList: at most maxDisplays ids; count set to how many.
        virtual Error getOnlineDisplayList(uint32_t maxDisplays, DirectDisplayID* displays, uint32_t* count) = 0;
        virtual Rect displayBounds(DirectDisplayID display) = 0;
        // CGDisplayIOServicePort: the display's IOKit service (0 when none).
        virtual iokit::Object displayIOServicePort(DirectDisplayID display) = 0;
        virtual Error displayCapture(DirectDisplayID display) = 0;
        virtual Error displayRelease(DirectDisplayID display) = 0;
        // The reconfiguration callbacks: notify is called from any thread;
        // the token goes back to removeReconfiguration.
        virtual int addReconfiguration(std::function<void(DirectDisplayID, uint32_t)> notify) = 0;
        virtual void removeReconfiguration(int token) = 0;

        // CGWindowListCopyWindowInfo, front to back.
        virtual std::vector<Dictionary> windowListCopyWindowInfo(uint32_t options, uint32_t relativeToWindow) = 0;
        // CGWindowListCreateImage of a window at its own bounds; null when
        // there is no image (the window is gone).
        virtual std::shared_ptr<const Image> windowListCreateImage(uint32_t options, uint32_t windowId) = 0;
        // As windowListCreateImage, for one of several readers of the window,
        // each with a seen of its own (0 at first, and for each new window):
        // where pictures come apart from the reads (a slow link), each
        // picture comes to every reader that has not had it, never one older
        // than the last it had (seen is kept up to date).
        virtual std::shared_ptr<const Image> windowListCreateImageForReader(uint32_t options, uint32_t windowId,
                                                                            uint64_t& seen)
        {
            (void)seen;
            return windowListCreateImage(options, windowId);
        }
        // How many times a window with this id has been seen to go; watches
        // it from now on. Where ids are given again (X hands a gone client's
        // to the next), a window chosen at one count is gone at another,
        // whatever has the id now. 0 where ids are never given again.
        virtual uint64_t windowGeneration(uint32_t windowId)
        {
            (void)windowId;
            return 0;
        }

        // SetFrontProcess of the process with that id; false when refused.
        // windowId: the window chosen, as in MouseEvent.
        virtual bool setFrontProcess(long pid, uint32_t windowId) = 0;
        // CGEventPostToPSN of the process with that id; false, nothing
        // posted, when the event cannot reach a window of that process. A
        // button's release is always posted: false when the press and it
        // have not both been taken in time.
        virtual bool postEventToProcess(long pid, const MouseEvent& event) = 0;
    };

    // The installed backend. The first getBackend, unless a backend was set
    // before, installs the platform's (createPlatformBackend of $DISPLAY);
    // null installs the empty one.
    std::shared_ptr<Backend> getBackend();
    void setBackend(std::shared_ptr<Backend> backend);

    // X11 when the display named (null: $DISPLAY) answers, else the empty
    // backend; logs one line saying which.
    std::shared_ptr<Backend> createPlatformBackend(const char* displayName);

    // CGDisplayRegisterReconfigurationCallback: the callback runs on the run
    // loop of the registering thread, when it pumps. Register and remove on
    // that thread; removal drops calls not yet run.
    using DisplayReconfigurationCallBack = void (*)(DirectDisplayID display, uint32_t flags, void* userInfo);
    Error displayRegisterReconfigurationCallback(DisplayReconfigurationCallBack callback, void* userInfo);
    Error displayRemoveReconfigurationCallback(DisplayReconfigurationCallBack callback, void* userInfo);

    // CGBitmapContextCreate over caller memory (8 bits per component, device
    // RGB, alpha premultiplied last): pixels (r, g, b, a), first row on top.
    class BitmapContext
    {
    public:
        BitmapContext(uint8_t* data, int width, int height, int bytesPerRow);

        // CGContextClearRect of the whole context.
        void clear();
        // CGContextDrawImage over the whole, cleared context: the image
        // scaled to fit (nearest pixel), converted to premultiplied RGBA. What
        // was drawn before is replaced, not blended.
        void drawImage(const Image& image);

        int getWidth() const { return width; }
        int getHeight() const { return height; }

    private:
        uint8_t* data;
        int width;
        int height;
        int bytesPerRow;
    };
}
