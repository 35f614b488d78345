// An owning holder of one handle of a C interface (a file, a registry key, a GDI object): it closes the
// handle exactly once, on every exit path, and moves but never copies. What a handle is, which values
// name no handle and how one is closed come from the traits:
//   struct Traits {
//       using Handle = ...;
//       static Handle Invalid();          // what an empty holder holds
//       static bool IsValid(Handle h);    // false for every value the interface uses for "no handle"
//       static void Close(Handle h);      // called only for valid handles
//   };
#pragma once

#include <utility>

template <typename Traits>
class UniqueHandle {
public:
    using Handle = typename Traits::Handle;

    UniqueHandle() = default;
    explicit UniqueHandle(Handle handleIn) : handle(handleIn) {}
    ~UniqueHandle() { Reset(); }
    UniqueHandle(UniqueHandle&& other) noexcept : handle(other.Release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        Reset(other.Release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    Handle Get() const { return handle; }
    bool Valid() const { return Traits::IsValid(handle); }
    explicit operator bool() const { return Valid(); }

    // Closes what was held and takes `next`.
    void Reset(Handle next = Traits::Invalid()) {
        const Handle previous = std::exchange(handle, next);
        if (Traits::IsValid(previous)) {
            Traits::Close(previous);
        }
    }

    // Gives the handle to the caller, who closes it from now on.
    Handle Release() { return std::exchange(handle, Traits::Invalid()); }

    // For functions that hand out a new handle through a pointer: closes the current one first.
    Handle* Put() {
        Reset();
        return &handle;
    }

private:
    Handle handle = Traits::Invalid();
};
