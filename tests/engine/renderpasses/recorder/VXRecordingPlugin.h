#pragma once

// The recording FFGL plugin the hosting tests and benchmarks build: it
// answers as its script says and records every call. Reached beside plugMain
// through the exported vxRecorder(), from a handle of the test's own.

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <vector>

namespace vx::test
{
    struct RecordedCall
    {
        std::uint32_t code;
        std::uint32_t index; // the input's low bits; a parameter's index for code 8
        float value;         // the value sent by code 8
    };

    struct RecorderScript
    {
        RecorderScript() { std::fill(std::begin(types), std::end(types), 10u); }

        int numParameters = 7;
        std::uint32_t types[600]; // 10 (standard) unless set
        int minInputs = 1, maxInputs = 1;
        bool openGL = true;
        // Unterminated names, a 40-byte display text, a 20-byte short name,
        // unterminated description and about texts of 1100 bytes, 600
        // parameters, more required inputs than allowed.
        bool malformed = false;
        std::uint32_t failCode = 0xFFFFFFFFu;  // answers failure
        std::uint32_t throwCode = 0xFFFFFFFFu; // throws
        bool record = true;
    };

    struct Recorder
    {
        RecorderScript script;
        std::vector<RecordedCall> calls;
        std::uint32_t lastInputHandle[4] = {}; // 0 for a missing record
    };
}

extern "C" vx::test::Recorder* vxRecorder();
