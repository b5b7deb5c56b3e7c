#include "support/VXPresetSessions.h"

#include "core/xml/VXXmlState.h"
#include "core/xml/VXXmlStates.h"

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
