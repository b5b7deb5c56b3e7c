#pragma once

#include <string>

namespace vx::bench
{
    struct ScratchSlot;

    // A new folder named <prefix>XXXXXX, removed with everything in it when
    // this goes (as a function-local static: when the benchmark program
    // returns or exits) or when SIGINT or SIGTERM ends the program. On disk:
    // in the system's temporary folder (TMPDIR, else /tmp). On tmpfs: in
    // VX_BENCH_TMPFS, else /dev/shm, else on disk. scripts/bench points both
    // into folders of its own, which it removes however a benchmark ends
    // (crashed, killed). A folder that cannot be made ends the program:
    // nothing is written anywhere else, and nothing but what was made is
    // ever removed. A signal the program was started ignoring, or handles
    // itself, is left as it is.
    class ScratchFolder
    {
    public:
        enum class Medium
        {
            disk,
            tmpfs
        };

        explicit ScratchFolder(const char* prefix, Medium medium = Medium::disk);
        ~ScratchFolder();
        ScratchFolder(const ScratchFolder&) = delete;
        ScratchFolder& operator=(const ScratchFolder&) = delete;

        const std::string& getPath() const { return path; }

    private:
        ScratchSlot* slot = nullptr;
        std::string path;
    };
}
