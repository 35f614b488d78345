// Helpers of the COM server tests under Wine: the sample photos as wide paths, COM per thread, and the
// overlay answers the sample photos must get. Scratch folders are the shared TempFolder's.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <string>

#include "foundation/win32/wide_text.h"
#include "test_support/temp_folder.h"

namespace testsupport {

// Texts of the tests in the ANSI code page, as the library's narrow side has them.
inline std::wstring Widen(const std::string& text) {
    return ToWide(text, CP_ACP).value_or(std::wstring());
}

inline std::string Narrow(const std::wstring& text) {
    return ToNarrow(text, CP_ACP).value_or(std::string());
}

// The type library of a build is that build's own: a 64-bit library files it under "win64".
inline constexpr SYSKIND kPlatformSysKind = sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;
inline constexpr const char* kPlatformSysKindKey = sizeof(void*) == 8 ? "win64" : "win32";

// A sample photo as the shell would name it: backslashes, UTF-16.
inline std::wstring SamplePhoto(const char* name) {
    std::wstring path = Widen(std::string(VELLUMAR_SOURCE_DIR) + "/samples/photos/" + name);
    for (wchar_t& c : path) {
        if (c == L'/') {
            c = L'\\';
        }
    }
    return path;
}

// COM initialised as a single-threaded apartment, the way the shell and the browser call the classes.
class ComApartment {
public:
    ComApartment() : result(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComApartment() {
        if (SUCCEEDED(result)) {
            CoUninitialize();
        }
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

    HRESULT result;
};

struct OverlayCase {
    const char* photo;
    HRESULT expected;
};

// What IsMemberOf answers for the sample photos.
inline constexpr OverlayCase kOverlayCases[] = {
    {"packet_regions.jpg", S_OK},         {"packet_caption_element.jpg", S_OK},
    {"packet_missing_size.jpg", S_OK},    {"packet_legacy_cp1252.jpg", S_OK},
    {"packet_empty_layers.jpg", S_FALSE}, {"no_packet.jpg", S_FALSE},
    {"packet_not_xml.jpg", S_FALSE},      {"does_not_exist.jpg", S_FALSE},
};

// Copies a file with the wide API, so that names outside the ANSI code page work; false on failure.
inline bool CopyPhoto(const std::wstring& from, const std::wstring& to) {
    return CopyFileW(from.c_str(), to.c_str(), FALSE) != 0;
}

}  // namespace testsupport
