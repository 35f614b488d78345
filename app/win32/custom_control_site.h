// CCustomControlSite: the program's control site. It adds the document host's user-interface handler
// to the ordinary site, so that the browser control shows pages like a plain window: no context menu,
// no 3-D border, none of the browser's own menus or toolbars.
#pragma once

#include <windows.h>
#include <mshtmhst.h>

#include "app/win32/control_site.h"

namespace vellumar {

// COM objects are destroyed only by their own Release, never through an interface pointer, so the
// interfaces' non-virtual destructors are harmless here.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class CCustomControlSite : public ControlSite, public IDocHostUIHandler {
public:
    explicit CCustomControlSite(HWND containerWindow) : ControlSite(containerWindow) {}

    // The factory installed at start-up.
    static ControlSite* Create(HWND containerWindow);

    // IUnknown (the site's)
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        return ControlSite::QueryInterface(riid, ppv);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ControlSite::AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return ControlSite::Release(); }

    // IDocHostUIHandler
    STDMETHODIMP ShowContextMenu(DWORD id, POINT* point, IUnknown* commandTarget, IDispatch* object) override;
    STDMETHODIMP GetHostInfo(DOCHOSTUIINFO* info) override;
    STDMETHODIMP ShowUI(DWORD id, IOleInPlaceActiveObject* activeObject, IOleCommandTarget* commandTarget,
                        IOleInPlaceFrame* uiFrame, IOleInPlaceUIWindow* doc) override;
    STDMETHODIMP HideUI() override;
    STDMETHODIMP UpdateUI() override;
    STDMETHODIMP EnableModeless(BOOL enable) override;
    STDMETHODIMP OnDocWindowActivate(BOOL activate) override;
    STDMETHODIMP OnFrameWindowActivate(BOOL activate) override;
    STDMETHODIMP ResizeBorder(LPCRECT border, IOleInPlaceUIWindow* uiWindow, BOOL frameWindow) override;
    STDMETHODIMP TranslateAccelerator(LPMSG msg, const GUID* group, DWORD commandId) override;
    STDMETHODIMP GetOptionKeyPath(LPOLESTR* key, DWORD reserved) override;
    STDMETHODIMP GetDropTarget(IDropTarget* dropTarget, IDropTarget** replacement) override;
    STDMETHODIMP GetExternal(IDispatch** dispatch) override;
    STDMETHODIMP TranslateUrl(DWORD translate, LPWSTR urlIn, LPWSTR* urlOut) override;
    STDMETHODIMP FilterDataObject(IDataObject* object, IDataObject** replacement) override;

protected:
    HRESULT QueryExtraInterface(REFIID riid, void** ppv) override;
};

#pragma GCC diagnostic pop

}  // namespace vellumar
