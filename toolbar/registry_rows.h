// What registering and unregistering LumenoteToolbar does to the registry, as data: one row per key,
// with its values and what each of the two operations does to it. The Windows entry points only apply
// these rows (registration.h); the rows themselves are produced and checked on any system.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "toolbar/server_classes.h"

enum class RegistryRoot { ClassesRoot, LocalMachine };

enum class RegisterAction {
    Write,    // create the key when missing, then set its values
    Replace,  // delete the key with all its subkeys first, then create it and set its values
    Open,     // create the key when missing; its values are left as they are
};

enum class UnregisterAction {
    Delete,      // delete the key, which fails (and is ignored) while a subkey of another program is left
    DeleteTree,  // delete the key with all its subkeys
    Keep,        // never delete it
};

struct RegistryValue {
    std::string name;  // empty for the key's default value
    std::string data;  // REG_SZ

    friend bool operator==(const RegistryValue&, const RegistryValue&) = default;
};

struct RegistryRow {
    RegistryRoot root = RegistryRoot::ClassesRoot;
    std::string key;                    // path below the root, parts separated by '\'
    std::vector<RegistryValue> values;  // written in this order; none for an empty or opened key
    RegisterAction onRegister = RegisterAction::Write;
    UnregisterAction onUnregister = UnregisterAction::Delete;

    friend bool operator==(const RegistryRow&, const RegistryRow&) = default;
};

// Parent of the shell's overlay handler list (under HKEY_LOCAL_MACHINE).
constexpr const char* kShellIconOverlayIdentifiersKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ShellIconOverlayIdentifiers";

constexpr const char* kThreadingModel = "Apartment";

// The rows of one class in the order registration writes them: its ProgID keys, its CLSID key with
// the server path `modulePath` and, for the overlay, its entry in the shell's overlay list.
std::vector<RegistryRow> ClassRegistrationRows(const ServerClass& serverClass, const std::string& modulePath);
