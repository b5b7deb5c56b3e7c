#include "VXDeckLinkSimFixture.h"

#include <dlfcn.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>

namespace vx::test
{
    DeckLinkSimControl* deckLinkSimulator()
    {
        static DeckLinkSimControl* control = [] {
            setDeckLinkDriverPath(VX_DECKLINK_SIM_PATH);
            // The loader opens the same module; this handle is only for the
            // control surface and stays open for the process.
            void* module = dlopen(VX_DECKLINK_SIM_PATH, RTLD_NOW | RTLD_LOCAL);
            if (module == nullptr)
                return static_cast<DeckLinkSimControl*>(nullptr);
            auto find = reinterpret_cast<DeckLinkSimControl* (*)()>(dlsym(module, "vxDeckLinkSimControl"));
            return find != nullptr ? find() : nullptr;
        }();
        return control;
    }

    DeckLinkSimMode simMode1080p30()
    {
        return {bmdModeHD1080p30, "1080p30", 1920, 1080, 1000, 30000};
    }

    DeckLinkSimMode simMode720p60()
    {
        return {deckLinkFourCC('h', 'p', '6', '0'), "720p60", 1280, 720, 1001, 60000};
    }

    DeckLinkSimCard simCard(uint32_t inputConnections, uint32_t outputConnections, bool formatDetection)
    {
        DeckLinkSimCard card;
        card.model = "M";
        card.inputConnections = inputConnections;
        card.outputConnections = outputConnections;
        card.modes = {simMode1080p30(), simMode720p60()};
        card.formatDetection = formatDetection;
        return card;
    }

    std::vector<std::string> filterCalls(const std::vector<std::string>& calls,
                                         const std::vector<std::string>& prefixes)
    {
        std::vector<std::string> kept;
        for (const std::string& call : calls)
            for (const std::string& prefix : prefixes)
                if (call.compare(0, prefix.size(), prefix) == 0)
                {
                    kept.push_back(call);
                    break;
                }
        return kept;
    }

    void runOrAbort(const char* what, int timeoutSeconds, const std::function<void()>& work)
    {
        std::promise<void> finished;
        std::future<void> done = finished.get_future();
        std::thread worker([&] {
            work();
            finished.set_value();
        });
        if (done.wait_for(std::chrono::seconds(timeoutSeconds)) != std::future_status::ready)
        {
            std::fprintf(stderr, "%s did not return within %d s: deadlocked; aborting.\n", what, timeoutSeconds);
            std::fflush(stderr);
            std::abort();
        }
        worker.join();
    }

    void DeckLinkSimTest::SetUp()
    {
        sim = deckLinkSimulator();
        ASSERT_NE(sim, nullptr) << "the simulated driver did not load from " << VX_DECKLINK_SIM_PATH;
        sim->reset();
    }

    void DeckLinkSimTest::TearDown()
    {
        if (sim != nullptr)
            sim->reset();
    }
}
