#include "toolbar/win32/type_library.h"

#include "toolbar/win32/com_guid_win32.h"
#include "toolbar/win32/dual_dispatch.h"
#include "toolbar/win32/server_module.h"
#include "toolbar/win32/server_object.h"

HRESULT LoadServerTypeLibrary(const std::wstring& modulePath, ComPtr<ITypeLib>& typeLib) {
    return LoadTypeLibEx(modulePath.c_str(), REGKIND_NONE, typeLib.Put());
}

HRESULT RegisterServerTypeLibrary(const std::wstring& modulePath) {
    ComPtr<ITypeLib> typeLib;
    HRESULT hr = LoadServerTypeLibrary(modulePath, typeLib);
    if (SUCCEEDED(hr)) {
        std::wstring path = modulePath;  // RegisterTypeLib takes a writable string
        hr = RegisterTypeLib(typeLib.Get(), path.data(), nullptr);
    }
    return hr;
}

HRESULT UnregisterServerTypeLibrary() {
    using UnregisterFunction = HRESULT(WINAPI*)(REFGUID, WORD, WORD, LCID, SYSKIND);
    HMODULE oleaut = GetModuleHandleA("oleaut32.dll");
    if (oleaut == nullptr) {
        return HRESULT_FROM_WIN32(GetLastError());
    }
    FARPROC address = GetProcAddress(oleaut, "UnRegisterTypeLib");
    if (address == nullptr) {
        return HRESULT_FROM_WIN32(GetLastError());
    }
    // Through the generic function pointer type, which converts to any other without a warning.
    auto unregister = reinterpret_cast<UnregisterFunction>(reinterpret_cast<void (*)()>(address));
    GUID libraryId = ToGuid(kLibidNotaraToolbar);
    return unregister(libraryId, kTypeLibMajorVersion, kTypeLibMinorVersion, kTypeLibLocale,
                      kServerTypeLibrarySysKind);
}

HRESULT LoadServerTypeInfo(REFGUID interfaceId, ComPtr<ITypeInfo>& typeInfo) {
    // Reached from IDispatch methods of every class: the path's strings must not throw into the caller.
    return GuardEntryPoint([&]() -> HRESULT {
        std::wstring modulePath;
        if (!GetModulePathWide(modulePath)) {
            return E_FAIL;
        }
        ComPtr<ITypeLib> typeLib;
        HRESULT hr = LoadServerTypeLibrary(modulePath, typeLib);
        if (SUCCEEDED(hr)) {
            hr = typeLib->GetTypeInfoOfGuid(interfaceId, typeInfo.Put());
        }
        return hr;
    });
}
