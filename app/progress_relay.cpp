#include "app/progress_relay.h"

#include <utility>

namespace vellumar {

ProgressRelay::ProgressRelay(std::function<void()> wakeUi) : wake(std::move(wakeUi)) {}

RunTicket* ProgressRelay::BeginRun(JobKind job) {
    std::lock_guard<std::mutex> guard(lock);
    ++currentRun;
    runOpen = true;
    tickets.push_back(RunTicket{this, currentRun, job});
    return &tickets.back();
}

void ProgressRelay::Revoke() {
    {
        std::lock_guard<std::mutex> guard(lock);
        runOpen = false;
        // Waiting workers see that their report was not handled.
        queue.clear();
    }
    handled.notify_all();
}

bool ProgressRelay::IsCurrent(const RunTicket& ticket) const {
    return runOpen && ticket.run == currentRun;
}

void ProgressRelay::Drain(ReportHandler& handler) {
    std::unique_lock<std::mutex> guard(lock);
    // A handler that pumps messages may bring us back here; the outer call finishes the queue.
    if (draining) {
        return;
    }
    draining = true;
    while (!queue.empty()) {
        Pending* pending = queue.front();
        queue.pop_front();
        guard.unlock();
        handler.HandleReport(*pending->report);
        guard.lock();
        // Revoke may have run inside the handler; the worker is then released either way.
        pending->done = true;
        handled.notify_all();
    }
    draining = false;
}

bool ProgressRelay::Deliver(const RunTicket& ticket, RelayedReport& report) {
    Pending pending{&report};
    std::unique_lock<std::mutex> guard(lock);
    if (!IsCurrent(ticket)) {
        return false;
    }
    queue.push_back(&pending);
    guard.unlock();
    wake();
    guard.lock();
    handled.wait(guard, [&] {
        if (pending.done) {
            return true;
        }
        // Dropped by Revoke: no longer queued and not being handled.
        for (const Pending* queued : queue) {
            if (queued == &pending) {
                return false;
            }
        }
        return !IsCurrent(ticket) || !runOpen;
    });
    if (!pending.done) {
        // Revoked while the handler was running it: wait for the handler to let go of the report.
        handled.wait(guard, [&] { return pending.done || !draining; });
    }
    return pending.done;
}

void ProgressRelay::SetMessageBox(WorkerMessageBox* box) {
    std::lock_guard<std::mutex> guard(lock);
    messageBox = box;
}

int ProgressRelay::OnJobProgress(int value, const char* text, int finished, void* userData) {
    auto* ticket = static_cast<RunTicket*>(userData);
    if (ticket == nullptr || ticket->relay == nullptr) {
        return 0;
    }
    ProgressRelay& relay = *ticket->relay;
    RelayedReport report;
    report.job = ticket->job;
    report.value = value;
    report.text = text != nullptr ? text : "";
    if (finished == 0) {
        relay.Deliver(*ticket, report);
        return 0;
    }
    report.step = ReportStep::CompletionBegin;
    if (!relay.Deliver(*ticket, report)) {
        return 0;
    }
    WorkerMessageBox* box = nullptr;
    {
        std::lock_guard<std::mutex> guard(relay.lock);
        // A stop between the two halves takes the box away too: no completion box for a stopped job.
        if (!relay.IsCurrent(*ticket)) {
            return 0;
        }
        box = relay.messageBox;
    }
    if (box != nullptr && !report.boxText.empty()) {
        box->Show(report.boxText, report.boxCaption);
    }
    report.step = ReportStep::CompletionEnd;
    relay.Deliver(*ticket, report);
    return 0;
}

}  // namespace vellumar
