#include "platform/avcapture/VXV4L2System.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace vx::v4l2
{
    namespace
    {
        class KernelCalls : public System
        {
        public:
            std::vector<std::string> listNodes() override
            {
                std::vector<std::string> nodes;
                DIR* dev = ::opendir("/dev");
                if (dev == nullptr)
                    return nodes;
                while (const dirent* entry = ::readdir(dev))
                    if (std::strncmp(entry->d_name, "video", 5) == 0)
                        nodes.push_back(std::string("/dev/") + entry->d_name);
                ::closedir(dev);
                // video2 before video10
                std::sort(nodes.begin(), nodes.end(), [](const std::string& a, const std::string& b)
                          { return a.size() != b.size() ? a.size() < b.size() : a < b; });
                return nodes;
            }

            int open(const std::string& path, int flags) override { return ::open(path.c_str(), flags | O_CLOEXEC); }
            int close(int fd) override { return ::close(fd); }

            int ioctl(int fd, unsigned long request, void* argument) override
            {
                int result;
                do
                    result = ::ioctl(fd, request, argument);
                while (result == -1 && errno == EINTR);
                return result;
            }

            void* mapBuffer(int fd, size_t length, off_t offset) override
            {
                void* address = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, fd, offset);
                return address == MAP_FAILED ? nullptr : address;
            }

            int unmapBuffer(void* address, size_t length) override { return ::munmap(address, length); }

            int poll(int fd, int timeoutMs, short& revents) override
            {
                pollfd watched{fd, POLLIN, 0};
                const int result = ::poll(&watched, 1, timeoutMs);
                revents = watched.revents;
                return result;
            }
        };
    }

    std::shared_ptr<System> getSystemCalls()
    {
        static const std::shared_ptr<System> calls = std::make_shared<KernelCalls>();
        return calls;
    }
}
