#include "indexer/unicode_case.h"

#include "foundation/ascii_case.h"

char32_t SimpleLowerCodePoint(char32_t c) {
    if (c < 0x80) {
        return static_cast<unsigned char>(ToLowerAscii(static_cast<char>(c)));
    }
    if ((c >= 0xC0 && c <= 0xDE && c != 0xD7)) {
        return c + 0x20;
    }
    // Latin Extended-A: pairs of capital (even) and small (odd) letters, with a shifted stretch.
    if (c >= 0x100 && c <= 0x137) {
        return (c == 0x130 || c == 0x131) ? c : (c | 1);  // dotted and dotless i change their length
    }
    if (c >= 0x139 && c <= 0x148) {
        return (c & 1) != 0 ? c + 1 : c;
    }
    if (c >= 0x14A && c <= 0x177) {
        return c | 1;
    }
    if (c == 0x178) {
        return 0xFF;
    }
    if (c >= 0x179 && c <= 0x17E) {
        return (c & 1) != 0 ? c + 1 : c;
    }
    // Greek.
    if (c == 0x386) {
        return 0x3AC;
    }
    if (c >= 0x388 && c <= 0x38A) {
        return c + 0x25;
    }
    if (c == 0x38C) {
        return 0x3CC;
    }
    if (c == 0x38E || c == 0x38F) {
        return c + 0x3F;
    }
    if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) {
        return c + 0x20;
    }
    // Cyrillic.
    if (c >= 0x400 && c <= 0x40F) {
        return c + 0x50;
    }
    if (c >= 0x410 && c <= 0x42F) {
        return c + 0x20;
    }
    if (c == 0x490) {
        return 0x491;
    }
    return c;
}
