// The client side of the registration check (registration_check.sh): after `regsvr32` it reads every
// row back from the registry and makes each class through CoCreateInstance; after `regsvr32 /u` it
// checks that only our rows are gone. The installer check asks the same after an install and an
// uninstall, where nothing was planted. The rows are read in the client's own registry view: a 32-bit
// client sees those of the 32-bit library, a 64-bit client those of the 64-bit one.
//   registration_client.exe registered|unregistered|installed|uninstalled MODULE_PATH
// `hold MODULE_PATH` only loads the library and waits to be ended, for the installer's check of a
// library in use.
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "foundation/win32/com_ptr.h"
#include "foundation/win32/handles.h"
#include "toolbar/win32/com_guid_win32.h"
#include "toolbar/tests/com_test_support_win32.h"
#include "notara_toolbar.h"
#include "toolbar/registry_rows.h"
#include "toolbar/server_classes.h"

namespace {

using testsupport::ComApartment;

std::string modulePath;  // as given to regsvr32

// The planted keys of registration_check.sh.
constexpr const char* kPlantedSibling = "VellumarCheckSibling";
constexpr const char* kPlantedSubkey = "Leftover";

HKEY Root(RegistryRoot root) {
    return root == RegistryRoot::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CLASSES_ROOT;
}

class Key {
public:
    Key(HKEY root, const std::string& path) {
        if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, handle.Put()) != ERROR_SUCCESS) {
            handle.Release();  // whatever the failed call left there is no key
        }
    }

    bool Exists() const { return handle.Valid(); }

    // Every value as name -> data (REG_SZ only; other types show as "<type N>").
    std::vector<RegistryValue> Values() const {
        std::vector<RegistryValue> values;
        for (DWORD i = 0;; ++i) {
            char name[256];
            DWORD nameLength = sizeof name;
            BYTE data[2048];
            DWORD dataLength = sizeof data;
            DWORD type = 0;
            if (RegEnumValueA(handle.Get(), i, name, &nameLength, nullptr, &type, data, &dataLength) !=
                ERROR_SUCCESS) {
                break;
            }
            std::string text = type == REG_SZ ? std::string(reinterpret_cast<char*>(data))
                                              : "<type " + std::to_string(type) + ">";
            values.push_back({std::string(name, nameLength), text});
        }
        return values;
    }

    std::set<std::string> Subkeys() const {
        std::set<std::string> names;
        for (DWORD i = 0;; ++i) {
            char name[256];
            DWORD length = sizeof name;
            if (RegEnumKeyExA(handle.Get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
                ERROR_SUCCESS) {
                break;
            }
            names.insert(std::string(name, length));
        }
        return names;
    }

private:
    RegistryKey handle;
};

bool SameTextIgnoringCase(const std::string& a, const std::string& b) {
    return lstrcmpiA(a.c_str(), b.c_str()) == 0;
}

std::string Parent(const std::string& key) {
    return key.substr(0, key.rfind('\\'));
}

std::string LastPart(const std::string& key) {
    return key.substr(key.rfind('\\') + 1);
}

TEST(Registered, EveryRowOfEveryClassIsThereOnce) {
    for (const ServerClass& serverClass : ServerClasses()) {
        std::vector<RegistryRow> rows = ClassRegistrationRows(serverClass, modulePath);
        for (const RegistryRow& row : rows) {
            SCOPED_TRACE(row.key);
            Key key(Root(row.root), row.key);
            ASSERT_TRUE(key.Exists());
            if (row.onRegister == RegisterAction::Open) {
                continue;  // HKCR\CLSID: whatever is there stays
            }
            std::vector<RegistryValue> values = key.Values();
            ASSERT_EQ(values.size(), row.values.size());
            for (const RegistryValue& expected : row.values) {
                bool found = false;
                for (const RegistryValue& value : values) {
                    if (SameTextIgnoringCase(value.name, expected.name)) {
                        found = true;
                        // The module path may differ in case only (the loader normalises it).
                        if (expected.data == modulePath) {
                            EXPECT_TRUE(SameTextIgnoringCase(value.data, expected.data)) << value.data;
                        } else {
                            EXPECT_EQ(value.data, expected.data);
                        }
                    }
                }
                EXPECT_TRUE(found) << "value [" << expected.name << "]";
            }
            // Subkeys other than those of the table exist only where another program may keep its own.
            if (row.onRegister == RegisterAction::Replace) {
                std::set<std::string> listed;
                for (const RegistryRow& other : rows) {
                    if (other.key.size() > row.key.size() && Parent(other.key) == row.key) {
                        listed.insert(LastPart(other.key));
                    }
                }
                EXPECT_EQ(key.Subkeys(), listed);
            }
        }
    }
}

TEST(Registered, ThreadingModelAndOverlayKey) {
    for (const ServerClass& serverClass : ServerClasses()) {
        Key server(HKEY_CLASSES_ROOT, "CLSID\\" + FormatGuid(serverClass.clsid) + "\\InprocServer32");
        ASSERT_TRUE(server.Exists()) << serverClass.name;
        std::vector<RegistryValue> values = server.Values();
        bool apartment = false;
        for (const RegistryValue& value : values) {
            apartment = apartment || (value.name == "ThreadingModel" && value.data == "Apartment");
        }
        EXPECT_TRUE(apartment) << serverClass.name;
    }
    Key overlay(HKEY_LOCAL_MACHINE, std::string(kShellIconOverlayIdentifiersKey) + "\\AnnotatedJpgOverlay");
    ASSERT_TRUE(overlay.Exists());
    ASSERT_EQ(overlay.Values().size(), 1u);
    EXPECT_EQ(overlay.Values()[0].data, "{7C1722C1-D2BE-425A-A6D9-A1FC99DD7987}");
}

TEST(RegisteredOverPlantedKeys, SiblingOverlayStays) {
    Key sibling(HKEY_LOCAL_MACHINE, std::string(kShellIconOverlayIdentifiersKey) + "\\" + kPlantedSibling);
    EXPECT_TRUE(sibling.Exists());
}

TEST(Registered, PlantedSubkeysOfTheClassKeysAreGone) {
    for (const ServerClass& serverClass : ServerClasses()) {
        Key planted(HKEY_CLASSES_ROOT, "CLSID\\" + FormatGuid(serverClass.clsid) + "\\" + kPlantedSubkey);
        EXPECT_FALSE(planted.Exists()) << serverClass.name;
    }
}

TEST(Registered, TypeLibraryIsRegisteredFromTheModule) {
    std::string version = "TypeLib\\" + FormatGuid(kLibidNotaraToolbar) + "\\1.0\\";
    Key english(HKEY_CLASSES_ROOT, version + "409\\" + testsupport::kPlatformSysKindKey);
    Key neutral(HKEY_CLASSES_ROOT, version + "0\\" + testsupport::kPlatformSysKindKey);
    const Key& path = english.Exists() ? english : neutral;
    ASSERT_TRUE(path.Exists());
    ASSERT_FALSE(path.Values().empty());
    EXPECT_TRUE(SameTextIgnoringCase(path.Values()[0].data, modulePath)) << path.Values()[0].data;

    ComPtr<ITypeLib> typeLib;
    EXPECT_EQ(LoadRegTypeLib(ToGuid(kLibidNotaraToolbar), 1, 0, 0x0409, typeLib.Put()), S_OK);
    for (const ServerClass& serverClass : ServerClasses()) {
        Key interfaceKey(HKEY_CLASSES_ROOT, "Interface\\" + FormatGuid(serverClass.defaultInterface));
        EXPECT_TRUE(interfaceKey.Exists()) << serverClass.name;
    }
}

TEST(Registered, ProgIdsLeadToTheClasses) {
    ComApartment apartment;
    for (const ServerClass& serverClass : ServerClasses()) {
        for (std::string progId : {std::string(serverClass.progId), std::string(serverClass.progId) + ".1"}) {
            CLSID classId = {};
            EXPECT_EQ(CLSIDFromProgID(testsupport::Widen(progId).c_str(), &classId), S_OK) << progId;
            EXPECT_TRUE(IsEqualGUID(classId, ToGuid(serverClass.clsid))) << progId;
        }
    }
}

TEST(Registered, CoCreateInstanceMakesEachClassWithItsTypeInfo) {
    ComApartment apartment;
    ASSERT_TRUE(SUCCEEDED(apartment.result));
    for (const ServerClass& serverClass : ServerClasses()) {
        SCOPED_TRACE(serverClass.name);
        ComPtr<IDispatch> object;
        ASSERT_EQ(CoCreateInstance(ToGuid(serverClass.clsid), nullptr, CLSCTX_INPROC_SERVER,
                                   ToGuid(serverClass.defaultInterface), object.PutVoid()),
                  S_OK);
        ComPtr<ITypeInfo> typeInfo;
        ASSERT_EQ(object->GetTypeInfo(0, 0x0409, typeInfo.Put()), S_OK);
        TYPEATTR* attributes = nullptr;
        ASSERT_EQ(typeInfo->GetTypeAttr(&attributes), S_OK);
        EXPECT_TRUE(IsEqualGUID(attributes->guid, ToGuid(serverClass.defaultInterface)));
        EXPECT_NE(attributes->wTypeFlags & TYPEFLAG_FDUAL, 0);
        typeInfo->ReleaseTypeAttr(attributes);
        wchar_t name[] = L"Show";
        LPOLESTR names[] = {name};
        DISPID id = 0;
        EXPECT_EQ(object->GetIDsOfNames(IID_NULL, names, 1, 0x0409, &id), DISP_E_UNKNOWNNAME);
    }
}

TEST(Registered, OverlayThroughCom) {
    ComApartment apartment;
    ComPtr<IShellIconOverlayIdentifier> overlay;
    ASSERT_EQ(CoCreateInstance(ToGuid(kClsidJPGIconOverlay), nullptr, CLSCTX_INPROC_SERVER,
                               IID_IShellIconOverlayIdentifier, overlay.PutVoid()),
              S_OK);
    for (const testsupport::OverlayCase& c : testsupport::kOverlayCases) {
        EXPECT_EQ(overlay->IsMemberOf(testsupport::SamplePhoto(c.photo).c_str(), 0), c.expected) << c.photo;
    }
    TempFolder folder;
    std::wstring upper = folder.File(L"photo.JPG");
    ASSERT_TRUE(testsupport::CopyPhoto(testsupport::SamplePhoto("packet_regions.jpg"), upper));
    EXPECT_EQ(overlay->IsMemberOf(upper.c_str(), 0), S_FALSE);

    wchar_t icon[1024];
    int index = -1;
    DWORD flags = 0;
    ASSERT_EQ(overlay->GetOverlayInfo(icon, 1024, &index, &flags), S_OK);
    EXPECT_TRUE(SameTextIgnoringCase(testsupport::Narrow(icon), modulePath)) << testsupport::Narrow(icon);
    EXPECT_EQ(index, 1);
    EXPECT_EQ(flags, static_cast<DWORD>(ISIOI_ICONFILE));
    int priority = -1;
    EXPECT_EQ(overlay->GetPriority(&priority), S_OK);
    EXPECT_EQ(priority, 0);
}

TEST(Registered, CanUnloadNowFollowsTheLastRelease) {
    ComApartment apartment;
    ComPtr<IUnknown> object;
    ASSERT_EQ(CoCreateInstance(ToGuid(kClsidNotaraTBObj), nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               object.PutVoid()),
              S_OK);
    // By its path: an installed 64-bit library has a name of its own.
    HMODULE server = GetModuleHandleA(modulePath.c_str());
    ASSERT_NE(server, nullptr);
    using CanUnloadNowFunction = HRESULT(WINAPI*)();
    auto canUnloadNow = reinterpret_cast<CanUnloadNowFunction>(
        reinterpret_cast<void (*)()>(GetProcAddress(server, "DllCanUnloadNow")));
    ASSERT_NE(canUnloadNow, nullptr);
    EXPECT_EQ(canUnloadNow(), S_FALSE);
    ComPtr<IUnknown> handler;
    ASSERT_EQ(CoCreateInstance(ToGuid(kClsidDocumentHandler), nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               handler.PutVoid()),
              S_OK);
    object.Reset();
    EXPECT_EQ(canUnloadNow(), S_FALSE);
    handler.Reset();
    EXPECT_EQ(canUnloadNow(), S_OK);
}

TEST(Unregistered, OurRowsAreGoneAndCommonKeysStay) {
    for (const ServerClass& serverClass : ServerClasses()) {
        for (const RegistryRow& row : ClassRegistrationRows(serverClass, modulePath)) {
            Key key(Root(row.root), row.key);
            EXPECT_EQ(key.Exists(), row.onUnregister == UnregisterAction::Keep) << row.key;
        }
    }
    EXPECT_TRUE(Key(HKEY_CLASSES_ROOT, "CLSID").Exists());
    EXPECT_TRUE(Key(HKEY_LOCAL_MACHINE, kShellIconOverlayIdentifiersKey).Exists());
    EXPECT_FALSE(Key(HKEY_CLASSES_ROOT, "TypeLib\\" + FormatGuid(kLibidNotaraToolbar)).Exists());
}

TEST(UnregisteredOverPlantedKeys, SiblingOverlayStays) {
    EXPECT_TRUE(Key(HKEY_LOCAL_MACHINE, std::string(kShellIconOverlayIdentifiersKey) + "\\" + kPlantedSibling)
                    .Exists());
}

TEST(Unregistered, ClassesCannotBeMadeAnyMore) {
    ComApartment apartment;
    for (const ServerClass& serverClass : ServerClasses()) {
        ComPtr<IUnknown> object;
        EXPECT_EQ(CoCreateInstance(ToGuid(serverClass.clsid), nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                   object.PutVoid()),
                  REGDB_E_CLASSNOTREG)
            << serverClass.name;
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "hold") {
        // Keeps the library loaded until the process is ended, as a running shell or browser does.
        if (LoadLibraryA(argv[2]) == nullptr) {
            std::fprintf(stderr, "cannot load %s\n", argv[2]);
            return 1;
        }
        std::printf("holding %s\n", argv[2]);
        std::fflush(stdout);
        Sleep(INFINITE);
        return 0;
    }
    ::testing::InitGoogleTest(&argc, argv);
    const std::string mode = argc == 3 ? argv[1] : "";
    const char* filter = mode == "registered"     ? "Registered.*:RegisteredOverPlantedKeys.*"
                         : mode == "unregistered" ? "Unregistered.*:UnregisteredOverPlantedKeys.*"
                         : mode == "installed"    ? "Registered.*"
                         : mode == "uninstalled"  ? "Unregistered.*"
                                                  : nullptr;
    if (filter == nullptr) {
        std::fprintf(
            stderr,
            "usage: registration_client registered|unregistered|installed|uninstalled|hold MODULE_PATH\n");
        return 2;
    }
    modulePath = argv[2];
    ::testing::GTEST_FLAG(filter) = filter;
    return RUN_ALL_TESTS();
}
