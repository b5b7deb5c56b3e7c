#pragma once

#include "core/VXCurrentInstance.h"

#include "core/VXCriticalSection.h"
#include "engine/gfx/VXContext.h"
#include "engine/gfx/VXScopedCurrentContext.h"

#include <memory>
#include <optional>
#include <vector>

namespace vx
{

    class ScopedContextSelector;

    /** Registry of the engine's contexts and the re-entrant lock under which any
        thread makes one current (through a ScopedContextSelector). Every
        operation holds the lock; lookups answer an empty pointer when nothing
        matches. */
    class ContextManager : public CurrentInstance<ContextManager>
    {
    public:
        ContextManager() = default;
        ~ContextManager() = default;

        ContextManager(const ContextManager&) = delete;
        ContextManager& operator=(const ContextManager&) = delete;

        std::shared_ptr<Context> getContext(int index) const;
        std::shared_ptr<Context> getContextWithId(unsigned long long id) const;
        std::shared_ptr<Context> getContextWithNativeContext(void* nativeContext) const;
        std::shared_ptr<Context> getPrimaryContext() const;
        std::shared_ptr<Context> getFirstNonPrimaryContext() const;
        /** The primary context's renderer, or null. */
        Renderer* getPrimaryRenderer() const;
        int getNumContexts() const;

        /** Takes ownership and appends; null answers empty. */
        std::shared_ptr<Context> addContext(Context* context);
        /** Wraps a native context, appends it, initialises it (the answer is not
            used) and sets its no-cleanup flag. Null answers empty. */
        std::shared_ptr<Context> addContext(void* nativeContext, ContextProfile profile, unsigned long long id,
                                            bool primary, bool noCleanup);

        bool removeContext(void* nativeContext);
        bool removeContext(const std::shared_ptr<Context>& context);

        std::shared_ptr<ScopedContextSelector> getScopedContextLock(unsigned long long id);
        std::shared_ptr<ScopedContextSelector> getScopedContextLock(std::shared_ptr<Context> context);
        std::shared_ptr<ScopedContextSelector> getScopedPrimaryContextLock();

        CriticalSection& getLock() { return lock; }

    private:
        CriticalSection lock;
        std::vector<std::shared_ptr<Context>> contexts;
    };

    /** Holds a lock (may be null) and a context current for its scope. A context
        that was not current before is made current and, at the end, whatever
        the thread had current (display, surfaces and context, or nothing) is
        current again. */
    class ScopedContextSelector
    {
    public:
        ScopedContextSelector(std::shared_ptr<Context> context, CriticalSection* lock);
        ~ScopedContextSelector();

        ScopedContextSelector(const ScopedContextSelector&) = delete;
        ScopedContextSelector& operator=(const ScopedContextSelector&) = delete;

        /** False without a context or when it could not be made current. */
        bool isContextUsable() const { return usable; }
        const std::shared_ptr<Context>& getContext() const { return context; }

    private:
        std::shared_ptr<Context> context;
        bool wasActive = false;
        CriticalSection* lock;
        bool usable = false;
        std::optional<ScopedCurrentContext> previousContext;
    };

} // namespace vx
