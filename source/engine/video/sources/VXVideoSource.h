#pragma once

#include "core/VXBroadcaster.h"
#include "core/VXCriticalSection.h"
#include "core/VXSelfIniter.h"
#include "core/VXTimeInfo.h"
#include "core/parameters/VXExtensionInstance.h"
#include "core/parameters/VXUpdatable.h"
#include "engine/gfx/VXGfxObject.h"
#include "engine/gfx/VXTextureRef.h"
#include "engine/video/sources/VXSourceExtension.h"
#include "engine/video/sources/VXSourceInfo.h"
#include "engine/video/sources/VXVideoSourceListener.h"

#include <memory>
#include <string>

namespace vx
{
    class Mixer;
    class ParamContainer;
    class ParamRange;
    class Pixels;
    class RenderPassChain;
    class Renderer;
    class VideoSourceFactory;
    class XmlState;

    // What the caller of render hands over besides the renderer; nothing yet.
    struct RenderInfo
    {
    };

    // The base of everything that gives the engine a picture each frame: the
    // parameters "Params" ("Opacity", and "Position", which playing sources
    // drive), an own render-pass chain the picture is finished through, an
    // optional mixer, a size, the identity of the extension that made it, and
    // one "VideoSource" element. Graphics set-up runs lazily on the first
    // begin once the size is not 0.
    //
    // update, start, stop, render and the XML operations run on the render
    // thread; updateVideo on the DataDriver thread. The mixer is read and
    // replaced under its own lock; the rest relies on the caller's thread.
    class VideoSource : public GfxObject,
                        public Broadcaster<VideoSourceListener>,
                        public ExtensionInstance,
                        public SelfIniter,
                        public Updatable
    {
    public:
        static constexpr int DEFAULT_WIDTH = 640;
        static constexpr int DEFAULT_HEIGHT = 480;
        static constexpr int THUMBNAIL_WIDTH = sourceThumbnailWidth;
        static constexpr int THUMBNAIL_HEIGHT = sourceThumbnailHeight;

        // type: the "type" attribute and the default description.
        explicit VideoSource(const std::string& type);
        ~VideoSource() override;
        VideoSource(const VideoSource&) = delete;
        VideoSource& operator=(const VideoSource&) = delete;

        // Releases the mixer and the chain and re-arms the lazy init.
        void release() override;
        // The parameters, then the chain.
        void start(bool restart, const TimeUnit& time) override;
        // At most once per engine frame (by the frame stamp): false for a
        // second call with the same stamp. Whether anything changed.
        bool update(const TimeInfo& info) override;
        void stop(const TimeUnit& time) override;
        // The DataDriver's call; nothing here.
        virtual void updateVideo() {}
        // The chain's output for this frame; empty for no picture.
        virtual TextureRef render(Renderer& renderer, const RenderInfo& info) = 0;
        void pathChanged() override;
        virtual void retainOutput(bool keep);
        // Null clears the mixer.
        virtual void setMixer(Mixer* mixer);
        virtual void setMixer(std::shared_ptr<Mixer> mixer);
        // The extension named by the source info's unique id, or null.
        SourceExtension* getExtension() override;
        int getWidth() const override { return width; }
        int getHeight() const override { return height; }
        virtual bool hasAlpha() const { return true; }
        virtual std::shared_ptr<ParamContainer> getSettings() const { return {}; }
        virtual std::shared_ptr<ParamContainer> getAdditionalParams() const { return {}; }
        // Whether "Position" is being played.
        virtual bool isActive() const;
        virtual std::string getDescription() const { return type; }
        virtual bool canProvideThumbnail() const { return true; }
        virtual bool hasCustomThumbnail() { return false; }
        virtual std::shared_ptr<Pixels> getCustomThumbnail() { return {}; }
        virtual std::shared_ptr<Mixer> getMixer() const;
        // The size changed (after it is stored); nothing here.
        virtual void resized(int newWidth, int newHeight);
        // The chain and the mixer take the source's size.
        bool init() override;
        // "width", "height", "type"; the extension's (else the creator's)
        // identifying child; "Params"; the chain.
        XmlNode* writeStateDerived(XmlPool& pool, bool force) override;
        // "Params", the size (0 where missing) of a resizable source, the
        // chain.
        void readStateDerived(const XmlNode& node) override;

        virtual int getBitDepth() const { return 4; }
        bool isResizable() const { return resizable; }
        bool isOutputRetained() const;

        // Copies the info; links preset (applying it) when given.
        void setSourceInfo(const SourceInfo& newInfo, XmlState* preset);
        const SourceInfo& getSourceInfo() const { return info; }
        void setCreator(VideoSourceFactory* factory) { creator = factory; }
        VideoSourceFactory* getCreator() const { return creator; }

        // Only while resizable.
        void setSize(int newWidth, int newHeight);
        // Stores a changed size, sizes the chain and mixer, calls resized and
        // tells the listeners sourceResized; nothing for the current size. A
        // size checkSize refuses becomes 0 x 0: the source shows nothing.
        void setSizeInternal(int newWidth, int newHeight);
        // Whether the source can take the size: each side 0 (none) to the
        // largest texture of this GL. Sizes come from compositions, presets
        // and files, and a source allocates by its size: one beyond that is
        // refused with one log line (not again for the same size) and the
        // source is marked refused until it takes a size.
        bool checkSize(int newWidth, int newHeight);
        bool isSizeRefused() const { return sizeRefused; }
        // Wider, or else taller, than other.
        bool widthOrHeightIsBiggerThan(const VideoSource& other) const;

        // "Position" over 0 to ms: its start/stop range follows when it
        // covered the whole old range, else is confined; a timeline driving
        // it takes ms as its original duration.
        void setDuration(double ms);
        // The width of "Position"'s range (2^-52 for one that is not a
        // number).
        double getDuration() const;
        double getPosition() const;

        const std::shared_ptr<ParamContainer>& getParams() const { return params; }
        const std::shared_ptr<ParamRange>& getPositionParam() const { return position; }
        const std::shared_ptr<ParamRange>& getOpacityParam() const { return opacity; }
        const std::shared_ptr<RenderPassChain>& getRenderPassChain() const { return chain; }
        const TimeInfo& getLastUpdateTime() const { return lastUpdate; }

    protected:
        void setResizable(bool canResize) { resizable = canResize; }
        // Without sizing the chain or telling anyone (a source taking its
        // reader's fixed size during init).
        void storeSize(int newWidth, int newHeight)
        {
            width = newWidth;
            height = newHeight;
        }

        std::shared_ptr<RenderPassChain> chain;

    private:
        VideoSourceFactory* creator = nullptr;
        SourceInfo info;
        std::shared_ptr<ParamContainer> params;
        std::shared_ptr<ParamRange> opacity;
        std::shared_ptr<ParamRange> position;
        int width = 0;
        int height = 0;
        bool resizable = true;
        bool sizeRefused = false;
        int refusedWidth = 0;
        int refusedHeight = 0;
        std::string type;
        TimeInfo lastUpdate{0.0};
        std::shared_ptr<Mixer> mixer;
        mutable CriticalSection mixerLock;
    };
}
