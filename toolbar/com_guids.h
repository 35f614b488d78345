// The fixed identities of LumenoteToolbar: its three classes, their default interfaces and its type
// library. The registry, the browser's toolbar list and the shell's overlay list refer to these values,
// so they never change. notara_toolbar.idl repeats them (the IDL compiler needs literals); a unit test
// holds the two in step.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// A GUID in the platform's binary layout, usable where no COM headers exist.
struct ComGuid {
    uint32_t data1 = 0;
    uint16_t data2 = 0;
    uint16_t data3 = 0;
    uint8_t data4[8] = {};

    friend constexpr bool operator==(const ComGuid&, const ComGuid&) = default;
};

namespace guid_detail {

consteval uint32_t HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return static_cast<uint32_t>(c - '0');
    }
    if (c >= 'A' && c <= 'F') {
        return static_cast<uint32_t>(c - 'A' + 10);
    }
    if (c >= 'a' && c <= 'f') {
        return static_cast<uint32_t>(c - 'a' + 10);
    }
    throw "not a hexadecimal digit";  // only ever evaluated at compile time: a bad literal fails the build
}

consteval uint32_t HexValue(std::string_view text, size_t first, size_t count) {
    uint32_t value = 0;
    for (size_t i = first; i < first + count; ++i) {
        value = value * 16 + HexDigit(text[i]);
    }
    return value;
}

}  // namespace guid_detail

// "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX" (no braces) at compile time.
consteval ComGuid GuidFromText(std::string_view text) {
    if (text.size() != 36 || text[8] != '-' || text[13] != '-' || text[18] != '-' || text[23] != '-') {
        throw "malformed GUID literal";
    }
    ComGuid guid;
    guid.data1 = guid_detail::HexValue(text, 0, 8);
    guid.data2 = static_cast<uint16_t>(guid_detail::HexValue(text, 9, 4));
    guid.data3 = static_cast<uint16_t>(guid_detail::HexValue(text, 14, 4));
    guid.data4[0] = static_cast<uint8_t>(guid_detail::HexValue(text, 19, 2));
    guid.data4[1] = static_cast<uint8_t>(guid_detail::HexValue(text, 21, 2));
    for (size_t i = 0; i < 6; ++i) {
        guid.data4[2 + i] = static_cast<uint8_t>(guid_detail::HexValue(text, 24 + 2 * i, 2));
    }
    return guid;
}

// The registry form: upper-case hexadecimal in braces, "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
std::string FormatGuid(const ComGuid& guid);

// Reads the registry form, with or without braces, in either case. False for anything else.
bool ParseGuid(std::string_view text, ComGuid& out);

// Type library NOTARATOOLBARLib 1.0.
constexpr ComGuid kLibidNotaraToolbar = GuidFromText("2558BD94-2BB5-4D25-A332-4E57471AEA95");
constexpr uint16_t kTypeLibMajorVersion = 1;
constexpr uint16_t kTypeLibMinorVersion = 0;
constexpr uint32_t kTypeLibLocale = 0x0409;

// The toolbar band.
constexpr ComGuid kClsidNotaraTBObj = GuidFromText("0C0F6FE2-8C8F-4E29-B942-48E1111182F7");
constexpr ComGuid kIidINotaraTBObj = GuidFromText("CB18A915-7746-4510-BF2A-8890EF1307D4");

// The page annotation engine.
constexpr ComGuid kClsidDocumentHandler = GuidFromText("D2347399-B6E9-460C-B93E-DFD851E0A1BF");
constexpr ComGuid kIidIDocumentHandler = GuidFromText("2C5CA71A-88AF-40C9-9205-A7E570DB8B75");

// The shell icon overlay.
constexpr ComGuid kClsidJPGIconOverlay = GuidFromText("7C1722C1-D2BE-425A-A6D9-A1FC99DD7987");
constexpr ComGuid kIidIJPGIconOverlay = GuidFromText("E1559B91-E682-4CBE-A359-3699EB583C02");
