#include "toolbar/win32/jpg_icon_overlay.h"

#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "foundation/win32/wide_text.h"
#include "toolbar/copy_terminated.h"
#include "taglib/overlay_rule.h"

namespace {

// The shell's path in the ANSI code page the tag library opens files with. False when a character has
// no equivalent there: the converted path would name another file, or none.
bool ToAnsiPath(LPCWSTR path, std::string& ansiPath) {
    bool usedDefault = false;
    std::optional<std::string> converted = ToNarrow(path, CP_ACP, &usedDefault);
    if (!converted || usedDefault) {
        return false;
    }
    ansiPath = std::move(*converted);
    return true;
}

}  // namespace

HRESULT CreateJPGIconOverlay(REFIID interfaceId, void** result) {
    return CreateServerObject<JPGIconOverlay>(interfaceId, result);
}

// IUnknown

STDMETHODIMP JPGIconOverlay::QueryInterface(REFIID interfaceId, void** result) {
    if (result == nullptr) {
        return E_POINTER;
    }
    if (IsEqualIID(interfaceId, IID_IUnknown) || IsEqualIID(interfaceId, IID_IDispatch) ||
        IsEqualIID(interfaceId, __uuidof(IJPGIconOverlay))) {
        *result = static_cast<IJPGIconOverlay*>(this);
    } else if (IsEqualIID(interfaceId, IID_IShellIconOverlayIdentifier)) {
        *result = static_cast<IShellIconOverlayIdentifier*>(this);
    } else {
        *result = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

// IShellIconOverlayIdentifier

STDMETHODIMP JPGIconOverlay::IsMemberOf(LPCWSTR path, DWORD) {
    // Runs on the shell's thread for every file it shows: every problem is a plain "no".
    HRESULT hr = S_FALSE;
    try {
        std::string ansiPath;
        if (path != nullptr && HasOverlayExtension(std::wstring_view(path)) && ToAnsiPath(path, ansiPath) &&
            IsOverlayMember(ansiPath)) {
            hr = S_OK;
        }
    } catch (...) {
        hr = S_FALSE;
    }
    return hr;
}

STDMETHODIMP JPGIconOverlay::GetOverlayInfo(LPWSTR iconFile, int capacity, int* index, DWORD* flags) {
    if (iconFile == nullptr || index == nullptr || flags == nullptr || capacity <= 0) {
        return E_INVALIDARG;
    }
    *index = 0;
    *flags = 0;
    HRESULT hr = S_OK;
    try {
        std::wstring modulePath;
        if (!GetModulePathWide(modulePath)) {
            iconFile[0] = L'\0';
            hr = E_FAIL;
        } else if (!CopyTerminated(std::wstring_view(modulePath), iconFile, static_cast<size_t>(capacity))) {
            // A cut path would make the shell load its icon from another file.
            hr = E_NOT_SUFFICIENT_BUFFER;
        } else {
            // Without ISIOI_ICONINDEX the shell takes the first icon of the file, icon group 201.
            *index = 1;
            *flags = ISIOI_ICONFILE;
        }
    } catch (...) {
        iconFile[0] = L'\0';
        hr = E_OUTOFMEMORY;
    }
    return hr;
}

STDMETHODIMP JPGIconOverlay::GetPriority(int* priority) {
    if (priority == nullptr) {
        return E_INVALIDARG;
    }
    *priority = 0;  // the highest
    return S_OK;
}
