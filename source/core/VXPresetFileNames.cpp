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
#include <unordered_map>
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

    namespace
    {
        std::uint64_t rotateLeft(std::uint64_t value, int bits)
        {
            return (value << bits) | (value >> (64 - bits));
        }

        // A 64-bit hash of bytes given in pieces of any size: four lanes
        // take eight bytes each per step, so the steps run side by side and
        // hashing keeps up with reading. Any change of bytes or length shows
        // but by chance; stamps live in memory only, so it may change.
        class BytesHash
        {
        public:
            void add(const char* data, std::size_t count)
            {
                total += count;
                if (pendingSize > 0)
                {
                    const std::size_t take = std::min(count, sizeof pending - pendingSize);
                    std::memcpy(pending + pendingSize, data, take);
                    pendingSize += take;
                    data += take;
                    count -= take;
                    if (pendingSize < sizeof pending)
                        return;
                    block(pending);
                    pendingSize = 0;
                }
                for (; count >= sizeof pending; data += sizeof pending, count -= sizeof pending)
                    block(data);
                std::memcpy(pending, data, count);
                pendingSize = count;
            }

            std::uint64_t finish() const
            {
                std::uint64_t hash = std::uint64_t(total) * mix;
                for (const std::uint64_t lane : lanes)
                    hash = rotateLeft(hash ^ lane, 27) * mix + step;
                for (std::size_t i = 0; i < pendingSize; ++i)
                    hash = rotateLeft(hash ^ (static_cast<unsigned char>(pending[i]) * step), 11) * mix;
                hash ^= hash >> 33;
                hash *= step;
                return hash ^ (hash >> 29);
            }

            static std::uint64_t of(const std::string& bytes)
            {
                BytesHash hash;
                hash.add(bytes.data(), bytes.size());
                return hash.finish();
            }

        private:
            static constexpr std::uint64_t mix = 0x9E3779B97F4A7C15ull;
            static constexpr std::uint64_t step = 0xD6E8FEB86659FD93ull;

            void block(const char* data)
            {
                for (int lane = 0; lane < 4; ++lane)
                {
                    std::uint64_t word = 0;
                    std::memcpy(&word, data + 8 * lane, 8);
                    lanes[lane] = rotateLeft(lanes[lane] + word * step, 31) * mix;
                }
            }

            std::uint64_t lanes[4] = {mix, step, mix ^ step, mix + step};
            char pending[32] = {};
            std::size_t pendingSize = 0;
            std::uint64_t total = 0;
        };

        // Opens a file for reading without blocking: a pipe or device under
        // that name is no preset file. -1 unless it is a regular file.
        int openRegular(const File& file, struct stat& status)
        {
            const int fd = ::open(file.getFullPath().c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
            if (fd < 0)
                return -1;
            if (::fstat(fd, &status) != 0 || ! S_ISREG(status.st_mode))
            {
                ::close(fd);
                return -1;
            }
            return fd;
        }

        // Reads fd to its end, hashing (and keeping, where bytes is given)
        // what it reads; false when a read fails.
        bool readAll(int fd, BytesHash& hash, std::string* bytes)
        {
            char buffer[65536];
            ssize_t count = 0;
            while ((count = ::read(fd, buffer, sizeof buffer)) > 0 || (count < 0 && errno == EINTR))
                if (count > 0)
                {
                    hash.add(buffer, std::size_t(count));
                    if (bytes != nullptr)
                        bytes->append(buffer, std::size_t(count));
                }
            return count == 0;
        }

        PresetFileNames::Stamp stampFrom(const struct stat& status, std::uint64_t contentHash)
        {
            return {std::int64_t(status.st_size), std::int64_t(status.st_mtim.tv_sec),
                    std::int64_t(status.st_mtim.tv_nsec), contentHash};
        }
    }

    std::optional<PresetFileNames::Stamp> PresetFileNames::stampOf(const File& file)
    {
        std::string ignored;
        return readStamped(file, ignored);
    }

    std::optional<PresetFileNames::Stamp> PresetFileNames::readStamped(const File& file, std::string& bytes)
    {
        bytes.clear();
        struct stat status;
        const int fd = openRegular(file, status);
        if (fd < 0)
            return std::nullopt;
        bytes.reserve(std::size_t(status.st_size));
        BytesHash hash;
        const bool read = readAll(fd, hash, &bytes);
        ::close(fd);
        if (! read)
        {
            bytes.clear();
            return std::nullopt;
        }
        return stampFrom(status, hash.finish());
    }

    std::optional<PresetFileNames::Stamp> PresetFileNames::stampOf(const File& file, const std::string& bytes)
    {
        struct stat status;
        if (::stat(file.getFullPath().c_str(), &status) != 0 || ! S_ISREG(status.st_mode))
            return std::nullopt;
        return stampFrom(status, BytesHash::of(bytes));
    }

    bool PresetFileNames::isAsStamped(const File& file, const std::optional<Stamp>& stamp, bool withBytes)
    {
        struct stat status;
        if (! withBytes)
        {
            const bool regular = ::stat(file.getFullPath().c_str(), &status) == 0 && S_ISREG(status.st_mode);
            return regular && stamp.has_value() ? stampFrom(status, stamp->contentHash) == *stamp
                                                : ! regular && ! stamp.has_value();
        }
        const int fd = openRegular(file, status);
        if (fd < 0 || ! stamp.has_value())
        {
            if (fd >= 0)
                ::close(fd);
            return fd < 0 && ! stamp.has_value();
        }
        bool same = stampFrom(status, stamp->contentHash) == *stamp;
        if (same)
        {
            BytesHash hash;
            same = readAll(fd, hash, nullptr) && hash.finish() == stamp->contentHash;
        }
        ::close(fd);
        return same;
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
            if (targets.count(path) == 0 && (! copy.stamp.has_value() || isAsStamped(copy.file, copy.stamp)) &&
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

    PresetFileNames::WriteTurns::WriteTurns(const std::vector<std::string>& allTexts)
        : texts(allTexts), outcomes(allTexts.size(), Outcome::waiting)
    {
        for (size_t index = 0; index < texts.size(); ++index)
            if (! texts[index].empty())
                bySize[texts[index].size()].push_back(index);
    }

    void PresetFileNames::WriteTurns::printed(size_t index)
    {
        if (texts[index].empty())
            return;
        const std::size_t size = texts[index].size();
        bySize[size].push_back(index);
        if (hashed.count(size) != 0)
            byHash.emplace(BytesHash::of(texts[index]), index);
    }

    std::vector<size_t> PresetFileNames::WriteTurns::textsIn(const File& file) const
    {
        struct stat status;
        const int fd = openRegular(file, status);
        if (fd < 0)
            return {};
        const auto sized = bySize.find(std::size_t(status.st_size));
        std::string bytes;
        BytesHash hash;
        // A file that grew or shrank since the stat is none of them.
        const bool read = sized != bySize.end() && readAll(fd, hash, &bytes) && bytes.size() == sized->first;
        ::close(fd);
        if (! read)
            return {};
        // The texts of that size are hashed the first time one is asked for.
        if (hashed.insert(sized->first).second)
            for (const size_t index : sized->second)
                byHash.emplace(BytesHash::of(texts[index]), index);
        std::vector<size_t> held;
        const auto [first, last] = byHash.equal_range(hash.finish());
        for (auto candidate = first; candidate != last; ++candidate)
            if (texts[candidate->second] == bytes)
                held.push_back(candidate->second);
        std::sort(held.begin(), held.end());
        return held;
    }

    PresetFileNames::WriteTurns::Holds PresetFileNames::WriteTurns::holds(const File& file, size_t index) const
    {
        Holds held = Holds::nothing;
        for (const size_t other : textsIn(file))
        {
            if (other == index || outcomes[other] == Outcome::written || texts[other] == texts[index])
                continue;
            if (outcomes[other] == Outcome::waiting)
                return Holds::pendingCopy;
            held = Holds::failedCopy;
        }
        return held;
    }

    bool PresetFileNames::WriteTurns::holdsUnwritten(const File& file) const
    {
        for (const size_t index : textsIn(file))
            if (outcomes[index] != Outcome::written)
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
