#include "app/update_index_controller.h"

#include <climits>

#include "app/format_text.h"
#include "app/page_urls.h"
#include "app/resource_ids.h"

namespace vellumar {

UpdateIndexController::UpdateIndexController(UpdateIndexView& dialogView, IndexingService& indexingService,
                                             ProgressRelay& progressRelay)
    : view(dialogView), service(indexingService), relay(progressRelay) {}

bool UpdateIndexController::OnInitDialog() {
    view.SetDialogIcon();
    // The template includes the progress band; the dialog starts without it.
    view.ResizeHeight(-kBandHeight);
    expanded = false;
    if (!view.AcquireBlockingMutex()) {
        // Another copy runs: hand the user over to it and end without showing anything.
        view.BroadcastActivation();
        view.EndDialog(0);
        ended = true;
        steppedAside = true;
        return false;
    }
    mutexHeld = true;
    view.CreatePageArea();
    view.NavigateToResource(kStartPage);
    view.SetTrayTarget();
    view.SetTrayIcon(0);
    view.ShowButton(DialogButton::Background, false);
    return true;
}

void UpdateIndexController::Grow() {
    if (!expanded) {
        view.ResizeHeight(kBandHeight);
        expanded = true;
    }
}

void UpdateIndexController::Shrink() {
    if (expanded) {
        view.ResizeHeight(-kBandHeight);
        expanded = false;
    }
}

namespace {

// What tells the two jobs apart in the dialog.
struct JobTraits {
    JobKind job;
    JobState state;
    DialogButton button;       // starts the job, and stops it while it runs
    DialogButton otherButton;  // the other job's, disabled while this one runs
    int buttonText;            // the button's text while the job does not run
    int doneText;
    int doneCaption;
    bool (IndexingService::*isRunning)();
    void (IndexingService::*cancel)();
};

constexpr JobTraits kJobs[] = {
    {JobKind::Rebuild, JobState::Rebuilding, DialogButton::Rebuild, DialogButton::AddFolder,
     IDS_REBUILD_INDEX, IDS_INDEX_UPDATED, IDS_REBUILD_DONE_CAPTION, &IndexingService::IsRebuildRunning,
     &IndexingService::CancelRebuild},
    {JobKind::AddFolder, JobState::Adding, DialogButton::AddFolder, DialogButton::Rebuild, IDS_ADD_FOLDER,
     IDS_FOLDER_ADDED, IDS_ADD_DONE_CAPTION, &IndexingService::IsAddFolderRunning,
     &IndexingService::CancelAddFolder},
};

const JobTraits& TraitsOf(JobKind job) {
    return kJobs[job == JobKind::Rebuild ? 0 : 1];
}

}  // namespace

bool UpdateIndexController::IsRunning(JobKind job) {
    return (service.*TraitsOf(job).isRunning)();
}

void UpdateIndexController::OnRebuildButton() {
    // The engine, not the caption, tells whether this click stops or starts.
    if (IsRunning(JobKind::Rebuild)) {
        StopJob(JobKind::Rebuild);
        ToIdle(JobKind::Rebuild, true);
    } else {
        StartRebuild();
    }
}

void UpdateIndexController::StartRebuild() {
    RunTicket* ticket = relay.BeginRun(JobKind::Rebuild);
    service.StartRebuild(&ProgressRelay::OnJobProgress, ticket);
    ShowJobStarted(JobKind::Rebuild);
}

void UpdateIndexController::OnAddFolderButton() {
    if (IsRunning(JobKind::AddFolder)) {
        StopJob(JobKind::AddFolder);
        ToIdle(JobKind::AddFolder, true);
        return;
    }
    FolderChoice choice = view.BrowseForFolder(Text(IDS_BROWSE_TITLE));
    if (!choice.chosen) {
        return;
    }
    if (!choice.hasPath) {
        if (!choice.displayName.empty()) {
            view.ShowMessage(FormatText(Text(IDS_FOLDER_INVALID), {choice.displayName}),
                             Text(IDS_INVALID_FOLDER_CAPTION));
        }
        return;
    }
    std::string folder = choice.path;
    if (folder.empty() || folder.back() != '\\') {
        folder += '\\';
    }
    // Drive letter, colon and backslash; a network path gives no drive root and is refused.
    std::string root = folder.substr(0, 3);
    if (!view.IsFixedDrive(root)) {
        view.ShowMessage(Text(IDS_ONLY_LOCAL_DRIVES), Text(IDS_INVALID_FOLDER_CAPTION));
        return;
    }
    StartAddFolder(folder);
}

void UpdateIndexController::StartAddFolder(const std::string& folder) {
    chosenFolder = folder;
    RunTicket* ticket = relay.BeginRun(JobKind::AddFolder);
    service.StartAddFolder(chosenFolder.c_str(), &ProgressRelay::OnJobProgress, ticket);
    ShowJobStarted(JobKind::AddFolder);
}

void UpdateIndexController::ShowJobStarted(JobKind job) {
    const JobTraits& traits = TraitsOf(job);
    view.SetButtonText(traits.button, kCancelCaption);
    view.EnableButton(traits.otherButton, false);
    view.ShowButton(DialogButton::Background, true);
    progressTick = 0;
    view.SetProgressRange(0, kProgressSpan);
    Grow();
    state = traits.state;
}

void UpdateIndexController::StopJob(JobKind job) {
    // Revoke first: a worker waiting for the dialog is released at once and no report of this run,
    // not even one already on its way, changes the dialog any more.
    relay.Revoke();
    (service.*TraitsOf(job).cancel)();
}

void UpdateIndexController::StopAnyJob() {
    for (const JobTraits& traits : kJobs) {
        if (IsRunning(traits.job)) {
            StopJob(traits.job);
        }
    }
}

void UpdateIndexController::ToIdle(JobKind job, bool collapse) {
    const JobTraits& traits = TraitsOf(job);
    view.SetButtonText(traits.button, Text(traits.buttonText));
    view.EnableButton(traits.otherButton, true);
    view.ShowButton(DialogButton::Background, false);
    if (collapse) {
        Shrink();
    }
    state = JobState::Idle;
}

void UpdateIndexController::OnBackgroundButton() {
    view.HideWindow();
    view.SetTrayIcon(kTrayIconId);
}

void UpdateIndexController::ShowWindow() {
    view.ShowNormalInFront();
    view.SetTrayIcon(0);
}

void UpdateIndexController::ReleaseMutexOnce() {
    if (mutexHeld) {
        view.ReleaseBlockingMutex();
        mutexHeld = false;
    }
}

void UpdateIndexController::OnClose() {
    for (const JobTraits& traits : kJobs) {
        if (IsRunning(traits.job)) {
            if (!view.AskYesNo(Text(IDS_CONFIRM_CANCEL), Text(IDS_CONFIRM_CANCEL_CAPTION))) {
                return;
            }
            StopJob(traits.job);
        }
    }
    ReleaseMutexOnce();
    view.SetTrayIcon(0);
    OnCancel();
}

void UpdateIndexController::OnCancel() {
    StopAnyJob();
    ReleaseMutexOnce();
    view.EndDialog(kDialogCancelled);
    ended = true;
}

void UpdateIndexController::OnExit() {
    StopAnyJob();
    ReleaseMutexOnce();
    view.SetTrayIcon(0);
    view.EndDialog(0);
    ended = true;
}

void UpdateIndexController::OnJobWatch() {
    if (ended) {
        return;
    }
    // A run that could not open the index or list its start folder ends without a last report; the
    // engine then reports no job, and the dialog goes back to Idle as after a stop.
    for (const JobTraits& traits : kJobs) {
        if (state == traits.state && !IsRunning(traits.job)) {
            relay.Revoke();
            ToIdle(traits.job, true);
            return;
        }
    }
}

void UpdateIndexController::HandleReport(RelayedReport& report) {
    if (ended) {
        return;
    }
    switch (report.step) {
        case ReportStep::Progress:
            OnProgress(report);
            break;
        case ReportStep::CompletionBegin:
            OnCompleted(report);
            break;
        case ReportStep::CompletionEnd:
            if (report.job == JobKind::Rebuild) {
                view.NavigateToResource(kRebuildCompletePage);
            } else {
                view.NavigateToUrl(AddPageUrl(view.ExecutablePath()));
            }
            ShowWindow();
            break;
    }
}

void UpdateIndexController::OnProgress(const RelayedReport& report) {
    if (report.job == JobKind::Rebuild) {
        view.SetProgressText(
            FormatText(Text(IDS_REBUILD_PROGRESS), {std::to_string(report.value), report.text}));
    } else {
        view.SetProgressText(report.text);
    }
    // Wraps instead of overflowing; the bar only shows that work goes on.
    progressTick = progressTick == INT_MAX ? 0 : progressTick + 1;
    view.SetProgressPosition(progressTick % kProgressSpan);
}

void UpdateIndexController::OnCompleted(RelayedReport& report) {
    const JobTraits& traits = TraitsOf(report.job);
    std::string done = Text(traits.doneText);
    if (report.job == JobKind::AddFolder) {
        done = FormatText(done, {chosenFolder});
    }
    view.SetButtonText(traits.button, Text(traits.buttonText));
    view.SetProgressText(done);
    view.EnableButton(traits.otherButton, true);
    view.ShowButton(DialogButton::Background, false);
    view.SetProgressPosition(0);
    Shrink();
    state = JobState::Idle;
    report.boxText = done;
    report.boxCaption = Text(traits.doneCaption);
}

}  // namespace vellumar
