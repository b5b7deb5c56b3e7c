#include "core/parameters/VXBehaviourFactory.h"

#include "core/VXLog.h"
#include "engine/behaviours/VXBehaviourBasic.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cassert>
#include <mutex>
#include <vector>

namespace vx
{
    namespace
    {
        // Priority order: when a parameter's element holds several behaviour
        // children, the earliest kind here wins.
        const std::vector<std::string>& kindNames()
        {
            static const std::vector<std::string> names = {
                "BehaviourBasic",  "BehaviourTimeline",    "BehaviourBpmBeatLoopr",
                "BehaviourLink",   "BehaviourBpmHardSync", "BehaviourFFTLink",
                "BehaviourPoints", "BehaviourExpression",  "BehaviourLFO",
            };
            return names;
        }

        constexpr std::size_t kindCount = 9;
        constexpr std::size_t basicIndex = 0;

        std::array<std::atomic<BehaviourFactory::Creator>, kindCount> creators{};

        int indexOfKind(const std::string& elementName)
        {
            const std::vector<std::string>& names = kindNames();
            assert(names.size() == kindCount);
            for (std::size_t i = 0; i < names.size(); ++i)
                if (names[i] == elementName)
                    return static_cast<int>(i);
            return -1;
        }

        bool store(const std::string& elementName, BehaviourFactory::Creator creator)
        {
            const int index = indexOfKind(elementName);
            if (index < 0)
            {
                logPrint(logWarning, "BehaviourFactory: unknown behaviour kind '%s'", elementName.c_str());
                return false;
            }
            if (creator == nullptr && static_cast<std::size_t>(index) == basicIndex)
            {
                logPrint(logWarning, "BehaviourFactory: the kind '%s' cannot be unregistered", elementName.c_str());
                return false;
            }
            creators[static_cast<std::size_t>(index)].store(creator, std::memory_order_release);
            return true;
        }

        std::shared_ptr<BehaviourDouble> createBasicBehaviour(ParamRange& owner)
        {
            return std::make_shared<BehaviourBasic>(owner);
        }

        // Registrations added so far, and whether the table has filled.
        struct Registrations
        {
            std::mutex lock;
            std::vector<BehaviourFactory::Registration> added;
            bool filled = false;
        };

        Registrations& registrations()
        {
            static Registrations instance;
            return instance;
        }
    }

    const char* const BehaviourFactory::basicKind = "BehaviourBasic";

    void BehaviourFactory::ensureRegistered()
    {
        static std::once_flag once;
        std::call_once(once,
                       []
                       {
                           Registrar registrar;
                           registrar.add(basicKind, &createBasicBehaviour);
                           Registrations& pending = registrations();
                           std::lock_guard<std::mutex> hold(pending.lock);
                           for (Registration registration : pending.added)
                               registration(registrar);
                           pending.filled = true;
                       });
    }

    void BehaviourFactory::addRegistration(Registration registration)
    {
        if (registration == nullptr)
            return;
        Registrations& pending = registrations();
        std::lock_guard<std::mutex> hold(pending.lock);
        if (std::find(pending.added.begin(), pending.added.end(), registration) != pending.added.end())
            return;
        pending.added.push_back(registration);
        if (pending.filled)
        {
            Registrar registrar;
            registration(registrar);
        }
    }

    bool BehaviourFactory::Registrar::add(const std::string& elementName, Creator creator)
    {
        return store(elementName, creator);
    }

    const std::vector<std::string>& BehaviourFactory::getKindNames()
    {
        return kindNames();
    }

    bool BehaviourFactory::registerKind(const std::string& elementName, Creator creator)
    {
        ensureRegistered();
        return store(elementName, creator);
    }

    BehaviourFactory::Creator BehaviourFactory::getCreator(const std::string& elementName)
    {
        ensureRegistered();
        const int index = indexOfKind(elementName);
        return index < 0 ? nullptr : creators[static_cast<std::size_t>(index)].load(std::memory_order_acquire);
    }

    std::shared_ptr<BehaviourDouble> BehaviourFactory::createBasic(ParamRange& owner)
    {
        ensureRegistered();
        const Creator creator = creators[basicIndex].load(std::memory_order_acquire);
        // The behaviours always register the basic kind and it cannot be
        // removed; a missing one means the registration itself is broken.
        assert(creator != nullptr);
        std::shared_ptr<BehaviourDouble> created = creator(owner);
        assert(created != nullptr);
        return created;
    }

    const XmlNode* BehaviourFactory::findBehaviourNode(const XmlNode& paramNode, Creator* creator)
    {
        ensureRegistered();
        const std::vector<std::string>& names = kindNames();
        for (std::size_t i = 0; i < names.size(); ++i)
        {
            const Creator registered = creators[i].load(std::memory_order_acquire);
            if (registered == nullptr)
                continue;
            if (const XmlNode* child = paramNode.first_node(names[i].c_str(), names[i].size()))
            {
                if (creator != nullptr)
                    *creator = registered;
                return child;
            }
        }
        return nullptr;
    }
}
