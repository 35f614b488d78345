#include "indexer/worker_thread.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <system_error>

namespace {

// Workers that were abandoned and have not finished yet. When the program ends, its static objects are
// destroyed while such a worker may still be finishing its last file; the end waits a little for them.
struct AbandonedWorkers {
    std::mutex mutex;
    std::condition_variable idle;
    int count = 0;
};

AbandonedWorkers& Abandoned() {
    static auto* workers = new AbandonedWorkers;  // outlives every static object
    return *workers;
}

constexpr auto kExitWaitForAbandonedWorkers = std::chrono::seconds(2);

void WaitForAbandonedWorkers() {
    AbandonedWorkers& workers = Abandoned();
    std::unique_lock<std::mutex> lock(workers.mutex);
    workers.idle.wait_for(lock, kExitWaitForAbandonedWorkers, [&] { return workers.count == 0; });
}

}  // namespace

void WorkerRun::RequestCancel(std::chrono::steady_clock::time_point deadline) {
    std::unique_lock<std::mutex> lock(reportMutex);
    cancelled.store(true);
    reportEnded.wait_until(lock, deadline, [this] { return !reporting; });
}

bool WorkerRun::BeginReport(ReportUntil until) {
    std::lock_guard<std::mutex> lock(reportMutex);
    if (reportsAbandoned || (until == ReportUntil::kCancelled && cancelled.load())) {
        return false;
    }
    reporting = true;
    return true;
}

void WorkerRun::EndReport() {
    std::lock_guard<std::mutex> lock(reportMutex);
    reporting = false;
    reportEnded.notify_all();
}

bool WorkerRun::IsCancelled() const {
    return cancelled.load() || abandoned.load();
}

void WorkerRun::Abandon() {
    {
        // Not waiting for a report in progress: the run is given up because it did not end in time.
        std::lock_guard<std::mutex> lock(reportMutex);
        cancelled.store(true);
        reportsAbandoned = true;
    }
    std::lock_guard<std::mutex> gate(writeGate);
    abandoned.store(true);
    OnAbandon();
}

bool WorkerRun::IsFinished() const {
    std::lock_guard<std::mutex> guard(doneMutex);
    return hasFinished;
}

void WorkerRun::Finish(int code) {
    exitCode.store(code);
    std::lock_guard<std::mutex> guard(doneMutex);
    hasFinished = true;
    doneSignal.notify_all();
    if (countedAsAbandoned) {
        AbandonedWorkers& workers = Abandoned();
        std::lock_guard<std::mutex> lock(workers.mutex);
        --workers.count;
        workers.idle.notify_all();
    }
}

void WorkerRun::CountAsAbandoned() {
    // Registered at the first abandon, after the static objects the worker uses were made, so that the
    // wait comes before their destruction.
    static std::once_flag registered;
    std::call_once(registered, [] { std::atexit(WaitForAbandonedWorkers); });
    std::lock_guard<std::mutex> guard(doneMutex);
    if (hasFinished || countedAsAbandoned) {
        return;
    }
    countedAsAbandoned = true;
    AbandonedWorkers& workers = Abandoned();
    std::lock_guard<std::mutex> lock(workers.mutex);
    ++workers.count;
}

bool WorkerRun::WaitFinished(int milliseconds) const {
    std::unique_lock<std::mutex> guard(doneMutex);
    if (milliseconds < 0) {
        doneSignal.wait(guard, [this] { return hasFinished; });
        return true;
    }
    return doneSignal.wait_for(guard, std::chrono::milliseconds(milliseconds),
                               [this] { return hasFinished; });
}

// The start routine: runs the job body and marks the run finished, whatever escapes it.
void WorkerThread::ThreadMain(const std::shared_ptr<WorkerRun>& run) {
    if (!run) {
        return;
    }
    int code = 0;
    try {
        code = run->Run();
    } catch (...) {
        code = 0;
    }
    run->Finish(code);
}

WorkerThread::~WorkerThread() {
    std::lock_guard<std::mutex> guard(mutex);
    AbandonLocked();
}

void WorkerThread::AbandonLocked() {
    if (run && !run->IsFinished()) {
        run->Abandon();
        run->CountAsAbandoned();
        if (thread.joinable()) {
            thread.detach();  // it ends on its own; it holds its run
        }
    } else if (thread.joinable()) {
        thread.join();  // finished: only the last instructions of the thread remain
    }
    run.reset();
}

bool WorkerThread::Start(std::shared_ptr<WorkerRun> newRun) {
    std::lock_guard<std::mutex> guard(mutex);
    AbandonLocked();
    if (!newRun) {
        return false;
    }
    run = newRun;
    try {
        thread = std::thread(ThreadMain, std::move(newRun));
    } catch (const std::system_error&) {
        run.reset();
        return false;
    }
    return true;
}

void WorkerThread::Cancel(int limitMilliseconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMilliseconds);
    if (std::shared_ptr<WorkerRun> current = CurrentRun()) {
        current->RequestCancel(deadline);
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    JoinOrForceStop(static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0)));
}

void WorkerThread::JoinOrForceStop(int limitMilliseconds) {
    std::shared_ptr<WorkerRun> current = CurrentRun();
    if (!current) {
        return;
    }
    if (current->WaitFinished(limitMilliseconds)) {
        std::lock_guard<std::mutex> guard(mutex);
        if (run == current) {
            AbandonLocked();  // joins the finished thread
        }
        return;
    }
    ForceStop();
}

void WorkerThread::ForceStop() {
    std::lock_guard<std::mutex> guard(mutex);
    AbandonLocked();
}

void WorkerThread::Join() {
    std::shared_ptr<WorkerRun> current = CurrentRun();
    if (current) {
        current->WaitFinished(-1);
    }
}

bool WorkerThread::IsRunning() const {
    std::lock_guard<std::mutex> guard(mutex);
    return run && !run->IsFinished();
}

std::shared_ptr<WorkerRun> WorkerThread::CurrentRun() const {
    std::lock_guard<std::mutex> guard(mutex);
    return run;
}
