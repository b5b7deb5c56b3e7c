#include "core/parameters/VXParamCollection.h"

#include "core/VXAsyncUpdatable.h"
#include "core/VXCriticalSection.h"
#include "core/VXLog.h"
#include "core/VXScopedLock.h"
#include "core/parameters/VXParamBase.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <set>

namespace vx
{
    namespace
    {
        // The registry's path map: open addressing with linear probing in a
        // power-of-two table kept at most half full. A slot holds the upper
        // half of the path's hash and the entry's index plus one (0: empty),
        // so a hit touches one slot, one entry and its key, where a
        // node-based map also walks from a bucket to its chain. Entries stay
        // in the order they were stored. Built whole, then only read.
        class PathMap
        {
        public:
            struct Entry
            {
                std::string path;
                std::weak_ptr<ParamBase> param;
            };

            // Stores each parameter under its current path; a later one with
            // the same path replaces an earlier one.
            void assign(const std::vector<std::shared_ptr<ParamBase>>& params)
            {
                entries.clear();
                entries.reserve(params.size());
                std::size_t size = 16;
                while (size < params.size() * 2)
                    size *= 2;
                slots.assign(size, 0);
                for (const auto& param : params)
                {
                    const std::string& path = param->getPath();
                    const std::size_t hash = ParamPathHasher()(path);
                    std::uint64_t& slot = slots[findSlot(path, hash)];
                    if (slot != 0)
                    {
                        entries[indexOf(slot)].param = param;
                        continue;
                    }
                    entries.push_back({path, param});
                    slot = (tagOf(hash) << 32) | entries.size();
                }
            }

            // Null when no entry has exactly that path.
            const Entry* find(const std::string& path) const
            {
                if (slots.empty())
                    return nullptr;
                const std::uint64_t slot = slots[findSlot(path, ParamPathHasher()(path))];
                return slot == 0 ? nullptr : &entries[indexOf(slot)];
            }

            const std::vector<Entry>& getEntries() const { return entries; }

        private:
            static std::uint64_t tagOf(std::size_t hash) { return std::uint64_t(hash) >> 32; }
            static std::size_t indexOf(std::uint64_t slot) { return std::size_t(slot & 0xffffffffu) - 1; }

            // The slot holding path, or the empty one where it would go (the
            // table is never full).
            std::size_t findSlot(const std::string& path, std::size_t hash) const
            {
                const std::size_t mask = slots.size() - 1;
                for (std::size_t i = hash & mask;; i = (i + 1) & mask)
                {
                    const std::uint64_t slot = slots[i];
                    if (slot == 0 || ((slot >> 32) == tagOf(hash) && entries[indexOf(slot)].path == path))
                        return i;
                }
            }

            std::vector<std::uint64_t> slots;
            std::vector<Entry> entries;
        };
    }

    struct ParamCollection::Pimpl : public AsyncUpdatable
    {
        explicit Pimpl(ParamCollection& ownerToCall) : owner(ownerToCall) {}

        ~Pimpl() override { cleanup(); }

        void asyncCallback() override { owner.handleStateForAsyncListeners(); }

        // Copies the set under the set lock.
        std::vector<ParamPtr> snapshot() const
        {
            ScopedLock hold(setLock);
            return std::vector<ParamPtr>(params.begin(), params.end());
        }

        ParamCollection& owner;

        // Whether the map reflects the set and every path as they are now;
        // read without a lock, so that a lookup on a current map takes only
        // the map lock. The counts are written last in a rebuild, under the
        // map lock, so a lookup that finds them current and then enters the
        // map lock reads the finished map.
        bool isMapCurrent() const
        {
            return builtChanges.load(std::memory_order_acquire) == changes.load(std::memory_order_acquire) &&
                   builtGeneration.load(std::memory_order_acquire) == ParamBase::getPathGeneration();
        }

        CriticalSection setLock;
        std::set<ParamPtr> params; // ordered by address
        // Rises with every change of the set (and invalidateMap), under the
        // set lock: the map is stale while builtChanges differs.
        std::atomic<std::uint64_t> changes{1};

        // A plain mutex, not a CriticalSection: it is taken once per lookup,
        // and the priority-inheriting recursive lock costs about as much as
        // the hash look-up it guards. Nothing that holds it calls back into
        // the registry (forEachParam calls out on a copy).
        std::mutex mapLock;
        // What the map was last built from: the set's change count and
        // ParamBase::getPathGeneration() (paths may change after
        // registration, renames, which makes the map stale too).
        std::atomic<std::uint64_t> builtChanges{0};
        std::atomic<std::uint64_t> builtGeneration{0};
        PathMap pathMap;

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
            pimpl->changes.fetch_add(1);
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
                pimpl->changes.fetch_add(1);
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
                pimpl->changes.fetch_add(1);
        }
        for (const ParamPtr& param : removed)
            param->removeListener(*this);
        return allRegistered;
    }

    void ParamCollection::invalidateMap()
    {
        ScopedLock hold(pimpl->setLock);
        pimpl->changes.fetch_add(1);
    }

    int ParamCollection::getNumParams() const
    {
        ScopedLock hold(pimpl->setLock);
        return static_cast<int>(pimpl->params.size());
    }

    void ParamCollection::rebuildLookupIfNeeded()
    {
        Pimpl& p = *pimpl;
        if (p.isMapCurrent())
            return;

        p.setLock.enter();
        const std::uint64_t changes = p.changes.load();
        const std::uint64_t generation = ParamBase::getPathGeneration();
        std::vector<ParamPtr> snapshot(p.params.begin(), p.params.end());

        // Hand-over: registrations may go on while the map is rebuilt; they
        // raise the change count again. Rebuilds enter the map lock in the
        // order they left the set lock, so the counts only ever rise.
        std::lock_guard<std::mutex> mapHold(p.mapLock);
        p.setLock.exit();

        // Another thread may have rebuilt from the same state meanwhile.
        if (p.builtChanges.load() == changes && p.builtGeneration.load() == generation)
            return;
        p.pathMap.assign(snapshot);
        p.builtGeneration.store(generation, std::memory_order_release);
        p.builtChanges.store(changes, std::memory_order_release);
    }

    ParamCollection::ParamPtr ParamCollection::findParamWithPath(const std::string& path)
    {
        rebuildLookupIfNeeded();
        std::lock_guard<std::mutex> hold(pimpl->mapLock);
        const PathMap::Entry* found = pimpl->pathMap.find(path);
        return found == nullptr ? ParamPtr() : found->param.lock();
    }

    void ParamCollection::findParamsWithPaths(const std::vector<std::string>& paths, std::vector<ParamPtr>& found)
    {
        rebuildLookupIfNeeded();
        std::lock_guard<std::mutex> hold(pimpl->mapLock);
        for (const std::string& path : paths)
        {
            const PathMap::Entry* entry = pimpl->pathMap.find(path);
            if (entry == nullptr)
                continue;
            if (ParamPtr param = entry->param.lock())
                found.push_back(std::move(param));
        }
    }

    ParamCollection::ParamPtr ParamCollection::findParam(const ParamBase* param)
    {
        if (param == nullptr)
            return ParamPtr();
        rebuildLookupIfNeeded();
        std::lock_guard<std::mutex> hold(pimpl->mapLock);
        for (const PathMap::Entry& entry : pimpl->pathMap.getEntries())
        {
            ParamPtr live = entry.param.lock();
            if (live.get() == param)
                return live;
        }
        return ParamPtr();
    }

    void ParamCollection::forEachParam(const std::function<void(const ParamPtr&)>& function)
    {
        // Called outside the map lock, so that the function may look up or
        // register parameters.
        std::vector<std::weak_ptr<ParamBase>> entries;
        {
            std::lock_guard<std::mutex> hold(pimpl->mapLock);
            entries.reserve(pimpl->pathMap.getEntries().size());
            for (const PathMap::Entry& entry : pimpl->pathMap.getEntries())
                entries.push_back(entry.param);
        }
        for (const std::weak_ptr<ParamBase>& entry : entries)
            function(entry.lock());
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
        std::lock_guard<std::mutex> hold(pimpl->mapLock);
        debugPrint("paramMap.size() : %d", static_cast<int>(pimpl->pathMap.getEntries().size()));
        for (const PathMap::Entry& entry : pimpl->pathMap.getEntries())
            if (ParamPtr param = entry.param.lock())
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
