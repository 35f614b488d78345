// Filling a caller's fixed-size character buffer, as the shell's interfaces ask for paths.
#pragma once

#include <cstddef>
#include <string_view>

// Copies `text` with its terminating zero into `buffer` of `capacity` characters. When it does not fit,
// nothing of it is copied (a cut path would name another file); the buffer then holds an empty string
// if it has room for one. False when it did not fit.
template <typename Char>
bool CopyTerminated(std::basic_string_view<Char> text, Char* buffer, size_t capacity) {
    if (buffer == nullptr || capacity == 0) {
        return false;
    }
    if (text.size() >= capacity) {
        buffer[0] = Char(0);
        return false;
    }
    text.copy(buffer, text.size());
    buffer[text.size()] = Char(0);
    return true;
}
