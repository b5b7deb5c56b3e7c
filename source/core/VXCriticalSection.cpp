#include "core/VXCriticalSection.h"

#include <cassert>
#include <cstdio>

namespace vx
{

    namespace
    {
        void reportBusy()
        {
            std::puts("VXThread: mutext is busy - already locked");
        }
    } // namespace

    Mutex::Mutex()
    {
        pthread_mutexattr_t attributes;
        pthread_mutexattr_init(&attributes);
        pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
        pthread_mutexattr_setprotocol(&attributes, PTHREAD_PRIO_INHERIT);
        const int result = pthread_mutex_init(&mutex, &attributes);
        pthread_mutexattr_destroy(&attributes);
        (void)result;
        assert(result == 0);
    }

    Mutex::Mutex(void* nativeMutex) : Mutex()
    {
        foreign = static_cast<pthread_mutex_t*>(nativeMutex);
    }

    Mutex::~Mutex()
    {
        pthread_mutex_destroy(&mutex);
    }

    void Mutex::enter()
    {
        pthread_mutex_lock(foreign != nullptr ? foreign : &mutex);
    }

    bool Mutex::tryEnter()
    {
        if (pthread_mutex_trylock(foreign != nullptr ? foreign : &mutex) == 0)
            return true;
        reportBusy();
        return false;
    }

    void Mutex::exit()
    {
        pthread_mutex_unlock(foreign != nullptr ? foreign : &mutex);
    }

    void* Mutex::getNativeMutex()
    {
        return foreign != nullptr ? foreign : &mutex;
    }

    CriticalSection::CriticalSection() : mutex(new Mutex())
    {
    }

    CriticalSection::CriticalSection(void* nativeMutex) : mutex(new Mutex(nativeMutex))
    {
    }

    CriticalSection::~CriticalSection()
    {
        delete mutex;
    }

    void CriticalSection::enter() const
    {
        mutex->enter();
    }

    bool CriticalSection::tryEnter() const
    {
        return mutex->tryEnter();
    }

    void CriticalSection::exit() const
    {
        mutex->exit();
    }

    void* CriticalSection::getNativeMutex() const
    {
        return mutex->getNativeMutex();
    }

} // namespace vx
