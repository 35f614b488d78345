// The fixed identities: their text forms, and that the IDL the type library is built from says the same.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>

#include "toolbar/com_guids.h"
#include "toolbar/server_classes.h"

namespace {

TEST(ComGuids, FormatGivesTheRegistryForm) {
    EXPECT_EQ(FormatGuid(kClsidJPGIconOverlay), "{7C1722C1-D2BE-425A-A6D9-A1FC99DD7987}");
    EXPECT_EQ(FormatGuid(kLibidNotaraToolbar), "{2558BD94-2BB5-4D25-A332-4E57471AEA95}");
    ComGuid small;
    small.data1 = 0x1;
    small.data2 = 0x2;
    small.data3 = 0x3;
    small.data4[7] = 0xAB;
    EXPECT_EQ(FormatGuid(small), "{00000001-0002-0003-0000-0000000000AB}");
}

TEST(ComGuids, BinaryLayoutFollowsTheText) {
    EXPECT_EQ(kClsidNotaraTBObj.data1, 0x0C0F6FE2u);
    EXPECT_EQ(kClsidNotaraTBObj.data2, 0x8C8Fu);
    EXPECT_EQ(kClsidNotaraTBObj.data3, 0x4E29u);
    const uint8_t tail[8] = {0xB9, 0x42, 0x48, 0xE1, 0x11, 0x11, 0x82, 0xF7};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(kClsidNotaraTBObj.data4[i], tail[i]) << i;
    }
}

struct ParseCase {
    const char* text;
    bool accepted;
};

TEST(ComGuids, ParseAcceptsOnlyWellFormedText) {
    const ParseCase cases[] = {
        {"{7C1722C1-D2BE-425A-A6D9-A1FC99DD7987}", true},   {"7C1722C1-D2BE-425A-A6D9-A1FC99DD7987", true},
        {"{7c1722c1-d2be-425a-a6d9-a1fc99dd7987}", true},   {"", false},
        {"{7C1722C1-D2BE-425A-A6D9-A1FC99DD7987", false},   {"7C1722C1-D2BE-425A-A6D9-A1FC99DD7987}", false},
        {"[7C1722C1-D2BE-425A-A6D9-A1FC99DD7987]", false},  {"{7C1722C1-D2BE-425A-A6D9-A1FC99DD798}", false},
        {"{7C1722C1-D2BE-425A-A6D9-A1FC99DD79877}", false}, {"{7C1722C1+D2BE-425A-A6D9-A1FC99DD7987}", false},
        {"{7C1722C1-D2BE-425A-A6D9-A1FC99DD798G}", false},  {"{7C1722C1-D2BE-425A-A6D9-A1FC 9DD7987}", false},
    };
    for (const ParseCase& c : cases) {
        ComGuid parsed;
        EXPECT_EQ(ParseGuid(c.text, parsed), c.accepted) << c.text;
        if (c.accepted) {
            EXPECT_EQ(parsed, kClsidJPGIconOverlay) << c.text;
        }
    }
}

TEST(ComGuids, ParseFailureLeavesTheResultAlone) {
    ComGuid parsed = kLibidNotaraToolbar;
    EXPECT_FALSE(ParseGuid("{7C1722C1-D2BE-425A-A6D9-A1FC99DD798X}", parsed));
    EXPECT_EQ(parsed, kLibidNotaraToolbar);
}

TEST(ComGuids, AllIdentitiesDiffer) {
    const ComGuid all[] = {kLibidNotaraToolbar,   kClsidNotaraTBObj,    kIidINotaraTBObj,
                           kClsidDocumentHandler, kIidIDocumentHandler, kClsidJPGIconOverlay,
                           kIidIJPGIconOverlay};
    for (size_t i = 0; i < std::size(all); ++i) {
        ComGuid reparsed;
        ASSERT_TRUE(ParseGuid(FormatGuid(all[i]), reparsed));
        EXPECT_EQ(reparsed, all[i]);
        for (size_t j = i + 1; j < std::size(all); ++j) {
            EXPECT_NE(all[i], all[j]) << FormatGuid(all[i]);
        }
    }
}

// Every `uuid(...)` of the IDL with the name of the interface, coclass or library it belongs to.
std::map<std::string, std::string> IdlIdentities() {
    std::ifstream in(std::string(VELLUMAR_SOURCE_DIR) + "/toolbar/notara_toolbar.idl");
    std::stringstream text;
    text << in.rdbuf();
    std::string idl = text.str();
    std::map<std::string, std::string> identities;
    std::regex declaration(R"(uuid\(([0-9A-Fa-f-]+)\)[^\]]*\]\s*(interface|coclass|library)\s+(\w+))");
    for (std::sregex_iterator it(idl.begin(), idl.end(), declaration), end; it != end; ++it) {
        ComGuid parsed;
        identities[(*it)[3].str()] = ParseGuid((*it)[1].str(), parsed) ? FormatGuid(parsed) : (*it)[1].str();
    }
    return identities;
}

TEST(ComGuids, TheIdlDeclaresTheSameIdentities) {
    std::map<std::string, std::string> expected = {
        {"NOTARATOOLBARLib", FormatGuid(kLibidNotaraToolbar)},
        {"INotaraTBObj", FormatGuid(kIidINotaraTBObj)},
        {"NotaraTBObj", FormatGuid(kClsidNotaraTBObj)},
        {"IDocumentHandler", FormatGuid(kIidIDocumentHandler)},
        {"DocumentHandler", FormatGuid(kClsidDocumentHandler)},
        {"IJPGIconOverlay", FormatGuid(kIidIJPGIconOverlay)},
        {"JPGIconOverlay", FormatGuid(kClsidJPGIconOverlay)},
    };
    std::map<std::string, std::string> declared = IdlIdentities();
    ASSERT_FALSE(declared.empty()) << "notara_toolbar.idl not found or not understood";
    EXPECT_EQ(declared, expected);
}

TEST(ComGuids, TheClassTableUsesTheIdentities) {
    ASSERT_EQ(ServerClasses().size(), 3u);
    EXPECT_EQ(ServerClasses()[kNotaraTBObjClass].clsid, kClsidNotaraTBObj);
    EXPECT_EQ(ServerClasses()[kNotaraTBObjClass].defaultInterface, kIidINotaraTBObj);
    EXPECT_EQ(ServerClasses()[kDocumentHandlerClass].clsid, kClsidDocumentHandler);
    EXPECT_EQ(ServerClasses()[kDocumentHandlerClass].defaultInterface, kIidIDocumentHandler);
    EXPECT_EQ(ServerClasses()[kJPGIconOverlayClass].clsid, kClsidJPGIconOverlay);
    EXPECT_EQ(ServerClasses()[kJPGIconOverlayClass].defaultInterface, kIidIJPGIconOverlay);
}

TEST(ComGuids, FindServerClassKnowsOnlyTheThreeClasses) {
    EXPECT_EQ(FindServerClass(kClsidNotaraTBObj), kNotaraTBObjClass);
    EXPECT_EQ(FindServerClass(kClsidDocumentHandler), kDocumentHandlerClass);
    EXPECT_EQ(FindServerClass(kClsidJPGIconOverlay), kJPGIconOverlayClass);
    EXPECT_EQ(FindServerClass(kIidIJPGIconOverlay), kServerClassCount);
    EXPECT_EQ(FindServerClass(kLibidNotaraToolbar), kServerClassCount);
    EXPECT_EQ(FindServerClass(ComGuid{}), kServerClassCount);
}

}  // namespace
