#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/VXScopedTestScheduler.h"
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

    // Clears the simulator before and after each case.
    class DeckLinkSimTest : public ::testing::Test
    {
    protected:
        void SetUp() override;
        void TearDown() override;
        DeckLinkSimControl* sim = nullptr;
    };
}
