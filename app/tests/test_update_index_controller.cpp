#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/tests/fake_dialog.h"
#include "app/update_index_controller.h"

namespace vellumar {
namespace {

using testing::RecordingView;
using testing::ScriptedService;

class ControllerTest : public ::testing::Test {
protected:
    RecordingView view;
    ScriptedService service;
    ProgressRelay relay{[] {}};
    UpdateIndexController controller{view, service, relay};

    void Init() {
        ASSERT_TRUE(controller.OnInitDialog());
        view.calls.clear();
    }
    void Report(JobKind job, ReportStep step, int value, const std::string& text) {
        RelayedReport report;
        report.job = job;
        report.step = step;
        report.value = value;
        report.text = text;
        controller.HandleReport(report);
        lastBoxText = report.boxText;
        lastBoxCaption = report.boxCaption;
    }
    void ChooseFolder(const std::string& path) { view.folder = FolderChoice{true, true, path, "display"}; }
    std::string lastBoxText;
    std::string lastBoxCaption;
};

TEST_F(ControllerTest, InitialisationCollapsesTakesMutexAndShowsTipsPage) {
    ASSERT_TRUE(controller.OnInitDialog());
    std::vector<std::string> expected = {
        "icon",        "resize -90", "mutex acquire", "page area", "page UPDATE_INDEX.HTM",
        "tray target", "tray 0",     "show 1004 off"};
    EXPECT_EQ(view.calls, expected);
    EXPECT_FALSE(controller.Expanded());
    EXPECT_TRUE(controller.HoldsBlockingMutex());
    EXPECT_EQ(controller.State(), JobState::Idle);
}

TEST_F(ControllerTest, SecondCopyBroadcastsAndEndsSilently) {
    view.mutexFree = false;
    EXPECT_FALSE(controller.OnInitDialog());
    std::vector<std::string> expected = {"icon", "resize -90", "mutex acquire", "broadcast", "end 0"};
    EXPECT_EQ(view.calls, expected);
    EXPECT_FALSE(controller.HoldsBlockingMutex());
    // Nothing a closing path does may release a mutex this copy never held.
    controller.OnCancel();
    for (const std::string& call : view.calls) {
        EXPECT_NE(call, "mutex release");
    }
}

TEST_F(ControllerTest, RebuildStartTurnsButtonIntoCancelAndGrows) {
    Init();
    controller.OnRebuildButton();
    std::vector<std::string> expected = {"text 1002 Cancel", "enable 1003 off", "show 1004 on",
                                         "range 0..100", "resize 90"};
    EXPECT_EQ(view.calls, expected);
    EXPECT_EQ(service.calls, std::vector<std::string>{"start rebuild"});
    EXPECT_EQ(controller.State(), JobState::Rebuilding);
    EXPECT_TRUE(controller.Expanded());
    EXPECT_EQ(controller.ProgressTick(), 0);
    EXPECT_NE(service.userData, nullptr);
}

TEST_F(ControllerTest, RebuildStopByButtonCollapsesWithoutMessageOrPage) {
    Init();
    controller.OnRebuildButton();
    Report(JobKind::Rebuild, ReportStep::Progress, 7, "C:\\Photos");
    view.calls.clear();
    controller.OnRebuildButton();
    std::vector<std::string> expected = {"text 1002 Rebuild index", "enable 1003 on", "show 1004 off",
                                         "resize -90"};
    EXPECT_EQ(view.calls, expected);
    EXPECT_EQ(service.calls.back(), "cancel rebuild");
    EXPECT_EQ(controller.State(), JobState::Idle);
    // The band keeps its last text and bar position.
    EXPECT_EQ(view.progressText, "7 files were indexed (process folder C:\\Photos)");
    EXPECT_EQ(view.progressPosition, 1);
}

TEST_F(ControllerTest, RebuildProgressTextsFillStringEleven) {
    struct Case {
        int value;
        const char* text;
        const char* shown;
    };
    const Case cases[] = {
        {100, "Deleting old index data...",
         "100 files were indexed (process folder Deleting old index data...)"},
        {1, "C:", "1 files were indexed (process folder C:)"},
        {-5, "", "-5 files were indexed (process folder )"},
        {3, "C:\\100%s\\%d", "3 files were indexed (process folder C:\\100%s\\%d)"},
    };
    Init();
    controller.OnRebuildButton();
    for (const Case& c : cases) {
        Report(JobKind::Rebuild, ReportStep::Progress, c.value, c.text);
        EXPECT_EQ(view.progressText, c.shown);
    }
}

TEST_F(ControllerTest, AddFolderProgressShowsTheReportTextUnchanged) {
    Init();
    ChooseFolder("C:\\Photos");
    controller.OnAddFolderButton();
    Report(JobKind::AddFolder, ReportStep::Progress, 0, "Creating file list for folder C:\\Photos\\");
    EXPECT_EQ(view.progressText, "Creating file list for folder C:\\Photos\\");
}

TEST_F(ControllerTest, ProgressBarWalksModuloOneHundred) {
    Init();
    controller.OnRebuildButton();
    std::vector<int> positions;
    for (int i = 0; i < 101; ++i) {
        Report(JobKind::Rebuild, ReportStep::Progress, i, "C:");
        positions.push_back(view.progressPosition);
    }
    EXPECT_EQ(positions[0], 1);
    EXPECT_EQ(positions[98], 99);
    EXPECT_EQ(positions[99], 0);   // after 100 reports
    EXPECT_EQ(positions[100], 1);  // after 101 reports
    EXPECT_EQ(controller.ProgressTick(), 101);
}

TEST_F(ControllerTest, NextJobStartsTickAtZeroButKeepsOldTextUntilFirstReport) {
    Init();
    controller.OnRebuildButton();
    for (int i = 0; i < 5; ++i) {
        Report(JobKind::Rebuild, ReportStep::Progress, i, "C:");
    }
    controller.OnRebuildButton();
    view.calls.clear();
    controller.OnRebuildButton();
    EXPECT_EQ(controller.ProgressTick(), 0);
    EXPECT_EQ(view.progressPosition, 5);
    for (const std::string& call : view.calls) {
        EXPECT_NE(call.rfind("progress ", 0), 0u) << call;
    }
    Report(JobKind::Rebuild, ReportStep::Progress, 1, "D:");
    EXPECT_EQ(view.progressPosition, 1);
}

TEST_F(ControllerTest, RebuildCompletionRunsItsStepsInOrder) {
    Init();
    controller.OnRebuildButton();
    view.calls.clear();
    Report(JobKind::Rebuild, ReportStep::CompletionBegin, 100, "");
    std::vector<std::string> expected = {"text 1002 Rebuild index",
                                         "progress Your search index has been updated",
                                         "enable 1003 on",
                                         "show 1004 off",
                                         "position 0",
                                         "resize -90"};
    EXPECT_EQ(view.calls, expected);
    EXPECT_EQ(lastBoxText, "Your search index has been updated");
    EXPECT_EQ(lastBoxCaption, "Vellumar");
    EXPECT_EQ(controller.State(), JobState::Idle);
    view.calls.clear();
    Report(JobKind::Rebuild, ReportStep::CompletionEnd, 100, "");
    expected = {"page UPDATE_COMPLETE.HTM", "show window", "tray 0"};
    EXPECT_EQ(view.calls, expected);
}

TEST_F(ControllerTest, AddFolderCompletionNamesTheFolderAndShowsAddPage) {
    Init();
    ChooseFolder("C:\\Photos");
    controller.OnAddFolderButton();
    view.calls.clear();
    Report(JobKind::AddFolder, ReportStep::CompletionBegin, 0, "");
    std::vector<std::string> expected = {"text 1003 Add Folder to Index",
                                         "progress Folder C:\\Photos\\ has been added to the search index",
                                         "enable 1002 on",
                                         "show 1004 off",
                                         "position 0",
                                         "resize -90"};
    EXPECT_EQ(view.calls, expected);
    EXPECT_EQ(lastBoxText, "Folder C:\\Photos\\ has been added to the search index");
    EXPECT_EQ(lastBoxCaption, "Vellumar");
    view.calls.clear();
    Report(JobKind::AddFolder, ReportStep::CompletionEnd, 0, "");
    expected = {"url C:\\Program Files\\Vellumar/add.htm", "show window", "tray 0"};
    EXPECT_EQ(view.calls, expected);
}

TEST_F(ControllerTest, CaptionQuirkHoldsUntilTheFirstRebuildEnds) {
    Init();
    EXPECT_EQ(view.rebuildText, "Rebuild Index");
    ChooseFolder("C:\\Photos");
    controller.OnAddFolderButton();
    Report(JobKind::AddFolder, ReportStep::CompletionBegin, 0, "");
    EXPECT_EQ(view.rebuildText, "Rebuild Index");
    controller.OnRebuildButton();
    Report(JobKind::Rebuild, ReportStep::CompletionBegin, 100, "");
    EXPECT_EQ(view.rebuildText, "Rebuild index");
}

TEST_F(ControllerTest, FolderChoicesDecideWhetherAJobStarts) {
    struct Case {
        const char* name;
        FolderChoice choice;
        bool fixed;
        const char* message;      // nullptr: no message
        const char* startedWith;  // nullptr: no job
        const char* root;         // drive root asked about, nullptr: none
    };
    const Case cases[] = {
        {"cancelled", {false, false, "", ""}, true, nullptr, nullptr, nullptr},
        {"virtual item",
         {true, false, "", "Control Panel"},
         true,
         "message Folder Control Panel is invalid for indexing | Invalid folder",
         nullptr,
         nullptr},
        {"virtual item without a name", {true, false, "", ""}, true, nullptr, nullptr, nullptr},
        {"folder on a fixed disk",
         {true, true, "C:\\Photos", "Photos"},
         true,
         nullptr,
         "start add C:\\Photos\\",
         "C:\\"},
        {"drive root keeps its one backslash",
         {true, true, "D:\\", "D:"},
         true,
         nullptr,
         "start add D:\\",
         "D:\\"},
        {"removable disk",
         {true, true, "E:\\Pics", "Pics"},
         false,
         "message Only local hard drive folders can be indexed | Invalid folder",
         nullptr,
         "E:\\"},
        {"network path",
         {true, true, "\\\\server\\share", "share"},
         false,
         "message Only local hard drive folders can be indexed | Invalid folder",
         nullptr,
         "\\\\s"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingView v;
        ScriptedService s;
        ProgressRelay r([] {});
        UpdateIndexController ctl(v, s, r);
        ASSERT_TRUE(ctl.OnInitDialog());
        v.calls.clear();
        v.heightChange = 0;
        v.folder = c.choice;
        v.fixedDrive = c.fixed;
        ctl.OnAddFolderButton();
        ASSERT_FALSE(v.calls.empty());
        EXPECT_EQ(v.calls[0], "browse Browse for folder to add:");
        bool messaged = v.calls.size() > 1 && v.calls[1].rfind("message ", 0) == 0;
        EXPECT_EQ(messaged, c.message != nullptr);
        if (c.message != nullptr && messaged) {
            EXPECT_EQ(v.calls[1], c.message);
        }
        if (c.startedWith != nullptr) {
            ASSERT_EQ(s.calls.size(), 1u);
            EXPECT_EQ(s.calls[0], c.startedWith);
            EXPECT_EQ(ctl.State(), JobState::Adding);
            EXPECT_EQ(v.addText, "Cancel");
            EXPECT_FALSE(v.rebuildEnabled);
        } else {
            EXPECT_TRUE(s.calls.empty());
            EXPECT_EQ(ctl.State(), JobState::Idle);
            EXPECT_EQ(v.heightChange, 0);
        }
        if (c.root != nullptr) {
            EXPECT_EQ(v.roots, std::vector<std::string>{c.root});
        } else {
            EXPECT_TRUE(v.roots.empty());
        }
    }
}

TEST_F(ControllerTest, AddFolderStopByButtonRestoresCaption) {
    Init();
    ChooseFolder("C:\\Photos");
    controller.OnAddFolderButton();
    view.calls.clear();
    controller.OnAddFolderButton();
    std::vector<std::string> expected = {"text 1003 Add Folder to Index", "enable 1002 on", "show 1004 off",
                                         "resize -90"};
    EXPECT_EQ(view.calls, expected);
    EXPECT_EQ(service.calls.back(), "cancel add");
}

TEST_F(ControllerTest, BackgroundModeHidesAndShowsTrayIconUntilShowWindow) {
    Init();
    controller.OnRebuildButton();
    controller.OnBackgroundButton();
    EXPECT_FALSE(view.visible);
    EXPECT_EQ(view.trayIcon, 128);
    EXPECT_TRUE(service.rebuildRunning);
    controller.ShowWindow();
    EXPECT_TRUE(view.visible);
    EXPECT_EQ(view.trayIcon, 0);
}

TEST_F(ControllerTest, CompletionInBackgroundBringsTheDialogBack) {
    Init();
    controller.OnRebuildButton();
    controller.OnBackgroundButton();
    Report(JobKind::Rebuild, ReportStep::CompletionBegin, 100, "");
    EXPECT_FALSE(view.visible);  // the box comes first, on the worker
    Report(JobKind::Rebuild, ReportStep::CompletionEnd, 100, "");
    EXPECT_TRUE(view.visible);
    EXPECT_EQ(view.trayIcon, 0);
}

TEST_F(ControllerTest, CloseAsksDuringAJobAndNoLeavesItRunning) {
    Init();
    controller.OnRebuildButton();
    view.calls.clear();
    view.answerYes = false;
    controller.OnClose();
    std::vector<std::string> expected = {
        "ask Are you sure that you want to cancel index building? | Index building in progress"};
    EXPECT_EQ(view.calls, expected);
    EXPECT_TRUE(service.rebuildRunning);
    EXPECT_TRUE(controller.HoldsBlockingMutex());
}

TEST_F(ControllerTest, CloseWithYesStopsReleasesOnceAndEnds) {
    Init();
    ChooseFolder("C:\\Photos");
    controller.OnAddFolderButton();
    controller.OnBackgroundButton();
    view.calls.clear();
    controller.OnClose();
    std::vector<std::string> expected = {
        "ask Are you sure that you want to cancel index building? | Index building in progress",
        "mutex release", "tray 0", "end 2"};
    EXPECT_EQ(view.calls, expected);
    EXPECT_EQ(service.calls.back(), "cancel add");
    EXPECT_FALSE(controller.HoldsBlockingMutex());
}

TEST_F(ControllerTest, CloseWhenIdleAsksNothing) {
    Init();
    controller.OnClose();
    std::vector<std::string> expected = {"mutex release", "tray 0", "end 2"};
    EXPECT_EQ(view.calls, expected);
}

TEST_F(ControllerTest, EscStopsWithoutAsking) {
    Init();
    controller.OnRebuildButton();
    view.calls.clear();
    controller.OnCancel();
    std::vector<std::string> expected = {"mutex release", "end 2"};
    EXPECT_EQ(view.calls, expected);
    EXPECT_EQ(service.calls.back(), "cancel rebuild");
}

TEST_F(ControllerTest, ExitAppStopsRemovesTrayAndEndsWithZero) {
    Init();
    controller.OnRebuildButton();
    controller.OnBackgroundButton();
    view.calls.clear();
    controller.OnExit();
    std::vector<std::string> expected = {"mutex release", "tray 0", "end 0"};
    EXPECT_EQ(view.calls, expected);
    EXPECT_FALSE(service.rebuildRunning);
}

TEST_F(ControllerTest, JobEndingWithoutLastReportReturnsToIdle) {
    Init();
    controller.OnRebuildButton();
    controller.OnJobWatch();
    EXPECT_EQ(controller.State(), JobState::Rebuilding);  // still running: nothing changes
    service.rebuildRunning = false;                       // ended silently
    view.calls.clear();
    controller.OnJobWatch();
    std::vector<std::string> expected = {"text 1002 Rebuild index", "enable 1003 on", "show 1004 off",
                                         "resize -90"};
    EXPECT_EQ(view.calls, expected);
    EXPECT_EQ(controller.State(), JobState::Idle);

    ChooseFolder("C:\\Photos");
    controller.OnAddFolderButton();
    service.addRunning = false;
    controller.OnJobWatch();
    EXPECT_EQ(controller.State(), JobState::Idle);
    EXPECT_EQ(view.addText, "Add Folder to Index");
    EXPECT_TRUE(view.rebuildEnabled);
    EXPECT_FALSE(controller.Expanded());
}

TEST_F(ControllerTest, GrowAndShrinkNeverDoubleUp) {
    Init();
    controller.OnRebuildButton();
    Report(JobKind::Rebuild, ReportStep::CompletionBegin, 100, "");
    controller.OnJobWatch();  // the job still counts as running while the box is up
    service.rebuildRunning = false;
    controller.OnJobWatch();            // already Idle: no second shrink
    EXPECT_EQ(view.heightChange, -90);  // net: collapsed once at start, grown, shrunk
    EXPECT_FALSE(controller.Expanded());
}

}  // namespace
}  // namespace vellumar
