#include "engine/renderpasses/VXRenderPassManager.h"

#include "VXRenderPassTestSupport.h"
#include "core/VXFile.h"
#include "core/VXStringUtils.h"
#include "core/xml/VXXmlStates.h"
#include "support/VXLogRecorder.h"
#include "support/VXPresetSessions.h"
#include "support/VXRandomSessions.h"
#include "support/VXTempDir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <set>

namespace vx::test
{
    namespace
    {
        // Kinds whose names differ only by characters file names leave out,
        // and one name in two categories.
        struct KindSpec
        {
            const char* name;
            RenderPassCategory category;
        };
        const KindSpec kinds[] = {{"Add.50", RenderPassCategoryEffect}, {"Add50", RenderPassCategoryEffect},
                                  {"Add50", RenderPassCategoryMixer},   {"Tint", RenderPassCategoryEffect},
                                  {"Tint", RenderPassCategoryMixer},    {"Ti.nt", RenderPassCategoryEffect}};
        constexpr unsigned kindCount = sizeof kinds / sizeof kinds[0];
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
        };

        std::string describe(const Op& op)
        {
            const std::string owner = "registered kind #" + std::to_string(op.owner);
            const std::string preset = "preset #" + std::to_string(op.preset) + " of " + owner;
            const std::string value = std::to_string(op.value) + "/64";
            switch (op.kind)
            {
                case Op::create:
                    return "create \"" + std::string(presetNames[op.name]) + "\" = " + value + " for " + owner;
                case Op::edit:
                    return "edit " + preset + " to " + value;
                case Op::rename:
                    return "rename " + preset + " to \"" + presetNames[op.name] + "\"";
                case Op::remove:
                    return "delete " + preset;
                case Op::duplicate:
                    return "duplicate " + preset;
                case Op::save:
                    return "save";
                case Op::restart:
                {
                    std::string text = "restart with";
                    for (unsigned k = 0; k < kindCount; ++k)
                        if ((op.present & (1u << k)) != 0)
                            text += std::string(" \"") + kinds[k].name + "\"/" + std::to_string(kinds[k].category);
                    return text;
                }
            }
            return "?";
        }

        std::vector<Op> drawSession(unsigned seed, int length)
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

        // Runs sessions of one manager after another over a real folder: the
        // user's presets are what create, edit, rename, delete and duplicate
        // made of them, as last saved; each save answers true and leaves
        // exactly those as files, and each restart loads exactly those of the
        // kinds registered.
        class Session
        {
        public:
            SessionFailure replay(const std::vector<Op>& ops)
            {
                TempDir tree(sessionFolderBase());
                folder = File(tree.path() + "/");
                live.clear();
                saved.clear();
                present.clear();
                LogRecorder log;
                startManager((1u << kindCount) - 1);
                std::vector<std::string> steps;
                for (size_t i = 0; i < ops.size(); ++i)
                {
                    log.clear();
                    step = describe(ops[i]);
                    const std::string failure = apply(ops[i]);
                    steps.push_back(step);
                    if (! failure.empty())
                        return {failure + "\n" + log.dump(), i, steps};
                }
                manager.reset();
                return {};
            }

        private:
            RenderPassInfo& info(unsigned kind) const
            {
                return *manager->getRenderPassInfo(kinds[kind].name, kinds[kind].category);
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
                        RenderPassInfo& kind = *m.getRenderPassInfo(kinds[k].name, kinds[k].category);
                        for (XmlState* state : statesOf(kind))
                            found.insert({kindKey(k), state->getName(), valuesOf(kind).read(*state)});
                    }
                return found;
            }

            std::string startManager(unsigned presentKinds)
            {
                manager.reset();
                manager = makeManager(presentKinds);
                present.clear();
                for (unsigned k = 0; k < kindCount; ++k)
                    if ((presentKinds & (1u << k)) != 0)
                        present.push_back(k);
                manager->loadPresets(folder);
                live = saved;
                const UserPresets loaded = presetsOf(*manager, presentKinds);
                const UserPresets expected = ownedBy(saved, kindKeys(presentKinds));
                if (loaded != expected)
                    return "the restart loaded" + listed(loaded) + "\n  instead of" + listed(expected);
                return {};
            }

            // Every file below the folder is a preset, and they are exactly
            // the user's, as a manager with every kind reads them.
            std::string checkFiles() const
            {
                size_t files = 0;
                for (const auto& entry : std::filesystem::recursive_directory_iterator(folder.getFullPath()))
                    files += entry.is_regular_file() ? 1 : 0;
                const unsigned all = (1u << kindCount) - 1;
                const std::unique_ptr<RenderPassManager> reader = makeManager(all);
                const int loaded = reader->loadPresets(folder);
                const UserPresets stored = presetsOf(*reader, all);
                if (stored != saved || size_t(loaded) != files)
                    return "the save answered true, but the folder holds " + std::to_string(files) + " files of" +
                           listed(stored) + "\n  instead of" + listed(saved);
                return {};
            }

            std::string apply(const Op& op)
            {
                if (op.kind == Op::save)
                {
                    if (! manager->savePresets(folder))
                        return "the save answered false";
                    saved = live;
                    return checkFiles();
                }
                if (op.kind == Op::restart)
                    return startManager(op.present);
                if (present.empty())
                    return {};
                const unsigned kind = present[op.owner % present.size()];
                RenderPassInfo& owner = info(kind);
                const PresetValues values = valuesOf(owner);
                stringReplace(step, "registered kind #" + std::to_string(op.owner), kindKey(kind));
                if (op.kind == Op::create)
                {
                    values.write(*owner.getPresets(), presetNames[op.name], op.value, -1);
                    live.insert({kindKey(kind), presetNames[op.name], op.value});
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
                                         op.value, values, live);
            }

            File folder;
            std::unique_ptr<RenderPassManager> manager;
            std::vector<unsigned> present;
            // What the operation applied did, named.
            std::string step;
            UserPresets live;
            UserPresets saved;
        };

        TEST(RenderPassPresetSessionsTest, EverySeedKeepsExactlyTheUsersPresets)
        {
            GfxObjectManager objects;
            GfxObjectManager::setCurrent(&objects);
            const SessionSeeds seeds = sessionSeeds(1, 150);
            Session session;
            for (int i = 0; i < seeds.count; ++i)
            {
                const unsigned seed = seeds.first + unsigned(i);
                const std::string report = RandomSession<Op>::run(
                    seed, drawSession(seed, 60), [&](const std::vector<Op>& ops) { return session.replay(ops); },
                    describe, 300);
                EXPECT_TRUE(report.empty()) << report;
            }
            GfxObjectManager::clearCurrent(&objects);
        }
    }
}
