// A simulated card driver: the entry points of VXDeckLinkAPI.h over scripted
// cards, with a call log, injected failures and a driver thread that delivers
// the callbacks. One lock guards the driver's state; callbacks into the
// engine run without it, as a real driver's threads would, and may still run
// after the call that cleared them returned. The driver holds a reference on
// every callback it is given and on each one while it calls it. StopStreams
// and DisableVideoInput return only once the driver's thread finished the
// callback it was in, as a real driver's do.

#include "engine/devices/simdriver/VXDeckLinkSimControl.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

#define VX_SIM_EXPORT extern "C" __attribute__((visibility("default")))

namespace vx
{
    namespace
    {
        std::string code(uint32_t value)
        {
            char text[5] = {char(value >> 24), char(value >> 16), char(value >> 8), char(value), 0};
            for (int i = 0; i < 4; ++i)
                if (text[i] < 0x20 || text[i] > 0x7e)
                    return std::to_string(value);
            return text;
        }

        const char* pointer(const void* p)
        {
            return p != nullptr ? "set" : "null";
        }

        class Simulator;
        Simulator& simulator();

        // Counts references into a shared counter (the card's), never
        // deleting: cards and their interfaces live with the simulator.
        template <typename Interface>
        class CountedObject : public Interface
        {
        public:
            explicit CountedObject(std::atomic<int>& counter) : references(counter) {}
            ULONG AddRef() override { return ULONG(++references); }
            ULONG Release() override { return ULONG(--references); }

        protected:
            std::atomic<int>& references;
        };

        // Made with new holding one reference; the last release deletes it.
        // Answers no further interface unless Self says otherwise.
        template <typename Self, typename Interface>
        class OwnedObject : public Interface
        {
        public:
            HRESULT QueryInterface(REFIID, void** object) override
            {
                *object = nullptr;
                return E_NOINTERFACE;
            }
            ULONG AddRef() override { return ULONG(++references); }
            ULONG Release() override
            {
                const int left = --references;
                if (left == 0)
                    delete static_cast<Self*>(this);
                return ULONG(left);
            }

        private:
            std::atomic<int> references{1};
        };

        class Frame : public OwnedObject<Frame, IDeckLinkMutableVideoFrame>
        {
        public:
            Frame(long w, long h, long rowBytes, BMDPixelFormat format);
            ~Frame() override;
            long GetWidth() override { return width; }
            long GetHeight() override { return height; }
            long GetRowBytes() override { return rowBytes; }
            BMDPixelFormat GetPixelFormat() override { return format; }
            BMDFrameFlags GetFlags() override { return bmdFrameFlagDefault; }
            HRESULT GetBytes(void** buffer) override;

            std::vector<uint8_t> bytes;

        private:
            long width;
            long height;
            long rowBytes;
            BMDPixelFormat format;
        };

        struct Card;

        class Mode : public CountedObject<IDeckLinkDisplayMode>
        {
        public:
            Mode(std::atomic<int>& counter, const DeckLinkSimMode& modeToUse)
                : CountedObject(counter), mode(modeToUse)
            {
            }
            HRESULT QueryInterface(REFIID, void** object) override
            {
                *object = nullptr;
                return E_NOINTERFACE;
            }
            HRESULT GetName(const char** name) override;
            BMDDisplayMode GetDisplayMode() override { return mode.code; }
            long GetWidth() override { return mode.width; }
            long GetHeight() override { return mode.height; }
            HRESULT GetFrameRate(BMDTimeValue* frameDuration, BMDTimeScale* timeScale) override
            {
                *frameDuration = mode.frameDuration;
                *timeScale = mode.timeScale;
                return S_OK;
            }
            DeckLinkSimMode mode;
        };

        class ModeIterator : public OwnedObject<ModeIterator, IDeckLinkDisplayModeIterator>
        {
        public:
            explicit ModeIterator(std::vector<Mode*> modesToWalk) : modes(std::move(modesToWalk)) {}
            HRESULT Next(IDeckLinkDisplayMode** mode) override
            {
                if (next >= modes.size())
                {
                    *mode = nullptr;
                    return S_FALSE;
                }
                *mode = modes[next++];
                (*mode)->AddRef();
                return S_OK;
            }

        private:
            std::vector<Mode*> modes;
            size_t next = 0;
        };

        class Input : public CountedObject<IDeckLinkInput>
        {
        public:
            Input(std::atomic<int>& counter, Card& owner) : CountedObject(counter), card(owner) {}
            HRESULT QueryInterface(REFIID, void** object) override
            {
                *object = nullptr;
                return E_NOINTERFACE;
            }
            HRESULT GetDisplayModeIterator(IDeckLinkDisplayModeIterator** iterator) override;
            HRESULT SetScreenPreviewCallback(IDeckLinkScreenPreviewCallback* previewCallback) override;
            HRESULT EnableVideoInput(BMDDisplayMode displayMode, BMDPixelFormat pixelFormat,
                                     BMDVideoInputFlags flags) override;
            HRESULT DisableVideoInput() override;
            HRESULT StartStreams() override;
            HRESULT StopStreams() override;
            HRESULT PauseStreams() override;
            HRESULT FlushStreams() override;
            HRESULT SetCallback(IDeckLinkInputCallback* callback) override;

        private:
            Card& card;
        };

        class Output : public CountedObject<IDeckLinkOutput>
        {
        public:
            Output(std::atomic<int>& counter, Card& owner) : CountedObject(counter), card(owner) {}
            HRESULT QueryInterface(REFIID, void** object) override
            {
                *object = nullptr;
                return E_NOINTERFACE;
            }
            HRESULT GetDisplayModeIterator(IDeckLinkDisplayModeIterator** iterator) override;
            HRESULT EnableVideoOutput(BMDDisplayMode displayMode, BMDVideoOutputFlags flags) override;
            HRESULT DisableVideoOutput() override;
            HRESULT CreateVideoFrame(int32_t width, int32_t height, int32_t rowBytes, BMDPixelFormat pixelFormat,
                                     BMDFrameFlags flags, IDeckLinkMutableVideoFrame** frame) override;
            HRESULT DisplayVideoFrameSync(IDeckLinkVideoFrame* frame) override;
            HRESULT ScheduleVideoFrame(IDeckLinkVideoFrame* frame, BMDTimeValue displayTime,
                                       BMDTimeValue displayDuration, BMDTimeScale timeScale) override;
            HRESULT SetScheduledFrameCompletionCallback(IDeckLinkVideoOutputCallback* callback) override;
            HRESULT StartScheduledPlayback(BMDTimeValue playbackStartTime, BMDTimeScale timeScale,
                                           double playbackSpeed) override;

        private:
            Card& card;
        };

        class Attributes : public CountedObject<IDeckLinkAttributes>
        {
        public:
            Attributes(std::atomic<int>& counter, Card& owner) : CountedObject(counter), card(owner) {}
            HRESULT QueryInterface(REFIID, void** object) override
            {
                *object = nullptr;
                return E_NOINTERFACE;
            }
            HRESULT GetFlag(BMDDeckLinkAttributeID id, bool* value) override;
            HRESULT GetInt(BMDDeckLinkAttributeID id, int64_t* value) override;

        private:
            Card& card;
        };

        class Configuration : public CountedObject<IDeckLinkConfiguration>
        {
        public:
            Configuration(std::atomic<int>& counter, Card& owner) : CountedObject(counter), card(owner) {}
            HRESULT QueryInterface(REFIID, void** object) override
            {
                *object = nullptr;
                return E_NOINTERFACE;
            }
            HRESULT SetInt(BMDDeckLinkConfigurationID id, int64_t value) override;

        private:
            Card& card;
        };

        class CardObject : public CountedObject<IDeckLink>
        {
        public:
            CardObject(std::atomic<int>& counter, Card& owner) : CountedObject(counter), card(owner) {}
            HRESULT QueryInterface(REFIID iid, void** object) override;
            HRESULT GetModelName(const char** modelName) override;

        private:
            Card& card;
        };

        struct Card
        {
            explicit Card(const DeckLinkSimCard& description)
                : setup(description), object(references, *this), input(references, *this),
                  output(references, *this), attributes(references, *this), configuration(references, *this)
            {
                for (const DeckLinkSimMode& mode : setup.modes)
                    modes.push_back(std::make_unique<Mode>(references, mode));
            }

            std::vector<Mode*> modePointers() const
            {
                std::vector<Mode*> result;
                for (const auto& mode : modes)
                    result.push_back(mode.get());
                return result;
            }

            DeckLinkSimCard setup;
            std::atomic<int> references{0};
            CardObject object;
            Input input;
            Output output;
            Attributes attributes;
            Configuration configuration;
            std::vector<std::unique_ptr<Mode>> modes;
            // Guarded by the simulator's lock.
            IDeckLinkInputCallback* inputCallback = nullptr;
            IDeckLinkScreenPreviewCallback* previewCallback = nullptr;
            IDeckLinkVideoOutputCallback* outputCallback = nullptr;
            std::deque<IDeckLinkVideoFrame*> scheduled;
            Frame* prepared = nullptr;
            std::vector<std::vector<uint8_t>> scheduledBytes;
            int syncDisplayed = 0;
        };

        class Iterator : public OwnedObject<Iterator, IDeckLinkIterator>
        {
        public:
            explicit Iterator(std::vector<Card*> cardsToWalk) : cards(std::move(cardsToWalk)) {}
            HRESULT QueryInterface(REFIID iid, void** object) override;
            HRESULT Next(IDeckLink** deckLinkInstance) override
            {
                if (next >= cards.size())
                {
                    *deckLinkInstance = nullptr;
                    return S_FALSE;
                }
                *deckLinkInstance = &cards[next++]->object;
                (*deckLinkInstance)->AddRef();
                return S_OK;
            }

        private:
            std::vector<Card*> cards;
            size_t next = 0;
        };

        class APIInformation : public OwnedObject<APIInformation, IDeckLinkAPIInformation>
        {
        public:
            HRESULT GetInt(BMDDeckLinkAPIInformationID id, int64_t* value) override
            {
                if (id != BMDDeckLinkAPIVersion)
                    return E_INVALIDARG;
                *value = 0x0a0b0c00;
                return S_OK;
            }
        };

        std::atomic<int> liveFrames{0};

        class Simulator : public DeckLinkSimControl
        {
        public:
            Simulator() : driverThread([this] { runDriverThread(); }) {}

            ~Simulator() override
            {
                {
                    std::lock_guard<std::mutex> hold(jobLock);
                    stopping = true;
                }
                jobWake.notify_all();
                driverThread.join();
            }

            // Logs the call and answers whether it is to fail. The entry is
            // made only when something reads it.
            template <typename MakeEntry>
            bool call(MakeEntry makeEntry)
            {
                bool held = false;
                bool fails = false;
                {
                    std::lock_guard<std::mutex> hold(lock);
                    if (! logging && failures.empty() && heldPrefix.empty())
                        return false;
                    const std::string entry = makeEntry();
                    if (logging)
                        log.push_back(entry);
                    if (! heldPrefix.empty() && entry.compare(0, heldPrefix.size(), heldPrefix) == 0)
                    {
                        heldPrefix.clear();
                        held = true;
                    }
                    for (Failure& failure : failures)
                    {
                        if (entry.compare(0, failure.prefix.size(), failure.prefix) != 0)
                            continue;
                        if (failure.remaining > 0)
                            --failure.remaining;
                        else
                            fails = true;
                        break;
                    }
                }
                if (held)
                    waitAtGate(heldDriverCall);
                return fails;
            }

            std::vector<Card*> cardList()
            {
                std::lock_guard<std::mutex> hold(lock);
                std::vector<Card*> result;
                for (const auto& card : cards)
                    result.push_back(card.get());
                return result;
            }

            template <typename F>
            auto withLock(F function)
            {
                std::lock_guard<std::mutex> hold(lock);
                return function();
            }

            // The card's callback in slot for one call, with a reference
            // held until done() (a driver keeps what it calls alive). While
            // calls are held, a taken callback waits here before it is
            // called.
            template <typename Callback>
            Callback* takeCallback(Card& card, Callback* Card::*slot)
            {
                Callback* callback = withLock([&] {
                    Callback* taken = card.*slot;
                    if (taken != nullptr)
                        taken->AddRef();
                    return taken;
                });
                if (callback != nullptr)
                    waitAtGate(holding);
                return callback;
            }

            void holdCalls() override
            {
                std::lock_guard<std::mutex> hold(gateLock);
                holding = true;
            }

            void releaseCalls() override
            {
                {
                    std::lock_guard<std::mutex> hold(lock);
                    heldPrefix.clear();
                }
                {
                    std::lock_guard<std::mutex> hold(gateLock);
                    holding = false;
                    heldDriverCall = false;
                }
                gateChanged.notify_all();
            }

            void holdDriverCall(const std::string& prefix) override
            {
                std::lock_guard<std::mutex> hold(lock);
                heldPrefix = prefix;
                std::lock_guard<std::mutex> gateHold(gateLock);
                heldDriverCall = true;
            }

            bool waitForHeldCall(int timeoutMs) override
            {
                std::unique_lock<std::mutex> hold(gateLock);
                return gateChanged.wait_for(hold, std::chrono::milliseconds(timeoutMs), [&] { return waiting > 0; });
            }

            // StopStreams and DisableVideoInput: held callbacks go on, and on
            // any other thread the call returns once the driver's thread is
            // done with what it was in.
            void finishCallbacks()
            {
                {
                    std::lock_guard<std::mutex> hold(gateLock);
                    holding = false;
                }
                gateChanged.notify_all();
                if (std::this_thread::get_id() != driverThread.get_id())
                    runOnDriverThread([] {});
            }

            template <typename Callback>
            static void done(Callback* callback)
            {
                if (callback != nullptr)
                    callback->Release();
            }

            // Holds a reference on the callback set and drops the one on the
            // callback it replaces (outside the lock: that may be the last).
            template <typename Callback>
            void setCallback(Card& card, Callback* Card::*slot, Callback* callback)
            {
                if (callback != nullptr)
                    callback->AddRef();
                Callback* previous = withLock([&] { return std::exchange(card.*slot, callback); });
                done(previous);
            }

            void reset() override
            {
                releaseCalls();
                std::lock_guard<std::mutex> hold(lock);
                for (auto& card : cards)
                {
                    for (IDeckLinkVideoFrame* frame : card->scheduled)
                        frame->Release();
                    card->scheduled.clear();
                    if (card->prepared != nullptr)
                        card->prepared->Release();
                    card->prepared = nullptr;
                    // Retired cards stay for objects still held, without
                    // the frames' bytes (a repeated suite would pile them up).
                    std::vector<std::vector<uint8_t>>().swap(card->scheduledBytes);
                    retired.push_back(std::move(card));
                }
                cards.clear();
                failures.clear();
                log.clear();
                logging = keepBytes = true;
            }

            int addCard(const DeckLinkSimCard& card) override
            {
                std::lock_guard<std::mutex> hold(lock);
                cards.push_back(std::make_unique<Card>(card));
                return int(cards.size()) - 1;
            }

            void failCall(const std::string& prefix, int afterCalls) override
            {
                std::lock_guard<std::mutex> hold(lock);
                failures.push_back({prefix, afterCalls});
            }

            void clearFailures() override
            {
                std::lock_guard<std::mutex> hold(lock);
                failures.clear();
            }

            void setQuiet(bool quiet) override
            {
                std::lock_guard<std::mutex> hold(lock);
                logging = ! quiet;
                keepBytes = ! quiet;
            }

            bool prepareFrame(int card, long width, long height, long rowBytes, BMDPixelFormat format,
                              const std::vector<uint8_t>& bytes) override
            {
                Card* target = find(card);
                if (target == nullptr)
                    return false;
                auto* frame = new Frame(width, height, rowBytes, format);
                std::memcpy(frame->bytes.data(), bytes.data(), std::min(bytes.size(), frame->bytes.size()));
                withLock([&] {
                    if (target->prepared != nullptr)
                        target->prepared->Release();
                    target->prepared = frame;
                });
                return true;
            }

            bool drawPreparedFrame(int card) override
            {
                Card* target = find(card);
                if (target == nullptr)
                    return false;
                Frame* frame = withLock([&] { return target->prepared; });
                if (frame == nullptr)
                    return false;
                IDeckLinkScreenPreviewCallback* callback = takeCallback(*target, &Card::previewCallback);
                if (callback == nullptr)
                    return false;
                callback->DrawFrame(frame);
                done(callback);
                return true;
            }

            bool keepsBytes()
            {
                std::lock_guard<std::mutex> hold(lock);
                return keepBytes;
            }

            std::vector<std::string> getCallLog() override
            {
                std::lock_guard<std::mutex> hold(lock);
                return log;
            }

            void clearCallLog() override
            {
                std::lock_guard<std::mutex> hold(lock);
                log.clear();
            }

            bool deliverFrame(int card, long width, long height, long rowBytes, BMDPixelFormat format,
                              const std::vector<uint8_t>& bytes) override
            {
                Card* target = find(card);
                if (target == nullptr)
                    return false;
                bool delivered = false;
                runOnDriverThread([&] {
                    // The frame first: the callback is taken right before the
                    // call, as a driver's dispatch does.
                    auto* frame = new Frame(width, height, rowBytes, format);
                    std::memcpy(frame->bytes.data(), bytes.data(), std::min(bytes.size(), frame->bytes.size()));
                    IDeckLinkScreenPreviewCallback* callback = takeCallback(*target, &Card::previewCallback);
                    if (callback != nullptr)
                        callback->DrawFrame(frame);
                    done(callback);
                    frame->Release();
                    delivered = callback != nullptr;
                });
                return delivered;
            }

            bool changeFormat(int card, BMDVideoInputFormatChangedEvents events, BMDDisplayMode mode,
                              BMDDetectedVideoInputFormatFlags flags) override
            {
                Card* target = find(card);
                if (target == nullptr)
                    return false;
                bool delivered = false;
                runOnDriverThread([&] {
                    Mode* newMode = nullptr;
                    for (const auto& candidate : target->modes)
                        if (candidate->mode.code == mode)
                            newMode = candidate.get();
                    if (newMode == nullptr)
                        return;
                    IDeckLinkInputCallback* callback = takeCallback(*target, &Card::inputCallback);
                    if (callback == nullptr)
                        return;
                    callback->VideoInputFormatChanged(events, newMode, flags);
                    done(callback);
                    delivered = true;
                });
                return delivered;
            }

            int completeFrames(int card, int count) override
            {
                Card* target = find(card);
                if (target == nullptr)
                    return 0;
                int completed = 0;
                runOnDriverThread([&] {
                    for (; completed < count; ++completed)
                    {
                        IDeckLinkVideoFrame* frame = withLock([&] {
                            IDeckLinkVideoFrame* oldest = nullptr;
                            if (! target->scheduled.empty())
                            {
                                oldest = target->scheduled.front();
                                target->scheduled.pop_front();
                            }
                            return oldest;
                        });
                        if (frame == nullptr)
                            break;
                        IDeckLinkVideoOutputCallback* callback = takeCallback(*target, &Card::outputCallback);
                        if (callback != nullptr)
                            callback->ScheduledFrameCompleted(frame, bmdOutputFrameCompleted);
                        done(callback);
                        frame->Release();
                    }
                });
                return completed;
            }

            std::vector<std::vector<uint8_t>> getScheduledFrames(int card) override
            {
                Card* target = find(card);
                return target != nullptr ? withLock([&] { return target->scheduledBytes; })
                                         : std::vector<std::vector<uint8_t>>();
            }

            int getSyncDisplayedFrames(int card) override
            {
                Card* target = find(card);
                return target != nullptr ? withLock([&] { return target->syncDisplayed; }) : 0;
            }

            int getCardReferences(int card) override
            {
                Card* target = find(card);
                return target != nullptr ? target->references.load() : 0;
            }

            int getLiveFrames() override { return liveFrames.load(); }

        private:
            struct Failure
            {
                std::string prefix;
                int remaining;
            };

            Card* find(int card)
            {
                std::lock_guard<std::mutex> hold(lock);
                return card >= 0 && card < int(cards.size()) ? cards[size_t(card)].get() : nullptr;
            }

            void runOnDriverThread(std::function<void()> job)
            {
                std::unique_lock<std::mutex> hold(jobLock);
                const unsigned long long ticket = ++posted;
                jobs.push_back(std::move(job));
                jobWake.notify_all();
                jobDone.wait(hold, [&] { return finished >= ticket; });
            }

            void runDriverThread()
            {
                std::unique_lock<std::mutex> hold(jobLock);
                for (;;)
                {
                    jobWake.wait(hold, [&] { return stopping || ! jobs.empty(); });
                    if (jobs.empty())
                        return;
                    std::function<void()> job = std::move(jobs.front());
                    jobs.pop_front();
                    hold.unlock();
                    job();
                    hold.lock();
                    ++finished;
                    jobDone.notify_all();
                }
            }

            std::mutex lock;
            std::vector<std::unique_ptr<Card>> cards;
            std::vector<std::unique_ptr<Card>> retired;
            std::vector<Failure> failures;
            std::vector<std::string> log;
            bool logging = true;
            bool keepBytes = true;

            // Waits while the flag (one of the two below) is set.
            void waitAtGate(const bool& held)
            {
                std::unique_lock<std::mutex> hold(gateLock);
                if (! held)
                    return;
                ++waiting;
                gateChanged.notify_all();
                gateChanged.wait(hold, [&] { return ! held; });
                --waiting;
            }

            // Guarded by lock: the prefix of the driver call to hold next.
            std::string heldPrefix;

            std::mutex gateLock;
            std::condition_variable gateChanged;
            bool holding = false;        // callbacks wait
            bool heldDriverCall = false; // the held driver call waits
            int waiting = 0;

            std::mutex jobLock;
            std::condition_variable jobWake;
            std::condition_variable jobDone;
            std::deque<std::function<void()>> jobs;
            unsigned long long posted = 0;
            unsigned long long finished = 0;
            bool stopping = false;
            std::thread driverThread;
        };

        Simulator& simulator()
        {
            static Simulator instance;
            return instance;
        }

        Frame::Frame(long w, long h, long bytesPerRow, BMDPixelFormat pixelFormat)
            : bytes(size_t(std::max(0L, bytesPerRow) * std::max(0L, h))), width(w), height(h), rowBytes(bytesPerRow),
              format(pixelFormat)
        {
            ++liveFrames;
        }

        Frame::~Frame()
        {
            --liveFrames;
        }

        HRESULT Frame::GetBytes(void** buffer)
        {
            if (simulator().call([&] { return std::string("GetBytes()"); }))
            {
                *buffer = nullptr;
                return E_FAIL;
            }
            *buffer = bytes.data();
            return S_OK;
        }

        HRESULT Mode::GetName(const char** name)
        {
            *name = mode.name.c_str();
            return S_OK;
        }

        HRESULT CardObject::QueryInterface(REFIID iid, void** object)
        {
            *object = nullptr;
            const char* what = iid == IID_IDeckLinkAttributes      ? "Attributes"
                               : iid == IID_IDeckLinkConfiguration ? "Configuration"
                               : iid == IID_IDeckLinkInput         ? "Input"
                               : iid == IID_IDeckLinkOutput        ? "Output"
                                                                   : "Other";
            if (simulator().call([&] { return std::string(std::string("QueryInterface(") + what + ")"); }))
                return E_NOINTERFACE;
            IUnknown* found = nullptr;
            if (iid == IID_IDeckLinkAttributes)
                found = &card.attributes;
            else if (iid == IID_IDeckLinkConfiguration)
                found = &card.configuration;
            else if (iid == IID_IDeckLinkInput && card.setup.inputConnections != 0)
                found = &card.input;
            else if (iid == IID_IDeckLinkOutput && card.setup.outputConnections != 0)
                found = &card.output;
            if (found == nullptr)
                return E_NOINTERFACE;
            found->AddRef();
            *object = found;
            return S_OK;
        }

        HRESULT CardObject::GetModelName(const char** modelName)
        {
            *modelName = nullptr;
            if (simulator().call([&] { return std::string("GetModelName()"); }) || ! card.setup.hasModelName)
                return E_FAIL;
            *modelName = card.setup.model.c_str();
            return S_OK;
        }

        HRESULT Attributes::GetFlag(BMDDeckLinkAttributeID id, bool* value)
        {
            if (simulator().call([&] { return std::string("GetFlag(" + code(id) + ")"); }) || id != BMDDeckLinkSupportsInputFormatDetection)
                return E_FAIL;
            *value = card.setup.formatDetection;
            return S_OK;
        }

        HRESULT Attributes::GetInt(BMDDeckLinkAttributeID id, int64_t* value)
        {
            if (simulator().call([&] { return std::string("GetInt(" + code(id) + ")"); }))
                return E_FAIL;
            if (id == BMDDeckLinkVideoInputConnections)
                *value = card.setup.inputConnections;
            else if (id == BMDDeckLinkVideoOutputConnections)
                *value = card.setup.outputConnections;
            else
                return E_INVALIDARG;
            return S_OK;
        }

        HRESULT Configuration::SetInt(BMDDeckLinkConfigurationID id, int64_t value)
        {
            (void)card;
            return simulator().call([&] { return std::string("SetInt(" + code(id) + ", " + std::to_string(value) + ")"); }) ? E_FAIL : S_OK;
        }

        HRESULT Input::GetDisplayModeIterator(IDeckLinkDisplayModeIterator** iterator)
        {
            *iterator = nullptr;
            if (simulator().call([&] { return std::string("GetDisplayModeIterator(input)"); }))
                return E_FAIL;
            *iterator = new ModeIterator(card.modePointers());
            return S_OK;
        }

        HRESULT Input::SetScreenPreviewCallback(IDeckLinkScreenPreviewCallback* previewCallback)
        {
            if (simulator().call([&] { return std::string(std::string("SetScreenPreviewCallback(") + pointer(previewCallback) + ")"); }))
                return E_FAIL;
            simulator().setCallback(card, &Card::previewCallback, previewCallback);
            return S_OK;
        }

        HRESULT Input::EnableVideoInput(BMDDisplayMode displayMode, BMDPixelFormat pixelFormat, BMDVideoInputFlags flags)
        {
            return simulator().call([&] { return std::string("EnableVideoInput(" + code(displayMode) + ", " + code(pixelFormat) + ", " +
                                    std::to_string(flags) + ")"); })
                       ? E_FAIL
                       : S_OK;
        }

        HRESULT Input::DisableVideoInput()
        {
            if (simulator().call([&] { return std::string("DisableVideoInput()"); }))
                return E_FAIL;
            simulator().finishCallbacks();
            return S_OK;
        }

        HRESULT Input::StartStreams()
        {
            return simulator().call([&] { return std::string("StartStreams()"); }) ? E_FAIL : S_OK;
        }

        HRESULT Input::StopStreams()
        {
            if (simulator().call([&] { return std::string("StopStreams()"); }))
                return E_FAIL;
            simulator().finishCallbacks();
            return S_OK;
        }

        HRESULT Input::PauseStreams()
        {
            return simulator().call([&] { return std::string("PauseStreams()"); }) ? E_FAIL : S_OK;
        }

        HRESULT Input::FlushStreams()
        {
            return simulator().call([&] { return std::string("FlushStreams()"); }) ? E_FAIL : S_OK;
        }

        HRESULT Input::SetCallback(IDeckLinkInputCallback* callback)
        {
            if (simulator().call([&] { return std::string(std::string("SetCallback(") + pointer(callback) + ")"); }))
                return E_FAIL;
            simulator().setCallback(card, &Card::inputCallback, callback);
            return S_OK;
        }

        HRESULT Output::GetDisplayModeIterator(IDeckLinkDisplayModeIterator** iterator)
        {
            *iterator = nullptr;
            if (simulator().call([&] { return std::string("GetDisplayModeIterator(output)"); }))
                return E_FAIL;
            *iterator = new ModeIterator(card.modePointers());
            return S_OK;
        }

        HRESULT Output::EnableVideoOutput(BMDDisplayMode displayMode, BMDVideoOutputFlags flags)
        {
            return simulator().call([&] { return std::string("EnableVideoOutput(" + code(displayMode) + ", " + std::to_string(flags) + ")"); })
                       ? E_FAIL
                       : S_OK;
        }

        HRESULT Output::DisableVideoOutput()
        {
            if (simulator().call([&] { return std::string("DisableVideoOutput()"); }))
                return E_FAIL;
            // Frames still scheduled are flushed, as stopping playback does.
            std::deque<IDeckLinkVideoFrame*> flushed;
            simulator().withLock([&] { flushed.swap(card.scheduled); });
            for (IDeckLinkVideoFrame* frame : flushed)
                frame->Release();
            return S_OK;
        }

        HRESULT Output::CreateVideoFrame(int32_t width, int32_t height, int32_t rowBytes, BMDPixelFormat pixelFormat,
                                         BMDFrameFlags flags, IDeckLinkMutableVideoFrame** frame)
        {
            *frame = nullptr;
            if (simulator().call([&] { return std::string("CreateVideoFrame(" + std::to_string(width) + ", " + std::to_string(height) + ", " +
                                 std::to_string(rowBytes) + ", " + code(pixelFormat) + ", " + std::to_string(flags) +
                                 ")"); }))
                return E_FAIL;
            *frame = new Frame(width, height, rowBytes, pixelFormat);
            return S_OK;
        }

        HRESULT Output::DisplayVideoFrameSync(IDeckLinkVideoFrame* frame)
        {
            if (simulator().call([&] { return std::string(std::string("DisplayVideoFrameSync(") + pointer(frame) + ")"); }))
                return E_FAIL;
            simulator().withLock([&] { ++card.syncDisplayed; });
            return S_OK;
        }

        HRESULT Output::ScheduleVideoFrame(IDeckLinkVideoFrame* frame, BMDTimeValue displayTime,
                                           BMDTimeValue displayDuration, BMDTimeScale timeScale)
        {
            if (simulator().call([&] { return std::string("ScheduleVideoFrame(" + std::to_string(displayTime) + ", " +
                                 std::to_string(displayDuration) + ", " + std::to_string(timeScale) + ")"); }))
                return E_FAIL;
            auto* ours = static_cast<Frame*>(frame);
            const bool keeping = simulator().keepsBytes();
            frame->AddRef();
            simulator().withLock([&] {
                card.scheduled.push_back(frame);
                if (keeping)
                    card.scheduledBytes.push_back(ours->bytes);
            });
            return S_OK;
        }

        HRESULT Output::SetScheduledFrameCompletionCallback(IDeckLinkVideoOutputCallback* callback)
        {
            if (simulator().call([&] { return std::string(std::string("SetScheduledFrameCompletionCallback(") + pointer(callback) + ")"); }))
                return E_FAIL;
            simulator().setCallback(card, &Card::outputCallback, callback);
            return S_OK;
        }

        HRESULT Output::StartScheduledPlayback(BMDTimeValue playbackStartTime, BMDTimeScale timeScale,
                                               double playbackSpeed)
        {
            char speed[32];
            std::snprintf(speed, sizeof speed, "%.1f", playbackSpeed);
            return simulator().call([&] { return std::string("StartScheduledPlayback(" + std::to_string(playbackStartTime) + ", " +
                                    std::to_string(timeScale) + ", " + speed + ")"); })
                       ? E_FAIL
                       : S_OK;
        }

        HRESULT Iterator::QueryInterface(REFIID iid, void** object)
        {
            *object = nullptr;
            if (iid != IID_IDeckLinkAPIInformation || simulator().call([&] { return std::string("QueryInterface(APIInformation)"); }))
                return E_NOINTERFACE;
            *object = static_cast<IDeckLinkAPIInformation*>(new APIInformation());
            return S_OK;
        }
    }
}

VX_SIM_EXPORT vx::DeckLinkSimControl* vxDeckLinkSimControl()
{
    return &vx::simulator();
}

VX_SIM_EXPORT IDeckLinkIterator* CreateDeckLinkIteratorInstance_0002()
{
    if (vx::simulator().call([&] { return std::string("CreateDeckLinkIteratorInstance()"); }))
        return nullptr;
    return new vx::Iterator(vx::simulator().cardList());
}

VX_SIM_EXPORT IDeckLinkAPIInformation* CreateDeckLinkAPIInformationInstance_0001()
{
    return new vx::APIInformation();
}
