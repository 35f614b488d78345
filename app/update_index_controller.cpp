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

void UpdateIndexController::OnRebuildButton() {
    // The engine, not the caption, tells whether this click stops or starts.
    if (service.IsRebuildRunning()) {
        StopRebuild();
        RebuildToIdle(true);
    } else {
        StartRebuild();
    }
}

void UpdateIndexController::StartRebuild() {
    RunTicket* ticket = relay.BeginRun(JobKind::Rebuild);
    service.StartRebuild(&ProgressRelay::OnJobProgress, ticket);
    view.SetButtonText(DialogButton::Rebuild, kCancelCaption);
    view.EnableButton(DialogButton::AddFolder, false);
    view.ShowButton(DialogButton::Background, true);
    progressTick = 0;
    view.SetProgressRange(0, kProgressSpan);
    Grow();
    state = JobState::Rebuilding;
}

void UpdateIndexController::OnAddFolderButton() {
    if (service.IsAddFolderRunning()) {
        StopAddFolder();
        AddFolderToIdle(true);
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
    view.SetButtonText(DialogButton::AddFolder, kCancelCaption);
    view.EnableButton(DialogButton::Rebuild, false);
    view.ShowButton(DialogButton::Background, true);
    progressTick = 0;
    view.SetProgressRange(0, kProgressSpan);
    Grow();
    state = JobState::Adding;
}

void UpdateIndexController::StopRebuild() {
    // Revoke first: a worker waiting for the dialog is released at once and no report of this run,
    // not even one already on its way, changes the dialog any more.
    relay.Revoke();
    service.CancelRebuild();
}

void UpdateIndexController::StopAddFolder() {
    relay.Revoke();
    service.CancelAddFolder();
}

void UpdateIndexController::StopAnyJob() {
    if (service.IsRebuildRunning()) {
        StopRebuild();
    }
    if (service.IsAddFolderRunning()) {
        StopAddFolder();
    }
}

void UpdateIndexController::RebuildToIdle(bool collapse) {
    view.SetButtonText(DialogButton::Rebuild, Text(IDS_REBUILD_INDEX));
    view.EnableButton(DialogButton::AddFolder, true);
    view.ShowButton(DialogButton::Background, false);
    if (collapse) {
        Shrink();
    }
    state = JobState::Idle;
}

void UpdateIndexController::AddFolderToIdle(bool collapse) {
    view.SetButtonText(DialogButton::AddFolder, Text(IDS_ADD_FOLDER));
    view.EnableButton(DialogButton::Rebuild, true);
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
    if (service.IsRebuildRunning()) {
        if (!view.AskYesNo(Text(IDS_CONFIRM_CANCEL), Text(IDS_CONFIRM_CANCEL_CAPTION))) {
            return;
        }
        StopRebuild();
    }
    if (service.IsAddFolderRunning()) {
        if (!view.AskYesNo(Text(IDS_CONFIRM_CANCEL), Text(IDS_CONFIRM_CANCEL_CAPTION))) {
            return;
        }
        StopAddFolder();
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
    if (state == JobState::Rebuilding && !service.IsRebuildRunning()) {
        relay.Revoke();
        RebuildToIdle(true);
    } else if (state == JobState::Adding && !service.IsAddFolderRunning()) {
        relay.Revoke();
        AddFolderToIdle(true);
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
            if (report.job == JobKind::Rebuild) {
                OnRebuildCompleted(report);
            } else {
                OnAddFolderCompleted(report);
            }
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

void UpdateIndexController::OnRebuildCompleted(RelayedReport& report) {
    view.SetButtonText(DialogButton::Rebuild, Text(IDS_REBUILD_INDEX));
    view.SetProgressText(Text(IDS_INDEX_UPDATED));
    view.EnableButton(DialogButton::AddFolder, true);
    view.ShowButton(DialogButton::Background, false);
    view.SetProgressPosition(0);
    Shrink();
    state = JobState::Idle;
    report.boxText = Text(IDS_INDEX_UPDATED);
    report.boxCaption = Text(IDS_REBUILD_DONE_CAPTION);
}

void UpdateIndexController::OnAddFolderCompleted(RelayedReport& report) {
    std::string done = FormatText(Text(IDS_FOLDER_ADDED), {chosenFolder});
    view.SetButtonText(DialogButton::AddFolder, Text(IDS_ADD_FOLDER));
    view.SetProgressText(done);
    view.EnableButton(DialogButton::Rebuild, true);
    view.ShowButton(DialogButton::Background, false);
    view.SetProgressPosition(0);
    Shrink();
    state = JobState::Idle;
    report.boxText = done;
    report.boxCaption = Text(IDS_ADD_DONE_CAPTION);
}

}  // namespace vellumar
