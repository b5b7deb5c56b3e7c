#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <vector>

namespace vx
{

    /** A list of function objects called with an event's arguments. No lock:
        signalling and connecting must not overlap. */
    template <typename R, typename... Args>
    class Signal
    {
    public:
        struct Delegate
        {
            std::uintptr_t id = 0;
            std::function<R(Args...)> function;
        };

        /** Appends a delegate called in connection order; answers its id. */
        std::uintptr_t connect(std::function<R(Args...)> function)
        {
            const std::uintptr_t id = ++lastId;
            delegates.push_back({id, std::move(function)});
            return id;
        }

        /** Connects under an identity (typically the receiving object); these are
            called after the list, in order of identity. One per identity: a
            second connection replaces the first. */
        void connect(const void* identity, std::function<R(Args...)> function)
        {
            keyed[identity] = {reinterpret_cast<std::uintptr_t>(identity), std::move(function)};
        }

        /** False when no delegate has that id. */
        bool disconnect(std::uintptr_t id)
        {
            for (auto it = delegates.begin(); it != delegates.end(); ++it)
            {
                if (it->id == id)
                {
                    delegates.erase(it);
                    return true;
                }
            }
            return false;
        }

        bool disconnect(const void* identity) { return keyed.erase(identity) != 0; }

        void signal(Args... args)
        {
            for (const Delegate& delegate : delegates)
            {
                std::function<R(Args...)> copy = delegate.function;
                copy(args...);
            }
            for (auto& entry : keyed)
                entry.second.function(args...);
        }

    private:
        std::vector<Delegate> delegates;
        std::map<const void*, Delegate> keyed;
        std::uintptr_t lastId = 0;
    };

} // namespace vx
