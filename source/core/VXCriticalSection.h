#pragma once

#include <pthread.h>

namespace vx
{

    /** A recursive, priority-inheriting POSIX mutex, or a forwarder to a mutex
        owned by the embedding application. The own mutex always exists. */
    class Mutex
    {
    public:
        Mutex();
        /** Locks go to nativeMutex (a pthread_mutex_t* the caller keeps alive). */
        explicit Mutex(void* nativeMutex);
        ~Mutex();
        Mutex(const Mutex&) = delete;
        Mutex& operator=(const Mutex&) = delete;

        void enter();
        /** False (with a line on standard output) when another thread holds it. */
        bool tryEnter();
        void exit();

        /** The foreign mutex when one was given, else the own one. */
        void* getNativeMutex();

    private:
        pthread_mutex_t mutex;
        pthread_mutex_t* foreign = nullptr;
    };

    /** The engine's general lock: recursive (the owner may enter again and must
        exit as often) and priority inheriting. */
    class CriticalSection
    {
    public:
        CriticalSection();
        /** Wraps a pthread_mutex_t owned by the embedding application. */
        explicit CriticalSection(void* nativeMutex);
        ~CriticalSection();
        CriticalSection(const CriticalSection&) = delete;
        CriticalSection& operator=(const CriticalSection&) = delete;

        void enter() const;
        bool tryEnter() const;
        void exit() const;
        void* getNativeMutex() const;

    private:
        Mutex* mutex;
    };

} // namespace vx
