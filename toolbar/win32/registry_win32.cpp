#include "toolbar/win32/registry_win32.h"

#include <windows.h>

#include "foundation/win32/handles.h"

namespace {

HKEY RootKey(RegistryRoot root) {
    return root == RegistryRoot::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CLASSES_ROOT;
}

}  // namespace

RegistryStatus Win32Registry::CreateKey(RegistryRoot root, const std::string& key) {
    RegistryKey opened;
    return RegCreateKeyExA(RootKey(root), key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                           KEY_READ | KEY_WRITE, nullptr, opened.Put(), nullptr);
}

RegistryStatus Win32Registry::SetValue(RegistryRoot root, const std::string& key, const std::string& name,
                                       const std::string& data) {
    RegistryKey opened;
    LONG status = RegOpenKeyExA(RootKey(root), key.c_str(), 0, KEY_SET_VALUE, opened.Put());
    if (status != ERROR_SUCCESS) {
        return status;
    }
    // REG_SZ sizes count the terminating zero.
    return RegSetValueExA(opened.Get(), name.empty() ? nullptr : name.c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(data.c_str()), static_cast<DWORD>(data.size() + 1));
}

RegistryStatus Win32Registry::DeleteKey(RegistryRoot root, const std::string& key) {
    if (key.empty()) {
        return ERROR_INVALID_PARAMETER;  // an empty name would mean the root itself
    }
    return RegDeleteKeyA(RootKey(root), key.c_str());
}

RegistryStatus Win32Registry::DeleteTree(RegistryRoot root, const std::string& key) {
    if (key.empty()) {
        return ERROR_INVALID_PARAMETER;  // an empty name would empty the whole root
    }
    return RegDeleteTreeA(RootKey(root), key.c_str());
}
