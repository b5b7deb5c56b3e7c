#include "engine/gfx/VXContextManager.h"

#include "core/VXScopedLock.h"
#include "engine/gfx/VXContextOSX.h"

#include <algorithm>

namespace vx
{

    std::shared_ptr<Context> ContextManager::getContext(int index) const
    {
        const ScopedLock scope(lock);
        if (index < 0 || index >= static_cast<int>(contexts.size()))
            return {};
        return contexts[static_cast<size_t>(index)];
    }

    std::shared_ptr<Context> ContextManager::getContextWithId(unsigned long long id) const
    {
        const ScopedLock scope(lock);
        for (const auto& context : contexts)
            if (context->getId() == id)
                return context;
        return {};
    }

    std::shared_ptr<Context> ContextManager::getContextWithNativeContext(void* nativeContext) const
    {
        const ScopedLock scope(lock);
        for (const auto& context : contexts)
            if (context->getNativeContext() == nativeContext)
                return context;
        return {};
    }

    std::shared_ptr<Context> ContextManager::getPrimaryContext() const
    {
        const ScopedLock scope(lock);
        for (const auto& context : contexts)
            if (context->isPrimary())
                return context;
        return {};
    }

    Renderer* ContextManager::getPrimaryRenderer() const
    {
        const auto primary = getPrimaryContext();
        return primary != nullptr ? primary->getRenderer() : nullptr;
    }

    std::shared_ptr<Context> ContextManager::getFirstNonPrimaryContext() const
    {
        const ScopedLock scope(lock);
        for (const auto& context : contexts)
            if (! context->isPrimary())
                return context;
        return {};
    }

    int ContextManager::getNumContexts() const
    {
        const ScopedLock scope(lock);
        return static_cast<int>(contexts.size());
    }

    std::shared_ptr<Context> ContextManager::addContext(Context* context)
    {
        if (context == nullptr)
            return {};
        std::shared_ptr<Context> added(context);
        const ScopedLock scope(lock);
        contexts.push_back(added);
        return added;
    }

    std::shared_ptr<Context> ContextManager::addContext(void* nativeContext, ContextProfile profile,
                                                        unsigned long long id, bool primary, bool noCleanup)
    {
        if (nativeContext == nullptr)
            return {};
        const ScopedLock scope(lock);
        auto added = std::make_shared<ContextOSX>(nativeContext, profile, id, primary);
        contexts.push_back(added);
        added->initialize();
        added->setNoCleanup(noCleanup);
        return added;
    }

    bool ContextManager::removeContext(void* nativeContext)
    {
        // Declared before the lock: the context ends after the lock is left.
        std::shared_ptr<Context> removed;
        const ScopedLock scope(lock);
        auto it = std::find_if(contexts.begin(), contexts.end(),
                               [&](const auto& c) { return c->getNativeContext() == nativeContext; });
        if (it == contexts.end())
            return false;
        removed = *it;
        contexts.erase(it);
        return true;
    }

    bool ContextManager::removeContext(const std::shared_ptr<Context>& context)
    {
        std::shared_ptr<Context> removed;
        const ScopedLock scope(lock);
        auto it = std::find(contexts.begin(), contexts.end(), context);
        if (it == contexts.end() || context == nullptr)
            return false;
        removed = *it;
        contexts.erase(it);
        return true;
    }

    std::shared_ptr<ScopedContextSelector> ContextManager::getScopedContextLock(unsigned long long id)
    {
        const ScopedLock scope(lock);
        return std::make_shared<ScopedContextSelector>(getContextWithId(id), &lock);
    }

    std::shared_ptr<ScopedContextSelector> ContextManager::getScopedContextLock(std::shared_ptr<Context> context)
    {
        return std::make_shared<ScopedContextSelector>(std::move(context), &lock);
    }

    std::shared_ptr<ScopedContextSelector> ContextManager::getScopedPrimaryContextLock()
    {
        const ScopedLock scope(lock);
        return std::make_shared<ScopedContextSelector>(getPrimaryContext(), &lock);
    }

    //==============================================================================
    ScopedContextSelector::ScopedContextSelector(std::shared_ptr<Context> contextToSelect, CriticalSection* lockToHold)
        : context(std::move(contextToSelect)), lock(lockToHold)
    {
        if (lock != nullptr)
            lock->enter();
        if (context != nullptr)
        {
            wasActive = context->isActive();
            if (! wasActive)
                previousContext.emplace();
            usable = wasActive || context->activate();
        }
    }

    ScopedContextSelector::~ScopedContextSelector()
    {
        try
        {
            // The host's context (or none) comes back exactly as it was.
            previousContext.reset();
        }
        catch (...)
        {
        }
        if (lock != nullptr)
            lock->exit();
    }

} // namespace vx
