#pragma once

#include "core/VXBroadcaster.h"
#include "core/VXCurrentInstance.h"
#include "core/VXScopedPointer.h"
#include "core/parameters/VXChangeInfo.h"
#include "core/parameters/VXParamListener.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vx
{
    class ParamBase;

    // The engine-wide registry of public parameters, owned by the engine
    // root. Public containers register what they insert; the registry
    // answers lookups by full path (through a hash map rebuilt lazily after
    // any registration, removal or path change), scans paths, resolves
    // relative paths upwards, passes every registered parameter's value
    // changes on to its own listeners, and sends state changes to all
    // registered parameters.
    //
    // Any thread. Three locks: the set lock (registered set), the map lock
    // (path map), the pending lock (state changes for asynchronous
    // listeners); only the rebuild holds two, the set lock before the map
    // lock. A lookup on a current map takes the map lock alone. Callers'
    // locks (a container's) come before these. Listener registration on
    // parameters happens outside the set lock.
    // Registered parameters are kept alive (shared ownership) until removed;
    // the registry detaches from them when it is destroyed.
    class ParamCollection : public ParamListener,
                            public Broadcaster<ParamListener>,
                            public CurrentInstance<ParamCollection>
    {
    public:
        using ParamPtr = std::shared_ptr<ParamBase>;

        ParamCollection();
        ~ParamCollection() override;

        ParamCollection(const ParamCollection&) = delete;
        ParamCollection& operator=(const ParamCollection&) = delete;

        // Registers param (once) and listens to it synchronously; a null
        // pointer is ignored.
        void addParam(const ParamPtr& param);
        // Answers whether it was registered.
        bool removeParam(const ParamPtr& param);
        // Answers true when every parameter of the list was registered.
        bool removeParams(const std::vector<ParamPtr>& params);
        // The next lookup rebuilds the path map (a container whose path
        // changed calls this).
        void invalidateMap();
        int getNumParams() const;

        // The parameter whose path is exactly path; empty when none.
        ParamPtr findParamWithPath(const std::string& path);
        // Appends what each path finds, in path order; misses are skipped.
        void findParamsWithPaths(const std::vector<std::string>& paths, std::vector<ParamPtr>& found);
        // The registry's pointer to that object; empty when not in the map.
        ParamPtr findParam(const ParamBase* param);
        // Walks the map as last built (no rebuild); an entry whose parameter
        // died gives an empty pointer. The function runs outside the
        // registry's locks (on a copy of the entries), so it may look up.
        void forEachParam(const std::function<void(const ParamPtr&)>& function);

        // First registered parameter (address order) whose path contains
        // part and, when prefix is not empty, begins with prefix.
        ParamPtr findParamThatContainsPath(const std::string& part, const std::string& prefix);
        std::vector<ParamPtr> findParamsWhichPathStartsWith(const std::string& prefix);

        // Tries startPath + relativePath, then the same below each shorter
        // ancestor of startPath (never at the root). relativePath must begin
        // with "/"; otherwise nothing is found.
        ParamPtr findParamUpstream(const std::string& startPath, const std::string& relativePath);

        // Synchronous listeners of every registered parameter hear state now;
        // asynchronous ones when the deferred update runs.
        void sendStateChangeToAllParams(StateChange state);
        // Delivers the pending states, in order, to the asynchronous
        // listeners of every registered parameter (the deferred update).
        void handleStateForAsyncListeners();

        // Passes a registered parameter's value change on to the registry's
        // listeners.
        void valueChanged(ParamBase& param, ChangeInfo info) override;

        // Diagnostics through vx::debugPrint.
        void printMap();
        void printSet(const std::string& filter);

    private:
        void rebuildLookupIfNeeded();

        struct Pimpl;
        ScopedPointer<Pimpl> pimpl;
    };
}
