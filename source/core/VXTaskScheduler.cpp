#include "core/VXTaskScheduler.h"

#include "core/VXTask.h"

#include <algorithm>

namespace vx
{

    void TaskScheduler::sort(std::vector<Task*>& tasks) const
    {
        struct Entry
        {
            signed char priority;
            Task* task;
        };
        std::vector<Entry> entries;
        entries.reserve(tasks.size());
        for (Task* task : tasks)
            entries.push_back({task->getPriority(), task});
        std::stable_sort(entries.begin(), entries.end(),
                         [](const Entry& a, const Entry& b) { return a.priority > b.priority; });
        for (size_t i = 0; i < entries.size(); ++i)
            tasks[i] = entries[i].task;
    }

} // namespace vx
