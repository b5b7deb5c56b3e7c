#include "support/VXFileSizeLimit.h"

#include <gtest/gtest.h>

namespace vx::test
{
    FileSizeLimit::FileSizeLimit(rlim_t maxBytes)
    {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        EXPECT_EQ(sigaction(SIGXFSZ, &ignore, &previousAction), 0);
        EXPECT_EQ(getrlimit(RLIMIT_FSIZE, &previousLimit), 0);
        struct rlimit limited = previousLimit;
        limited.rlim_cur = maxBytes;
        EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    }

    FileSizeLimit::~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &previousLimit);
        sigaction(SIGXFSZ, &previousAction, nullptr);
    }
}
