#include "support/VXRemountableFolder.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

namespace vx::test
{
    namespace
    {
        std::string failed(const std::string& what)
        {
            return what + ": " + std::strerror(errno);
        }

        bool writeAll(int fd, const std::string& bytes)
        {
            for (size_t done = 0; done < bytes.size();)
            {
                const ssize_t count = ::write(fd, bytes.data() + done, bytes.size() - done);
                if (count < 0 && errno == EINTR)
                    continue;
                if (count <= 0)
                    return false;
                done += size_t(count);
            }
            return true;
        }

        bool writeText(const char* path, const std::string& text)
        {
            const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
            if (fd < 0)
                return false;
            const bool written = writeAll(fd, text);
            ::close(fd);
            return written;
        }

        // Mount and user namespaces of the process's own (a mount namespace
        // alone where it may mount anyway); why not where refused.
        std::string enterOwnMounts()
        {
            const uid_t uid = ::getuid();
            const gid_t gid = ::getgid();
            if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) == 0)
            {
                writeText("/proc/self/setgroups", "deny");
                if (! writeText("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") ||
                    ! writeText("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1"))
                    return failed("no user map");
            }
            else if (::unshare(CLONE_NEWNS) != 0)
                return failed("no mount namespace");
            // Nothing mounted here reaches other namespaces.
            if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
                return failed("mounts not private");
            return {};
        }

        std::string mountFresh(const std::string& path)
        {
            if (::mount("vx-remountable", path.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "mode=0700") != 0)
                return failed("no tmpfs on '" + path + "'");
            return {};
        }

        struct Entry
        {
            std::string path;
            struct stat status;
            std::string bytes;
        };

        std::string readAll(const std::string& path, std::string& bytes)
        {
            const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
            if (fd < 0)
                return failed("cannot read '" + path + "'");
            char buffer[8192];
            ssize_t count = 0;
            while ((count = ::read(fd, buffer, sizeof buffer)) > 0 || (count < 0 && errno == EINTR))
                bytes.append(buffer, size_t(std::max<ssize_t>(count, 0)));
            ::close(fd);
            return count == 0 ? std::string() : failed("cannot read '" + path + "'");
        }

        std::string writeFile(const Entry& entry, const std::string& path)
        {
            const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, entry.status.st_mode & 07777);
            if (fd < 0)
                return failed("cannot create '" + path + "'");
            const bool written = writeAll(fd, entry.bytes);
            ::close(fd);
            return written ? std::string() : failed("cannot write '" + path + "'");
        }
    }

    RemountableFolder::RemountableFolder()
    {
        refusal = enterOwnMounts();
        if (refusal.empty())
            refusal = mountFresh(folder.path());
        isMounted = refusal.empty();
    }

    RemountableFolder::~RemountableFolder()
    {
        if (isMounted)
            ::umount2(folder.path().c_str(), MNT_DETACH);
    }

    std::string RemountableFolder::remount()
    {
        // Folders before what they hold.
        std::vector<Entry> entries;
        ino_t highest = 0;
        std::error_code error;
        for (const auto& item : std::filesystem::recursive_directory_iterator(path(), error))
        {
            Entry entry{item.path().string(), {}, {}};
            if (::lstat(entry.path.c_str(), &entry.status) != 0)
                return failed("cannot stat '" + entry.path + "'");
            if (! S_ISDIR(entry.status.st_mode) && ! S_ISREG(entry.status.st_mode))
                return "'" + entry.path + "' is neither a folder nor a file";
            if (S_ISREG(entry.status.st_mode))
                if (std::string why = readAll(entry.path, entry.bytes); ! why.empty())
                    return why;
            highest = std::max(highest, entry.status.st_ino);
            entries.push_back(std::move(entry));
        }
        if (error)
            return "cannot list '" + path() + "': " + error.message();

        if (isMounted)
        {
            if (::umount2(path().c_str(), 0) != 0)
                return failed("cannot unmount '" + path() + "'");
            isMounted = false;
            if (std::string why = mountFresh(path()); ! why.empty())
                return why;
            isMounted = true;
            // A fresh tmpfs may number its files from the start again: the
            // numbers up to the highest the files had are used up first.
            const std::string spare = path() + "/.spare";
            for (int tries = 0; tries < 100000; ++tries)
            {
                const int fd = ::open(spare.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
                struct stat status {};
                const bool past = fd >= 0 && ::fstat(fd, &status) == 0 && status.st_ino > highest;
                if (fd >= 0)
                    ::close(fd);
                ::unlink(spare.c_str());
                if (fd < 0 || past)
                    break;
            }
            for (const Entry& entry : entries)
            {
                std::string why;
                if (S_ISDIR(entry.status.st_mode))
                    why = ::mkdir(entry.path.c_str(), entry.status.st_mode & 07777) == 0
                              ? std::string()
                              : failed("cannot make '" + entry.path + "'");
                else
                    why = writeFile(entry, entry.path);
                if (! why.empty())
                    return why;
            }
        }
        else
            for (const Entry& entry : entries)
            {
                if (S_ISDIR(entry.status.st_mode))
                    continue;
                const std::string copy = entry.path + ".remount";
                if (std::string why = writeFile(entry, copy); ! why.empty())
                    return why;
                if (::rename(copy.c_str(), entry.path.c_str()) != 0)
                    return failed("cannot replace '" + entry.path + "'");
            }

        // Times last, what a folder holds before the folder: filling a
        // folder changes its own.
        for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry)
        {
            const timespec times[2] = {entry->status.st_atim, entry->status.st_mtim};
            struct stat now {};
            if (::utimensat(AT_FDCWD, entry->path.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0 ||
                ::lstat(entry->path.c_str(), &now) != 0)
                return failed("cannot put back the times of '" + entry->path + "'");
            if (S_ISREG(now.st_mode) && now.st_ino == entry->status.st_ino)
                return "'" + entry->path + "' came back under its inode number";
        }
        return {};
    }
}
