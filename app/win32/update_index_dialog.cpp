#include "app/win32/update_index_dialog.h"

#include <commctrl.h>
#include <shlobj.h>

#include <utility>
#include <vector>

#include "app/resource_ids.h"

namespace vellumar {

namespace {

constexpr char kBlockingMutexName[] = "NTO Search blocking mutex";
constexpr RECT kPageAreaRect = {7, 7, 487, 208};
// BIF_RETURNONLYFSDIRS | BIF_RETURNFSANCESTORS | BIF_EDITBOX | BIF_VALIDATE
constexpr UINT kBrowseFlags = 0x39;

// The dialog window that workers wake; null while no dialog runs.
std::atomic<HWND> relayTarget{nullptr};

int ControlId(DialogButton button) {
    return static_cast<int>(button);
}

}  // namespace

ProgressRelay& DialogRelay() {
    static ProgressRelay* relay = new ProgressRelay([] {
        HWND target = relayTarget.load();
        if (target != nullptr) {
            PostMessageA(target, kRelayMessage, 0, 0);
        }
    });
    return *relay;
}

UpdateIndexDialog::UpdateIndexDialog(IndexingService& service, ProgressRelay& progressRelay, UINT activation)
    : activationMessage(activation),
      taskbarCreatedMessage(RegisterWindowMessageA("TaskbarCreated")),
      trayIcon(IDR_MAINFRAME, IDR_TRAY_MENU, ID_SHOW_WINDOW),
      relay(progressRelay),
      controller(*this, service, progressRelay) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    icon = LoadIconA(instance, MAKEINTRESOURCEA(IDR_MAINFRAME));
    smallIcon = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(IDR_MAINFRAME), IMAGE_ICON,
                                              GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON),
                                              LR_SHARED));
}

UpdateIndexDialog::~UpdateIndexDialog() {
    relay.SetMessageBox(nullptr);
}

INT_PTR UpdateIndexDialog::DoModal() {
    relay.SetMessageBox(this);
    return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_UPDATE_INDEX), nullptr,
                           &DialogProc, reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK UpdateIndexDialog::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    UpdateIndexDialog* self = nullptr;
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<UpdateIndexDialog*>(lParam);
        SetWindowLongPtrA(hwnd, DWLP_USER, lParam);
        self->window = hwnd;
    } else {
        self = reinterpret_cast<UpdateIndexDialog*>(GetWindowLongPtrA(hwnd, DWLP_USER));
    }
    if (self == nullptr) {
        return FALSE;
    }
    return self->HandleMessage(message, wParam, lParam);
}

INT_PTR UpdateIndexDialog::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            relayTarget.store(window);
            if (controller.OnInitDialog()) {
                SetTimer(window, kJobWatchTimer, kJobWatchMilliseconds, nullptr);
            }
            return TRUE;
        case WM_COMMAND:
            OnCommand(LOWORD(wParam));
            return TRUE;
        case WM_CLOSE:
            controller.OnClose();
            return TRUE;
        case kTrayMessage:
            trayIcon.HandleIconEvent(wParam, lParam);
            return TRUE;
        case kRelayMessage:
            relay.Drain(controller);
            return TRUE;
        case WM_TIMER:
            if (wParam == kJobWatchTimer) {
                controller.OnJobWatch();
            }
            return TRUE;
        case WM_PAINT:
            return PaintIconic() ? TRUE : FALSE;
        case WM_QUERYDRAGICON:
            // One of the few messages whose answer is the dialog procedure's own return value.
            return reinterpret_cast<INT_PTR>(icon);
        case WM_DESTROY:
            KillTimer(window, kJobWatchTimer);
            relayTarget.store(nullptr);
            pageHost.Destroy();
            return FALSE;
        default:
            break;
    }
    if (message == activationMessage && activationMessage != 0) {
        // Normally taken by the message filter before dispatch; a nested loop that dispatches it
        // directly still brings the dialog to the front.
        controller.ShowWindow();
        return TRUE;
    }
    if (message == taskbarCreatedMessage && taskbarCreatedMessage != 0) {
        // A new shell has no icons: show ours again if background mode had shown it.
        trayIcon.Restore();
        return TRUE;
    }
    return FALSE;
}

void UpdateIndexDialog::OnCommand(UINT id) {
    switch (id) {
        case IDC_REBUILD:
            controller.OnRebuildButton();
            break;
        case IDC_ADD_FOLDER:
            controller.OnAddFolderButton();
            break;
        case IDC_BACKGROUND:
            controller.OnBackgroundButton();
            break;
        case IDCANCEL:
            controller.OnCancel();
            break;
        case ID_SHOW_WINDOW:
            controller.ShowWindow();
            break;
        case ID_EXIT_APP:
            controller.OnExit();
            break;
        default:
            // No handler for IDOK: Enter presses the default button, "Add Folder to Index".
            break;
    }
}

bool UpdateIndexDialog::PaintIconic() {
    if (!IsIconic(window)) {
        return false;
    }
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    SendMessageA(window, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client{};
    GetClientRect(window, &client);
    int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
    int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(dc, x, y, icon);
    EndPaint(window, &paint);
    return true;
}

// UpdateIndexView
std::string UpdateIndexDialog::LoadText(int stringId) {
    char buffer[512] = {};
    int length = LoadStringA(GetModuleHandleA(nullptr), static_cast<UINT>(stringId), buffer, sizeof(buffer));
    return length > 0 ? std::string(buffer, static_cast<size_t>(length)) : std::string();
}

void UpdateIndexDialog::SetButtonText(DialogButton button, const std::string& text) {
    SetDlgItemTextA(window, ControlId(button), text.c_str());
}

void UpdateIndexDialog::EnableButton(DialogButton button, bool enable) {
    EnableWindow(GetDlgItem(window, ControlId(button)), enable ? TRUE : FALSE);
}

void UpdateIndexDialog::ShowButton(DialogButton button, bool show) {
    ::ShowWindow(GetDlgItem(window, ControlId(button)), show ? SW_SHOW : SW_HIDE);
}

void UpdateIndexDialog::SetProgressText(const std::string& text) {
    SetDlgItemTextA(window, IDC_PROGRESS_TEXT, text.c_str());
}

void UpdateIndexDialog::SetProgressRange(int low, int high) {
    SendDlgItemMessageA(window, IDC_PROGRESS, PBM_SETRANGE32, static_cast<WPARAM>(low),
                        static_cast<LPARAM>(high));
}

void UpdateIndexDialog::SetProgressPosition(int position) {
    SendDlgItemMessageA(window, IDC_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

void UpdateIndexDialog::ResizeHeight(int pixels) {
    RECT rect{};
    GetWindowRect(window, &rect);
    MoveWindow(window, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top + pixels, TRUE);
}

void UpdateIndexDialog::ShowMessage(const std::string& text, const std::string& caption) {
    MessageBoxA(window, text.c_str(), caption.c_str(), MB_OK);
}

bool UpdateIndexDialog::AskYesNo(const std::string& text, const std::string& caption) {
    return MessageBoxA(window, text.c_str(), caption.c_str(), MB_YESNO) == IDYES;
}

FolderChoice UpdateIndexDialog::BrowseForFolder(const std::string& title) {
    FolderChoice choice;
    ItemIdList root;
    SHGetSpecialFolderLocation(window, CSIDL_DRIVES, root.Put());
    char displayName[MAX_PATH] = {};
    BROWSEINFOA info{};
    info.hwndOwner = window;
    info.pidlRoot = root.Get();
    info.pszDisplayName = displayName;
    info.lpszTitle = title.c_str();
    info.ulFlags = kBrowseFlags;
    ItemIdList chosen(SHBrowseForFolderA(&info));
    if (!chosen) {
        return choice;
    }
    choice.chosen = true;
    choice.displayName = displayName;
    char path[MAX_PATH] = {};
    if (SHGetPathFromIDListA(chosen.Get(), path)) {
        choice.hasPath = true;
        choice.path = path;
    }
    return choice;
}

bool UpdateIndexDialog::IsFixedDrive(const std::string& root) {
    return GetDriveTypeA(root.c_str()) == DRIVE_FIXED;
}

void UpdateIndexDialog::SetDialogIcon() {
    SendMessageA(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    SendMessageA(window, WM_SETICON, ICON_SMALL,
                 reinterpret_cast<LPARAM>(smallIcon != nullptr ? smallIcon : icon));
}

bool UpdateIndexDialog::AcquireBlockingMutex() {
    KernelHandle mutex(CreateMutexA(nullptr, FALSE, kBlockingMutexName));
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        return false;
    }
    // A failure for any other reason is no sign of another copy: go on without the mutex.
    blockingMutex = std::move(mutex);
    return true;
}

void UpdateIndexDialog::ReleaseBlockingMutex() {
    blockingMutex.Reset();
}

void UpdateIndexDialog::BroadcastActivation() {
    DWORD recipients = BSM_APPLICATIONS;
    BroadcastSystemMessageA(BSF_IGNORECURRENTTASK | BSF_POSTMESSAGE | BSF_FORCEIFHUNG, &recipients,
                            activationMessage, 0, 0);
}

void UpdateIndexDialog::CreatePageArea() {
    pageHost.Create(window, kPageAreaRect, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS);
}

void UpdateIndexDialog::NavigateToResource(const std::string& pageName) {
    pageHost.NavigateToResource(pageName.c_str());
}

void UpdateIndexDialog::NavigateToUrl(const std::string& url) {
    pageHost.NavigateToUrl(url);
}

std::string UpdateIndexDialog::ExecutablePath() {
    char path[MAX_PATH + 1] = {};
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::string(path, length) : std::string();
}

void UpdateIndexDialog::ShowNormalInFront() {
    ::ShowWindow(window, SW_SHOWNORMAL);
    SetForegroundWindow(window);
    BringWindowToTop(window);
}

void UpdateIndexDialog::HideWindow() {
    ::ShowWindow(window, SW_HIDE);
}

void UpdateIndexDialog::SetTrayTarget() {
    trayIcon.SetEventTarget(window, kTrayMessage);
}

void UpdateIndexDialog::SetTrayIcon(int iconId) {
    trayIcon.SetIconResource(static_cast<UINT>(iconId));
}

void UpdateIndexDialog::EndDialog(int result) {
    ::EndDialog(window, result);
}

// WorkerMessageBox
void UpdateIndexDialog::Show(const std::string& text, const std::string& caption) {
    MessageBoxA(window, text.c_str(), caption.c_str(), MB_OK);
}

}  // namespace vellumar
