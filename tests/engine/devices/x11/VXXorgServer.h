#pragma once

#include <string>
#include <vector>

#include <sys/types.h>

namespace vx::test
{
    // An Xorg server with the dummy video driver, run as this process's
    // child with a generated configuration, no VT and no TCP, on a display
    // number it picks itself. It dies with the thread that started it, so a
    // crashed test leaves no server behind. Needs root (Xorg refuses others
    // a configuration of their own).
    class XorgServer
    {
    public:
        struct Options
        {
            int depth = 24;
            // More command-line arguments ("-extension", "XTEST").
            std::vector<std::string> arguments;
        };

        XorgServer();
        explicit XorgServer(const Options& options);
        // Stops it.
        ~XorgServer();
        XorgServer(const XorgServer&) = delete;
        XorgServer& operator=(const XorgServer&) = delete;

        bool isRunning() const { return pid > 0; }
        // Why it is not running, for the skip message.
        const std::string& getWhyNot() const { return whyNot; }
        // ":<n>".
        const std::string& getDisplayName() const { return displayName; }
        // Runs xrandr with the arguments on this display; true when it succeeds.
        bool xrandr(const std::string& arguments) const;
        // Terminates the server and waits for it (a stopped one is continued first).
        void stop();
        // Sends the server the signal (SIGSTOP, SIGCONT); false when it is not running.
        bool signal(int number) const;

    private:
        void start(const Options& options);

        pid_t pid = -1;
        std::string folder;
        std::string displayName;
        std::string whyNot;
    };
}
