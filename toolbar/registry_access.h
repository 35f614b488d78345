// The registry operations that registration needs, so that the rows can be applied to the real
// registry on Windows and to an in-memory one in tests.
#pragma once

#include <string>

#include "toolbar/registry_rows.h"

// 0 for success, otherwise a Win32 error code (ERROR_FILE_NOT_FOUND and so on).
using RegistryStatus = long;
constexpr RegistryStatus kRegistryOk = 0;
constexpr RegistryStatus kRegistryNotFound = 2;  // ERROR_FILE_NOT_FOUND

class RegistryAccess {
public:
    virtual ~RegistryAccess() = default;

    // Opens the key, creating it and any missing parent keys.
    virtual RegistryStatus CreateKey(RegistryRoot root, const std::string& key) = 0;
    // Sets a REG_SZ value of an existing key; an empty name is the key's default value.
    virtual RegistryStatus SetValue(RegistryRoot root, const std::string& key, const std::string& name,
                                    const std::string& data) = 0;
    // Deletes a key that has no subkeys; kRegistryNotFound when it does not exist.
    virtual RegistryStatus DeleteKey(RegistryRoot root, const std::string& key) = 0;
    // Deletes a key with all its subkeys; kRegistryNotFound when it does not exist.
    virtual RegistryStatus DeleteTree(RegistryRoot root, const std::string& key) = 0;
};
