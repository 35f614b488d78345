// Lower-casing of texts in a code page, as the search compares them: character by character, so that
// the second byte of a double-byte character is never taken for a letter. Lower-casing never changes a
// text's length, so byte positions in a lowered text are positions in the original.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

class CodePageCase {
public:
    explicit CodePageCase(int codePage);

    int CodePage() const { return codePage; }
    // True when each byte lowers on its own (single-byte code pages): then ByteLower is the whole rule.
    bool IsSingleByte() const { return kind == Kind::kSingleByte; }
    bool IsUtf8() const { return kind == Kind::kUtf8; }
    uint8_t ByteLower(uint8_t byte) const { return lower[byte]; }

    void Lower(std::string& text) const;
    void Lower(char* text, size_t length) const;

    // The largest length not above `limit` that ends on a character boundary of `text`.
    size_t CutAtCharBoundary(std::string_view text, size_t limit) const;

private:
    enum class Kind { kSingleByte, kDoubleByte, kUtf8 };
    int codePage;
    Kind kind = Kind::kSingleByte;
    std::array<uint8_t, 256> lower{};
    std::array<bool, 256> leadByte{};
};
