// The library's entry points: DllMain and the four exports of an in-process COM server.
#include "toolbar/win32/server_module.h"

#include <windows.h>
#include <olectl.h>
#include <shlobj.h>

#include <atomic>
#include <optional>
#include <utility>

#include "foundation/win32/wide_text.h"
#include "toolbar/win32/class_factory.h"
#include "toolbar/class_object_cache.h"
#include "toolbar/win32/com_guid_win32.h"
#include "toolbar/win32/document_handler.h"
#include "toolbar/win32/jpg_icon_overlay.h"
#include "toolbar/win32/notara_tb_obj.h"
#include "toolbar/registration.h"
#include "toolbar/win32/registry_win32.h"
#include "toolbar/server_classes.h"
#include "toolbar/win32/server_object.h"
#include "toolbar/win32/type_library.h"

namespace {

HINSTANCE moduleInstance = nullptr;
std::atomic<long> moduleLocks{0};

// Creation functions in the order of the class table (server_classes.h).
constexpr CreateObjectFunction kCreateFunctions[kServerClassCount] = {
    CreateNotaraTBObj,
    CreateDocumentHandler,
    CreateJPGIconOverlay,
};

// Each holds the one reference the module keeps until it is unloaded.
ClassObjectCache<ClassFactory, kServerClassCount>& ClassFactories() {
    static ClassObjectCache<ClassFactory, kServerClassCount> factories;
    return factories;
}

}  // namespace

HINSTANCE ModuleInstance() {
    return moduleInstance;
}

void LockModule() {
    moduleLocks.fetch_add(1);
}

void UnlockModule() {
    moduleLocks.fetch_sub(1);
}

bool GetModulePathAnsi(std::string& path) {
    char buffer[kModulePathCapacity];
    DWORD length = GetModuleFileNameA(moduleInstance, buffer, kModulePathCapacity);
    if (length == 0 || length >= kModulePathCapacity) {
        return false;
    }
    // The ANSI form of a name with characters outside the code page holds '?' for them, which no file
    // name may contain.
    for (DWORD i = 0; i < length; ++i) {
        if (buffer[i] == '?') {
            return false;
        }
    }
    path.assign(buffer, length);
    return true;
}

bool GetModulePathWide(std::wstring& path) {
    std::string ansiPath;
    if (!GetModulePathAnsi(ansiPath)) {
        return false;
    }
    std::optional<std::wstring> wide = ToWide(ansiPath, CP_ACP);
    if (!wide || wide->empty()) {
        return false;
    }
    path = std::move(*wide);
    return true;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        moduleInstance = instance;
        DisableThreadLibraryCalls(instance);
    } else if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
        // Unloaded by FreeLibrary (not at process exit, when other threads are gone mid-way).
        GuardEntryPoint([] {
            ClassFactories().Clear([](ClassFactory* factory) { factory->Release(); });
            return S_OK;
        });
    }
    return TRUE;
}

STDAPI DllCanUnloadNow() {
    return moduleLocks.load() == 0 ? S_OK : S_FALSE;
}

STDAPI DllGetClassObject(REFCLSID classId, REFIID interfaceId, LPVOID* result) {
    if (result == nullptr) {
        return E_POINTER;
    }
    *result = nullptr;
    size_t index = FindServerClass(FromGuid(classId));
    if (index >= kServerClassCount) {
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    // The cache's lock may throw; the host must only ever see a result.
    return GuardEntryPoint([&]() -> HRESULT {
        ClassFactory* factory = ClassFactories().Get(
            index, [index]() { return new (std::nothrow) ClassFactory(kCreateFunctions[index]); });
        if (factory == nullptr) {
            return E_OUTOFMEMORY;
        }
        return factory->QueryInterface(interfaceId, result);
    });
}

STDAPI DllRegisterServer() {
    HRESULT hr = S_OK;
    try {
        std::string modulePath;
        std::wstring wideModulePath;
        if (!GetModulePathAnsi(modulePath) || !GetModulePathWide(wideModulePath)) {
            hr = E_FAIL;
        } else {
            Win32Registry registry;
            RegistryStatus status = RegisterServerClasses(modulePath, registry);
            hr = status == kRegistryOk ? RegisterServerTypeLibrary(wideModulePath)
                                       : HRESULT_FROM_WIN32(status);
        }
    } catch (...) {
        hr = E_OUTOFMEMORY;
    }
    // The shell rereads its overlay handlers and associations whatever happened above.
    SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
    return hr;
}

STDAPI DllUnregisterServer() {
    try {
        Win32Registry registry;
        UnregisterServerClasses(registry);
    } catch (...) {
        // Unregistration removes what it can and never fails.
    }
    UnregisterServerTypeLibrary();
    return S_OK;
}
