// The type library NOTARATOOLBARLib, kept in the library's own file as TYPELIB 1.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>

#include "com_ptr.h"

// Loads the type library from the library file at `modulePath` without touching the registry.
HRESULT LoadServerTypeLibrary(const std::wstring& modulePath, ComPtr<ITypeLib>& typeLib);

// Registers the type library (its TypeLib and Interface keys) with `modulePath` as its file.
HRESULT RegisterServerTypeLibrary(const std::wstring& modulePath);

// Removes that registration. UnRegisterTypeLib is looked up in oleaut32.dll when it is needed, since
// old systems lack it.
HRESULT UnregisterServerTypeLibrary();
