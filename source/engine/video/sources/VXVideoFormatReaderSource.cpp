#include "engine/video/sources/VXVideoFormatReaderSource.h"

#include "core/VXFile.h"
#include "core/VXLog.h"
#include "core/VXScopedLock.h"
#include "core/VXTaskGroup.h"
#include "core/VXTaskManager.h"
#include "core/parameters/VXParam.h"
#include "core/parameters/VXParamChoice.h"
#include "core/parameters/VXParamContainer.h"
#include "core/parameters/VXParamRange.h"
#include "core/parameters/VXPixelsLoader.h"
#include "engine/behaviours/VXBehaviourTimelineBase.h"
#include "engine/gfx/VXGfxUtils.h"
#include "engine/gfx/VXRenderTarget.h"
#include "engine/gfx/VXRenderTargetManager.h"
#include "engine/gfx/VXTexture.h"
#include "engine/renderpasses/VXRenderPassChain.h"
#include "engine/renderpasses/VXRenderPassManager.h"
#include "engine/renderpasses/VXTransformEffect.h"
#include "engine/renderpasses/catalogue/VXFormatConversion.h"
#include "engine/video/codecs/VXVideoCodecSettings.h"
#include "engine/video/formats/VXVideoFormatManager.h"
#include "engine/video/formats/VXVideoFormatReader.h"
#include "engine/video/formats/VXVideoTextureBuffer.h"
#include "engine/video/sources/VXSourceDirectory.h"
#include "engine/video/sources/VXVideoFormatReaderSourceExtension.h"
#include "engine/video/sources/VXVideoSourceDataDriver.h"

#include <epoxy/gl.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

namespace vx
{
    const char* const TTM_STRINGS[numTaskThreadModes] = {"TTM_RENDER",  "TTM_UPDATE", "TTM_THREADED",
                                                         "TTM_MESSAGE", "TTM_INPUT",  "TTM_CONTROL"};

    bool doesReaderMissLastline(VideoFormatReader& reader)
    {
        const VideoCodecSettings* settings = reader.getCodecSettings();
        return settings != nullptr && settings->oldFrameFlag != 0;
    }

    // What the loading task and its source share. The task reaches the
    // source only through it: a source going away clears `source` (the task
    // then does nothing) and waits while the task runs. `task` names the
    // task object while it exists, so a queued task can be taken back.
    struct VideoFormatReaderSource::LoadState
    {
        std::recursive_mutex lock;
        std::condition_variable_any changed;
        VideoFormatReaderSource* source = nullptr;
        Task* task = nullptr;
        bool running = false;
        // The task ran, or was taken back to run in place.
        bool started = false;

        bool isDone() const { return task == nullptr && ! running; }

        // The task object is gone: run and destroyed, taken back, or dropped
        // unrun with its group or manager. A load dropped unrun fails.
        void taskGone()
        {
            std::lock_guard<std::recursive_mutex> hold(lock);
            task = nullptr;
            if (! started && source != nullptr)
                source->loadDropped();
            changed.notify_all();
        }
    };

    namespace
    {
        // Lives as long as the task's function and tells when it goes.
        struct TaskLife
        {
            explicit TaskLife(std::function<void()> whenGone) : gone(std::move(whenGone)) {}
            ~TaskLife() { gone(); }
            TaskLife(const TaskLife&) = delete;
            TaskLife& operator=(const TaskLife&) = delete;

            std::function<void()> gone;
        };

        VideoFormatManager* currentFormatManager()
        {
            return dynamic_cast<VideoFormatManager*>(PixelsLoader::getCurrent());
        }

        bool readPositiveSize(const XmlNode& node, int& width, int& height)
        {
            return readAttribute(node.first_attribute("width"), &width) &&
                   readAttribute(node.first_attribute("height"), &height) && width > 0 && height > 0;
        }
    }

    VideoFormatReaderSource::VideoFormatReaderSource(VideoSourceDataDriver& driver, VideoFormatReader* reader)
        : PositionableVideoSource("VideoFormatReaderSource"), dataDriver(driver),
          loadState(std::make_shared<LoadState>())
    {
        section.reader = reader;
        section.hasReader = reader != nullptr;
        readerChanged();
    }

    VideoFormatReaderSource::VideoFormatReaderSource(VideoSourceDataDriver& driver, const XmlNode& sourceNode,
                                                     const XmlNode& readerNode, TaskGroup* group)
        : PositionableVideoSource("VideoFormatReaderSource"), dataDriver(driver),
          loadState(std::make_shared<LoadState>())
    {
        loadState->source = this;
        readState(&sourceNode, false);

        int mode = -1;
        if (const XmlAttribute* attribute = readerNode.first_attribute("LoadingThread"))
        {
            const std::string name(attribute->value(), attribute->value_size());
            for (int i = 0; i < numTaskThreadModes && mode < 0; ++i)
                if (name == TTM_STRINGS[i])
                    mode = i;
        }
        if (mode < 0)
        {
            logPrint(logWarning, "%s: Could not read/recognise loading thread mode, defaulting to TTM_MESSAGE.",
                     "VideoFormatReaderSource");
            mode = static_cast<int>(TaskThreadMode::Message);
        }

        {
            ScopedWriteLock hold(section);
            section.node = XmlCapable::cloneNodeWithoutSharingResources(section.pool, readerNode);
            section.loading = true;
        }
        queueLoad(static_cast<TaskThreadMode>(mode), group);
    }

    void VideoFormatReaderSource::queueLoad(TaskThreadMode mode, TaskGroup* group)
    {
        TaskManager* manager = TaskManager::getCurrent();
        if (manager == nullptr && group == nullptr)
        {
            logPrint(logWarning, "VideoFormatReaderSource: no task manager, loading in place.");
            executeTask();
            return;
        }
        std::shared_ptr<LoadState> state = loadState;
        auto life = std::make_shared<TaskLife>([state] { state->taskGone(); });
        auto function = [state, life]()
        {
            LoadState& shared = *state;
            VideoFormatReaderSource* source;
            {
                std::lock_guard<std::recursive_mutex> hold(shared.lock);
                shared.started = true;
                source = shared.source;
                if (source == nullptr)
                    return;
                shared.running = true;
            }
            source->executeTask();
            std::lock_guard<std::recursive_mutex> hold(shared.lock);
            shared.running = false;
            shared.changed.notify_all();
        };
        Task* task = manager != nullptr ? manager->constructTask(mode, 0, std::move(function), false)
                                        : new Task(std::move(function), mode, 0, false);
        {
            std::lock_guard<std::recursive_mutex> hold(state->lock);
            state->task = task;
        }
        if (group != nullptr)
            group->addSubTask(task);
        else
            manager->queueTask(task);
    }

    VideoFormatReaderSource::~VideoFormatReaderSource()
    {
        dataDriver.removeSource(this);
        {
            std::unique_lock<std::recursive_mutex> hold(loadState->lock);
            loadState->source = nullptr;
            if (loadState->task != nullptr && ! loadState->running)
                if (TaskManager* manager = TaskManager::getCurrent())
                    manager->unqueueTask(*loadState->task, false);
            loadState->changed.wait(hold, [this] { return ! loadState->running; });
        }
        textureBuffer.reset();
        ScopedWriteLock hold(section);
        delete section.reader;
        section.reader = nullptr;
    }

    VideoFormatReaderSource* VideoFormatReaderSource::createFromXML(VideoSourceDataDriver& driver, const XmlNode& node,
                                                                    TaskGroup* group)
    {
        const XmlNode* readerNode = node.first_node("VideoFormatReaderSource");
        if (readerNode == nullptr)
        {
            logPrint(logError, "%s: VideoFormatReaderSource node could not be found, cannot create reader source.\n",
                     "createFromXML");
            return nullptr;
        }
        return new VideoFormatReaderSource(driver, node, *readerNode, group);
    }

    VideoFormatReaderSource* VideoFormatReaderSource::create(VideoFormatReader* reader)
    {
        SourceDirectory* directory = SourceDirectory::getCurrent();
        auto* extension = directory != nullptr
                              ? dynamic_cast<VideoFormatReaderSourceExtension*>(
                                    directory->getInternalSourceExtension(VideoFormatReaderSourceExtension::UNIQUE_ID))
                              : nullptr;
        if (extension == nullptr || reader == nullptr)
            return nullptr;
        return extension->createSourceForReader(reader);
    }

    void VideoFormatReaderSource::readerChanged()
    {
        ScopedReadLock hold(section);
        VideoFormatReader* reader = section.reader;
        if (reader == nullptr)
            return;
        // A source that refused its stored size keeps showing nothing.
        if (! isSizeRefused())
        {
            if (reader->getWidth() != 0 && reader->getHeight() != 0)
                setSize(reader->getWidth(), reader->getHeight());
            else
                setSize(DEFAULT_WIDTH, DEFAULT_HEIGHT);
        }
        setNumFrames(static_cast<int>(reader->getTotalFrames()));
        setFrameRate(reader->getFps());
        if (reader->getLength() != 0.0 && reader->getLength() != getDuration())
            setDuration(reader->getLength());
        setResizable(reader->isResizable());
    }

    VideoFormatReader* VideoFormatReaderSource::getVideoFormatReader()
    {
        enforceReaderAvailability();
        ScopedReadLock hold(section);
        return section.reader;
    }

    bool VideoFormatReaderSource::enforceReaderAvailability()
    {
        {
            ScopedReadLock hold(section);
            if (section.reader != nullptr)
                return true;
            if (! section.loading)
                return false;
        }
        bool runHere = false;
        {
            std::unique_lock<std::recursive_mutex> hold(loadState->lock);
            if (loadState->task != nullptr && ! loadState->running)
                if (TaskManager* manager = TaskManager::getCurrent())
                {
                    // Taken back to run here, not dropped.
                    const bool started = loadState->started;
                    loadState->started = true;
                    runHere = manager->unqueueTask(*loadState->task, false);
                    if (! runHere)
                        loadState->started = started;
                }
            if (! runHere)
                loadState->changed.wait_for(hold, std::chrono::milliseconds(500),
                                            [this] { return loadState->isDone(); });
        }
        if (runHere)
            executeTask();
        ScopedReadLock hold(section);
        return section.reader != nullptr;
    }

    bool VideoFormatReaderSource::isLoading() const
    {
        ScopedReadLock hold(section);
        return section.loading;
    }

    bool VideoFormatReaderSource::listenIfLoading(VideoSourceListener& listener)
    {
        ScopedReadLock hold(section);
        if (section.reader != nullptr || ! section.loading)
            return false;
        addListener(listener, false);
        return true;
    }

    bool VideoFormatReaderSource::listenForAvailability(VideoSourceListener& listener, bool asynchronous)
    {
        ScopedReadLock hold(section);
        addListener(listener, asynchronous);
        if (section.loading)
            return true;
        if (section.reader != nullptr)
            callListeners(&VideoSourceListener::sourceAvailable, *this, CallType::standard);
        else
            tellUnavailable(File(getReaderFile()).exists() ? VideoSourceListener::reasonNoReader
                                                           : VideoSourceListener::reasonFileMissing);
        tellProgress(1.0f);
        return false;
    }

    std::string VideoFormatReaderSource::getReaderFile()
    {
        ScopedReadLock hold(section);
        if (section.reader != nullptr)
            return section.reader->getFile().getFullPath();
        const XmlAttribute* name = section.node != nullptr ? section.node->first_attribute("fileName") : nullptr;
        if (name == nullptr)
        {
            logPrint(logWarning, "%s: 'fileName' attribute could not be read, cannot know filename.",
                     "getReaderFile");
            return "";
        }
        return std::string(name->value(), name->value_size());
    }

    void VideoFormatReaderSource::tellProgress(float progress)
    {
        callListeners(&VideoSourceListener::loadingProgress, *this, progress, CallType::standard);
    }

    void VideoFormatReaderSource::tellUnavailable(VideoSourceListener::Reason reason)
    {
        callListeners(&VideoSourceListener::sourceUnavailable, *this, reason, CallType::standard);
    }

    void VideoFormatReaderSource::executeTask()
    {
        tellProgress(0.2f);
        std::string fileName;
        bool sequence = false;
        bool named = false;
        {
            ScopedReadLock hold(section);
            if (section.node != nullptr)
                if (const XmlAttribute* name = section.node->first_attribute("fileName"))
                {
                    fileName.assign(name->value(), name->value_size());
                    named = true;
                }
            if (section.node != nullptr && ! readAttribute(section.node->first_attribute("isSequence"), &sequence))
                sequence = false;
        }
        if (! named)
        {
            logPrint(logWarning, "%s: 'fileName' attribute could not be read, cannot create reader.", "executeTask");
            {
                ScopedWriteLock hold(section);
                section.loading = false;
                section.hasReader = false;
            }
            tellUnavailable(VideoSourceListener::reasonNoFileName);
            return;
        }

        tellProgress(0.3f);
        const File file(fileName);
        VideoFormatReader* reader = nullptr;
        if (VideoFormatManager* formats = currentFormatManager())
            reader = sequence ? formats->createReaderForImageSequence(file.getParentDirectory())
                              : formats->createReaderFor(file, false, VideoFormatReader::purposePlayback);

        tellProgress(0.6f);
        if (reader != nullptr)
        {
            // The stored element is written once, at construction.
            const XmlNode* stored = section.node;
            XmlCapable::findAndRead(stored, *reader->getSettings());
            tellProgress(0.7f);
            XmlCapable::findAndRead(stored, *reader->getParams());
            tellProgress(0.8f);
            applyStoredOutputSize(*reader, *stored);
        }

        tellProgress(0.9f);
        ScopedWriteLock hold(section);
        section.loading = false;
        section.reader = reader;
        section.hasReader = reader != nullptr;
        debugPrint("Delayed load for file '" + fileName + "' finished.");
        if (reader == nullptr)
            tellUnavailable(file.exists() ? VideoSourceListener::reasonNoReader
                                          : VideoSourceListener::reasonFileMissing);
        else
        {
            readerChanged();
            callListeners(&VideoSourceListener::sourceAvailable, *this, CallType::standard);
        }
        tellProgress(1.0f);
    }

    void VideoFormatReaderSource::loadDropped()
    {
        const std::string fileName = getReaderFile();
        ScopedWriteLock hold(section);
        if (! section.loading)
            return;
        section.loading = false;
        section.hasReader = false;
        logPrint(logWarning, "VideoFormatReaderSource: the load of '%s' was dropped before it ran.", fileName.c_str());
        tellUnavailable(File(fileName).exists() ? VideoSourceListener::reasonNoReader
                                                : VideoSourceListener::reasonFileMissing);
        tellProgress(1.0f);
    }

    std::string VideoFormatReaderSource::getDescription() const
    {
        ScopedReadLock hold(section);
        if (section.reader != nullptr)
            return section.reader->getFile().getFileName();
        return PositionableVideoSource::getDescription();
    }

    double VideoFormatReaderSource::getLengthPerFrame() const
    {
        ScopedReadLock hold(section);
        return section.reader != nullptr ? section.reader->getMsecPerFrame() : 0.0;
    }

    double VideoFormatReaderSource::getReaderWidth() const
    {
        ScopedReadLock hold(section);
        return section.reader != nullptr ? double(section.reader->getWidth()) : 0.0;
    }

    double VideoFormatReaderSource::getReaderHeight() const
    {
        ScopedReadLock hold(section);
        return section.reader != nullptr ? double(section.reader->getHeight()) : 0.0;
    }

    bool VideoFormatReaderSource::hasAlpha() const
    {
        ScopedReadLock hold(section);
        return section.reader != nullptr && section.reader->getHasAlpha();
    }

    std::shared_ptr<ParamContainer> VideoFormatReaderSource::getSettings() const
    {
        ScopedReadLock hold(section);
        return section.reader != nullptr ? section.reader->getSettings() : nullptr;
    }

    std::shared_ptr<ParamContainer> VideoFormatReaderSource::getAdditionalParams() const
    {
        ScopedReadLock hold(section);
        return section.reader != nullptr ? section.reader->getParams() : nullptr;
    }

    bool VideoFormatReaderSource::hasCustomThumbnail()
    {
        enforceReaderAvailability();
        ScopedReadLock hold(section);
        return section.reader != nullptr && section.reader->hasCustomThumbnail();
    }

    std::shared_ptr<Pixels> VideoFormatReaderSource::getCustomThumbnail()
    {
        ScopedReadLock hold(section);
        return section.reader != nullptr ? section.reader->getCustomThumbnail() : nullptr;
    }

    void VideoFormatReaderSource::setPlaybackSpeed(double speed)
    {
        ScopedReadLock hold(section);
        if (section.reader != nullptr)
            section.reader->setPlaybackSpeed(static_cast<float>(speed));
    }

    void VideoFormatReaderSource::setPlaybackDirection(ParamPlayDirection direction)
    {
        playDirection.store(direction);
        ScopedReadLock hold(section);
        if (section.reader != nullptr)
            section.reader->setPlaybackDirection(direction);
    }

    bool VideoFormatReaderSource::runsAutonomously()
    {
        ScopedReadLock hold(section);
        return section.reader != nullptr && section.reader->getRunsAutonomously().getValue();
    }

    void VideoFormatReaderSource::setRunsAutonomously(bool runs)
    {
        ScopedReadLock hold(section);
        if (section.reader != nullptr)
            section.reader->getRunsAutonomously().setValue(runs, ValueChangeInfo());
    }

    void VideoFormatReaderSource::resized(int newWidth, int newHeight)
    {
        ScopedReadLock hold(section);
        if (section.reader != nullptr)
            section.reader->setOutputSize(static_cast<unsigned short>(newWidth), static_cast<unsigned short>(newHeight));
    }

    void VideoFormatReaderSource::remakeBuffer(VideoFormatReader& reader)
    {
        textureBuffer.reset();
        const bool yuv = reader.getNeedsConversionFromYUVToRGBA() || reader.getNeedsConversionFromSequentialYUVtoRGBA();
        const Texture::FILTER previous = Texture::defaultFilter;
        if (yuv)
            Texture::defaultFilter = Texture::NEAREST;
        textureBuffer = std::make_unique<VideoTextureBuffer>(1, static_cast<std::uint16_t>(reader.getTextureWidth()),
                                                             static_cast<std::uint16_t>(reader.getTextureHeight()),
                                                             reader.getTextureFormat());
        Texture::defaultFilter = previous;
    }

    bool VideoFormatReaderSource::init()
    {
        if (! enforceReaderAvailability())
            return false;
        bool registerWithDriver = false;
        {
            ScopedReadLock hold(section);
            VideoFormatReader* reader = section.reader;
            if (reader == nullptr)
                return false;
            if (! reader->isResizable())
                storeSize(reader->getWidth(), reader->getHeight());
            if (! reader->needsShader() && textureBuffer == nullptr)
                remakeBuffer(*reader);
            if (! reader->init(getWidth(), getHeight()))
                return false;
            // The reader plays as the timeline says from the start, not from
            // its first change of direction.
            if (const auto& timeline = getTimeline())
            {
                const auto direction = static_cast<ParamPlayDirection>(timeline->getPlayDirectionParam()->getValue());
                playDirection.store(direction);
                reader->setPlaybackDirection(direction);
            }
            PositionableVideoSource::init();
            // A reader released and initialised again starts unheld (its
            // seeks went with its release).
            heldFrame = HeldFrame();
            if (! reader->isBuffering())
            {
                updateVideo();
                registerWithDriver = true;
            }
        }
        if (registerWithDriver)
        {
            dataDriver.addSource(this);
            fedByDriver.store(true);
        }
        return true;
    }

    void VideoFormatReaderSource::updateVideo()
    {
        ScopedReadLock hold(section);
        VideoFormatReader* reader = section.reader;
        if (reader == nullptr)
            return;
        ScopedLockT<CriticalSection> feeding(feedLock);
        // A reader that took up buffering after init (parked then for a
        // scrub or random play) is read by the render alone: the feeding
        // thread, reading a play head the update has moved on since, would
        // send it back.
        if (fedByDriver.load() && reader->isBuffering())
            return;
        readAtPlayHead(*reader);
    }

    void VideoFormatReaderSource::readAtPlayHead(VideoFormatReader& reader)
    {
        if (reader.getLength() != getDuration())
            setDuration(reader.getLength());
        // Whatever this read does, it acts on the play head from here on.
        struct Done
        {
            std::atomic<double>& read;
            double position;
            ~Done() { read.store(position); }
        } done{headRead, playHead.load()};
        if (heldFrame.held && ! mayLeaveHeldFrame(reader))
            return;
        const double position = playHead.load();
        if (reader.read(position))
            newFrame.store(true);
        // Sent to a frame it has to seek to: held there (a read at a later
        // frame would start another seek, and a seek started before the
        // render took the frame landed on hides it).
        if (reader.isAwaitingFrame())
            heldFrame = {true, false, position, 0, position};
    }

    void VideoFormatReaderSource::valueChanged(ParamBase& param, ChangeInfo info)
    {
        if (&param == getPositionParam().get())
            playHead.store(getPosition());
        PositionableVideoSource::valueChanged(param, info);
    }

    bool VideoFormatReaderSource::update(const TimeInfo& info)
    {
        const bool changed = PositionableVideoSource::update(info);
        playHead.store(getPosition());
        return changed;
    }

    bool VideoFormatReaderSource::mayLeaveHeldFrame(VideoFormatReader& reader)
    {
        // The play head went back past the frame held in the direction of
        // play (a cue, a loop), or jumped on (a cue): that frame can never
        // show. The reader is sent to the play head at once, its seek
        // replacing the one under way.
        if (isHeldFrameLeftBehind(reader))
        {
            heldFrame = HeldFrame();
            return true;
        }
        heldFrame.lastHead = playHead.load();
        // A reader that keeps to the play head hears where it is now (it
        // may have turned, jumped or run on); any other is asked again at
        // the frame held: one that reports a landed frame only when read
        // again hands it over here.
        if (! reader.followPlayHead(playHead.load()) && reader.read(heldFrame.position))
            newFrame.store(true);
        if (reader.isAwaitingFrame())
            return false;
        if (! heldFrame.landed)
        {
            heldFrame.landed = true;
            heldFrame.renderedAtLanding = framesRendered.load();
        }
        // One render after the landing tries the frame; should it fail, the
        // reader follows the play head again rather than stay held. A reader
        // that keeps the frame for the render follows it at once: a later
        // frame landing before the render is the one that shows.
        if (newFrame.load() && framesRendered.load() == heldFrame.renderedAtLanding && ! reader.keepsFramesRead())
            return false;
        heldFrame.held = false;
        return true;
    }

    bool VideoFormatReaderSource::isHeldFrameLeftBehind(VideoFormatReader& reader)
    {
        const ParamPlayDirection direction = playDirection.load();
        if (direction == playForward || direction == playBackward)
            return leftInPlay(reader, heldFrame.position, heldFrame.lastHead);
        if (direction == playRandom || direction == playPause)
            return false;
        // The user's hand holds the play head: it left the frame.
        long held = -1, head = -1;
        return reader.frameAtPosition(heldFrame.position, held) && reader.frameAtPosition(playHead.load(), head) &&
               head != held;
    }

    bool VideoFormatReaderSource::leftInPlay(VideoFormatReader& reader, double from, double last)
    {
        // Moved on further than play takes it between two reads.
        constexpr double jumpMs = 500.0;
        const double at = playHead.load();
        long left = -1, head = -1;
        if (! reader.frameAtPosition(from, left) || ! reader.frameAtPosition(at, head))
            return false;
        switch (playDirection.load())
        {
            case playForward:
                return head < left || at - last > jumpMs;
            case playBackward:
                return head > left || last - at > jumpMs;
            default:
                return false;
        }
    }

    bool VideoFormatReaderSource::setupFormatConversion(VideoFormatReader& reader, bool drawsItself)
    {
        bool premultiply = false, yuv = false, sequentialYuv = false, needed = false;
        if (! drawsItself)
        {
            premultiply = reader.getBitDepth() >= 4 && reader.getAlphaType().getValue() != 2;
            yuv = reader.getNeedsConversionFromYUVToRGBA();
            sequentialYuv = reader.getNeedsConversionFromSequentialYUVtoRGBA();
            const Texture* texture = textureBuffer != nullptr ? textureBuffer->getTexture(0) : nullptr;
            const bool rectangle = texture != nullptr && texture->getTarget() != GL_TEXTURE_2D;
            needed = premultiply || yuv || sequentialYuv || reader.getSwizzleMode() != 0 || rectangle;
        }
        if (needed && conversion == nullptr)
        {
            if (RenderPassManager* manager = RenderPassManager::getCurrent())
                conversion = std::dynamic_pointer_cast<FormatConversion>(manager->findSharedPass("FormatConversion"));
        }
        else if (! needed && conversion != nullptr)
        {
            chain->removeRenderPass(conversion);
            conversion.reset();
        }
        if (conversion == nullptr)
            return true;
        if (conversion->didInitFail())
        {
            chain->removeRenderPass(conversion);
            conversion.reset();
            return false;
        }
        conversion->toDefaults();
        conversion->setSize(getWidth(), getHeight());
        conversion->premultiply = premultiply;
        conversion->YUVToRGBA = yuv;
        conversion->sequentialYUVToRGBA = sequentialYuv;
        conversion->setSwizzleMode(static_cast<FormatConversion::SwizzleMode>(reader.getSwizzleMode()));
        return true;
    }

    TextureRef VideoFormatReaderSource::render(Renderer& renderer, const RenderInfo&)
    {
        if (! begin(renderer))
            return {};
        struct EndOnExit
        {
            VideoFormatReaderSource& source;
            Renderer& renderer;
            ~EndOnExit() { source.end(renderer); }
        } ender{*this, renderer};

        ScopedReadLock hold(section);
        VideoFormatReader* reader = section.reader;
        if (reader == nullptr)
            return {};
        const bool drawsItself = reader->needsShader();

        if (reader->isResizable())
        {
            if (! drawsItself &&
                (textureBuffer == nullptr || textureBuffer->getWidth() != reader->getTextureWidth() ||
                 textureBuffer->getHeight() != reader->getTextureHeight() ||
                 textureBuffer->getTextureFormat() != reader->getTextureFormat()))
                remakeBuffer(*reader);
        }
        else if (reader->getWidth() != getWidth() || reader->getHeight() != getHeight())
        {
            setSizeInternal(reader->getWidth(), reader->getHeight());
            if (! drawsItself)
                remakeBuffer(*reader);
        }

        // A reader that buffered at the start and stops (parked for a scrub
        // or random play) is still read here: the feeding thread never took
        // it on.
        if (reader->isBuffering() || ! fedByDriver.load())
        {
            ScopedLockT<CriticalSection> feeding(feedLock);
            readAtPlayHead(*reader);
        }

        framesRendered.fetch_add(1);
        if (! drawsItself)
        {
            // A frame read but not uploaded (no buffer yet, or the reader
            // could not hand it over yet) is tried again next time: the play
            // head may not move again to announce it.
            // A cue or loop the feeding thread has not read yet leaves the
            // frame read last to where the play head was: it waits for the
            // read, which tells the reader (whose bounds then judge it).
            const double read = headRead.load();
            if (textureBuffer != nullptr && ! leftInPlay(*reader, read, read) && newFrame.exchange(false) &&
                ! textureBuffer->readTextureFromVideoReader(*reader, 0))
                newFrame.store(true);
            // Until the reader has delivered a frame the pooled texture holds
            // what its last user left: nothing is drawn.
            Texture* texture = textureBuffer != nullptr ? textureBuffer->getTexture(0) : nullptr;
            if (texture == nullptr || ! texture->isValid() || ! textureBuffer->isFilled(0))
                return {};
            if (! setupFormatConversion(*reader, false))
                return {};
            if (doesReaderMissLastline(*reader))
            {
                if (lastLineTransform == nullptr)
                {
                    lastLineTransform.reset(new TransformEffect(), &GfxObject::deleteUsingManager);
                    lastLineTransform->setStorage(XmlCapable::storageNever);
                }
                lastLineTransform->scaleToFit(reader->getFrameWidth(), reader->getFrameHeight() - 2);
            }
            // Put back at the head should an edit have moved or removed them.
            chain->setHeadPasses({lastLineTransform, conversion});
            texture->ignoreFlip = reader->isFlipped();
            // The whole frame, scaled by the chain to the source's size.
            chain->setInput(0, texture, reader->getFrameWidth(), reader->getFrameHeight());
            chain->render(renderer);
        }
        else
        {
            setupFormatConversion(*reader, true);
            chain->setHeadPasses({lastLineTransform, conversion});
            RenderTargetManager* targets = RenderTargetManager::getCurrent();
            RenderTarget* target = targets != nullptr ? targets->retain(getWidth(), getHeight(), *DEFAULT_COLOR_FMT,
                                                                        true, DEFAULT_DEPTH_FMT)
                                                      : nullptr;
            if (target == nullptr)
                return {};
            if (! target->bind())
            {
                targets->release(target);
                return {};
            }
            gfx::setViewport(0, 0, getWidth(), getHeight());
            gfx::clear(0.0f, 0.0f, 0.0f, 0.0f);
            gfx::setIdentityTransform();
            gfx::setBlendMode(reader->getAlphaType().getValue() == 1 ? gfx::BLEND_ALPHA : gfx::BLEND_PREMULTIPLIED);
            const bool drew = reader->renderInternal(renderer);
            gfx::setBlendMode(gfx::BLEND_OFF);
            RenderTarget::unbind();
            if (! drew)
            {
                targets->release(target);
                return {};
            }
            chain->setInput(0, target->getTexture(0), 0, 0);
            const bool rendered = chain->render(renderer);
            targets->release(target);
            if (! rendered)
                return {};
        }
        return chain->stealOutput();
    }

    void VideoFormatReaderSource::release()
    {
        dataDriver.removeSource(this);
        fedByDriver.store(false);
        textureBuffer.reset();
        if (conversion != nullptr)
        {
            chain->removeRenderPass(conversion);
            conversion.reset();
        }
        PositionableVideoSource::release();
        ScopedWriteLock hold(section);
        if (section.reader != nullptr)
            section.reader->release();
    }

    XmlNode* VideoFormatReaderSource::writeReaderElement(XmlPool& pool, bool force, VideoFormatReader& reader)
    {
        XmlNode* element = XmlCapable::createNode(pool, "VideoFormatReaderSource");
        element->append_attribute(createAttribute(pool, "fileName", reader.getFile().getFullPath()));
        // Made from a folder, it is made from the folder again, whatever it held.
        if (reader.canHandleMultipleFiles() && (reader.getTotalFrames() >= 2 || reader.isFolderSequence()))
            element->append_attribute(createAttribute(pool, "isSequence", true));
        const int mode = static_cast<int>(reader.getLoadingThreadMode());
        if (mode >= 0 && mode < numTaskThreadModes)
            element->append_attribute(createAttribute(pool, "LoadingThread", TTM_STRINGS[mode]));
        if (reader.isResizable() && (reader.getWidth() != 0 || reader.getHeight() != 0))
        {
            element->append_attribute(createAttribute(pool, "width", reader.getWidth()));
            element->append_attribute(createAttribute(pool, "height", reader.getHeight()));
        }
        reader.getSettings()->appendAndWrite(element, pool, force);
        reader.getParams()->appendAndWrite(element, pool, force);
        return element;
    }

    XmlNode* VideoFormatReaderSource::writeStateDerived(XmlPool& pool, bool force)
    {
        enforceReaderAvailability();
        ScopedReadLock hold(section);
        XmlNode* element = PositionableVideoSource::writeStateDerived(pool, force);
        if (section.reader != nullptr)
            element->append_node(writeReaderElement(pool, force, *section.reader));
        else if (section.node != nullptr)
            element->append_node(XmlCapable::cloneNodeWithoutSharingResources(pool, *section.node));
        return element;
    }

    void VideoFormatReaderSource::readStateDerived(const XmlNode& node)
    {
        PositionableVideoSource::readStateDerived(node);
        const XmlNode* child = node.first_node("VideoFormatReaderSource");
        ScopedReadLock hold(section);
        if (child == nullptr || section.reader == nullptr)
            return;
        XmlCapable::findAndRead(child, *section.reader->getSettings());
        XmlCapable::findAndRead(child, *section.reader->getParams());
        applyStoredOutputSize(*section.reader, *child);
    }

    void VideoFormatReaderSource::applyStoredOutputSize(VideoFormatReader& reader, const XmlNode& node)
    {
        int width = 0, height = 0;
        if (! reader.isResizable() || ! readPositiveSize(node, width, height))
            return;
        if (checkSize(width, height))
            reader.setOutputSize(static_cast<unsigned short>(width), static_cast<unsigned short>(height));
        else
            setSizeInternal(width, height);
    }
}
