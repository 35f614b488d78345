#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <utility>

#include "taglib/codepage.h"

namespace {

// Restores the code page in force after each test.
class CodePageTest : public ::testing::Test {
protected:
    void SetUp() override { saved = ActiveCodePage(); }
    void TearDown() override { SetActiveCodePage(saved); }
    int saved = 0;
};

struct ConversionCase {
    const char* label;
    int codePage;
    std::string utf8;
    std::string ansi;
};

TEST_F(CodePageTest, ConvertsWholeTextsBothWays) {
    const ConversionCase cases[] = {
        {"ascii", 1252, "Lighthouse", "Lighthouse"},
        {"latin accents", 1252, "Caf\xC3\xA9 cr\xC3\xA8me", "Caf\xE9 cr\xE8me"},
        {"euro sign in the 0x80 row", 1252, "\xE2\x82\xAC 5", "\x80 5"},
        {"cyrillic", 1251, "\xD0\x9C\xD0\xB8\xD1\x80", "\xCC\xE8\xF0"},
        {"japanese in euc", 20932, "\xE6\x97\xA5\xE6\x9C\xAC", "\xC6\xFC\xCB\xDC"},
        {"empty", 1252, "", ""},
        {"utf-8 to itself", kCodePageUtf8, "Caf\xC3\xA9", "Caf\xC3\xA9"},
    };
    for (const ConversionCase& c : cases) {
        SCOPED_TRACE(c.label);
        SetActiveCodePage(c.codePage);
        EXPECT_EQ(Utf8ToAnsi(c.utf8), c.ansi);
        EXPECT_EQ(AnsiToUtf8(c.ansi), c.utf8);
    }
}

// Bytes that a Windows single-byte code page leaves undefined stand for the C1 control of the same value
// there, in both directions; a defined byte of that row does not come back from its C1 control.
TEST_F(CodePageTest, UndefinedBytesOfWindowsCodePagesAreTheirC1Controls) {
    const ConversionCase cases[] = {
        {"1252 holes", 1252,
         "a\xC2\x81"
         "b\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D",
         "a\x81"
         "b\x8D\x8F\x90\x9D"},
        {"1252 hole beside letters", 1252, "Caf\xC3\xA9\xC2\x81\xE2\x82\xAC", "Caf\xE9\x81\x80"},
        {"1251 hole", 1251, "\xD0\x9C\xC2\x98", "\xCC\x98"},
    };
    for (const ConversionCase& c : cases) {
        SCOPED_TRACE(c.label);
        SetActiveCodePage(c.codePage);
        EXPECT_EQ(AnsiToUtf8(c.ansi), c.utf8);
        EXPECT_EQ(Utf8ToAnsi(c.utf8), c.ansi);
        EXPECT_EQ(ToUtf8Lossy(c.ansi, c.codePage), c.utf8);
    }
    // 0x80 is the euro sign in 1252, so U+0080 has no form there.
    std::string out = "untouched";
    EXPECT_FALSE(ConvertCodePage("\xC2\x80", kCodePageUtf8, 1252, out));
    EXPECT_EQ(out, "untouched");
}

// As the system converter does: a character the code page lacks becomes its default character, one per
// character (also outside the basic plane), and the rest of the text converts. The strict conversion
// still refuses such a text.
TEST_F(CodePageTest, CharactersTheCodePageLacksBecomeItsDefaultCharacter) {
    const ConversionCase cases[] = {
        {"japanese in 1252", 1252, "Caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC", "Caf\xE9 ??"},
        {"outside the basic plane", 1252,
         "a\xF0\x9F\x98\x80"
         "b",
         "a?b"},
        {"C1 control whose byte is the euro sign", 1252, "\xC2\x80\xE2\x82\xAC", "?\x80"},
        {"latin in cyrillic", 1251, "\xD0\x9C\xC3\xA9", "\xCC?"},
        {"latin in shift-jis", 932, "\xE6\x97\xA5\xC3\xA9\xE6\x9C\xAC", "\x93\xFA?\x96\x7B"},
        {"oe ligature in greek", 1253, "\xCE\xA9\xC5\x93", "\xD9?"},
    };
    for (const ConversionCase& c : cases) {
        SCOPED_TRACE(c.label);
        SetActiveCodePage(c.codePage);
        EXPECT_EQ(Utf8ToAnsi(c.utf8), c.ansi);
        std::string out = "untouched";
        EXPECT_FALSE(ConvertCodePage(c.utf8, kCodePageUtf8, c.codePage, out));
        EXPECT_EQ(out, "untouched");
        ASSERT_TRUE(ConvertCodePageWithDefaultChar(c.utf8, kCodePageUtf8, c.codePage, out));
        EXPECT_EQ(out, c.ansi);
    }
}

// Only a text that is not valid in its own code page comes back unchanged. UTF-8 must be well-formed:
// both builds refuse the same sequences.
TEST_F(CodePageTest, TextThatIsNotValidInItsCodePageComesBackUnchanged) {
    const std::string brokenUtf8[] = {
        "ab\xC3(",                   // a lead byte without its continuation
        "\xF4\x90\x80\x80",          // above U+10FFFF
        "x\xF5\x80\x80\x80",         // lead bytes F5 to FD start nothing
        "\xF8\x88\x80\x80\x80",      // five-byte form
        "\xFD\xBF\xBF\xBF\xBF\xBF",  // six-byte form
        "\xC0\x80",                  // overlong zero
        "\xE0\x80\xAF",              // overlong slash
        "\xED\xA0\x80",              // surrogate
        "\xC3\xA9\xFF",              // never a UTF-8 byte
    };
    for (int codePage : {1252, 932, kCodePageUtf8}) {
        SetActiveCodePage(codePage);
        for (const std::string& text : brokenUtf8) {
            SCOPED_TRACE(testing::PrintToString(text) + " to " + std::to_string(codePage));
            EXPECT_EQ(Utf8ToAnsi(text), text);
            std::string out = "untouched";
            EXPECT_FALSE(ConvertCodePageWithDefaultChar(text, kCodePageUtf8, codePage, out));
            EXPECT_FALSE(ConvertCodePage(text, kCodePageUtf8, codePage, out));
            EXPECT_EQ(out, "untouched");
        }
    }
    SetActiveCodePage(932);
    const std::string cutShiftJis = "\x93\xFA\x96";  // the second character lacks its trail byte
    EXPECT_EQ(AnsiToUtf8(cutShiftJis), cutShiftJis);
}

TEST_F(CodePageTest, UnknownCodePagesAreRefused) {
    EXPECT_FALSE(IsCodePageSupported(0));
    EXPECT_FALSE(IsCodePageSupported(-5));
    EXPECT_FALSE(IsCodePageSupported(12345));
    EXPECT_TRUE(IsCodePageSupported(1252));
    EXPECT_TRUE(IsCodePageSupported(kCodePageUtf8));

    SetActiveCodePage(12345);
    EXPECT_EQ(AnsiToUtf8("Caf\xE9"), "Caf\xE9");
}

TEST_F(CodePageTest, LossyConversionReplacesOnlyTheBadBytes) {
    EXPECT_EQ(ToUtf8Lossy("Caf\xE9", 1252), "Caf\xC3\xA9");
    EXPECT_EQ(ToUtf8Lossy("ok\xFFok", kCodePageUtf8), "ok\xEF\xBF\xBDok");
    EXPECT_EQ(ToUtf8Lossy("\xC3\xA9\xC3", kCodePageUtf8), "\xC3\xA9\xEF\xBF\xBD");
    // Not well-formed UTF-8: each byte that starts no character becomes U+FFFD (written "~" below).
    const std::pair<std::string, std::string> malformed[] = {
        {"a\xF4\x90\x80\x80"
         "b",
         "a~~~~b"},
        {"\xF5\xBF", "~~"},
        {"\xFD\xBF\xBF\xBF\xBF\xBF", "~~~~~~"},
        {"\xED\xA0\x80\xF0\x9F\x98\x80", "~~~\xF0\x9F\x98\x80"},
    };
    for (const auto& [text, pattern] : malformed) {
        std::string expected;
        for (char c : pattern) {
            expected += c == '~' ? std::string("\xEF\xBF\xBD") : std::string(1, c);
        }
        EXPECT_EQ(ToUtf8Lossy(text, kCodePageUtf8), expected) << testing::PrintToString(text);
    }
    EXPECT_EQ(ToUtf8Lossy("", 1252), "");
}

#ifndef _WIN32
TEST_F(CodePageTest, SystemCodePageFollowsTheLocaleAndTreatsCAsUtf8) {
    struct LocaleCase {
        const char* lang;
        int expected;
    };
    const LocaleCase cases[] = {
        {"C", kCodePageUtf8},          {"POSIX", kCodePageUtf8},    {"en_US.UTF-8", kCodePageUtf8},
        {"de_DE.utf8", kCodePageUtf8}, {"fr_FR.ISO-8859-1", 28591}, {"fr_FR.ISO-8859-15@euro", 28605},
        {"ru_RU.CP1251", 1251},
    };
    const char* savedAll = std::getenv("LC_ALL");
    const char* savedCtype = std::getenv("LC_CTYPE");
    const char* savedLang = std::getenv("LANG");
    std::string all = savedAll ? savedAll : "";
    std::string ctype = savedCtype ? savedCtype : "";
    std::string lang = savedLang ? savedLang : "";
    unsetenv("LC_ALL");
    unsetenv("LC_CTYPE");
    for (const LocaleCase& c : cases) {
        SCOPED_TRACE(c.lang);
        setenv("LANG", c.lang, 1);
        EXPECT_EQ(SystemCodePage(), c.expected);
    }
    unsetenv("LANG");
    EXPECT_EQ(SystemCodePage(), kCodePageUtf8);
    auto restore = [](const char* name, const char* previous, const std::string& value) {
        if (previous) {
            setenv(name, value.c_str(), 1);
        } else {
            unsetenv(name);
        }
    };
    restore("LC_ALL", savedAll, all);
    restore("LC_CTYPE", savedCtype, ctype);
    restore("LANG", savedLang, lang);
}
#endif

}  // namespace
