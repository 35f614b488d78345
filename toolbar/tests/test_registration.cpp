// Registering and unregistering the server's rows, applied to an in-memory registry.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "toolbar/tests/memory_registry.h"
#include "toolbar/registration.h"

namespace {

using testsupport::MemoryRegistry;
using testsupport::RegistryOperation;

constexpr RegistryRoot kHkcr = RegistryRoot::ClassesRoot;
constexpr RegistryRoot kHklm = RegistryRoot::LocalMachine;
constexpr const char* kModule = "C:\\Lumenote\\LumenoteToolbar.dll";
constexpr const char* kOverlayParent =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ShellIconOverlayIdentifiers";
constexpr const char* kOverlayKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ShellIconOverlayIdentifiers\\AnnotatedJpgOverla"
    "y";
constexpr const char* kBandKey = "CLSID\\{0C0F6FE2-8C8F-4E29-B942-48E1111182F7}";
constexpr const char* kHandlerKey = "CLSID\\{D2347399-B6E9-460C-B93E-DFD851E0A1BF}";
constexpr const char* kOverlayClassKey = "CLSID\\{7C1722C1-D2BE-425A-A6D9-A1FC99DD7987}";

// What a registration into an empty registry must leave, written out from the registry tables.
std::vector<std::string> ExpectedRegistration() {
    std::vector<std::string> lines;
    struct Names {
        const char* progId;
        const char* progIdValue;
        const char* clsid;
        const char* clsidValue;
    };
    const Names classes[] = {
        {"NotaraToolbar.NotaraTBObj", "NotaraTBObj Class", "{0C0F6FE2-8C8F-4E29-B942-48E1111182F7}",
         "Lumenote Toolbar"},
        {"NotaraToolbar.DocumentHandler", "DocumentHandler Class", "{D2347399-B6E9-460C-B93E-DFD851E0A1BF}",
         "DocumentHandler Class"},
        {"NotaraToolbar.JPGIconOverlay", "JPGIconOverlay Class", "{7C1722C1-D2BE-425A-A6D9-A1FC99DD7987}",
         "JPGIconOverlay Class"},
    };
    lines.push_back("HKCR\\CLSID");
    for (const Names& n : classes) {
        std::string p = std::string("HKCR\\") + n.progId;
        std::string c = std::string("HKCR\\CLSID\\") + n.clsid;
        for (const std::string& progKey : {p + ".1", p}) {
            lines.push_back(progKey);
            lines.push_back(progKey + " []=" + n.progIdValue);
            lines.push_back(progKey + "\\CLSID");
            lines.push_back(progKey + "\\CLSID []=" + n.clsid);
        }
        lines.push_back(p + "\\CurVer");
        lines.push_back(p + "\\CurVer []=" + n.progId + ".1");
        lines.push_back(c);
        lines.push_back(c + " []=" + n.clsidValue);
        lines.push_back(c + "\\ProgID");
        lines.push_back(c + "\\ProgID []=" + n.progId + ".1");
        lines.push_back(c + "\\VersionIndependentProgID");
        lines.push_back(c + "\\VersionIndependentProgID []=" + n.progId);
        lines.push_back(c + "\\Programmable");
        lines.push_back(c + "\\InprocServer32");
        lines.push_back(c + "\\InprocServer32 []=" + kModule);
        lines.push_back(c + "\\InprocServer32 [ThreadingModel]=Apartment");
        lines.push_back(c + "\\TypeLib");
        lines.push_back(c + "\\TypeLib []={2558BD94-2BB5-4D25-A332-4E57471AEA95}");
    }
    std::string overlay = "HKLM";
    for (const char* part : {"Software", "Microsoft", "Windows", "CurrentVersion", "Explorer",
                             "ShellIconOverlayIdentifiers", "AnnotatedJpgOverlay"}) {
        overlay += std::string("\\") + part;
        lines.push_back(overlay);
    }
    lines.push_back(overlay + " []={7C1722C1-D2BE-425A-A6D9-A1FC99DD7987}");
    return lines;
}

std::vector<std::string> Sorted(std::vector<std::string> lines) {
    std::sort(lines.begin(), lines.end());
    return lines;
}

TEST(Registration, WritesExactlyTheRowsOfTheTables) {
    MemoryRegistry registry;
    ASSERT_EQ(RegisterServerClasses(kModule, registry), kRegistryOk);
    EXPECT_EQ(Sorted(registry.Dump()), Sorted(ExpectedRegistration()));
}

TEST(Registration, TwiceLeavesOneCopyOfEveryRow) {
    MemoryRegistry registry;
    ASSERT_EQ(RegisterServerClasses("C:\\old place\\LumenoteToolbar.dll", registry), kRegistryOk);
    ASSERT_EQ(RegisterServerClasses(kModule, registry), kRegistryOk);
    // The second run also moves every class to the new module path.
    EXPECT_EQ(Sorted(registry.Dump()), Sorted(ExpectedRegistration()));
}

TEST(Registration, ReplacesALeftoverClassKeyWhole) {
    MemoryRegistry registry;
    for (const char* key : {kBandKey, kHandlerKey, kOverlayClassKey}) {
        ASSERT_EQ(registry.CreateKey(kHkcr, std::string(key) + "\\LocalServer32\\Stale"), kRegistryOk);
        ASSERT_EQ(registry.SetValue(kHkcr, key, "AppID", "{leftover}"), kRegistryOk);
        ASSERT_EQ(registry.CreateKey(kHkcr, std::string(key) + "\\Programmable\\Extra"), kRegistryOk);
    }
    ASSERT_EQ(RegisterServerClasses(kModule, registry), kRegistryOk);
    EXPECT_EQ(Sorted(registry.Dump()), Sorted(ExpectedRegistration()));
}

TEST(Registration, KeepsWhatOtherProgramsHaveUnderCommonKeys) {
    MemoryRegistry registry;
    const std::string otherClass = "CLSID\\{11111111-2222-3333-4444-555555555555}\\InprocServer32";
    const std::string otherOverlay = std::string(kOverlayParent) + "\\OtherOverlay";
    ASSERT_EQ(registry.CreateKey(kHkcr, otherClass), kRegistryOk);
    ASSERT_EQ(registry.SetValue(kHkcr, "CLSID", "", "kept"), kRegistryOk);
    ASSERT_EQ(registry.CreateKey(kHklm, otherOverlay), kRegistryOk);
    ASSERT_EQ(RegisterServerClasses(kModule, registry), kRegistryOk);
    EXPECT_TRUE(registry.HasKey(kHkcr, otherClass));
    EXPECT_EQ(registry.Value(kHkcr, "CLSID"), "kept");  // opened, never written
    EXPECT_TRUE(registry.HasKey(kHklm, otherOverlay));
}

TEST(Registration, FirstFailureEndsRegistrationAndIsTheResult) {
    MemoryRegistry registry;
    constexpr RegistryStatus kDenied = 5;
    const std::string failing = std::string(kHandlerKey) + "\\InprocServer32";
    registry.failWhen = [&](RegistryOperation operation, RegistryRoot, const std::string& key) {
        return operation == RegistryOperation::SetValue && key == failing ? kDenied : kRegistryOk;
    };
    EXPECT_EQ(RegisterServerClasses(kModule, registry), kDenied);

    // Nothing after the failing value was asked for.
    ASSERT_FALSE(registry.log.empty());
    EXPECT_EQ(registry.log.back(), "SetValue HKCR\\" + failing);
    EXPECT_EQ(std::count(registry.log.begin(), registry.log.end(), "SetValue HKCR\\" + failing), 1);
    // The band registered completely before it; the handler's rows up to it exist; the overlay has none.
    EXPECT_EQ(registry.Value(kHkcr, std::string(kBandKey) + "\\TypeLib"),
              "{2558BD94-2BB5-4D25-A332-4E57471AEA95}");
    EXPECT_TRUE(registry.HasKey(kHkcr, std::string(kHandlerKey) + "\\Programmable"));
    EXPECT_FALSE(registry.HasKey(kHkcr, std::string(kHandlerKey) + "\\TypeLib"));
    EXPECT_FALSE(registry.HasKey(kHkcr, "NotaraToolbar.JPGIconOverlay.1"));
    EXPECT_FALSE(registry.HasKey(kHkcr, kOverlayClassKey));
    EXPECT_FALSE(registry.HasKey(kHklm, kOverlayKey));
}

TEST(Registration, AFailedReplaceEndsRegistration) {
    MemoryRegistry registry;
    ASSERT_EQ(registry.CreateKey(kHkcr, kBandKey), kRegistryOk);
    registry.failWhen = [](RegistryOperation operation, RegistryRoot, const std::string&) {
        return operation == RegistryOperation::DeleteTree ? RegistryStatus{5} : kRegistryOk;
    };
    EXPECT_EQ(RegisterServerClasses(kModule, registry), 5);
    EXPECT_FALSE(registry.HasKey(kHkcr, std::string(kBandKey) + "\\ProgID"));
}

TEST(Registration, AMissingKeyToReplaceIsNoFailure) {
    MemoryRegistry registry;
    ASSERT_EQ(RegisterServerClasses(kModule, registry), kRegistryOk);
    EXPECT_NE(
        std::find(registry.log.begin(), registry.log.end(), std::string("DeleteTree HKCR\\") + kBandKey),
        registry.log.end());
}

TEST(Unregistration, RemovesOurRowsAndKeepsCommonKeysAndSiblings) {
    MemoryRegistry registry;
    const std::string otherClass = "CLSID\\{11111111-2222-3333-4444-555555555555}";
    const std::string otherOverlay = std::string(kOverlayParent) + "\\OtherOverlay";
    ASSERT_EQ(registry.CreateKey(kHkcr, otherClass), kRegistryOk);
    ASSERT_EQ(registry.CreateKey(kHklm, otherOverlay), kRegistryOk);
    ASSERT_EQ(registry.SetValue(kHklm, otherOverlay, "", "{other}"), kRegistryOk);
    ASSERT_EQ(RegisterServerClasses(kModule, registry), kRegistryOk);
    // A subkey someone added to our class key goes with it.
    ASSERT_EQ(registry.CreateKey(kHkcr, std::string(kOverlayClassKey) + "\\Implemented Categories\\X"),
              kRegistryOk);

    UnregisterServerClasses(registry);

    std::vector<std::string> expected = {
        "HKCR\\CLSID",
        "HKCR\\" + otherClass,
        "HKLM\\Software",
        "HKLM\\Software\\Microsoft",
        "HKLM\\Software\\Microsoft\\Windows",
        "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion",
        "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer",
        std::string("HKLM\\") + kOverlayParent,
        "HKLM\\" + otherOverlay,
        "HKLM\\" + otherOverlay + " []={other}",
    };
    EXPECT_EQ(Sorted(registry.Dump()), Sorted(expected));
}

TEST(Unregistration, WhenNothingIsRegisteredChangesNothing) {
    MemoryRegistry registry;
    ASSERT_EQ(registry.CreateKey(kHkcr, "CLSID\\{11111111-2222-3333-4444-555555555555}"), kRegistryOk);
    std::vector<std::string> before = registry.Dump();
    registry.log.clear();
    UnregisterServerClasses(registry);
    EXPECT_EQ(registry.Dump(), before);
    // Only deletions were asked for: unregistration never creates anything.
    EXPECT_FALSE(registry.log.empty());
    for (const std::string& entry : registry.log) {
        EXPECT_TRUE(entry.starts_with("Delete")) << entry;
    }
}

TEST(Unregistration, GoesOnPastFailures) {
    MemoryRegistry registry;
    ASSERT_EQ(RegisterServerClasses(kModule, registry), kRegistryOk);
    registry.failWhen = [](RegistryOperation, RegistryRoot, const std::string& key) {
        return key == "NotaraToolbar.NotaraTBObj\\CurVer" ? RegistryStatus{5} : kRegistryOk;
    };
    UnregisterServerClasses(registry);
    // The failing key and its parent (which still has it) remain; everything else of ours is gone.
    EXPECT_TRUE(registry.HasKey(kHkcr, "NotaraToolbar.NotaraTBObj\\CurVer"));
    EXPECT_FALSE(registry.HasKey(kHkcr, "NotaraToolbar.NotaraTBObj\\CLSID"));
    EXPECT_FALSE(registry.HasKey(kHkcr, "NotaraToolbar.NotaraTBObj.1"));
    EXPECT_FALSE(registry.HasKey(kHkcr, kBandKey));
    EXPECT_FALSE(registry.HasKey(kHkcr, kHandlerKey));
    EXPECT_FALSE(registry.HasKey(kHkcr, "NotaraToolbar.JPGIconOverlay"));
    EXPECT_FALSE(registry.HasKey(kHklm, kOverlayKey));
}

TEST(Unregistration, LeavesAProgIdKeyThatAnotherProgramExtended) {
    MemoryRegistry registry;
    ASSERT_EQ(RegisterServerClasses(kModule, registry), kRegistryOk);
    ASSERT_EQ(registry.CreateKey(kHkcr, "NotaraToolbar.JPGIconOverlay\\shell"), kRegistryOk);
    UnregisterServerClasses(registry);
    // Our own subkeys go; the key stays for the subkey we did not write.
    EXPECT_TRUE(registry.HasKey(kHkcr, "NotaraToolbar.JPGIconOverlay\\shell"));
    EXPECT_EQ(registry.SubkeyCount(kHkcr, "NotaraToolbar.JPGIconOverlay"), 1u);
    EXPECT_FALSE(registry.HasKey(kHkcr, "NotaraToolbar.JPGIconOverlay.1"));
}

TEST(Unregistration, DeletesSubkeysBeforeTheirParents) {
    MemoryRegistry registry;
    ASSERT_EQ(RegisterServerClasses(kModule, registry), kRegistryOk);
    registry.log.clear();
    UnregisterServerClasses(registry);
    auto position = [&](const std::string& entry) {
        return std::find(registry.log.begin(), registry.log.end(), entry) - registry.log.begin();
    };
    EXPECT_LT(position("DeleteKey HKCR\\NotaraToolbar.NotaraTBObj.1\\CLSID"),
              position("DeleteKey HKCR\\NotaraToolbar.NotaraTBObj.1"));
    EXPECT_LT(position("DeleteKey HKCR\\NotaraToolbar.NotaraTBObj\\CurVer"),
              position("DeleteKey HKCR\\NotaraToolbar.NotaraTBObj"));
    EXPECT_LT(position("DeleteKey HKLM\\" + std::string(kOverlayKey)),
              position(std::string("DeleteTree HKCR\\") + kOverlayClassKey));
    EXPECT_EQ(position("DeleteKey HKCR\\CLSID"), std::ssize(registry.log));  // never asked
}

}  // namespace
