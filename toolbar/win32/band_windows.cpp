#include "toolbar/win32/band_windows.h"

#include <cstdio>

#include "toolbar/band_logic.h"
#include "toolbar/win32/document_handler.h"
#include "toolbar/win32/server_module.h"

namespace {

const char* const kControlProperty = "LumenoteToolbarControl";

// The platform toolbar's own window procedure, which the superclass calls for all it does not handle.
WNDPROC baseToolbarProc = nullptr;

// The host window's class name, made of the library's instance handle so that two copies of the library
// never share one.
const char* HostClassName() {
    static char name[48] = {};
    if (name[0] == '\0') {
        std::snprintf(name, sizeof name, "LumenoteBandHost:%p", static_cast<void*>(ModuleInstance()));
    }
    return name;
}

bool Registered(ATOM atom) {
    return atom != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

bool RegisterHostClass(WNDPROC windowProc) {
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = ModuleInstance();
    windowClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = HostClassName();
    return Registered(RegisterClassExA(&windowClass));
}

// "NOTARATOOLBAR": the platform toolbar's class record under our name and window procedure.
bool RegisterToolbarClass(WNDPROC windowProc) {
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    if (!GetClassInfoExA(nullptr, TOOLBARCLASSNAMEA, &windowClass)) {
        return false;
    }
    baseToolbarProc = windowClass.lpfnWndProc;
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = ModuleInstance();
    windowClass.lpszClassName = kToolbarClassName;
    return Registered(RegisterClassExA(&windowClass));
}

}  // namespace

void UnregisterBandWindowClasses() {
    // Fails, harmlessly, while another band's windows still use a class.
    UnregisterClassA(kToolbarClassName, ModuleInstance());
    UnregisterClassA(HostClassName(), ModuleInstance());
}

// ToolbarControl

ToolbarControl::ToolbarControl() {
    void* object = nullptr;
    if (SUCCEEDED(CreateDocumentHandler(IID_IUnknown, &object))) {
        handler =
            static_cast<DocumentHandler*>(static_cast<IDocumentHandler*>(static_cast<IUnknown*>(object)));
    }
}

ToolbarControl::~ToolbarControl() {
    if (handler != nullptr) {
        handler->DisconnectBrowserEvents();
        handler->Release();
        handler = nullptr;
    }
    DestroyImageList();
    if (window != nullptr && IsWindow(window)) {
        DestroyWindow(window);
    }
    window = nullptr;
}

bool ToolbarControl::Create(HWND parent, const RECT& rect) {
    if (!RegisterToolbarClass(WindowProc)) {
        return false;
    }
    const DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_TABSTOP | TBSTYLE_TRANSPARENT |
                        TBSTYLE_CUSTOMERASE | TBSTYLE_LIST | TBSTYLE_FLAT | TBSTYLE_WRAPABLE |
                        TBSTYLE_TOOLTIPS | CCS_NODIVIDER | CCS_NOPARENTALIGN | CCS_NORESIZE | CCS_TOP;
    window =
        CreateWindowExA(0, kToolbarClassName, nullptr, style, rect.left, rect.top, rect.right - rect.left,
                        rect.bottom - rect.top, parent, nullptr, ModuleInstance(), this);
    return window != nullptr;
}

void ToolbarControl::DestroyImageList() {
    if (imageList != nullptr) {
        ImageList_Destroy(imageList);
        imageList = nullptr;
    }
}

void ToolbarControl::SetUp() {
    SendMessageA(window, TB_SETEXTENDEDSTYLE, 0, TBSTYLE_EX_MIXEDBUTTONS);
    SendMessageA(window, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    SendMessageA(window, TB_SETMAXTEXTROWS, 1, 0);
    // A list of strings ends with an empty one.
    static const char kLabels[] = "Show\0";
    const LRESULT label = SendMessageA(window, TB_ADDSTRINGA, 0, reinterpret_cast<LPARAM>(kLabels));

    // Windows made for an earlier site are gone with their parent; their image list goes now.
    DestroyImageList();
    HICON icon = LoadIconA(ModuleInstance(), MAKEINTRESOURCEA(kButtonIconResource));
    imageList = ImageList_Create(16, 16, ILC_COLOR16, 1, 0);
    if (imageList != nullptr && icon != nullptr) {
        ImageList_ReplaceIcon(imageList, -1, icon);
    }
    if (icon != nullptr) {
        DestroyIcon(icon);
    }
    SendMessageA(window, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(imageList));

    TBBUTTON button = {};
    button.iBitmap = 0;
    button.idCommand = kButtonCommand;
    button.fsState = TBSTATE_ENABLED;
    button.fsStyle = BTNS_CHECK | BTNS_AUTOSIZE;
    button.dwData = 0;
    button.iString = label;
    SendMessageA(window, TB_INSERTBUTTONA, 0, reinterpret_cast<LPARAM>(&button));
}

LRESULT ToolbarControl::OnCommand(WPARAM wParam) {
    DocumentHandler* current = handler;
    if (current == nullptr) {
        return -1;
    }
    // A pass lets the browser handle its messages: the band, and this control with it, may be gone when
    // the pass returns. The handler stays until then, and nothing of this object is used afterwards.
    current->AddRef();
    const HWND toolbarWindow = window;
    auto isChecked = [toolbarWindow] {
        LRESULT state =
            IsWindow(toolbarWindow) ? SendMessageA(toolbarWindow, TB_GETSTATE, kButtonCommand, 0) : -1;
        return state != -1 && (state & TBSTATE_CHECKED) != 0;
    };
    LRESULT result = -1;
    // A window procedure is an entry point too: an exception here would unwind into the browser.
    GuardEntryPoint([&] {
        result = HandleBandCommand(HIWORD(wParam), LOWORD(wParam), isChecked, current->Captions());
        return S_OK;
    });
    current->Release();
    return result;
}

LRESULT CALLBACK ToolbarControl::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        SetPropA(hwnd, kControlProperty, create->lpCreateParams);
    }
    auto* control = static_cast<ToolbarControl*>(GetPropA(hwnd, kControlProperty));
    LRESULT result = CallWindowProcA(baseToolbarProc, hwnd, message, wParam, lParam);
    if (message == WM_CREATE && result != -1 && control != nullptr) {
        control->window = hwnd;
        control->SetUp();
    } else if (message == WM_NCDESTROY) {
        RemovePropA(hwnd, kControlProperty);
        if (control != nullptr && control->window == hwnd) {
            control->window = nullptr;
        }
    }
    return result;
}

// HostWindow

bool HostWindow::Create(HWND parent) {
    if (!RegisterHostClass(WindowProc)) {
        return false;
    }
    RECT rect = {};
    GetClientRect(parent, &rect);
    window =
        CreateWindowExA(0, HostClassName(), nullptr, WS_CHILD, rect.left, rect.top, rect.right - rect.left,
                        rect.bottom - rect.top, parent, nullptr, ModuleInstance(), this);
    return window != nullptr;
}

void HostWindow::Reparent(HWND parent) {
    RECT rect = {};
    GetClientRect(parent, &rect);
    SetParent(window, parent);
    MoveWindow(window, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, FALSE);
}

void HostWindow::Destroy() {
    if (window != nullptr && IsWindow(window)) {
        DestroyWindow(window);
    }
    window = nullptr;
}

LRESULT CALLBACK HostWindow::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* host = reinterpret_cast<HostWindow*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    switch (message) {
        case WM_CREATE: {
            RECT rect = {};
            GetClientRect(hwnd, &rect);
            if (host == nullptr || !host->toolbar.Create(hwnd, rect)) {
                return -1;
            }
            return 0;
        }
        case WM_COMMAND:
            if (host != nullptr) {
                return host->toolbar.OnCommand(wParam);
            }
            break;
        case WM_NCDESTROY:
            if (host != nullptr && host->window == hwnd) {
                host->window = nullptr;
            }
            break;
        default:
            break;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}
