// JPGIconOverlay: tells the shell which files get the add-on's overlay icon, by the rule of
// overlay_rule.h. The object has no state of its own; the shell may make one per thread.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include "notara_toolbar.h"
#include "toolbar/win32/dual_dispatch.h"
#include "toolbar/win32/server_module.h"
#include "toolbar/win32/server_object.h"

// COM interfaces have no virtual destructor by design: an object deletes itself, as its own class, in
// Release.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class JPGIconOverlay : public CountedObject<DualDispatch<IJPGIconOverlay>, IShellIconOverlayIdentifier> {
public:
    JPGIconOverlay() = default;

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID interfaceId, void** result) override;

    // IShellIconOverlayIdentifier
    STDMETHODIMP IsMemberOf(LPCWSTR path, DWORD attributes) override;
    STDMETHODIMP GetOverlayInfo(LPWSTR iconFile, int capacity, int* index, DWORD* flags) override;
    STDMETHODIMP GetPriority(int* priority) override;

private:
    ~JPGIconOverlay() override = default;

    ModuleLock moduleLock;
};
#pragma GCC diagnostic pop

HRESULT CreateJPGIconOverlay(REFIID interfaceId, void** result);
