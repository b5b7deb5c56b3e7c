#include "support/VXPresetSessions.h"

#include "core/xml/VXXmlState.h"
#include "core/xml/VXXmlStates.h"

#include <algorithm>

namespace vx::test
{
    std::string listed(const UserPresets& presets)
    {
        std::string text;
        for (const auto& [owner, name, value] : presets)
            text += " " + owner + ":\"" + name + "\"=" + std::to_string(value);
        return text.empty() ? " (none)" : text;
    }

    UserPresets ownedBy(const UserPresets& presets, const std::set<std::string>& owners)
    {
        UserPresets kept;
        for (const UserPreset& preset : presets)
            if (owners.count(std::get<0>(preset)) != 0)
                kept.insert(preset);
        return kept;
    }

    namespace
    {
        // a less b, as multisets.
        UserPresets without(const UserPresets& a, const UserPresets& b)
        {
            UserPresets left = a;
            for (const UserPreset& preset : b)
                if (const auto found = left.find(preset); found != left.end())
                    left.erase(found);
            return left;
        }

        bool hasKey(const UserPresets& presets, const UserPreset& preset)
        {
            return std::any_of(presets.begin(), presets.end(),
                               [&](const UserPreset& other) {
                                   return std::get<0>(other) == std::get<0>(preset) &&
                                          std::get<1>(other) == std::get<1>(preset);
                               });
        }
    }

    std::string judgeSave(bool answered, const UserPresets& before, const UserPresets& after,
                          const std::set<std::string>& presentOwners, ProgramPresets& program)
    {
        const UserPresets changed = without(program.known, program.live);
        const UserPresets kept = without(program.known, changed);
        const std::set<UserPreset> gone(before.begin(), before.end());
        for (const UserPreset& preset : gone)
        {
            const size_t had = before.count(preset);
            const size_t has = after.count(preset);
            if (has >= had)
                continue;
            // Copies the program knew there and still has stay; others go
            // only as the program's user changed or deleted them, or as the
            // program writes its own of that preset (same owner and name).
            const bool ownsName = hasKey(program.live, preset) || hasKey(program.known, preset);
            if (has >= std::min(had, kept.count(preset)) && (ownsName || had - has <= changed.count(preset)))
                continue;
            return "the save answered " + std::string(answered ? "true" : "false") + " and lost" + listed({preset}) +
                   "\n  the folder held" + listed(before) + "\n  and holds" + listed(after);
        }
        const UserPresets unwritten = without(ownedBy(program.live, presentOwners), after);
        if (answered && ! unwritten.empty())
            return "the save answered true, but did not write" + listed(unwritten) + "\n  the folder holds" +
                   listed(after);
        // What it knew or has that is on disk now.
        UserPresets known = program.live;
        for (const UserPreset& preset : without(program.known, program.live))
            known.insert(preset);
        program.known.clear();
        UserPresets left = after;
        for (const UserPreset& preset : known)
            if (const auto found = left.find(preset); found != left.end())
            {
                program.known.insert(preset);
                left.erase(found);
            }
        return {};
    }

    std::string applyPresetAction(PresetAction action, XmlStates& store, XmlState& state, const std::string& owner,
                                  const std::string& name, int value, const PresetValues& values, UserPresets& live)
    {
        const UserPreset was{owner, state.getName(), values.read(state)};
        const auto known = live.find(was);
        if (known == live.end())
            return owner + " holds" + listed({was}) + ", which the user never made";
        switch (action)
        {
            case PresetAction::edit:
                live.erase(known);
                values.write(store, state.getName(), value, state.getUniqueId());
                live.insert({owner, state.getName(), value});
                break;
            case PresetAction::rename:
                live.erase(known);
                state.setName(name);
                live.insert({owner, name, std::get<2>(was)});
                break;
            case PresetAction::remove:
                live.erase(known);
                store.removeStateById(state.getUniqueId(), true);
                break;
            case PresetAction::duplicate:
                values.write(store, state.getName(), std::get<2>(was), -1);
                live.insert(was);
                break;
        }
        return {};
    }
}
