// Lower-casing in code pages, and where a text may be cut.
#include <gtest/gtest.h>

#include "taglib/codepage.h"
#include "indexer/text_case.h"
#include "indexer/unicode_case.h"

namespace {

struct LowerCase {
    int codePage;
    std::string text;
    std::string lowered;
};

TEST(CodePageCase, LowersCharacterByCharacter) {
    const std::vector<LowerCase> cases = {
        {1252, "ABC xyz 019", "abc xyz 019"},
        {1252, "CAF\xC9 \xC0\xD6\xDE", "caf\xE9 \xE0\xF6\xFE"},   // Latin capitals with accents
        {1252, "\xD7\xDF\xFF", "\xD7\xDF\xFF"},                   // multiplication sign, sharp s, y diaeresis
        {1251, "\xC0\xC1\xDF", "\xE0\xE1\xFF"},                   // Cyrillic А Б Я
        {kCodePageUtf8, "CAF\xC3\x89", "caf\xC3\xA9"},            // É
        {kCodePageUtf8, "\xD0\x90\xD0\xAF", "\xD0\xB0\xD1\x8F"},  // Cyrillic А Я
        {kCodePageUtf8, "\xC4\xB0I", "\xC4\xB0i"},                // dotted capital I would change length
        {kCodePageUtf8, "A\xC3", "a\xC3"},                        // a sequence cut short stays
        {932, "A\x82\x60Z", "a\x82\x60z"},                        // double-byte letter kept whole
        {932, "\x83\x41\x83\x5A", "\x83\x41\x83\x5A"},            // trail bytes that look like A and Z
    };
    for (const LowerCase& c : cases) {
        if (!IsCodePageSupported(c.codePage)) {
            continue;
        }
        CodePageCase textCase(c.codePage);
        std::string text = c.text;
        textCase.Lower(text);
        EXPECT_EQ(text, c.lowered) << c.codePage << " " << c.text;
        textCase.Lower(text);
        EXPECT_EQ(text, c.lowered) << "lowering twice changes nothing";
    }
}

TEST(CodePageCase, ByteLoweringIsWholeForSingleByteCodePages) {
    CodePageCase western(1252);
    EXPECT_TRUE(western.IsSingleByte());
    EXPECT_EQ(western.ByteLower('Q'), 'q');
    EXPECT_EQ(western.ByteLower(0xC9), 0xE9);
    EXPECT_FALSE(CodePageCase(kCodePageUtf8).IsSingleByte());
    EXPECT_FALSE(CodePageCase(932).IsSingleByte());
}

struct CutCase {
    int codePage;
    std::string text;
    size_t limit;
    size_t cut;
};

TEST(CodePageCase, CutsOnlyAtCharacterBoundaries) {
    const std::vector<CutCase> cases = {
        {1252, "abcdef", 4, 4},
        {1252, "abc", 4, 3},
        {kCodePageUtf8, "a\xC3\xA9", 2, 1},  // would split é
        {kCodePageUtf8, "a\xC3\xA9z", 3, 3},
        {kCodePageUtf8, "\xE2\x82\xAC\xE2\x82\xAC", 5, 3},  // two euro signs
        {932, "a\x82\x60\x82\x60", 2, 1},                   // would split a double-byte letter
        {932, "a\x82\x60\x82\x60", 3, 3},
        {932, "\x83\x41\x83\x41", 3, 2},
    };
    for (const CutCase& c : cases) {
        EXPECT_EQ(CodePageCase(c.codePage).CutAtCharBoundary(c.text, c.limit), c.cut)
            << c.codePage << " " << c.text << " " << c.limit;
    }
}

TEST(UnicodeCase, LowersTheLettersOfTheWesternCodePages) {
    struct Pair {
        char32_t upper, lower;
    };
    for (const Pair& p : {Pair{'A', 'a'}, Pair{0xC9, 0xE9}, Pair{0x152, 0x153}, Pair{0x160, 0x161},
                          Pair{0x178, 0xFF}, Pair{0x17D, 0x17E}, Pair{0x391, 0x3B1}, Pair{0x386, 0x3AC},
                          Pair{0x401, 0x451}, Pair{0x410, 0x430}, Pair{0x42F, 0x44F}}) {
        EXPECT_EQ(SimpleLowerCodePoint(p.upper), p.lower) << static_cast<unsigned>(p.upper);
        EXPECT_EQ(SimpleLowerCodePoint(p.lower), p.lower) << static_cast<unsigned>(p.lower);
    }
    EXPECT_EQ(SimpleLowerCodePoint(0xD7), 0xD7u);
    EXPECT_EQ(SimpleLowerCodePoint(0x130), 0x130u);
}

}  // namespace
