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

#include <gtest/gtest.h>

#include "VXTestWindows.h"

extern char** environ;

namespace vx::test
{
    namespace
    {
        // Set in the owner's environment: "<display> <x> <y> <width> <height> <pid property>".
        const char* const ownerVariable = "VX_X11_WINDOW_OWNER";

        // The owner's whole life: shows the window, tells its id and each
        // press on its windows ("press <window> <x> <y>") on the output;
        // takes commands, a line each, on the input ("popup <x> <y> <width>
        // <height>", answered "popup <window>"; "grab <window>", answered
        // "grab 1" when granted, else "grab 0"; "sync", answered "synced"
        // once every event sent before has been told); ends when its input
        // closes.
        [[noreturn]] void runOwner(const char* place)
        {
            char display[64] = {};
            int x = 0, y = 0, width = 0, height = 0;
            long pidProperty = 0;
            if (std::sscanf(place, "%63s %d %d %d %d %ld", display, &x, &y, &width, &height, &pidProperty) != 6)
                _exit(2);
            TestWindows windows(display);
            if (! windows.isConnected())
                _exit(3);
            const long pid = pidProperty != 0 ? pidProperty : long(getpid());
            const xcb_window_t window = windows.create(x, y, width, height, {"owned", "", "owner", "Owner", pid});
            dprintf(1, "window %u\n", unsigned(window));
            auto tellPresses = [&windows]
            {
                for (const TestWindows::Press& press : windows.takeButtonPresses())
                    dprintf(1, "press %u %d %d\n", unsigned(press.window), press.x, press.y);
            };
            std::string commands;
            pollfd waits[2] = {{windows.getFileDescriptor(), POLLIN, 0}, {0, POLLIN, 0}};
            for (;;)
            {
                tellPresses();
                if (poll(waits, 2, -1) < 0 && errno != EINTR)
                    _exit(4);
                if ((waits[0].revents & (POLLERR | POLLHUP)) != 0)
                    _exit(5);
                if (waits[1].revents == 0)
                    continue;
                char bytes[256];
                const ssize_t got = read(0, bytes, sizeof(bytes));
                if (got <= 0)
                    _exit(0);
                commands.append(bytes, size_t(got));
                for (size_t end = commands.find('\n'); end != std::string::npos; end = commands.find('\n'))
                {
                    const std::string command = commands.substr(0, end);
                    commands.erase(0, end + 1);
                    int left = 0, top = 0, popUpWidth = 0, popUpHeight = 0;
                    unsigned grabbed = 0;
                    if (command == "sync")
                    {
                        windows.sync();
                        tellPresses();
                        dprintf(1, "synced\n");
                    }
                    else if (std::sscanf(command.c_str(), "popup %d %d %d %d", &left, &top, &popUpWidth,
                                         &popUpHeight) == 4)
                    {
                        TestWindows::Properties properties{"menu", "", "owner", "Owner", pid};
                        properties.popUp = true;
                        const xcb_window_t popUp = windows.create(left, top, popUpWidth, popUpHeight, properties);
                        dprintf(1, "popup %u\n", unsigned(popUp));
                    }
                    else if (std::sscanf(command.c_str(), "grab %u", &grabbed) == 1)
                        dprintf(1, "grab %d\n", windows.grabPointer(xcb_window_t(grabbed)) ? 1 : 0);
                }
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

    WindowOwnerProcess::WindowOwnerProcess(const std::string& displayName, int x, int y, int width, int height,
                                           long pidProperty)
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
        // Appended in place: on a chain of + over temporaries, GCC 12 at -O2
        // warns falsely of a copy past the end of a short string it moves.
        std::string owner = ownerVariable;
        owner.append("=").append(displayName);
        for (const long value : {long(x), long(y), long(width), long(height), pidProperty})
            owner.append(" ").append(std::to_string(value));
        variables.push_back(std::move(owner));
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
                unsigned window = 0;
                int x = -1, y = -1;
                if (std::sscanf(line.c_str(), "press %u %d %d", &window, &x, &y) == 3)
                    presses.push_back({xcb_window_t(window), x, y});
                return true;
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0 || reports < 0)
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

    void WindowOwnerProcess::tell(const std::string& command)
    {
        const std::string line = command + "\n";
        // An owner that has ended makes the write fail, not this program end.
        struct sigaction ignore = {}, previous = {};
        ignore.sa_handler = SIG_IGN;
        sigaction(SIGPIPE, &ignore, &previous);
        const bool taken = commands >= 0 && write(commands, line.data(), line.size()) == ssize_t(line.size());
        sigaction(SIGPIPE, &previous, nullptr);
        if (! taken)
            ADD_FAILURE() << "the window owner did not take \"" << command << "\"";
    }

    std::pair<int, int> WindowOwnerProcess::waitForButtonPress(int timeoutMs, xcb_window_t on)
    {
        const xcb_window_t pressed = on != XCB_NONE ? on : window;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        std::string line;
        for (;;)
        {
            for (auto press = presses.begin(); press != presses.end(); ++press)
                if (press->window == pressed)
                {
                    const std::pair<int, int> where{press->x, press->y};
                    presses.erase(presses.begin(), press + 1);
                    return where;
                }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0 || ! readLine(line, int(left.count())))
                return {-1, -1};
        }
    }

    xcb_window_t WindowOwnerProcess::openPopUp(int x, int y, int width, int height)
    {
        tell("popup " + std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(width) + " " +
             std::to_string(height));
        std::string line;
        unsigned popUp = 0;
        while (readLine(line, 30000))
            if (std::sscanf(line.c_str(), "popup %u", &popUp) == 1)
                return xcb_window_t(popUp);
        return XCB_NONE;
    }

    bool WindowOwnerProcess::grabPointer(xcb_window_t popUp)
    {
        tell("grab " + std::to_string(popUp));
        std::string line;
        int granted = 0;
        while (readLine(line, 30000))
            if (std::sscanf(line.c_str(), "grab %d", &granted) == 1)
                return granted == 1;
        return false;
    }

    std::vector<xcb_window_t> WindowOwnerProcess::takePressedWindows()
    {
        std::vector<xcb_window_t> pressed;
        for (const Press& press : takePresses())
            pressed.push_back(press.window);
        return pressed;
    }

    std::vector<WindowOwnerProcess::Press> WindowOwnerProcess::takePresses()
    {
        tell("sync");
        std::string line;
        bool synced = false;
        while (! synced && readLine(line, 30000))
            synced = line == "synced";
        if (! synced)
            ADD_FAILURE() << "the window owner did not answer";
        std::vector<Press> taken;
        taken.swap(presses);
        return taken;
    }
}
