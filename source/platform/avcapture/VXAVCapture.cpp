#include "platform/avcapture/VXAVCapture.h"

#include <mutex>

namespace vx::avcapture
{
    namespace
    {
        // The Linux platform: no capture device, so nothing else is asked.
        class EmptyBackend : public Backend
        {
        public:
            std::vector<std::shared_ptr<Device>> devices() override { return {}; }
            std::shared_ptr<Device> deviceWithUniqueID(const std::string&) override { return nullptr; }
            std::shared_ptr<DeviceInput> deviceInputWithDevice(const std::shared_ptr<Device>&,
                                                               std::string& error) override
            {
                error = "No capture device on this platform";
                return nullptr;
            }
            std::shared_ptr<VideoDataOutput> createVideoDataOutput() override { return nullptr; }
            std::shared_ptr<Session> createSession() override { return nullptr; }
        };

        std::mutex backendLock;
        std::shared_ptr<Backend>& installed()
        {
            static auto* backend = new std::shared_ptr<Backend>(std::make_shared<EmptyBackend>());
            return *backend;
        }
    }

    std::shared_ptr<Backend> getBackend()
    {
        std::lock_guard<std::mutex> hold(backendLock);
        return installed();
    }

    void setBackend(std::shared_ptr<Backend> backend)
    {
        std::lock_guard<std::mutex> hold(backendLock);
        installed() = backend != nullptr ? std::move(backend) : std::make_shared<EmptyBackend>();
    }
}
