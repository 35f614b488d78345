// The decisions of Vellumar's main dialog: which job runs, what the buttons, the progress band, the
// page area and the tray icon show after each event, and which questions are asked. It runs on the
// user-interface thread only; job reports reach it through the ProgressRelay.
#pragma once

#include <string>

#include "app/indexing_service.h"
#include "app/progress_relay.h"
#include "app/update_index_view.h"

namespace vellumar {

enum class JobState { Idle, Rebuilding, Adding };

// The lower band of the dialog (progress text and bar), in pixels of window height.
constexpr int kBandHeight = 90;
constexpr int kTrayIconId = 128;
// The progress bar is an activity indicator that walks 0..99 and starts over.
constexpr int kProgressSpan = 100;
constexpr int kDialogCancelled = 2;

constexpr const char* kStartPage = "UPDATE_INDEX.HTM";
constexpr const char* kRebuildCompletePage = "UPDATE_COMPLETE.HTM";
constexpr const char* kCancelCaption = "Cancel";

class UpdateIndexController : public ReportHandler {
public:
    UpdateIndexController(UpdateIndexView& view, IndexingService& service, ProgressRelay& relay);

    // Returns false when another copy runs: the dialog has then been ended and shows nothing.
    bool OnInitDialog();
    void OnRebuildButton();
    void OnAddFolderButton();
    void OnBackgroundButton();
    // Close box or Alt+F4: asks before stopping a job.
    void OnClose();
    // Esc: stops without asking.
    void OnCancel();
    // "Exit App" of the tray menu.
    void OnExit();
    // "Show window", tray double-click, activation by a second copy, and every completion.
    void ShowWindow();
    // Periodic check: a job that ended without its last report brings the dialog back to Idle.
    void OnJobWatch();

    void HandleReport(RelayedReport& report) override;

    JobState State() const { return state; }
    bool Expanded() const { return expanded; }
    int ProgressTick() const { return progressTick; }
    const std::string& ChosenFolder() const { return chosenFolder; }
    bool HoldsBlockingMutex() const { return mutexHeld; }
    // True when another copy was running and this one stepped aside.
    bool SteppedAside() const { return steppedAside; }

private:
    void Grow();
    void Shrink();
    void StartRebuild();
    void StartAddFolder(const std::string& folder);
    // The steps the two jobs share, told apart by the job.
    bool IsRunning(JobKind job);
    void ShowJobStarted(JobKind job);
    void StopJob(JobKind job);
    void StopAnyJob();
    void ReleaseMutexOnce();
    void ToIdle(JobKind job, bool collapse);
    void OnProgress(const RelayedReport& report);
    void OnCompleted(RelayedReport& report);
    std::string Text(int id) { return view.LoadText(id); }

    UpdateIndexView& view;
    IndexingService& service;
    ProgressRelay& relay;
    JobState state = JobState::Idle;
    bool expanded = false;
    bool mutexHeld = false;
    bool ended = false;
    bool steppedAside = false;
    int progressTick = 0;
    std::string chosenFolder;
};

}  // namespace vellumar
