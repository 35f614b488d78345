// LumenoteToolbar.dll under Wine, loaded with LoadLibrary from the build folder and driven through its
// exports: class factories, objects, module locks, type information, resources and the overlay.
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "foundation/win32/com_ptr.h"
#include "foundation/win32/wide_text.h"
#include "toolbar/win32/com_guid_win32.h"
#include "toolbar/tests/com_test_support_win32.h"
#include "notara_toolbar.h"
#include "toolbar/server_classes.h"
#include "vellumar_version.h"

namespace {

using testsupport::ComApartment;

using GetClassObjectFunction = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
using CanUnloadNowFunction = HRESULT(WINAPI*)();

template <typename Function>
Function Export(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// The library beside this test program, loaded once for all tests.
class ServerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        wchar_t self[MAX_PATH];
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        std::wstring folder(self);
        folder.resize(folder.find_last_of(L"\\/") + 1);
        libraryPath = folder + L"LumenoteToolbar.dll";
        module = LoadLibraryW(libraryPath.c_str());
        if (module != nullptr) {
            getClassObject = Export<GetClassObjectFunction>(module, "DllGetClassObject");
            canUnloadNow = Export<CanUnloadNowFunction>(module, "DllCanUnloadNow");
        }
    }

    void SetUp() override {
        ASSERT_NE(module, nullptr) << "LumenoteToolbar.dll not loaded";
        ASSERT_NE(getClassObject, nullptr);
        ASSERT_NE(canUnloadNow, nullptr);
        ASSERT_TRUE(SUCCEEDED(apartment.result));
    }

    ComPtr<IClassFactory> Factory(const ComGuid& clsid) {
        ComPtr<IClassFactory> factory;
        GUID classId = ToGuid(clsid);
        EXPECT_EQ(getClassObject(classId, IID_IClassFactory, factory.PutVoid()), S_OK);
        return factory;
    }

    template <typename Interface>
    ComPtr<Interface> Create(const ComGuid& clsid, REFIID interfaceId) {
        ComPtr<Interface> object;
        ComPtr<IClassFactory> factory = Factory(clsid);
        if (factory) {
            EXPECT_EQ(factory->CreateInstance(nullptr, interfaceId, object.PutVoid()), S_OK);
        }
        return object;
    }

    ComPtr<IShellIconOverlayIdentifier> Overlay() {
        return Create<IShellIconOverlayIdentifier>(kClsidJPGIconOverlay, IID_IShellIconOverlayIdentifier);
    }

    static std::wstring libraryPath;
    static HMODULE module;
    static GetClassObjectFunction getClassObject;
    static CanUnloadNowFunction canUnloadNow;
    ComApartment apartment;
};

std::wstring ServerTest::libraryPath;
HMODULE ServerTest::module = nullptr;
GetClassObjectFunction ServerTest::getClassObject = nullptr;
CanUnloadNowFunction ServerTest::canUnloadNow = nullptr;

TEST_F(ServerTest, ExportsByNameAtOrdinalsOneToFour) {
    const char* names[] = {"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer",
                           "DllUnregisterServer"};
    for (WORD ordinal = 1; ordinal <= 4; ++ordinal) {
        FARPROC byName = GetProcAddress(module, names[ordinal - 1]);
        FARPROC byOrdinal = GetProcAddress(module, MAKEINTRESOURCEA(ordinal));
        EXPECT_NE(byName, nullptr) << names[ordinal - 1];
        EXPECT_EQ(byName, byOrdinal) << names[ordinal - 1];
    }
    EXPECT_EQ(GetProcAddress(module, MAKEINTRESOURCEA(5)), nullptr);
}

TEST_F(ServerTest, FactoriesAreMadeOnceAndKeptPerClass) {
    std::vector<IClassFactory*> seen;
    for (const ServerClass& serverClass : ServerClasses()) {
        ComPtr<IClassFactory> first = Factory(serverClass.clsid);
        ComPtr<IClassFactory> second = Factory(serverClass.clsid);
        ASSERT_TRUE(first) << serverClass.name;
        EXPECT_EQ(first.Get(), second.Get()) << serverClass.name;
        ComPtr<IUnknown> unknown;
        GUID classId = ToGuid(serverClass.clsid);
        EXPECT_EQ(getClassObject(classId, IID_IUnknown, unknown.PutVoid()), S_OK);
        EXPECT_EQ(static_cast<IUnknown*>(first.Get()), unknown.Get());
        for (IClassFactory* other : seen) {
            EXPECT_NE(other, first.Get());
        }
        seen.push_back(first.Get());
    }
}

TEST_F(ServerTest, OtherClassIdsAreNotAvailable) {
    const ComGuid others[] = {kIidIJPGIconOverlay, kLibidNotaraToolbar, ComGuid{}};
    for (const ComGuid& other : others) {
        void* result = reinterpret_cast<void*>(1);
        GUID classId = ToGuid(other);
        EXPECT_EQ(getClassObject(classId, IID_IClassFactory, &result), CLASS_E_CLASSNOTAVAILABLE);
        EXPECT_EQ(result, nullptr);
    }
    GUID classId = ToGuid(kClsidJPGIconOverlay);
    EXPECT_EQ(getClassObject(classId, IID_IClassFactory, nullptr), E_POINTER);
    void* result = reinterpret_cast<void*>(1);
    EXPECT_EQ(getClassObject(classId, IID_IDispatch, &result), E_NOINTERFACE);
    EXPECT_EQ(result, nullptr);
}

TEST_F(ServerTest, EachClassAnswersItsInterfacesOnly) {
    struct Expectation {
        ComGuid clsid;
        REFIID defaultInterface;
        bool overlay;
    };
    const Expectation classes[] = {
        {kClsidNotaraTBObj, __uuidof(INotaraTBObj), false},
        {kClsidDocumentHandler, __uuidof(IDocumentHandler), false},
        {kClsidJPGIconOverlay, __uuidof(IJPGIconOverlay), true},
    };
    for (const Expectation& e : classes) {
        SCOPED_TRACE(FormatGuid(e.clsid));
        ComPtr<IUnknown> object = Create<IUnknown>(e.clsid, IID_IUnknown);
        ASSERT_TRUE(object);
        ComPtr<IDispatch> byDefault;
        ComPtr<IDispatch> dispatch;
        EXPECT_EQ(object->QueryInterface(e.defaultInterface, byDefault.PutVoid()), S_OK);
        EXPECT_EQ(object->QueryInterface(IID_IDispatch, dispatch.PutVoid()), S_OK);
        EXPECT_EQ(byDefault.Get(), dispatch.Get());
        ComPtr<IUnknown> identity;
        ASSERT_EQ(dispatch->QueryInterface(IID_IUnknown, identity.PutVoid()), S_OK);
        EXPECT_EQ(identity.Get(), object.Get());

        ComPtr<IUnknown> overlay;
        EXPECT_EQ(object->QueryInterface(IID_IShellIconOverlayIdentifier, overlay.PutVoid()),
                  e.overlay ? S_OK : E_NOINTERFACE);
        EXPECT_EQ(static_cast<bool>(overlay), e.overlay);
        if (overlay) {
            ComPtr<IUnknown> back;
            ASSERT_EQ(overlay->QueryInterface(IID_IUnknown, back.PutVoid()), S_OK);
            EXPECT_EQ(back.Get(), object.Get());
        }
        void* none = reinterpret_cast<void*>(1);
        EXPECT_EQ(object->QueryInterface(IID_IClassFactory, &none), E_NOINTERFACE);
        EXPECT_EQ(none, nullptr);
    }
}

TEST_F(ServerTest, FactoryRefusesAggregationAndMissingOutPointer) {
    ComPtr<IClassFactory> factory = Factory(kClsidJPGIconOverlay);
    ASSERT_TRUE(factory);
    ComPtr<IUnknown> outer = Create<IUnknown>(kClsidNotaraTBObj, IID_IUnknown);
    void* result = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->CreateInstance(outer.Get(), IID_IUnknown, &result), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(result, nullptr);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, nullptr), E_POINTER);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, &result), E_NOINTERFACE);
    EXPECT_EQ(result, nullptr);
}

TEST_F(ServerTest, CanUnloadOnlyWithoutObjectsOrServerLocks) {
    // Cached factories hold no lock.
    ComPtr<IClassFactory> factory = Factory(kClsidDocumentHandler);
    ASSERT_TRUE(factory);
    EXPECT_EQ(canUnloadNow(), S_OK);
    {
        ComPtr<IDispatch> first = Create<IDispatch>(kClsidNotaraTBObj, IID_IDispatch);
        ComPtr<IDispatch> second = Create<IDispatch>(kClsidJPGIconOverlay, IID_IDispatch);
        EXPECT_EQ(canUnloadNow(), S_FALSE);
        first.Reset();
        EXPECT_EQ(canUnloadNow(), S_FALSE);
        ComPtr<IDispatch> extra = second;  // one more reference to the same object
        second.Reset();
        EXPECT_EQ(canUnloadNow(), S_FALSE);
    }
    EXPECT_EQ(canUnloadNow(), S_OK);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(canUnloadNow(), S_FALSE);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(canUnloadNow(), S_FALSE);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(canUnloadNow(), S_OK);
}

TEST_F(ServerTest, ObjectsMadeOnManyThreadsGiveTheirLocksBack) {
    std::atomic<int> members{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&]() {
            ComApartment threadApartment;
            GUID classId = ToGuid(kClsidJPGIconOverlay);
            ComPtr<IClassFactory> factory;
            if (getClassObject(classId, IID_IClassFactory, factory.PutVoid()) != S_OK) {
                return;
            }
            std::wstring tagged = testsupport::SamplePhoto("packet_regions.jpg");
            for (int i = 0; i < 25; ++i) {
                ComPtr<IShellIconOverlayIdentifier> overlay;
                if (factory->CreateInstance(nullptr, IID_IShellIconOverlayIdentifier, overlay.PutVoid()) ==
                        S_OK &&
                    overlay->IsMemberOf(tagged.c_str(), 0) == S_OK) {
                    members.fetch_add(1);
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(members.load(), 100);
    EXPECT_EQ(canUnloadNow(), S_OK);
}

TEST_F(ServerTest, DualInterfacesAnswerFromTheEmbeddedTypeLibrary) {
    struct Expectation {
        ComGuid clsid;
        ComGuid interfaceId;
        const wchar_t* name;
        const wchar_t* help;
    };
    const Expectation classes[] = {
        {kClsidNotaraTBObj, kIidINotaraTBObj, L"INotaraTBObj", L"INotaraTBObj Interface"},
        {kClsidDocumentHandler, kIidIDocumentHandler, L"IDocumentHandler", L"IDocumentHandler Interface"},
        {kClsidJPGIconOverlay, kIidIJPGIconOverlay, L"IJPGIconOverlay", L"IJPGIconOverlay Interface"},
    };
    for (const Expectation& e : classes) {
        SCOPED_TRACE(testsupport::Narrow(e.name));
        ComPtr<IDispatch> dispatch = Create<IDispatch>(e.clsid, IID_IDispatch);
        ASSERT_TRUE(dispatch);
        UINT count = 0;
        EXPECT_EQ(dispatch->GetTypeInfoCount(&count), S_OK);
        EXPECT_EQ(count, 1u);

        ComPtr<ITypeInfo> typeInfo;
        ASSERT_EQ(dispatch->GetTypeInfo(0, 0x0409, typeInfo.Put()), S_OK);
        TYPEATTR* attributes = nullptr;
        ASSERT_EQ(typeInfo->GetTypeAttr(&attributes), S_OK);
        EXPECT_TRUE(IsEqualGUID(attributes->guid, ToGuid(e.interfaceId)));
        EXPECT_EQ(attributes->typekind, TKIND_DISPATCH);
        EXPECT_NE(attributes->wTypeFlags & TYPEFLAG_FDUAL, 0);
        // IUnknown's three and IDispatch's four: nothing of its own.
        EXPECT_EQ(attributes->cFuncs, 7);
        EXPECT_EQ(attributes->cVars, 0);
        typeInfo->ReleaseTypeAttr(attributes);

        BSTR name = nullptr;
        BSTR help = nullptr;
        ASSERT_EQ(typeInfo->GetDocumentation(MEMBERID_NIL, &name, &help, nullptr, nullptr), S_OK);
        EXPECT_STREQ(name, e.name);
        EXPECT_STREQ(help, e.help);
        SysFreeString(name);
        SysFreeString(help);

        ComPtr<ITypeInfo> none;
        EXPECT_EQ(dispatch->GetTypeInfo(1, 0x0409, none.Put()), DISP_E_BADINDEX);
        EXPECT_FALSE(none);

        wchar_t unknownName[] = L"Annotate";
        LPOLESTR names[] = {unknownName};
        DISPID id = 0;
        EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, names, 1, 0x0409, &id), DISP_E_UNKNOWNNAME);
        // The document handler's Invoke is its event sink: it answers every event; the other two
        // classes have no members to invoke.
        DISPPARAMS noArguments = {nullptr, nullptr, 0, 0};
        bool eventSink = e.clsid == kClsidDocumentHandler;
        EXPECT_EQ(
            dispatch->Invoke(1, IID_NULL, 0x0409, DISPATCH_METHOD, &noArguments, nullptr, nullptr, nullptr),
            eventSink ? S_OK : DISP_E_MEMBERNOTFOUND);
        if (eventSink) {
            EXPECT_EQ(
                dispatch->Invoke(1, IID_NULL, 0x0409, DISPATCH_METHOD, nullptr, nullptr, nullptr, nullptr),
                E_INVALIDARG);
        }
    }
}

TEST_F(ServerTest, TypeLibraryIsEmbeddedAsTypelibOne) {
    ComPtr<ITypeLib> typeLib;
    ASSERT_EQ(LoadTypeLibEx(libraryPath.c_str(), REGKIND_NONE, typeLib.Put()), S_OK);
    TLIBATTR* attributes = nullptr;
    ASSERT_EQ(typeLib->GetLibAttr(&attributes), S_OK);
    EXPECT_TRUE(IsEqualGUID(attributes->guid, ToGuid(kLibidNotaraToolbar)));
    EXPECT_EQ(attributes->wMajorVerNum, 1);
    EXPECT_EQ(attributes->wMinorVerNum, 0);
    EXPECT_EQ(attributes->lcid, 0x0409u);
    EXPECT_EQ(attributes->syskind, testsupport::kPlatformSysKind);
    typeLib->ReleaseTLibAttr(attributes);

    BSTR name = nullptr;
    BSTR help = nullptr;
    ASSERT_EQ(typeLib->GetDocumentation(-1, &name, &help, nullptr, nullptr), S_OK);
    EXPECT_STREQ(name, L"NOTARATOOLBARLib");
    EXPECT_STREQ(help, L"NotaraToolbar 1.0 Type Library");
    SysFreeString(name);
    SysFreeString(help);

    struct Coclass {
        ComGuid clsid;
        ComGuid defaultInterface;
        const wchar_t* name;
        const wchar_t* help;
    };
    const Coclass coclasses[] = {
        {kClsidNotaraTBObj, kIidINotaraTBObj, L"NotaraTBObj", L"NotaraTBObj Class"},
        {kClsidDocumentHandler, kIidIDocumentHandler, L"DocumentHandler", L"DocumentHandler Class"},
        {kClsidJPGIconOverlay, kIidIJPGIconOverlay, L"JPGIconOverlay", L"JPGIconOverlay Class"},
    };
    for (const Coclass& c : coclasses) {
        SCOPED_TRACE(testsupport::Narrow(c.name));
        ComPtr<ITypeInfo> typeInfo;
        ASSERT_EQ(typeLib->GetTypeInfoOfGuid(ToGuid(c.clsid), typeInfo.Put()), S_OK);
        TYPEATTR* typeAttributes = nullptr;
        ASSERT_EQ(typeInfo->GetTypeAttr(&typeAttributes), S_OK);
        EXPECT_EQ(typeAttributes->typekind, TKIND_COCLASS);
        EXPECT_NE(typeAttributes->wTypeFlags & TYPEFLAG_FCANCREATE, 0);
        EXPECT_EQ(typeAttributes->cImplTypes, 1);
        typeInfo->ReleaseTypeAttr(typeAttributes);

        INT flags = 0;
        EXPECT_EQ(typeInfo->GetImplTypeFlags(0, &flags), S_OK);
        EXPECT_NE(flags & IMPLTYPEFLAG_FDEFAULT, 0);
        HREFTYPE reference = 0;
        ASSERT_EQ(typeInfo->GetRefTypeOfImplType(0, &reference), S_OK);
        ComPtr<ITypeInfo> implemented;
        ASSERT_EQ(typeInfo->GetRefTypeInfo(reference, implemented.Put()), S_OK);
        TYPEATTR* implementedAttributes = nullptr;
        ASSERT_EQ(implemented->GetTypeAttr(&implementedAttributes), S_OK);
        EXPECT_TRUE(IsEqualGUID(implementedAttributes->guid, ToGuid(c.defaultInterface)));
        implemented->ReleaseTypeAttr(implementedAttributes);

        BSTR className = nullptr;
        BSTR classHelp = nullptr;
        ASSERT_EQ(typeInfo->GetDocumentation(MEMBERID_NIL, &className, &classHelp, nullptr, nullptr), S_OK);
        EXPECT_STREQ(className, c.name);
        EXPECT_STREQ(classHelp, c.help);
        SysFreeString(className);
        SysFreeString(classHelp);
    }
}

BOOL CALLBACK CollectResourceName(HMODULE, LPCSTR, LPSTR name, LONG_PTR names) {
    reinterpret_cast<std::vector<ULONG_PTR>*>(names)->push_back(reinterpret_cast<ULONG_PTR>(name));
    return TRUE;
}

TEST_F(ServerTest, ProjectNameAndIconResources) {
    char text[64] = {};
    EXPECT_EQ(LoadStringA(module, 100, text, sizeof text), 15);
    EXPECT_STREQ(text, "LumenoteToolbar");

    // Icon group 201 is the first (and only) icon group: the shell's "first icon of the file".
    std::vector<ULONG_PTR> groups;
    EnumResourceNamesA(module, MAKEINTRESOURCEA(14) /* RT_GROUP_ICON */, CollectResourceName,
                       reinterpret_cast<LONG_PTR>(&groups));
    ASSERT_EQ(groups.size(), 1u);
    EXPECT_EQ(groups[0], 201u);

    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(201), MAKEINTRESOURCEA(14));
    ASSERT_NE(found, nullptr);
    const BYTE* group = static_cast<const BYTE*>(LockResource(LoadResource(module, found)));
    ASSERT_NE(group, nullptr);
    ASSERT_GE(SizeofResource(module, found), 6u + 14u);
    EXPECT_EQ(group[4] | (group[5] << 8), 1);  // one image
    const BYTE* entry = group + 6;
    EXPECT_EQ(entry[0], 32);                   // width
    EXPECT_EQ(entry[1], 32);                   // height
    EXPECT_EQ(entry[2], 16);                   // colours
    EXPECT_EQ(entry[6] | (entry[7] << 8), 4);  // bits per pixel

    HICON icon = static_cast<HICON>(LoadImageA(module, MAKEINTRESOURCEA(201), IMAGE_ICON, 32, 32, 0));
    EXPECT_NE(icon, nullptr);
    if (icon != nullptr) {
        DestroyIcon(icon);
    }
}

std::string VersionString(const std::vector<BYTE>& block, const char* name) {
    char* value = nullptr;
    UINT length = 0;
    std::string query = std::string("\\StringFileInfo\\040904B0\\") + name;
    if (!VerQueryValueA(block.data(), query.c_str(), reinterpret_cast<void**>(&value), &length)) {
        return "<missing>";
    }
    return length == 0 ? std::string() : std::string(value);
}

TEST_F(ServerTest, VersionBlock) {
    std::string path = testsupport::Narrow(libraryPath);
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> block(size);
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, block.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    const DWORD versionHigh = (VELLUMAR_VERSION_MAJOR << 16) | VELLUMAR_VERSION_MINOR;
    const DWORD versionLow = (VELLUMAR_VERSION_PATCH << 16) | VELLUMAR_VERSION_TWEAK;
    EXPECT_EQ(fixed->dwFileVersionMS, versionHigh);
    EXPECT_EQ(fixed->dwFileVersionLS, versionLow);
    EXPECT_EQ(fixed->dwProductVersionMS, versionHigh);
    EXPECT_EQ(fixed->dwProductVersionLS, versionLow);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));

    WORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&translation), &length));
    ASSERT_GE(length, 4u);
    EXPECT_EQ(translation[0], 0x0409);
    EXPECT_EQ(translation[1], 1200);

    EXPECT_EQ(VersionString(block, "FileDescription"), "LumenoteToolbar Module");
    EXPECT_EQ(VersionString(block, "ProductName"), "LumenoteToolbar Module");
    EXPECT_EQ(VersionString(block, "InternalName"), "LumenoteToolbar");
    EXPECT_EQ(VersionString(block, "OriginalFilename"), "LumenoteToolbar.DLL");
    EXPECT_EQ(VersionString(block, "FileVersion"), VELLUMAR_VERSION_TEXT);
    EXPECT_EQ(VersionString(block, "ProductVersion"), VELLUMAR_VERSION_TEXT);
    EXPECT_EQ(VersionString(block, "OLESelfRegister"), "");
}

TEST_F(ServerTest, OverlayAnswersForTheSamplePhotos) {
    ComPtr<IShellIconOverlayIdentifier> overlay = Overlay();
    ASSERT_TRUE(overlay);
    for (const testsupport::OverlayCase& c : testsupport::kOverlayCases) {
        EXPECT_EQ(overlay->IsMemberOf(testsupport::SamplePhoto(c.photo).c_str(), FILE_ATTRIBUTE_NORMAL),
                  c.expected)
            << c.photo;
    }
}

TEST_F(ServerTest, OverlayNamesAndPathsThatAreNoMembers) {
    ComPtr<IShellIconOverlayIdentifier> overlay = Overlay();
    ASSERT_TRUE(overlay);
    TempFolder folder;
    std::wstring tagged = testsupport::SamplePhoto("packet_regions.jpg");
    struct NameCase {
        const wchar_t* name;
        HRESULT expected;
    };
    const NameCase names[] = {
        {L"photo.jpg", S_OK},    {L"caf\u00e9.jpg", S_OK}, {L"photo.JPG", S_FALSE},
        {L"photo.Jpg", S_FALSE}, {L"photo.jpeg", S_FALSE},
    };
    for (const NameCase& c : names) {
        std::wstring copy = folder.File(c.name);
        ASSERT_TRUE(testsupport::CopyPhoto(tagged, copy));
        EXPECT_EQ(overlay->IsMemberOf(copy.c_str(), 0), c.expected) << testsupport::Narrow(c.name);
    }

    // A name the ANSI code page cannot spell: after conversion it names no file.
    std::wstring foreign = folder.File(L"\u4e2d\u6587\u0436.jpg");
    bool lossy = false;
    ToNarrow(foreign, CP_ACP, &lossy);
    ASSERT_TRUE(testsupport::CopyPhoto(tagged, foreign));
    if (lossy) {
        EXPECT_EQ(overlay->IsMemberOf(foreign.c_str(), 0), S_FALSE);
    }

    EXPECT_EQ(overlay->IsMemberOf(nullptr, 0), S_FALSE);
    EXPECT_EQ(overlay->IsMemberOf(L"", 0), S_FALSE);
    EXPECT_EQ(overlay->IsMemberOf(L"jpg", 0), S_FALSE);
    EXPECT_EQ(overlay->IsMemberOf(folder.path.c_str(), FILE_ATTRIBUTE_DIRECTORY), S_FALSE);
}

TEST_F(ServerTest, OverlayInfoIsTheLibraryItselfWithItsFirstIcon) {
    ComPtr<IShellIconOverlayIdentifier> overlay = Overlay();
    ASSERT_TRUE(overlay);
    wchar_t expected[MAX_PATH];
    ASSERT_GT(GetModuleFileNameW(module, expected, MAX_PATH), 0u);

    wchar_t buffer[MAX_PATH];
    int index = -1;
    DWORD flags = 0xFFFF;
    ASSERT_EQ(overlay->GetOverlayInfo(buffer, MAX_PATH, &index, &flags), S_OK);
    EXPECT_EQ(lstrcmpiW(buffer, expected), 0) << testsupport::Narrow(buffer);
    EXPECT_EQ(index, 1);
    EXPECT_EQ(flags, static_cast<DWORD>(ISIOI_ICONFILE));

    int priority = -1;
    EXPECT_EQ(overlay->GetPriority(&priority), S_OK);
    EXPECT_EQ(priority, 0);
}

TEST_F(ServerTest, OverlayInfoNeverWritesPastASmallBuffer) {
    ComPtr<IShellIconOverlayIdentifier> overlay = Overlay();
    ASSERT_TRUE(overlay);
    int length = lstrlenW(libraryPath.c_str());
    for (int capacity : {length, length / 2, 1}) {
        std::vector<wchar_t> buffer(static_cast<size_t>(length) + 16, L'#');
        int index = -1;
        DWORD flags = 0xFFFF;
        HRESULT hr = overlay->GetOverlayInfo(buffer.data(), capacity, &index, &flags);
        EXPECT_TRUE(FAILED(hr)) << capacity;
        EXPECT_EQ(buffer[0], L'\0') << "no cut path for the shell to load";
        for (size_t i = static_cast<size_t>(capacity); i < buffer.size(); ++i) {
            ASSERT_EQ(buffer[i], L'#') << "written past the capacity " << capacity;
        }
        EXPECT_EQ(flags, 0u);
    }
    // Exactly enough room: the path and its terminating zero.
    std::vector<wchar_t> exact(static_cast<size_t>(length) + 1);
    int index = 0;
    DWORD flags = 0;
    EXPECT_EQ(overlay->GetOverlayInfo(exact.data(), length + 1, &index, &flags), S_OK);

    wchar_t buffer[MAX_PATH];
    EXPECT_EQ(overlay->GetOverlayInfo(buffer, 0, &index, &flags), E_INVALIDARG);
    EXPECT_EQ(overlay->GetOverlayInfo(buffer, -5, &index, &flags), E_INVALIDARG);
    EXPECT_EQ(overlay->GetOverlayInfo(nullptr, MAX_PATH, &index, &flags), E_INVALIDARG);
    EXPECT_EQ(overlay->GetOverlayInfo(buffer, MAX_PATH, nullptr, &flags), E_INVALIDARG);
    EXPECT_EQ(overlay->GetOverlayInfo(buffer, MAX_PATH, &index, nullptr), E_INVALIDARG);
    EXPECT_EQ(overlay->GetPriority(nullptr), E_INVALIDARG);
}

}  // namespace
