#include "VXExternalWindowManager.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <thread>
#include <vector>

#include <fcntl.h>
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
        // Asks until done answers true, at most timeoutMs.
        bool waitFor(const std::function<bool()>& done, int timeoutMs)
        {
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
            while (! done())
            {
                if (std::chrono::steady_clock::now() > deadline)
                    return false;
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            return true;
        }

        // The first window a WINDOW property names; none when it has none.
        xcb_window_t windowProperty(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t name)
        {
            xcb_get_property_reply_t* reply = xcb_get_property_reply(
                connection, xcb_get_property(connection, 0, window, name, XCB_ATOM_WINDOW, 0, 1), nullptr);
            xcb_window_t found = XCB_NONE;
            if (reply != nullptr && reply->format == 32 && xcb_get_property_value_length(reply) == 4)
                found = *static_cast<const xcb_window_t*>(xcb_get_property_value(reply));
            std::free(reply);
            return found;
        }

        // Whether the root's WINDOW list property holds the window.
        bool isListed(xcb_connection_t* connection, xcb_window_t root, xcb_atom_t list, xcb_window_t window)
        {
            xcb_get_property_reply_t* reply = xcb_get_property_reply(
                connection, xcb_get_property(connection, 0, root, list, XCB_ATOM_WINDOW, 0, 1 << 16), nullptr);
            bool listed = false;
            if (reply != nullptr && reply->format == 32)
            {
                const auto* windows = static_cast<const xcb_window_t*>(xcb_get_property_value(reply));
                const auto* end = windows + xcb_get_property_value_length(reply) / 4;
                listed = std::find(windows, end, window) != end;
            }
            std::free(reply);
            return listed;
        }

        // Whether a client (a manager) has the root's substructure redirection.
        bool rootIsManaged(xcb_connection_t* connection, xcb_window_t root)
        {
            xcb_get_window_attributes_reply_t* reply =
                xcb_get_window_attributes_reply(connection, xcb_get_window_attributes(connection, root), nullptr);
            const bool managed =
                reply != nullptr && (reply->all_event_masks & XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT) != 0;
            std::free(reply);
            return managed;
        }
    }

    bool ExternalProgram::start(const std::string& displayName, const std::vector<std::string>& words)
    {
        const std::string& program = words.front();
        if (access(program.c_str(), X_OK) != 0)
        {
            whyNot = program + " is not installed (scripts/install-deps)";
            return false;
        }
        char pattern[] = "/tmp/vx-wm-home-XXXXXX";
        if (mkdtemp(pattern) == nullptr)
        {
            whyNot = "no temporary folder";
            return false;
        }
        home = pattern;
        logFile = home + "/log";

        // Everything the child needs is made before the fork: it may not allocate.
        std::vector<std::string> variables;
        for (char** variable = environ; *variable != nullptr; ++variable)
        {
            const std::string text = *variable;
            if (text.rfind("HOME=", 0) != 0 && text.rfind("DISPLAY=", 0) != 0 && text.rfind("XDG_", 0) != 0)
                variables.push_back(text);
        }
        variables.push_back("HOME=" + home);
        variables.push_back("DISPLAY=" + displayName);
        std::vector<char*> envp;
        for (std::string& variable : variables)
            envp.push_back(variable.data());
        envp.push_back(nullptr);
        std::vector<std::string> arguments = words;
        std::vector<char*> argv;
        for (std::string& word : arguments)
            argv.push_back(word.data());
        argv.push_back(nullptr);
        const pid_t parent = getpid();
        pid = fork();
        if (pid == 0)
        {
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (getppid() != parent)
                _exit(1);
            const int quiet = open("/dev/null", O_RDONLY);
            const int log = open(logFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            dup2(quiet, 0);
            dup2(log, 1);
            dup2(log, 2);
            execve(program.c_str(), argv.data(), envp.data());
            _exit(127);
        }
        if (pid < 0)
        {
            whyNot = "fork failed";
            return false;
        }
        return true;
    }

    ExternalProgram::~ExternalProgram()
    {
        stop(SIGTERM);
        if (! home.empty())
        {
            std::error_code ignored;
            std::filesystem::remove_all(home, ignored);
        }
    }

    bool ExternalProgram::hasEnded()
    {
        if (pid > 0 && waitpid(pid, nullptr, WNOHANG) == pid)
            pid = -1;
        return pid <= 0;
    }

    bool ExternalProgram::signal(int number) const
    {
        return pid > 0 && ::kill(pid, number) == 0;
    }

    void ExternalProgram::stop(int signal)
    {
        if (pid <= 0)
            return;
        ::kill(pid, signal);
        if (! waitFor([this] { return hasEnded(); }, 20000))
        {
            ::kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        pid = -1;
    }

    ExternalCompositor::ExternalCompositor(const std::string& displayName)
    {
        if (! program.start(displayName, {"/usr/bin/xcompmgr"}))
            return;
        xcb_connection_t* connection = xcb_connect(displayName.c_str(), nullptr);
        const int screen = 0;
        const xcb_atom_t selection = internAtom(connection, ("_NET_WM_CM_S" + std::to_string(screen)).c_str());
        const bool started = waitFor(
            [&]
            {
                if (program.hasEnded())
                    return true;
                xcb_get_selection_owner_reply_t* owner =
                    xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, selection), nullptr);
                const bool owned = owner != nullptr && owner->owner != XCB_NONE;
                std::free(owner);
                return owned;
            },
            30000);
        xcb_disconnect(connection);
        if (! program.isStarted() || ! started)
            program.whyNot = "xcompmgr did not take the screen (its log: " + program.getLogFile() + ")";
    }

    ExternalWindowManager::ExternalWindowManager(const std::string& displayName, Kind kind) : kind(kind)
    {
        const std::string path = kind == Kind::openbox   ? "/usr/bin/openbox"
                                 : kind == Kind::fluxbox ? "/usr/bin/fluxbox"
                                                         : "/usr/bin/twm";
        connection = xcb_connect(displayName.c_str(), nullptr);
        if (xcb_connection_has_error(connection) != 0)
        {
            program.whyNot = "no X server answers on " + displayName;
            return;
        }
        root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
        std::vector<std::string> words = {path};
        if (kind == Kind::openbox)
            words.push_back("--sm-disable");
        if (! program.start(displayName, words))
            return;

        // An EWMH manager has started once its check window names itself.
        const xcb_atom_t check = internAtom(connection, "_NET_SUPPORTING_WM_CHECK");
        const bool started = waitFor(
            [&]
            {
                if (program.hasEnded())
                    return true;
                if (kind == Kind::twm)
                    return rootIsManaged(connection, root);
                const xcb_window_t named = windowProperty(connection, root, check);
                return named != XCB_NONE && windowProperty(connection, named, check) == named;
            },
            30000);
        if (! program.isStarted() || ! started)
            program.whyNot = path + " did not take the root (its log: " + program.getLogFile() + ")";
    }

    ExternalWindowManager::~ExternalWindowManager()
    {
        // Fluxbox's handler of SIGTERM calls Xlib, and hangs when the signal
        // comes in the middle of a call: it is ended at once.
        if (kind == Kind::fluxbox && connection != nullptr)
            kill();
        program.stop(SIGTERM);
        if (connection != nullptr && xcb_connection_has_error(connection) == 0)
        {
            // What a killed manager left on the root goes too: the next test
            // starts on a bare root.
            for (const char* name : {"_NET_SUPPORTING_WM_CHECK", "_NET_SUPPORTED", "_NET_CLIENT_LIST",
                                     "_NET_CLIENT_LIST_STACKING", "_NET_ACTIVE_WINDOW", "_VX_TEST_WAKE"})
                xcb_delete_property(connection, root, internAtom(connection, name));
            std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
        }
        if (connection != nullptr)
            xcb_disconnect(connection);
    }

    void ExternalWindowManager::kill()
    {
        program.stop(SIGKILL);
        // Its connection closes a moment after it ends.
        waitFor([this] { return ! rootIsManaged(connection, root); }, 30000);
    }

    bool ExternalWindowManager::waitUntilShown(xcb_window_t window, int timeoutMs)
    {
        const xcb_atom_t wmState = internAtom(connection, "WM_STATE");
        const xcb_atom_t clientList = internAtom(connection, "_NET_CLIENT_LIST");
        // Openbox can leave a request it has already read unhandled until
        // another event reaches it: a property of the root it watches is
        // touched every while, until the window is shown.
        const xcb_atom_t wake = internAtom(connection, "_VX_TEST_WAKE");
        auto nextWake = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
        return waitFor(
            [&]
            {
                if (std::chrono::steady_clock::now() >= nextWake)
                {
                    const uint32_t value = 0;
                    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, root, wake, XCB_ATOM_CARDINAL, 32, 1,
                                        &value);
                    nextWake = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
                }
                // An EWMH manager lists it too, some a moment after showing it.
                if (kind != Kind::twm && ! isListed(connection, root, clientList, window))
                    return false;
                xcb_get_property_reply_t* state = xcb_get_property_reply(
                    connection, xcb_get_property(connection, 0, window, wmState, wmState, 0, 1), nullptr);
                xcb_get_window_attributes_reply_t* attributes =
                    xcb_get_window_attributes_reply(connection, xcb_get_window_attributes(connection, window), nullptr);
                const bool shown = state != nullptr && state->type == wmState && attributes != nullptr &&
                                   attributes->map_state == XCB_MAP_STATE_VIEWABLE && getTopLevel(window) != window;
                std::free(state);
                std::free(attributes);
                return shown;
            },
            timeoutMs);
    }

    xcb_window_t ExternalWindowManager::getTopLevel(xcb_window_t window)
    {
        for (int depth = 0; depth < 64; ++depth)
        {
            xcb_query_tree_reply_t* tree =
                xcb_query_tree_reply(connection, xcb_query_tree(connection, window), nullptr);
            const xcb_window_t parent = tree != nullptr ? tree->parent : xcb_window_t(XCB_NONE);
            std::free(tree);
            if (parent == XCB_NONE || parent == root)
                break;
            window = parent;
        }
        return window;
    }
}
