#include "VXScriptedAVCapture.h"

#include <algorithm>
#include <cstring>

#include "platform/dispatch/VXDispatchQueue.h"

namespace vx::test
{
    class ScriptedAVCapture::ScriptedDevice : public avcapture::Device
    {
    public:
        ScriptedDevice(ScriptedAVCapture& owner, const DeviceSpec& deviceSpec) : backend(owner), spec(deviceSpec)
        {
            if (spec.activeInput >= 0 && size_t(spec.activeInput) < spec.inputs.size())
                activeInput = spec.inputs[size_t(spec.activeInput)].inputSourceID;
        }

        bool hasMediaTypeVideo() const override { return spec.video; }
        std::string getLocalizedName() const override { return spec.name; }
        std::string getUniqueID() const override { return spec.uniqueId; }
        std::vector<avcapture::InputSource> getInputSources() const override { return spec.inputs; }
        std::optional<std::string> getActiveInputSourceID() const override
        {
            std::lock_guard<std::mutex> hold(lock);
            return activeInput.empty() ? std::nullopt : std::optional<std::string>(activeInput);
        }
        void setActiveInputSource(const std::string& id) override
        {
            backend.log("setActiveInputSource " + id);
            if (spec.inputRaises)
                throw avcapture::Exception("input source refused");
            std::lock_guard<std::mutex> hold(lock);
            activeInput = id;
        }
        std::optional<std::vector<avcapture::Dimensions>> getFormats() const override
        {
            if (! spec.hasFormats)
                return std::nullopt;
            return spec.formats;
        }
        std::optional<size_t> getActiveFormat() const override
        {
            std::lock_guard<std::mutex> hold(lock);
            return activeFormat;
        }
        void setActiveFormat(size_t index) override
        {
            backend.log("setActiveFormat " + std::to_string(index));
            std::lock_guard<std::mutex> hold(lock);
            activeFormat = index;
        }
        bool lockForConfiguration(std::string& error) override
        {
            backend.log("lockForConfiguration");
            std::lock_guard<std::mutex> hold(lock);
            if (spec.lockFailures != 0)
            {
                if (spec.lockFailures > 0)
                    --spec.lockFailures;
                error = "device in use by another application";
                return false;
            }
            backend.unbalancedLocks.fetch_add(1);
            return true;
        }
        void unlockForConfiguration() override
        {
            backend.log("unlockForConfiguration");
            backend.unbalancedLocks.fetch_sub(1);
        }
        bool supportsSessionPreset(const std::string& preset) const override { return spec.presets.count(preset) != 0; }

        ScriptedAVCapture& backend;
        DeviceSpec spec;
        mutable std::mutex lock;
        std::string activeInput;
        std::optional<size_t> activeFormat;
    };

    class ScriptedAVCapture::Input : public avcapture::DeviceInput
    {
    public:
        explicit Input(std::string id) : uniqueId(std::move(id)) {}
        const std::string uniqueId;
    };

    class ScriptedAVCapture::Output : public avcapture::VideoDataOutput
    {
    public:
        explicit Output(ScriptedAVCapture& owner) : backend(owner) {}

        void setAlwaysDiscardsLateVideoFrames(bool discard) override
        {
            backend.log(std::string("setAlwaysDiscardsLateVideoFrames ") + (discard ? "YES" : "NO"));
        }
        void setSampleBufferDelegate(avcapture::SampleBufferDelegate* newDelegate,
                                     std::shared_ptr<DispatchQueue> newQueue) override
        {
            std::lock_guard<std::mutex> hold(lock);
            delegate = newDelegate;
            queue = std::move(newQueue);
        }
        void setVideoSettings(const avcapture::VideoSettings& settings) override
        {
            char fourCC[5] = {char(settings.pixelFormatType >> 24), char(settings.pixelFormatType >> 16),
                              char(settings.pixelFormatType >> 8), char(settings.pixelFormatType), 0};
            backend.log("setVideoSettings " + std::to_string(int(settings.width)) + " x " +
                        std::to_string(int(settings.height)) + " " + fourCC);
        }

        ScriptedAVCapture& backend;
        std::mutex lock;
        avcapture::SampleBufferDelegate* delegate = nullptr;
        std::shared_ptr<DispatchQueue> queue;
    };

    class ScriptedAVCapture::Session : public avcapture::Session
    {
    public:
        explicit Session(ScriptedAVCapture& owner) : backend(owner) { backend.liveSessions.fetch_add(1); }
        ~Session() override { backend.liveSessions.fetch_sub(1); }

        void addInput(std::shared_ptr<avcapture::DeviceInput> input) override
        {
            std::lock_guard<std::mutex> hold(lock);
            inputs.push_back(std::static_pointer_cast<Input>(input));
        }
        void addOutput(std::shared_ptr<avcapture::VideoDataOutput> output) override
        {
            std::lock_guard<std::mutex> hold(lock);
            outputs.push_back(std::static_pointer_cast<Output>(output));
        }
        void removeAllInputs() override
        {
            std::lock_guard<std::mutex> hold(lock);
            inputs.clear();
        }
        void removeAllOutputs() override
        {
            std::lock_guard<std::mutex> hold(lock);
            outputs.clear();
        }
        void startRunning() override
        {
            backend.log("startRunning");
            running.store(true);
        }
        void stopRunning() override
        {
            backend.log("stopRunning");
            running.store(false);
        }
        bool isRunning() const override { return running.load(); }
        bool canSetSessionPreset(const std::string&) const override { return true; }

        ScriptedAVCapture& backend;
        std::mutex lock;
        std::vector<std::shared_ptr<Input>> inputs;
        std::vector<std::shared_ptr<Output>> outputs;
        std::atomic<bool> running{false};
    };

    namespace
    {
        class Frame : public avcapture::PixelBuffer, public avcapture::SampleBuffer
        {
        public:
            Frame(int frameWidth, int frameHeight, int rowBytes, std::vector<uint8_t> frameBytes)
                : width(size_t(frameWidth)), height(size_t(frameHeight)), bytesPerRow(size_t(rowBytes)),
                  bytes(std::move(frameBytes))
            {
            }
            bool lockBaseAddress(uint32_t) override
            {
                ++locks;
                return true;
            }
            void unlockBaseAddress(uint32_t) override { --locks; }
            const uint8_t* getBaseAddress() const override { return locks > 0 ? bytes.data() : nullptr; }
            size_t getBytesPerRow() const override { return bytesPerRow; }
            size_t getWidth() const override { return width; }
            size_t getHeight() const override { return height; }
            avcapture::PixelBuffer* getImageBuffer() override { return this; }

            size_t width, height, bytesPerRow;
            std::vector<uint8_t> bytes;
            int locks = 0;
        };
    }

    std::shared_ptr<ScriptedAVCapture> ScriptedAVCapture::install()
    {
        auto backend = std::make_shared<ScriptedAVCapture>();
        avcapture::setBackend(backend);
        return backend;
    }

    void ScriptedAVCapture::uninstall()
    {
        avcapture::setBackend(nullptr);
    }

    std::shared_ptr<ScriptedAVCapture::ScriptedDevice> ScriptedAVCapture::addDevice(const DeviceSpec& spec)
    {
        auto device = std::make_shared<ScriptedDevice>(*this, spec);
        std::lock_guard<std::mutex> hold(lock);
        known.push_back(device);
        return device;
    }

    void ScriptedAVCapture::removeDevice(const std::string& uniqueId)
    {
        std::lock_guard<std::mutex> hold(lock);
        known.erase(std::remove_if(known.begin(), known.end(),
                                   [&uniqueId](const auto& device) { return device->spec.uniqueId == uniqueId; }),
                    known.end());
    }

    bool ScriptedAVCapture::deliverFrame(const std::string& uniqueId, int width, int height, int bytesPerRow,
                                         const std::vector<uint8_t>& bytes)
    {
        std::vector<std::shared_ptr<Output>> targets;
        {
            std::lock_guard<std::mutex> hold(lock);
            for (const auto& weak : sessions)
                if (auto session = weak.lock(); session != nullptr && session->isRunning())
                {
                    std::lock_guard<std::mutex> sessionHold(session->lock);
                    bool feeds = false;
                    for (const auto& input : session->inputs)
                        feeds = feeds || input->uniqueId == uniqueId;
                    if (feeds)
                        targets.insert(targets.end(), session->outputs.begin(), session->outputs.end());
                }
        }
        bool delivered = false;
        for (const auto& output : targets)
        {
            std::shared_ptr<DispatchQueue> queue;
            {
                std::lock_guard<std::mutex> hold(output->lock);
                queue = output->queue;
            }
            if (queue == nullptr)
                continue;
            auto frame = std::make_shared<Frame>(width, height, bytesPerRow, bytes);
            // The delegate is read when the block runs: one detached on the
            // queue before then gets nothing.
            queue->async(
                [output, frame]
                {
                    avcapture::SampleBufferDelegate* delegate = nullptr;
                    {
                        std::lock_guard<std::mutex> hold(output->lock);
                        delegate = output->delegate;
                    }
                    if (delegate != nullptr)
                        delegate->captureOutputDidOutputSampleBuffer(*frame);
                });
            delivered = true;
        }
        return delivered;
    }

    std::vector<std::string> ScriptedAVCapture::getCalls() const
    {
        std::lock_guard<std::mutex> hold(lock);
        return calls;
    }

    void ScriptedAVCapture::clearCalls()
    {
        std::lock_guard<std::mutex> hold(lock);
        calls.clear();
    }

    void ScriptedAVCapture::log(const std::string& call)
    {
        std::lock_guard<std::mutex> hold(lock);
        calls.push_back(call);
    }

    std::vector<std::shared_ptr<avcapture::Device>> ScriptedAVCapture::devices()
    {
        std::lock_guard<std::mutex> hold(lock);
        return {known.begin(), known.end()};
    }

    std::shared_ptr<avcapture::Device> ScriptedAVCapture::deviceWithUniqueID(const std::string& uniqueID)
    {
        std::lock_guard<std::mutex> hold(lock);
        for (const auto& device : known)
            if (device->spec.uniqueId == uniqueID)
                return device;
        return nullptr;
    }

    std::shared_ptr<avcapture::DeviceInput> ScriptedAVCapture::deviceInputWithDevice(
        const std::shared_ptr<avcapture::Device>& device, std::string& error)
    {
        auto scripted = std::static_pointer_cast<ScriptedDevice>(device);
        if (scripted == nullptr || ! scripted->spec.opens)
        {
            error = "Cannot use " + (scripted != nullptr ? scripted->spec.name : std::string("no device"));
            return nullptr;
        }
        return std::make_shared<Input>(scripted->spec.uniqueId);
    }

    std::shared_ptr<avcapture::VideoDataOutput> ScriptedAVCapture::createVideoDataOutput()
    {
        return std::make_shared<Output>(*this);
    }

    std::shared_ptr<avcapture::Session> ScriptedAVCapture::createSession()
    {
        auto session = std::make_shared<Session>(*this);
        std::lock_guard<std::mutex> hold(lock);
        sessions.push_back(session);
        return session;
    }

    std::vector<uint8_t> bgraFrame(int width, int height, int bytesPerRow, uint8_t seed)
    {
        std::vector<uint8_t> bytes(size_t(bytesPerRow) * size_t(height), 0xEE);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
            {
                uint8_t* p = bytes.data() + size_t(y) * size_t(bytesPerRow) + size_t(x) * 4;
                p[0] = uint8_t(x * 3 + seed);
                p[1] = uint8_t(y * 5 + seed);
                p[2] = uint8_t(x + y + seed);
                p[3] = 255;
            }
        return bytes;
    }
}
