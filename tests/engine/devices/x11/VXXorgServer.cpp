#include "VXXorgServer.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vx::test
{
    namespace
    {
        // One output at 1920x1080 on a screen that can grow to 3840x2160, at
        // depth 24 unless said otherwise.
        const char* configuration = R"(Section "ServerFlags"
  Option "AutoAddDevices" "false"
  Option "AutoAddGPU" "false"
  Option "DontVTSwitch" "true"
EndSection
Section "Device"
  Identifier "dummy"
  Driver "dummy"
  VideoRam 256000
EndSection
Section "Monitor"
  Identifier "monitor"
  HorizSync 5.0-1000.0
  VertRefresh 5.0-200.0
EndSection
Section "Screen"
  Identifier "screen"
  Device "dummy"
  Monitor "monitor"
  DefaultDepth @
  SubSection "Display"
    Depth @
    Modes "1920x1080" "1280x720"
    Virtual 3840 2160
  EndSubSection
EndSection
)";

        std::string findXorg()
        {
            for (const char* path : {"/usr/lib/xorg/Xorg", "/usr/bin/Xorg"})
                if (access(path, X_OK) == 0)
                    return path;
            return {};
        }

        std::string tail(const std::string& path)
        {
            std::ifstream file(path);
            std::vector<std::string> lines;
            for (std::string line; std::getline(file, line);)
                if (line.find("(EE)") != std::string::npos)
                    lines.push_back(line);
            std::string text;
            for (size_t i = lines.size() > 3 ? lines.size() - 3 : 0; i < lines.size(); ++i)
                text += " " + lines[i];
            return text;
        }
    }

    XorgServer::XorgServer() : XorgServer(Options())
    {
    }

    XorgServer::XorgServer(const Options& options)
    {
        start(options);
    }

    XorgServer::~XorgServer()
    {
        stop();
        if (! folder.empty())
        {
            std::error_code ignored;
            std::filesystem::remove_all(folder, ignored);
        }
    }

    void XorgServer::start(const Options& options)
    {
        const std::string xorg = findXorg();
        if (xorg.empty() || access("/usr/lib/xorg/modules/drivers/dummy_drv.so", R_OK) != 0)
        {
            whyNot = "Xorg or its dummy video driver is not installed (scripts/install-deps)";
            return;
        }
        if (geteuid() != 0)
        {
            whyNot = "Xorg with a configuration of its own needs root";
            return;
        }
        char pattern[] = "/tmp/vx-xorg-XXXXXX";
        if (mkdtemp(pattern) == nullptr)
        {
            whyNot = "no temporary folder";
            return;
        }
        folder = pattern;
        std::filesystem::create_directory(folder + "/conf.d");
        std::string text = configuration;
        for (size_t at = text.find('@'); at != std::string::npos; at = text.find('@'))
            text.replace(at, 1, std::to_string(options.depth));
        std::ofstream(folder + "/xorg.conf") << text;

        int ready[2];
        if (pipe2(ready, O_CLOEXEC) != 0)
        {
            whyNot = "no pipe";
            return;
        }
        const std::string logFile = folder + "/Xorg.log";
        // Everything the child needs is made before the fork: it may not allocate.
        const std::string readyFd = std::to_string(ready[1]);
        const std::string config = folder + "/xorg.conf", configDir = folder + "/conf.d";
        std::vector<std::string> words = {xorg,         "-displayfd", readyFd,       "-config",   config,
                                          "-configdir", configDir,    "-logfile",    logFile,     "-noreset",
                                          "-nolisten",  "tcp",        "-novtswitch", "-sharevts", "-quiet"};
        words.insert(words.end(), options.arguments.begin(), options.arguments.end());
        std::vector<char*> argv;
        for (std::string& word : words)
            argv.push_back(word.data());
        argv.push_back(nullptr);
        const pid_t parent = getpid();
        const pid_t child = fork();
        if (child == 0)
        {
            // Dies with the test; the display number comes back on the pipe.
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            if (getppid() != parent)
                _exit(1);
            const int quiet = open("/dev/null", O_RDWR);
            dup2(quiet, 0);
            dup2(quiet, 1);
            dup2(quiet, 2);
            fcntl(ready[1], F_SETFD, 0);
            execv(xorg.c_str(), argv.data());
            _exit(127);
        }
        close(ready[1]);
        if (child < 0)
        {
            close(ready[0]);
            whyNot = "fork failed";
            return;
        }
        pid = child;

        std::string number;
        pollfd wait{ready[0], POLLIN, 0};
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < deadline && number.find('\n') == std::string::npos)
        {
            if (poll(&wait, 1, 200) <= 0)
                continue;
            char bytes[16];
            const ssize_t got = read(ready[0], bytes, sizeof(bytes));
            if (got <= 0)
                break;
            number.append(bytes, size_t(got));
        }
        close(ready[0]);
        if (number.find('\n') == std::string::npos)
        {
            stop();
            whyNot = "Xorg did not start:" + tail(logFile);
            return;
        }
        displayName = ":" + number.substr(0, number.find('\n'));
    }

    void XorgServer::stop()
    {
        if (pid <= 0)
            return;
        kill(pid, SIGTERM);
        kill(pid, SIGCONT);
        for (int i = 0; i < 100; ++i)
        {
            if (waitpid(pid, nullptr, WNOHANG) == pid)
            {
                pid = -1;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        pid = -1;
    }

    bool XorgServer::signal(int number) const
    {
        return isRunning() && kill(pid, number) == 0;
    }

    bool XorgServer::xrandr(const std::string& arguments) const
    {
        if (! isRunning())
            return false;
        const std::string command = "DISPLAY=" + displayName + " xrandr " + arguments + " >/dev/null 2>&1";
        return std::system(command.c_str()) == 0;
    }
}
