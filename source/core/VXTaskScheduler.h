#pragma once

#include <vector>

namespace vx
{

    class Task;

    // Orders tasks for running: priority highest first, queued order kept among
    // equal priorities.
    class TaskScheduler
    {
    public:
        // Each priority is read once, so a priority changed by another thread
        // during the sort cannot upset it.
        void sort(std::vector<Task*>& tasks) const;
    };

} // namespace vx
