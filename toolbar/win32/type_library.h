// The type library NOTARATOOLBARLib, kept in the library's own file as TYPELIB 1.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>

#include "foundation/win32/com_ptr.h"

// The platform the type library is compiled for, under which RegisterTypeLib files it: a 64-bit build
// embeds a 64-bit type library.
constexpr SYSKIND kServerTypeLibrarySysKind = sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;

// Loads the type library from the library file at `modulePath` without touching the registry.
HRESULT LoadServerTypeLibrary(const std::wstring& modulePath, ComPtr<ITypeLib>& typeLib);

// Registers the type library (its TypeLib and Interface keys) with `modulePath` as its file.
HRESULT RegisterServerTypeLibrary(const std::wstring& modulePath);

// Removes that registration. UnRegisterTypeLib is looked up in oleaut32.dll when it is needed, since
// old systems lack it.
HRESULT UnregisterServerTypeLibrary();
