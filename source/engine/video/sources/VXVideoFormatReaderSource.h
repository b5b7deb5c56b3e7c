#pragma once

#include "core/VXCriticalSection.h"
#include "core/VXReadWriteCriticalSection.h"
#include "core/VXTask.h"
#include "engine/video/sources/VXPositionableVideoSource.h"

#include <atomic>
#include <memory>
#include <string>

namespace vx
{
    class FormatConversion;
    class TaskGroup;
    class TransformEffect;
    class VideoFormatReader;
    class VideoSourceDataDriver;
    class VideoTextureBuffer;

    // A source that can fill frames ahead; nothing here.
    class BufferableVideoSource
    {
    public:
        virtual ~BufferableVideoSource() = default;
        virtual void buffer() {}
    };

    // The names of the task queues, indexed by TaskThreadMode.
    extern const char* const TTM_STRINGS[numTaskThreadModes];

    // Whether the reader's codec loses the last line of every frame (old
    // block-coded frames).
    bool doesReaderMissLastline(VideoFormatReader& reader);

    // A movie, image, image sequence or self-drawing composition played
    // through a reader: made for a reader in hand, or from XML with the
    // reader loaded by a task. The DataDriver thread reads the frame at the
    // play head; render uploads it, passes it through the shared
    // "FormatConversion" (and, for codecs losing their last line, a transform
    // scaled to fit), held at the head of the source's chain, and the rest of
    // the chain, which scales the frame to the source's size.
    //
    // The reader and the load state are read under the reader section's
    // read lock and replaced under its write lock. A source being destroyed
    // leaves the DataDriver and takes back or waits for its loading task.
    class VideoFormatReaderSource : public PositionableVideoSource, public BufferableVideoSource
    {
    public:
        // Takes the reader (not null).
        VideoFormatReaderSource(VideoSourceDataDriver& driver, VideoFormatReader* reader);
        // Reads sourceNode, then loads the reader readerNode names on a task
        // of its "LoadingThread" queue (added to group when given).
        VideoFormatReaderSource(VideoSourceDataDriver& driver, const XmlNode& sourceNode, const XmlNode& readerNode,
                                TaskGroup* group);
        ~VideoFormatReaderSource() override;

        // Null (logged) when node has no "VideoFormatReaderSource" child.
        static VideoFormatReaderSource* createFromXML(VideoSourceDataDriver& driver, const XmlNode& node,
                                                      TaskGroup* group);
        // A source on reader through the file-reader extension of the current
        // source directory; null while there is none (reader stays the
        // caller's).
        static VideoFormatReaderSource* create(VideoFormatReader* reader);

        // Size, frame count, rate, duration and resizability from the reader.
        void readerChanged();
        // After enforceReaderAvailability; may be null.
        VideoFormatReader* getVideoFormatReader();
        // Whether a reader exists, running a still-queued load now or waiting
        // up to 500 ms for a running one.
        bool enforceReaderAvailability();
        // Adds listener (synchronous) and answers true while loading.
        bool listenIfLoading(VideoSourceListener& listener);
        // Adds listener; true while loading, else tells the listeners the
        // outcome at once (and progress 1) and answers false.
        bool listenForAvailability(VideoSourceListener& listener, bool asynchronous);
        // The reader's file, else the stored "fileName" (logged when
        // missing: "").
        std::string getReaderFile();
        bool isLoading() const;

        std::string getDescription() const override;
        double getLengthPerFrame() const;
        double getReaderWidth() const;
        double getReaderHeight() const;

        bool hasAlpha() const override;
        std::shared_ptr<ParamContainer> getSettings() const override;
        std::shared_ptr<ParamContainer> getAdditionalParams() const override;
        bool hasCustomThumbnail() override;
        std::shared_ptr<Pixels> getCustomThumbnail() override;
        void setPlaybackSpeed(double speed) override;
        void setPlaybackDirection(ParamPlayDirection direction) override;
        // Keep the play head for the feeding thread as "Position" changes,
        // and after each update (a change that notifies nobody included).
        void valueChanged(ParamBase& param, ChangeInfo info) override;
        bool update(const TimeInfo& info) override;
        bool runsAutonomously() override;
        void setRunsAutonomously(bool runs) override;
        // The reader's output size.
        void resized(int newWidth, int newHeight) override;

        bool init() override;
        // Reads the frame at the play head; marks a new frame. A reader still
        // seeking to the frame of an earlier read is not sent on: it is asked
        // again for that frame until its seek has landed and a render has
        // taken the frame (a reader that keeps the frames it reads: until it
        // has read it), then sent to the play head. A play head moving on
        // faster than the reader seeks then shows each frame landed on, late,
        // rather than nothing. A play head gone back past the frame held, in
        // the direction of play, has the reader sent to it at once. A reader that buffers is read by the render,
        // one that took up buffering after init included.
        void updateVideo() override;
        TextureRef render(Renderer& renderer, const RenderInfo& info) override;
        // Leaves the DataDriver, drops the buffer and the conversion pass,
        // then the base release and the reader's.
        void release() override;

        XmlNode* writeStateDerived(XmlPool& pool, bool force) override;
        void readStateDerived(const XmlNode& node) override;

        const std::shared_ptr<FormatConversion>& getFormatConversion() const { return conversion; }
        VideoTextureBuffer* getTextureBuffer() const { return textureBuffer.get(); }

    private:
        struct LoadState;

        void executeTask();
        // The loading task went unrun: the load fails and listeners are told.
        void loadDropped();
        void queueLoad(TaskThreadMode mode, TaskGroup* group);
        void tellProgress(float progress);
        void tellUnavailable(VideoSourceListener::Reason reason);
        bool setupFormatConversion(VideoFormatReader& reader, bool drawsItself);
        void remakeBuffer(VideoFormatReader& reader);
        // Reads the frame at the play head (see updateVideo); under the
        // reader section's read lock and feedLock.
        void readAtPlayHead(VideoFormatReader& reader);
        // Whether the held reader may be sent on (see updateVideo).
        bool mayLeaveHeldFrame(VideoFormatReader& reader);
        // Played forwards or backwards, the play head's frame lies before
        // the frame held in the direction of play, or it jumped on in that
        // direction since the reader last heard it (a cue); held by the
        // user's hand, it is on another frame.
        bool isHeldFrameLeftBehind(VideoFormatReader& reader);
        // Played forwards or backwards, the play head went back against the
        // direction of play from the frame at `from`, or on in it by a jump
        // since `last` (where it was when the reader last heard it).
        bool leftInPlay(VideoFormatReader& reader, double from, double last);
        XmlNode* writeReaderElement(XmlPool& pool, bool force, VideoFormatReader& reader);
        // The reader element's "width" and "height" (both above 0) as a
        // resizable reader's output size; a size the source cannot take is
        // refused (setSizeInternal) and the reader keeps its own.
        void applyStoredOutputSize(VideoFormatReader& reader, const XmlNode& node);

        std::unique_ptr<VideoTextureBuffer> textureBuffer;
        VideoSourceDataDriver& dataDriver;

        struct ReaderSection : ReadWriteCriticalSection
        {
            bool loading = false;
            VideoFormatReader* reader = nullptr;
            XmlPool pool;
            XmlNode* node = nullptr;
            bool hasReader = false;
        };
        ReaderSection section;
        std::shared_ptr<LoadState> loadState;

        std::shared_ptr<FormatConversion> conversion;
        std::atomic<bool> newFrame{false};
        // The DataDriver reads the reader (from init to release); else the
        // render does.
        std::atomic<bool> fedByDriver{false};
        // "Position" as last set, on the thread that sets it: the feeding
        // thread reads the play head here, not from the parameter.
        std::atomic<double> playHead{0.0};
        // The play head as the feeding thread took it at the start of its
        // last read: a cue or loop since, not read yet, leaves the frame
        // read last to a play head that has gone (see render).
        std::atomic<double> headRead{0.0};
        // The direction last given to the reader.
        std::atomic<ParamPlayDirection> playDirection{playPause};
        // Renders that came to the reader's frame, counted before they look
        // at the new-frame flag.
        std::atomic<unsigned long> framesRendered{0};
        // Taken by whichever thread reads the reader: the feeding thread, or
        // the render for a reader that buffers or is not fed.
        CriticalSection feedLock;
        // The feeding thread's: the reader is held at heldPosition while it
        // seeks there; once landed, until a render counted past
        // renderedAtLanding has taken the frame. lastHead is the play head
        // as the held reader last heard it.
        struct HeldFrame
        {
            bool held = false;
            bool landed = false;
            double position = 0.0;
            unsigned long renderedAtLanding = 0;
            double lastHead = 0.0;
        } heldFrame;
        std::shared_ptr<TransformEffect> lastLineTransform;
    };
}
