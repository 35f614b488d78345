// Owned BSTR and VARIANT values, and the text conversions at the COM boundary.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>

class Bstr {
public:
    Bstr() = default;
    explicit Bstr(const std::wstring& text)
        : value(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    ~Bstr() { SysFreeString(value); }

    BSTR Get() const { return value; }
    // For functions that hand out a new string: frees the current one first.
    BSTR* Put() {
        SysFreeString(value);
        value = nullptr;
        return &value;
    }
    // A missing string (null BSTR) reads as empty text, as COM defines it.
    std::wstring Text() const { return value ? std::wstring(value, SysStringLen(value)) : std::wstring(); }

private:
    BSTR value = nullptr;
};

class Variant {
public:
    Variant() { VariantInit(&value); }
    explicit Variant(LONG number) {
        VariantInit(&value);
        V_VT(&value) = VT_I4;
        V_I4(&value) = number;
    }
    explicit Variant(const std::wstring& text) {
        VariantInit(&value);
        V_BSTR(&value) = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        if (V_BSTR(&value) != nullptr) {
            V_VT(&value) = VT_BSTR;
        }
    }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    ~Variant() { VariantClear(&value); }

    VARIANT& Get() { return value; }

private:
    VARIANT value;
};

// Text of the given code page to UTF-16 and back; empty when the conversion fails.
inline std::wstring ToWide(const std::string& text, UINT codePage) {
    if (text.empty()) {
        return {};
    }
    int length = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (length <= 0) {
        return {};
    }
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

inline std::string FromWide(const std::wstring& text, UINT codePage) {
    if (text.empty()) {
        return {};
    }
    int length = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                     nullptr, nullptr);
    if (length <= 0) {
        return {};
    }
    std::string narrow(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), narrow.data(), length,
                        nullptr, nullptr);
    return narrow;
}
