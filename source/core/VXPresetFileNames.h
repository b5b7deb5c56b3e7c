#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace vx
{
    class File;

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
        // beside that one, else its name numbered on, past files holding
        // other presets and the names of this save. So nothing is overwritten
        // and each loads back to its owner. Null (logged) only when a
        // thousand numbers are taken.
        static File placeFor(const File& parent, const std::vector<Entry>& entries,
                             const std::vector<std::string>& names, size_t index, const Presets& presets,
                             const FileOwnerOf& ownerOf, const Moved& moved = nullptr);

        // A preset tree's folder as the managers remember files by, however
        // the caller spelled its end.
        static std::string treeKey(const File& folder);

        // folder/name without File::getChildFile, which takes a folder whose
        // name has a dot for a file and answers a sibling instead.
        static File childOf(const File& folder, const std::string& name);
    };
}
