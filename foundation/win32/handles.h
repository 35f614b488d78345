// The kinds of Windows handles the programs keep, each in the one owning holder (foundation/unique_handle.h).
#pragma once

#include <windows.h>
#include <objbase.h>
#include <shtypes.h>

#include "foundation/unique_handle.h"

// Handles for which null means "none", closed by one function of the platform.
template <typename HandleType, auto CloseFunction>
struct NullInvalidTraits {
    using Handle = HandleType;
    static Handle Invalid() { return nullptr; }
    static bool IsValid(Handle handle) { return handle != nullptr; }
    static void Close(Handle handle) { CloseFunction(handle); }
};

// Kernel objects (files, mutexes, events): CreateFile reports failure with INVALID_HANDLE_VALUE, most
// other calls with null, so neither is ever closed.
struct KernelHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return nullptr; }
    static bool IsValid(Handle handle) { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }
    static void Close(Handle handle) { CloseHandle(handle); }
};

// A directory search of FindFirstFile: the same values mean "none", but FindClose ends it.
struct FindHandleTraits : KernelHandleTraits {
    static void Close(Handle handle) { FindClose(handle); }
};

using KernelHandle = UniqueHandle<KernelHandleTraits>;
using FindHandle = UniqueHandle<FindHandleTraits>;
using RegistryKey = UniqueHandle<NullInvalidTraits<HKEY, &RegCloseKey>>;
using MappedView = UniqueHandle<NullInvalidTraits<const void*, &UnmapViewOfFile>>;
using MenuHandle = UniqueHandle<NullInvalidTraits<HMENU, &DestroyMenu>>;
using WindowsHook = UniqueHandle<NullInvalidTraits<HHOOK, &UnhookWindowsHookEx>>;
// A device context the program made (CreateCompatibleDC); one from GetDC is released, not deleted.
using MemoryDc = UniqueHandle<NullInvalidTraits<HDC, &DeleteDC>>;
using BitmapHandle = UniqueHandle<NullInvalidTraits<HBITMAP, &DeleteObject>>;
// A shell item list handed out by the shell (folder browser, special folders), in COM task memory.
using ItemIdList = UniqueHandle<NullInvalidTraits<LPITEMIDLIST, &CoTaskMemFree>>;
