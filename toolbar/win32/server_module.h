// Module-wide state of LumenoteToolbar.dll: its instance handle, its own path and the lock count that
// DllCanUnloadNow answers from.
#pragma once

#include <windows.h>

#include <string>

HINSTANCE ModuleInstance();

// Every object of the server holds one lock for its lifetime; IClassFactory::LockServer adds and
// removes locks too. Changes are atomic: objects of several threads of the host share the count.
void LockModule();
void UnlockModule();

class ModuleLock {
public:
    ModuleLock() { LockModule(); }
    ~ModuleLock() { UnlockModule(); }
    ModuleLock(const ModuleLock&) = delete;
    ModuleLock& operator=(const ModuleLock&) = delete;
};

// Room for the library's own path, terminator included.
constexpr DWORD kModulePathCapacity = 1024;

// The full path of the library in the ANSI code page. False when it does not fit into
// kModulePathCapacity or holds characters the code page lacks (the path would name another file).
bool GetModulePathAnsi(std::string& path);

// The same path in UTF-16, converted from the ANSI path as the registry and the shell see it.
bool GetModulePathWide(std::wstring& path);
