#pragma once

// The user's side of a random preset session, shared by the sessions of the
// preset managers: a preset as the user knows it, and the actions on one
// that the model follows.

#include <functional>
#include <set>
#include <string>
#include <tuple>

namespace vx
{
    class XmlState;
    class XmlStates;
}

namespace vx::test
{
    // Whose preset it is (a key the session gives its owner), its name and
    // its value.
    using UserPreset = std::tuple<std::string, std::string, int>;
    using UserPresets = std::multiset<UserPreset>;

    // " owner:"name"=value" for each preset, " (none)" without.
    std::string listed(const UserPresets& presets);
    // The presets whose owner is in owners.
    UserPresets ownedBy(const UserPresets& presets, const std::set<std::string>& owners);

    enum class PresetAction
    {
        edit,
        rename,
        remove,
        duplicate
    };

    // How a session gives a preset its value and reads it back.
    struct PresetValues
    {
        std::function<int(const XmlState&)> read;
        // A new preset of that name (replaced < 0), or a new value for the
        // one of id replaced.
        std::function<void(XmlStates&, const std::string& name, int value, int replaced)> write;
    };

    // One program's side of a session over a preset folder: the presets its
    // user has, and those it knows on disk (loaded, or saved by it).
    struct ProgramPresets
    {
        UserPresets live;
        UserPresets known;
    };

    // Judges a save of program: before and after are the presets on disk
    // around it, answered what the save answered. Whatever it answered, a
    // preset on disk before is there after unless the program's user changed
    // or deleted it (one the program knew and has no longer), or it is
    // another program's copy of one the program has or changed (same owner
    // and name: the very preset). True also means every preset of the
    // program's present owners is on disk. Then what the program knows on
    // disk follows. An error, or empty.
    std::string judgeSave(bool answered, const UserPresets& before, const UserPresets& after,
                          const std::set<std::string>& presentOwners, ProgramPresets& program);

    // How a preset's name may stand in its file's name: as it is (kept), or
    // also with the characters paths leave out stripped or spelled out as
    // "%" and two hex digits (stripped).
    enum class PresetFileNameForm
    {
        kept,
        stripped
    };

    // The first preset file one level below folder whose name does not
    // follow its preset's "name": one of the forms of it, perhaps numbered
    // on (" 2", " 3"), then ".xml"; empty when all do. Files that hold no
    // preset are left out.
    std::string misnamedPresetFile(const std::string& folder, PresetFileNameForm form);

    // Does action to state, a preset of owner in store, and the same to
    // live: edit gives it value, rename gives it name, duplicate adds a copy
    // of it. An error when live has no such preset (the user never made it).
    std::string applyPresetAction(PresetAction action, XmlStates& store, XmlState& state, const std::string& owner,
                                  const std::string& name, int value, const PresetValues& values, UserPresets& live);
}
