// NotaraTBObj: the browser toolbar band with its "Show" button, which drives the band's DocumentHandler.
#pragma once

#include <shlobj.h>
#include <windows.h>

#include <memory>

#include "toolbar/win32/band_windows.h"
#include "foundation/win32/com_ptr.h"
#include "toolbar/win32/dual_dispatch.h"
#include "notara_toolbar.h"
#include "toolbar/win32/server_module.h"
#include "toolbar/win32/server_object.h"

// COM interfaces have no virtual destructor by design: an object deletes itself, as its own class, in
// Release.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class NotaraTBObj : public CountedObject<DualDispatch<INotaraTBObj>, IDeskBand, IObjectWithSite> {
public:
    NotaraTBObj() = default;

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID interfaceId, void** result) override;

    // IOleWindow
    STDMETHODIMP GetWindow(HWND* window) override;
    STDMETHODIMP ContextSensitiveHelp(BOOL enterMode) override;

    // IDockingWindow
    STDMETHODIMP ShowDW(BOOL show) override;
    STDMETHODIMP CloseDW(DWORD reserved) override;
    STDMETHODIMP ResizeBorderDW(LPCRECT border, IUnknown* site, BOOL reserved) override;

    // IDeskBand
    STDMETHODIMP GetBandInfo(DWORD bandId, DWORD viewMode, DESKBANDINFO* info) override;

    // IObjectWithSite
    STDMETHODIMP SetSite(IUnknown* site) override;
    STDMETHODIMP GetSite(REFIID interfaceId, void** result) override;

private:
    ~NotaraTBObj() override;
    HRESULT ChangeSite(IUnknown* newSite);
    HRESULT MakeWindows(HWND parent);

    ModuleLock moduleLock;
    DWORD bandId = 0;
    DWORD viewMode = 0;
    bool shown = false;
    bool contextHelpMode = false;
    HWND parentWindow = nullptr;
    // Made first, so that the handler exists from the band's construction on; torn down after the host.
    std::unique_ptr<ToolbarControl> toolbar = std::make_unique<ToolbarControl>();
    HostWindow host{*toolbar};
    ComPtr<IInputObjectSite> site;
};
#pragma GCC diagnostic pop

HRESULT CreateNotaraTBObj(REFIID interfaceId, void** result);
