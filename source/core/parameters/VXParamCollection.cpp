#include "core/parameters/VXParamCollection.h"

#include "core/VXAsyncUpdatable.h"
#include "core/VXCriticalSection.h"
#include "core/VXLog.h"
#include "core/VXScopedLock.h"
#include "core/parameters/VXParamBase.h"

#include <cstdint>
#include <map>
#include <set>
#include <unordered_map>

namespace vx
{
    struct ParamCollection::Pimpl : public AsyncUpdatable
    {
        explicit Pimpl(ParamCollection& ownerToCall) : owner(ownerToCall) { pathMap.max_load_factor(1.0f); }

        ~Pimpl() override { cleanup(); }

        void asyncCallback() override { owner.handleStateForAsyncListeners(); }

        // Copies the set under the set lock.
        std::vector<ParamPtr> snapshot() const
        {
            ScopedLock hold(setLock);
            return std::vector<ParamPtr>(params.begin(), params.end());
        }

        ParamCollection& owner;

        CriticalSection setLock;
        std::set<ParamPtr> params; // ordered by address
        bool mapStale = true;
        // ParamBase::getPathGeneration() when the map was last built: paths
        // may change after registration (renames), which makes it stale too.
        std::uint64_t builtGeneration = 0;

        CriticalSection mapLock;
        std::unordered_map<std::string, std::weak_ptr<ParamBase>, ParamPathHasher> pathMap;

        CriticalSection pendingLock;
        std::vector<StateChange> pendingStates;
    };

    ParamCollection::ParamCollection() : pimpl(new Pimpl(*this))
    {
    }

    ParamCollection::~ParamCollection()
    {
        // Parameters may outlive the registry: stop listening to them.
        std::vector<ParamPtr> registered;
        {
            ScopedLock hold(pimpl->setLock);
            registered.assign(pimpl->params.begin(), pimpl->params.end());
            pimpl->params.clear();
        }
        for (const ParamPtr& param : registered)
            param->removeListener(*this);
        pimpl.reset();
    }

    void ParamCollection::addParam(const ParamPtr& param)
    {
        if (param == nullptr)
            return;
        bool inserted;
        {
            ScopedLock hold(pimpl->setLock);
            inserted = pimpl->params.insert(param).second;
            pimpl->mapStale = true;
        }
        if (inserted)
            param->addListener(*this, false);
    }

    bool ParamCollection::removeParam(const ParamPtr& param)
    {
        bool removed;
        {
            ScopedLock hold(pimpl->setLock);
            removed = pimpl->params.erase(param) > 0;
            if (removed)
                pimpl->mapStale = true;
        }
        if (removed)
            param->removeListener(*this);
        return removed;
    }

    bool ParamCollection::removeParams(const std::vector<ParamPtr>& params)
    {
        std::vector<ParamPtr> removed;
        bool allRegistered = true;
        {
            ScopedLock hold(pimpl->setLock);
            for (const ParamPtr& param : params)
            {
                if (pimpl->params.erase(param) > 0)
                    removed.push_back(param);
                else
                    allRegistered = false;
            }
            if (! removed.empty())
                pimpl->mapStale = true;
        }
        for (const ParamPtr& param : removed)
            param->removeListener(*this);
        return allRegistered;
    }

    void ParamCollection::invalidateMap()
    {
        ScopedLock hold(pimpl->setLock);
        pimpl->mapStale = true;
    }

    int ParamCollection::getNumParams() const
    {
        ScopedLock hold(pimpl->setLock);
        return static_cast<int>(pimpl->params.size());
    }

    void ParamCollection::rebuildLookupIfNeeded()
    {
        Pimpl& p = *pimpl;
        p.setLock.enter();
        const std::uint64_t generation = ParamBase::getPathGeneration();
        if (! p.mapStale && generation == p.builtGeneration)
        {
            p.setLock.exit();
            return;
        }

        std::vector<ParamPtr> snapshot(p.params.begin(), p.params.end());
        p.mapStale = false;
        p.builtGeneration = generation;

        // Hand-over: registrations may go on while the map is rebuilt; they
        // mark it stale again.
        ScopedLock mapHold(p.mapLock);
        p.setLock.exit();

        p.pathMap.clear();
        for (const ParamPtr& param : snapshot)
            p.pathMap[param->getPath()] = param;
    }

    ParamCollection::ParamPtr ParamCollection::findParamWithPath(const std::string& path)
    {
        rebuildLookupIfNeeded();
        ScopedLock hold(pimpl->mapLock);
        const auto found = pimpl->pathMap.find(path);
        return found == pimpl->pathMap.end() ? ParamPtr() : found->second.lock();
    }

    void ParamCollection::findParamsWithPaths(const std::vector<std::string>& paths, std::vector<ParamPtr>& found)
    {
        rebuildLookupIfNeeded();
        ScopedLock hold(pimpl->mapLock);
        for (const std::string& path : paths)
        {
            const auto entry = pimpl->pathMap.find(path);
            if (entry == pimpl->pathMap.end())
                continue;
            if (ParamPtr param = entry->second.lock())
                found.push_back(std::move(param));
        }
    }

    ParamCollection::ParamPtr ParamCollection::findParam(const ParamBase* param)
    {
        if (param == nullptr)
            return ParamPtr();
        rebuildLookupIfNeeded();
        ScopedLock hold(pimpl->mapLock);
        for (const auto& entry : pimpl->pathMap)
        {
            ParamPtr live = entry.second.lock();
            if (live.get() == param)
                return live;
        }
        return ParamPtr();
    }

    void ParamCollection::forEachParam(const std::function<void(const ParamPtr&)>& function)
    {
        ScopedLock hold(pimpl->mapLock);
        for (const auto& entry : pimpl->pathMap)
            function(entry.second.lock());
    }

    ParamCollection::ParamPtr ParamCollection::findParamThatContainsPath(const std::string& part,
                                                                         const std::string& prefix)
    {
        ScopedLock hold(pimpl->setLock);
        for (const ParamPtr& param : pimpl->params)
        {
            const std::string& path = param->getPath();
            if (path.find(part) == std::string::npos)
                continue;
            if (! prefix.empty() && path.compare(0, prefix.size(), prefix) != 0)
                continue;
            return param;
        }
        return ParamPtr();
    }

    std::vector<ParamCollection::ParamPtr> ParamCollection::findParamsWhichPathStartsWith(const std::string& prefix)
    {
        std::vector<ParamPtr> found;
        ScopedLock hold(pimpl->setLock);
        for (const ParamPtr& param : pimpl->params)
            if (param->getPath().compare(0, prefix.size(), prefix) == 0)
                found.push_back(param);
        return found;
    }

    ParamCollection::ParamPtr ParamCollection::findParamUpstream(const std::string& startPath,
                                                                 const std::string& relativePath)
    {
        if (relativePath.empty() || relativePath[0] != '/')
            return ParamPtr();

        std::string base = startPath;
        while (! base.empty())
        {
            if (ParamPtr found = findParamWithPath(base + relativePath))
                return found;
            const std::size_t slash = base.rfind('/');
            if (slash == std::string::npos)
                break;
            base.erase(slash);
        }
        return ParamPtr();
    }

    void ParamCollection::sendStateChangeToAllParams(StateChange state)
    {
        {
            ScopedLock hold(pimpl->setLock);
            for (const ParamPtr& param : pimpl->params)
                param->stateChanged(CallType::onlySync, ChangeInfo(state));
        }
        {
            ScopedLock hold(pimpl->pendingLock);
            pimpl->pendingStates.push_back(state);
        }
        pimpl->triggerAsyncUpdate();
    }

    void ParamCollection::handleStateForAsyncListeners()
    {
        std::vector<StateChange> pending;
        {
            ScopedLock hold(pimpl->pendingLock);
            pending.swap(pimpl->pendingStates);
        }
        for (StateChange state : pending)
        {
            ScopedLock hold(pimpl->setLock);
            for (const ParamPtr& param : pimpl->params)
                param->stateChanged(CallType::onlyAsyncForced, ChangeInfo(state));
        }
    }

    void ParamCollection::valueChanged(ParamBase& param, ChangeInfo info)
    {
        callListeners(&ParamListener::valueChanged, param, info, CallType::standard);
    }

    void ParamCollection::printMap()
    {
        ScopedLock hold(pimpl->mapLock);
        debugPrint("paramMap.size() : %d", static_cast<int>(pimpl->pathMap.size()));
        for (const auto& entry : pimpl->pathMap)
            if (ParamPtr param = entry.second.lock())
                debugPrint(param->getPath());
    }

    void ParamCollection::printSet(const std::string& filter)
    {
        ScopedLock hold(pimpl->setLock);
        if (! filter.empty())
        {
            int matching = 0;
            for (const ParamPtr& param : pimpl->params)
            {
                if (param->getPath().find(filter) != std::string::npos)
                {
                    debugPrint(param->getPath());
                    ++matching;
                }
            }
            debugPrint("found num matching params : %d", matching);
        }
        else
        {
            for (const ParamPtr& param : pimpl->params)
                debugPrint(param->getPath());
            debugPrint("params.size() : %d", static_cast<int>(pimpl->params.size()));
        }

        std::map<std::string, int> pathCounts;
        int withoutPath = 0;
        for (const ParamPtr& param : pimpl->params)
        {
            if (param->getPath().empty())
                ++withoutPath;
            else
                ++pathCounts[param->getPath()];
        }
        std::vector<std::string> duplicates;
        for (const auto& entry : pathCounts)
            if (entry.second > 1)
                duplicates.push_back(entry.first);

        const int total = static_cast<int>(pimpl->params.size());
        const int duplicated = static_cast<int>(duplicates.size());
        debugPrint("There are %d Params in total", total);
        debugPrint("%d Params with a duplicate pathname", duplicated);
        debugPrint("%d Params without a path", withoutPath);
        debugPrint("That leaves %d Params with a unique pathname!", total - duplicated - withoutPath);
        debugPrint("Printing duplicates:");
        for (const std::string& path : duplicates)
            debugPrint(path);
    }
}
