#include "engine/renderpasses/VXRenderPassManager.h"

#include "VXRenderPassTestSupport.h"
#include "core/VXFile.h"
#include "core/VXStringUtils.h"
#include "core/xml/VXXmlStates.h"
#include "support/VXFileSizeLimit.h"
#include "support/VXLogRecorder.h"
#include "support/VXPresetSessions.h"
#include "support/VXRandomSessions.h"
#include "support/VXTempDir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <set>

namespace vx::test
{
    namespace
    {
        // Kinds whose names differ only by characters file names leave out,
        // one name in two categories, and names that are what the folders of
        // others are spelled out or told apart as.
        struct KindSpec
        {
            const char* name;
            RenderPassCategory category;
        };
        const KindSpec everyKind[] = {
            {"Add.50", RenderPassCategoryEffect},        {"Add50", RenderPassCategoryEffect},
            {"Add50", RenderPassCategoryMixer},          {"Tint", RenderPassCategoryEffect},
            {"Tint", RenderPassCategoryMixer},           {"Ti.nt", RenderPassCategoryEffect},
            {"Add50 (Mixer)", RenderPassCategoryEffect}, {"Add%2E50", RenderPassCategoryEffect}};
        // Five whose folders all come from one name: the sessions with trouble
        // have these alone, so their folders change hands more often.
        const KindSpec foldingKinds[] = {{"Add.50", RenderPassCategoryEffect},
                                         {"Add50", RenderPassCategoryEffect},
                                         {"Add50", RenderPassCategoryMixer},
                                         {"Add50 (Mixer)", RenderPassCategoryEffect},
                                         {"Add%2E50", RenderPassCategoryEffect}};
        // The kinds of the sessions running.
        const KindSpec* kinds = everyKind;
        unsigned kindCount = sizeof everyKind / sizeof everyKind[0];
        const char* const presetNames[] = {"Wide", "Wide 2", "Close", "Fade out...", "v1.0", "v10"};
        constexpr unsigned presetNameCount = sizeof presetNames / sizeof presetNames[0];

        struct Op
        {
            enum Kind
            {
                create,
                edit,
                rename,
                remove,
                duplicate,
                save,
                restart
            };
            Kind kind = save;
            unsigned owner = 0;   // among the kinds registered, modulo their count
            unsigned preset = 0;  // among the kind's presets, modulo their count
            unsigned name = 0;    // in presetNames
            int value = 0;        // the amount in 64ths
            unsigned present = 0; // restart: a bit per kind registered
            unsigned program = 0; // which of two programs over the folder does it
            int room = -1;        // save: bytes a file may grow to past the shortest preset's; < 0: no limit
        };

        std::string describe(const Op& op)
        {
            const std::string owner = "registered kind #" + std::to_string(op.owner);
            const std::string preset = "preset #" + std::to_string(op.preset) + " of " + owner;
            const std::string value = std::to_string(op.value) + "/64";
            const std::string program = op.program == 0 ? "" : "program B: ";
            switch (op.kind)
            {
                case Op::create:
                    return program + "create \"" + std::string(presetNames[op.name]) + "\" = " + value + " for " +
                           owner;
                case Op::edit:
                    return program + "edit " + preset + " to " + value;
                case Op::rename:
                    return program + "rename " + preset + " to \"" + presetNames[op.name] + "\"";
                case Op::remove:
                    return program + "delete " + preset;
                case Op::duplicate:
                    return program + "duplicate " + preset;
                case Op::save:
                    return program + "save" +
                           (op.room < 0 ? std::string() : " with room for " + std::to_string(op.room) + " bytes more");
                case Op::restart:
                {
                    std::string text = program + "restart with";
                    for (unsigned k = 0; k < kindCount; ++k)
                        if ((op.present & (1u << k)) != 0)
                            text += std::string(" \"") + kinds[k].name + "\"/" + std::to_string(kinds[k].category);
                    return text;
                }
            }
            return "?";
        }

        // A session; with trouble, a second program over the folder and saves
        // that run out of room at any of their files as well.
        std::vector<Op> drawSession(unsigned seed, int length, bool trouble)
        {
            std::mt19937 random(seed);
            const auto below = [&](unsigned n) { return unsigned(random() % n); };
            std::vector<Op> ops;
            for (int i = 0; i < length; ++i)
            {
                Op op;
                const unsigned roll = below(100);
                op.kind = roll < 25   ? Op::create
                          : roll < 40 ? Op::edit
                          : roll < 55 ? Op::rename
                          : roll < 65 ? Op::remove
                          : roll < 72 ? Op::duplicate
                          : roll < 88 ? Op::save
                                      : Op::restart;
                op.owner = below(kindCount);
                op.preset = below(8);
                op.name = below(presetNameCount);
                op.value = int(below(64));
                for (unsigned k = 0; k < kindCount; ++k)
                    if (below(2) != 0)
                        op.present |= 1u << k;
                if (trouble)
                {
                    op.program = below(3) == 0 ? 1 : 0;
                    if (op.kind == Op::save && below(2) == 0)
                        op.room = int(below(48));
                }
                ops.push_back(op);
            }
            return ops;
        }

        // A kind as the user's presets name their owner; their values are
        // amounts in 64ths.
        std::string kindKey(unsigned kind)
        {
            return std::string(kinds[kind].name) + "/" + std::to_string(kinds[kind].category);
        }

        std::set<std::string> kindKeys(unsigned presentKinds)
        {
            std::set<std::string> keys;
            for (unsigned k = 0; k < kindCount; ++k)
                if ((presentKinds & (1u << k)) != 0)
                    keys.insert(kindKey(k));
            return keys;
        }

        // The user's own files in the folder, a damaged preset among them:
        // never touched by a save.
        const std::pair<const char*, const char*> userFiles[] = {
            {"Tint/notes.txt", "my own notes"},
            {"Add50/Broken.xml", "<?xml version=\"1.0\"?>\n<Preset name=\"Broken\" renderPass=\"Add50\"><Rend"}};

        // Runs sessions over a real folder: the user's presets are what
        // create, edit, rename, delete and duplicate made of them. Alone, a
        // program's save that answers true leaves exactly its presets as
        // files (and those of kinds not registered as they were), and each
        // restart loads exactly those of the kinds registered. With a second
        // program over the folder and saves that fail, every save is judged
        // by judgeSave: nothing on disk is lost, and true means all written.
        class Session
        {
        public:
            Session()
            {
                // The shortest file a preset makes here.
                TempDir scratch(sessionFolderBase());
                const auto measuring = makeManager(1u);
                valuesOf(info(*measuring, 0)).write(*info(*measuring, 0).getPresets(), "Wide", 0, -1);
                measuring->savePresets(File(scratch.path() + "/"));
                for (const auto& entry : std::filesystem::recursive_directory_iterator(scratch.path()))
                    if (entry.is_regular_file())
                        shortest = size_t(entry.file_size());
            }

            SessionFailure replay(const std::vector<Op>& ops)
            {
                TempDir tree(sessionFolderBase());
                folder = File(tree.path() + "/");
                for (const auto& [path, bytes] : userFiles)
                    tree.writeFile(path, bytes);
                LogRecorder log;
                for (Program& program : programs)
                    program = Program();
                std::string failure = startManager(programs[0], (1u << kindCount) - 1);
                std::vector<std::string> steps;
                for (size_t i = 0; i < ops.size() && failure.empty(); ++i)
                {
                    log.clear();
                    step = describe(ops[i]);
                    failure = apply(ops[i]);
                    steps.push_back(step);
                    if (! failure.empty())
                    {
                        for (Program& program : programs)
                            program.manager.reset();
                        return {failure + "\n" + log.dump(), i, steps};
                    }
                }
                for (Program& program : programs)
                    program.manager.reset();
                return {failure, 0, {}};
            }

            // Saves that answered false, and saves by program B, in all
            // replays: the trouble the sessions are to meet.
            int failedSaves = 0;
            int otherSaves = 0;

        private:
            struct Program
            {
                std::unique_ptr<RenderPassManager> manager;
                std::vector<unsigned> present;
                ProgramPresets presets;
            };

            static RenderPassInfo& info(RenderPassManager& m, unsigned kind)
            {
                return *m.getRenderPassInfo(kinds[kind].name, kinds[kind].category);
            }

            static std::vector<XmlState*> statesOf(RenderPassInfo& info)
            {
                std::vector<XmlState*> states;
                const XmlStates& presets = *info.getPresets();
                for (int i = 0; i < presets.getNumStates(); ++i)
                    if (presets.getState(i)->getName() != "default")
                        states.push_back(presets.getState(i));
                return states;
            }

            // A preset's amount as a pass of its kind takes it; a preset
            // snapshot of a pass with a new amount.
            static PresetValues valuesOf(RenderPassInfo& info)
            {
                const auto read = [&info](const XmlState& state)
                {
                    std::unique_ptr<RenderPass> made(info.createRenderPass(const_cast<XmlState*>(&state), false));
                    return int(std::lround(static_cast<AddConstantPass&>(*made).amount->getValue() * 64));
                };
                const auto write = [](XmlStates& presets, const std::string& name, int value, int replaced)
                {
                    AddConstantPass pass(value / 64.0);
                    presets.setXmlCapable(&pass);
                    if (replaced >= 0)
                        presets.repushState(replaced, std::string());
                    else
                        presets.pushState(name, std::string());
                    presets.setXmlCapable(nullptr);
                };
                return {read, write};
            }

            static std::unique_ptr<RenderPassManager> makeManager(unsigned presentKinds)
            {
                auto made = std::make_unique<RenderPassManager>();
                for (unsigned k = 0; k < kindCount; ++k)
                    if ((presentKinds & (1u << k)) != 0)
                        made->registerRenderPass(kinds[k].name, kinds[k].name, &AddConstantPass::creationFunc,
                                                 kinds[k].category,
                                                 kinds[k].category == RenderPassCategoryMixer ? 2 : 1, true, false);
                return made;
            }

            // The presets of the kinds of presentKinds a manager holds.
            static UserPresets presetsOf(RenderPassManager& m, unsigned presentKinds)
            {
                UserPresets found;
                for (unsigned k = 0; k < kindCount; ++k)
                    if ((presentKinds & (1u << k)) != 0)
                    {
                        RenderPassInfo& kind = info(m, k);
                        for (XmlState* state : statesOf(kind))
                            found.insert({kindKey(k), state->getName(), valuesOf(kind).read(*state)});
                    }
                return found;
            }

            static unsigned bitsOf(const std::vector<unsigned>& present)
            {
                unsigned bits = 0;
                for (const unsigned k : present)
                    bits |= 1u << k;
                return bits;
            }

            // Both programs at once: from the first start of the second on.
            bool together() const { return programs[1].manager != nullptr; }

            std::string startManager(Program& program, unsigned presentKinds)
            {
                program.manager.reset();
                program.manager = makeManager(presentKinds);
                program.present.clear();
                for (unsigned k = 0; k < kindCount; ++k)
                    if ((presentKinds & (1u << k)) != 0)
                        program.present.push_back(k);
                program.manager->loadPresets(folder);
                const UserPresets loaded = presetsOf(*program.manager, presentKinds);
                program.presets.live = program.presets.known = loaded;
                std::string failure;
                const UserPresets stored = storedPresets(failure);
                if (! failure.empty())
                    return failure;
                const UserPresets expected = ownedBy(stored, kindKeys(presentKinds));
                if (loaded != expected)
                    return "the restart loaded" + listed(loaded) + "\n  instead of" + listed(expected);
                return {};
            }

            // The presets below the folder as a manager with every kind reads
            // them; a failure when a file there is neither a preset nor the
            // user's own, or one of those changed.
            UserPresets storedPresets(std::string& failure) const
            {
                size_t files = 0;
                for (const auto& entry : std::filesystem::recursive_directory_iterator(folder.getFullPath()))
                    files += entry.is_regular_file() ? 1 : 0;
                for (const auto& [path, bytes] : userFiles)
                    if (File(folder.getFullPath() + path).toString() != bytes)
                        failure = std::string("the user's ") + path + " changed";
                const unsigned all = (1u << kindCount) - 1;
                const std::unique_ptr<RenderPassManager> reader = makeManager(all);
                const int loaded = reader->loadPresets(folder);
                const UserPresets stored = presetsOf(*reader, all);
                const size_t userFileCount = sizeof userFiles / sizeof userFiles[0];
                if (size_t(loaded) + userFileCount != files)
                    failure = "the folder holds " + std::to_string(files) + " files, " + std::to_string(loaded) +
                              " of them presets:" + listed(stored);
                return stored;
            }

            std::string save(Program& program, int room)
            {
                otherSaves += &program == &programs[1] ? 1 : 0;
                std::string failure;
                const UserPresets before = storedPresets(failure);
                bool answered = false;
                {
                    std::optional<FileSizeLimit> full;
                    if (room >= 0)
                        full.emplace(shortest + size_t(room));
                    answered = program.manager->savePresets(folder);
                    failedSaves += answered ? 0 : 1;
                }
                const UserPresets after = storedPresets(failure);
                if (! failure.empty())
                    return failure;
                if (room < 0 && ! answered)
                    return "the save answered false";
                if (const std::string misnamed = misnamedPresetFile(folder.getFullPath(), PresetFileNameForm::kept);
                    ! misnamed.empty())
                    return "after the save, " + misnamed;
                const ProgramPresets was = program.presets;
                failure = judgeSave(answered, before, after, kindKeys(bitsOf(program.present)), program.presets);
                if (! failure.empty() || together() || ! answered)
                    return failure;
                // Alone: exactly its presets, and those of kinds not
                // registered as they were.
                const std::set<std::string> present = kindKeys(bitsOf(program.present));
                std::set<std::string> absent = kindKeys((1u << kindCount) - 1);
                for (const std::string& key : present)
                    absent.erase(key);
                if (ownedBy(after, present) != was.live || ownedBy(after, absent) != ownedBy(before, absent))
                    return "the save answered true, but the folder holds" + listed(after) + "\n  instead of" +
                           listed(was.live) + " and, of kinds not registered," + listed(ownedBy(before, absent));
                return {};
            }

            std::string apply(const Op& op)
            {
                Program& program = programs[op.program];
                if (op.kind == Op::restart)
                    return startManager(program, op.present);
                if (program.manager == nullptr)
                    return {};
                if (op.kind == Op::save)
                    return save(program, op.room);
                if (program.present.empty())
                    return {};
                const unsigned kind = program.present[op.owner % program.present.size()];
                RenderPassInfo& owner = info(*program.manager, kind);
                const PresetValues values = valuesOf(owner);
                stringReplace(step, "registered kind #" + std::to_string(op.owner), kindKey(kind));
                if (op.kind == Op::create)
                {
                    values.write(*owner.getPresets(), presetNames[op.name], op.value, -1);
                    program.presets.live.insert({kindKey(kind), presetNames[op.name], op.value});
                    return {};
                }
                const std::vector<XmlState*> states = statesOf(owner);
                if (states.empty())
                    return {};
                XmlState& state = *states[op.preset % states.size()];
                stringReplace(step, "preset #" + std::to_string(op.preset),
                              "\"" + state.getName() + "\" = " + std::to_string(values.read(state)) + "/64");
                const PresetAction action = op.kind == Op::edit     ? PresetAction::edit
                                            : op.kind == Op::rename ? PresetAction::rename
                                            : op.kind == Op::remove ? PresetAction::remove
                                                                    : PresetAction::duplicate;
                return applyPresetAction(action, *owner.getPresets(), state, kindKey(kind), presetNames[op.name],
                                         op.value, values, program.presets.live);
            }

            File folder;
            Program programs[2];
            size_t shortest = 0;
            // What the operation applied did, named.
            std::string step;
        };

        // extraSeeds: seeds soaks found failing once, run besides the others.
        void runSessions(unsigned defaultFirst, int defaultCount, bool trouble,
                         std::initializer_list<unsigned> extraSeeds = {})
        {
            kinds = trouble ? foldingKinds : everyKind;
            kindCount = trouble ? sizeof foldingKinds / sizeof foldingKinds[0] : sizeof everyKind / sizeof everyKind[0];
            GfxObjectManager objects;
            GfxObjectManager::setCurrent(&objects);
            const SessionSeeds seeds = sessionSeeds(defaultFirst, defaultCount);
            {
                Session session;
                // The passes the managers of a replay leave to the object
                // manager go with it: thousands of seeds run in one process.
                const auto replay = [&](const std::vector<Op>& ops)
                {
                    SessionFailure failure = session.replay(ops);
                    objects.cleanAll();
                    return failure;
                };
                for (const SessionSeeds& run : sessionRuns(seeds, extraSeeds))
                    for (const std::string& report : RandomSession<Op>::runSeeds(
                             run, [&](unsigned seed) { return drawSession(seed, 60, trouble); }, replay, describe, 300))
                        ADD_FAILURE() << report;
                if (trouble && seeds.count >= 20)
                {
                    EXPECT_GT(session.failedSaves, 0);
                    EXPECT_GT(session.otherSaves, 0);
                }
            }
            GfxObjectManager::clearCurrent(&objects);
        }

        TEST(RenderPassPresetSessionsTest, EverySeedKeepsExactlyTheUsersPresets)
        {
            runSessions(1, 150, false, {1546, 1580, 1696, 1847});
        }

        // Two programs over one folder, saves that run out of room, kinds
        // whose folders all come from one name.
        TEST(RenderPassPresetSessionsTest, EverySeedLosesNothingThroughFailedWritesAndTwoPrograms)
        {
            runSessions(1, 150, true, {1546, 1580, 1615, 1696, 1841, 1847, 2446, 3734, 6935});
        }
    }
}
