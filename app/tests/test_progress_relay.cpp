#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/progress_relay.h"

namespace vellumar {
namespace {

// Plays the user-interface thread: the relay's wake call sets a flag that the test thread waits on.
class UiThread {
public:
    std::function<void()> Wake() {
        return [this] {
            std::lock_guard<std::mutex> guard(lock);
            woken = true;
            cv.notify_all();
        };
    }
    // Waits for a wake call (bounded, so that a broken relay fails the test instead of hanging it).
    bool WaitForWake() {
        std::unique_lock<std::mutex> guard(lock);
        bool got = cv.wait_for(guard, std::chrono::seconds(10), [this] { return woken; });
        woken = false;
        return got;
    }

private:
    std::mutex lock;
    std::condition_variable cv;
    bool woken = false;
};

class RecordingHandler : public ReportHandler {
public:
    std::vector<std::string> seen;
    std::function<void(RelayedReport&)> extra;
    void HandleReport(RelayedReport& report) override {
        const char* step = report.step == ReportStep::Progress          ? "progress"
                           : report.step == ReportStep::CompletionBegin ? "begin"
                                                                        : "end";
        seen.push_back(std::string(step) + " " + std::to_string(report.value) + " " + report.text);
        if (report.step == ReportStep::CompletionBegin) {
            report.boxText = "box text";
            report.boxCaption = "box caption";
        }
        if (extra) {
            extra(report);
        }
    }
};

class RecordingBox : public WorkerMessageBox {
public:
    std::vector<std::string> shown;
    std::function<void()> whileShown;
    void Show(const std::string& text, const std::string& caption) override {
        shown.push_back(text + " | " + caption);
        if (whileShown) {
            whileShown();
        }
    }
};

TEST(ProgressRelay, WorkerWaitsUntilEachReportIsHandledInOrder) {
    UiThread ui;
    ProgressRelay relay(ui.Wake());
    RecordingHandler handler;
    RunTicket* ticket = relay.BeginRun(JobKind::Rebuild);
    std::atomic<int> returned{0};
    std::thread worker([&] {
        for (int i = 1; i <= 3; ++i) {
            ProgressRelay::OnJobProgress(i, "C:", 0, ticket);
            returned = i;
        }
    });
    for (int i = 1; i <= 3; ++i) {
        ASSERT_TRUE(ui.WaitForWake());
        // The worker cannot be past report i before the dialog has handled it.
        EXPECT_EQ(returned.load(), i - 1);
        relay.Drain(handler);
    }
    worker.join();
    std::vector<std::string> expected = {"progress 1 C:", "progress 2 C:", "progress 3 C:"};
    EXPECT_EQ(handler.seen, expected);
}

TEST(ProgressRelay, CompletionShowsTheBoxOnTheWorkerBetweenItsTwoHalves) {
    UiThread ui;
    ProgressRelay relay(ui.Wake());
    RecordingBox box;
    relay.SetMessageBox(&box);
    RecordingHandler handler;
    std::thread::id boxThread;
    box.whileShown = [&] { boxThread = std::this_thread::get_id(); };
    RunTicket* ticket = relay.BeginRun(JobKind::AddFolder);
    std::thread worker([&] { ProgressRelay::OnJobProgress(0, "", 1, ticket); });
    ASSERT_TRUE(ui.WaitForWake());
    relay.Drain(handler);
    ASSERT_TRUE(ui.WaitForWake());
    EXPECT_EQ(box.shown, std::vector<std::string>{"box text | box caption"});
    relay.Drain(handler);
    std::thread::id workerId = worker.get_id();
    worker.join();
    EXPECT_EQ(boxThread, workerId);
    std::vector<std::string> expected = {"begin 0 ", "end 0 "};
    EXPECT_EQ(handler.seen, expected);
}

TEST(ProgressRelay, RevokeReleasesAWaitingWorkerWithoutHandlingItsReport) {
    UiThread ui;
    ProgressRelay relay(ui.Wake());
    RecordingHandler handler;
    RunTicket* ticket = relay.BeginRun(JobKind::Rebuild);
    RelayedReport report;
    report.value = 5;
    std::atomic<bool> delivered{true};
    std::thread worker([&] { delivered = relay.Deliver(*ticket, report); });
    ASSERT_TRUE(ui.WaitForWake());
    relay.Revoke();
    worker.join();
    EXPECT_FALSE(delivered.load());
    relay.Drain(handler);
    EXPECT_TRUE(handler.seen.empty());
}

TEST(ProgressRelay, NoReportOfARevokedRunIsHandledLater) {
    UiThread ui;
    ProgressRelay relay(ui.Wake());
    RecordingHandler handler;
    RunTicket* old = relay.BeginRun(JobKind::Rebuild);
    relay.Revoke();
    // An abandoned worker of the old run, and one whose run was replaced by a new one of the same kind.
    RelayedReport late;
    late.step = ReportStep::CompletionBegin;
    EXPECT_FALSE(relay.Deliver(*old, late));
    relay.BeginRun(JobKind::Rebuild);
    EXPECT_FALSE(relay.Deliver(*old, late));
    relay.Drain(handler);
    EXPECT_TRUE(handler.seen.empty());
}

TEST(ProgressRelay, StopDuringTheCompletionBoxDropsTheSecondHalf) {
    UiThread ui;
    ProgressRelay relay(ui.Wake());
    RecordingBox box;
    relay.SetMessageBox(&box);
    RecordingHandler handler;
    // The user stops the job (Exit App from the tray) while the completion box is up.
    box.whileShown = [&] { relay.Revoke(); };
    RunTicket* ticket = relay.BeginRun(JobKind::Rebuild);
    std::thread worker([&] { ProgressRelay::OnJobProgress(100, "", 1, ticket); });
    ASSERT_TRUE(ui.WaitForWake());
    relay.Drain(handler);
    worker.join();
    relay.Drain(handler);
    EXPECT_EQ(handler.seen, std::vector<std::string>{"begin 100 "});
    EXPECT_EQ(box.shown.size(), 1u);
}

TEST(ProgressRelay, StopRightAfterTheFirstHalfShowsNoBox) {
    UiThread ui;
    ProgressRelay relay(ui.Wake());
    RecordingBox box;
    relay.SetMessageBox(&box);
    RecordingHandler handler;
    handler.extra = [&](RelayedReport& report) {
        if (report.step == ReportStep::CompletionBegin) {
            relay.Revoke();
        }
    };
    RunTicket* ticket = relay.BeginRun(JobKind::AddFolder);
    std::thread worker([&] { ProgressRelay::OnJobProgress(0, "", 1, ticket); });
    ASSERT_TRUE(ui.WaitForWake());
    relay.Drain(handler);
    worker.join();
    EXPECT_TRUE(box.shown.empty());
    EXPECT_EQ(handler.seen, std::vector<std::string>{"begin 0 "});
}

TEST(ProgressRelay, DrainCalledFromInsideAHandlerDoesNotHandleTwice) {
    UiThread ui;
    ProgressRelay relay(ui.Wake());
    RecordingHandler handler;
    handler.extra = [&](RelayedReport&) { relay.Drain(handler); };
    RunTicket* ticket = relay.BeginRun(JobKind::Rebuild);
    std::thread worker([&] {
        ProgressRelay::OnJobProgress(1, "a", 0, ticket);
        ProgressRelay::OnJobProgress(2, "b", 0, ticket);
    });
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(ui.WaitForWake());
        relay.Drain(handler);
    }
    worker.join();
    std::vector<std::string> expected = {"progress 1 a", "progress 2 b"};
    EXPECT_EQ(handler.seen, expected);
}

TEST(ProgressRelay, MissingUserDataOrTextIsHarmless) {
    EXPECT_EQ(ProgressRelay::OnJobProgress(1, "x", 0, nullptr), 0);
    UiThread ui;
    ProgressRelay relay(ui.Wake());
    RecordingHandler handler;
    RunTicket* ticket = relay.BeginRun(JobKind::AddFolder);
    std::thread worker([&] { ProgressRelay::OnJobProgress(3, nullptr, 0, ticket); });
    ASSERT_TRUE(ui.WaitForWake());
    relay.Drain(handler);
    worker.join();
    EXPECT_EQ(handler.seen, std::vector<std::string>{"progress 3 "});
}

}  // namespace
}  // namespace vellumar
