// Recording stand-ins for the dialog and the engine, shared by the controller's tests.
#pragma once

#include <string>
#include <vector>

#include "app/app_strings.h"
#include "app/indexing_service.h"
#include "app/update_index_view.h"

namespace vellumar::testing {

class RecordingView : public UpdateIndexView {
public:
    std::vector<std::string> calls;
    // Answers the view gives.
    bool mutexFree = true;
    bool answerYes = true;
    bool fixedDrive = true;
    FolderChoice folder;
    std::string executablePath = "C:\\Program Files\\Vellumar\\Vellumar.exe";
    // State the calls leave behind.
    std::string rebuildText = "Rebuild Index";
    std::string addText = "Add Folder to Index";
    bool rebuildEnabled = true;
    bool addEnabled = true;
    bool backgroundShown = true;
    std::string progressText;
    int progressPosition = 0;
    int heightChange = 0;
    int trayIcon = 0;
    bool visible = true;
    std::vector<std::string> roots;

    std::string LoadText(int id) override { return AppString(id) != nullptr ? AppString(id) : ""; }
    void SetButtonText(DialogButton button, const std::string& text) override {
        calls.push_back("text " + Name(button) + " " + text);
        (button == DialogButton::Rebuild ? rebuildText : addText) = text;
    }
    void EnableButton(DialogButton button, bool enable) override {
        calls.push_back("enable " + Name(button) + (enable ? " on" : " off"));
        if (button == DialogButton::Rebuild) {
            rebuildEnabled = enable;
        } else if (button == DialogButton::AddFolder) {
            addEnabled = enable;
        }
    }
    void ShowButton(DialogButton button, bool show) override {
        calls.push_back("show " + Name(button) + (show ? " on" : " off"));
        if (button == DialogButton::Background) {
            backgroundShown = show;
        }
    }
    void SetProgressText(const std::string& text) override {
        calls.push_back("progress " + text);
        progressText = text;
    }
    void SetProgressRange(int low, int high) override {
        calls.push_back("range " + std::to_string(low) + ".." + std::to_string(high));
    }
    void SetProgressPosition(int position) override {
        calls.push_back("position " + std::to_string(position));
        progressPosition = position;
    }
    void ResizeHeight(int pixels) override {
        calls.push_back("resize " + std::to_string(pixels));
        heightChange += pixels;
    }
    void ShowMessage(const std::string& text, const std::string& caption) override {
        calls.push_back("message " + text + " | " + caption);
    }
    bool AskYesNo(const std::string& text, const std::string& caption) override {
        calls.push_back("ask " + text + " | " + caption);
        return answerYes;
    }
    FolderChoice BrowseForFolder(const std::string& title) override {
        calls.push_back("browse " + title);
        return folder;
    }
    bool IsFixedDrive(const std::string& root) override {
        roots.push_back(root);
        return fixedDrive;
    }
    void SetDialogIcon() override { calls.push_back("icon"); }
    bool AcquireBlockingMutex() override {
        calls.push_back("mutex acquire");
        return mutexFree;
    }
    void ReleaseBlockingMutex() override { calls.push_back("mutex release"); }
    void BroadcastActivation() override { calls.push_back("broadcast"); }
    void CreatePageArea() override { calls.push_back("page area"); }
    void NavigateToResource(const std::string& page) override { calls.push_back("page " + page); }
    void NavigateToUrl(const std::string& url) override { calls.push_back("url " + url); }
    std::string ExecutablePath() override { return executablePath; }
    void ShowNormalInFront() override {
        calls.push_back("show window");
        visible = true;
    }
    void HideWindow() override {
        calls.push_back("hide window");
        visible = false;
    }
    void SetTrayTarget() override { calls.push_back("tray target"); }
    void SetTrayIcon(int iconId) override {
        calls.push_back("tray " + std::to_string(iconId));
        trayIcon = iconId;
    }
    void EndDialog(int result) override { calls.push_back("end " + std::to_string(result)); }

    static std::string Name(DialogButton button) { return std::to_string(static_cast<int>(button)); }
};

// An engine whose jobs run exactly as long as the test says. Started jobs keep their callback and
// user data so that the test can report progress as the worker would.
class ScriptedService : public IndexingService {
public:
    bool rebuildRunning = false;
    bool addRunning = false;
    JobProgressCallback callback = nullptr;
    void* userData = nullptr;
    std::string folder;
    std::vector<std::string> calls;

    bool IsRebuildRunning() override { return rebuildRunning; }
    void StartRebuild(JobProgressCallback cb, void* data) override {
        calls.push_back("start rebuild");
        callback = cb;
        userData = data;
        rebuildRunning = true;
    }
    void CancelRebuild() override {
        calls.push_back("cancel rebuild");
        rebuildRunning = false;
    }
    bool IsAddFolderRunning() override { return addRunning; }
    void StartAddFolder(const char* path, JobProgressCallback cb, void* data) override {
        calls.push_back(std::string("start add ") + path);
        folder = path;
        callback = cb;
        userData = data;
        addRunning = true;
    }
    void CancelAddFolder() override {
        calls.push_back("cancel add");
        addRunning = false;
    }
};

}  // namespace vellumar::testing
