#include "engine/behaviours/VXAudioObjectManager.h"

#include "core/VXScopedLock.h"
#include "engine/behaviours/VXAudioObjectBase.h"

#include <mutex>
#include <vector>

namespace vx
{
    namespace
    {
        std::mutex instanceLock;
        std::atomic<AudioObjectManager*> instance{nullptr};
    }

    AudioObjectManager* AudioObjectManager::getInstance()
    {
        if (AudioObjectManager* existing = instance.load(std::memory_order_acquire))
            return existing;
        const std::lock_guard<std::mutex> hold(instanceLock);
        AudioObjectManager* existing = instance.load(std::memory_order_acquire);
        if (existing == nullptr)
        {
            existing = new AudioObjectManager();
            instance.store(existing, std::memory_order_release);
        }
        return existing;
    }

    AudioObjectManager* AudioObjectManager::getInstanceWithoutCreating()
    {
        return instance.load(std::memory_order_acquire);
    }

    void AudioObjectManager::deleteInstance()
    {
        const std::lock_guard<std::mutex> hold(instanceLock);
        delete instance.exchange(nullptr, std::memory_order_acq_rel);
    }

    AudioObjectManager::~AudioObjectManager()
    {
        deleteObjects();
    }

    void AudioObjectManager::dispose(AudioObjectBase* object)
    {
        object->prepareForDeletion();
        object->dispose();
    }

    void AudioObjectManager::addForDeletion(AudioObjectBase* object)
    {
        if (object == nullptr)
            return;
        if (accepting.load(std::memory_order_acquire))
            queue.push(object);
        else
            dispose(object);
    }

    void AudioObjectManager::deleteObjects()
    {
        const ScopedLock hold(lock);
        std::vector<AudioObjectBase*>& batch = queue.pop();
        for (AudioObjectBase* object : batch)
            if (object != nullptr)
                dispose(object);
        batch.clear();
    }

    void AudioObjectManager::shutdown()
    {
        const ScopedLock hold(lock);
        for (int round = 0; round < 2; ++round)
        {
            std::vector<AudioObjectBase*>& batch = queue.pop();
            for (auto object = batch.rbegin(); object != batch.rend(); ++object)
                if (*object != nullptr)
                    dispose(*object);
            batch.clear();
        }
        accepting.store(false, std::memory_order_release);
    }
}
