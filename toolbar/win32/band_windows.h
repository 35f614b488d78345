// The band's windows: the hidden host window that receives the toolbar's commands, and the toolbar
// control (class "NOTARATOOLBAR", a superclass of the platform's toolbar) with its one "Show" button.
#pragma once

#include <windows.h>
#include <commctrl.h>

class DocumentHandler;

// The toolbar control owns the band's DocumentHandler from its construction on.
class ToolbarControl {
public:
    ToolbarControl();
    ~ToolbarControl();  // the handler disconnected and released, the image list and the window destroyed
    ToolbarControl(const ToolbarControl&) = delete;
    ToolbarControl& operator=(const ToolbarControl&) = delete;

    // Creates the toolbar window as a child of `parent`; false when it cannot be made.
    bool Create(HWND parent, const RECT& rect);
    HWND Window() const { return window; }
    DocumentHandler* Handler() const { return handler; }

    // WM_COMMAND from the toolbar: 0 for the "Show" button, -1 for anything else.
    LRESULT OnCommand(WPARAM wParam);

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    void SetUp();
    void DestroyImageList();

    HWND window = nullptr;
    HIMAGELIST imageList = nullptr;
    DocumentHandler* handler = nullptr;
};

// Hidden child of the browser's window: makes the toolbar control when it is created and hands it the
// toolbar's commands.
class HostWindow {
public:
    explicit HostWindow(ToolbarControl& toolbarControl) : toolbar(toolbarControl) {}
    ~HostWindow() { Destroy(); }
    HostWindow(const HostWindow&) = delete;
    HostWindow& operator=(const HostWindow&) = delete;

    bool Create(HWND parent);
    // Moves the windows under another parent window (a second site).
    void Reparent(HWND parent);
    void Destroy();
    HWND Window() const { return window; }
    bool Exists() const { return window != nullptr && IsWindow(window); }

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    ToolbarControl& toolbar;
    HWND window = nullptr;
};

// Window classes registered by the library; removed when the last band is gone so that no class points
// into an unloaded library.
void UnregisterBandWindowClasses();
