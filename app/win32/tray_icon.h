// CTrayIcon: the program's icon in the notification area, shown in background mode.
#pragma once

#include <windows.h>

#include <cstddef>
#include <shellapi.h>

namespace vellumar {

// The record of the notify-icon calls in its second-version layout, which every shell since 2000
// accepts: 488 bytes in a 32-bit program, up to and including `dwInfoFlags`.
constexpr UINT kNotifyIconRecordSize = offsetof(NOTIFYICONDATAA, dwInfoFlags) + sizeof(DWORD);

class CTrayIcon {
public:
    // Loads the tooltip from string table entry `iconId` (the program has none there, so the icon has
    // no tooltip) and keeps the menu and the command a double click stands for.
    CTrayIcon(UINT iconId, UINT menuId, UINT defaultCommand);
    virtual ~CTrayIcon();
    CTrayIcon(const CTrayIcon&) = delete;
    CTrayIcon& operator=(const CTrayIcon&) = delete;

    // The window and message that receive the icon's mouse events.
    void SetEventTarget(HWND window, UINT message);
    // 0 removes the icon; any other identifier loads that icon and string and shows them.
    BOOL SetIconResource(UINT iconId);
    // nullptr removes the icon (or reports success when none is shown); otherwise adds or replaces it.
    BOOL SetIconHandle(HICON icon);
    // Shows the icon again after the shell has restarted ("TaskbarCreated"); the old shell took it away.
    BOOL Restore();
    bool IsShown() const { return record.hIcon != nullptr; }
    const NOTIFYICONDATAA& Record() const { return record; }

    // wParam: icon identifier; lParam: mouse message. 1 if handled, else 0.
    virtual LRESULT HandleIconEvent(WPARAM wParam, LPARAM lParam);

private:
    DWORD Flags() const;

    NOTIFYICONDATAA record;
    UINT menuId;
    UINT defaultCommand;
};

}  // namespace vellumar
