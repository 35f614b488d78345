// Worker threads: waiting, the grace period and abandoning a worker that overruns it.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "taglib/image_tags.h"
#include "indexer/worker_thread.h"

namespace {

using Clock = std::chrono::steady_clock;

// A gate a test opens to let a worker go on.
class Gate {
public:
    void Open() {
        std::lock_guard<std::mutex> lock(mutex);
        open = true;
        signal.notify_all();
    }
    void Wait() {
        std::unique_lock<std::mutex> lock(mutex);
        signal.wait(lock, [this] { return open; });
    }

private:
    std::mutex mutex;
    std::condition_variable signal;
    bool open = false;
};

// A run that waits at its gate (as a progress callback that waits for the cancelling thread would),
// then writes through its write gate and counts the writes that were allowed.
class BlockedRun : public WorkerRun {
public:
    int Run() override {
        started.Open();
        proceed.Wait();
        allowedWrites = WriteGuarded([] {}) ? 1 : 0;
        done.Open();
        return 7;
    }
    void OnAbandon() override { streamClosed = true; }

    Gate started;
    Gate proceed;
    Gate done;
    std::atomic<int> allowedWrites{-1};
    bool streamClosed = false;  // written under the write gate, read after Abandon returned
};

// A run that checks its cancel flag and ends soon after it is set.
class PollingRun : public WorkerRun {
public:
    int Run() override {
        while (!IsCancelled()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return 3;
    }
};

class ThrowingRun : public WorkerRun {
public:
    int Run() override { throw 0; }
};

TEST(WorkerThread, JoinOrForceStopReturnsAtOnceWhenNothingRuns) {
    WorkerThread thread;
    EXPECT_FALSE(thread.IsRunning());
    // Without a limit: a wait for a run that is not there would never end (the test's timeout says so).
    thread.JoinOrForceStop(-1);
    EXPECT_FALSE(thread.IsRunning());
}

TEST(WorkerThread, ARunThatEndsWithinTheGraceIsNotAbandoned) {
    WorkerThread thread;
    auto run = std::make_shared<PollingRun>();
    ASSERT_TRUE(thread.Start(run));
    EXPECT_TRUE(thread.IsRunning());
    run->RequestCancel();
    thread.JoinOrForceStop(5000);
    EXPECT_FALSE(thread.IsRunning());
    EXPECT_TRUE(run->IsFinished());
    EXPECT_FALSE(run->IsAbandoned());
    EXPECT_EQ(run->ExitCode(), 3);
}

TEST(WorkerThread, ARunThatOverrunsIsAbandonedAndWritesNothingMore) {
    WorkerThread thread;
    auto run = std::make_shared<BlockedRun>();
    ASSERT_TRUE(thread.Start(run));
    run->started.Wait();
    run->RequestCancel();
    thread.JoinOrForceStop(200);
    // The cancel returned with the job no longer running and its stream closed.
    EXPECT_FALSE(thread.IsRunning());
    EXPECT_TRUE(run->IsAbandoned());
    EXPECT_TRUE(run->streamClosed);
    EXPECT_TRUE(run->IsCancelled());
    // The worker goes on to its end by itself, and its write is refused.
    run->proceed.Open();
    run->done.Wait();
    EXPECT_EQ(run->allowedWrites.load(), 0);
}

TEST(WorkerThread, ANewRunStartsAtOnceBesideAnAbandonedOne) {
    WorkerThread thread;
    auto first = std::make_shared<BlockedRun>();
    ASSERT_TRUE(thread.Start(first));
    first->started.Wait();
    thread.JoinOrForceStop(50);
    auto second = std::make_shared<BlockedRun>();
    ASSERT_TRUE(thread.Start(second));
    second->started.Wait();
    EXPECT_TRUE(thread.IsRunning());
    second->proceed.Open();
    thread.Join();
    EXPECT_FALSE(thread.IsRunning());
    EXPECT_EQ(second->allowedWrites.load(), 1);  // the new run is not affected by the old one's abandon
    EXPECT_FALSE(second->IsCancelled());
    first->proceed.Open();
    first->done.Wait();
    EXPECT_EQ(first->allowedWrites.load(), 0);
}

TEST(WorkerThread, AnErrorEscapingTheRunEndsItQuietly) {
    WorkerThread thread;
    auto run = std::make_shared<ThrowingRun>();
    ASSERT_TRUE(thread.Start(run));
    thread.Join();
    EXPECT_FALSE(thread.IsRunning());
    EXPECT_EQ(run->ExitCode(), 0);
}

TEST(WorkerThread, DestroyingTheThreadObjectLeavesAnAbandonedWorkerSafe) {
    auto run = std::make_shared<BlockedRun>();
    {
        WorkerThread thread;
        ASSERT_TRUE(thread.Start(run));
        run->started.Wait();
    }
    EXPECT_TRUE(run->IsAbandoned());
    run->proceed.Open();
    run->done.Wait();
    EXPECT_EQ(run->allowedWrites.load(), 0);
}

TEST(WorkerThread, TheGracePeriodIsKept) {
    WorkerThread thread;
    auto run = std::make_shared<BlockedRun>();
    ASSERT_TRUE(thread.Start(run));
    run->started.Wait();
    const auto start = Clock::now();
    thread.JoinOrForceStop(300);
    const auto waited = Clock::now() - start;
    // Not before the grace period is over; the upper bound is left to the benchmarks.
    EXPECT_GE(waited, std::chrono::milliseconds(290));
    run->proceed.Open();
    run->done.Wait();
}

// A run whose first call to its caller waits at a gate; then it calls on until a call is refused.
class ReportingRun : public WorkerRun {
public:
    int Run() override {
        ReportUnlessCancelled([this] {
            inCall.Open();
            leaveCall.Wait();
        });
        while (ReportUnlessCancelled([this] { lateCalls += cancelReturned.load() ? 1 : 0; })) {
        }
        return 0;
    }

    Gate inCall;
    Gate leaveCall;
    std::atomic<bool> cancelReturned{false};
    std::atomic<int> lateCalls{0};
};

TEST(WorkerThread, ACancelWaitsForACallInProgressAndNoCallBeginsAfterIt) {
    WorkerThread thread;
    auto run = std::make_shared<ReportingRun>();
    ASSERT_TRUE(thread.Start(run));
    run->inCall.Wait();
    std::thread canceller([&] {
        thread.Cancel(60000);
        run->cancelReturned = true;
    });
    while (!run->IsCancelled()) {
        std::this_thread::yield();
    }
    EXPECT_FALSE(run->cancelReturned.load());  // the call in progress holds the cancel
    run->leaveCall.Open();
    canceller.join();
    EXPECT_EQ(run->lateCalls.load(), 0);
    EXPECT_FALSE(run->IsAbandoned());
    EXPECT_FALSE(thread.IsRunning());
}

}  // namespace

namespace {

// A worker that goes on loading a picture for a while after its cancel, as a job finishes the file it
// is on; the program ends meanwhile.
class LingeringRun : public WorkerRun {
public:
    int Run() override {
        while (!IsCancelled()) {
            LoadOnce();
        }
        const auto until = Clock::now() + std::chrono::milliseconds(300);
        while (Clock::now() < until) {
            LoadOnce();
        }
        return 0;
    }

private:
    static void LoadOnce() {
        ImageTags tags;
        tags.Load((std::string(VELLUMAR_SOURCE_DIR) + "/samples/photos/packet_regions.jpg").c_str());
        TagLayer layer;
        tags.GetLayer(0, layer);
    }
};

TEST(WorkerThreadDeathTest, TheProgramEndsCleanlyWhileAnAbandonedWorkerFinishes) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            static WorkerThread thread;
            thread.Start(std::make_shared<LingeringRun>());
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            thread.JoinOrForceStop(10);
            std::exit(thread.IsRunning() ? 3 : 0);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
