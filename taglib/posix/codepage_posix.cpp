// Code page conversion on POSIX through iconv, with Windows code page numbers mapped to iconv names.
#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "foundation/ascii_case.h"
#include "taglib/codepage.h"
#include "taglib/codepage_platform.h"

namespace {

std::string IconvName(int codePage) {
    switch (codePage) {
        case kCodePageUtf8:
            return "UTF-8";
        case 1200:
            return "UTF-16LE";
        case 1201:
            return "UTF-16BE";
        case 20127:
            return "ASCII";
        case 20866:
            return "KOI8-R";
        case 20932:
            return "EUC-JP";
        case 21866:
            return "KOI8-U";
        case 28605:
            return "ISO-8859-15";
        default:
            break;
    }
    if (codePage >= 28591 && codePage <= 28599) {
        return "ISO-8859-" + std::to_string(codePage - 28590);
    }
    return "CP" + std::to_string(codePage);
}

class IconvHandle {
public:
    IconvHandle(const std::string& to, const std::string& from)
        : handle(iconv_open(to.c_str(), from.c_str())) {}
    ~IconvHandle() {
        if (IsOpen()) {
            iconv_close(handle);
        }
    }
    IconvHandle(const IconvHandle&) = delete;
    IconvHandle& operator=(const IconvHandle&) = delete;

    bool IsOpen() const {
        // iconv_open's documented failure value is (iconv_t)-1.
        return handle != reinterpret_cast<iconv_t>(-1);  // NOLINT(performance-no-int-to-ptr)
    }
    iconv_t Get() const { return handle; }

private:
    iconv_t handle;
};

// Code page of a locale name such as "de_DE.ISO-8859-1" or "C.UTF-8"; the C and POSIX locales count as
// UTF-8, as does a codeset this table does not know.
int CodePageOfLocale(const char* locale) {
    if (!locale || !*locale) {
        return kCodePageUtf8;
    }
    const char* dot = std::strchr(locale, '.');
    if (!dot) {
        return kCodePageUtf8;
    }
    std::string codeset(dot + 1);
    codeset = codeset.substr(0, codeset.find('@'));
    std::string upper;
    for (char c : codeset) {
        if (c != '-' && c != '_') {
            upper += ToUpperAscii(c);
        }
    }
    if (upper == "UTF8") {
        return kCodePageUtf8;
    }
    if (upper.rfind("ISO8859", 0) == 0) {
        int part = std::atoi(upper.c_str() + 7);
        if (part == 15) {
            return 28605;
        }
        if (part >= 1 && part <= 9) {
            return 28590 + part;
        }
    }
    if (upper.rfind("CP", 0) == 0 && upper.size() > 2) {
        return std::atoi(upper.c_str() + 2);
    }
    if (upper == "KOI8R") {
        return 20866;
    }
    if (upper == "EUCJP") {
        return 20932;
    }
    if (upper == "SJIS" || upper == "SHIFTJIS") {
        return 932;
    }
    if (upper == "GBK" || upper == "GB2312") {
        return 936;
    }
    if (upper == "BIG5") {
        return 950;
    }
    return kCodePageUtf8;
}

}  // namespace

int SystemCodePage() {
    // The locale of the environment, as setlocale(LC_CTYPE, "") would choose it, without changing the
    // process's locale.
    for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value && *value) {
            return CodePageOfLocale(value);
        }
    }
    return kCodePageUtf8;
}

namespace {

// The length of the well-formed UTF-8 character that starts with this byte.
size_t Utf8CharLength(unsigned char lead) {
    if (lead < 0x80) {
        return 1;
    }
    if (lead < 0xE0) {
        return 2;
    }
    return lead < 0xF0 ? 3 : 4;
}

// Converts the whole text with iconv; false when any of it does not convert. With a `replacement`, a
// UTF-8 source character that the target lacks becomes the replacement instead.
bool IconvConvert(std::string_view text, int fromCodePage, int toCodePage, const std::string* replacement,
                  std::string& out) {
    IconvHandle converter(IconvName(toCodePage), IconvName(fromCodePage));
    if (!converter.IsOpen()) {
        return false;
    }
    std::string result;
    result.resize(text.size() * 4 + 16);
    std::string input(text);
    char* in = input.data();
    size_t inLeft = input.size();
    char* outPointer = result.data();
    size_t outLeft = result.size();
    auto grow = [&](size_t needed) {
        size_t used = static_cast<size_t>(outPointer - result.data());
        result.resize(result.size() * 2 + needed);
        outPointer = result.data() + used;
        outLeft = result.size() - used;
    };
    while (inLeft > 0) {
        if (iconv(converter.Get(), &in, &inLeft, &outPointer, &outLeft) != static_cast<size_t>(-1)) {
            continue;
        }
        if (errno == E2BIG) {
            grow(0);
            continue;
        }
        if (errno != EILSEQ || replacement == nullptr || fromCodePage != kCodePageUtf8) {
            return false;  // invalid or incomplete sequence: the text does not convert
        }
        // A well-formed character the target has no form for.
        size_t skip = std::min(Utf8CharLength(static_cast<unsigned char>(*in)), inLeft);
        in += skip;
        inLeft -= skip;
        if (outLeft < replacement->size()) {
            grow(replacement->size());
        }
        std::copy_n(replacement->data(), replacement->size(), outPointer);
        outPointer += replacement->size();
        outLeft -= replacement->size();
    }
    // Flush a stateful encoding.
    while (iconv(converter.Get(), nullptr, nullptr, &outPointer, &outLeft) == static_cast<size_t>(-1)) {
        if (errno != E2BIG) {
            return false;
        }
        grow(0);
    }
    result.resize(static_cast<size_t>(outPointer - result.data()));
    out = std::move(result);
    return true;
}

// Windows' single-byte code pages turn each byte they leave undefined into the C1 control of the same
// value (0x81 in 1252 is U+0081) and back, where iconv refuses it; the native build follows Windows so
// that both give the same texts.
bool HasC1Holes(int codePage) {
    return codePage == 874 || (codePage >= 1250 && codePage <= 1258);
}

bool IsC1Hole(int codePage, unsigned char byte) {
    std::string ignored;
    return byte >= 0x80 && byte <= 0x9F &&
           !IconvConvert(std::string_view(reinterpret_cast<const char*>(&byte), 1), codePage, kCodePageUtf8,
                         nullptr, ignored);
}

bool AppendConverted(std::string_view run, int fromCodePage, int toCodePage, const std::string* replacement,
                     std::string& result) {
    std::string converted;
    if (!IconvConvert(run, fromCodePage, toCodePage, replacement, converted)) {
        return false;
    }
    result += converted;
    return true;
}

bool DecodeWithHoles(std::string_view text, int codePage, std::string& utf8) {
    std::string result;
    size_t runStart = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        auto byte = static_cast<unsigned char>(text[i]);
        if (IsC1Hole(codePage, byte)) {
            if (!AppendConverted(text.substr(runStart, i - runStart), codePage, kCodePageUtf8, nullptr,
                                 result)) {
                return false;
            }
            result += '\xC2';
            result += static_cast<char>(byte);
            runStart = i + 1;
        }
    }
    if (!AppendConverted(text.substr(runStart), codePage, kCodePageUtf8, nullptr, result)) {
        return false;
    }
    utf8 = std::move(result);
    return true;
}

bool EncodeWithHoles(std::string_view utf8, int codePage, const std::string* replacement, std::string& out) {
    std::string result;
    size_t runStart = 0;
    // 0xC2 is always a lead byte in UTF-8; with 0x80 to 0x9F after it, it is a C1 control.
    for (size_t i = 0; i + 1 < utf8.size(); ++i) {
        auto second = static_cast<unsigned char>(utf8[i + 1]);
        if (static_cast<unsigned char>(utf8[i]) == 0xC2 && IsC1Hole(codePage, second)) {
            if (!AppendConverted(utf8.substr(runStart, i - runStart), kCodePageUtf8, codePage, replacement,
                                 result)) {
                return false;
            }
            result += static_cast<char>(second);
            runStart = i + 2;
            ++i;
        }
    }
    if (!AppendConverted(utf8.substr(runStart), kCodePageUtf8, codePage, replacement, result)) {
        return false;
    }
    out = std::move(result);
    return true;
}

bool ToUtf8(std::string_view text, int codePage, std::string& utf8) {
    if (codePage == kCodePageUtf8) {
        utf8.assign(text);
        return true;
    }
    if (IconvConvert(text, codePage, kCodePageUtf8, nullptr, utf8)) {
        return true;
    }
    return HasC1Holes(codePage) && DecodeWithHoles(text, codePage, utf8);
}

}  // namespace

bool PlatformConvert(std::string_view text, int fromCodePage, int toCodePage, Unmappable unmappable,
                     std::string& out) {
    if (IconvConvert(text, fromCodePage, toCodePage, nullptr, out)) {
        return true;
    }
    const bool replace = unmappable == Unmappable::kDefaultChar;
    if (!replace && !HasC1Holes(fromCodePage) && !HasC1Holes(toCodePage)) {
        return false;
    }
    // Through UTF-8, so that only well-formed characters are left that the target may lack.
    std::string utf8;
    if (!ToUtf8(text, fromCodePage, utf8)) {
        return false;
    }
    std::string defaultChar;
    if (replace && !IconvConvert("?", kCodePageUtf8, toCodePage, nullptr, defaultChar)) {
        return false;
    }
    const std::string* replacement = replace ? &defaultChar : nullptr;
    if (HasC1Holes(toCodePage)) {
        return EncodeWithHoles(utf8, toCodePage, replacement, out);
    }
    if (toCodePage == kCodePageUtf8) {
        out = std::move(utf8);
        return true;
    }
    return IconvConvert(utf8, kCodePageUtf8, toCodePage, replacement, out);
}
