#include "app/win32/custom_control_site.h"

namespace vellumar {

ControlSite* CCustomControlSite::Create(HWND containerWindow) {
    return new CCustomControlSite(containerWindow);
}

HRESULT CCustomControlSite::QueryExtraInterface(REFIID riid, void** ppv) {
    if (riid == IID_IDocHostUIHandler) {
        *ppv = static_cast<IDocHostUIHandler*>(this);
        AddRef();
        return S_OK;
    }
    return ControlSite::QueryExtraInterface(riid, ppv);
}

// IDocHostUIHandler
STDMETHODIMP CCustomControlSite::ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) {
    // Handled: the browser shows no menu of its own.
    return S_OK;
}

STDMETHODIMP CCustomControlSite::GetHostInfo(DOCHOSTUIINFO* info) {
    if (info == nullptr) {
        return E_INVALIDARG;
    }
    info->dwFlags = DOCHOSTUIFLAG_NO3DBORDER;
    info->dwDoubleClick = DOCHOSTUIDBLCLK_DEFAULT;
    return S_OK;
}

STDMETHODIMP CCustomControlSite::ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*,
                                        IOleInPlaceFrame*, IOleInPlaceUIWindow*) {
    // Handled: no browser menus or toolbars.
    return S_OK;
}

STDMETHODIMP CCustomControlSite::HideUI() {
    return S_OK;
}

STDMETHODIMP CCustomControlSite::UpdateUI() {
    return S_OK;
}

STDMETHODIMP CCustomControlSite::EnableModeless(BOOL) {
    return E_NOTIMPL;
}

STDMETHODIMP CCustomControlSite::OnDocWindowActivate(BOOL) {
    return E_NOTIMPL;
}

STDMETHODIMP CCustomControlSite::OnFrameWindowActivate(BOOL) {
    return E_NOTIMPL;
}

STDMETHODIMP CCustomControlSite::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) {
    return E_NOTIMPL;
}

STDMETHODIMP CCustomControlSite::TranslateAccelerator(LPMSG, const GUID*, DWORD) {
    // Not handled: keys work as in the browser.
    return S_FALSE;
}

STDMETHODIMP CCustomControlSite::GetOptionKeyPath(LPOLESTR* key, DWORD) {
    if (key != nullptr) {
        *key = nullptr;
    }
    return E_NOTIMPL;
}

STDMETHODIMP CCustomControlSite::GetDropTarget(IDropTarget*, IDropTarget** replacement) {
    if (replacement != nullptr) {
        *replacement = nullptr;
    }
    return E_NOTIMPL;
}

STDMETHODIMP CCustomControlSite::GetExternal(IDispatch** dispatch) {
    // The pages hold no scripts; scripts get no external object.
    if (dispatch == nullptr) {
        return E_INVALIDARG;
    }
    *dispatch = nullptr;
    return S_FALSE;
}

STDMETHODIMP CCustomControlSite::TranslateUrl(DWORD, LPWSTR, LPWSTR* urlOut) {
    if (urlOut != nullptr) {
        *urlOut = nullptr;
    }
    return E_NOTIMPL;
}

STDMETHODIMP CCustomControlSite::FilterDataObject(IDataObject*, IDataObject** replacement) {
    if (replacement != nullptr) {
        *replacement = nullptr;
    }
    return E_NOTIMPL;
}

}  // namespace vellumar
