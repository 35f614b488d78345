#include "toolbar/com_guids.h"

#include <cstdio>

namespace {

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

bool ReadHex(std::string_view text, size_t first, size_t count, uint32_t& value) {
    value = 0;
    for (size_t i = first; i < first + count; ++i) {
        int digit = HexDigitValue(text[i]);
        if (digit < 0) {
            return false;
        }
        value = value * 16 + static_cast<uint32_t>(digit);
    }
    return true;
}

}  // namespace

std::string FormatGuid(const ComGuid& guid) {
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(guid.data1), static_cast<unsigned>(guid.data2),
                  static_cast<unsigned>(guid.data3), guid.data4[0], guid.data4[1], guid.data4[2],
                  guid.data4[3], guid.data4[4], guid.data4[5], guid.data4[6], guid.data4[7]);
    return text;
}

bool ParseGuid(std::string_view text, ComGuid& out) {
    if (text.size() == 38) {
        if (text.front() != '{' || text.back() != '}') {
            return false;
        }
        text = text.substr(1, 36);
    }
    if (text.size() != 36 || text[8] != '-' || text[13] != '-' || text[18] != '-' || text[23] != '-') {
        return false;
    }
    ComGuid guid;
    uint32_t value = 0;
    if (!ReadHex(text, 0, 8, guid.data1)) {
        return false;
    }
    if (!ReadHex(text, 9, 4, value)) {
        return false;
    }
    guid.data2 = static_cast<uint16_t>(value);
    if (!ReadHex(text, 14, 4, value)) {
        return false;
    }
    guid.data3 = static_cast<uint16_t>(value);
    const size_t bytePositions[8] = {19, 21, 24, 26, 28, 30, 32, 34};
    for (size_t i = 0; i < 8; ++i) {
        if (!ReadHex(text, bytePositions[i], 2, value)) {
            return false;
        }
        guid.data4[i] = static_cast<uint8_t>(value);
    }
    out = guid;
    return true;
}
