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

// The reference counting of an object of the server that answers `Interfaces`: one AddRef and Release
// for all of them, and the object deletes itself, as its own class (its destructor is virtual through
// this one), when the last reference goes.
// COM interfaces have no virtual destructor by design.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
template <typename... Interfaces>
class CountedObject : public Interfaces... {
public:
    STDMETHODIMP_(ULONG) AddRef() override { return references.Increment(); }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG left = references.Decrement();
        if (left == 0) {
            delete this;
        }
        return left;
    }

protected:
    CountedObject() = default;
    virtual ~CountedObject() = default;

private:
    ReferenceCount references;
};
#pragma GCC diagnostic pop

// Runs `body` (returning an HRESULT) and answers a C++ exception it lets out with a result code: an
// exception must never unwind into the frames of the browser or the shell that called into the library,
// which would end their process. Every COM method, export and window procedure that can meet one
// (allocation anywhere in a pass) goes through this.
template <typename Body>
HRESULT GuardEntryPoint(Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
}

// Makes an object of class T and asks it for `interfaceId`; the object is gone again when it does not
// answer that interface.
template <typename T>
HRESULT CreateServerObject(REFIID interfaceId, void** result) {
    if (result == nullptr) {
        return E_POINTER;
    }
    *result = nullptr;
    return GuardEntryPoint([&]() -> HRESULT {
        // The constructor itself may throw (its members allocate); the memory is then freed again.
        T* object = new T();
        HRESULT hr = object->QueryInterface(interfaceId, result);
        object->Release();
        return hr;
    });
}
