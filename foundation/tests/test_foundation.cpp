#include <gtest/gtest.h>

#include <string_view>
#include <utility>
#include <vector>

#include "foundation/ascii_case.h"
#include "foundation/little_endian.h"
#include "foundation/unique_handle.h"

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

// Handles are numbers; -1 names none, and every close is written down.
struct CountedTraits {
    using Handle = int;
    static std::vector<int>& Closed() {
        static std::vector<int> closed;
        return closed;
    }
    static int Invalid() { return -1; }
    static bool IsValid(int handle) { return handle != -1; }
    static void Close(int handle) { Closed().push_back(handle); }
};

TEST(UniqueHandle, ClosesEachHandleOnceWhoeverHoldsIt) {
    using Holder = UniqueHandle<CountedTraits>;
    std::vector<int>& closed = CountedTraits::Closed();
    closed.clear();
    {
        Holder first(1);
        Holder moved(std::move(first));
        Holder assigned(2);
        assigned = std::move(moved);  // closes 2, takes 1
        EXPECT_EQ(closed, std::vector<int>{2});
        *assigned.Put() = 3;  // closes 1 before the new handle comes in
        Holder released(4);
        EXPECT_EQ(released.Release(), 4);
        Holder empty;
        EXPECT_FALSE(empty);
    }
    EXPECT_EQ(closed, (std::vector<int>{2, 1, 3}));
}

}  // namespace
