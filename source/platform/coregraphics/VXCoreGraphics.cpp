#include "platform/coregraphics/VXCoreGraphics.h"

#include "core/VXInstalledBackend.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "core/VXLog.h"
#include "platform/coregraphics/VXCoreGraphicsX11.h"
#include "platform/runloop/VXRunLoop.h"

namespace vx::cg
{
    namespace
    {
        // Without a window server: no display, no window, no process to raise.
        class EmptyBackend : public Backend
        {
        public:
            DirectDisplayID mainDisplayID() override { return 0; }
            Error getOnlineDisplayList(uint32_t, DirectDisplayID*, uint32_t* count) override
            {
                if (count != nullptr)
                    *count = 0;
                return kCGErrorSuccess;
            }
            Rect displayBounds(DirectDisplayID) override { return {}; }
            iokit::Object displayIOServicePort(DirectDisplayID) override { return 0; }
            Error displayCapture(DirectDisplayID) override { return kCGErrorFailure; }
            Error displayRelease(DirectDisplayID) override { return kCGErrorFailure; }
            int addReconfiguration(std::function<void(DirectDisplayID, uint32_t)>) override { return 0; }
            void removeReconfiguration(int) override {}
            std::vector<Dictionary> windowListCopyWindowInfo(uint32_t, uint32_t) override { return {}; }
            std::shared_ptr<const Image> windowListCreateImage(uint32_t, uint32_t) override { return nullptr; }
            bool setFrontProcess(long, uint32_t) override { return false; }
            bool postEventToProcess(long, const MouseEvent&) override { return false; }
        };

        using Installed = InstalledBackend<Backend, EmptyBackend>;

        // The platform's backend is chosen once, by the first getBackend; a
        // backend set before (a test's) keeps it from being probed at all.
        std::once_flag platformChosen;
        void choosePlatformOnce(bool probe)
        {
            std::call_once(platformChosen,
                           [probe]
                           {
                               if (probe)
                                   Installed::set(createPlatformBackend(nullptr));
                           });
        }

        // One registration per (callback, user info), as CoreGraphics keeps them.
        struct Registration
        {
            DisplayReconfigurationCallBack callback = nullptr;
            void* userInfo = nullptr;
            std::shared_ptr<Backend> backend;
            int token = 0;
            std::shared_ptr<bool> alive;
        };
        std::mutex registrationLock;
        std::vector<Registration>& registrations()
        {
            static auto* list = new std::vector<Registration>();
            return *list;
        }
    }

    std::optional<long long> Dictionary::getNumber(const std::string& key) const
    {
        auto entry = values.find(key);
        if (entry == values.end())
            return std::nullopt;
        if (const long long* number = std::get_if<long long>(&entry->second))
            return *number;
        throw Exception("value of " + key + " is not a number");
    }

    std::optional<std::string> Dictionary::getString(const std::string& key) const
    {
        auto entry = values.find(key);
        if (entry == values.end())
            return std::nullopt;
        if (const std::string* text = std::get_if<std::string>(&entry->second))
            return *text;
        throw Exception("value of " + key + " is not a string");
    }

    std::shared_ptr<Backend> getBackend()
    {
        choosePlatformOnce(true);
        return Installed::get();
    }

    void setBackend(std::shared_ptr<Backend> backend)
    {
        choosePlatformOnce(false);
        Installed::set(std::move(backend));
    }

    std::shared_ptr<Backend> createPlatformBackend(const char* displayName)
    {
        const char* name = displayName != nullptr ? displayName : std::getenv("DISPLAY");
        const std::string shown = name != nullptr && *name != 0 ? name : "(none)";
        std::string whyNot;
        if (std::shared_ptr<Backend> x11 = createX11Backend(displayName, X11Options(), &whyNot))
        {
            logPrint(logInfo, "Displays and windows: X11 on display %s.", shown.c_str());
            return x11;
        }
        logPrint(logInfo, "Displays and windows: none, no usable X display %s (%s).", shown.c_str(), whyNot.c_str());
        return std::make_shared<EmptyBackend>();
    }

    Error displayRegisterReconfigurationCallback(DisplayReconfigurationCallBack callback, void* userInfo)
    {
        if (callback == nullptr)
            return kCGErrorFailure;
        Registration entry;
        entry.callback = callback;
        entry.userInfo = userInfo;
        entry.backend = getBackend();
        entry.alive = std::make_shared<bool>(true);
        std::weak_ptr<bool> watch = entry.alive;
        std::weak_ptr<RunLoop> target = RunLoop::getCurrent();
        entry.token = entry.backend->addReconfiguration(
            [=](DirectDisplayID display, uint32_t flags)
            {
                if (auto loop = target.lock())
                    loop->post(
                        [=]
                        {
                            // Runs on the registering thread, which also removes it.
                            if (watch.lock() != nullptr)
                                callback(display, flags, userInfo);
                        });
            });
        std::lock_guard<std::mutex> hold(registrationLock);
        registrations().push_back(std::move(entry));
        return kCGErrorSuccess;
    }

    Error displayRemoveReconfigurationCallback(DisplayReconfigurationCallBack callback, void* userInfo)
    {
        Registration removed;
        {
            std::lock_guard<std::mutex> hold(registrationLock);
            auto& list = registrations();
            auto entry =
                std::find_if(list.begin(), list.end(),
                             [&](const Registration& r) { return r.callback == callback && r.userInfo == userInfo; });
            if (entry == list.end())
                return kCGErrorFailure;
            removed = std::move(*entry);
            list.erase(entry);
        }
        removed.alive.reset();
        removed.backend->removeReconfiguration(removed.token);
        return kCGErrorSuccess;
    }

    BitmapContext::BitmapContext(uint8_t* pixels, int contextWidth, int contextHeight, int rowBytes)
        : data(pixels), width(contextWidth), height(contextHeight), bytesPerRow(rowBytes)
    {
    }

    void BitmapContext::clear()
    {
        if (data == nullptr)
            return;
        for (int y = 0; y < height; ++y)
            std::memset(data + size_t(y) * size_t(bytesPerRow), 0, size_t(width) * 4);
    }

    namespace
    {
        // One row of count pixels into premultiplied RGBA; source and target
        // may be unaligned.
        void convertRow(ImageLayout layout, const uint8_t* source, uint8_t* target, int count)
        {
            switch (layout)
            {
                case ImageLayout::premultipliedRGBA:
                    std::memcpy(target, source, size_t(count) * 4);
                    break;
                case ImageLayout::premultipliedBGRA:
                    // Bytes 0 and 2 swap places: whole words, which the
                    // compiler vectorises.
                    for (int x = 0; x < count; ++x)
                    {
                        uint32_t v;
                        std::memcpy(&v, source + size_t(x) * 4, 4);
                        v = (v & 0xFF00FF00u) | ((v >> 16) & 0xFFu) | ((v & 0xFFu) << 16);
                        std::memcpy(target + size_t(x) * 4, &v, 4);
                    }
                    break;
                case ImageLayout::straightRGBA:
                    for (int x = 0; x < count; ++x)
                    {
                        const uint8_t* p = source + size_t(x) * 4;
                        uint8_t* q = target + size_t(x) * 4;
                        for (int c = 0; c < 3; ++c)
                            q[c] = uint8_t((p[c] * p[3] + 127) / 255);
                        q[3] = p[3];
                    }
                    break;
            }
        }
    }

    void BitmapContext::drawImage(const Image& image)
    {
        if (data == nullptr || width <= 0 || height <= 0 || image.width <= 0 || image.height <= 0 ||
            image.bytesPerRow < image.width * 4 ||
            image.bytes.size() < size_t(image.bytesPerRow) * size_t(image.height))
            return;
        if (image.width == width && image.height == height)
        {
            for (int y = 0; y < height; ++y)
                convertRow(image.layout, image.bytes.data() + size_t(y) * size_t(image.bytesPerRow),
                           data + size_t(y) * size_t(bytesPerRow), width);
            return;
        }
        for (int y = 0; y < height; ++y)
        {
            const uint8_t* source =
                image.bytes.data() + size_t(int64_t(y) * image.height / height) * size_t(image.bytesPerRow);
            uint8_t* target = data + size_t(y) * size_t(bytesPerRow);
            for (int x = 0; x < width; ++x)
                convertRow(image.layout, source + size_t(int64_t(x) * image.width / width) * 4, target + size_t(x) * 4,
                           1);
        }
    }
}
