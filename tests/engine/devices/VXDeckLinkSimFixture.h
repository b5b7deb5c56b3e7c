#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/VXAsyncScheduler.h"
#include "core/VXAsyncUpdatable.h"
#include "engine/devices/simdriver/VXDeckLinkSimControl.h"

namespace vx::test
{
    // Points the driver loader at the simulated driver (once per process) and
    // hands out its control surface; null when the module cannot be loaded.
    DeckLinkSimControl* deckLinkSimulator();

    // A 1080p30 and a 720p60 mode, and a card of model "M" with both.
    DeckLinkSimMode simMode1080p30();
    DeckLinkSimMode simMode720p60();
    DeckLinkSimCard simCard(uint32_t inputConnections, uint32_t outputConnections, bool formatDetection = true);

    // The entries of a call log that begin with one of the prefixes, in order.
    std::vector<std::string> filterCalls(const std::vector<std::string>& calls,
                                         const std::vector<std::string>& prefixes);

    // Installs itself as the global asynchronous scheduler while it lives,
    // and makes broadcasters created meanwhile queue their deferred calls on
    // it; they run only when the test drains them. Make it before the
    // objects whose parameters it is to defer.
    class ScopedTestScheduler
    {
    public:
        ScopedTestScheduler();
        ~ScopedTestScheduler();
        void drain();

    private:
        struct Scheduler : AsyncScheduler
        {
            void updatableAdded(AsyncUpdatable&) override {}
            void stopHandling() override {}
        };
        std::shared_ptr<Scheduler> scheduler;
        std::shared_ptr<AsyncScheduler> previous;
        AsyncUpdatableImpl::CreationFunc previousCreation;
    };

    // Clears the simulator before and after each case.
    class DeckLinkSimTest : public ::testing::Test
    {
    protected:
        void SetUp() override;
        void TearDown() override;
        DeckLinkSimControl* sim = nullptr;
    };
}
