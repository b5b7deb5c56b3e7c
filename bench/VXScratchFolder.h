#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include <unistd.h>

namespace vx::bench
{
    // A new folder in the system's temporary folder (TMPDIR, else /tmp), named
    // <prefix>XXXXXX, removed with everything in it when this goes: as a
    // function-local static, when the benchmark program returns or exits.
    // A folder that cannot be made ends the program: nothing is written
    // anywhere else, and nothing but what was made is ever removed.
    class ScratchFolder
    {
    public:
        explicit ScratchFolder(const char* prefix)
        {
            std::error_code error;
            std::string pattern = (std::filesystem::temp_directory_path(error) / prefix).string() + "XXXXXX";
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
