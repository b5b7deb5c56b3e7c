#include "support/VXTempDir.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <vector>

namespace vx::test
{
    TempDir::TempDir() : TempDir(std::string()) {}

    TempDir::TempDir(const std::string& under)
    {
        std::error_code error;
        std::filesystem::path base =
            under.empty() ? std::filesystem::temp_directory_path(error) : std::filesystem::path(under);
        if (error)
            base = "/tmp";
        std::string pattern = (base / "vexkit-test-XXXXXX").string();
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        if (mkdtemp(buffer.data()) == nullptr)
            throw std::runtime_error("TempDir: mkdtemp failed for " + pattern);
        // Resolved, so paths compare equal to what the system reports back
        // (getcwd, realpath) even when the temporary folder is a link.
        std::error_code resolveError;
        const std::filesystem::path resolved = std::filesystem::canonical(buffer.data(), resolveError);
        root = resolveError ? std::string(buffer.data()) : resolved.string();
    }

    TempDir::~TempDir()
    {
        std::error_code error;
        std::filesystem::remove_all(root, error);
    }

    std::string TempDir::file(const std::string& relativePath) const
    {
        return root + "/" + relativePath;
    }

    std::string TempDir::writeFile(const std::string& relativePath, const std::string& bytes) const
    {
        const std::string full = file(relativePath);
        std::filesystem::create_directories(std::filesystem::path(full).parent_path());
        std::ofstream out(full, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (! out)
            throw std::runtime_error("TempDir: cannot write " + full);
        return full;
    }

    std::string TempDir::makeDirectory(const std::string& relativePath) const
    {
        const std::string full = file(relativePath);
        std::filesystem::create_directories(full);
        return full;
    }

    std::string TempDir::readFile(const std::string& relativePath) const
    {
        std::ifstream in(file(relativePath), std::ios::binary);
        if (! in)
            return std::string();
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    bool rewriteInPlaceKeepingTimes(const std::string& path, const std::string& bytes)
    {
        struct stat was = {};
        if (::stat(path.c_str(), &was) != 0)
            return false;
        std::FILE* file = std::fopen(path.c_str(), "r+");
        if (file == nullptr)
            return false;
        const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size() &&
                             ::ftruncate(::fileno(file), off_t(bytes.size())) == 0;
        const bool closed = std::fclose(file) == 0;
        const timespec times[2] = {was.st_atim, was.st_mtim};
        return written && closed && ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
    }
}
