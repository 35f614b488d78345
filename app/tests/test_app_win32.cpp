// Vellumar's Windows pieces under real Win32 calls (run under Wine on an X display): the resources as
// compiled, the tray icon, the control site's answers to the browser, and the page host.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <mshtmhst.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "app/win32/activation_hook.h"
#include "app/app_strings.h"
#include "app/win32/custom_control_site.h"
#include "app/win32/html_page_host.h"
#include "app/page_urls.h"
#include "app/resource_ids.h"
#include "app/win32/tray_icon.h"
#include "app/win32/update_index_dialog.h"

namespace vellumar {
namespace {

HINSTANCE Module() {
    return GetModuleHandleA(nullptr);
}

std::string ResourceBytes(const char* name) {
    HRSRC found = FindResourceA(Module(), name, MAKEINTRESOURCEA(23));
    if (found == nullptr) {
        return {};
    }
    HGLOBAL loaded = LoadResource(Module(), found);
    const char* data = static_cast<const char*>(LockResource(loaded));
    return data != nullptr ? std::string(data, SizeofResource(Module(), found)) : std::string();
}

TEST(Resources, StringTableMatchesTheProgramTexts) {
    for (int id = kFirstStringId; id <= kLastStringId; ++id) {
        char buffer[512] = {};
        int length = LoadStringA(Module(), static_cast<UINT>(id), buffer, sizeof(buffer));
        ASSERT_GT(length, 0) << id;
        EXPECT_STREQ(buffer, AppString(id)) << id;
    }
    char buffer[16] = {};
    // No entry 128: the tray icon has no tooltip.
    EXPECT_EQ(LoadStringA(Module(), IDR_MAINFRAME, buffer, sizeof(buffer)), 0);
}

// Reads the extended dialog template: header, then per control its fields, as the resource holds them.
class DialogTemplateReader {
public:
    explicit DialogTemplateReader(const BYTE* data) : p(data) {}
    WORD Word() {
        WORD w;
        std::memcpy(&w, p, 2);
        p += 2;
        return w;
    }
    DWORD Dword() {
        DWORD d;
        std::memcpy(&d, p, 4);
        p += 4;
        return d;
    }
    short Short() { return static_cast<short>(Word()); }
    // A string, or an ordinal (0xFFFF then a number) written as "#number".
    std::string SzOrOrd() {
        WORD first = Word();
        if (first == 0xFFFF) {
            std::string ordinal = "#";
            ordinal += std::to_string(Word());
            return ordinal;
        }
        std::string text;
        for (WORD c = first; c != 0; c = Word()) {
            text += static_cast<char>(c);
        }
        return text;
    }
    void AlignDword(const BYTE* base) {
        while ((p - base) % 4 != 0) {
            ++p;
        }
    }
    const BYTE* Position() const { return p; }
    void Skip(size_t bytes) { p += bytes; }

private:
    const BYTE* p;
};

std::string Upper(std::string text) {
    CharUpperBuffA(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

TEST(Resources, DialogTemplateIsAsDesigned) {
    HRSRC found = FindResourceA(Module(), MAKEINTRESOURCEA(IDD_UPDATE_INDEX), MAKEINTRESOURCEA(5));
    ASSERT_NE(found, nullptr);
    auto* base = static_cast<const BYTE*>(LockResource(LoadResource(Module(), found)));
    ASSERT_NE(base, nullptr);
    DialogTemplateReader r(base);
    EXPECT_EQ(r.Word(), 1);       // version
    EXPECT_EQ(r.Word(), 0xFFFF);  // extended template
    r.Dword();                    // help id
    DWORD exStyle = r.Dword();
    DWORD style = r.Dword();
    WORD count = r.Word();
    short x = r.Short();
    short y = r.Short();
    short cx = r.Short();
    short cy = r.Short();
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    EXPECT_EQ(cx, 330);
    EXPECT_EQ(cy, 206);
    EXPECT_EQ(style & (WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT),
              static_cast<DWORD>(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT));
    EXPECT_EQ(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0u);
    EXPECT_TRUE(exStyle & WS_EX_APPWINDOW);
    EXPECT_EQ(r.SzOrOrd(), "");  // no menu
    EXPECT_EQ(r.SzOrOrd(), "");  // default class
    EXPECT_EQ(r.SzOrOrd(), "Update Search Index...");
    EXPECT_EQ(r.Word(), 8);  // points
    r.Word();                // weight
    r.Word();                // italic, charset
    EXPECT_EQ(r.SzOrOrd(), "MS Sans Serif");

    struct Control {
        int id;
        std::string windowClass;
        std::string text;
        short x, y, cx, cy;
        DWORD requiredStyle;
    };
    const std::vector<Control> expected = {
        {1003, "#128", "Add Folder to Index", 11, 133, 73, 15, BS_DEFPUSHBUTTON},
        {1002, "#128", "Rebuild Index", 89, 133, 73, 15, BS_PUSHBUTTON},
        {1004, "#128", "Work in Background Mode", 217, 132, 106, 15, BS_PUSHBUTTON},
        {0xFFFF, "#128", "Now indexing", 7, 150, 316, 49, BS_GROUPBOX},
        {1001, "#130", "", 10, 160, 310, 24, SS_LEFT},
        {1000, "msctls_progress32", "", 11, 188, 308, 8, PBS_SMOOTH},
    };
    ASSERT_EQ(count, expected.size());
    for (const Control& want : expected) {
        r.AlignDword(base);
        r.Dword();  // help id
        r.Dword();  // extended style
        DWORD controlStyle = r.Dword();
        Control got{};
        got.x = r.Short();
        got.y = r.Short();
        got.cx = r.Short();
        got.cy = r.Short();
        got.id = static_cast<int>(r.Dword() & 0xFFFF);
        got.windowClass = r.SzOrOrd();
        got.text = r.SzOrOrd();
        WORD extra = r.Word();
        r.Skip(extra);
        SCOPED_TRACE(want.text);
        EXPECT_EQ(got.id, want.id);
        // Class names compare without case (the resource compiler may store them upper-case).
        EXPECT_EQ(Upper(got.windowClass), Upper(want.windowClass));
        EXPECT_EQ(got.text, want.text);
        EXPECT_EQ(got.x, want.x);
        EXPECT_EQ(got.y, want.y);
        EXPECT_EQ(got.cx, want.cx);
        EXPECT_EQ(got.cy, want.cy);
        EXPECT_EQ(controlStyle & 0x0F & want.requiredStyle, want.requiredStyle & 0x0F);
    }
}

TEST(Resources, TrayMenuHasShowWindowSeparatorAndExit) {
    HMENU menu = LoadMenuA(Module(), MAKEINTRESOURCEA(IDR_TRAY_MENU));
    ASSERT_NE(menu, nullptr);
    HMENU popup = GetSubMenu(menu, 0);
    ASSERT_NE(popup, nullptr);
    ASSERT_EQ(GetMenuItemCount(popup), 3);
    char text[64] = {};
    GetMenuStringA(popup, 0, text, sizeof(text), MF_BYPOSITION);
    EXPECT_STREQ(text, "Show window");
    EXPECT_EQ(GetMenuItemID(popup, 0), static_cast<UINT>(ID_SHOW_WINDOW));
    EXPECT_TRUE(GetMenuState(popup, 1, MF_BYPOSITION) & MF_SEPARATOR);
    GetMenuStringA(popup, 2, text, sizeof(text), MF_BYPOSITION);
    EXPECT_STREQ(text, "Exit App");
    EXPECT_EQ(GetMenuItemID(popup, 2), static_cast<UINT>(ID_EXIT_APP));
    DestroyMenu(menu);
}

TEST(Resources, ProgramIconLoadsInBothSizes) {
    EXPECT_NE(LoadIconA(Module(), MAKEINTRESOURCEA(IDR_MAINFRAME)), nullptr);
    HANDLE small = LoadImageA(Module(), MAKEINTRESOURCEA(IDR_MAINFRAME), IMAGE_ICON, 16, 16, LR_SHARED);
    EXPECT_NE(small, nullptr);
}

std::string Enclosed(const char* before, const char* text, const char* after) {
    std::string whole(before);
    whole += text;
    whole += after;
    return whole;
}

TEST(Resources, PagesArePresentAndPlain) {
    struct Page {
        const char* name;
        const char* title;
    };
    const Page pages[] = {
        {"UPDATE_INDEX.HTM", "Tips on Updating Your Search Index"},
        {"UPDATE_COMPLETE.HTM", "Your Search Index Update is Complete"},
        {"ADD.HTM", "The Folder has been Added to Your Search Index"},
        {"ADD_COMPLETE.HTM", "The Folder has been Added to Your Search Index"},
    };
    for (const Page& page : pages) {
        SCOPED_TRACE(page.name);
        std::string html = ResourceBytes(page.name);
        ASSERT_FALSE(html.empty());
        EXPECT_NE(html.find(Enclosed("<title>", page.title, "</title>")), std::string::npos);
        EXPECT_NE(html.find(Enclosed("class=\"upleft\">", page.title, "<")), std::string::npos);
        EXPECT_NE(html.find("href=\"style.css\""), std::string::npos);
        size_t marker = html.find("class=\"leftyellow\"");
        ASSERT_NE(marker, std::string::npos);
        EXPECT_EQ(html.find(">&nbsp;&nbsp;&nbsp;&nbsp;</td>", marker), html.find('>', marker));
        EXPECT_NE(html.find("class=\"verylightblue\" colspan=\"2\""), std::string::npos);
        EXPECT_NE(html.find("cellpadding=\"3\" cellspacing=\"3\" border=\"0\""), std::string::npos);
        EXPECT_NE(html.find("scroll=\"no\""), std::string::npos);
        EXPECT_EQ(html.find("<script"), std::string::npos);
        EXPECT_EQ(html.find("<a "), std::string::npos);
    }
    EXPECT_EQ(ResourceBytes("ADD_COMPLETE.HTM"), ResourceBytes("ADD.HTM"));
    std::string css = ResourceBytes("STYLE.CSS");
    for (const char* rule :
         {".leftyellow", ".upleft", ".verylightblue", "#F8B300", "#004C9F", "#E8EFF6", "Arial"}) {
        EXPECT_NE(css.find(rule), std::string::npos) << rule;
    }
}

// A hidden top-level window that records the commands it receives.
class EventWindow {
public:
    EventWindow() {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = &Proc;
        windowClass.hInstance = Module();
        windowClass.lpszClassName = "VellumarTestEvents";
        RegisterClassA(&windowClass);
        hwnd = CreateWindowExA(0, "VellumarTestEvents", "events", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300,
                               nullptr, nullptr, Module(), nullptr);
    }
    ~EventWindow() { DestroyWindow(hwnd); }
    static LRESULT CALLBACK Proc(HWND h, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_COMMAND) {
            commands.push_back(LOWORD(wParam));
        }
        return DefWindowProcA(h, message, wParam, lParam);
    }
    HWND hwnd;
    static inline std::vector<UINT> commands;
};

TEST(TrayIcon, RecordIsTheSecondVersionLayoutWithoutTooltip) {
    CTrayIcon tray(IDR_MAINFRAME, IDR_TRAY_MENU, ID_SHOW_WINDOW);
    // 488 bytes in a 32-bit program: the record up to and including dwInfoFlags.
    EXPECT_EQ(tray.Record().cbSize, offsetof(NOTIFYICONDATAA, dwInfoFlags) + sizeof(DWORD));
    if (sizeof(void*) == 4) {
        EXPECT_EQ(tray.Record().cbSize, 488u);
    }
    EXPECT_EQ(tray.Record().uID, static_cast<UINT>(IDR_MAINFRAME));
    EXPECT_STREQ(tray.Record().szTip, "");
    EXPECT_FALSE(tray.IsShown());
    // Removing an icon that is not shown succeeds and calls nothing.
    EXPECT_TRUE(tray.SetIconResource(0));
}

TEST(TrayIcon, ShowReplaceAndRemove) {
    EventWindow target;
    CTrayIcon tray(IDR_MAINFRAME, IDR_TRAY_MENU, ID_SHOW_WINDOW);
    tray.SetEventTarget(target.hwnd, WM_APP + 1000);
    ASSERT_TRUE(tray.SetIconResource(IDR_MAINFRAME));
    EXPECT_TRUE(tray.IsShown());
    EXPECT_EQ(tray.Record().uFlags, static_cast<UINT>(NIF_ICON | NIF_MESSAGE));  // no tooltip text
    EXPECT_EQ(tray.Record().uCallbackMessage, static_cast<UINT>(WM_APP + 1000));
    EXPECT_TRUE(tray.SetIconResource(IDR_MAINFRAME));  // NIM_MODIFY of the shown icon
    EXPECT_TRUE(tray.IsShown());
    // After a shell restart the icon is added again.
    EXPECT_TRUE(tray.Restore());
    EXPECT_TRUE(tray.IsShown());
    EXPECT_TRUE(tray.SetIconHandle(nullptr));
    EXPECT_FALSE(tray.IsShown());
    EXPECT_TRUE(tray.Restore());  // nothing shown: nothing to restore
    EXPECT_FALSE(tray.IsShown());
}

TEST(TrayIcon, OnlyRightClickAndDoubleClickOfOurIconAreHandled) {
    EventWindow target;
    CTrayIcon tray(IDR_MAINFRAME, IDR_TRAY_MENU, ID_SHOW_WINDOW);
    tray.SetEventTarget(target.hwnd, WM_APP + 1000);
    EventWindow::commands.clear();
    EXPECT_EQ(tray.HandleIconEvent(127, WM_LBUTTONDBLCLK), 0);
    EXPECT_EQ(tray.HandleIconEvent(IDR_MAINFRAME, WM_LBUTTONUP), 0);
    EXPECT_EQ(tray.HandleIconEvent(IDR_MAINFRAME, WM_LBUTTONDOWN), 0);
    EXPECT_EQ(tray.HandleIconEvent(IDR_MAINFRAME, WM_MOUSEMOVE), 0);
    EXPECT_TRUE(EventWindow::commands.empty());
    EXPECT_EQ(tray.HandleIconEvent(IDR_MAINFRAME, WM_LBUTTONDBLCLK), 1);
    EXPECT_EQ(EventWindow::commands, std::vector<UINT>{ID_SHOW_WINDOW});
}

TEST(ControlSite, DocumentHostAnswersAsAPlainWindow) {
    ControlSite* site = CCustomControlSite::Create(nullptr);
    IDocHostUIHandler* handler = nullptr;
    ASSERT_EQ(site->QueryInterface(IID_IDocHostUIHandler, reinterpret_cast<void**>(&handler)), S_OK);
    POINT point{};
    EXPECT_EQ(handler->ShowContextMenu(0, &point, nullptr, nullptr), S_OK);
    DOCHOSTUIINFO info{};
    info.cbSize = sizeof(info);
    EXPECT_EQ(handler->GetHostInfo(&info), S_OK);
    EXPECT_EQ(info.dwFlags, static_cast<DWORD>(DOCHOSTUIFLAG_NO3DBORDER));
    EXPECT_EQ(info.dwDoubleClick, static_cast<DWORD>(DOCHOSTUIDBLCLK_DEFAULT));
    EXPECT_EQ(handler->ShowUI(0, nullptr, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(handler->HideUI(), S_OK);
    EXPECT_EQ(handler->UpdateUI(), S_OK);
    EXPECT_EQ(handler->EnableModeless(TRUE), E_NOTIMPL);
    EXPECT_EQ(handler->OnDocWindowActivate(TRUE), E_NOTIMPL);
    EXPECT_EQ(handler->OnFrameWindowActivate(TRUE), E_NOTIMPL);
    EXPECT_EQ(handler->ResizeBorder(nullptr, nullptr, TRUE), E_NOTIMPL);
    MSG msg{};
    EXPECT_EQ(handler->TranslateAccelerator(&msg, nullptr, 0), S_FALSE);
    LPOLESTR key = nullptr;
    EXPECT_EQ(handler->GetOptionKeyPath(&key, 0), E_NOTIMPL);
    IDropTarget* drop = nullptr;
    EXPECT_EQ(handler->GetDropTarget(nullptr, &drop), E_NOTIMPL);
    LPWSTR url = nullptr;
    EXPECT_EQ(handler->TranslateUrl(0, nullptr, &url), E_NOTIMPL);
    EXPECT_EQ(url, nullptr);
    IDataObject* object = nullptr;
    EXPECT_EQ(handler->FilterDataObject(nullptr, &object), E_NOTIMPL);
    IDispatch* external = reinterpret_cast<IDispatch*>(1);
    handler->GetExternal(&external);
    EXPECT_EQ(external, nullptr);
    // One identity: the handler's IUnknown is the site's.
    IUnknown* fromHandler = nullptr;
    IUnknown* fromSite = nullptr;
    handler->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&fromHandler));
    site->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&fromSite));
    EXPECT_EQ(fromHandler, fromSite);
    fromHandler->Release();
    fromSite->Release();
    handler->Release();
    site->Release();
}

TEST(ControlSite, OrdinarySiteHasNoDocumentHostHandler) {
    EnableControlContainer(nullptr);
    ControlSite* site = CreateControlSite(nullptr);
    void* handler = reinterpret_cast<void*>(1);
    EXPECT_EQ(site->QueryInterface(IID_IDocHostUIHandler, &handler), E_NOINTERFACE);
    EXPECT_EQ(handler, nullptr);
    site->Release();
    EnableControlContainer(&CCustomControlSite::Create);
    site = CreateControlSite(nullptr);
    EXPECT_EQ(site->QueryInterface(IID_IDocHostUIHandler, &handler), S_OK);
    static_cast<IUnknown*>(handler)->Release();
    site->Release();
    EnableControlContainer(nullptr);
}

class ShowCounter : public ActivationTarget {
public:
    int shown = 0;
    void ShowWindow() override { ++shown; }
};

// Counts what reaches the window procedure of the events window.
class MessageCounter {
public:
    static LRESULT CALLBACK Proc(HWND h, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == watched) {
            ++received;
        }
        if (message == WM_TIMER) {
            // Ends the message box's modal loop once the posted message had its chance.
            KillTimer(h, wParam);
            HWND box = FindWindowA("#32770", "activation test");
            if (box != nullptr) {
                EndDialog(box, IDOK);
            }
        }
        return DefWindowProcA(h, message, wParam, lParam);
    }
    static inline UINT watched = 0;
    static inline int received = 0;
};

TEST(ActivationHookTest, TakesTheMessageInOurLoopAndInsideAMessageBox) {
    UINT activation = RegisterWindowMessageA("NTO Vellumar activation test");
    ASSERT_NE(activation, 0u);
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = &MessageCounter::Proc;
    windowClass.hInstance = Module();
    windowClass.lpszClassName = "VellumarTestCounter";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowExA(0, "VellumarTestCounter", "counter", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                                  nullptr, nullptr, Module(), nullptr);
    ASSERT_NE(window, nullptr);
    MessageCounter::watched = activation;
    MessageCounter::received = 0;
    ShowCounter target;
    {
        ActivationHook hook(activation, &target);
        ASSERT_TRUE(hook.Installed());
        // Our own loop.
        PostMessageA(window, activation, 0, 0);
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageA(&msg);
        }
        EXPECT_EQ(target.shown, 1);
        // A modal loop that is not ours: the message box's, ended by a timer.
        PostMessageA(window, activation, 0, 0);
        SetTimer(window, 1, 300, nullptr);
        MessageBoxA(nullptr, "activation test", "activation test", MB_OK);
        EXPECT_EQ(target.shown, 2);
        EXPECT_EQ(MessageCounter::received, 0);
    }
    // Without the hook the message is an ordinary one again.
    PostMessageA(window, activation, 0, 0);
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        DispatchMessageA(&msg);
    }
    EXPECT_EQ(target.shown, 2);
    EXPECT_EQ(MessageCounter::received, 1);
    DestroyWindow(window);
}

class PageHostTest : public ::testing::Test {
protected:
    void SetUp() override {
        CoInitialize(nullptr);
        EnableControlContainer(&CCustomControlSite::Create);
    }
    void TearDown() override { EnableControlContainer(nullptr); }
    EventWindow parent;
};

TEST_F(PageHostTest, BrowserSitsInTheHostWithItsIdentifierAndOurSite) {
    HtmlPageHost host;
    RECT rect{7, 7, 487, 208};
    ASSERT_TRUE(host.Create(parent.hwnd, rect, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS));
    ASSERT_TRUE(host.HasBrowser());
    EXPECT_EQ(GetParent(host.Window()), parent.hwnd);
    EXPECT_EQ(GetParent(host.ControlWindow()), host.Window());
    EXPECT_EQ(GetDlgCtrlID(host.ControlWindow()), kBrowserControlId);
    EXPECT_EQ(GetDlgItem(host.Window(), kBrowserControlId), host.ControlWindow());
    RECT hostRect{};
    GetWindowRect(host.Window(), &hostRect);
    EXPECT_EQ(hostRect.right - hostRect.left, 480);
    EXPECT_EQ(hostRect.bottom - hostRect.top, 201);
    EXPECT_TRUE(host.EventsConnected());
    void* handler = nullptr;
    ASSERT_EQ(host.Site()->QueryInterface(IID_IDocHostUIHandler, &handler), S_OK);
    static_cast<IUnknown*>(handler)->Release();
}

TEST_F(PageHostTest, ResourcePagesAreAddressedThroughTheExecutablePath) {
    HtmlPageHost host;
    ASSERT_TRUE(host.Create(parent.hwnd, RECT{0, 0, 200, 100}, WS_CHILD | WS_VISIBLE));
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    host.NavigateToResource("UPDATE_INDEX.HTM");
    EXPECT_EQ(host.LastRequestedUrl(), ResourceUrl(path, "UPDATE_INDEX.HTM"));
    EXPECT_EQ(host.LastRequestedUrl().rfind("res://", 0), 0u);
    // The browser announces the navigation to our sink with the same URL, and goes on with it.
    EXPECT_EQ(host.LastNavigationEventUrl(), host.LastRequestedUrl());
    host.NavigateToUrl("C:\\vellumar/add.htm");
    EXPECT_EQ(host.LastRequestedUrl(), "C:\\vellumar/add.htm");
}

TEST_F(PageHostTest, HostWithoutBrowserIgnoresNavigation) {
    HtmlPageHost host;
    host.NavigateToResource("UPDATE_INDEX.HTM");
    EXPECT_FALSE(host.HasBrowser());
    EXPECT_FALSE(host.EventsConnected());
    // A parent that is not a window: no host, no browser, and no crash on later requests.
    EXPECT_FALSE(
        host.Create(reinterpret_cast<HWND>(static_cast<INT_PTR>(0x7FFF0)), RECT{0, 0, 10, 10}, WS_CHILD));
    host.NavigateToUrl("about:blank");
    EXPECT_FALSE(host.HasBrowser());
}

// The main dialog with no engine behind it: no job ever runs.
class IdleService : public IndexingService {
public:
    bool IsRebuildRunning() override { return false; }
    void StartRebuild(JobProgressCallback, void*) override {}
    void CancelRebuild() override {}
    bool IsAddFolderRunning() override { return false; }
    void StartAddFolder(const char*, JobProgressCallback, void*) override {}
    void CancelAddFolder() override {}
};

// Asks the running dialog for its drag icon from inside its modal loop, then presses Esc.
struct DragIconQuery {
    static void CALLBACK Run(HWND, UINT, UINT_PTR timer, DWORD) {
        KillTimer(nullptr, timer);
        HWND window = dialog != nullptr ? dialog->Window() : nullptr;
        if (window == nullptr) {
            return;
        }
        answer = SendMessageA(window, WM_QUERYDRAGICON, 0, 0);
        PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
    }
    static inline UpdateIndexDialog* dialog = nullptr;
    static inline LRESULT answer = 0;
};

TEST(MainDialog, DragIconIsTheProgramIcon) {
    CoInitialize(nullptr);
    IdleService service;
    ProgressRelay relay([] {});
    UpdateIndexDialog dialog(service, relay, RegisterWindowMessageA("NTO Vellumar activation test"));
    DragIconQuery::dialog = &dialog;
    DragIconQuery::answer = 0;
    ASSERT_NE(SetTimer(nullptr, 0, 300, &DragIconQuery::Run), 0u);
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    DragIconQuery::dialog = nullptr;
    HICON programIcon = LoadIconA(Module(), MAKEINTRESOURCEA(IDR_MAINFRAME));
    ASSERT_NE(programIcon, nullptr);
    // A dialog procedure answers this query with its return value, not through DWLP_MSGRESULT.
    EXPECT_EQ(reinterpret_cast<HICON>(DragIconQuery::answer), programIcon);
}

}  // namespace
}  // namespace vellumar
