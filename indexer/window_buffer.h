// The buffer a file window is read into, shared by the platform layers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>

// Grows to the largest window asked for and is kept for the next one. Never cleared: every byte handed
// out has just been read into.
class WindowBuffer {
public:
    // Room for `length` bytes, or nullptr when there is no memory for them.
    uint8_t* Reserve(size_t length) {
        if (capacity < length) {
            bytes.reset(new (std::nothrow) uint8_t[length]);
            capacity = bytes ? length : 0;
        }
        return bytes.get();
    }

private:
    std::unique_ptr<uint8_t[]> bytes;
    size_t capacity = 0;
};
