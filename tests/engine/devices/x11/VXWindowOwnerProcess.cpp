#include "VXWindowOwnerProcess.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "VXTestWindows.h"

extern char** environ;

namespace vx::test
{
    namespace
    {
        // Set in the owner's environment: "<display> <x> <y> <width> <height>".
        const char* const ownerVariable = "VX_X11_WINDOW_OWNER";

        // The owner's whole life: shows the window, tells its id and each
        // press on it on the output, ends when its input closes.
        [[noreturn]] void runOwner(const char* place)
        {
            char display[64] = {};
            int x = 0, y = 0, width = 0, height = 0;
            if (std::sscanf(place, "%63s %d %d %d %d", display, &x, &y, &width, &height) != 5)
                _exit(2);
            TestWindows windows(display);
            if (! windows.isConnected())
                _exit(3);
            const xcb_window_t window = windows.create(x, y, width, height, {"owned", "", "owner", "Owner", getpid()});
            dprintf(1, "window %u\n", unsigned(window));
            pollfd waits[2] = {{windows.getFileDescriptor(), POLLIN, 0}, {0, POLLIN, 0}};
            for (;;)
            {
                for (const auto& [pressX, pressY] : windows.takeButtonPresses(window))
                    dprintf(1, "press %d %d\n", pressX, pressY);
                if (poll(waits, 2, -1) < 0 && errno != EINTR)
                    _exit(4);
                if ((waits[0].revents & (POLLERR | POLLHUP)) != 0)
                    _exit(5);
                char bytes[16];
                if (waits[1].revents != 0 && read(0, bytes, sizeof(bytes)) <= 0)
                    _exit(0);
            }
        }

        // The program started as an owner is that and nothing else: no test runs.
        [[maybe_unused]] const bool startedAsOwner = []
        {
            if (const char* place = std::getenv(ownerVariable))
                runOwner(place);
            return false;
        }();
    }

    WindowOwnerProcess::WindowOwnerProcess(const std::string& displayName, int x, int y, int width, int height)
    {
        int input[2], output[2];
        if (pipe2(input, O_CLOEXEC) != 0)
        {
            whyNot = "no pipe";
            return;
        }
        if (pipe2(output, O_CLOEXEC) != 0)
        {
            close(input[0]);
            close(input[1]);
            whyNot = "no pipe";
            return;
        }
        // Everything the child needs is made before the fork: it may not allocate.
        std::vector<std::string> variables;
        for (char** variable = environ; *variable != nullptr; ++variable)
            if (std::strncmp(*variable, ownerVariable, std::strlen(ownerVariable)) != 0)
                variables.emplace_back(*variable);
        variables.push_back(std::string(ownerVariable) + "=" + displayName + " " + std::to_string(x) + " " +
                            std::to_string(y) + " " + std::to_string(width) + " " + std::to_string(height));
        std::vector<char*> envp;
        for (std::string& variable : variables)
            envp.push_back(variable.data());
        envp.push_back(nullptr);
        char name[] = "vx-window-owner";
        char* argv[] = {name, nullptr};
        const pid_t parent = getpid();
        pid = fork();
        if (pid == 0)
        {
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (getppid() != parent)
                _exit(1);
            dup2(input[0], 0);
            dup2(output[1], 1);
            execve("/proc/self/exe", argv, envp.data());
            _exit(127);
        }
        close(input[0]);
        close(output[1]);
        commands = input[1];
        reports = output[0];
        if (pid < 0)
        {
            whyNot = "fork failed";
            return;
        }
        std::string line;
        unsigned id = 0;
        if (! readLine(line, 30000) || std::sscanf(line.c_str(), "window %u", &id) != 1)
        {
            whyNot = "the owner did not tell its window";
            return;
        }
        window = xcb_window_t(id);
    }

    WindowOwnerProcess::~WindowOwnerProcess()
    {
        stop();
    }

    void WindowOwnerProcess::stop()
    {
        if (commands >= 0)
            close(commands);
        commands = -1;
        if (pid > 0)
        {
            // It ends as its input closes; killed when it does not in time.
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
            while (waitpid(pid, nullptr, WNOHANG) == 0)
            {
                if (std::chrono::steady_clock::now() > deadline)
                {
                    kill(pid, SIGKILL);
                    waitpid(pid, nullptr, 0);
                    break;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            pid = -1;
        }
        if (reports >= 0)
            close(reports);
        reports = -1;
    }

    bool WindowOwnerProcess::readLine(std::string& line, int timeoutMs)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;)
        {
            const size_t end = unread.find('\n');
            if (end != std::string::npos)
            {
                line = unread.substr(0, end);
                unread.erase(0, end + 1);
                return true;
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return false;
            pollfd wait{reports, POLLIN, 0};
            if (poll(&wait, 1, int(left.count())) <= 0)
                continue;
            char bytes[256];
            const ssize_t got = read(reports, bytes, sizeof(bytes));
            if (got <= 0)
                return false;
            unread.append(bytes, size_t(got));
        }
    }

    std::pair<int, int> WindowOwnerProcess::waitForButtonPress(int timeoutMs)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        std::string line;
        while (reports >= 0)
        {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0 || ! readLine(line, int(left.count())))
                break;
            int x = -1, y = -1;
            if (std::sscanf(line.c_str(), "press %d %d", &x, &y) == 2)
                return {x, y};
        }
        return {-1, -1};
    }
}
