#include "engine/devices/VXScreenCaptureWrapper.h"

#include <algorithm>
#include <mutex>
#include <thread>

#include "core/VXLog.h"
#include "core/VXScopedAutoReleasePool.h"
#include "core/VXTime.h"
#include "core/parameters/VXParamChoice.h"
#include "engine/gfx/VXTexture.h"
#include "platform/coregraphics/VXCoreGraphics.h"

namespace vx
{
    struct ScreenCaptureWrapper::Pimpl
    {
        std::unique_ptr<cg::BitmapContext> context;
        // The choice, made while grabs run.
        mutable std::mutex choiceLock;
        int windowId = 0;
        // The window chosen has gone once its generation changes: its id
        // may be another window's by now.
        uint64_t generation = 0;
        bool gone = false;
        // The last picture of the window this source had: others grabbing
        // the same window take their own turn at each picture.
        uint64_t pictureSeen = 0;
        long ownerPid = 0;
        std::string ownerName;
        uint32_t width = 0;
        uint32_t height = 0;
        uint32_t listOptions = cg::kCGWindowListOptionOnScreenOnly | cg::kCGWindowListExcludeDesktopElements;
    };

    ScreenCaptureWrapper::ScreenCaptureWrapper() : pimpl(std::make_unique<Pimpl>())
    {
    }

    ScreenCaptureWrapper::~ScreenCaptureWrapper() = default;

    bool ScreenCaptureWrapper::getWindows(ParamChoice<int>& choice)
    {
        const ScopedAutoReleasePool pool;
        const std::vector<cg::Dictionary> windows = cg::getBackend()->windowListCopyWindowInfo(pimpl->listOptions, 0);
        for (const cg::Dictionary& window : windows)
        {
            try
            {
                const std::optional<long long> number = window.getNumber("kCGWindowNumber");
                const std::optional<std::string> owner = window.getString("kCGWindowOwnerName");
                const std::optional<std::string> name = window.getString("kCGWindowName");
                if (! number || ! owner)
                    continue;
                std::string label = *owner;
                if (name)
                    label += " - " + *name;
                if (! label.empty())
                    choice.addChoice(label, int(*number), true, true);
            }
            catch (const cg::Exception& error)
            {
                debugPrint("%s: %s", "getWindows", error.what());
            }
        }
        return true;
    }

    namespace
    {
        struct ListedWindow
        {
            long ownerPid = 0;
            std::optional<std::string> ownerName;
        };

        // The entry listed with that number (the list holds every on-screen
        // window, whatever window it is asked relative to).
        ListedWindow findListed(cg::Backend& graphics, uint32_t options, int id, const char* caller)
        {
            ListedWindow listed;
            for (const cg::Dictionary& window : graphics.windowListCopyWindowInfo(options, uint32_t(id)))
            {
                try
                {
                    if (window.getNumber("kCGWindowNumber") != std::optional<long long>(id))
                        continue;
                    listed.ownerPid = long(window.getNumber("kCGWindowOwnerPID").value_or(0));
                    listed.ownerName = window.getString("kCGWindowOwnerName");
                    break;
                }
                catch (const cg::Exception& error)
                {
                    debugPrint("%s: %s", caller, error.what());
                }
            }
            return listed;
        }
    }

    void ScreenCaptureWrapper::setWindowId(int id)
    {
        std::shared_ptr<cg::Backend> graphics = cg::getBackend();
        const uint64_t generation = id != 0 ? graphics->windowGeneration(uint32_t(id)) : 0;
        // The owner is that of the chosen window, not of the frontmost.
        const ListedWindow listed =
            id != 0 ? findListed(*graphics, pimpl->listOptions, id, "setWindowId") : ListedWindow();
        const std::lock_guard<std::mutex> hold(pimpl->choiceLock);
        pimpl->windowId = id;
        pimpl->generation = generation;
        pimpl->gone = false;
        pimpl->pictureSeen = 0;
        pimpl->ownerPid = listed.ownerPid;
        pimpl->ownerName = listed.ownerName.value_or(std::string());
    }

    std::optional<std::string> ScreenCaptureWrapper::findOwnerName(int id) const
    {
        if (id == 0)
            return std::nullopt;
        const ScopedAutoReleasePool pool;
        return findListed(*cg::getBackend(), pimpl->listOptions, id, "findOwnerName").ownerName;
    }

    bool ScreenCaptureWrapper::hasWindowGone() const
    {
        int windowId = 0;
        uint64_t generation = 0;
        {
            const std::lock_guard<std::mutex> hold(pimpl->choiceLock);
            if (pimpl->gone)
                return true;
            windowId = pimpl->windowId;
            generation = pimpl->generation;
        }
        return windowId != 0 && cg::getBackend()->windowGeneration(uint32_t(windowId)) != generation;
    }

    bool ScreenCaptureWrapper::grab(Texture* texture)
    {
        int windowId = 0;
        uint64_t generation = 0;
        uint64_t seen = 0;
        {
            const std::lock_guard<std::mutex> hold(pimpl->choiceLock);
            if (pimpl->windowId == 0 || pimpl->gone)
                return false;
            windowId = pimpl->windowId;
            generation = pimpl->generation;
            seen = pimpl->pictureSeen;
        }
        if (texture == nullptr)
            return false;
        const double now = getCurrentTime();
        if (now - lastGrabTime < 40.0)
            return false;
        lastGrabTime = now;

        std::shared_ptr<cg::Backend> graphics = cg::getBackend();
        const std::shared_ptr<const cg::Image> image =
            graphics->windowListCreateImageForReader(cg::kCGWindowListOptionIncludingWindow, uint32_t(windowId), seen);
        {
            // Unless another window was chosen meanwhile.
            const std::lock_guard<std::mutex> hold(pimpl->choiceLock);
            if (pimpl->windowId == windowId && pimpl->generation == generation)
                pimpl->pictureSeen = std::max(pimpl->pictureSeen, seen);
        }
        // Asked after the image: a window gone before it was read is told by then.
        if (graphics->windowGeneration(uint32_t(windowId)) != generation)
        {
            // Gone for good, even when a window with its id comes: only a
            // new choice shows another.
            const std::lock_guard<std::mutex> hold(pimpl->choiceLock);
            if (pimpl->windowId == windowId && pimpl->generation == generation)
                pimpl->gone = true;
            return false;
        }
        if (image == nullptr || image->width <= 0 || image->height <= 0 || image->width > 65535 ||
            image->height > 65535)
            return false; // the window has gone
        pimpl->width = uint32_t(image->width);
        pimpl->height = uint32_t(image->height);
        const int width = image->width;
        const int height = image->height;

        if (! texture->isValid() || texture->getWidth() != width || texture->getHeight() != height)
        {
            if (texture->isValid())
                texture->release();
            texture->create(width, height, Texture::RGBA8);
        }
        if (pimpl->context == nullptr || pimpl->context->getWidth() != width || pimpl->context->getHeight() != height)
        {
            pixelBuffer.reset(new uint8_t[size_t(width) * 4 * size_t(height)]);
            pimpl->context = std::make_unique<cg::BitmapContext>(pixelBuffer.get(), width, height, width * 4);
        }
        if (! texture->isValid() || pimpl->context == nullptr)
            return false;

        // The image has the context's size and replaces every pixel, so
        // clearing first would only write the buffer twice.
        pimpl->context->drawImage(*image);
        texture->update(pixelBuffer.get(), width, height);
        return true;
    }

    bool ScreenCaptureWrapper::sendMouseDown(int x, int y)
    {
        int windowId = 0;
        long ownerPid = 0;
        {
            const std::lock_guard<std::mutex> hold(pimpl->choiceLock);
            windowId = pimpl->windowId;
            ownerPid = pimpl->ownerPid;
        }
        if (ownerPid == 0)
        {
            logPrint(logWarning, "%s: No window owner to send the click at (%d, %d) to.", "sendMouseDown", x, y);
            return false;
        }
        std::shared_ptr<cg::Backend> graphics = cg::getBackend();
        // One click at a time in the process: another's raise or press
        // falling between this one's point check and press would send it
        // to the other program.
        static std::mutex clickLock;
        const std::lock_guard<std::mutex> oneClick(clickLock);
        // A click for a window that is not there would land in whatever
        // lies below: nothing is pressed unless the owner's window takes it.
        const bool raised = graphics->setFrontProcess(ownerPid, uint32_t(windowId));
        cg::MouseEvent event;
        event.x = double(x);
        event.y = double(y);
        event.button = 0;
        event.windowId = uint32_t(windowId);
        event.type = cg::kCGEventMouseMoved;
        if (! raised || ! graphics->postEventToProcess(ownerPid, event))
        {
            logPrint(logWarning, "%s: No window of process %ld (window %d) at (%d, %d); the click is not sent.",
                     "sendMouseDown", ownerPid, windowId, x, y);
            return false;
        }
        event.type = cg::kCGEventLeftMouseDown;
        if (! graphics->postEventToProcess(ownerPid, event))
        {
            logPrint(logWarning, "%s: The click at (%d, %d) for process %ld was refused.", "sendMouseDown", x, y,
                     ownerPid);
            return false;
        }
        std::this_thread::yield();
        event.type = cg::kCGEventLeftMouseUp;
        if (! graphics->postEventToProcess(ownerPid, event))
        {
            logPrint(logWarning,
                     "%s: The click at (%d, %d) for process %ld was not taken in time: the pointer is held by "
                     "another program.",
                     "sendMouseDown", x, y, ownerPid);
            return false;
        }
        return true;
    }

    int ScreenCaptureWrapper::getWindowId() const
    {
        const std::lock_guard<std::mutex> hold(pimpl->choiceLock);
        return pimpl->windowId;
    }

    long ScreenCaptureWrapper::getOwnerPid() const
    {
        const std::lock_guard<std::mutex> hold(pimpl->choiceLock);
        return pimpl->ownerPid;
    }

    std::string ScreenCaptureWrapper::getOwnerName() const
    {
        const std::lock_guard<std::mutex> hold(pimpl->choiceLock);
        return pimpl->ownerName;
    }
}
