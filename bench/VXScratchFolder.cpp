#include "VXScratchFolder.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

namespace vx::bench
{
    // A folder this process made and has not removed, for the handler of
    // SIGINT and SIGTERM to remove. One thread at a time holds a slot while
    // it makes or removes its folder, with both signals blocked in that
    // thread: a handler running in another thread waits the moment that
    // takes, and none runs in the holder.
    struct ScratchSlot
    {
        enum : int
        {
            unused,
            held,
            made,
            removing
        };
        std::atomic<int> state{unused};
        char path[PATH_MAX];
    };

    namespace
    {
        ScratchSlot slots[32];
        std::atomic<bool> ending{false};

        // Removes <name> in <parent> (an open folder or AT_FDCWD) with
        // everything in it, by calls a signal handler may make. What a thread
        // still writing adds meanwhile goes on a later pass. Trees deeper
        // than a benchmark makes are not followed: each level takes a buffer
        // of the interrupted thread's stack.
        void removeTree(int parent, const char* name, int depth)
        {
            for (int pass = 0; pass < 100; ++pass)
            {
                if (unlinkat(parent, name, AT_REMOVEDIR) == 0 || errno != ENOTEMPTY)
                    return;
                const int folder = openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
                if (folder < 0)
                    return;
                alignas(dirent64) char entries[1024];
                ssize_t size;
                while ((size = getdents64(folder, entries, sizeof entries)) > 0)
                    for (ssize_t at = 0; at < size;)
                    {
                        const auto* entry = reinterpret_cast<const dirent64*>(entries + at);
                        at += entry->d_reclen;
                        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
                            continue;
                        if (unlinkat(folder, entry->d_name, 0) != 0 && errno == EISDIR && depth < 16)
                            removeTree(folder, entry->d_name, depth + 1);
                    }
                close(folder);
            }
        }

        // Removes what this process made, then ends it as the signal would
        // have (the signal stays blocked until the handler returns).
        void signalled(int signal)
        {
            ending.store(true);
            for (ScratchSlot& slot : slots)
                for (int state = slot.state.load(); state != ScratchSlot::unused; state = slot.state.load())
                    if (state == ScratchSlot::made && slot.state.compare_exchange_strong(state, ScratchSlot::removing))
                    {
                        removeTree(AT_FDCWD, slot.path, 0);
                        slot.state.store(ScratchSlot::unused);
                    }
            struct sigaction fallback = {};
            fallback.sa_handler = SIG_DFL;
            sigemptyset(&fallback.sa_mask);
            sigaction(signal, &fallback, nullptr);
            raise(signal);
        }

        // Once, before the first folder.
        void handleEndingSignals()
        {
            static const bool installed = [] {
                for (const int signal : {SIGINT, SIGTERM})
                {
                    struct sigaction action = {};
                    sigaction(signal, nullptr, &action);
                    if (action.sa_handler != SIG_DFL)
                        continue;
                    action.sa_handler = signalled;
                    action.sa_flags = 0;
                    sigemptyset(&action.sa_mask);
                    sigaddset(&action.sa_mask, SIGINT);
                    sigaddset(&action.sa_mask, SIGTERM);
                    sigaction(signal, &action, nullptr);
                }
                return true;
            }();
            (void) installed;
        }

        // SIGINT and SIGTERM blocked in this thread while it holds a slot.
        class EndingSignalsBlocked
        {
        public:
            EndingSignalsBlocked()
            {
                sigset_t signals;
                sigemptyset(&signals);
                sigaddset(&signals, SIGINT);
                sigaddset(&signals, SIGTERM);
                pthread_sigmask(SIG_BLOCK, &signals, &before);
            }
            ~EndingSignalsBlocked() { pthread_sigmask(SIG_SETMASK, &before, nullptr); }
            EndingSignalsBlocked(const EndingSignalsBlocked&) = delete;
            EndingSignalsBlocked& operator=(const EndingSignalsBlocked&) = delete;

        private:
            sigset_t before;
        };
    }

    ScratchFolder::ScratchFolder(const char* prefix, Medium medium)
    {
        std::error_code error;
        std::filesystem::path base;
        const char* tmpfs = std::getenv("VX_BENCH_TMPFS");
        if (medium == Medium::tmpfs)
            base = tmpfs != nullptr && *tmpfs != 0 ? tmpfs : "/dev/shm";
        if (base.empty() || ! std::filesystem::is_directory(base, error))
            base = std::filesystem::temp_directory_path(error);
        const std::string pattern = (base / prefix).string() + "XXXXXX";
        handleEndingSignals();
        const EndingSignalsBlocked blocked;
        for (ScratchSlot& candidate : slots)
        {
            int state = ScratchSlot::unused;
            if (candidate.state.compare_exchange_strong(state, ScratchSlot::held))
            {
                slot = &candidate;
                break;
            }
        }
        if (slot != nullptr && ending.load())
        {
            // A handler in another thread has passed this slot and ends the
            // program: the folder would be left behind.
            slot->state.store(ScratchSlot::unused);
            for (;;)
                pause();
        }
        if (slot == nullptr || error || pattern.size() >= sizeof slot->path ||
            mkdtemp(std::strcpy(slot->path, pattern.c_str())) == nullptr)
        {
            if (slot != nullptr)
                slot->state.store(ScratchSlot::unused);
            std::fprintf(stderr, "bench setup: cannot make a scratch folder %s\n", pattern.c_str());
            std::exit(1);
        }
        path = slot->path;
        slot->state.store(ScratchSlot::made);
    }

    ScratchFolder::~ScratchFolder()
    {
        const EndingSignalsBlocked blocked;
        // Taken by a handler: it removes the folder and ends the program.
        int state = ScratchSlot::made;
        if (! slot->state.compare_exchange_strong(state, ScratchSlot::held))
            return;
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
        slot->state.store(ScratchSlot::unused);
    }
}
