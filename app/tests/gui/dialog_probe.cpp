// Looks at a running Vellumar from outside, for the checks under Wine: the main dialog's title, size
// and controls, message boxes, and the window that the dialog's template makes. Also holds a named
// mutex for the start-up check. Prints key=value lines; exit status 1 when the window is not there.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr char kDialogTitle[] = "Update Search Index...";
constexpr int kControls[] = {1001, 1002, 1003, 1004};

std::string Text(HWND hwnd) {
    char buffer[1024] = {};
    GetWindowTextA(hwnd, buffer, sizeof(buffer));
    return buffer;
}

void PrintSizes(HWND hwnd) {
    RECT window{};
    RECT client{};
    GetWindowRect(hwnd, &window);
    GetClientRect(hwnd, &client);
    std::printf("window_w=%ld\nwindow_h=%ld\nclient_w=%ld\nclient_h=%ld\n", window.right - window.left,
                window.bottom - window.top, client.right, client.bottom);
}

int ProbeDialog() {
    HWND dialog = FindWindowA(nullptr, kDialogTitle);
    if (dialog == nullptr) {
        std::printf("found=0\n");
        return 1;
    }
    std::printf("found=1\ntitle=%s\nvisible=%d\nforeground=%d\nenabled=%d\n", Text(dialog).c_str(),
                IsWindowVisible(dialog) ? 1 : 0, GetForegroundWindow() == dialog ? 1 : 0,
                IsWindowEnabled(dialog) ? 1 : 0);
    PrintSizes(dialog);
    for (int id : kControls) {
        HWND control = GetDlgItem(dialog, id);
        RECT rect{};
        GetWindowRect(control, &rect);
        POINT center{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
        // Click positions relative to the dialog's window, for xdotool.
        RECT frame{};
        GetWindowRect(dialog, &frame);
        std::printf("c%d_text=%s\nc%d_visible=%d\nc%d_enabled=%d\nc%d_x=%ld\nc%d_y=%ld\n", id,
                    Text(control).c_str(), id, IsWindowVisible(control) ? 1 : 0, id,
                    IsWindowEnabled(control) ? 1 : 0, id, center.x - frame.left, id, center.y - frame.top);
    }
    HWND page = GetWindow(dialog, GW_CHILD);
    int pages = 0;
    for (; page != nullptr; page = GetWindow(page, GW_HWNDNEXT)) {
        if (GetDlgItem(page, 0xE900) != nullptr) {
            ++pages;
        }
    }
    std::printf("browser_controls=%d\n", pages);
    return 0;
}

INT_PTR CALLBACK QuietDialogProc(HWND, UINT, WPARAM, LPARAM) {
    return FALSE;
}

// The size the template itself gives, before the program collapses it.
int ProbeTemplate(const char* executable) {
    INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    HMODULE module = LoadLibraryExA(executable, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (module == nullptr) {
        std::printf("found=0\n");
        return 1;
    }
    HWND dialog = CreateDialogParamA(module, MAKEINTRESOURCEA(102), nullptr, &QuietDialogProc, 0);
    if (dialog == nullptr) {
        std::printf("found=0\n");
        return 1;
    }
    std::printf("found=1\n");
    PrintSizes(dialog);
    DestroyWindow(dialog);
    FreeLibrary(module);
    return 0;
}

struct BoxSearch {
    const char* caption;
    HWND found;
};

BOOL CALLBACK FindBox(HWND hwnd, LPARAM lParam) {
    auto* search = reinterpret_cast<BoxSearch*>(lParam);
    char className[64] = {};
    GetClassNameA(hwnd, className, sizeof(className));
    if (IsWindowVisible(hwnd) && std::strcmp(className, "#32770") == 0 && Text(hwnd) == search->caption) {
        search->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK PrintChild(HWND hwnd, LPARAM) {
    char className[64] = {};
    GetClassNameA(hwnd, className, sizeof(className));
    std::string text = Text(hwnd);
    if (!text.empty()) {
        std::printf("%s=%s\n", _stricmp(className, "Button") == 0 ? "button" : "text", text.c_str());
    }
    return TRUE;
}

// A message box or other dialog-class window with this caption: its texts and buttons.
int ProbeBox(const char* caption) {
    BoxSearch search{caption, nullptr};
    EnumWindows(&FindBox, reinterpret_cast<LPARAM>(&search));
    if (search.found == nullptr) {
        std::printf("found=0\n");
        return 1;
    }
    std::printf("found=1\n");
    EnumChildWindows(search.found, &PrintChild, 0);
    return 0;
}

struct ChildSearch {
    const char* windowClass;
    const char* text;  // nullptr: any text
    HWND found;
};

BOOL CALLBACK FindChildOfClass(HWND hwnd, LPARAM lParam) {
    auto* search = reinterpret_cast<ChildSearch*>(lParam);
    char className[64] = {};
    GetClassNameA(hwnd, className, sizeof(className));
    if (_stricmp(className, search->windowClass) == 0 &&
        (search->text == nullptr || Text(hwnd) == search->text)) {
        search->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

// The top-left corner of a dialog's first child of a window class, relative to the dialog's window
// (where xdotool clicks), for controls that have no identifier of ours.
int ProbeChild(const char* caption, const char* windowClass, const char* text) {
    BoxSearch box{caption, nullptr};
    EnumWindows(&FindBox, reinterpret_cast<LPARAM>(&box));
    ChildSearch child{windowClass, text, nullptr};
    if (box.found != nullptr) {
        EnumChildWindows(box.found, &FindChildOfClass, reinterpret_cast<LPARAM>(&child));
    }
    if (child.found == nullptr) {
        std::printf("found=0\n");
        return 1;
    }
    RECT frame{};
    RECT rect{};
    GetWindowRect(box.found, &frame);
    GetWindowRect(child.found, &rect);
    std::printf("found=1\nx=%ld\ny=%ld\ncx=%ld\ncy=%ld\nenabled=%d\n", rect.left - frame.left,
                rect.top - frame.top, (rect.left + rect.right) / 2 - frame.left,
                (rect.top + rect.bottom) / 2 - frame.top, IsWindowEnabled(child.found) ? 1 : 0);
    return 0;
}

// The open pop-up menu's screen rectangle.
int ProbeMenu() {
    HWND menu = FindWindowA("#32768", nullptr);
    if (menu == nullptr || !IsWindowVisible(menu)) {
        std::printf("found=0\n");
        return 1;
    }
    RECT rect{};
    GetWindowRect(menu, &rect);
    std::printf("found=1\nleft=%ld\ntop=%ld\nright=%ld\nbottom=%ld\n", rect.left, rect.top, rect.right,
                rect.bottom);
    return 0;
}

BOOL CALLBACK PrintTopLevel(HWND hwnd, LPARAM) {
    if (IsWindowVisible(hwnd)) {
        char className[64] = {};
        GetClassNameA(hwnd, className, sizeof(className));
        std::printf("window=%s|%s\n", className, Text(hwnd).c_str());
    }
    return TRUE;
}

int HoldMutex(const char* name, const char* seconds) {
    HANDLE mutex = CreateMutexA(nullptr, FALSE, name);
    if (mutex == nullptr) {
        return 1;
    }
    std::printf("holding=%s\n", name);
    std::fflush(stdout);
    Sleep(static_cast<DWORD>(std::atoi(seconds)) * 1000);
    CloseHandle(mutex);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string command = argc > 1 ? argv[1] : "";
    int status = 2;
    if (command == "dialog") {
        status = ProbeDialog();
    } else if (command == "template" && argc > 2) {
        status = ProbeTemplate(argv[2]);
    } else if (command == "box" && argc > 2) {
        status = ProbeBox(argv[2]);
    } else if (command == "child" && argc > 3) {
        status = ProbeChild(argv[2], argv[3], argc > 4 ? argv[4] : nullptr);
    } else if (command == "menu") {
        status = ProbeMenu();
    } else if (command == "windows") {
        EnumWindows(&PrintTopLevel, 0);
        status = 0;
    } else if (command == "hold" && argc > 3) {
        status = HoldMutex(argv[2], argv[3]);
    } else {
        std::fprintf(
            stderr,
            "usage: dialog_probe dialog | template EXE | box CAPTION | child CAPTION CLASS [TEXT] | menu | "
            "windows | hold NAME SECONDS\n");
    }
    std::fflush(stdout);
    return status;
}
