#include "toolbar/registration.h"

RegistryStatus ApplyRegistration(const std::vector<RegistryRow>& rows, RegistryAccess& registry) {
    for (const RegistryRow& row : rows) {
        if (row.onRegister == RegisterAction::Replace) {
            RegistryStatus status = registry.DeleteTree(row.root, row.key);
            if (status != kRegistryOk && status != kRegistryNotFound) {
                return status;
            }
        }
        RegistryStatus status = registry.CreateKey(row.root, row.key);
        if (status != kRegistryOk) {
            return status;
        }
        if (row.onRegister == RegisterAction::Open) {
            continue;
        }
        for (const RegistryValue& value : row.values) {
            status = registry.SetValue(row.root, row.key, value.name, value.data);
            if (status != kRegistryOk) {
                return status;
            }
        }
    }
    return kRegistryOk;
}

void ApplyUnregistration(const std::vector<RegistryRow>& rows, RegistryAccess& registry) {
    // Each row's parent comes before it, so going backwards removes subkeys before their parents.
    for (auto row = rows.rbegin(); row != rows.rend(); ++row) {
        switch (row->onUnregister) {
            case UnregisterAction::Delete:
                registry.DeleteKey(row->root, row->key);
                break;
            case UnregisterAction::DeleteTree:
                registry.DeleteTree(row->root, row->key);
                break;
            case UnregisterAction::Keep:
                break;
        }
    }
}

RegistryStatus RegisterServerClasses(const std::string& modulePath, RegistryAccess& registry) {
    for (const ServerClass& serverClass : ServerClasses()) {
        RegistryStatus status = ApplyRegistration(ClassRegistrationRows(serverClass, modulePath), registry);
        if (status != kRegistryOk) {
            return status;
        }
    }
    return kRegistryOk;
}

void UnregisterServerClasses(RegistryAccess& registry) {
    for (const ServerClass& serverClass : ServerClasses()) {
        // The module path is only ever a value, and values go with their keys.
        ApplyUnregistration(ClassRegistrationRows(serverClass, std::string()), registry);
    }
}
