// Owned BSTR and VARIANT values.
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
