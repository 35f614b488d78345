// What every object of the server shares: a reference count, the module lock it holds for its
// lifetime, and creation through the class factory.
#pragma once

#include <windows.h>

#include <new>

// Starts at 1 for the reference of the code that made the object.
class ReferenceCount {
public:
    ULONG Increment() { return static_cast<ULONG>(InterlockedIncrement(&count)); }
    ULONG Decrement() { return static_cast<ULONG>(InterlockedDecrement(&count)); }

private:
    LONG count = 1;
};

// Makes an object of class T and asks it for `interfaceId`; the object is gone again when it does not
// answer that interface.
template <typename T>
HRESULT CreateServerObject(REFIID interfaceId, void** result) {
    if (result == nullptr) {
        return E_POINTER;
    }
    *result = nullptr;
    T* object = new (std::nothrow) T();
    if (object == nullptr) {
        return E_OUTOFMEMORY;
    }
    HRESULT hr = object->QueryInterface(interfaceId, result);
    object->Release();
    return hr;
}
