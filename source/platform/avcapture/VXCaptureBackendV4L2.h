#pragma once

#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/avcapture/VXAVCapture.h"

namespace vx::v4l2
{
    class System;
}

namespace vx::avcapture
{
    // Cameras over Video4Linux2: every /dev/video* node that captures video
    // in YUYV, UYVY or Motion-JPEG, streamed through mmap buffers. A device's
    // unique id is its bus info and card name, its formats the sizes it
    // offers (each at its best frame rate, uncompressed when that is as
    // fast). Frames reach the output's delegate on the output's queue: packed
    // 4:2:2 straight from the driver's buffer with the driver's row stride,
    // Motion-JPEG decoded (planar 4:2:2 or 4:2:0 as decoded, else packed). A
    // format the driver refuses starts no stream, with one error line; a
    // node that vanishes mid-stream ends its session (isRunning turns false),
    // with one error line.
    class CaptureBackendV4L2 : public Backend
    {
    public:
        explicit CaptureBackendV4L2(std::shared_ptr<v4l2::System> systemCalls);

        std::vector<std::shared_ptr<Device>> devices() override;
        std::shared_ptr<Device> deviceWithUniqueID(const std::string& uniqueID) override;
        std::shared_ptr<DeviceInput> deviceInputWithDevice(const std::shared_ptr<Device>& device,
                                                           std::string& error) override;
        std::shared_ptr<VideoDataOutput> createVideoDataOutput() override;
        std::shared_ptr<Session> createSession() override;

        // How long one turn of a stream on its queue waits for a frame:
        // what a stop or format change queued there may wait.
        static constexpr int pollIntervalMs = 20;

    private:
        std::shared_ptr<v4l2::System> calls;
        std::mutex warnedLock;
        std::set<std::string> warned; // nodes already reported unusable
    };
}
