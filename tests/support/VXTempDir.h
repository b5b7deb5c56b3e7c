#pragma once

#include <string>

namespace vx::test
{
    // A real, fresh directory under the system's temporary folder, removed
    // with everything in it on destruction.
    class TempDir
    {
    public:
        TempDir();
        // The same below the folder under (the temporary folder when empty).
        explicit TempDir(const std::string& under);
        ~TempDir();
        TempDir(const TempDir&) = delete;
        TempDir& operator=(const TempDir&) = delete;

        // The directory, without a trailing "/".
        const std::string& path() const { return root; }
        // path() + "/" + relativePath (nothing is created).
        std::string file(const std::string& relativePath) const;
        // Writes bytes to relativePath (parents created); answers the full path.
        std::string writeFile(const std::string& relativePath, const std::string& bytes) const;
        // Makes relativePath and its parents; answers the full path.
        std::string makeDirectory(const std::string& relativePath) const;
        // The file's bytes; empty when it cannot be read.
        std::string readFile(const std::string& relativePath) const;

    private:
        std::string root;
    };

    // Rewrites the file at path in place (same inode) with bytes, then puts
    // its times back, as an editor that keeps them may: only the bytes tell
    // the edit. False when the file cannot be written or its times set.
    bool rewriteInPlaceKeepingTimes(const std::string& path, const std::string& bytes);
}
