#pragma once

#include "support/VXTempDir.h"

#include <string>

namespace vx::test
{
    // A folder on a file system of its own that can be unmounted and mounted
    // again, as a stick or card unplugged and back: a tmpfs, mounted in
    // mount and user namespaces the process enters (so it needs no
    // privileges, and no other process sees the mounts). Entering them
    // needs a process of one thread: make it first thing in a fresh
    // process (a death test's "threadsafe" child). Where the system refuses
    // the namespaces or the mount, the folder is a plain one and remount
    // gives only its effect.
    class RemountableFolder
    {
    public:
        RemountableFolder();
        // Unmounts the file system first.
        ~RemountableFolder();
        RemountableFolder(const RemountableFolder&) = delete;
        RemountableFolder& operator=(const RemountableFolder&) = delete;

        // The folder, without a trailing "/".
        const std::string& path() const { return folder.path(); }
        // Whether it has a file system of its own; else why not.
        bool mounted() const { return isMounted; }
        const std::string& whyNotMounted() const { return refusal; }

        // Unmounts the file system and mounts a fresh one holding the same
        // folders and files, bytes and times alike; every file comes back
        // under another inode number. Unmounted, each file is copied in
        // place with its times instead. Answers what went wrong, or empty.
        std::string remount();

    private:
        TempDir folder;
        bool isMounted = false;
        std::string refusal;
    };
}
