#include "indexer/text_case.h"

#include "foundation/ascii_case.h"
#include "taglib/codepage.h"
#include "indexer/platform.h"

namespace {

// Lead bytes of the Windows double-byte code pages (Japanese, Simplified and Traditional Chinese,
// Korean).
bool IsDoubleByteLead(int codePage, unsigned byte) {
    switch (codePage) {
        case 932:
            return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
        case 936:
        case 949:
        case 950:
            return byte >= 0x81 && byte <= 0xFE;
        default:
            return false;
    }
}

size_t Utf8SequenceLength(uint8_t lead) {
    if (lead < 0x80) {
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        return 2;
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        return 3;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        return 4;
    }
    return 0;  // not a lead byte
}

void EncodeUtf8(char32_t c, char* out, size_t length) {
    if (length == 2) {
        out[0] = static_cast<char>(0xC0 | (c >> 6));
        out[1] = static_cast<char>(0x80 | (c & 0x3F));
    } else if (length == 3) {
        out[0] = static_cast<char>(0xE0 | (c >> 12));
        out[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out[2] = static_cast<char>(0x80 | (c & 0x3F));
    }
}

size_t Utf8Length(char32_t c) {
    return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
}

}  // namespace

CodePageCase::CodePageCase(int codePageIn) : codePage(codePageIn) {
    for (unsigned b = 0; b < 256; ++b) {
        lower[b] = static_cast<uint8_t>(ToLowerAscii(static_cast<char>(b)));
        leadByte[b] = IsDoubleByteLead(codePage, b);
    }
    if (codePage == kCodePageUtf8) {
        kind = Kind::kUtf8;
        return;
    }
    if (codePage == 932 || codePage == 936 || codePage == 949 || codePage == 950) {
        kind = Kind::kDoubleByte;
        return;
    }
    // A single-byte code page: lower each byte above ASCII through its Unicode character, where the
    // lower-case letter is again one byte of the same code page.
    for (unsigned b = 0x80; b < 256; ++b) {
        std::string utf8;
        char byte = static_cast<char>(b);
        if (!ConvertCodePage(std::string_view(&byte, 1), codePage, kCodePageUtf8, utf8) || utf8.empty()) {
            continue;
        }
        char32_t c = 0;
        auto u = [&](size_t i) { return static_cast<uint8_t>(utf8[i]); };
        if (utf8.size() == 2) {
            c = ((u(0) & 0x1F) << 6) | (u(1) & 0x3F);
        } else if (utf8.size() == 3) {
            c = ((u(0) & 0x0F) << 12) | ((u(1) & 0x3F) << 6) | (u(2) & 0x3F);
        } else {
            continue;
        }
        char32_t lowered = LowerCodePoint(c);
        if (lowered == c || lowered < 0x80 || lowered >= 0x10000) {
            continue;
        }
        char encoded[3];
        size_t length = Utf8Length(lowered);
        EncodeUtf8(lowered, encoded, length);
        std::string back;
        if (ConvertCodePage(std::string_view(encoded, length), kCodePageUtf8, codePage, back) &&
            back.size() == 1) {
            lower[b] = static_cast<uint8_t>(back[0]);
        }
    }
    // Lowering twice must give the same text as lowering once.
    for (unsigned b = 0; b < 256; ++b) {
        if (lower[lower[b]] != lower[b]) {
            lower[b] = static_cast<uint8_t>(b);
        }
    }
}

void CodePageCase::Lower(std::string& text) const {
    Lower(text.data(), text.size());
}

void CodePageCase::Lower(char* text, size_t length) const {
    auto* bytes = reinterpret_cast<uint8_t*>(text);
    switch (kind) {
        case Kind::kSingleByte:
            for (size_t i = 0; i < length; ++i) {
                bytes[i] = lower[bytes[i]];
            }
            return;
        case Kind::kDoubleByte:
            for (size_t i = 0; i < length; ++i) {
                if (leadByte[bytes[i]] && i + 1 < length) {
                    ++i;  // the trail byte is not a character of its own
                } else {
                    bytes[i] = lower[bytes[i]];
                }
            }
            return;
        case Kind::kUtf8:
            for (size_t i = 0; i < length;) {
                size_t sequence = Utf8SequenceLength(bytes[i]);
                if (sequence == 1) {
                    bytes[i] = lower[bytes[i]];
                    ++i;
                    continue;
                }
                if (sequence == 0 || i + sequence > length) {
                    ++i;  // a stray byte stays as it is
                    continue;
                }
                bool wellFormed = true;
                for (size_t k = 1; k < sequence; ++k) {
                    wellFormed = wellFormed && (bytes[i + k] & 0xC0) == 0x80;
                }
                if (!wellFormed) {
                    ++i;
                    continue;
                }
                if (sequence <= 3) {
                    char32_t c = sequence == 2 ? ((bytes[i] & 0x1F) << 6) | (bytes[i + 1] & 0x3F)
                                               : ((bytes[i] & 0x0F) << 12) | ((bytes[i + 1] & 0x3F) << 6) |
                                                     (bytes[i + 2] & 0x3F);
                    char32_t lowered = LowerCodePoint(c);
                    if (lowered != c && Utf8Length(lowered) == sequence && Utf8Length(c) == sequence) {
                        EncodeUtf8(lowered, text + i, sequence);
                    }
                }
                i += sequence;
            }
            return;
    }
}

size_t CodePageCase::CutAtCharBoundary(std::string_view text, size_t limit) const {
    if (text.size() <= limit) {
        return text.size();
    }
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    switch (kind) {
        case Kind::kSingleByte:
            return limit;
        case Kind::kDoubleByte: {
            size_t end = 0;
            for (size_t i = 0; i < limit;) {
                size_t next = i + ((leadByte[bytes[i]] && i + 1 < text.size()) ? 2 : 1);
                if (next > limit) {
                    break;
                }
                end = i = next;
            }
            return end;
        }
        case Kind::kUtf8: {
            size_t end = limit;
            // Step back over continuation bytes to the start of the character that the limit cuts.
            while (end > 0 && (bytes[end] & 0xC0) == 0x80) {
                --end;
            }
            return end;
        }
    }
    return limit;
}
