// The thread class of every job, and the state of one run of a job.
//
// A job's body runs on a thread of its own. A cancel sets the run's cancel flag, waits for a report in
// progress and then for the run to end, within one grace period; a worker that overruns it is not
// interrupted (that could strike while it holds a lock or is half-way through a write) but abandoned:
// the job counts as not running at once, the run's write gate closes so that the worker writes nothing
// more, and the worker finishes on its own. Everything the worker touches belongs to its WorkerRun,
// which its thread keeps alive, so a new run of the same job can start at once without meeting the old
// one.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

class WorkerRun {
public:
    WorkerRun() = default;
    virtual ~WorkerRun() = default;
    WorkerRun(const WorkerRun&) = delete;
    WorkerRun& operator=(const WorkerRun&) = delete;

    // The job body; its result is the run's exit code.
    virtual int Run() = 0;

    // The cancel flag, set once by any thread and never cleared. An abandoned run counts as cancelled.
    // Setting it also waits, until `deadline` at the latest, for a report in progress to return; from
    // then on no report begins. A report still in progress at the deadline (a callback that does not
    // return) is left to return by itself, and nothing follows it.
    void RequestCancel(std::chrono::steady_clock::time_point deadline = {});
    bool IsCancelled() const;

    // Every call from the run to its caller (progress, hits, messages) goes through one of these: the
    // call is made unless the run was cancelled, so that no call begins after a cancel has returned.
    // False when it was not made.
    template <typename Call>
    bool ReportUnlessCancelled(Call&& call) {
        return Reported(ReportUntil::kCancelled, call);
    }
    // The same for a closing call that a cancelled run still makes: none once it has been abandoned.
    template <typename Call>
    bool ReportUnlessAbandoned(Call&& call) {
        return Reported(ReportUntil::kAbandoned, call);
    }

    // Runs `write` under the write gate unless the run has been abandoned. False when it did not run.
    template <typename Write>
    bool WriteGuarded(Write&& write) {
        std::lock_guard<std::mutex> gate(writeGate);
        if (abandoned.load()) {
            return false;
        }
        write();
        return true;
    }
    bool IsAbandoned() const { return abandoned.load(); }

    // Closes the write gate (waiting for a write in progress) and lets the run close what it holds.
    // Called on the cancelling thread.
    void Abandon();

    bool IsFinished() const;
    int ExitCode() const { return exitCode.load(); }

protected:
    // Called under the write gate when the run is abandoned: close streams here.
    virtual void OnAbandon() {}

private:
    friend class WorkerThread;
    enum class ReportUntil { kCancelled, kAbandoned };
    template <typename Call>
    bool Reported(ReportUntil until, Call& call) {
        if (!BeginReport(until)) {
            return false;
        }
        struct End {
            WorkerRun& run;
            ~End() { run.EndReport(); }
        } end{*this};
        call();
        return true;
    }
    bool BeginReport(ReportUntil until);
    void EndReport();
    void Finish(int code);
    // Counts the run among the abandoned workers that the program's end waits for, unless it has
    // already finished.
    void CountAsAbandoned();
    // Waits until the run has finished; false when `milliseconds` passed first (negative: no limit).
    bool WaitFinished(int milliseconds) const;

    // The cancel flag is read without a lock by the run's loops; it is set, and the reports decide,
    // under reportMutex, so that a cancel cannot fall between a report's check and its call.
    std::atomic<bool> cancelled{false};
    std::mutex reportMutex;
    std::condition_variable reportEnded;
    bool reporting = false;         // guarded by reportMutex
    bool reportsAbandoned = false;  // guarded by reportMutex
    std::mutex writeGate;
    std::atomic<bool> abandoned{false};
    mutable std::mutex doneMutex;
    mutable std::condition_variable doneSignal;
    bool hasFinished = false;
    bool countedAsAbandoned = false;  // guarded by doneMutex
    std::atomic<int> exitCode{0};
};

// Runs `write` under `run`'s write gate, or at once when there is no run (a write outside any job).
// False when it did not run.
template <typename Write>
bool WriteGuardedBy(WorkerRun* run, Write&& write) {
    if (run == nullptr) {
        write();
        return true;
    }
    return run->WriteGuarded(write);
}

class WorkerThread {
public:
    WorkerThread() = default;
    virtual ~WorkerThread();
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    // Starts `run` on a new thread; the object counts as running from here until the run returns or
    // is force-stopped. A run still going from before is abandoned first. False when no thread could
    // be made (the object is then not running).
    bool Start(std::shared_ptr<WorkerRun> run);
    // Sets the current run's cancel flag and waits up to `limitMilliseconds` in all, first for a report
    // in progress, then for the run to end; a run that overruns is abandoned. When this returns, no
    // call of that run to its caller begins any more.
    void Cancel(int limitMilliseconds);
    // Returns at once when nothing runs; else waits up to `limitMilliseconds` for the run to end and
    // force-stops it when it has not.
    void JoinOrForceStop(int limitMilliseconds);
    // Abandons the current run (see above). Afterwards the object counts as not running.
    virtual void ForceStop();
    // Waits for the current run to end by itself.
    void Join();
    bool IsRunning() const;

protected:
    std::shared_ptr<WorkerRun> CurrentRun() const;

private:
    static void ThreadMain(const std::shared_ptr<WorkerRun>& run);
    void AbandonLocked();  // under `mutex`

    mutable std::mutex mutex;
    std::shared_ptr<WorkerRun> run;
    std::thread thread;
};
