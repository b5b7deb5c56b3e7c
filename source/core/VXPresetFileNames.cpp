#include "core/VXPresetFileNames.h"

#include "core/VXFile.h"
#include "core/VXLog.h"
#include "core/VXStringUtils.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <utility>

namespace vx
{
    namespace
    {
        // The characters stringStripInvalidFilePathCharacters removes.
        const char* const strippedCharacters = "\\,/:?<>|.";

        // A name as uniqueNames first tries it.
        std::string baseName(const std::string& name, PresetFileNames::Form form)
        {
            return form == PresetFileNames::Form::kept ? name : PresetFileNames::stripped(name);
        }

        std::string tagged(const std::string& spelledOutName, const std::string& tag)
        {
            return tag.empty() ? spelledOutName : spelledOutName + " (" + tag + ")";
        }
    }

    std::string PresetFileNames::stripped(const std::string& name)
    {
        std::string result = name;
        stringStripInvalidFilePathCharacters(result);
        return result;
    }

    std::string PresetFileNames::spelledOut(const std::string& name)
    {
        static const char* const digits = "0123456789ABCDEF";
        std::string result;
        for (const char c : name)
        {
            if (std::strchr(strippedCharacters, c) == nullptr)
            {
                result += c;
                continue;
            }
            result += '%';
            result += digits[(static_cast<unsigned char>(c) >> 4) & 15];
            result += digits[static_cast<unsigned char>(c) & 15];
        }
        return result;
    }

    std::vector<std::string> PresetFileNames::uniqueNames(const std::vector<Entry>& entries, Form form)
    {
        std::vector<std::string> baseNames;
        std::map<std::string, int> baseUses;
        std::map<std::string, int> nameUses;
        for (const Entry& entry : entries)
        {
            baseNames.push_back(baseName(entry.name, form));
            ++baseUses[baseNames.back()];
            ++nameUses[entry.name];
        }

        std::vector<std::string> names(entries.size());
        std::set<std::string> taken;
        for (size_t i = 0; i < entries.size(); ++i)
            if (! baseNames[i].empty() && baseUses[baseNames[i]] == 1)
                taken.insert(names[i] = baseNames[i]);
        for (size_t i = 0; i < entries.size(); ++i)
        {
            if (baseNames[i].empty() || baseUses[baseNames[i]] == 1)
                continue;
            std::string name = form == Form::kept ? entries[i].name : spelledOut(entries[i].name);
            if (nameUses[entries[i].name] > 1)
                name = tagged(name, entries[i].tag);
            std::string unique = name;
            for (int n = 2; taken.count(unique) != 0; ++n)
                unique = name + " " + std::to_string(n);
            taken.insert(names[i] = unique);
        }
        return names;
    }

    void PresetFileNames::keepCurrentNames(const std::vector<Entry>& entries, std::vector<std::string>& names,
                                           const std::vector<std::string>& current)
    {
        std::map<std::string, std::vector<size_t>> groups;
        for (size_t i = 0; i < entries.size(); ++i)
            groups[entries[i].name].push_back(i);
        for (const auto& [name, group] : groups)
        {
            if (group.size() < 2)
                continue;
            std::vector<std::string> free;
            for (const size_t i : group)
                free.push_back(names[i]);
            std::vector<bool> kept(group.size(), false);
            for (size_t k = 0; k < group.size(); ++k)
            {
                const auto held = std::find(free.begin(), free.end(), current[group[k]]);
                if (current[group[k]].empty() || held == free.end())
                    continue;
                names[group[k]] = *held;
                free.erase(held);
                kept[k] = true;
            }
            for (size_t k = 0, next = 0; k < group.size(); ++k)
                if (! kept[k])
                    names[group[k]] = free[next++];
        }
    }

    std::vector<size_t> PresetFileNames::movingFirst(const std::vector<Entry>& entries,
                                                     const std::vector<std::string>& names, Form form)
    {
        std::vector<size_t> order;
        for (const bool moving : {true, false})
            for (size_t i = 0; i < entries.size(); ++i)
                if ((names[i] != baseName(entries[i].name, form)) == moving)
                    order.push_back(i);
        return order;
    }

    std::vector<std::string> PresetFileNames::possibleNames(const Entry& entry)
    {
        const std::string strippedName = stripped(entry.name);
        if (strippedName.empty())
            return {};
        const std::string spelledOutName = spelledOut(entry.name);
        return {strippedName, spelledOutName, tagged(spelledOutName, entry.tag)};
    }

    std::vector<File> PresetFileNames::formerFolders(const File& parent, const Entry& entry,
                                                     const std::string& current)
    {
        std::vector<File> folders;
        for (const std::string& name : possibleNames(entry))
        {
            const File folder = childOf(parent, name);
            if (name != current && folder.existsAsDirectory())
                folders.push_back(folder);
        }
        return folders;
    }

    PresetFileNames::FileOwner PresetFileNames::ofOwnersFile(const std::string& storedName,
                                                             const std::string& presetName, Copy known)
    {
        const FileOwner own{FileOwner::own, {}};
        const FileOwner sibling{FileOwner::sibling, {storedName, {}}};
        switch (known)
        {
            case Copy::ofThisPreset:
            case Copy::ofPresetWritten:
                return own;
            case Copy::ofPresetNotWritten:
                return sibling;
            case Copy::unknown:
                break;
        }
        return storedName == presetName ? own : sibling;
    }

    namespace
    {
        // What a preset's file name numbers on from: the name uniqueNames
        // gave it without the number it put after (" 2"), so that the
        // duplicate "Wide" of "Wide 2" goes on as "Wide 3", never as "Wide 2
        // 2", which loads back as the preset "Wide" all the same but reads as
        // another.
        std::string numberingStem(const PresetFileNames::Entry& entry, const std::string& name,
                                  PresetFileNames::Form form)
        {
            const std::string named =
                form == PresetFileNames::Form::kept ? entry.name : PresetFileNames::spelledOut(entry.name);
            const std::string stems[] = {tagged(named, entry.tag), named, baseName(entry.name, form)};
            for (const std::string& stem : stems)
                if (name == stem)
                    return name;
            for (const std::string& stem : stems)
                if (name.size() > stem.size() + 1 && name.compare(0, stem.size(), stem) == 0 &&
                    name[stem.size()] == ' ' &&
                    name.find_first_not_of("0123456789", stem.size() + 1) == std::string::npos)
                    return stem;
            return name;
        }

        // A file in folder for presets.index beside one holding another
        // preset: where that is the owner's preset siblingName, the name
        // uniqueNames gives it with that one there; else its name numbered
        // on, past other presets' files and the names the others of the save
        // take. Null (logged) when none is free.
        File besidePreset(const File& folder, const PresetFileNames::Presets& presets, const std::string* siblingName,
                          const PresetFileNames::FileOwnerOf& ownerOf)
        {
            const std::string& current = presets.names[presets.index];
            const std::string stem = numberingStem(presets.entries[presets.index], current, presets.form);
            std::set<std::string> others(presets.names.begin(), presets.names.end());
            others.erase(current);
            std::vector<std::string> candidates;
            if (siblingName != nullptr)
            {
                std::vector<PresetFileNames::Entry> both = presets.entries;
                both.push_back({*siblingName, {}});
                candidates.push_back(PresetFileNames::uniqueNames(both, presets.form)[presets.index]);
            }
            for (int n = 2; n <= 1000; ++n)
                candidates.push_back(stem + " " + std::to_string(n));
            for (const std::string& name : candidates)
            {
                if (name.empty() || name == current || others.count(name) != 0)
                    continue;
                const File file = PresetFileNames::childOf(folder, name + ".xml");
                const PresetFileNames::FileOwner::Kind kind = ownerOf(file).kind;
                if (kind == PresetFileNames::FileOwner::none || kind == PresetFileNames::FileOwner::own)
                    return file;
            }
            logPrint(logError, "%s: no file in '%s' is free for the preset \"%s\"", "placeFor",
                     folder.getFullPath().c_str(), presets.entries[presets.index].name.c_str());
            return File();
        }
    }

    File PresetFileNames::placeFor(const File& parent, const std::vector<Entry>& entries,
                                   const std::vector<std::string>& names, size_t index, const Presets& presets,
                                   const FileOwnerOf& ownerOf, const Moved& moved)
    {
        const std::string fileName = presets.names[presets.index] + ".xml";
        File folder = childOf(parent, names[index]);
        File file = childOf(folder, fileName);
        FileOwner owner = ownerOf(file);
        if (owner.kind == FileOwner::another)
        {
            // A present owner's file goes to its folder now; an absent one's
            // to where it would be beside the present ones.
            const auto present = std::find_if(
                entries.begin(), entries.end(),
                [&](const Entry& entry) { return entry.name == owner.other.name && entry.tag == owner.other.tag; });
            std::vector<Entry> both = entries;
            if (present == entries.end())
                both.push_back(owner.other);
            const std::vector<std::string> bothNames = present == entries.end() ? uniqueNames(both) : names;
            const std::string& ownName = bothNames[index];
            const std::string& otherName =
                present == entries.end() ? bothNames.back() : bothNames[size_t(present - entries.begin())];
            if (ownName != names[index])
            {
                const File beside = childOf(childOf(parent, ownName), fileName);
                const FileOwner besideOwner = ownerOf(beside);
                if (besideOwner.kind == FileOwner::another)
                {
                    // Both places taken: a file of its own name in its folder.
                    logPrint(logWarning, "%s: '%s' and '%s' both hold presets of other owners than \"%s\"", "placeFor",
                             file.getFullPath().c_str(), beside.getFullPath().c_str(), entries[index].name.c_str());
                    return besidePreset(folder, presets, nullptr, ownerOf);
                }
                folder = childOf(parent, ownName);
                file = beside;
                owner = besideOwner;
            }
            else
            {
                // The other owner's folder beside this one: its file moves
                // there, where that owner would have written it.
                const File otherFolder = childOf(parent, otherName);
                const File destination = childOf(otherFolder, fileName);
                if (! otherName.empty() && ! otherFolder.existsAsDirectory())
                    otherFolder.createDirectory();
                // No replace: a file already there stays, and so does this one.
                if (otherName.empty() || ::renameat2(AT_FDCWD, file.getFullPath().c_str(), AT_FDCWD,
                                                     destination.getFullPath().c_str(), RENAME_NOREPLACE) != 0)
                {
                    // It stays; the preset takes a file of its own name beside it.
                    logPrint(logWarning, "%s: '%s' holds a preset of \"%s\" and cannot move to '%s': %s", "placeFor",
                             file.getFullPath().c_str(), owner.other.name.c_str(), destination.getFullPath().c_str(),
                             otherName.empty() ? "no name" : std::strerror(errno));
                    return besidePreset(folder, presets, nullptr, ownerOf);
                }
                logPrint(logWarning, "%s: moved '%s', a preset of \"%s\", to '%s'", "placeFor",
                         file.getFullPath().c_str(), owner.other.name.c_str(), destination.getFullPath().c_str());
                if (moved)
                    moved(file, destination);
                return file;
            }
        }
        if (owner.kind != FileOwner::sibling)
            return file;
        return besidePreset(folder, presets, &owner.other.name, ownerOf);
    }

    std::optional<PresetFileNames::Stamp> PresetFileNames::stampOf(const File& file)
    {
        // Not blocking: a pipe or device under that name is no preset file.
        const int fd = ::open(file.getFullPath().c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            return std::nullopt;
        struct stat status;
        std::optional<Stamp> stamp;
        if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode))
        {
            // FNV-1a over the bytes: a file edited in place at its size, its
            // time put back, is told apart by them.
            std::uint64_t hash = 14695981039346656037ull;
            char buffer[8192];
            ssize_t count = 0;
            while ((count = ::read(fd, buffer, sizeof buffer)) > 0 || (count < 0 && errno == EINTR))
                for (ssize_t i = 0; i < count; ++i)
                    hash = (hash ^ static_cast<unsigned char>(buffer[i])) * 1099511628211ull;
            if (count == 0)
                stamp = Stamp{std::int64_t(status.st_size), std::int64_t(status.st_mtim.tv_sec),
                              std::int64_t(status.st_mtim.tv_nsec), hash};
        }
        ::close(fd);
        return stamp;
    }

    bool PresetFileNames::removeFormerCopies(const std::vector<FormerCopy>& copies,
                                             const std::set<std::string>& targets, const StoredNameOf& storedNameOf,
                                             const std::function<void(const FormerCopy&, bool)>& forget,
                                             const char* caller, const WriteTurns* turns)
    {
        bool allRemoved = true;
        for (const FormerCopy& copy : copies)
        {
            const std::string& path = copy.file.getFullPath();
            if (turns != nullptr && targets.count(path) == 0 && turns->holdsUnwritten(copy.file))
                continue;
            bool removed = false;
            if (targets.count(path) == 0 && (! copy.stamp.has_value() || stampOf(copy.file) == copy.stamp) &&
                storedNameOf(copy.file) == copy.presetName)
            {
                if (! copy.file.deleteFile())
                {
                    logPrint(logError, "%s: could not remove '%s'", caller, path.c_str());
                    allRemoved = false;
                    continue;
                }
                removed = true;
            }
            if (forget)
                forget(copy, removed);
        }
        return allRemoved;
    }

    PresetFileNames::WriteTurns::WriteTurns(const std::vector<std::string>& allTexts, FileHolds holdsText)
        : texts(allTexts), fileHolds(std::move(holdsText)), outcomes(allTexts.size(), Outcome::waiting)
    {
    }

    PresetFileNames::WriteTurns::Holds PresetFileNames::WriteTurns::holds(const File& file, size_t index) const
    {
        Holds held = Holds::nothing;
        for (size_t other = 0; other < texts.size(); ++other)
        {
            if (other == index || outcomes[other] == Outcome::written || texts[other].empty() ||
                texts[other] == texts[index] || ! fileHolds(file, texts[other]))
                continue;
            if (outcomes[other] == Outcome::waiting)
                return Holds::pendingCopy;
            held = Holds::failedCopy;
        }
        return held;
    }

    bool PresetFileNames::WriteTurns::holdsUnwritten(const File& file) const
    {
        for (size_t index = 0; index < texts.size(); ++index)
            if (outcomes[index] != Outcome::written && ! texts[index].empty() && fileHolds(file, texts[index]))
                return true;
        return false;
    }

    bool PresetFileNames::WriteTurns::waitsFor(size_t held, bool last) const
    {
        return ! last && held < outcomes.size() && outcomes[held] == Outcome::waiting;
    }

    void PresetFileNames::WriteTurns::run(const std::vector<size_t>& order,
                                          const std::function<Outcome(size_t, bool)>& write)
    {
        std::vector<size_t> waiting = order;
        bool last = false;
        while (! waiting.empty())
        {
            std::vector<size_t> still;
            bool progress = false;
            for (const size_t index : waiting)
            {
                outcomes[index] = write(index, last);
                if (outcomes[index] == Outcome::waiting)
                    still.push_back(index);
                else
                    progress = progress || outcomes[index] == Outcome::written;
            }
            if (last)
            {
                // Nothing waits past the last call.
                for (const size_t index : still)
                    outcomes[index] = Outcome::failed;
                break;
            }
            // Only each other's copies left to wait for: the last round.
            last = ! progress;
            waiting = std::move(still);
        }
    }

    std::string PresetFileNames::treeKey(const File& folder)
    {
        std::string path = folder.getFullPath();
        while (path.size() > 1 && path.back() == '/')
            path.pop_back();
        return path;
    }

    File PresetFileNames::childOf(const File& folder, const std::string& name)
    {
        std::string path = folder.getFullPath();
        if (! path.empty() && path.back() != '/')
            path += '/';
        return File(path + name);
    }
}
