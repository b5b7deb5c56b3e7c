#pragma once

#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

namespace vx::v4l2
{
    // The system calls the camera backend makes, one virtual each so tests
    // can put a device of their own behind them. Failures answer -1 (null
    // from mapBuffer) with errno set, as the calls themselves do. Any thread.
    class System
    {
    public:
        virtual ~System() = default;
        // The device nodes that may be cameras ("/dev/video0" ...), sorted.
        virtual std::vector<std::string> listNodes() = 0;
        virtual int open(const std::string& path, int flags) = 0;
        virtual int close(int fd) = 0;
        virtual int ioctl(int fd, unsigned long request, void* argument) = 0;
        // mmap of a shared, readable and writable buffer; null on failure.
        virtual void* mapBuffer(int fd, size_t length, off_t offset) = 0;
        virtual int unmapBuffer(void* address, size_t length) = 0;
        // poll for input on fd: 1 with revents, 0 on time-out, -1 on error.
        virtual int poll(int fd, int timeoutMs, short& revents) = 0;
    };

    // The kernel's calls (ioctl restarted on EINTR).
    std::shared_ptr<System> getSystemCalls();
}
