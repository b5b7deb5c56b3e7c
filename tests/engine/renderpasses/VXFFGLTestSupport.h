#pragma once

// The recording plugin and the Kelvo module as the hosting tests open them.

#include "engine/renderpasses/recorder/VXRecordingPlugin.h"

#include <dlfcn.h>

namespace vx::test
{
#ifdef VX_FFGL_RECORDER_PATH
    constexpr const char* recorderPath = VX_FFGL_RECORDER_PATH;
#else
    constexpr const char* recorderPath = ""; // no plugin modules in this build
#endif

    // True while some handle keeps the library open (asked without opening it).
    inline bool isLibraryOpen(const char* path)
    {
        void* handle = dlopen(path, RTLD_NOW | RTLD_NOLOAD);
        if (handle != nullptr)
            dlclose(handle);
        return handle != nullptr;
    }

    // The recorder opened by the test itself, to script it before a host
    // loads it; close() leaves it to the host's handle, and its recorder
    // stays readable while the host holds the library.
    class RecorderModule
    {
    public:
        RecorderModule()
        {
            handle = *recorderPath != 0 ? dlopen(recorderPath, RTLD_NOW | RTLD_LOCAL) : nullptr;
            if (handle != nullptr)
                recorder = reinterpret_cast<Recorder* (*)()>(dlsym(handle, "vxRecorder"))();
        }
        ~RecorderModule() { close(); }

        void close() { handle = handle != nullptr ? (dlclose(handle), nullptr) : nullptr; }

        // The codes called since the last clear, in order.
        std::vector<std::uint32_t> codes() const
        {
            std::vector<std::uint32_t> result(recorder->calls.size());
            std::transform(recorder->calls.begin(), recorder->calls.end(), result.begin(),
                           [](auto& c) { return c.code; });
            return result;
        }

        Recorder* recorder = nullptr;

    private:
        void* handle = nullptr;
    };
}
