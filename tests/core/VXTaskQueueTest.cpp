#include "core/VXTaskQueue.h"
#include "core/VXTask.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <functional>
#include <memory>
#include <random>

namespace
{

    class SwitchGuard : public vx::TaskGuard
    {
    public:
        explicit SwitchGuard(bool allowed, unsigned int retryMs = 10, std::function<void()> onAsk = {})
            : allow(allowed), ask(std::move(onAsk))
        {
            retryTimeout = retryMs;
        }
        bool canExecuteNow() override
        {
            ++asked;
            if (ask)
                ask();
            return allow;
        }
        bool allow;
        int asked = 0;
        std::function<void()> ask;
    };

    // Owns the tasks a test makes; the queue never does.
    class TaskQueueTest : public testing::Test
    {
    protected:
        vx::Task* make(signed char priority, bool recurring = false)
        {
            owned.push_back(std::make_unique<vx::Task>(nullptr, vx::TaskThreadMode::Control, priority, recurring));
            return owned.back().get();
        }
        SwitchGuard* guard(vx::Task* task, bool allowed, unsigned int retryMs = 10, std::function<void()> onAsk = {})
        {
            auto newGuard = std::make_unique<SwitchGuard>(allowed, retryMs, std::move(onAsk));
            SwitchGuard* raw = newGuard.get();
            task->installExecutionGuard(std::move(newGuard));
            return raw;
        }

        vx::TaskQueue queue;
        std::vector<std::unique_ptr<vx::Task>> owned;
    };

    TEST_F(TaskQueueTest, HigherPriorityFirstQueuedOrderAmongEquals)
    {
        vx::Task* first = make(0);
        vx::Task* second = make(5);
        vx::Task* third = make(5);
        EXPECT_EQ(queue.queueTask(first), 1u);
        queue.queueTask(second);
        EXPECT_EQ(queue.queueTask(third), 3u);
        EXPECT_EQ(queue.fetchNext(nullptr), second);
        EXPECT_EQ(queue.fetchNext(nullptr), third);
        EXPECT_EQ(queue.fetchNext(nullptr), first);
        EXPECT_EQ(queue.fetchNext(nullptr), nullptr);
    }

    TEST_F(TaskQueueTest, PriorityChangedWhileQueuedCountsAtNextFetch)
    {
        vx::Task* a = make(3);
        vx::Task* b = make(2);
        vx::Task* c = make(1);
        queue.queueTask(a);
        queue.queueTask(b);
        queue.queueTask(c);
        EXPECT_EQ(queue.fetchNext(nullptr), a); // leaves b, c in order
        c->setPriority(9);
        EXPECT_EQ(queue.fetchNext(nullptr), c);
        EXPECT_EQ(queue.fetchNext(nullptr), b);
    }

    TEST_F(TaskQueueTest, RefusedTasksStayAndReportSmallestRetry)
    {
        vx::Task* slow = make(9);
        vx::Task* quick = make(1);
        SwitchGuard* slowGuard = guard(slow, false, 40);
        SwitchGuard* quickGuard = guard(quick, false, 15);
        queue.queueTask(quick);
        queue.queueTask(slow);

        unsigned int retry = 0;
        EXPECT_EQ(queue.fetchNext(&retry), nullptr);
        EXPECT_EQ(retry, 15u);
        EXPECT_EQ(queue.getNumRemainingTasks(), 2u);

        // An open task behind refused ones is taken; the refused keep their order.
        vx::Task* open = make(0);
        queue.queueTask(open);
        EXPECT_EQ(queue.fetchNext(&retry), open);
        EXPECT_EQ(retry, 15u);
        quickGuard->allow = true;
        slowGuard->allow = true;
        EXPECT_EQ(queue.fetchNext(&retry), slow);
        EXPECT_EQ(retry, UINT_MAX) << "no guard refused";
        EXPECT_EQ(queue.fetchNext(&retry), quick);

        // An empty queue consults nothing and still resets the time-out.
        retry = 3;
        EXPECT_EQ(queue.fetchNext(&retry), nullptr);
        EXPECT_EQ(retry, UINT_MAX);
    }

    TEST_F(TaskQueueTest, TaskQueuedDuringFetchStaysBehindSortedOnes)
    {
        // The guard runs inside the fetch, after the sort: what it queues stands
        // for a task queued by another thread while the fetch sorts.
        vx::Task* urgent = make(100);
        vx::Task* refused = make(0);
        vx::Task* taken = make(0);
        guard(refused, false, 10,
              [&]
              {
                  if (queue.getAppendCount() == 2)
                      queue.queueTask(urgent);
              });
        queue.queueTask(refused);
        queue.queueTask(taken);

        EXPECT_EQ(queue.fetchNext(nullptr), taken);
        const std::vector<vx::Task*> order = queue.fetchAll(false);
        ASSERT_EQ(order.size(), 2u);
        EXPECT_EQ(order[0], refused);
        EXPECT_EQ(order[1], urgent);

        // From the next fetch on it goes by priority.
        queue.queueTask(refused);
        queue.queueTask(urgent);
        EXPECT_EQ(queue.fetchNext(nullptr), urgent);
    }

    TEST_F(TaskQueueTest, UnqueueFetchAllAndCounts)
    {
        vx::Task* a = make(1);
        vx::Task* b = make(2, true);
        vx::Task* c = make(3);
        queue.queueTask(a);
        queue.queueTask(b);
        queue.queueTask(c);
        queue.queueTask(a);
        EXPECT_EQ(queue.getNumNonRecurringTasks(), 3u);
        EXPECT_TRUE(queue.unQueueTask(*a)); // first occurrence only
        EXPECT_EQ(queue.getNumRemainingTasks(), 3u);
        const std::vector<vx::Task*> sorted = queue.fetchAll(true);
        EXPECT_EQ(sorted, (std::vector<vx::Task*>{c, b, a}));
        EXPECT_EQ(queue.getNumRemainingTasks(), 0u);
        EXPECT_FALSE(queue.unQueueTask(*a));
    }

    // The queue keeps the last fetch's order to avoid re-sorting it; compare it
    // against a plain model that stably sorts the whole queue at every fetch.
    TEST_F(TaskQueueTest, MatchesFullSortModelUnderRandomOperations)
    {
        const unsigned seed = 20261206;
        std::mt19937 random(seed);
        std::vector<vx::Task*> model;
        std::vector<SwitchGuard*> guards;
        auto pick = [&](size_t n) { return size_t(std::uniform_int_distribution<size_t>(0, n - 1)(random)); };

        for (int step = 0; step < 4000; ++step)
        {
            SCOPED_TRACE(testing::Message() << "seed " << seed << " step " << step);
            const int op = int(pick(10));
            if (op < 4 || model.empty())
            {
                vx::Task* task = make(static_cast<signed char>(pick(5)));
                if (pick(4) == 0)
                    guards.push_back(guard(task, pick(2) == 0, unsigned(1 + pick(50))));
                queue.queueTask(task);
                model.push_back(task);
            }
            else if (op < 6)
                model[pick(model.size())]->setPriority(static_cast<signed char>(pick(5)));
            else if (op == 6 && ! guards.empty())
                guards[pick(guards.size())]->allow = pick(2) == 0;
            else if (op == 7)
            {
                vx::Task* task = model[pick(model.size())];
                ASSERT_TRUE(queue.unQueueTask(*task));
                model.erase(std::find(model.begin(), model.end(), task));
            }
            else
            {
                std::stable_sort(model.begin(), model.end(),
                                 [](vx::Task* a, vx::Task* b) { return a->getPriority() > b->getPriority(); });
                vx::Task* expected = nullptr;
                unsigned int expectedRetry = UINT_MAX;
                for (auto it = model.begin(); it != model.end(); ++it)
                {
                    vx::TaskGuard* g = (*it)->getExecutionGuard();
                    if (g == nullptr || static_cast<SwitchGuard*>(g)->allow)
                    {
                        expected = *it;
                        model.erase(it);
                        break;
                    }
                    expectedRetry = std::min(expectedRetry, g->getRetryTimeout());
                }
                unsigned int retry = 0;
                ASSERT_EQ(queue.fetchNext(&retry), expected);
                ASSERT_EQ(retry, expectedRetry);
            }
            ASSERT_EQ(queue.getNumRemainingTasks(), model.size());
        }
        // The remaining order equals the model's after one more sort of both.
        std::stable_sort(model.begin(), model.end(),
                         [](vx::Task* a, vx::Task* b) { return a->getPriority() > b->getPriority(); });
        EXPECT_EQ(queue.fetchAll(true), model);
    }

} // namespace
