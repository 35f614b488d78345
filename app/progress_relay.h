// Hands the engine's progress reports from a job's worker thread to the user-interface thread and
// lets the worker wait until the dialog has acted on each one.
//
// Every started job gets a RunTicket; the dialog passes it to the engine as the callback's user data.
// Stopping a job revokes the current run: a report already queued is dropped, a worker waiting for
// its report is released at once (so that the stop does not have to sit out the engine's grace
// period), and every later report of that run, including a completion that was on its way, is
// ignored. A ticket of an old run never matches a newer one.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>

namespace vellumar {

enum class JobKind { Rebuild, AddFolder };

// Where a report stands in the dialog's handling: ordinary progress, or one of the two halves of a
// completion, which a message box on the worker thread separates.
enum class ReportStep { Progress, CompletionBegin, CompletionEnd };

struct RelayedReport {
    JobKind job = JobKind::Rebuild;
    ReportStep step = ReportStep::Progress;
    int value = 0;
    std::string text;
    // Filled by the dialog on CompletionBegin: the message box the worker shows before CompletionEnd.
    std::string boxText;
    std::string boxCaption;
};

class ProgressRelay;

struct RunTicket {
    ProgressRelay* relay = nullptr;
    uint32_t run = 0;
    JobKind job = JobKind::Rebuild;
};

class ReportHandler {
public:
    virtual ~ReportHandler() = default;
    // Runs on the user-interface thread.
    virtual void HandleReport(RelayedReport& report) = 0;
};

// Shows the completion message box on the worker thread; returns when the user has closed it.
class WorkerMessageBox {
public:
    virtual ~WorkerMessageBox() = default;
    virtual void Show(const std::string& text, const std::string& caption) = 0;
};

class ProgressRelay {
public:
    // `wake` asks the user-interface thread to call Drain soon (a posted window message); it is
    // called on worker threads.
    explicit ProgressRelay(std::function<void()> wake);

    ProgressRelay(const ProgressRelay&) = delete;
    ProgressRelay& operator=(const ProgressRelay&) = delete;

    // User-interface thread: a new run begins; the returned ticket stays valid as long as the relay.
    RunTicket* BeginRun(JobKind job);
    // User-interface thread: the current run is stopped (see above).
    void Revoke();
    // User-interface thread: handles the queued reports of the current run in their order.
    void Drain(ReportHandler& handler);

    // Worker thread: queues the report and waits until it has been handled (true) or dropped (false).
    bool Deliver(const RunTicket& ticket, RelayedReport& report);

    void SetMessageBox(WorkerMessageBox* box);

    // The engine's callback: `userData` is the RunTicket. Progress waits for the dialog; the last call
    // runs the dialog's first completion steps, the message box on this thread, then the rest.
    static int OnJobProgress(int value, const char* text, int finished, void* userData);

private:
    struct Pending {
        RelayedReport* report;
        bool done = false;
    };

    bool IsCurrent(const RunTicket& ticket) const;

    std::function<void()> wake;
    WorkerMessageBox* messageBox = nullptr;
    mutable std::mutex lock;
    std::condition_variable handled;
    std::deque<Pending*> queue;
    std::deque<RunTicket> tickets;
    uint32_t currentRun = 0;
    bool runOpen = false;
    bool draining = false;
};

}  // namespace vellumar
