#include <gtest/gtest.h>

#include <string_view>

#include "foundation/ascii_case.h"
#include "foundation/little_endian.h"

namespace {

TEST(AsciiCase, OnlyAsciiLettersFold) {
    struct Case {
        std::string_view a;
        std::string_view b;
        bool equal;
    };
    const Case cases[] = {
        {"RECT", "rect", true},
        {"Rect", "recT", true},
        {"rect", "rec", false},
        {"@[`{", "@[`{", true},
        {"@", "`", false},
        {"[", "{", false},
        {"\xC9", "\xE9", false},  // É and é of code page 1252
                                  // are not ASCII
        {"", "", true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(EqualsIgnoringAsciiCase(c.a, c.b), c.equal) << c.a << " / " << c.b;
    }
    EXPECT_TRUE(EndsWithIgnoringAsciiCase("photo.JPG", ".jpg"));
    EXPECT_FALSE(EndsWithIgnoringAsciiCase("jpg", ".jpg"));
}

TEST(LittleEndian, RoundTripsTheByteOrder) {
    uint8_t bytes[4] = {};
    WriteLittleEndian32(bytes, 0x12345678u);
    EXPECT_EQ(bytes[0], 0x78);
    EXPECT_EQ(bytes[3], 0x12);
    EXPECT_EQ(ReadLittleEndian32(bytes), 0x12345678u);
    const uint8_t high[4] = {0xFF, 0x00, 0x00, 0x80};
    EXPECT_EQ(ReadLittleEndian32(high), 0x800000FFu);
}

}  // namespace
