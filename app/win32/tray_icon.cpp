#include "app/win32/tray_icon.h"

#include <cstddef>
#include <cstring>

#include "foundation/win32/handles.h"

namespace vellumar {

static_assert(sizeof(void*) != 4 || kNotifyIconRecordSize == 488, "the record's second-version layout");

CTrayIcon::CTrayIcon(UINT iconId, UINT menu, UINT command) : menuId(menu), defaultCommand(command) {
    std::memset(&record, 0, sizeof(record));
    record.cbSize = kNotifyIconRecordSize;
    record.uID = iconId;
    // At most 127 characters and the terminator; empty when the table has no such entry.
    if (LoadStringA(GetModuleHandleA(nullptr), iconId, record.szTip, sizeof(record.szTip)) <= 0) {
        record.szTip[0] = '\0';
    }
}

CTrayIcon::~CTrayIcon() {
    SetIconHandle(nullptr);
}

void CTrayIcon::SetEventTarget(HWND window, UINT message) {
    record.hWnd = window;
    record.uCallbackMessage = message;
}

DWORD CTrayIcon::Flags() const {
    DWORD flags = NIF_ICON;
    if (record.szTip[0] != '\0') {
        flags |= NIF_TIP;
    }
    if (record.hWnd != nullptr && record.uCallbackMessage != 0) {
        flags |= NIF_MESSAGE;
    }
    return flags;
}

BOOL CTrayIcon::SetIconResource(UINT iconId) {
    if (iconId == 0) {
        return SetIconHandle(nullptr);
    }
    HINSTANCE instance = GetModuleHandleA(nullptr);
    if (LoadStringA(instance, iconId, record.szTip, sizeof(record.szTip)) <= 0) {
        record.szTip[0] = '\0';
    }
    // Small icon for the notification area; shared, so it is never destroyed.
    auto icon = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(iconId), IMAGE_ICON,
                                              GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON),
                                              LR_SHARED));
    return SetIconHandle(icon);
}

BOOL CTrayIcon::SetIconHandle(HICON icon) {
    BOOL result = FALSE;
    if (icon == nullptr) {
        if (record.hIcon == nullptr) {
            return TRUE;
        }
        record.uFlags = 0;
        result = Shell_NotifyIconA(NIM_DELETE, &record);
        record.hIcon = nullptr;
        return result;
    }
    DWORD message = record.hIcon == nullptr ? NIM_ADD : NIM_MODIFY;
    record.hIcon = icon;
    record.uFlags = Flags();
    result = Shell_NotifyIconA(message, &record);
    if (!result) {
        // Not shown: the next SetIconResource tries NIM_ADD again.
        record.hIcon = nullptr;
    }
    return result;
}

BOOL CTrayIcon::Restore() {
    if (record.hIcon == nullptr) {
        return TRUE;
    }
    record.uFlags = Flags();
    // A shell that kept the icon refuses to add it twice: then it only needs refreshing.
    BOOL result = Shell_NotifyIconA(NIM_ADD, &record) || Shell_NotifyIconA(NIM_MODIFY, &record);
    if (!result) {
        record.hIcon = nullptr;
    }
    return result;
}

LRESULT CTrayIcon::HandleIconEvent(WPARAM wParam, LPARAM lParam) {
    if (wParam != record.uID) {
        return 0;
    }
    auto mouseMessage = static_cast<UINT>(lParam);
    if (mouseMessage != WM_RBUTTONUP && mouseMessage != WM_LBUTTONDBLCLK) {
        return 0;
    }
    MenuHandle menu(LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(menuId)));
    if (menu.Get() == nullptr) {
        return 0;
    }
    HMENU popup = GetSubMenu(menu.Get(), 0);
    if (popup == nullptr) {
        return 0;
    }
    if (mouseMessage == WM_RBUTTONUP) {
        POINT cursor{};
        GetCursorPos(&cursor);
        // Without the foreground the menu would not close when the user clicks elsewhere.
        SetForegroundWindow(record.hWnd);
        TrackPopupMenu(popup, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_LEFTBUTTON, cursor.x, cursor.y, 0,
                       record.hWnd, nullptr);
        PostMessageA(record.hWnd, WM_NULL, 0, 0);
    } else {
        SendMessageA(record.hWnd, WM_COMMAND, MAKEWPARAM(defaultCommand, 0), 0);
    }
    return 1;
}

}  // namespace vellumar
