// UpdateIndexDialog: Vellumar's main window. The dialog resource, the message plumbing and the platform
// calls; every decision is UpdateIndexController's.
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <string>

#include "app/activation_filter.h"
#include "app/win32/html_page_host.h"
#include "app/progress_relay.h"
#include "app/win32/tray_icon.h"
#include "app/update_index_controller.h"
#include "app/update_index_view.h"
#include "foundation/win32/handles.h"

namespace vellumar {

// Tray icon mouse events.
constexpr UINT kTrayMessage = WM_APP + 1000;
// A worker has queued a progress report.
constexpr UINT kRelayMessage = WM_APP + 1;
constexpr UINT_PTR kJobWatchTimer = 1;
constexpr UINT kJobWatchMilliseconds = 500;

class UpdateIndexDialog : public UpdateIndexView, public WorkerMessageBox, public ActivationTarget {
public:
    UpdateIndexDialog(IndexingService& service, ProgressRelay& relay, UINT activationMessage);
    ~UpdateIndexDialog() override;
    UpdateIndexDialog(const UpdateIndexDialog&) = delete;
    UpdateIndexDialog& operator=(const UpdateIndexDialog&) = delete;

    // Runs the dialog modally; returns its result (2 when cancelled, 0 after Exit or stepping aside).
    INT_PTR DoModal();
    HWND Window() const { return window; }
    UpdateIndexController& Controller() { return controller; }

    // ActivationTarget: the activation filter's "bring to front".
    void ShowWindow() override { controller.ShowWindow(); }

    // UpdateIndexView
    std::string LoadText(int stringId) override;
    void SetButtonText(DialogButton button, const std::string& text) override;
    void EnableButton(DialogButton button, bool enable) override;
    void ShowButton(DialogButton button, bool show) override;
    void SetProgressText(const std::string& text) override;
    void SetProgressRange(int low, int high) override;
    void SetProgressPosition(int position) override;
    void ResizeHeight(int pixels) override;
    void ShowMessage(const std::string& text, const std::string& caption) override;
    bool AskYesNo(const std::string& text, const std::string& caption) override;
    FolderChoice BrowseForFolder(const std::string& title) override;
    bool IsFixedDrive(const std::string& root) override;
    void SetDialogIcon() override;
    bool AcquireBlockingMutex() override;
    void ReleaseBlockingMutex() override;
    void BroadcastActivation() override;
    void CreatePageArea() override;
    void NavigateToResource(const std::string& pageName) override;
    void NavigateToUrl(const std::string& url) override;
    std::string ExecutablePath() override;
    void ShowNormalInFront() override;
    void HideWindow() override;
    void SetTrayTarget() override;
    void SetTrayIcon(int iconId) override;
    void EndDialog(int result) override;

    // WorkerMessageBox: the completion box, on the job's worker thread, owned by the dialog.
    void Show(const std::string& text, const std::string& caption) override;

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void OnCommand(UINT id);
    bool PaintIconic();

    HWND window = nullptr;
    HICON icon = nullptr;
    HICON smallIcon = nullptr;
    UINT activationMessage;
    UINT taskbarCreatedMessage;
    KernelHandle blockingMutex;
    HtmlPageHost pageHost;
    CTrayIcon trayIcon;
    ProgressRelay& relay;
    UpdateIndexController controller;
};

}  // namespace vellumar

namespace vellumar {

// The relay between the engine's workers and the dialog. It is never destroyed: a worker abandoned by
// a stop may still return into it while the process ends.
ProgressRelay& DialogRelay();

}  // namespace vellumar
