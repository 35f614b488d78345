// An owning COM interface pointer: releases on every exit path.
#pragma once

#include <unknwn.h>

namespace vellumar {

template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    ~ComPtr() { Reset(); }
    ComPtr(const ComPtr& other) : ptr(other.ptr) {
        if (ptr != nullptr) {
            ptr->AddRef();
        }
    }
    ComPtr& operator=(const ComPtr& other) {
        if (this != &other) {
            if (other.ptr != nullptr) {
                other.ptr->AddRef();
            }
            Reset();
            ptr = other.ptr;
        }
        return *this;
    }

    T* Get() const { return ptr; }
    T* operator->() const { return ptr; }
    explicit operator bool() const { return ptr != nullptr; }

    // Out-parameter for creation and query calls; releases what was held.
    T** Put() {
        Reset();
        return &ptr;
    }
    void** PutVoid() { return reinterpret_cast<void**>(Put()); }

    void Reset() {
        if (ptr != nullptr) {
            T* old = ptr;
            ptr = nullptr;
            old->Release();
        }
    }

    template <typename U>
    HRESULT As(ComPtr<U>& out) const {
        if (ptr == nullptr) {
            return E_POINTER;
        }
        return ptr->QueryInterface(__uuidof(U), out.PutVoid());
    }

private:
    T* ptr = nullptr;
};

}  // namespace vellumar
