#include "platform/avcapture/VXAVCapture.h"

#include "core/VXInstalledBackend.h"

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

        using Installed = InstalledBackend<Backend, EmptyBackend>;
    }

    std::shared_ptr<Backend> getBackend()
    {
        return Installed::get();
    }

    void setBackend(std::shared_ptr<Backend> backend)
    {
        Installed::set(std::move(backend));
    }
}
