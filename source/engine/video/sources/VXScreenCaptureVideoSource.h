#pragma once

#include "engine/video/sources/VXPositionableVideoSource.h"

#include <memory>

namespace vx
{
    class ScreenCaptureWrapper;
    class Texture;
    template <typename T>
    class ParamChoice;

    // A window on screen as a source: the "Windows" choice of its settings
    // ("Screen Capture Params") picks the window, whose picture is grabbed
    // (at most every 40 ms) into a texture the source makes on its first
    // render and drops in release. The source takes the window's size.
    // Render and update thread.
    class ScreenCaptureVideoSource : public PositionableVideoSource
    {
    public:
        // Lists the windows and chooses the first whose label begins with
        // "Dock".
        ScreenCaptureVideoSource();
        ~ScreenCaptureVideoSource() override;

        // Lists the windows on screen again into "Windows"; when the window
        // chosen has gone, "Windows" is set to 0 (none). The parameters'
        // thread.
        void refresh();
        // Brings the window's owner to the front and clicks at (x, y); false,
        // nothing pressed, when the owner's window is not there.
        bool sendMouseDown(int x, int y);

        // The base update (no play head).
        bool update(const TimeInfo& info) override;
        std::string getDescription() const override { return "Screen Capture"; }
        std::shared_ptr<ParamContainer> getSettings() const override { return settings; }
        // A new "Windows" value chooses that window.
        void valueChanged(ParamBase& param, ChangeInfo info) override;
        // Drops the grab texture, then the base release.
        void release() override;
        TextureRef render(Renderer& renderer, const RenderInfo& info) override;

        // The base element and "Screen Capture Params"; with a window chosen,
        // "windowOwner" names its owner as listed when it was chosen.
        XmlNode* writeStateDerived(XmlPool& pool, bool force) override;
        // Chooses the window read only when the window listed with its
        // number has the owner stored (when one is); otherwise none, with a
        // warning.
        void readStateDerived(const XmlNode& node) override;

        const std::shared_ptr<ParamChoice<int>>& getWindowsParam() const { return windows; }
        ScreenCaptureWrapper* getGrabber() const { return grabber.get(); }
        Texture* getGrabTexture() const { return grabTexture.get(); }

    private:
        std::unique_ptr<ScreenCaptureWrapper> grabber;
        std::shared_ptr<ParamContainer> settings;
        std::shared_ptr<ParamChoice<int>> windows;
        std::unique_ptr<Texture> grabTexture;
        // Set while the state is read: a "Windows" value read is handed to
        // the grabber only once checked. The parameters' thread.
        bool reading = false;
        bool windowReadWhileReading = false;
    };

    // The extension of screen capture sources: "Screen Capture" /
    // "Screen Capture" / "SCREEN_CAPTURE_SRC" / "Screen Capture", always
    // listed. Stored sources carry a "ScreenCaptureSourceInfo" child.
    class ScreenCaptureSourceExtension : public VideoSourceExtension
    {
    public:
        static const std::string UNIQUE_ID;

        ScreenCaptureSourceExtension();

        // A new source with this extension's info; the preset is not used.
        VideoSource* createSource(XmlState* preset) override;
        using VideoSourceExtension::createSource;
        // Null unless node has a "ScreenCaptureSourceInfo" child.
        VideoSource* createSourceFromXML(const XmlNode& node) override;
        // An empty "ScreenCaptureSourceInfo" element.
        XmlNode* saveSourceToXML(XmlPool& pool, XmlCapable* source) override;
    };
}
