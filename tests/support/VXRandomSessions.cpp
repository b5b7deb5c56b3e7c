#include "support/VXRandomSessions.h"

#include <unistd.h>

#include <cstdlib>

namespace vx::test
{
    SessionSeeds sessionSeeds(unsigned defaultFirst, int defaultCount)
    {
        SessionSeeds seeds{defaultFirst, defaultCount};
        if (const char* count = std::getenv("VX_SESSION_SEEDS"); count != nullptr && *count != '\0')
            seeds.count = std::atoi(count);
        if (const char* first = std::getenv("VX_SESSION_FIRST_SEED"); first != nullptr && *first != '\0')
            seeds.first = unsigned(std::strtoul(first, nullptr, 10));
        return seeds;
    }

    std::vector<SessionSeeds> sessionRuns(const SessionSeeds& seeds, std::initializer_list<unsigned> extraSeeds)
    {
        std::vector<SessionSeeds> runs{seeds};
        for (const unsigned seed : extraSeeds)
            if (seed < seeds.first || seed >= seeds.first + unsigned(seeds.count))
                runs.push_back({seed, 1});
        return runs;
    }

    std::string sessionFolderBase()
    {
        const char* const memory = "/dev/shm";
        return ::access(memory, W_OK | X_OK) == 0 ? memory : "";
    }
}
