// A counted COM reference that releases on every exit path.
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

private:
    Interface* pointer = nullptr;
};
