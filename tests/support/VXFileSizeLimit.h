#pragma once

#include <sys/resource.h>

#include <csignal>

namespace vx::test
{
    // A full disk, deterministically and without privileges: while it lives,
    // no file of this process grows past maxBytes (RLIMIT_FSIZE), and a write
    // that would answers EFBIG instead of raising SIGXFSZ. Both come back on
    // destruction. Process-wide: hold it only around the call under test.
    class FileSizeLimit
    {
    public:
        explicit FileSizeLimit(rlim_t maxBytes);
        ~FileSizeLimit();
        FileSizeLimit(const FileSizeLimit&) = delete;
        FileSizeLimit& operator=(const FileSizeLimit&) = delete;

    private:
        struct rlimit previousLimit {};
        struct sigaction previousAction {};
    };
}
