#include "platform/avcapture/VXAVCapture.h"

#include "core/VXInstalledBackend.h"

#include <mutex>

#include "core/VXLog.h"
#include "platform/avcapture/VXCaptureBackendV4L2.h"
#include "platform/avcapture/VXV4L2System.h"

namespace vx::avcapture
{
    namespace
    {
        // Linux always has Video4Linux2: it lists what /dev holds, nothing
        // when no camera is plugged in.
        class PlatformBackend : public CaptureBackendV4L2
        {
        public:
            PlatformBackend() : CaptureBackendV4L2(v4l2::getSystemCalls())
            {
                static std::once_flag said;
                std::call_once(said, [] { logPrint(logInfo, "Cameras: Video4Linux2 (the capture nodes /dev/video*)."); });
            }
        };

        using Installed = InstalledBackend<Backend, PlatformBackend>;
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
