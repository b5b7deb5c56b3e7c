#include "support/VXPresetSessions.h"

#include "core/VXFile.h"
#include "core/xml/VXXmlState.h"
#include "core/xml/VXXmlStates.h"
#include "core/xml/VXXmlUtils.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

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

    namespace
    {
        std::vector<std::string> fileNameForms(const std::string& name, PresetFileNameForm form)
        {
            if (form == PresetFileNameForm::kept)
                return {name};
            const char* const leftOut = "\\,/:?<>|.";
            std::string stripped, spelledOut;
            for (const char c : name)
            {
                if (std::strchr(leftOut, c) == nullptr)
                {
                    stripped += c;
                    spelledOut += c;
                    continue;
                }
                char code[4];
                std::snprintf(code, sizeof code, "%%%02X", unsigned(static_cast<unsigned char>(c)));
                spelledOut += code;
            }
            return {stripped, spelledOut};
        }

        // stem is form, or form numbered on (" 2", " 3").
        bool followsForm(const std::string& stem, const std::string& form)
        {
            if (stem == form)
                return true;
            if (stem.size() < form.size() + 2 || stem.compare(0, form.size(), form) != 0 ||
                stem[form.size()] != ' ')
                return false;
            const std::string number = stem.substr(form.size() + 1);
            return number.find_first_not_of("0123456789") == std::string::npos && number[0] != '0' &&
                   number != "1";
        }
    }

    std::string misnamedPresetFile(const std::string& folder, PresetFileNameForm form)
    {
        for (const auto& owner : std::filesystem::directory_iterator(folder))
        {
            if (! owner.is_directory())
                continue;
            for (const auto& entry : std::filesystem::directory_iterator(owner.path()))
            {
                const std::string fileName = entry.path().filename().string();
                if (! entry.is_regular_file() || fileName.size() < 4 ||
                    fileName.compare(fileName.size() - 4, 4, ".xml") != 0)
                    continue;
                const std::unique_ptr<XmlDocument> document =
                    XmlUtils::loadXmlFromFile(File(entry.path().string()), true);
                const XmlNode* preset = document != nullptr ? document->first_node("Preset") : nullptr;
                const XmlAttribute* name = preset != nullptr ? preset->first_attribute("name") : nullptr;
                if (name == nullptr)
                    continue;
                const std::string presetName(name->value(), name->value_size());
                const std::string stem = fileName.substr(0, fileName.size() - 4);
                const std::vector<std::string> forms = fileNameForms(presetName, form);
                if (std::none_of(forms.begin(), forms.end(),
                                 [&](const std::string& each) { return followsForm(stem, each); }))
                    return owner.path().filename().string() + "/" + fileName + " holds the preset \"" +
                           presetName + "\"";
            }
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
