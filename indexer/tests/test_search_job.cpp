// The search job on its worker thread: hits, the closing call, and a forced stop.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "taglib/codepage.h"
#include "indexer/tests/indexer_test_support.h"
#include "indexer/search_job.h"

namespace {

struct Calls {
    std::mutex mutex;
    std::condition_variable signal;
    std::vector<std::string> entries;  // "path|thumbnail|finished"
    bool blockOnHit = false;           // a callback that never returns on its own
    bool release = false;

    static int Callback(const char* path, const char* thumbnail, int finished, void* userData) {
        auto* calls = static_cast<Calls*>(userData);
        std::unique_lock<std::mutex> lock(calls->mutex);
        calls->entries.push_back(std::string(path) + "|" + thumbnail + "|" + std::to_string(finished));
        calls->signal.notify_all();
        if (calls->blockOnHit && finished == 0) {
            calls->signal.wait(lock, [calls] { return calls->release; });
        }
        return 0;
    }
    size_t Count() {
        std::lock_guard<std::mutex> lock(mutex);
        return entries.size();
    }
    void WaitFor(size_t count) {
        std::unique_lock<std::mutex> lock(mutex);
        signal.wait(lock, [&] { return entries.size() >= count; });
    }
    void Release() {
        std::lock_guard<std::mutex> lock(mutex);
        release = true;
        signal.notify_all();
    }
};

class SearchJobTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetActiveCodePage(1252);
        IndexBytes bytes;
        bytes.Record("C:\\a\\Lake.jpg", "t1", "", {}).Record("C:\\b.jpg", "t2", "summer LAKE", {});
        bytes.Record("C:\\c.jpg", "t3", "", {"x"});
        WriteAll(index, bytes.bytes);
    }
    void TearDown() override { SetActiveCodePage(SystemCodePage()); }

    TempFolder folder;
    std::string index = folder.File("index");
    SearchJob job;
    Calls calls;
};

TEST_F(SearchJobTest, ReportsEveryHitThenTheClosingCall) {
    ASSERT_TRUE(job.Start("lake", Calls::Callback, &calls, index));
    job.Join();
    EXPECT_FALSE(job.IsRunning());
    EXPECT_EQ(calls.entries, (std::vector<std::string>{"C:\\a\\Lake.jpg|t1|0", "C:\\b.jpg|t2|0", "||1"}));
}

TEST_F(SearchJobTest, AMissingIndexStillGetsTheClosingCall) {
    ASSERT_TRUE(job.Start("lake", Calls::Callback, &calls, folder.File("missing")));
    job.Join();
    EXPECT_EQ(calls.entries, (std::vector<std::string>{"||1"}));
}

// A search job whose run the test can watch after the job has let go of it.
class WatchedSearchJob : public SearchJob {
public:
    using SearchJob::CurrentRun;
};

TEST_F(SearchJobTest, ACallbackThatNeverReturnsIsLeftBehindAfterTheGrace) {
    // The abandoned worker may still be inside the callback when the test ends: its data must outlive it,
    // and each repetition of the test gets its own.
    static auto* const leftBehind = new std::deque<Calls>;
    Calls* const blocked = &leftBehind->emplace_back();
    blocked->blockOnHit = true;
    WatchedSearchJob watched;
    ASSERT_TRUE(watched.Start("lake", Calls::Callback, blocked, index));
    blocked->WaitFor(1);
    const std::shared_ptr<WorkerRun> run = watched.CurrentRun();
    ASSERT_TRUE(run);
    watched.Cancel(300);
    EXPECT_FALSE(watched.IsRunning());
    // Once the cancel has returned nothing more reaches the caller, also after the callback returns and
    // the worker has run to its end.
    blocked->Release();
    while (!run->IsFinished()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(blocked->Count(), 1u);
}

}  // namespace
