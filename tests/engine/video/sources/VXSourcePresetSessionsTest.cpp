#include "engine/video/sources/VXVideoSourceManager.h"

#include "VXSourcesTestSupport.h"
#include "engine/network/VXFakeDNSService.h"

#include "core/VXFile.h"
#include "core/VXStringUtils.h"
#include "core/xml/VXXmlStates.h"
#include "core/xml/VXXmlUtils.h"
#include "engine/network/VXNetworkVideoExtension.h"
#include "engine/network/VXZeroConfigBrowser.h"
#include "support/VXLogRecorder.h"
#include "support/VXPresetSessions.h"
#include "support/VXRandomSessions.h"
#include "support/VXTempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <set>
#include <thread>
#include <tuple>

namespace vx::test
{
    namespace
    {
        // Sources whose names differ only by characters file names leave out.
        struct PlainSpec
        {
            const char* name;
            const char* id;
        };
        const PlainSpec plains[] = {{"Camera 2.0", "cam-a"}, {"Camera 20", "cam-b"}, {"Deck", "deck"}};
        constexpr unsigned plainCount = sizeof plains / sizeof plains[0];

        // Network servers, two of them on one machine (one name to presets).
        struct ServiceSpec
        {
            const char* name;
            const char* host;
            const char* address;
        };
        const ServiceSpec services[] = {{"Studio", "studio.test", "127.0.0.1"},
                                        {"Stage", "stage.test", "127.0.0.1"},
                                        {"Booth", "booth.test", "127.0.0.2"}};
        constexpr unsigned serviceCount = sizeof services / sizeof services[0];
        const std::uint16_t ports[] = {7000, 7001, 7002};
        constexpr unsigned portCount = sizeof ports / sizeof ports[0];

        const char* const presetNames[] = {"Wide", "Wide 2", "Close", "v1.0", "v10", "v:10"};
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
                restart,
                announce,
                withdraw,
                lookups
            };
            Kind kind = save;
            unsigned owner = 0;   // among the sources listed, modulo their count
            unsigned preset = 0;  // among the source's presets, modulo their count
            unsigned name = 0;    // in presetNames
            int value = 0;        // the preset's note
            unsigned present = 0; // restart: a bit per plain source registered
            unsigned service = 0; // announce, withdraw, lookups
            unsigned port = 0;    // announce: in ports
            bool fail = false;    // lookups: the service's host stops (or starts) resolving
        };

        std::string describe(const Op& op)
        {
            const std::string owner = "listed source #" + std::to_string(op.owner);
            const std::string preset = "preset #" + std::to_string(op.preset) + " of " + owner;
            const std::string value = std::to_string(op.value);
            const std::string service = std::string("\"") + services[op.service].name + "\"";
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
                    for (unsigned k = 0; k < plainCount; ++k)
                        if ((op.present & (1u << k)) != 0)
                            text += std::string(" \"") + plains[k].name + "\"";
                    return text;
                }
                case Op::announce:
                    return "announce " + service + " at " + services[op.service].address + " port " +
                           std::to_string(ports[op.port]);
                case Op::withdraw:
                    return "withdraw " + service;
                case Op::lookups:
                    return std::string("look-ups of ") + services[op.service].host + (op.fail ? " fail" : " work");
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
                op.kind = roll < 20   ? Op::create
                          : roll < 30 ? Op::edit
                          : roll < 40 ? Op::rename
                          : roll < 47 ? Op::remove
                          : roll < 52 ? Op::duplicate
                          : roll < 64 ? Op::save
                          : roll < 72 ? Op::restart
                          : roll < 85 ? Op::announce
                          : roll < 93 ? Op::withdraw
                                      : Op::lookups;
                op.owner = below(8);
                op.preset = below(8);
                op.name = below(presetNameCount);
                op.value = int(below(100));
                for (unsigned k = 0; k < plainCount; ++k)
                    if (below(4) != 0)
                        op.present |= 1u << k;
                op.service = below(serviceCount);
                op.port = below(portCount);
                op.fail = below(2) == 0;
                ops.push_back(op);
            }
            return ops;
        }

        // The host names of the services, each resolving to its address
        // unless its look-ups fail.
        struct Lookups
        {
            static std::string lookUp(const std::string& host)
            {
                std::lock_guard<std::mutex> hold(lock);
                for (const ServiceSpec& service : services)
                    if (host == service.host && failing.count(host) == 0)
                        return service.address;
                return {};
            }
            static void set(const std::string& host, bool fail)
            {
                std::lock_guard<std::mutex> hold(lock);
                if (fail)
                    failing.insert(host);
                else
                    failing.erase(host);
            }
            static void clear()
            {
                std::lock_guard<std::mutex> hold(lock);
                failing.clear();
            }
            static inline std::mutex lock;
            static inline std::set<std::string> failing;
        };

        // Counts the passes of the server browser's listeners (it is called
        // after the server manager's) with the services each saw.
        class PassWatcher : public ZeroConfigBrowserListener
        {
        public:
            void servicesChanged(ZeroConfigBrowser* browser) override
            {
                std::map<std::string, std::uint16_t> seen;
                for (const ZeroConfigService& service : browser->getServices())
                    seen[service.name] = service.port;
                std::lock_guard<std::mutex> hold(lock);
                ++passes;
                last = std::move(seen);
            }
            // Waits for a pass after the first `after` that saw expected.
            bool waitFor(int after, const std::map<std::string, std::uint16_t>& expected)
            {
                const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
                for (;;)
                {
                    {
                        std::lock_guard<std::mutex> hold(lock);
                        if (passes > after && last == expected)
                            return true;
                    }
                    if (std::chrono::steady_clock::now() > deadline)
                        return false;
                    std::this_thread::sleep_for(std::chrono::microseconds(200));
                }
            }
            int count()
            {
                std::lock_guard<std::mutex> hold(lock);
                return passes;
            }

        private:
            std::mutex lock;
            int passes = 0;
            std::map<std::string, std::uint16_t> last;
        };

        // Runs sessions of a source manager after another over a real folder,
        // while scripted servers come and go: the user's presets are what
        // create, edit, rename, delete and duplicate made of them, as last
        // saved; each save answers true and leaves exactly those as files;
        // each start, and each server listed for the first time in a session,
        // has exactly its own.
        class Session
        {
        public:
            Session() { NetworkVideoServerManager::setHostLookup(&Lookups::lookUp); }
            ~Session()
            {
                stopManagers();
                NetworkVideoServerManager::setHostLookup(nullptr);
                Lookups::clear();
            }

            SessionFailure replay(const std::vector<Op>& ops)
            {
                stopManagers();
                for (const auto& [service, port] : announced)
                    dns.withdraw(services[service].name, NetworkVideoServerManager::serverServiceType);
                announced.clear();
                announcedTimes.clear();
                announcements = 0;
                Lookups::clear();
                pools.clear();
                TempDir tree(sessionFolderBase());
                folder = File(tree.path() + "/");
                live.clear();
                saved.clear();
                LogRecorder log;
                std::string failure = startManagers((1u << plainCount) - 1);
                std::vector<std::string> steps;
                for (size_t i = 0; i < ops.size() && failure.empty(); ++i)
                {
                    log.clear();
                    step = describe(ops[i]);
                    failure = apply(ops[i]);
                    steps.push_back(step);
                    if (! failure.empty())
                    {
                        stopManagers();
                        return {failure + "\n" + log.dump(), i, steps};
                    }
                }
                stopManagers();
                return {failure, 0, {}};
            }

        private:
            static std::string ownerKey(const VideoSourceExtension& extension)
            {
                if (const auto* server = dynamic_cast<const NetworkVideoExtension*>(&extension))
                    return server->getIpAddress() + ":" + std::to_string(server->getPort());
                return extension.getExtensionUniqueId();
            }

            // The sources presets are made for, by key: the plain ones
            // registered and the servers listed.
            std::map<std::string, std::shared_ptr<VideoSourceExtension>> owners()
            {
                std::map<std::string, std::shared_ptr<VideoSourceExtension>> found;
                for (const auto& extension : manager->getSources(true))
                    if (dynamic_cast<NetworkVideoExtension*>(extension.get()) != nullptr ||
                        dynamic_cast<PlainExtension*>(extension.get()) != nullptr)
                        found[ownerKey(*extension)] = extension;
                return found;
            }

            static std::vector<XmlState*> statesOf(VideoSourceExtension& extension)
            {
                std::vector<XmlState*> states;
                const auto presets = extension.getPresets();
                for (int i = 0; i < presets->getNumStates(); ++i)
                    if (presets->getState(i)->getName() != "default")
                        states.push_back(presets->getState(i));
                return states;
            }

            static int noteOf(const XmlNode& snapshot)
            {
                int note = -1;
                readAttribute(snapshot.first_attribute("note"), &note);
                return note;
            }

            // A preset's value is its snapshot's note: a new preset is loaded
            // as a file's would be, an edit takes a new snapshot (in a pool
            // that outlives the managers).
            PresetValues valuesOf(VideoSourceExtension& extension)
            {
                const auto read = [](const XmlState& state) { return noteOf(*state.getNode()); };
                const auto write =
                    [this, &extension](XmlStates& store, const std::string& name, int value, int replaced)
                {
                    XmlDocument& pool = pools.emplace_back();
                    XmlNode* source = XmlCapable::createNode(pool, "VideoSource");
                    source->append_attribute(createAttribute(pool, "note", std::to_string(value)));
                    if (replaced >= 0)
                    {
                        store.getStateById(replaced)->setNode(source);
                        return;
                    }
                    XmlNode* preset = XmlCapable::createNode(pool, "Preset");
                    preset->append_attribute(createAttribute(pool, "name", name));
                    preset->append_node(source);
                    extension.loadPreset(preset);
                };
                return {read, write};
            }

            UserPresets presetsOf(const std::string& key, VideoSourceExtension& extension)
            {
                UserPresets found;
                for (XmlState* state : statesOf(extension))
                    found.insert({key, state->getName(), valuesOf(extension).read(*state)});
                return found;
            }

            std::map<std::string, std::uint16_t> expectedServices() const
            {
                std::map<std::string, std::uint16_t> expected;
                for (const auto& [service, port] : announced)
                    expected[services[service].name] = port;
                return expected;
            }

            void stopManagers()
            {
                if (manager == nullptr)
                    return;
                SourceDirectory::clearCurrent(manager.get());
                manager.reset();
                if (NetworkVideoServerManager* servers = NetworkVideoServerManager::getInstanceWithoutCreating())
                    servers->getServerBrowser().removeListener(*watcher);
                NetworkVideoServerManager::deleteInstance();
                watcher.reset();
            }

            // New managers while the services announced stay, the plain
            // sources of present registered; each listed source has exactly
            // its saved presets once they are loaded.
            std::string startManagers(unsigned present)
            {
                stopManagers();
                watcher = std::make_unique<PassWatcher>();
                NetworkVideoServerManager::getInstance()->getServerBrowser().addListener(*watcher, true);
                manager = std::make_unique<VideoSourceManager>();
                SourceDirectory::setCurrent(manager.get());
                for (unsigned k = 0; k < plainCount; ++k)
                    if ((present & (1u << k)) != 0)
                        manager->registerSource(new PlainExtension(plains[k].name, plains[k].id, false));
                // Each announcement since a withdrawal is found (and resolved)
                // once more by a new browse.
                if (! announced.empty() && ! watcher->waitFor(announcements - 1, expectedServices()))
                    return "the servers announced were not browsed in time";
                manager->loadPresets(folder);
                live = saved;
                seen.clear();
                return checkNewlyListed();
            }

            // A server listed for the first time in this session (and each
            // source after a start) has exactly the presets stored for it.
            std::string checkNewlyListed()
            {
                for (const auto& [key, extension] : owners())
                {
                    if (! seen.insert(key).second)
                        continue;
                    const UserPresets has = presetsOf(key, *extension);
                    const UserPresets expected = ownedBy(live, {key});
                    if (has != expected)
                        return key + " came with" + listed(has) + "\n  instead of" + listed(expected);
                }
                return {};
            }

            // Every file below the folder is a preset, and they are exactly
            // the user's.
            std::string checkFiles() const
            {
                UserPresets stored;
                size_t files = 0;
                for (const auto& entry : std::filesystem::recursive_directory_iterator(folder.getFullPath()))
                {
                    if (! entry.is_regular_file())
                        continue;
                    ++files;
                    const std::unique_ptr<XmlDocument> document =
                        XmlUtils::loadXmlFromFile(File(entry.path().string()), true);
                    const XmlNode* preset = document != nullptr ? document->first_node("Preset") : nullptr;
                    const XmlNode* source = preset != nullptr ? preset->first_node() : nullptr;
                    if (source == nullptr)
                        return "the folder holds " + entry.path().string() + ", no preset";
                    const std::string id = readAttribute(preset->first_attribute("sourceId"), std::string());
                    const std::string owner =
                        id == "NETWORK_VIDEO_SRC"
                            ? readAttribute(preset->first_attribute("source"), std::string()) + ":" +
                                  readAttribute(preset->first_attribute("sourcePort"), std::string())
                            : id;
                    stored.insert(
                        {owner, readAttribute(preset->first_attribute("name"), std::string()), noteOf(*source)});
                }
                if (stored != saved)
                    return "the save answered true, but the folder holds" + listed(stored) + "\n  instead of" +
                           listed(saved);
                return {};
            }

            std::string changeServices(const std::function<void()>& change)
            {
                const int before = watcher->count();
                change();
                if (! watcher->waitFor(before, expectedServices()))
                    return "the server list did not follow in time";
                return checkNewlyListed();
            }

            std::string apply(const Op& op)
            {
                const ServiceSpec& service = services[op.service];
                switch (op.kind)
                {
                    case Op::save:
                        if (! manager->savePresets(folder))
                            return "the save answered false";
                        saved = live;
                        return checkFiles();
                    case Op::restart:
                        return startManagers(op.present);
                    case Op::lookups:
                        Lookups::set(service.host, op.fail);
                        return {};
                    case Op::withdraw:
                        if (announced.count(op.service) == 0)
                            return {};
                        announced.erase(op.service);
                        announcements -= announcedTimes[op.service];
                        announcedTimes.erase(op.service);
                        return changeServices(
                            [&] { dns.withdraw(service.name, NetworkVideoServerManager::serverServiceType); });
                    case Op::announce:
                        // One server at an address and port at a time.
                        for (const auto& [other, port] : announced)
                            if (other != op.service && port == ports[op.port] &&
                                std::string(services[other].address) == service.address)
                                return {};
                        announced[op.service] = ports[op.port];
                        ++announcements;
                        ++announcedTimes[op.service];
                        return changeServices(
                            [&]
                            {
                                dns.scriptResolve(service.name, {service.host, ports[op.port]});
                                dns.announce(service.name, NetworkVideoServerManager::serverServiceType);
                            });
                    default:
                        break;
                }

                const auto listedOwners = owners();
                if (listedOwners.empty())
                    return {};
                auto chosen = listedOwners.begin();
                std::advance(chosen, op.owner % listedOwners.size());
                const std::string& key = chosen->first;
                VideoSourceExtension& owner = *chosen->second;
                stringReplace(step, "listed source #" + std::to_string(op.owner),
                              "\"" + owner.getExtensionName() + "\" (" + key + ")");
                const PresetValues values = valuesOf(owner);
                if (op.kind == Op::create)
                {
                    values.write(*owner.getPresets(), presetNames[op.name], op.value, -1);
                    live.insert({key, presetNames[op.name], op.value});
                    return {};
                }
                const std::vector<XmlState*> states = statesOf(owner);
                if (states.empty())
                    return {};
                XmlState& state = *states[op.preset % states.size()];
                stringReplace(step, "preset #" + std::to_string(op.preset),
                              "\"" + state.getName() + "\" = " + std::to_string(values.read(state)));
                const PresetAction action = op.kind == Op::edit     ? PresetAction::edit
                                            : op.kind == Op::rename ? PresetAction::rename
                                            : op.kind == Op::remove ? PresetAction::remove
                                                                    : PresetAction::duplicate;
                return applyPresetAction(action, *owner.getPresets(), state, key, presetNames[op.name], op.value,
                                         values, live);
            }

            FakeDNSService dns;
            std::unique_ptr<PassWatcher> watcher;
            std::unique_ptr<VideoSourceManager> manager;
            std::map<unsigned, std::uint16_t> announced;
            // How often each was announced since it was last withdrawn, and
            // the sum.
            std::map<unsigned, int> announcedTimes;
            int announcements = 0;
            std::deque<XmlDocument> pools;
            // What the operation applied did, named.
            std::string step;
            File folder;
            UserPresets live;
            UserPresets saved;
            std::set<std::string> seen;
        };

        TEST(SourcePresetSessionsTest, EverySeedKeepsExactlyTheUsersPresets)
        {
            NetworkVideoServerManager::deleteInstance();
            const SessionSeeds seeds = sessionSeeds(1, 120);
            Session session;
            for (int i = 0; i < seeds.count; ++i)
            {
                const unsigned seed = seeds.first + unsigned(i);
                const std::string report = RandomSession<Op>::run(
                    seed, drawSession(seed, 60), [&](const std::vector<Op>& ops) { return session.replay(ops); },
                    describe, 200);
                EXPECT_TRUE(report.empty()) << report;
            }
        }
    }
}
