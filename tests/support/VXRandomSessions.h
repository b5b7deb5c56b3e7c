#pragma once

// Seeded random sessions: a test draws a sequence of operations from a seed,
// replays it from scratch and, when it fails, drops operations while it still
// fails (a bounded number of replays) to report the shortest failing sequence
// it found.

#include <algorithm>
#include <cstddef>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

namespace vx::test
{
    struct SessionSeeds
    {
        unsigned first = 1;
        int count = 0;
    };

    // The seeds a run goes through: VX_SESSION_SEEDS (how many) and
    // VX_SESSION_FIRST_SEED from the environment where set, else the defaults.
    SessionSeeds sessionSeeds(unsigned defaultFirst, int defaultCount);
    // seeds, and each of extraSeeds (seeds soaks found failing once) not
    // among them as a run of its own.
    std::vector<SessionSeeds> sessionRuns(const SessionSeeds& seeds, std::initializer_list<unsigned> extraSeeds);

    // A folder for the sessions' trees in memory (/dev/shm), where writes
    // that sync cost little; empty (the temporary folder) without one.
    std::string sessionFolderBase();

    // What a replay found: nothing (empty failure), or the failure and the
    // index of the operation it showed after; with what each operation did,
    // in the replay's words, where it tells.
    struct SessionFailure
    {
        std::string failure;
        size_t at = 0;
        std::vector<std::string> steps;
        explicit operator bool() const { return ! failure.empty(); }
    };

    template <typename Op>
    struct RandomSession
    {
        using Replay = std::function<SessionFailure(const std::vector<Op>&)>;
        using Describe = std::function<std::string(const Op&)>;

        // Replays ops; when they fail, answers the report of the shortest
        // failing sequence found within maxReplays further replays, else empty.
        static std::string run(unsigned seed, const std::vector<Op>& ops, const Replay& replay,
                               const Describe& describe, int maxReplays)
        {
            SessionFailure failure = replay(ops);
            if (! failure)
                return {};
            std::vector<Op> shortest(ops.begin(), ops.begin() + std::ptrdiff_t(std::min(failure.at + 1, ops.size())));
            // Chunks of halving size are dropped while what is left still fails.
            for (size_t chunk = shortest.size() / 2; chunk >= 1 && maxReplays > 0; chunk /= 2)
            {
                bool dropped = true;
                while (dropped && maxReplays > 0)
                {
                    dropped = false;
                    for (size_t start = 0; start < shortest.size() && maxReplays > 0;)
                    {
                        std::vector<Op> fewer = shortest;
                        fewer.erase(fewer.begin() + std::ptrdiff_t(start),
                                    fewer.begin() + std::ptrdiff_t(std::min(start + chunk, fewer.size())));
                        --maxReplays;
                        const SessionFailure again = replay(fewer);
                        if (again)
                        {
                            fewer.resize(std::min(again.at + 1, fewer.size()));
                            shortest = std::move(fewer);
                            failure = again;
                            dropped = true;
                        }
                        else
                            start += chunk;
                    }
                }
            }
            std::string report = "seed " + std::to_string(seed) + ": " + failure.failure + "\nshortest sequence (" +
                                 std::to_string(shortest.size()) + " of " + std::to_string(ops.size()) +
                                 " operations):\n";
            for (size_t i = 0; i < shortest.size(); ++i)
                report += "  " + std::to_string(i) + ". " +
                          (failure.steps.size() == shortest.size() ? failure.steps[i] : describe(shortest[i])) + "\n";
            return report;
        }

        // Runs the sessions draw gives for each of seeds; answers the reports
        // of those that failed.
        static std::vector<std::string> runSeeds(const SessionSeeds& seeds,
                                                 const std::function<std::vector<Op>(unsigned)>& draw,
                                                 const Replay& replay, const Describe& describe, int maxReplays)
        {
            std::vector<std::string> reports;
            for (int i = 0; i < seeds.count; ++i)
            {
                const unsigned seed = seeds.first + unsigned(i);
                std::string report = run(seed, draw(seed), replay, describe, maxReplays);
                if (! report.empty())
                    reports.push_back(std::move(report));
            }
            return reports;
        }
    };
}
