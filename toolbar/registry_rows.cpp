#include "toolbar/registry_rows.h"

namespace {

RegistryRow Row(std::string key, std::vector<RegistryValue> values, RegisterAction onRegister,
                UnregisterAction onUnregister, RegistryRoot root = RegistryRoot::ClassesRoot) {
    return RegistryRow{root, std::move(key), std::move(values), onRegister, onUnregister};
}

RegistryValue Default(std::string data) {
    return RegistryValue{std::string(), std::move(data)};
}

}  // namespace

std::vector<RegistryRow> ClassRegistrationRows(const ServerClass& serverClass,
                                               const std::string& modulePath) {
    const std::string progId = serverClass.progId;
    const std::string versionedProgId = progId + ".1";
    const std::string clsid = FormatGuid(serverClass.clsid);
    const std::string clsidKey = "CLSID\\" + clsid;
    using enum RegisterAction;
    using enum UnregisterAction;

    std::vector<RegistryRow> rows = {
        Row(versionedProgId, {Default(serverClass.progIdValue)}, Write, Delete),
        Row(versionedProgId + "\\CLSID", {Default(clsid)}, Write, Delete),
        Row(progId, {Default(serverClass.progIdValue)}, Write, Delete),
        Row(progId + "\\CLSID", {Default(clsid)}, Write, Delete),
        Row(progId + "\\CurVer", {Default(versionedProgId)}, Write, Delete),
        Row("CLSID", {}, Open, Keep),
        Row(clsidKey, {Default(serverClass.clsidValue)}, Replace, DeleteTree),
        Row(clsidKey + "\\ProgID", {Default(versionedProgId)}, Write, Delete),
        Row(clsidKey + "\\VersionIndependentProgID", {Default(progId)}, Write, Delete),
        Row(clsidKey + "\\Programmable", {}, Replace, Delete),
        Row(clsidKey + "\\InprocServer32", {Default(modulePath), {"ThreadingModel", kThreadingModel}}, Write,
            Delete),
        Row(clsidKey + "\\TypeLib", {Default(FormatGuid(kLibidNotaraToolbar))}, Write, Delete),
    };
    if (serverClass.overlayIdentifier != nullptr) {
        // Registry functions create the missing parents of a key; unregistration leaves them, since the
        // shell and other programs keep their own entries there.
        rows.push_back(
            Row(std::string(kShellIconOverlayIdentifiersKey) + "\\" + serverClass.overlayIdentifier,
                {Default(clsid)}, Write, Delete, RegistryRoot::LocalMachine));
    }
    return rows;
}
