#include "foundation/win32/wide_text.h"

#include <climits>

std::optional<std::wstring> ToWide(std::string_view text, UINT codePage, InvalidSequences invalid) {
    if (text.empty()) {
        return std::wstring();
    }
    if (text.size() > INT_MAX) {
        return std::nullopt;
    }
    const DWORD flags = invalid == InvalidSequences::kReject ? MB_ERR_INVALID_CHARS : 0;
    const int length = static_cast<int>(text.size());
    const int wideLength = MultiByteToWideChar(codePage, flags, text.data(), length, nullptr, 0);
    if (wideLength <= 0) {
        return std::nullopt;
    }
    std::wstring wide(static_cast<size_t>(wideLength), L'\0');
    if (MultiByteToWideChar(codePage, flags, text.data(), length, wide.data(), wideLength) != wideLength) {
        return std::nullopt;
    }
    return wide;
}

std::optional<std::string> ToNarrow(std::wstring_view text, UINT codePage, bool* usedDefault) {
    if (usedDefault != nullptr) {
        *usedDefault = false;
    }
    if (text.empty()) {
        return std::string();
    }
    if (text.size() > INT_MAX) {
        return std::nullopt;
    }
    // The platform refuses both the flag and the question for UTF-8 and UTF-7.
    const bool askDefault = usedDefault != nullptr && codePage != CP_UTF8 && codePage != CP_UTF7;
    const DWORD flags = askDefault ? WC_NO_BEST_FIT_CHARS : 0;
    BOOL used = FALSE;
    BOOL* usedPointer = askDefault ? &used : nullptr;
    const int length = static_cast<int>(text.size());
    const int narrowLength =
        WideCharToMultiByte(codePage, flags, text.data(), length, nullptr, 0, nullptr, usedPointer);
    if (narrowLength <= 0) {
        return std::nullopt;
    }
    std::string narrow(static_cast<size_t>(narrowLength), '\0');
    if (WideCharToMultiByte(codePage, flags, text.data(), length, narrow.data(), narrowLength, nullptr,
                            usedPointer) != narrowLength) {
        return std::nullopt;
    }
    if (askDefault) {
        *usedDefault = used != FALSE;
    }
    return narrow;
}
