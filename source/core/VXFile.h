#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace vx
{
    class InputStream;
    class OutputStream;

    // The only path separator of the path operations below (backslashes are
    // ordinary characters there; makePathNice converts them).
    inline constexpr char separator[] = "/";

    // A file or directory named by its path, stored exactly as given. Path
    // arithmetic never touches the disk; queries and changes do. A plain value:
    // distinct objects may be used on different threads.
    class File
    {
    public:
        File() = default;
        File(const std::string& path);
        File(std::string&& path);
        File(const char* path);

        const std::string& getFullPath() const { return fullPath; }
        // A copy with backslashes turned into "/".
        std::string getNicePath() const;

        // Byte-for-byte path comparison ("/a/b" and "/a/b/" differ).
        bool operator==(const File& other) const { return fullPath == other.fullPath; }
        bool operator!=(const File& other) const { return fullPath != other.fullPath; }

        // Answers the text unchanged.
        static std::string getAbsolutePath(const std::string& path);

        // ---- Path arithmetic

        // Text after the last "/"; the whole path without one; empty after a trailing "/".
        std::string getFileName() const;
        // Text after the last "." of the file name; empty without one or after a trailing ".".
        std::string getExtension() const;
        // The extension is extension, compared without regard to ASCII case
        // ("TIF" is "tif"): how a file's format is told by its name.
        bool hasExtension(const std::string& extension) const;
        // The file name cut before its FIRST ".".
        std::string getFilenameWithoutExtension() const;
        // Without an extension the path is taken as a directory and answered
        // whole; otherwise the path up to and including its last "/".
        File getDirectory() const;
        // The path before its last "/"; the whole path without one.
        File getParentDirectory() const;
        // getDirectory() + "/" (when needed) + name.
        File getChildFile(const std::string& name) const;

        // ---- Disk

        bool exists() const;
        bool existsAsFile() const;
        bool existsAsDirectory() const;
        static bool doesFileExist(const std::string& path);
        static bool doesDirectoryExist(const std::string& path);
        static bool doesFileOrDirectoryExist(const std::string& path);

        // Creates the file, or empties an existing one.
        bool create() const;
        // Makes the one directory getDirectory() names (mode 0777 less umask);
        // false when it exists already or its parent is missing.
        bool createDirectory() const;
        // Removes the file or empty directory; answers whether it was removed.
        bool deleteFile() const;
        // Size in bytes, saturated at 4294967295; 0 when it cannot be opened.
        unsigned int getFileSize() const;
        // The whole file, up to its first NUL byte; empty when it cannot be read.
        std::string toString() const;

        // New streams owned by the caller, or null when the file cannot be
        // opened. Output without truncate needs an existing file and writes
        // from position 0 over its content.
        InputStream* createInputStream(bool binaryMode = true) const;
        OutputStream* createOutputStream(bool binaryMode = true, bool truncate = true) const;

        // Appends the entries of this directory to `children` in the order the
        // system gives them, skipping ".", ".." and ".DS_Store". A directory is
        // listed before its contents. A directory already being scanned further
        // up (a link loop) is listed but not entered again. Logs a warning and
        // answers false when this is no directory.
        bool scanForChildFiles(std::vector<File>& children, bool recursive, bool includeDirectories) const;
        static bool getFilesInDirectory(const File& directory, std::vector<File>& children, bool filesOnly);
        // Removes every entry getFilesInDirectory finds; failures are ignored.
        static void deleteFilesInDirectory(const File& directory, bool filesOnly);

        // The process's working directory with a trailing "/"; an empty File
        // (logged) when it cannot be read.
        static File getCurrentDirectory();
        // Records the path; nothing reads the record back.
        static void setCurrentDirectory(const std::string& path);

        friend std::ostream& operator<<(std::ostream& stream, const File& file);
        // Reads one white-space-delimited word as the path.
        friend std::istream& operator>>(std::istream& stream, File& file);

    private:
        std::string fullPath;
    };

    std::ostream& operator<<(std::ostream& stream, const File& file);
    std::istream& operator>>(std::istream& stream, File& file);
}
