#pragma once

#include "core/VXAsyncQueue.h"
#include "core/VXCriticalSection.h"

#include <atomic>

namespace vx
{
    class AudioObjectBase;

    // A process-wide queue that defers the disposal of audio objects to a
    // safe moment (the engine's message task). Objects may be handed over
    // from any thread; they are disposed of, one batch at a time, on the
    // thread that calls deleteObjects.
    class AudioObjectManager
    {
    public:
        // The single instance, created on first use; concurrent first calls
        // create one.
        static AudioObjectManager* getInstance();
        // Destroys the instance (disposing of what was queued); nothing when
        // there is none.
        static void deleteInstance();
        // The instance or null, without creating it.
        static AudioObjectManager* getInstanceWithoutCreating();

        AudioObjectManager(const AudioObjectManager&) = delete;
        AudioObjectManager& operator=(const AudioObjectManager&) = delete;

        // Queues object for the next batch; after shutdown disposes of it at
        // once. Null is ignored.
        void addForDeletion(AudioObjectBase* object);
        // Disposes of the batch queued since the previous call, in queue
        // order (prepared, then disposed of).
        void deleteObjects();
        // Disposes of everything queued, last first, and stops accepting.
        void shutdown();

    private:
        AudioObjectManager() = default;
        ~AudioObjectManager();

        static void dispose(AudioObjectBase* object);

        CriticalSection lock;
        std::atomic<bool> accepting{true};
        AsyncQueue<AudioObjectBase*> queue;
    };
}
