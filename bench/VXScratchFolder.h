#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include <unistd.h>

namespace vx::bench
{
    // A new folder named <prefix>XXXXXX, removed with everything in it when
    // this goes (as a function-local static: when the benchmark program
    // returns or exits). On disk: in the system's temporary folder (TMPDIR,
    // else /tmp). On tmpfs: in VX_BENCH_TMPFS, else /dev/shm, else on disk.
    // scripts/bench points both into folders of its own, which it removes
    // however a benchmark ends (interrupted, killed). A folder that cannot
    // be made ends the program: nothing is written anywhere else, and nothing
    // but what was made is ever removed.
    class ScratchFolder
    {
    public:
        enum class Medium
        {
            disk,
            tmpfs
        };

        explicit ScratchFolder(const char* prefix, Medium medium = Medium::disk)
        {
            std::error_code error;
            std::filesystem::path base;
            const char* tmpfs = std::getenv("VX_BENCH_TMPFS");
            if (medium == Medium::tmpfs)
                base = tmpfs != nullptr && *tmpfs != 0 ? tmpfs : "/dev/shm";
            if (base.empty() || ! std::filesystem::is_directory(base, error))
                base = std::filesystem::temp_directory_path(error);
            std::string pattern = (base / prefix).string() + "XXXXXX";
            if (error || mkdtemp(pattern.data()) == nullptr)
            {
                std::fprintf(stderr, "bench setup: cannot make a scratch folder %s\n", pattern.c_str());
                std::exit(1);
            }
            path = pattern;
        }
        ~ScratchFolder()
        {
            std::error_code ignored;
            std::filesystem::remove_all(path, ignored);
        }
        ScratchFolder(const ScratchFolder&) = delete;
        ScratchFolder& operator=(const ScratchFolder&) = delete;

        const std::string& getPath() const { return path; }

    private:
        std::string path;
    };
}
