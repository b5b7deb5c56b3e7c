#pragma once

// The control surface of the simulated card driver (a test-only module that
// exports the driver's entry points). Tests find it with dlsym under
// "vxDeckLinkSimControl" and script cards, failures and events through it.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/decklink/VXDeckLinkAPI.h"

namespace vx
{
    struct DeckLinkSimMode
    {
        BMDDisplayMode code = 0;
        std::string name;
        long width = 0;
        long height = 0;
        BMDTimeValue frameDuration = 1000;
        BMDTimeScale timeScale = 30000;
    };

    struct DeckLinkSimCard
    {
        std::string model;
        bool hasModelName = true;         // false: GetModelName fails
        uint32_t inputConnections = 0;    // 0: the card has no input interface
        uint32_t outputConnections = 0;   // 0: the card has no output interface
        std::vector<DeckLinkSimMode> modes; // offered on input and output
        bool formatDetection = false;
    };

    class DeckLinkSimControl
    {
    public:
        // Forgets cards, failures, the call log and scheduled frames, and lets
        // held calls go. Objects still held stay valid until the module
        // unloads.
        virtual void reset() = 0;
        // Answers the card's index in iteration order.
        virtual int addCard(const DeckLinkSimCard& card) = 0;
        // Every call whose log entry begins with prefix fails, after the given
        // number of matching calls succeeded.
        virtual void failCall(const std::string& prefix, int afterCalls) = 0;
        virtual void clearFailures() = 0;
        // "Method(arguments)" per call, in order; codes of four printable
        // characters as text, other values in decimal, callbacks as "set"/"null".
        virtual std::vector<std::string> getCallLog() = 0;
        virtual void clearCallLog() = 0;

        // Quiet: no call log and no scheduled bytes kept (for benchmarks);
        // reset() makes it talkative again.
        virtual void setQuiet(bool quiet) = 0;
        // A frame kept by the driver, handed to the preview callback on the
        // calling thread by drawPreparedFrame without copying or allocating.
        virtual bool prepareFrame(int card, long width, long height, long rowBytes, BMDPixelFormat format,
                                  const std::vector<uint8_t>& bytes) = 0;
        virtual bool drawPreparedFrame(int card) = 0;

        // Run on the driver's thread and return once the engine's callback
        // returned; false when the card has no such callback set.
        virtual bool deliverFrame(int card, long width, long height, long rowBytes, BMDPixelFormat format,
                                  const std::vector<uint8_t>& bytes) = 0;
        virtual bool changeFormat(int card, BMDVideoInputFormatChangedEvents events, BMDDisplayMode mode,
                                  BMDDetectedVideoInputFormatFlags flags) = 0;
        // Reports the oldest scheduled frames of the card as completed;
        // answers how many were.
        virtual int completeFrames(int card, int count) = 0;
        // The bytes of every frame scheduled on the card, copied at scheduling.
        virtual std::vector<std::vector<uint8_t>> getScheduledFrames(int card) = 0;
        // Frames shown through DisplayVideoFrameSync, in order.
        virtual int getSyncDisplayedFrames(int card) = 0;

        // From holdCalls, each callback the driver is about to call (with
        // its reference taken) waits until releaseCalls or an input's
        // StopStreams or DisableVideoInput. waitForHeldCall answers whether
        // a call waits there within the time.
        virtual void holdCalls() = 0;
        virtual void releaseCalls() = 0;
        virtual bool waitForHeldCall(int timeoutMs) = 0;
        // The next engine call into the driver whose log entry begins with
        // prefix waits, logged but before it does anything, until
        // releaseCalls; waitForHeldCall answers for it too.
        virtual void holdDriverCall(const std::string& prefix) = 0;

        // References the engine holds on the card and its interfaces and modes.
        virtual int getCardReferences(int card) = 0;
        // Video frames made by the driver and not yet released.
        virtual int getLiveFrames() = 0;

    protected:
        virtual ~DeckLinkSimControl() = default;
    };
}

extern "C" vx::DeckLinkSimControl* vxDeckLinkSimControl();
