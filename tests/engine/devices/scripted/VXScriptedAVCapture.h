#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/avcapture/VXAVCapture.h"

namespace vx::test
{
    // A capture framework that tests script: devices with input sources,
    // formats and supported presets, configuration locks that fail, input
    // sources that raise; BGRA frames of any size and padding delivered on a
    // running session's queue; a log of configuration and session calls and
    // a count of live sessions. Any thread.
    class ScriptedAVCapture : public avcapture::Backend
    {
    public:
        static std::shared_ptr<ScriptedAVCapture> install();
        static void uninstall();

        class ScriptedDevice;
        struct DeviceSpec
        {
            std::string name;
            std::string uniqueId;
            bool video = true;
            std::vector<avcapture::InputSource> inputs;
            int activeInput = -1;
            bool hasFormats = true;
            std::vector<avcapture::Dimensions> formats;
            std::set<std::string> presets;
            // Configuration locks refused before one is granted; -1: always.
            int lockFailures = 0;
            bool inputRaises = false;
            bool opens = true; // a device input can be made
        };
        std::shared_ptr<ScriptedDevice> addDevice(const DeviceSpec& spec);
        // The device is no longer listed (sessions on it stay).
        void removeDevice(const std::string& uniqueId);

        // One frame through every running session of the device, on its
        // output's queue; false when no session of it runs.
        bool deliverFrame(const std::string& uniqueId, int width, int height, int bytesPerRow,
                          const std::vector<uint8_t>& bytes);

        std::vector<std::string> getCalls() const;
        void clearCalls();
        int getLiveSessions() const { return liveSessions.load(); }
        int getUnbalancedLocks() const { return unbalancedLocks.load(); }

        std::vector<std::shared_ptr<avcapture::Device>> devices() override;
        std::shared_ptr<avcapture::Device> deviceWithUniqueID(const std::string& uniqueID) override;
        std::shared_ptr<avcapture::DeviceInput> deviceInputWithDevice(const std::shared_ptr<avcapture::Device>& device,
                                                                      std::string& error) override;
        std::shared_ptr<avcapture::VideoDataOutput> createVideoDataOutput() override;
        std::shared_ptr<avcapture::Session> createSession() override;

        void log(const std::string& call);

        std::atomic<int> liveSessions{0};
        std::atomic<int> unbalancedLocks{0};

    private:
        class Input;
        class Output;
        class Session;

        mutable std::mutex lock;
        std::vector<std::shared_ptr<ScriptedDevice>> known;
        std::vector<std::weak_ptr<Session>> sessions;
        std::vector<std::string> calls;
    };

    // A BGRA frame whose pixel (x, y) is (b, g, r, a) = pattern, rows padded
    // with 0xEE up to bytesPerRow.
    std::vector<uint8_t> bgraFrame(int width, int height, int bytesPerRow, uint8_t seed);
}
