// RegistryAccess over the real registry (HKEY_CLASSES_ROOT and HKEY_LOCAL_MACHINE).
#pragma once

#include "toolbar/registry_access.h"

class Win32Registry : public RegistryAccess {
public:
    RegistryStatus CreateKey(RegistryRoot root, const std::string& key) override;
    RegistryStatus SetValue(RegistryRoot root, const std::string& key, const std::string& name,
                            const std::string& data) override;
    RegistryStatus DeleteKey(RegistryRoot root, const std::string& key) override;
    RegistryStatus DeleteTree(RegistryRoot root, const std::string& key) override;
};
