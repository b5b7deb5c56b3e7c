#include "core/VXCriticalSection.h"
#include "core/VXReadWriteCriticalSection.h"
#include "core/VXScopedLock.h"
#include "core/VXSpinLock.h"
#include "core/VXThread.h"

#include "support/VXLogRecorder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <functional>
#include <pthread.h>
#include <random>
#include <thread>
#include <vector>

namespace
{

    // Each worker increments a plain counter under the lock; lost updates (or a
    // sanitizer report) mean the lock did not exclude.
    template <typename Body>
    void runOnThreads(int threadCount, Body body)
    {
        std::vector<std::thread> threads;
        for (int t = 0; t < threadCount; ++t)
            threads.emplace_back(body, t);
        for (std::thread& thread : threads)
            thread.join();
    }

    // What body answers when run on a thread of its own.
    bool onOtherThread(const std::function<bool()>& body)
    {
        bool answer = false;
        std::thread([&] { answer = body(); }).join();
        return answer;
    }

    TEST(CriticalSection, RecursiveForTheOwnerBusyForOthers)
    {
        vx::CriticalSection section;
        section.enter();
        EXPECT_TRUE(section.tryEnter());
        testing::internal::CaptureStdout();
        EXPECT_FALSE(onOtherThread([&] { return section.tryEnter(); }));
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "VXThread: mutext is busy - already locked\n");

        section.exit();
        testing::internal::CaptureStdout();
        EXPECT_FALSE(onOtherThread([&] { return section.tryEnter(); })) << "entered twice, exited once: still held";
        testing::internal::GetCapturedStdout();
        section.exit();
        EXPECT_TRUE(onOtherThread(
            [&]
            {
                const bool entered = section.tryEnter();
                if (entered)
                    section.exit();
                return entered;
            }));
    }

    TEST(CriticalSection, ForeignMutexIsTheOneLocked)
    {
        pthread_mutex_t foreign = PTHREAD_MUTEX_INITIALIZER;
        {
            vx::CriticalSection section(&foreign);
            EXPECT_EQ(section.getNativeMutex(), &foreign);
            section.enter();
            int result = 0;
            std::thread([&] { result = pthread_mutex_trylock(&foreign); }).join();
            EXPECT_EQ(result, EBUSY);
            section.exit();
        }
        vx::CriticalSection own;
        EXPECT_NE(own.getNativeMutex(), nullptr);
        pthread_mutex_destroy(&foreign);
    }

    TEST(SpinLock, TryEnterFailsWhileHeldAndLockExcludes)
    {
        vx::SpinLock lock;
        EXPECT_TRUE(lock.tryEnter());
        EXPECT_FALSE(lock.tryEnter());
        lock.exit();
        EXPECT_TRUE(lock.tryEnter());
        lock.exit();

        long counter = 0;
        runOnThreads(4,
                     [&](int)
                     {
                         for (int i = 0; i < 20000; ++i)
                         {
                             vx::ScopedSpinLock hold(lock);
                             ++counter;
                         }
                     });
        EXPECT_EQ(counter, 4 * 20000);
    }

    // Another thread that holds a read lock from construction until release().
    class OtherReader
    {
    public:
        explicit OtherReader(vx::ReadWriteCriticalSection& lock)
            : thread(
                  [this, &lock]
                  {
                      lock.enterRead();
                      reading = true;
                      while (! released)
                          vx::Thread::sleep(1);
                      lock.exitRead();
                  })
        {
            while (! reading)
                vx::Thread::sleep(1);
        }
        ~OtherReader()
        {
            release();
            join();
        }

        void release() { released = true; }
        void join()
        {
            if (thread.joinable())
                thread.join();
        }

    private:
        std::atomic<bool> reading{false};
        std::atomic<bool> released{false};
        std::thread thread;
    };

    class ReadWriteLock : public testing::Test
    {
    protected:
        // Whether a thread that holds nothing would be admitted to read or write now.
        bool newReaderAdmitted() { return otherThreadEnters(false); }
        bool otherThreadCanWrite() { return otherThreadEnters(true); }
        bool otherThreadEnters(bool write)
        {
            return onOtherThread(
                [&]
                {
                    const bool admitted = write ? lock.tryEnterWrite() : lock.tryEnterRead();
                    if (admitted && write)
                        lock.exitWrite();
                    else if (admitted)
                        lock.exitRead();
                    return admitted;
                });
        }

        vx::ReadWriteCriticalSection lock;
    };

    TEST_F(ReadWriteLock, WaitingWriterKeepsNewReadersOutButNotReEntry)
    {
        lock.enterRead();
        std::atomic<bool> wrote{false};
        std::thread writer(
            [&]
            {
                lock.enterWrite();
                wrote = true;
                lock.exitWrite();
            });
        // Once the writer waits, new reader threads are refused.
        while (newReaderAdmitted())
            vx::Thread::sleep(1);

        EXPECT_TRUE(lock.tryEnterRead());
        lock.enterRead();
        lock.exitRead();
        lock.exitRead();
        EXPECT_FALSE(wrote);

        lock.exitRead();
        writer.join();
        EXPECT_TRUE(wrote);
        EXPECT_TRUE(newReaderAdmitted());
    }

    TEST_F(ReadWriteLock, NewReaderWaitsUntilTheWriterLeaves)
    {
        lock.enterWrite();
        std::atomic<bool> read{false};
        std::thread reader(
            [&]
            {
                lock.enterRead();
                read = true;
                lock.exitRead();
            });
        vx::Thread::sleep(20);
        EXPECT_FALSE(read);
        lock.exitWrite();
        reader.join();
        EXPECT_TRUE(read);
    }

    TEST_F(ReadWriteLock, WriterMayReadAndReleaseInEitherOrder)
    {
        lock.enterWrite();
        EXPECT_TRUE(lock.tryEnterRead());
        EXPECT_TRUE(lock.tryEnterWrite());
        lock.exitWrite();
        lock.exitWrite();
        EXPECT_FALSE(otherThreadCanWrite()) << "the read entry remains";
        lock.exitRead();
        EXPECT_TRUE(otherThreadCanWrite());

        lock.enterWrite();
        lock.enterRead();
        lock.exitRead();
        EXPECT_FALSE(newReaderAdmitted());
        lock.exitWrite();
        EXPECT_TRUE(newReaderAdmitted());
    }

    TEST_F(ReadWriteLock, SoleReaderUpgradesAtOnce)
    {
        lock.enterRead();
        EXPECT_TRUE(lock.tryEnterWrite());
        EXPECT_FALSE(newReaderAdmitted());
        lock.exitWrite();
        lock.exitRead();
        EXPECT_TRUE(otherThreadCanWrite());
    }

    TEST_F(ReadWriteLock, UpgradeWaitsForTheOtherReader)
    {
        OtherReader other(lock);

        lock.enterRead();
        EXPECT_FALSE(lock.tryEnterWrite());
        other.release();
        lock.enterWrite();
        other.join();
        lock.exitWrite();
        lock.exitRead();
        EXPECT_TRUE(otherThreadCanWrite());
    }

    TEST_F(ReadWriteLock, ReleasingWhatYouDoNotHoldLogsAndChangesNothing)
    {
        vx::test::LogRecorder log;
        OtherReader other(lock);

        lock.exitRead();
        lock.exitWrite();
        ASSERT_EQ(log.count(), 2u) << log.dump();
        EXPECT_TRUE(log.contains("Escaped from error in exitRead(")) << log.dump();
        EXPECT_TRUE(log.contains("): Trying to release a read lock you dont have..")) << log.dump();
        EXPECT_TRUE(log.contains("): Trying to release a write lock you dont have..")) << log.dump();
        EXPECT_FALSE(lock.tryEnterWrite()) << "the other reader's entry must survive";

        other.release();
        other.join();
        EXPECT_TRUE(lock.tryEnterWrite());
        lock.exitWrite();
        EXPECT_EQ(log.count(), 2u);
    }

    TEST_F(ReadWriteLock, AudioThreadReadsWithoutSleepingOnTheEvent)
    {
        lock.enterWrite();
        std::atomic<bool> read{false};
        std::thread audio(
            [&]
            {
                vx::Thread::audioThreadID = vx::Thread::getCurrentThreadID();
                {
                    vx::ScopedReadLock hold(lock);
                    read = true;
                }
                vx::Thread::audioThreadID = nullptr;
            });
        vx::Thread::sleep(10);
        EXPECT_FALSE(read);
        lock.exitWrite();
        audio.join();
        EXPECT_TRUE(read);
    }

    // Seeded mix of nested reads, writes and upgrades-by-the-writer on several
    // threads; writers must see the value they wrote, readers a stable value.
    TEST_F(ReadWriteLock, RandomMixKeepsWritersExclusive)
    {
        const unsigned seed = 20240611u;
        long value = 0;
        long writes = 0;
        runOnThreads(4,
                     [&](int t)
                     {
                         std::mt19937 random(seed + static_cast<unsigned>(t));
                         for (int i = 0; i < 400; ++i)
                         {
                             if (random() % 4 == 0)
                             {
                                 vx::ScopedWriteLock hold(lock);
                                 const long mine = ++value;
                                 ++writes;
                                 if (random() % 2 == 0)
                                 {
                                     vx::ScopedReadLock nested(lock);
                                     EXPECT_EQ(value, mine) << "seed " << seed;
                                 }
                             }
                             else
                             {
                                 vx::ScopedReadLock hold(lock);
                                 const long seen = value;
                                 vx::ScopedReadLock nested(lock);
                                 EXPECT_EQ(value, seen) << "seed " << seed;
                             }
                         }
                     });
        EXPECT_EQ(value, writes);
    }

} // namespace
