#pragma once

namespace vx
{

    class System
    {
    public:
        /** Processors available to the process; never 0. */
        static unsigned int getNumParallelThreads();
    };

} // namespace vx
