#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vx::test
{
    // A display of its own that passes each client's connection on to an X
    // server byte for byte, until the test cuts it: the server's side can
    // stop reading (the client's next write fails as one into a server that
    // went away after the client's poll found the socket writable) or close.
    // It can pass the server's bytes on at a slow link's pace; a client
    // that does not read holds up no other.
    class X11Relay
    {
    public:
        enum class Cut
        {
            stopReading,
            close
        };

        // Relays to the local server on serverDisplay (":<n>").
        explicit X11Relay(const std::string& serverDisplay);
        ~X11Relay();
        X11Relay(const X11Relay&) = delete;
        X11Relay& operator=(const X11Relay&) = delete;

        bool isRunning() const { return thread.joinable(); }
        const std::string& getWhyNot() const { return whyNot; }
        // ":<n>".
        const std::string& getDisplayName() const { return displayName; }
        // Waits up to 30 s until count clients have connected.
        bool waitForClients(size_t count);
        // The client that connected index-th (from 0) is relayed no more.
        void cut(size_t index, Cut how);
        // Connections are refused from now on.
        void stopListening();
        // The servers' bytes go on to the clients at most this fast, all
        // connections together (0: as fast as they come).
        void limitToClients(size_t bytesPerSecond);
        // The servers' bytes passed on to the clients so far.
        size_t getBytesToClients();
        // Waits up to 30 s until that many have been passed on.
        bool waitForBytesToClients(size_t count);
        // The longest time between two reads of the servers' bytes passed on
        // to the clients since the pace was last set (a server, or this
        // relay, held up by a busy machine).
        std::chrono::steady_clock::duration getLongestPauseToClients();

    private:
        struct Pair
        {
            int client = -1, server = -1;
            bool relayed = true;
            std::string toClient; // the server's bytes the client has not taken yet
        };

        bool takeDisplayNumber();
        void relay();
        void endPair(Pair& pair);
        // Sends the pair's bytes held for the client as far as it takes
        // them now; false when the pair has ended.
        bool sendHeld(Pair& pair);
        void wakeRelay();

        std::string serverSocket;
        std::string lockFile;
        std::string displayName;
        std::string whyNot;
        int listener = -1;
        int wakeFd = -1;
        std::mutex lock; // guards all below, and every descriptor but wakeFd
        std::condition_variable connected; // also told of bytes passed on
        size_t bytesPerSecond = 0;
        size_t bytesToClients = 0;
        std::chrono::steady_clock::time_point lastToClients{};
        std::chrono::steady_clock::duration longestPauseToClients{};
        std::vector<Pair> pairs;
        bool stopping = false;
        std::thread thread;
    };
}
