// Owning wrappers of the few kernel and user handles the program keeps.
#pragma once

#include <windows.h>

namespace vellumar {

class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE h) : handle(h) {}
    ~UniqueHandle() { Reset(); }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    HANDLE Get() const { return handle; }
    bool Valid() const { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }
    void Reset(HANDLE h = nullptr) {
        if (Valid()) {
            CloseHandle(handle);
        }
        handle = h;
    }

private:
    HANDLE handle = nullptr;
};

class UniqueMenu {
public:
    explicit UniqueMenu(HMENU h) : menu(h) {}
    ~UniqueMenu() {
        if (menu != nullptr) {
            DestroyMenu(menu);
        }
    }
    UniqueMenu(const UniqueMenu&) = delete;
    UniqueMenu& operator=(const UniqueMenu&) = delete;
    HMENU Get() const { return menu; }

private:
    HMENU menu;
};

}  // namespace vellumar
