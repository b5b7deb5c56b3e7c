#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
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

    // A driver call run on a thread of its own (it may wait at the
    // simulator's gate); held calls are let go and the thread joined on
    // every way out of the test.
    class DriverCallThread
    {
    public:
        DriverCallThread(DeckLinkSimControl& simulator, std::function<void()> call)
            : sim(simulator), thread(std::move(call))
        {
        }
        ~DriverCallThread()
        {
            sim.releaseCalls();
            thread.join();
        }
        DriverCallThread(const DriverCallThread&) = delete;
        DriverCallThread& operator=(const DriverCallThread&) = delete;

    private:
        DeckLinkSimControl& sim;
        std::thread thread;
    };

    // Runs work on a thread and waits for it up to timeoutSeconds; when it
    // has not returned by then (a deadlock), says what hung and aborts the
    // process, since the thread can be neither joined nor left behind.
    void runOrAbort(const char* what, int timeoutSeconds, const std::function<void()>& work);

    // Clears the simulator before and after each case.
    class DeckLinkSimTest : public ::testing::Test
    {
    protected:
        void SetUp() override;
        void TearDown() override;
        DeckLinkSimControl* sim = nullptr;
    };
}
