// Code page conversion on POSIX through iconv, with Windows code page numbers mapped to iconv names.
#include <iconv.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "codepage.h"
#include "codepage_platform.h"

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

    bool IsOpen() const { return handle != reinterpret_cast<iconv_t>(-1); }
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
            upper += static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
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

bool PlatformConvert(std::string_view text, int fromCodePage, int toCodePage, std::string& out) {
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
    while (inLeft > 0) {
        if (iconv(converter.Get(), &in, &inLeft, &outPointer, &outLeft) == static_cast<size_t>(-1)) {
            if (errno != E2BIG) {
                return false;  // invalid or incomplete sequence: the text does not convert
            }
            size_t used = static_cast<size_t>(outPointer - result.data());
            result.resize(result.size() * 2);
            outPointer = result.data() + used;
            outLeft = result.size() - used;
        }
    }
    // Flush a stateful encoding.
    while (iconv(converter.Get(), nullptr, nullptr, &outPointer, &outLeft) == static_cast<size_t>(-1)) {
        if (errno != E2BIG) {
            return false;
        }
        size_t used = static_cast<size_t>(outPointer - result.data());
        result.resize(result.size() * 2);
        outPointer = result.data() + used;
        outLeft = result.size() - used;
    }
    result.resize(static_cast<size_t>(outPointer - result.data()));
    out = std::move(result);
    return true;
}
