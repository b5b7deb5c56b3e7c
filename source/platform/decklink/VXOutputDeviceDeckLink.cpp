#include "engine/devices/VXOutputDeviceDeckLink.h"

// The output card's calls into the driver and its completion callback; the
// engine type is declared in engine/devices.

#include <epoxy/gl.h>

#include <atomic>
#include <cstring>
#include <deque>
#include <optional>

#include "core/VXColor.h"
#include "core/VXCriticalSection.h"
#include "core/VXLog.h"
#include "core/VXScopedLock.h"
#include "core/parameters/VXParamChoice.h"
#include "core/parameters/VXParamContainer.h"
#include "core/parameters/VXParamRange.h"
#include "core/parameters/VXParamView.h"
#include "engine/devices/VXDeckLinkDevice.h"
#include "engine/devices/VXDecklinkOutputThread.h"
#include "engine/gfx/VXGfxObjectManager.h"
#include "engine/gfx/VXGfxUtils.h"
#include "engine/gfx/VXPixelReadback.h"
#include "engine/gfx/VXRenderContext.h"
#include "engine/gfx/VXRenderTarget.h"
#include "engine/gfx/VXRenderTargetManager.h"
#include "engine/gfx/VXScopedRenderState.h"
#include "engine/gfx/VXShaderProgram.h"
#include "engine/gfx/VXTexture.h"
#include "platform/decklink/VXDeckLinkAPI.h"
#include "platform/decklink/VXDeckLinkCallback.h"

namespace vx
{
    const char* const OutputDeviceDeckLink::vsRGBAToYUV =
        "varying vec2 uv0; void main() { uv0 = gl_MultiTexCoord0.xy; gl_Position = gl_Vertex; }";
    const char* const OutputDeviceDeckLink::psRGBAToYUV =
        "uniform sampler2D rgbaTexture; uniform float xstep; uniform float lastU; "
        "const vec3 u_const = vec3(-0.148, -0.291, +0.439); const vec3 y_const = vec3( 0.257, 0.504, 0.098); "
        "const vec3 v_const = vec3( 0.439, -0.368, -0.071); varying vec2 uv0; void main() { "
        "vec3 rgb1 = texture2D(rgbaTexture, uv0).rgb; "
        "vec3 rgb2 = texture2D(rgbaTexture, vec2(min(uv0.x + xstep, lastU), uv0.y)).rgb; "
        "vec3 rgb12 = (rgb1 + rgb2) * vec3(0.5); vec4 uy0vy1; "
        "uy0vy1.r = dot (rgb12, u_const) + 128.0/256.0; uy0vy1.g = dot (rgb1, y_const) + 16.0/256.0; "
        "uy0vy1.b = dot (rgb12, v_const) + 128.0/256.0; uy0vy1.a = dot (rgb2, y_const) + 16.0/256.0; "
        "gl_FragColor = uy0vy1; }";

    namespace
    {
        constexpr ParamView::ControlType choiceControl = static_cast<ParamView::ControlType>(2);

        // GPU objects go to the manager's queue when there is one (release may
        // run off the render thread), else they are released here.
        void handOver(GfxObject* object)
        {
            if (object == nullptr)
                return;
            if (GfxObjectManager* manager = GfxObjectManager::getCurrent())
                manager->addForDeletion(object);
            else
            {
                object->release();
                delete object;
            }
        }
    }

    namespace
    {
        // The card's completion callback for one opening of the output.
        // Counted: the output holds one reference while open, the driver one
        // while it is set and one on each call, so a completion the driver
        // delivers after the output closed, or went, lands here and marks a
        // flag nobody reads any more. It touches nothing of the output, so
        // nothing has to wait for a call still in it.
        class Completion : public DeckLinkCallback<IDeckLinkVideoOutputCallback>
        {
        public:
            HRESULT ScheduledFrameCompleted(IDeckLinkVideoFrame*, BMDOutputFrameCompletionResult) override
            {
                frameCompleted = true;
                return S_OK;
            }
            HRESULT ScheduledPlaybackHasStopped() override { return S_OK; }

            // Set by the card's thread, read and cleared under the output's lock.
            std::atomic<bool> frameCompleted{false};

        private:
            ~Completion() override = default;
        };
    }

    class OutputDeviceDeckLink::Pimpl
    {
    public:
        explicit Pimpl(const std::string& deviceName)
            : params(std::make_shared<ParamContainer>("Params")),
              connections(std::make_shared<ParamChoice<int>>("Connections")),
              modes(std::make_shared<ParamChoice<int>>("Modes")),
              card(deviceName)
        {
            params->addParam(connections);
            params->addParam(modes);
            overscan = params->addParamRange("Overscan Compensation", 0.0, ValueRange<double>(0.0, 25.0, "range"));
            params->setViewForParam(connections, ParamView(choiceControl), false);
            params->setViewForParam(modes, ParamView(choiceControl), false);
            ParamView overscanView(static_cast<ParamView::ControlType>(3), ParamView::unitsPercent,
                                   ParamView::subTypeDefault, 0);
            overscanView.setIncrement(1.0);
            params->setViewForParam(overscan, overscanView, false);
        }

        // Whether the card completed a frame since the last picture.
        bool isFrameCompleted() const { return completion != nullptr && completion->frameCompleted; }

        // Lets go of the opening's callback; the driver may hold it longer.
        void dropCompletion()
        {
            if (completion != nullptr)
                completion->Release();
            completion = nullptr;
        }

        void createFrame()
        {
            IDeckLinkOutput* output = card.getOutputHandle();
            IDeckLinkMutableVideoFrame* frame = nullptr;
            if (output != nullptr &&
                output->CreateVideoFrame(width, height, 2 * width, bmdFormat8BitYUV, bmdFrameFlagDefault, &frame) ==
                    S_OK &&
                frame != nullptr)
                freeFrames.push_back(frame);
        }

        bool schedule(IDeckLinkVideoFrame* frame)
        {
            IDeckLinkOutput* output = card.getOutputHandle();
            if (output == nullptr ||
                output->ScheduleVideoFrame(frame, BMDTimeValue(frameCounter) * frameDuration, frameDuration,
                                           timeScale) != S_OK)
                return false;
            ++frameCounter;
            return true;
        }

        void uploadFrame()
        {
            if (freeFrames.empty())
            {
                logPrint(logWarning, "%s: Framequeue is empty, creating new frame.", "uploadFrame");
                createFrame();
                if (freeFrames.empty())
                    return;
            }
            IDeckLinkMutableVideoFrame* frame = freeFrames.front();
            freeFrames.pop_front();
            void* bytes = nullptr;
            if (frame->GetBytes(&bytes) != S_OK || bytes == nullptr)
            {
                freeFrames.push_back(frame);
                return;
            }
            const uint16_t readWidth = uint16_t(width / 2);
            if (readback == nullptr)
                readback = new PixelReadback(readWidth, height, GL_RGBA, GL_UNSIGNED_BYTE);
            else
                readback->startPixelRead();
            if (const unsigned char* pixels = readback->beginPixelProcessing())
            {
                // Row by row: the frame's rows are 2 x width bytes, the read's
                // 4 x (width / 2).
                const size_t readRow = size_t(readWidth) * 4;
                const size_t frameRow = size_t(frame->GetRowBytes());
                for (size_t y = 0; y < height; ++y)
                    std::memcpy(static_cast<unsigned char*>(bytes) + y * frameRow, pixels + y * readRow,
                                std::min(readRow, frameRow));
                readback->endPixelProcessing();
            }
            freeFrames.push_back(frame);
            schedule(frame);
        }

        // The pool the render target came from while it still holds it,
        // else null: the engine's GL release lets go of every pooled target
        // (and a new root has a pool of its own).
        RenderTargetManager* livePool() const
        {
            RenderTargetManager* pool = RenderTargetManager::getCurrent();
            if (renderTarget == nullptr || pool == nullptr || pool->getGeneration() != targetGeneration)
                return nullptr;
            return pool;
        }

        // Forgets a target whose pool let go of it, never following the
        // pointer, with the GPU objects made in that GL life; the next begin
        // starts afresh.
        void forgetDeadTarget()
        {
            if (renderTarget == nullptr || livePool() != nullptr)
                return;
            renderTarget = nullptr;
            handOver(shader);
            shader = nullptr;
            handOver(readback);
            readback = nullptr;
        }

        std::shared_ptr<ParamContainer> params;
        std::shared_ptr<ParamChoice<int>> connections;
        std::shared_ptr<ParamChoice<int>> modes;
        std::shared_ptr<ParamRange> overscan;
        CriticalSection lock;
        DeckLinkDevice card;
        uint32_t connectionValue = bmdVideoConnectionHDMI;
        uint32_t displayModeCode = bmdModeHD1080p30;
        uint16_t width = 0;
        uint16_t height = 0;
        float framesPerSecond = 0.0f;
        int64_t frameDuration = 0;
        int64_t timeScale = 0;
        std::deque<IDeckLinkMutableVideoFrame*> freeFrames;
        Completion* completion = nullptr; // the open card's callback (one reference)
        int frameCounter = 0;
        RenderTarget* renderTarget = nullptr;
        uint64_t targetGeneration = 0; // the pool's generation when retained
        ShaderProgram* shader = nullptr;
        DecklinkOutputThread* outputThread = nullptr;
        PixelReadback* readback = nullptr;
    };

    bool OutputDeviceDeckLink::enumerateDevices(std::vector<CaptureOutputDeviceInfo>& infos)
    {
        std::vector<DDInfo> devices;
        if (! decklink_getAvailableDevices(devices))
            return false;
        for (const DDInfo& device : devices)
        {
            if (! device.hasOutput)
                continue;
            CaptureOutputDeviceInfo info;
            if (! DeckLinkDevice::getKnownDeviceInfo(device.name, info))
            {
                DeckLinkDevice probe(device.name);
                probe.initialize();
                probe.release();
                if (! DeckLinkDevice::getKnownDeviceInfo(device.name, info))
                {
                    logPrint(logError, "%s: Failed getting decklink device info after successfull initialization.",
                             "enumerateDevices");
                    continue;
                }
            }
            infos.push_back(info);
        }
        return true;
    }

    int OutputDeviceDeckLink::getDeviceState(const std::string& deviceName)
    {
        return DeckLinkDevice::getDeviceState(deviceName);
    }

    OutputDeviceDeckLink::OutputDeviceDeckLink(const std::string& deviceName)
        : pimpl(std::make_unique<Pimpl>(deviceName))
    {
        pimpl->connections->addListener(*this, false);
        pimpl->modes->addListener(*this, false);
    }

    OutputDeviceDeckLink::~OutputDeviceDeckLink()
    {
        pimpl->connections->removeListener(*this);
        pimpl->modes->removeListener(*this);
        release();
    }

    bool OutputDeviceDeckLink::initialize()
    {
        Pimpl& p = *pimpl;
        ScopedLock hold(p.lock);
        DeckLinkDevice& card = p.card;
        if (! card.initialize())
        {
            release();
            return false;
        }

        p.connections->clearChoices();
        for (size_t i = 0; i < card.getOutputConnections().size(); ++i)
            p.connections->addChoice(card.getOutputConnections()[i].name, int(i), true, true);
        if (! card.setOutputConnection(p.connectionValue))
        {
            release();
            return false;
        }
        p.connectionValue = card.getCurrentConnection()->connection;
        p.connections->setValueByName(card.getCurrentConnection()->name, ValueChangeInfo());

        p.modes->clearChoices();
        for (size_t i = 0; i < card.getOutputModes().size(); ++i)
            p.modes->addChoice(card.getOutputModes()[i]->name, int(i), true, true);
        if (! card.setOutputMode(p.displayModeCode))
        {
            release();
            return false;
        }
        IDeckLinkDisplayMode* mode = card.getCurrentMode()->mode;
        p.displayModeCode = mode->GetDisplayMode();
        p.modes->setValueByName(card.getCurrentMode()->name, ValueChangeInfo());

        BMDTimeValue duration = 0;
        BMDTimeScale scale = 0;
        mode->GetFrameRate(&duration, &scale);
        p.frameDuration = duration;
        p.timeScale = scale;
        p.framesPerSecond = duration != 0 ? float(scale) / float(duration) : 0.0f;
        p.frameCounter = 0;

        IDeckLinkOutput* output = card.getOutputHandle();
        p.dropCompletion();
        p.completion = new Completion();
        output->SetScheduledFrameCompletionCallback(p.completion);

        const long modeWidth = mode->GetWidth();
        const long modeHeight = mode->GetHeight();
        if (modeWidth < 1 || modeWidth > 65535 || modeHeight < 1 || modeHeight > 65535)
        {
            logPrint(logError, "%s: Display mode '%s' has an unusable size %ld x %ld.", "initialize",
                     card.getCurrentMode()->name.c_str(), modeWidth, modeHeight);
            release();
            return false;
        }
        p.width = uint16_t(modeWidth);
        p.height = uint16_t(modeHeight);

        p.createFrame();
        p.createFrame();
        if (p.freeFrames.empty())
        {
            logPrint(logError, "%s: No video frame could be made for '%s'.", "initialize", card.getName().c_str());
            release();
            return false;
        }
        if (! card.enableVideoOutput())
        {
            release();
            return false;
        }

        IDeckLinkMutableVideoFrame* preroll = p.freeFrames.front();
        for (int k = 0; k < 60; ++k)
            if (! p.schedule(preroll))
                break;
        output->StartScheduledPlayback(0, p.timeScale, 1.0);
        p.completion->frameCompleted = false;
        return true;
    }

    void OutputDeviceDeckLink::release()
    {
        Pimpl& p = *pimpl;
        ScopedLock hold(p.lock);
        handOver(p.shader);
        p.shader = nullptr;
        // Back to the pool on the render thread (release may run off it); a
        // pool that lets go of its targets first cancels the return. A
        // target the pool let go of already is only forgotten.
        if (RenderTargetManager* pool = p.livePool())
            pool->releaseDeferred(p.renderTarget);
        p.renderTarget = nullptr;
        // The card drops what it still holds of these when its output stops.
        if (IDeckLinkOutput* output = p.card.getOutputHandle())
            output->SetScheduledFrameCompletionCallback(nullptr);
        p.card.release();
        p.dropCompletion();
        for (IDeckLinkMutableVideoFrame* frame : p.freeFrames)
            frame->Release();
        p.freeFrames.clear();
        handOver(p.readback);
        p.readback = nullptr;
    }

    bool OutputDeviceDeckLink::begin()
    {
        Pimpl& p = *pimpl;
        ScopedLock hold(p.lock);
        if (! p.card.isInitialized())
            return false;
        p.forgetDeadTarget();
        if (p.renderTarget == nullptr)
        {
            RenderTargetManager* pool = RenderTargetManager::getCurrent();
            p.renderTarget =
                pool != nullptr ? pool->retainPingPong(p.width, p.height, *DEFAULT_COLOR_FMT, true, DEFAULT_DEPTH_FMT)
                                : nullptr;
            p.targetGeneration = pool != nullptr ? pool->getGeneration() : 0;
            if (p.renderTarget == nullptr)
            {
                logPrint(logError, "%s: No %u x %u render target for '%s'.", "begin", unsigned(p.width),
                         unsigned(p.height), p.card.getName().c_str());
                release();
                return false;
            }
            p.shader = new ShaderProgram();
            if (! p.shader->loadString(vsRGBAToYUV, psRGBAToYUV))
            {
                logPrint(logError, "%s: The conversion program of '%s' did not load.", "begin",
                         p.card.getName().c_str());
                release();
                return false;
            }
        }
        if (! p.isFrameCompleted())
            return false;
        return p.renderTarget->bind();
    }

    void OutputDeviceDeckLink::end()
    {
        Pimpl& p = *pimpl;
        ScopedLock hold(p.lock);
        p.forgetDeadTarget();
        if (p.renderTarget == nullptr || p.shader == nullptr)
            return;
        Texture* picture = p.renderTarget->getTexture(0);
        RenderTarget::unbind();
        p.renderTarget->flip();
        if (picture == nullptr || ! p.renderTarget->bind())
            return;
        {
            std::optional<ScopedRenderState> keep;
            if (RenderContext* cache = RenderContext::getCurrent())
                keep.emplace(*cache);
            gfx::setViewport(0, 0, p.width / 2, p.height);
            // Outside the picture the frame is YUV black (U 128, Y 16, V 128,
            // Y 16); plain zero bytes would show green.
            const float f = float(2.0 * (p.overscan->getValue() / 100.0));
            if (f != 0.0f)
                gfx::clear(128.0f / 256.0f, 16.0f / 256.0f, 128.0f / 256.0f, 16.0f / 256.0f, true, 1.0f);
            else
                gfx::clear(0.0f, 0.0f, 0.0f, 0.0f, true, 1.0f);
            gfx::setBlendMode(gfx::BLEND_OFF);
            if (p.shader->bind())
            {
                p.shader->setSampler("rgbaTexture", 0);
                const float hardwareWidth = float(std::max(1, picture->getHardwareWidth()));
                p.shader->setFloat("xstep", 1.0f / hardwareWidth);
                // The second pixel of the last pair is the picture's last,
                // never the texel past it (the pooled texture is wider).
                p.shader->setFloat("lastU", (float(picture->getWidth()) - 0.5f) / hardwareWidth);
                gfx::color(Color::white);
                drawTexture(*picture, f - 1.0f, f - 1.0f, 2.0f - 2.0f * f, 2.0f - 2.0f * f, false);
                p.shader->unbind();
            }
        }
        p.uploadFrame();
        RenderTarget::unbind();
        if (p.completion != nullptr)
            p.completion->frameCompleted = false;
    }

    std::shared_ptr<ParamContainer> OutputDeviceDeckLink::getParams() const
    {
        return pimpl->params;
    }

    uint16_t OutputDeviceDeckLink::getWidth() const
    {
        return pimpl->width;
    }

    uint16_t OutputDeviceDeckLink::getHeight() const
    {
        return pimpl->height;
    }

    DeckLinkDevice& OutputDeviceDeckLink::getCard()
    {
        return pimpl->card;
    }

    int OutputDeviceDeckLink::getNumFreeFrames() const
    {
        ScopedLock hold(pimpl->lock);
        return int(pimpl->freeFrames.size());
    }

    void OutputDeviceDeckLink::gatherCompletedFrames()
    {
        Pimpl& p = *pimpl;
        ScopedLock hold(p.lock);
        if (p.outputThread == nullptr)
            return;
        for (IDeckLinkVideoFrame* frame : p.outputThread->gatherCompletedFrames(false))
            p.freeFrames.push_back(static_cast<IDeckLinkMutableVideoFrame*>(frame));
    }

    void OutputDeviceDeckLink::valueChanged(ParamBase& param, ChangeInfo)
    {
        Pimpl& p = *pimpl;
        if (&param == p.connections.get())
        {
            const auto& connections = p.card.getOutputConnections();
            const int index = p.connections->getValue();
            if (index < 0 || size_t(index) >= connections.size() ||
                connections[size_t(index)].connection == p.connectionValue)
                return;
            {
                ScopedLock hold(p.lock);
                p.connectionValue = connections[size_t(index)].connection;
                release();
                initialize();
            }
            callListeners(&OutputDeviceDeckLinkListener::outputConnectionChanged, CallType::standard);
        }
        else if (&param == p.modes.get())
        {
            const auto& modes = p.card.getOutputModes();
            const int index = p.modes->getValue();
            if (index < 0 || size_t(index) >= modes.size() ||
                modes[size_t(index)]->mode->GetDisplayMode() == p.displayModeCode)
                return;
            {
                ScopedLock hold(p.lock);
                p.displayModeCode = modes[size_t(index)]->mode->GetDisplayMode();
                release();
                initialize();
            }
            callListeners(&OutputDeviceDeckLinkListener::outputModeChanged, CallType::standard);
        }
    }
}
