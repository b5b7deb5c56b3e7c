#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/coregraphics/VXCoreGraphics.h"

namespace vx::test
{
    // A window server that tests script: displays and their reconfiguration,
    // windows with their images, and a log of captures, front-process and
    // posted events. Any thread.
    class ScriptedCoreGraphics : public cg::Backend
    {
    public:
        static std::shared_ptr<ScriptedCoreGraphics> install();
        static void uninstall();

        struct Display
        {
            cg::DirectDisplayID id = 0;
            cg::Rect bounds;
            iokit::Object service = 0;
        };
        void setDisplays(const std::vector<Display>& online, cg::DirectDisplayID mainDisplay);
        void failDisplayList(bool fail);
        // Calls every registered reconfiguration callback (from this thread).
        void reconfigure(cg::DirectDisplayID display, uint32_t flags);
        int getNumReconfigurationCallbacks() const;

        void setWindows(const std::vector<cg::Dictionary>& onScreen);
        // The picture of a window; null: the window has gone.
        void setWindowImage(int windowId, std::shared_ptr<const cg::Image> image);
        int getNumImagesMade() const;

        std::vector<std::string> getCalls() const;
        void clearCalls();

        cg::DirectDisplayID mainDisplayID() override;
        cg::Error getOnlineDisplayList(uint32_t maxDisplays, cg::DirectDisplayID* displays, uint32_t* count) override;
        cg::Rect displayBounds(cg::DirectDisplayID display) override;
        iokit::Object displayIOServicePort(cg::DirectDisplayID display) override;
        cg::Error displayCapture(cg::DirectDisplayID display) override;
        cg::Error displayRelease(cg::DirectDisplayID display) override;
        int addReconfiguration(std::function<void(cg::DirectDisplayID, uint32_t)> notify) override;
        void removeReconfiguration(int token) override;
        std::vector<cg::Dictionary> windowListCopyWindowInfo(uint32_t options, uint32_t relativeToWindow) override;
        std::shared_ptr<const cg::Image> windowListCreateImage(uint32_t options, uint32_t windowId) override;
        bool setFrontProcess(long pid, uint32_t windowId) override;
        bool postEventToProcess(long pid, const cg::MouseEvent& event) override;

    private:
        void log(const std::string& call);

        mutable std::mutex lock;
        std::vector<Display> displays;
        cg::DirectDisplayID mainDisplay = 0;
        bool failList = false;
        std::map<int, std::function<void(cg::DirectDisplayID, uint32_t)>> callbacks;
        int nextToken = 1;
        std::vector<cg::Dictionary> windows;
        std::map<int, std::shared_ptr<const cg::Image>> images;
        int imagesMade = 0;
        std::vector<std::string> calls;
    };

    // A window entry of a window list.
    cg::Dictionary windowEntry(long long number, const std::string& owner, const std::string& name, long long pid);
    // A width x height image, rows top first, each pixel from pixel (x, y) as
    // (r, g, b, a) straight, laid out as asked, rows padded to bytesPerRow.
    std::shared_ptr<cg::Image> makeImage(int width, int height, int bytesPerRow, cg::ImageLayout layout,
                                         uint32_t (*pixel)(int x, int y));
}
