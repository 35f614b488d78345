#include "app/win32/control_site.h"

namespace vellumar {

namespace {

ControlSite* CreateOrdinarySite(HWND container) {
    return new ControlSite(container);
}

ControlSiteFactory siteFactory = &CreateOrdinarySite;

}  // namespace

void EnableControlContainer(ControlSiteFactory factory) {
    siteFactory = factory != nullptr ? factory : &CreateOrdinarySite;
}

ControlSite* CreateControlSite(HWND container) {
    return siteFactory(container);
}

// IUnknown of the frame: the site's
STDMETHODIMP ControlFrame::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        return E_INVALIDARG;
    }
    if (riid == IID_IOleInPlaceFrame || riid == IID_IOleInPlaceUIWindow || riid == IID_IOleWindow) {
        *ppv = static_cast<IOleInPlaceFrame*>(this);
        AddRef();
        return S_OK;
    }
    return site.QueryInterface(riid, ppv);
}
STDMETHODIMP_(ULONG) ControlFrame::AddRef() {
    return site.AddRef();
}
STDMETHODIMP_(ULONG) ControlFrame::Release() {
    return site.Release();
}

// IOleWindow
STDMETHODIMP ControlFrame::GetWindow(HWND* phwnd) {
    if (phwnd == nullptr) {
        return E_INVALIDARG;
    }
    *phwnd = GetAncestor(site.Container(), GA_ROOT);
    return S_OK;
}
STDMETHODIMP ControlFrame::ContextSensitiveHelp(BOOL) {
    return E_NOTIMPL;
}

// IOleInPlaceUIWindow: the frame has no tool space to give.
STDMETHODIMP ControlFrame::GetBorder(LPRECT) {
    return INPLACE_E_NOTOOLSPACE;
}
STDMETHODIMP ControlFrame::RequestBorderSpace(LPCBORDERWIDTHS) {
    return INPLACE_E_NOTOOLSPACE;
}
STDMETHODIMP ControlFrame::SetBorderSpace(LPCBORDERWIDTHS) {
    return E_NOTIMPL;
}
STDMETHODIMP ControlFrame::SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) {
    return S_OK;
}

// IOleInPlaceFrame: no menus are merged, no status bar exists.
STDMETHODIMP ControlFrame::InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) {
    return E_NOTIMPL;
}
STDMETHODIMP ControlFrame::SetMenu(HMENU, HOLEMENU, HWND) {
    return S_OK;
}
STDMETHODIMP ControlFrame::RemoveMenus(HMENU) {
    return E_NOTIMPL;
}
STDMETHODIMP ControlFrame::SetStatusText(LPCOLESTR) {
    return S_OK;
}
STDMETHODIMP ControlFrame::EnableModeless(BOOL) {
    return S_OK;
}
STDMETHODIMP ControlFrame::TranslateAccelerator(LPMSG, WORD) {
    return S_FALSE;
}

ControlSite::ControlSite(HWND containerWindow) : container(containerWindow), frame(*this) {}

// IUnknown
STDMETHODIMP ControlSite::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        return E_INVALIDARG;
    }
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IID_IOleClientSite) {
        *ppv = static_cast<IOleClientSite*>(this);
    } else if (riid == IID_IOleInPlaceSite || riid == IID_IOleWindow) {
        *ppv = static_cast<IOleInPlaceSite*>(this);
    } else {
        return QueryExtraInterface(riid, ppv);
    }
    AddRef();
    return S_OK;
}
STDMETHODIMP_(ULONG) ControlSite::AddRef() {
    return static_cast<ULONG>(InterlockedIncrement(&refCount));
}
STDMETHODIMP_(ULONG) ControlSite::Release() {
    LONG count = InterlockedDecrement(&refCount);
    if (count == 0) {
        delete this;
    }
    return static_cast<ULONG>(count);
}

HRESULT ControlSite::QueryExtraInterface(REFIID, void** ppv) {
    *ppv = nullptr;
    return E_NOINTERFACE;
}

// IOleClientSite
STDMETHODIMP ControlSite::SaveObject() {
    return E_NOTIMPL;
}
STDMETHODIMP ControlSite::GetMoniker(DWORD, DWORD, IMoniker** moniker) {
    if (moniker != nullptr) {
        *moniker = nullptr;
    }
    return E_NOTIMPL;
}
STDMETHODIMP ControlSite::GetContainer(IOleContainer** oleContainer) {
    if (oleContainer == nullptr) {
        return E_INVALIDARG;
    }
    *oleContainer = nullptr;
    return E_NOINTERFACE;
}
STDMETHODIMP ControlSite::ShowObject() {
    return S_OK;
}
STDMETHODIMP ControlSite::OnShowWindow(BOOL) {
    return S_OK;
}
STDMETHODIMP ControlSite::RequestNewObjectLayout() {
    return E_NOTIMPL;
}

// IOleWindow
STDMETHODIMP ControlSite::GetWindow(HWND* phwnd) {
    if (phwnd == nullptr) {
        return E_INVALIDARG;
    }
    *phwnd = container;
    return S_OK;
}
STDMETHODIMP ControlSite::ContextSensitiveHelp(BOOL) {
    return E_NOTIMPL;
}

// IOleInPlaceSite: the control fills the container's client area.
STDMETHODIMP ControlSite::CanInPlaceActivate() {
    return S_OK;
}
STDMETHODIMP ControlSite::OnInPlaceActivate() {
    return S_OK;
}
STDMETHODIMP ControlSite::OnUIActivate() {
    return S_OK;
}
STDMETHODIMP ControlSite::GetWindowContext(IOleInPlaceFrame** ppFrame, IOleInPlaceUIWindow** doc,
                                           LPRECT posRect, LPRECT clipRect, LPOLEINPLACEFRAMEINFO frameInfo) {
    if (ppFrame == nullptr || doc == nullptr || posRect == nullptr || clipRect == nullptr ||
        frameInfo == nullptr) {
        return E_INVALIDARG;
    }
    *ppFrame = &frame;
    frame.AddRef();
    *doc = nullptr;
    GetClientRect(container, posRect);
    GetClientRect(container, clipRect);
    frameInfo->cb = sizeof(OLEINPLACEFRAMEINFO);
    frameInfo->fMDIApp = FALSE;
    frameInfo->hwndFrame = GetAncestor(container, GA_ROOT);
    frameInfo->haccel = nullptr;
    frameInfo->cAccelEntries = 0;
    return S_OK;
}
STDMETHODIMP ControlSite::Scroll(SIZE) {
    return E_NOTIMPL;
}
STDMETHODIMP ControlSite::OnUIDeactivate(BOOL) {
    return S_OK;
}
STDMETHODIMP ControlSite::OnInPlaceDeactivate() {
    return S_OK;
}
STDMETHODIMP ControlSite::DiscardUndoState() {
    return E_NOTIMPL;
}
STDMETHODIMP ControlSite::DeactivateAndUndo() {
    return E_NOTIMPL;
}
STDMETHODIMP ControlSite::OnPosRectChange(LPCRECT) {
    return S_OK;
}

}  // namespace vellumar
