#pragma once

#include <atomic>
#include <string>

struct hostent;

namespace vx
{
    // BSD socket helpers for network video. Descriptors are plain ints; every
    // call answers false or -1 on failure and changes nothing it need not.
    class Sockets
    {
    public:
        // Nothing to do on this platform.
        static void initSockets();

        // SO_RCVBUF / SO_SNDBUF; false for descriptors below 1.
        static bool setSocketReceiveBufferSize(int socket, int bytes);
        static bool setSocketSendBufferSize(int socket, int bytes);
        // Both buffers to 64 KB, then SO_BROADCAST (datagram, when asked) or
        // TCP_NODELAY (stream); whether the last option was set.
        static bool resetSocketOptions(int socket, bool datagram, bool broadcast);
        // Binds to any local IPv4 address at port; false unless socket > 0 and port > 0.
        static bool bindSocketToPort(int socket, int port);

        // Reads until maxBytes are in (or after the first read unless
        // blockUntilFull), retrying reads interrupted by signals while
        // keepGoing holds. An error, an end of data or keepGoing false ends it:
        // the bytes gathered, or -1 when none. keepGoing is an atomic, not a
        // volatile bool: another thread clears it (the client's destructor)
        // while this one reads it, which only an atomic makes defined and
        // visible.
        static int readSocket(int socket, void* buffer, int maxBytes, const std::atomic<bool>& keepGoing,
                              bool blockUntilFull);
        // Waits for the descriptor to become readable or writable, restarted
        // on EINTR; a negative timeout waits without limit. 1 ready, 0 timed
        // out, -1 on an error of the wait or a pending socket error.
        static int waitForReadiness(int socket, bool forReading, int timeoutMs);
        static bool setSocketBlockingState(int socket, bool blocking);
        // Resolves host:port (numeric service). Creates a socket of the first
        // result's kind when socket < 0. Datagram: the first 16 bytes of the
        // address go to a new block in addressOut (the caller frees it with
        // delete[]), no connect. Stream: connects within timeoutMs.
        static bool connectSocket(volatile int& socket, bool datagram, void** addressOut, const char* host, int port,
                                  int timeoutMs);
        // The first address of the entry as text; empty for null.
        static std::string getIpAddress(const hostent* host);
    };
}
