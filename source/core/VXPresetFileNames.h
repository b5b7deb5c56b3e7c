#pragma once

#include "core/VXFile.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace vx
{
    // How presets are named on disk: a folder per owner (a kind of render
    // pass, a source extension), a file per preset. A name keeps its form
    // with the characters invalid in paths stripped (stringStrip-
    // InvalidFilePathCharacters), which is what folders and files were
    // always called, unless another name beside it strips to the same; then
    // the stripped characters are spelled out as "%" and two hex digits
    // ("Take 1.0" -> "Take 1%2E0"), and names that are equal get their tag
    // too ("Add%2E50 (Mixer)"). So existing names still load where they do
    // not collide, and no two owners (or presets) share a folder (or file).
    // Which names stand together decides, so an owner's folder can change
    // from one save to the next: see possibleNames.
    //
    // Names kept as they stand (Form::kept, for callers that refuse the
    // names no file can have) collide only when equal, and are then
    // numbered apart the same way: "Soft", "Soft 2".
    class PresetFileNames
    {
    public:
        struct Entry
        {
            std::string name;
            std::string tag; // told apart by when names are equal; may be empty
        };

        enum class Form
        {
            stripped,
            kept
        };

        static std::string stripped(const std::string& name);
        static std::string spelledOut(const std::string& name);

        // Each entry's name on disk, in order; empty for a name that strips
        // to nothing. Two equal entries (or a contrived name such as
        // "Add%2E50" beside "Add.50" and "Add50") are numbered apart, in
        // order: the first keeps the name, the next get " 2", " 3" (past
        // any name another entry has).
        static std::vector<std::string> uniqueNames(const std::vector<Entry>& entries, Form form = Form::stripped);
        // Presets of one name share their numbered names (of uniqueNames)
        // among them as they lie now, so a save after loading them in another
        // order renames no file: current[i] is the file name (without ".xml")
        // entry i lies in, in its folder, or empty.
        static void keepCurrentNames(const std::vector<Entry>& entries, std::vector<std::string>& names,
                                     const std::vector<std::string>& current);
        // The indices of entries in the order to write them: those whose
        // name (of uniqueNames) is not their stripped (or kept) form first,
        // so that they move out of a folder or file they shared before the
        // one that keeps it writes there.
        static std::vector<size_t> movingFirst(const std::vector<Entry>& entries, const std::vector<std::string>& names,
                                               Form form = Form::stripped);
        // Every name uniqueNames gives the entry with some set of others
        // beside it (but the numbered ones); none when it strips to nothing.
        static std::vector<std::string> possibleNames(const Entry& entry);
        // The folders under parent, of the entry's possible names but
        // current, that exist: where its presets lay before.
        static std::vector<File> formerFolders(const File& parent, const Entry& entry, const std::string& current);

        // Whose preset a file holds, as the manager saving reads it: nobody's
        // (no file, no preset), the very preset being written (or a former
        // copy of one written whole by now: may be replaced), another preset
        // of the same owner (told by its name), or another owner's, present
        // or not, told by its entry.
        struct FileOwner
        {
            enum Kind
            {
                none,
                own,
                sibling,
                another
            };
            Kind kind = none;
            Entry other;
        };
        using FileOwnerOf = std::function<FileOwner(const File&)>;
        // Told of a file placeFor moved, so whoever tracks it follows.
        using Moved = std::function<void(const File& from, const File& to)>;

        // What the manager saving knows of a file of its owner's: nothing, or
        // that it holds (as the manager loaded or wrote it) the preset being
        // written, another of its presets still to be written (or not written
        // in this save), or a preset written whole elsewhere since.
        enum class Copy
        {
            unknown,
            ofThisPreset,
            ofPresetNotWritten,
            ofPresetWritten
        };
        // A file of the owner's holding a preset named storedName, to the
        // preset presetName being written: its own where it is that preset's
        // copy or the former copy of one written whole, another preset's where
        // it holds one not written yet; one the manager does not know is the
        // very preset when the names are equal.
        static FileOwner ofOwnersFile(const std::string& storedName, const std::string& presetName, Copy known);

        // The presets of one owner in a save: their entries, their file names
        // (uniqueNames) and the one being written.
        struct Presets
        {
            const std::vector<Entry>& entries;
            const std::vector<std::string>& names;
            size_t index;
            Form form;
        };

        // The file presets.index is written to below parent: in the folder
        // names[index] under its file name, unless the file there holds
        // another owner's preset (one not present now that had the folder,
        // one present that left a copy there, or one moved in by hand). Then
        // each takes the place uniqueNames gives it with both present (a
        // present one: its folder now): the preset goes into its folder then,
        // or, where that is this folder, the other's file first moves into
        // its own (never over a file) and moved hears of it; where that place
        // is taken too, the preset takes its name numbered on (" 2", " 3") in
        // its folder. A file holding another preset of the owner is never
        // replaced either: the preset takes the name uniqueNames gives it
        // beside that one, else its name numbered on (a numbered duplicate
        // "Wide 2" of "Wide" as "Wide 3"), past files holding other presets
        // and the names of this save. So nothing is overwritten
        // and each loads back to its owner. Null (logged) only when a
        // thousand numbers are taken.
        static File placeFor(const File& parent, const std::vector<Entry>& entries,
                             const std::vector<std::string>& names, size_t index, const Presets& presets,
                             const FileOwnerOf& ownerOf, const Moved& moved = nullptr);

        // A file as a manager loaded or wrote it, told by its size, its
        // modification time and a hash of its bytes: rewritten since (a new
        // file in its place, an edit in place, even one whose time was put
        // back, or a touch) it differs, and is no longer that manager's copy
        // but another program's. Its inode and device are not compared: a
        // file system mounted again (a stick or card unplugged and back, a
        // resume) gives the same files new ones, and a file copied in place
        // with its times is the same copy still.
        struct Stamp
        {
            std::int64_t size = 0;
            std::int64_t seconds = 0;
            std::int64_t nanoseconds = 0;
            std::uint64_t contentHash = 0;
            bool operator==(const Stamp&) const = default;
        };
        // None when no regular file is there, or it cannot be read.
        static std::optional<Stamp> stampOf(const File& file);
        // The stamp of a file that holds bytes (written or read just now):
        // they are hashed, the file is not read.
        static std::optional<Stamp> stampOf(const File& file, const std::string& bytes);
        // The file's bytes and their stamp from one read; none (bytes empty)
        // as stampOf.
        static std::optional<Stamp> readStamped(const File& file, std::string& bytes);
        // Whether file is still as stamped (none stamped: whether it is
        // still missing or unreadable). Its size and time are compared
        // first; its bytes are read only when those agree and withBytes is
        // true, as where a file is about to be replaced or removed; without
        // them, a file edited in place with its time put back passes.
        static bool isAsStamped(const File& file, const std::optional<Stamp>& stamp, bool withBytes = true);

        // What a manager wrote a preset's file from: the state's snapshot
        // element, its own attributes, and the rest of the file as the
        // manager frames every preset of the owner (the owner's attributes,
        // the document around them). A save that finds a preset written from
        // the same, and its file as stamped, does not print it: a snapshot is
        // never changed in place (a change gives the state a new element).
        struct WrittenFrom
        {
            const void* snapshot = nullptr;
            std::string name;
            std::string altName;
            int storage = 0;
            std::string framing;
            bool operator==(const WrittenFrom&) const = default;
        };
        // Of an XmlState.
        template <typename State>
        static WrittenFrom writtenFrom(const State& state, const std::string& framing)
        {
            return {state.getNode(), state.getName(), state.getAltName(), int(state.getStorage()), framing};
        }

        // A file a preset lay in before a save put it elsewhere: a folder its
        // owner had beside other owners, a file it was loaded from or saved
        // to under another name. Known (with the stamp the manager has of
        // it), or found by its name.
        struct FormerCopy
        {
            File file;
            std::string presetName;
            std::optional<Stamp> stamp;
        };
        // The name of the preset a file holds where it is the saving owner's,
        // none where it is another's or no preset.
        using StoredNameOf = std::function<std::optional<std::string>(const File&)>;
        // Removes each copy that is still the saving manager's: none of
        // targets (the files this save put presets in), holding a preset of
        // its owner named presetName, and, when known, unchanged since (a file
        // another program rewrote is that program's copy). forget hears of
        // each copy dealt with, and whether it was removed (else it is no
        // longer this preset's); a copy whose removal failed stays for the
        // next save, and the answer is false. Called once every preset the
        // copies are former copies of is written, never before: one file may
        // hold the only copy of another preset of the same name until then.
        // A copy that holds, byte for byte, a preset turns (the owner's save)
        // did not write stays too, unheard of by forget, for a later save:
        // the file of a duplicate deleted since may be the only copy of the
        // one kept.
        class WriteTurns;
        static bool removeFormerCopies(const std::vector<FormerCopy>& copies, const std::set<std::string>& targets,
                                       const StoredNameOf& storedNameOf,
                                       const std::function<void(const FormerCopy&, bool removed)>& forget,
                                       const char* caller, const WriteTurns* turns = nullptr);

        // The order one owner's presets are written in, so that no file is
        // replaced while it holds the only copy of another of them: a preset
        // whose file holds, byte for byte, what another preset of the save is
        // to be written as (an unedited duplicate, say) waits until that one
        // is written, and is not written at all when that write failed; one
        // whose file holds another preset still to be written (as the manager
        // knows it) waits until that one has moved out.
        class WriteTurns
        {
        public:
            // texts: each preset as printed, empty for one that could not be
            // (or is not yet). A file is matched against them by its size and
            // a hash of its bytes, read once per question.
            explicit WriteTurns(const std::vector<std::string>& texts);
            // texts[index] was printed since.
            void printed(size_t index);

            enum class Outcome
            {
                written,
                failed,
                waiting
            };
            enum class Holds
            {
                nothing,
                pendingCopy,
                failedCopy
            };
            // What file, about to be replaced by the preset index, holds: the
            // text of another preset still to be written, or of one whose
            // write failed, or neither.
            Holds holds(const File& file, size_t index) const;

            // Whether a preset waits for held, another of the save's that the
            // file it is to take holds (as the manager knows it): until held
            // is written and out of the way, but in the last round.
            bool waitsFor(size_t held, bool last) const;

            // Whether file holds, byte for byte, a preset of the save that
            // was not written (its write failed, or never came): it may be
            // that preset's only copy.
            bool holdsUnwritten(const File& file) const;

            // Calls write for each index of order; those that answer waiting
            // are called again after another was written, and, when none is
            // left to wait for but each other, once more with last true
            // (where a pending copy no longer makes them wait).
            void run(const std::vector<size_t>& order, const std::function<Outcome(size_t index, bool last)>& write);

        private:
            // The presets whose text file holds, byte for byte, in index
            // order; none when it is missing or no text is its size.
            std::vector<size_t> textsIn(const File& file) const;

            const std::vector<std::string>& texts;
            std::vector<Outcome> outcomes;
            // The indices of the non-empty texts by size, and by hash for the
            // sizes a file was asked about.
            std::map<std::size_t, std::vector<size_t>> bySize;
            mutable std::set<std::size_t> hashed;
            mutable std::unordered_multimap<std::uint64_t, size_t> byHash;
        };

        // A preset tree's folder as the managers remember files by, however
        // the caller spelled its end.
        static std::string treeKey(const File& folder);

        // folder/name without File::getChildFile, which takes a folder whose
        // name has a dot for a file and answers a sibling instead.
        static File childOf(const File& folder, const std::string& name);
    };
}
