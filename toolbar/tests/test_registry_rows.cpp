// The registration rows of each class, compared one by one with the registry tables written out by hand.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "toolbar/registry_rows.h"
#include "toolbar/server_classes.h"

namespace {

constexpr const char* kModule = "C:\\Program Files\\Lumenote\\LumenoteToolbar.dll";
constexpr const char* kTypeLib = "{2558BD94-2BB5-4D25-A332-4E57471AEA95}";

using enum RegisterAction;
using enum UnregisterAction;

struct ExpectedRow {
    RegistryRoot root;
    const char* key;
    std::vector<RegistryValue> values;
    RegisterAction onRegister;
    UnregisterAction onUnregister;
};

constexpr RegistryRoot kHkcr = RegistryRoot::ClassesRoot;
constexpr RegistryRoot kHklm = RegistryRoot::LocalMachine;

RegistryValue Default(const char* data) {
    return {"", data};
}

const std::vector<ExpectedRow> kNotaraTBObjRows = {
    {kHkcr, "NotaraToolbar.NotaraTBObj.1", {Default("NotaraTBObj Class")}, Write, Delete},
    {kHkcr,
     "NotaraToolbar.NotaraTBObj.1\\CLSID",
     {Default("{0C0F6FE2-8C8F-4E29-B942-48E1111182F7}")},
     Write,
     Delete},
    {kHkcr, "NotaraToolbar.NotaraTBObj", {Default("NotaraTBObj Class")}, Write, Delete},
    {kHkcr,
     "NotaraToolbar.NotaraTBObj\\CLSID",
     {Default("{0C0F6FE2-8C8F-4E29-B942-48E1111182F7}")},
     Write,
     Delete},
    {kHkcr, "NotaraToolbar.NotaraTBObj\\CurVer", {Default("NotaraToolbar.NotaraTBObj.1")}, Write, Delete},
    {kHkcr, "CLSID", {}, Open, Keep},
    {kHkcr,
     "CLSID\\{0C0F6FE2-8C8F-4E29-B942-48E1111182F7}",
     {Default("Lumenote Toolbar")},
     Replace,
     DeleteTree},
    {kHkcr,
     "CLSID\\{0C0F6FE2-8C8F-4E29-B942-48E1111182F7}\\ProgID",
     {Default("NotaraToolbar.NotaraTBObj.1")},
     Write,
     Delete},
    {kHkcr,
     "CLSID\\{0C0F6FE2-8C8F-4E29-B942-48E1111182F7}\\VersionIndependentProgID",
     {Default("NotaraToolbar.NotaraTBObj")},
     Write,
     Delete},
    {kHkcr, "CLSID\\{0C0F6FE2-8C8F-4E29-B942-48E1111182F7}\\Programmable", {}, Replace, Delete},
    {kHkcr,
     "CLSID\\{0C0F6FE2-8C8F-4E29-B942-48E1111182F7}\\InprocServer32",
     {Default(kModule), {"ThreadingModel", "Apartment"}},
     Write,
     Delete},
    {kHkcr, "CLSID\\{0C0F6FE2-8C8F-4E29-B942-48E1111182F7}\\TypeLib", {Default(kTypeLib)}, Write, Delete},
};

const std::vector<ExpectedRow> kDocumentHandlerRows = {
    {kHkcr, "NotaraToolbar.DocumentHandler.1", {Default("DocumentHandler Class")}, Write, Delete},
    {kHkcr,
     "NotaraToolbar.DocumentHandler.1\\CLSID",
     {Default("{D2347399-B6E9-460C-B93E-DFD851E0A1BF}")},
     Write,
     Delete},
    {kHkcr, "NotaraToolbar.DocumentHandler", {Default("DocumentHandler Class")}, Write, Delete},
    {kHkcr,
     "NotaraToolbar.DocumentHandler\\CLSID",
     {Default("{D2347399-B6E9-460C-B93E-DFD851E0A1BF}")},
     Write,
     Delete},
    {kHkcr,
     "NotaraToolbar.DocumentHandler\\CurVer",
     {Default("NotaraToolbar.DocumentHandler.1")},
     Write,
     Delete},
    {kHkcr, "CLSID", {}, Open, Keep},
    {kHkcr,
     "CLSID\\{D2347399-B6E9-460C-B93E-DFD851E0A1BF}",
     {Default("DocumentHandler Class")},
     Replace,
     DeleteTree},
    {kHkcr,
     "CLSID\\{D2347399-B6E9-460C-B93E-DFD851E0A1BF}\\ProgID",
     {Default("NotaraToolbar.DocumentHandler.1")},
     Write,
     Delete},
    {kHkcr,
     "CLSID\\{D2347399-B6E9-460C-B93E-DFD851E0A1BF}\\VersionIndependentProgID",
     {Default("NotaraToolbar.DocumentHandler")},
     Write,
     Delete},
    {kHkcr, "CLSID\\{D2347399-B6E9-460C-B93E-DFD851E0A1BF}\\Programmable", {}, Replace, Delete},
    {kHkcr,
     "CLSID\\{D2347399-B6E9-460C-B93E-DFD851E0A1BF}\\InprocServer32",
     {Default(kModule), {"ThreadingModel", "Apartment"}},
     Write,
     Delete},
    {kHkcr, "CLSID\\{D2347399-B6E9-460C-B93E-DFD851E0A1BF}\\TypeLib", {Default(kTypeLib)}, Write, Delete},
};

const std::vector<ExpectedRow> kJPGIconOverlayRows = {
    {kHkcr, "NotaraToolbar.JPGIconOverlay.1", {Default("JPGIconOverlay Class")}, Write, Delete},
    {kHkcr,
     "NotaraToolbar.JPGIconOverlay.1\\CLSID",
     {Default("{7C1722C1-D2BE-425A-A6D9-A1FC99DD7987}")},
     Write,
     Delete},
    {kHkcr, "NotaraToolbar.JPGIconOverlay", {Default("JPGIconOverlay Class")}, Write, Delete},
    {kHkcr,
     "NotaraToolbar.JPGIconOverlay\\CLSID",
     {Default("{7C1722C1-D2BE-425A-A6D9-A1FC99DD7987}")},
     Write,
     Delete},
    {kHkcr,
     "NotaraToolbar.JPGIconOverlay\\CurVer",
     {Default("NotaraToolbar.JPGIconOverlay.1")},
     Write,
     Delete},
    {kHkcr, "CLSID", {}, Open, Keep},
    {kHkcr,
     "CLSID\\{7C1722C1-D2BE-425A-A6D9-A1FC99DD7987}",
     {Default("JPGIconOverlay Class")},
     Replace,
     DeleteTree},
    {kHkcr,
     "CLSID\\{7C1722C1-D2BE-425A-A6D9-A1FC99DD7987}\\ProgID",
     {Default("NotaraToolbar.JPGIconOverlay.1")},
     Write,
     Delete},
    {kHkcr,
     "CLSID\\{7C1722C1-D2BE-425A-A6D9-A1FC99DD7987}\\VersionIndependentProgID",
     {Default("NotaraToolbar.JPGIconOverlay")},
     Write,
     Delete},
    {kHkcr, "CLSID\\{7C1722C1-D2BE-425A-A6D9-A1FC99DD7987}\\Programmable", {}, Replace, Delete},
    {kHkcr,
     "CLSID\\{7C1722C1-D2BE-425A-A6D9-A1FC99DD7987}\\InprocServer32",
     {Default(kModule), {"ThreadingModel", "Apartment"}},
     Write,
     Delete},
    {kHkcr, "CLSID\\{7C1722C1-D2BE-425A-A6D9-A1FC99DD7987}\\TypeLib", {Default(kTypeLib)}, Write, Delete},
    {kHklm,
     "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ShellIconOverlayIdentifiers\\AnnotatedJpgOverla"
     "y",
     {Default("{7C1722C1-D2BE-425A-A6D9-A1FC99DD7987}")},
     Write,
     Delete},
};

struct ClassCase {
    size_t index;
    const std::vector<ExpectedRow>* rows;
};

void PrintTo(const ClassCase& c, std::ostream* out) {
    *out << ServerClasses()[c.index].name;
}

class RegistryRowsTest : public ::testing::TestWithParam<ClassCase> {};

TEST_P(RegistryRowsTest, RowsMatchTheTableOneByOne) {
    const ClassCase& c = GetParam();
    std::vector<RegistryRow> rows = ClassRegistrationRows(ServerClasses()[c.index], kModule);
    ASSERT_EQ(rows.size(), c.rows->size());
    for (size_t i = 0; i < rows.size(); ++i) {
        const ExpectedRow& expected = (*c.rows)[i];
        SCOPED_TRACE("row " + std::to_string(i) + ": " + expected.key);
        EXPECT_EQ(rows[i].root, expected.root);
        EXPECT_EQ(rows[i].key, expected.key);
        EXPECT_EQ(rows[i].values, expected.values);
        EXPECT_EQ(rows[i].onRegister, expected.onRegister);
        EXPECT_EQ(rows[i].onUnregister, expected.onUnregister);
    }
}

INSTANTIATE_TEST_SUITE_P(EachClass, RegistryRowsTest,
                         ::testing::Values(ClassCase{kNotaraTBObjClass, &kNotaraTBObjRows},
                                           ClassCase{kDocumentHandlerClass, &kDocumentHandlerRows},
                                           ClassCase{kJPGIconOverlayClass, &kJPGIconOverlayRows}),
                         [](const ::testing::TestParamInfo<ClassCase>& param) {
                             return std::string(ServerClasses()[param.param.index].name);
                         });

TEST(RegistryRows, TheModulePathGoesOnlyIntoInprocServer32Unchanged) {
    // Spaces, a non-ASCII byte of the ANSI code page and a path far longer than MAX_PATH pass unchanged.
    const std::string paths[] = {"D:\\a b\\Lumenote Toolbar.dll", "C:\\Caf\xE9\\x.dll",
                                 std::string(900, 'p')};
    for (const std::string& path : paths) {
        for (const ServerClass& serverClass : ServerClasses()) {
            int found = 0;
            for (const RegistryRow& row : ClassRegistrationRows(serverClass, path)) {
                for (const RegistryValue& value : row.values) {
                    if (value.data == path) {
                        ++found;
                        EXPECT_TRUE(row.key.ends_with("\\InprocServer32")) << row.key;
                        EXPECT_TRUE(value.name.empty());
                    }
                }
            }
            EXPECT_EQ(found, 1) << serverClass.name;
        }
    }
}

TEST(RegistryRows, NoRowHasAnEmptyKeyOrAStrayBackslash) {
    // An empty key would address the root itself: deleting it would wipe HKEY_CLASSES_ROOT.
    for (const ServerClass& serverClass : ServerClasses()) {
        for (const RegistryRow& row : ClassRegistrationRows(serverClass, kModule)) {
            EXPECT_FALSE(row.key.empty());
            EXPECT_NE(row.key.front(), '\\') << row.key;
            EXPECT_NE(row.key.back(), '\\') << row.key;
            EXPECT_EQ(row.key.find("\\\\"), std::string::npos) << row.key;
        }
    }
}

}  // namespace
