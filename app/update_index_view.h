// The main dialog as its controller sees it: the window, its controls, the page area, the tray icon
// and the few platform questions the dialog asks. The Windows dialog implements it; tests record it.
#pragma once

#include <string>

namespace vellumar {

// Controls of the dialog, by their resource identifiers.
enum class DialogButton { Rebuild = 1002, AddFolder = 1003, Background = 1004 };

// What the folder browser returned.
struct FolderChoice {
    bool chosen = false;      // false: the user cancelled
    bool hasPath = false;     // false: the item has no file-system path
    std::string path;         // file-system path when hasPath
    std::string displayName;  // the item's display name
};

class UpdateIndexView {
public:
    virtual ~UpdateIndexView() = default;

    // Texts of the string table (entries 1 to 15).
    virtual std::string LoadText(int stringId) = 0;

    virtual void SetButtonText(DialogButton button, const std::string& text) = 0;
    virtual void EnableButton(DialogButton button, bool enable) = 0;
    virtual void ShowButton(DialogButton button, bool show) = 0;
    virtual void SetProgressText(const std::string& text) = 0;
    virtual void SetProgressRange(int low, int high) = 0;
    virtual void SetProgressPosition(int position) = 0;
    // Reads the window rectangle and changes the window's height by `pixels`, keeping left, top and
    // width, repainting.
    virtual void ResizeHeight(int pixels) = 0;

    // Modal message box owned by the dialog, OK button, on the user-interface thread.
    virtual void ShowMessage(const std::string& text, const std::string& caption) = 0;
    // Yes/No question owned by the dialog; true for Yes.
    virtual bool AskYesNo(const std::string& text, const std::string& caption) = 0;
    virtual FolderChoice BrowseForFolder(const std::string& title) = 0;
    // Whether `root` (drive letter, colon, backslash) names a local hard disk.
    virtual bool IsFixedDrive(const std::string& root) = 0;

    virtual void SetDialogIcon() = 0;
    // Takes the single-instance mutex; false when another copy already holds one.
    virtual bool AcquireBlockingMutex() = 0;
    virtual void ReleaseBlockingMutex() = 0;
    // Posts the activation message to the other applications' top-level windows.
    virtual void BroadcastActivation() = 0;
    virtual void CreatePageArea() = 0;
    virtual void NavigateToResource(const std::string& pageName) = 0;
    virtual void NavigateToUrl(const std::string& url) = 0;
    virtual std::string ExecutablePath() = 0;

    // Shows the dialog normal (restoring it), in the foreground, at the top of the window order.
    virtual void ShowNormalInFront() = 0;
    virtual void HideWindow() = 0;
    virtual void SetTrayTarget() = 0;
    // Icon resource 0 removes the tray icon; any other shows that icon.
    virtual void SetTrayIcon(int iconId) = 0;

    virtual void EndDialog(int result) = 0;
};

}  // namespace vellumar
