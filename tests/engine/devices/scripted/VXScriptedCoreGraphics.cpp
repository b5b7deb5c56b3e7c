#include "VXScriptedCoreGraphics.h"

#include <algorithm>

namespace vx::test
{
    std::shared_ptr<ScriptedCoreGraphics> ScriptedCoreGraphics::install()
    {
        auto backend = std::make_shared<ScriptedCoreGraphics>();
        cg::setBackend(backend);
        return backend;
    }

    void ScriptedCoreGraphics::uninstall()
    {
        cg::setBackend(nullptr);
    }

    void ScriptedCoreGraphics::log(const std::string& call)
    {
        calls.push_back(call);
    }

    void ScriptedCoreGraphics::setDisplays(const std::vector<Display>& online, cg::DirectDisplayID main)
    {
        std::lock_guard<std::mutex> hold(lock);
        displays = online;
        mainDisplay = main;
    }

    void ScriptedCoreGraphics::failDisplayList(bool fail)
    {
        std::lock_guard<std::mutex> hold(lock);
        failList = fail;
    }

    void ScriptedCoreGraphics::reconfigure(cg::DirectDisplayID display, uint32_t flags)
    {
        std::vector<std::function<void(cg::DirectDisplayID, uint32_t)>> notify;
        {
            std::lock_guard<std::mutex> hold(lock);
            for (auto& [token, callback] : callbacks)
                notify.push_back(callback);
        }
        for (auto& callback : notify)
            callback(display, flags);
    }

    int ScriptedCoreGraphics::getNumReconfigurationCallbacks() const
    {
        std::lock_guard<std::mutex> hold(lock);
        return int(callbacks.size());
    }

    void ScriptedCoreGraphics::setWindows(const std::vector<cg::Dictionary>& onScreen)
    {
        std::lock_guard<std::mutex> hold(lock);
        windows = onScreen;
    }

    void ScriptedCoreGraphics::setWindowImage(int windowId, std::shared_ptr<const cg::Image> image)
    {
        std::lock_guard<std::mutex> hold(lock);
        images[windowId] = std::move(image);
    }

    int ScriptedCoreGraphics::getNumImagesMade() const
    {
        std::lock_guard<std::mutex> hold(lock);
        return imagesMade;
    }

    std::vector<std::string> ScriptedCoreGraphics::getCalls() const
    {
        std::lock_guard<std::mutex> hold(lock);
        return calls;
    }

    void ScriptedCoreGraphics::clearCalls()
    {
        std::lock_guard<std::mutex> hold(lock);
        calls.clear();
    }

    cg::DirectDisplayID ScriptedCoreGraphics::mainDisplayID()
    {
        std::lock_guard<std::mutex> hold(lock);
        return mainDisplay;
    }

    cg::Error ScriptedCoreGraphics::getOnlineDisplayList(uint32_t maxDisplays, cg::DirectDisplayID* ids,
                                                         uint32_t* count)
    {
        std::lock_guard<std::mutex> hold(lock);
        if (failList)
            return cg::kCGErrorFailure;
        // Without a list to fill, the count of online displays.
        if (ids == nullptr)
        {
            *count = uint32_t(displays.size());
            return cg::kCGErrorSuccess;
        }
        const uint32_t n = std::min<uint32_t>(maxDisplays, uint32_t(displays.size()));
        for (uint32_t i = 0; i < n; ++i)
            ids[i] = displays[i].id;
        *count = n;
        return cg::kCGErrorSuccess;
    }

    cg::Rect ScriptedCoreGraphics::displayBounds(cg::DirectDisplayID display)
    {
        std::lock_guard<std::mutex> hold(lock);
        for (const Display& d : displays)
            if (d.id == display)
                return d.bounds;
        return {};
    }

    iokit::Object ScriptedCoreGraphics::displayIOServicePort(cg::DirectDisplayID display)
    {
        std::lock_guard<std::mutex> hold(lock);
        for (const Display& d : displays)
            if (d.id == display)
                return d.service;
        return 0;
    }

    cg::Error ScriptedCoreGraphics::displayCapture(cg::DirectDisplayID display)
    {
        std::lock_guard<std::mutex> hold(lock);
        log("CGDisplayCapture " + std::to_string(display));
        return cg::kCGErrorSuccess;
    }

    cg::Error ScriptedCoreGraphics::displayRelease(cg::DirectDisplayID display)
    {
        std::lock_guard<std::mutex> hold(lock);
        log("CGDisplayRelease " + std::to_string(display));
        return cg::kCGErrorSuccess;
    }

    int ScriptedCoreGraphics::addReconfiguration(std::function<void(cg::DirectDisplayID, uint32_t)> notify)
    {
        std::lock_guard<std::mutex> hold(lock);
        callbacks[nextToken] = std::move(notify);
        return nextToken++;
    }

    void ScriptedCoreGraphics::removeReconfiguration(int token)
    {
        std::lock_guard<std::mutex> hold(lock);
        callbacks.erase(token);
    }

    std::vector<cg::Dictionary> ScriptedCoreGraphics::windowListCopyWindowInfo(uint32_t, uint32_t)
    {
        std::lock_guard<std::mutex> hold(lock);
        return windows;
    }

    std::shared_ptr<const cg::Image> ScriptedCoreGraphics::windowListCreateImage(uint32_t, uint32_t windowId)
    {
        std::lock_guard<std::mutex> hold(lock);
        ++imagesMade;
        auto image = images.find(int(windowId));
        return image != images.end() ? image->second : nullptr;
    }

    bool ScriptedCoreGraphics::setFrontProcess(long pid, uint32_t)
    {
        std::lock_guard<std::mutex> hold(lock);
        log("SetFrontProcess " + std::to_string(pid));
        return true;
    }

    bool ScriptedCoreGraphics::postEventToProcess(long pid, const cg::MouseEvent& event)
    {
        std::lock_guard<std::mutex> hold(lock);
        log("CGEventPostToPSN " + std::to_string(pid) + " type " + std::to_string(int(event.type)) + " at " +
            std::to_string(int(event.x)) + "," + std::to_string(int(event.y)) + " button " +
            std::to_string(event.button));
        return true;
    }

    cg::Dictionary windowEntry(long long number, const std::string& owner, const std::string& name, long long pid)
    {
        cg::Dictionary entry;
        entry.set("kCGWindowNumber", number);
        if (! owner.empty())
            entry.set("kCGWindowOwnerName", owner);
        if (! name.empty())
            entry.set("kCGWindowName", name);
        entry.set("kCGWindowOwnerPID", pid);
        return entry;
    }

    std::shared_ptr<cg::Image> makeImage(int width, int height, int bytesPerRow, cg::ImageLayout layout,
                                         uint32_t (*pixel)(int x, int y))
    {
        auto image = std::make_shared<cg::Image>();
        image->width = width;
        image->height = height;
        image->bytesPerRow = bytesPerRow;
        image->layout = layout;
        image->bytes.assign(size_t(bytesPerRow) * size_t(height), 0xEE);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
            {
                const uint32_t rgba = pixel(x, y);
                const uint8_t r = uint8_t(rgba >> 24), g = uint8_t(rgba >> 16), b = uint8_t(rgba >> 8),
                              a = uint8_t(rgba);
                const auto pre = [a](uint8_t c) { return uint8_t((c * a + 127) / 255); };
                uint8_t* p = image->bytes.data() + size_t(y) * size_t(bytesPerRow) + size_t(x) * 4;
                switch (layout)
                {
                    case cg::ImageLayout::premultipliedBGRA:
                        p[0] = pre(b), p[1] = pre(g), p[2] = pre(r), p[3] = a;
                        break;
                    case cg::ImageLayout::premultipliedRGBA:
                        p[0] = pre(r), p[1] = pre(g), p[2] = pre(b), p[3] = a;
                        break;
                    case cg::ImageLayout::straightRGBA:
                        p[0] = r, p[1] = g, p[2] = b, p[3] = a;
                        break;
                }
            }
        return image;
    }
}
