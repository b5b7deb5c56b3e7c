#include "core/VXFile.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <istream>
#include <ostream>
#include <utility>

#include "core/VXInputStreamFile.h"
#include "core/VXLog.h"
#include "core/VXOutputStreamFile.h"
#include "core/VXStringUtils.h"

namespace vx
{
    namespace
    {
        File& currentDirectoryRecord()
        {
            static File record;
            return record;
        }

        bool statPath(const std::string& path, struct stat& info)
        {
            return ! path.empty() && ::access(path.c_str(), F_OK) == 0 && ::stat(path.c_str(), &info) == 0;
        }

        using DirectoryIdentity = std::pair<dev_t, ino_t>;

        // Whether a directory entry is a directory, following links. The entry's
        // own type answers for all but links and file systems that give none:
        // a stat per entry would cost the scan more than the walk itself.
        bool isDirectoryEntry(const dirent& entry, const std::string& path)
        {
            switch (entry.d_type)
            {
                case DT_DIR:
                    return true;
                case DT_LNK:
                case DT_UNKNOWN:
                {
                    struct stat info;
                    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
                }
                default:
                    return false;
            }
        }

        bool scanDirectory(const std::string& path, std::vector<File>& children, bool recursive,
                           bool includeDirectories, std::vector<DirectoryIdentity>& ancestors)
        {
            DIR* directory = ::opendir(path.c_str());
            if (directory == nullptr)
                return false;

            // A link back to a directory being scanned would never end: such a
            // directory is listed by its parent but not entered again.
            struct stat self;
            const bool known = ::fstat(::dirfd(directory), &self) == 0;
            const DirectoryIdentity identity(self.st_dev, self.st_ino);
            if (known && std::find(ancestors.begin(), ancestors.end(), identity) != ancestors.end())
            {
                ::closedir(directory);
                return true;
            }
            if (known)
                ancestors.push_back(identity);

            const bool endsInSeparator = ! path.empty() && path.back() == '/';
            while (const dirent* entry = ::readdir(directory))
            {
                const char* name = entry->d_name;
                if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0 || std::strcmp(name, ".DS_Store") == 0)
                    continue;
                std::string childPath;
                childPath.reserve(path.size() + 1 + std::strlen(name));
                childPath += path;
                if (! endsInSeparator)
                    childPath += separator;
                childPath += name;
                if (isDirectoryEntry(*entry, childPath))
                {
                    if (includeDirectories)
                        children.emplace_back(childPath);
                    if (recursive)
                        scanDirectory(childPath, children, recursive, includeDirectories, ancestors);
                }
                else
                {
                    children.emplace_back(std::move(childPath));
                }
            }
            ::closedir(directory);
            if (known)
                ancestors.pop_back();
            return true;
        }
    }

    File::File(const std::string& path) : fullPath(path)
    {
    }

    File::File(std::string&& path) : fullPath(std::move(path))
    {
    }

    File::File(const char* path) : fullPath(path != nullptr ? path : "")
    {
    }

    std::string File::getNicePath() const
    {
        return makePathNice(fullPath);
    }

    std::string File::getAbsolutePath(const std::string& path)
    {
        return path;
    }

    std::string File::getFileName() const
    {
        const size_t slash = fullPath.rfind('/');
        return slash == std::string::npos ? fullPath : fullPath.substr(slash + 1);
    }

    std::string File::getExtension() const
    {
        const std::string name = getFileName();
        const size_t dot = name.rfind('.');
        return dot == std::string::npos ? std::string() : name.substr(dot + 1);
    }

    bool File::hasExtension(const std::string& extension) const
    {
        return toLower(getExtension()) == toLower(extension);
    }

    std::string File::getFilenameWithoutExtension() const
    {
        const std::string name = getFileName();
        return name.substr(0, name.find('.'));
    }

    File File::getDirectory() const
    {
        if (getExtension().empty())
            return *this;
        const size_t slash = fullPath.rfind('/');
        return File(slash == std::string::npos ? std::string() : fullPath.substr(0, slash + 1));
    }

    File File::getParentDirectory() const
    {
        const size_t slash = fullPath.rfind('/');
        return slash == std::string::npos ? *this : File(fullPath.substr(0, slash));
    }

    File File::getChildFile(const std::string& name) const
    {
        std::string path = getDirectory().fullPath;
        if (path.size() >= 2 && path.back() != '/')
            path += separator;
        return File(path + name);
    }

    bool File::exists() const
    {
        return doesFileOrDirectoryExist(fullPath);
    }

    bool File::existsAsFile() const
    {
        return doesFileExist(fullPath);
    }

    bool File::existsAsDirectory() const
    {
        return doesDirectoryExist(fullPath);
    }

    bool File::doesFileExist(const std::string& path)
    {
        struct stat info;
        return statPath(path, info) && ! S_ISDIR(info.st_mode);
    }

    bool File::doesDirectoryExist(const std::string& path)
    {
        struct stat info;
        return statPath(path, info) && S_ISDIR(info.st_mode);
    }

    bool File::doesFileOrDirectoryExist(const std::string& path)
    {
        return ! path.empty() && ::access(path.c_str(), F_OK) == 0;
    }

    bool File::create() const
    {
        if (fullPath.empty())
            return false;
        FILE* handle = std::fopen(fullPath.c_str(), "w+");
        if (handle == nullptr)
            return false;
        std::fclose(handle);
        return true;
    }

    bool File::createDirectory() const
    {
        const std::string directory = getDirectory().fullPath;
        return ! directory.empty() && ::mkdir(directory.c_str(), 0777) == 0;
    }

    bool File::deleteFile() const
    {
        return ! fullPath.empty() && std::remove(fullPath.c_str()) == 0;
    }

    unsigned int File::getFileSize() const
    {
        InputStream* stream = createInputStream(true);
        if (stream == nullptr)
            return 0;
        const unsigned long long size = stream->getTotalSize();
        delete stream;
        return size > 0xffffffffull ? 0xffffffffu : static_cast<unsigned int>(size);
    }

    std::string File::toString() const
    {
        InputStream* stream = createInputStream(true);
        if (stream == nullptr)
            return std::string();
        // Read to the end rather than trusting a measured size: the file may
        // change meanwhile or report none.
        std::string text;
        char chunk[16384];
        for (;;)
        {
            const unsigned long long got = stream->readBytes(chunk, sizeof(chunk));
            if (got == 0)
                break;
            const char* end = static_cast<const char*>(std::memchr(chunk, '\0', static_cast<size_t>(got)));
            if (end != nullptr)
            {
                text.append(chunk, static_cast<size_t>(end - chunk));
                break;
            }
            text.append(chunk, static_cast<size_t>(got));
        }
        delete stream;
        return text;
    }

    InputStream* File::createInputStream(bool binaryMode) const
    {
        if (fullPath.empty())
            return nullptr;
        FILE* handle = std::fopen(fullPath.c_str(), binaryMode ? "rb" : "r");
        return handle != nullptr ? new InputStreamFile(handle) : nullptr;
    }

    OutputStream* File::createOutputStream(bool binaryMode, bool truncate) const
    {
        if (fullPath.empty())
            return nullptr;
        const char* mode = truncate ? (binaryMode ? "wb" : "w") : (binaryMode ? "r+b" : "r+");
        FILE* handle = std::fopen(fullPath.c_str(), mode);
        return handle != nullptr ? new OutputStreamFile(handle) : nullptr;
    }

    bool File::scanForChildFiles(std::vector<File>& children, bool recursive, bool includeDirectories) const
    {
        if (! existsAsDirectory())
        {
            logPrint(logWarning, "%s: Could not scan for child files, '%s' does not exist as directory.",
                     "scanForChildFiles", fullPath.c_str());
            return false;
        }
        std::vector<DirectoryIdentity> ancestors;
        return scanDirectory(fullPath, children, recursive, includeDirectories, ancestors);
    }

    bool File::getFilesInDirectory(const File& directory, std::vector<File>& children, bool filesOnly)
    {
        return directory.scanForChildFiles(children, false, ! filesOnly);
    }

    void File::deleteFilesInDirectory(const File& directory, bool filesOnly)
    {
        std::vector<File> children;
        getFilesInDirectory(directory, children, filesOnly);
        for (const File& child : children)
            child.deleteFile();
    }

    File File::getCurrentDirectory()
    {
        // Grown until the path fits: working directories may be longer than
        // any fixed buffer.
        std::vector<char> buffer(1024);
        while (::getcwd(buffer.data(), buffer.size()) == nullptr)
        {
            if (errno != ERANGE || buffer.size() >= (1u << 24))
            {
                logPrint(logError, "getCurrentDirectory: cannot read the working directory (%s).",
                         std::strerror(errno));
                return File();
            }
            buffer.resize(buffer.size() * 2);
        }
        std::string path = makePathNice(buffer.data());
        if (path.empty() || path.back() != '/')
            path += separator;
        return File(path);
    }

    void File::setCurrentDirectory(const std::string& path)
    {
        currentDirectoryRecord() = File(path);
    }

    std::ostream& operator<<(std::ostream& stream, const File& file)
    {
        return stream << file.fullPath;
    }

    std::istream& operator>>(std::istream& stream, File& file)
    {
        return stream >> file.fullPath;
    }
}
