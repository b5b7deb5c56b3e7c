#include "VXMDNSDaemon.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <dirent.h>
#include <dns_sd.h>
#include <fcntl.h>
#include <net/if.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include "core/VXTime.h"

namespace vx::test
{
    namespace
    {
        using Clock = std::chrono::steady_clock;

        // The process's folder for the daemons' files; the bus address points
        // into it from the first use on. Removed at exit.
        const char* daemonFiles[] = {"bus", "bus.conf", "responder.conf", "bus.log", "responder.log"};

        void removeFolder(const std::string& path)
        {
            for (const char* name : daemonFiles)
                unlink((path + "/" + name).c_str());
            rmdir(path.c_str());
        }

        // A process that died without its exit path left its folder
        // ("vx-mdns-<pid>-..."): removed by the next one.
        void removeFoldersOfEndedProcesses()
        {
            DIR* temporary = opendir("/tmp");
            if (temporary == nullptr)
                return;
            while (const dirent* entry = readdir(temporary))
            {
                int pid = 0;
                if (std::sscanf(entry->d_name, "vx-mdns-%d-", &pid) == 1 && pid > 0 && kill(pid, 0) != 0 &&
                    errno == ESRCH)
                    removeFolder(std::string("/tmp/") + entry->d_name);
            }
            closedir(temporary);
        }

        struct Folder
        {
            Folder()
            {
                removeFoldersOfEndedProcesses();
                std::string pattern = "/tmp/vx-mdns-" + std::to_string(getpid()) + "-XXXXXX";
                if (mkdtemp(pattern.data()) == nullptr)
                    return;
                path = pattern;
                setenv("DBUS_SYSTEM_BUS_ADDRESS", ("unix:path=" + path + "/bus").c_str(), 1);
                setenv("AVAHI_COMPAT_NOWARN", "1", 1);
            }
            ~Folder()
            {
                if (! path.empty())
                    removeFolder(path);
            }
            std::string path;
        };

        Folder& folder()
        {
            static Folder made;
            return made;
        }

        // The bus address is in place before anything of the program can ask
        // the bus library for the system bus (which keeps the first answer).
        [[maybe_unused]] const bool folderAtStart = (folder(), true);

        bool writeFile(const std::string& path, const std::string& text)
        {
            std::ofstream out(path, std::ios::trunc);
            out << text;
            return bool(out);
        }

        std::string readFile(const std::string& path)
        {
            std::ifstream in(path);
            std::stringstream text;
            text << in.rdbuf();
            return text.str();
        }

        void say(const char* text)
        {
            const ssize_t ignored = write(2, text, std::strlen(text));
            (void) ignored;
        }

        // Starts program (argv[0], a full path) with its output in logPath; it
        // is killed when this thread's process ends. With privateRun it gets
        // its own mount namespace (a private /run) and network namespace
        // (loopback only, up). Between fork and exec only system calls run.
        pid_t spawn(const std::vector<std::string>& arguments, const std::string& logPath, bool privateRun)
        {
            std::vector<char*> argv;
            for (const std::string& argument : arguments)
                argv.push_back(const_cast<char*>(argument.c_str()));
            argv.push_back(nullptr);
            const int log = open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
            if (log < 0)
                return -1;
            const pid_t parent = getpid();
            const pid_t child = fork();
            if (child != 0)
            {
                close(log);
                return child;
            }
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (getppid() != parent)
                _exit(125);
            dup2(log, 1);
            dup2(log, 2);
            // Nothing of the test's (sockets, the DNS-SD library's pipes) may
            // stay open in a daemon.
            close_range(3, ~0u, 0);
            if (privateRun)
            {
                if (unshare(CLONE_NEWNS | CLONE_NEWNET) != 0)
                {
                    say("test fixture: unshare of mount and network namespaces failed (root needed)\n");
                    _exit(126);
                }
                if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                    mount("tmpfs", "/run", "tmpfs", MS_NOSUID | MS_NODEV, "mode=0755") != 0 ||
                    mkdir("/run/avahi-daemon", 0755) != 0)
                {
                    say("test fixture: a private /run could not be mounted\n");
                    _exit(126);
                }
                const int control = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
                ifreq request{};
                std::memcpy(request.ifr_name, "lo", 3);
                if (control < 0 || ioctl(control, SIOCGIFFLAGS, &request) != 0)
                    _exit(126);
                request.ifr_flags = short(request.ifr_flags | IFF_UP);
                if (ioctl(control, SIOCSIFFLAGS, &request) != 0)
                {
                    say("test fixture: the loopback interface could not be brought up\n");
                    _exit(126);
                }
                close(control);
            }
            execv(argv[0], argv.data());
            say("test fixture: exec failed: ");
            say(argv[0]);
            say(" (is the package installed? scripts/install-deps)\n");
            _exit(127);
        }

        // Waits for the child to end (at most timeoutMs); true when it did.
        bool reap(pid_t child, int timeoutMs)
        {
            const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
            for (;;)
            {
                const pid_t ended = waitpid(child, nullptr, WNOHANG);
                if (ended == child || (ended < 0 && errno == ECHILD))
                    return true;
                if (Clock::now() >= end)
                    return false;
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        }

        void end(pid_t& child)
        {
            if (child <= 0)
                return;
            kill(child, SIGTERM);
            kill(child, SIGCONT); // a frozen one ends at once too
            if (! reap(child, 5000))
            {
                kill(child, SIGKILL);
                reap(child, 5000);
            }
            child = -1;
        }

        bool exited(pid_t child)
        {
            return waitpid(child, nullptr, WNOHANG) == child;
        }

        bool busAnswers(const std::string& socketPath)
        {
            const int probe = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            std::strncpy(address.sun_path, socketPath.c_str(), sizeof(address.sun_path) - 1);
            const bool answers = connect(probe, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
            close(probe);
            return answers;
        }

        const char* busConfig = R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path=@FOLDER@/bus</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow own="*"/>
    <allow send_type="method_call"/>
    <allow send_type="signal"/>
    <allow send_requested_reply="true" send_type="method_return"/>
    <allow send_requested_reply="true" send_type="error"/>
    <allow receive_type="method_call"/>
    <allow receive_type="method_return"/>
    <allow receive_type="error"/>
    <allow receive_type="signal"/>
  </policy>
</busconfig>
)";

        // Loopback only (the namespace has nothing else); no reflector, no
        // workstation or domain records, no wide-area look-ups.
        const char* responderConfig = R"([server]
host-name=@HOST@
use-ipv4=yes
use-ipv6=no
allow-interfaces=lo
enable-dbus=yes
ratelimit-interval-usec=1000000
ratelimit-burst=1000
[wide-area]
enable-wide-area=no
[publish]
publish-addresses=yes
publish-hinfo=no
publish-workstation=no
publish-domain=no
[reflector]
enable-reflector=no
)";

        std::string substitute(std::string text, const std::string& key, const std::string& value)
        {
            for (size_t at = text.find(key); at != std::string::npos; at = text.find(key))
                text.replace(at, key.size(), value);
            return text;
        }
    }

    MDNSDaemon::~MDNSDaemon()
    {
        stop();
    }

    bool MDNSDaemon::start(std::string& whyNot)
    {
        return startBus(whyNot) && startResponder(whyNot);
    }

    bool MDNSDaemon::startBus(std::string& whyNot)
    {
        stop();
        const std::string& dir = folder().path;
        if (dir.empty())
        {
            whyNot = "no temporary folder for the daemons";
            return false;
        }
        const std::string host = "vxtest" + std::to_string(getpid());
        hostName = host + ".local.";
        if (! writeFile(dir + "/bus.conf", substitute(busConfig, "@FOLDER@", dir)) ||
            ! writeFile(dir + "/responder.conf", substitute(responderConfig, "@HOST@", host)))
        {
            whyNot = "cannot write the daemons' configuration in " + dir;
            return false;
        }

        const std::string socketPath = dir + "/bus";
        unlink(socketPath.c_str());
        bus = spawn({"/usr/bin/dbus-daemon", "--nofork", "--nopidfile", "--config-file=" + dir + "/bus.conf"},
                    dir + "/bus.log", false);
        const auto deadline = Clock::now() + std::chrono::seconds(30);
        while (bus > 0 && ! busAnswers(socketPath))
        {
            if (exited(bus) || Clock::now() >= deadline)
            {
                whyNot = "the message bus (dbus-daemon) did not start: " + readFile(dir + "/bus.log");
                bus = -1;
                stop();
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        if (bus <= 0)
        {
            whyNot = "cannot start dbus-daemon";
            return false;
        }
        return true;
    }

    bool MDNSDaemon::startResponder(std::string& whyNot)
    {
        stopResponder();
        const std::string& dir = folder().path;
        if (bus <= 0)
        {
            whyNot = "the responder needs the message bus started first";
            return false;
        }
        const auto deadline = Clock::now() + std::chrono::seconds(30);
        responderLog = dir + "/responder.log";
        responder = spawn({"/usr/sbin/avahi-daemon", "--no-drop-root", "--no-chroot", "--no-rlimits",
                           "--no-proc-title", "-f", dir + "/responder.conf"},
                          responderLog, true);
        while (responder > 0 && readFile(responderLog).find("Server startup complete") == std::string::npos)
        {
            if (exited(responder) || Clock::now() >= deadline)
            {
                whyNot = "the mDNS responder (avahi-daemon) did not start: " + readFile(responderLog);
                responder = -1;
                stop();
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        if (responder <= 0)
        {
            whyNot = "cannot start avahi-daemon";
            stop();
            return false;
        }
        return true;
    }

    void MDNSDaemon::stopResponder()
    {
        end(responder);
    }

    void MDNSDaemon::freezeResponder()
    {
        if (responder > 0)
            kill(responder, SIGSTOP);
    }

    void MDNSDaemon::thawResponder()
    {
        if (responder > 0)
            kill(responder, SIGCONT);
    }

    void MDNSDaemon::stop()
    {
        end(responder);
        end(bus);
    }

    std::string MDNSDaemon::lookUpAddress(const std::string& host, int timeoutMs)
    {
        struct Answer
        {
            bool done = false;
            std::string address;
        } answer;
        const auto reply = [](DNSServiceRef, DNSServiceFlags, uint32_t, DNSServiceErrorType error, const char*,
                              uint16_t type, uint16_t, uint16_t length, const void* data, uint32_t, void* context)
        {
            auto* found = static_cast<Answer*>(context);
            found->done = true;
            char text[INET_ADDRSTRLEN] = "";
            if (error == kDNSServiceErr_NoError && type == kDNSServiceType_A && length == 4 &&
                inet_ntop(AF_INET, data, text, sizeof(text)) != nullptr)
                found->address = text;
        };
        DNSServiceRef query = nullptr;
        if (DNSServiceQueryRecord(&query, 0, 0, host.c_str(), kDNSServiceType_A, kDNSServiceClass_IN, reply,
                                  &answer) != kDNSServiceErr_NoError)
            return {};
        const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (! answer.done)
        {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
            pollfd descriptor{DNSServiceRefSockFD(query), POLLIN, 0};
            if (left <= 0 || poll(&descriptor, 1, int(left)) <= 0 ||
                DNSServiceProcessResult(query) != kDNSServiceErr_NoError)
                break;
        }
        DNSServiceRefDeallocate(query);
        return answer.address;
    }

    MDNSAnnouncements::MDNSAnnouncements(const std::string& type)
    {
        const auto reply = [](DNSServiceRef, DNSServiceFlags flags, uint32_t, DNSServiceErrorType error,
                              const char* name, const char*, const char*, void* context)
        {
            if (error == kDNSServiceErr_NoError && name != nullptr)
                static_cast<MDNSAnnouncements*>(context)->note(name, (flags & kDNSServiceFlagsAdd) != 0);
        };
        DNSServiceRef ref = nullptr;
        browsing = DNSServiceBrowse(&ref, 0, 0, type.c_str(), nullptr, reply, this) == kDNSServiceErr_NoError;
        if (! browsing)
            return;
        browse = ref;
        thread = std::thread([this, ref] {
            while (! stopping.load())
            {
                pollfd descriptor{DNSServiceRefSockFD(ref), POLLIN, 0};
                if (poll(&descriptor, 1, 20) > 0 && DNSServiceProcessResult(ref) != kDNSServiceErr_NoError)
                    break;
            }
        });
    }

    MDNSAnnouncements::~MDNSAnnouncements()
    {
        stopping.store(true);
        if (thread.joinable())
            thread.join();
        if (browse != nullptr)
            DNSServiceRefDeallocate(static_cast<DNSServiceRef>(browse));
    }

    void MDNSAnnouncements::note(const std::string& name, bool added)
    {
        std::lock_guard<std::mutex> hold(lock);
        events.push_back({name, added, getTickCount()});
    }

    double MDNSAnnouncements::arrival(const std::string& name, bool added, int count) const
    {
        std::lock_guard<std::mutex> hold(lock);
        for (const Event& event : events)
            if (event.name == name && event.added == added && --count == 0)
                return event.time;
        return -1;
    }

    ForeignService::ForeignService(const std::string& name, const std::string& type, const std::string& host,
                                   std::uint16_t port)
    {
        const auto reply = [](DNSServiceRef, DNSServiceFlags, DNSServiceErrorType, const char*, const char*,
                              const char*, void*) {};
        DNSServiceRef made = nullptr;
        if (DNSServiceRegister(&made, 0, 0, name.c_str(), type.c_str(), nullptr, host.c_str(), htons(port), 0,
                               nullptr, reply, nullptr) == kDNSServiceErr_NoError)
            ref = made;
    }

    ForeignService::~ForeignService()
    {
        if (ref != nullptr)
            DNSServiceRefDeallocate(static_cast<DNSServiceRef>(ref));
    }
}
