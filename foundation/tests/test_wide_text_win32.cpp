#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "foundation/win32/wide_text.h"

namespace {

TEST(WideText, ConvertsOrSaysItCannot) {
    struct Case {
        const char* narrow;
        UINT codePage;
        InvalidSequences invalid;
        std::optional<std::wstring> wide;
    };
    const Case cases[] = {
        {"", CP_UTF8, InvalidSequences::kReject, L""},
        {"caf\xC3\xA9 \xE6\x97\xA5", CP_UTF8, InvalidSequences::kReject, L"caf\u00E9 \u65E5"},
        {"caf\xE9", 1252, InvalidSequences::kReject, L"caf\u00E9"},
        {"\xF0\x9F\x93\xB7", CP_UTF8, InvalidSequences::kReject, L"\U0001F4F7"},  // two UTF-16 units
        {"a\xFF", CP_UTF8, InvalidSequences::kReplace, L"a\uFFFD"},
        {"a\xFF", CP_UTF8, InvalidSequences::kReject, std::nullopt},
        {"a", 12345, InvalidSequences::kReplace, std::nullopt},  // no such code page
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ToWide(c.narrow, c.codePage, c.invalid), c.wide) << c.narrow << " in " << c.codePage;
    }
}

TEST(WideText, TellsWhenACharacterHadNoForm) {
    struct Case {
        const wchar_t* wide;
        UINT codePage;
        std::optional<std::string> narrow;
        bool usedDefault;
    };
    const Case cases[] = {
        {L"", 1252, "", false},
        {L"caf\u00E9", 1252, "caf\xE9", false},
        {L"\u65E5", 1252, "?", true},
        {L"\u0100", 1252, "?", true},  // no best fit ("A") when the caller asks
        {L"caf\u00E9 \u65E5", CP_UTF8, "caf\xC3\xA9 \xE6\x97\xA5", false},
        {L"a", 12345, std::nullopt, false},
    };
    for (const Case& c : cases) {
        bool usedDefault = !c.usedDefault;
        EXPECT_EQ(ToNarrow(c.wide, c.codePage, &usedDefault), c.narrow) << c.codePage;
        EXPECT_EQ(usedDefault, c.usedDefault) << c.codePage;
    }
}

}  // namespace
