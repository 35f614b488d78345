// An owning COM interface pointer: one reference, released on every exit path. Ours rather than
// <wrl/client.h>: MinGW-w64's copy of that header adds a reference in Attach (which should adopt one)
// and copies instead of moving on move assignment, and compares any two non-null pointers as equal.
#pragma once

#include <unknwn.h>

template <typename Interface>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(const ComPtr& other) : pointer(other.pointer) {
        if (pointer != nullptr) {
            pointer->AddRef();
        }
    }
    ComPtr(ComPtr&& other) noexcept : pointer(other.pointer) { other.pointer = nullptr; }
    ComPtr& operator=(ComPtr other) noexcept {
        Interface* previous = pointer;
        pointer = other.pointer;
        other.pointer = previous;
        return *this;
    }
    ~ComPtr() { Reset(); }

    void Reset() {
        if (pointer != nullptr) {
            Interface* previous = pointer;
            pointer = nullptr;
            previous->Release();
        }
    }

    Interface* Get() const { return pointer; }
    Interface* operator->() const { return pointer; }
    explicit operator bool() const { return pointer != nullptr; }

    // For functions that hand out a new reference: releases the current one first.
    Interface** Put() {
        Reset();
        return &pointer;
    }
    void** PutVoid() { return reinterpret_cast<void**>(Put()); }

    // Gives the reference to the caller, leaving this empty.
    Interface* Detach() {
        Interface* result = pointer;
        pointer = nullptr;
        return result;
    }

    // The same object through another of its interfaces; E_POINTER when this is empty.
    template <typename Other>
    HRESULT As(ComPtr<Other>& out) const {
        if (pointer == nullptr) {
            return E_POINTER;
        }
        return pointer->QueryInterface(__uuidof(Other), out.PutVoid());
    }

private:
    Interface* pointer = nullptr;
};
