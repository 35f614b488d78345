#include "toolbar/win32/notara_tb_obj.h"

#include <exdisp.h>
#include <servprov.h>

#include "toolbar/band_logic.h"
#include "toolbar/win32/document_handler.h"

HRESULT CreateNotaraTBObj(REFIID interfaceId, void** result) {
    return CreateServerObject<NotaraTBObj>(interfaceId, result);
}

NotaraTBObj::~NotaraTBObj() {
    // The host window first, then the toolbar control (handler, image list, window); the window classes
    // last, while this object still holds its lock on the library.
    host.Destroy();
    toolbar.reset();
    UnregisterBandWindowClasses();
}

// IUnknown

STDMETHODIMP NotaraTBObj::QueryInterface(REFIID interfaceId, void** result) {
    if (result == nullptr) {
        return E_POINTER;
    }
    if (IsEqualIID(interfaceId, IID_IUnknown) || IsEqualIID(interfaceId, __uuidof(INotaraTBObj))) {
        *result = static_cast<INotaraTBObj*>(this);
    } else if (IsEqualIID(interfaceId, IID_IOleWindow)) {
        *result = static_cast<IOleWindow*>(static_cast<IDeskBand*>(this));
    } else if (IsEqualIID(interfaceId, IID_IDockingWindow)) {
        *result = static_cast<IDockingWindow*>(static_cast<IDeskBand*>(this));
    } else if (IsEqualIID(interfaceId, IID_IObjectWithSite)) {
        *result = static_cast<IObjectWithSite*>(this);
    } else if (IsEqualIID(interfaceId, IID_IDeskBand)) {
        *result = static_cast<IDeskBand*>(this);
    } else if (IsEqualIID(interfaceId, IID_IDispatch)) {
        *result = static_cast<INotaraTBObj*>(this);
    } else {
        *result = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

// IOleWindow

STDMETHODIMP NotaraTBObj::GetWindow(HWND* window) {
    if (window == nullptr) {
        return E_INVALIDARG;
    }
    *window = toolbar->Window();
    return S_OK;
}

STDMETHODIMP NotaraTBObj::ContextSensitiveHelp(BOOL enterMode) {
    contextHelpMode = enterMode != FALSE;
    return S_OK;
}

// IDockingWindow

STDMETHODIMP NotaraTBObj::ShowDW(BOOL show) {
    shown = show != FALSE;
    if (toolbar->Window() != nullptr) {
        ShowWindow(toolbar->Window(), shown ? SW_SHOW : SW_HIDE);
    }
    return S_OK;
}

STDMETHODIMP NotaraTBObj::CloseDW(DWORD) {
    // The windows stay until the band is destroyed.
    return ShowDW(FALSE);
}

STDMETHODIMP NotaraTBObj::ResizeBorderDW(LPCRECT, IUnknown*, BOOL) {
    return E_NOTIMPL;
}

// IDeskBand

STDMETHODIMP NotaraTBObj::GetBandInfo(DWORD newBandId, DWORD newViewMode, DESKBANDINFO* info) {
    bandId = newBandId;
    viewMode = newViewMode;
    if (info == nullptr) {
        return S_OK;
    }
    BandInfo values;
    values.mask = info->dwMask;
    FillBandInfo(values);
    if (values.mask & kBandInfoMinSize) {
        info->ptMinSize = {values.minSize.x, values.minSize.y};
    }
    if (values.mask & kBandInfoMaxSize) {
        info->ptMaxSize = {values.maxSize.x, values.maxSize.y};
    }
    if (values.mask & kBandInfoIntegral) {
        info->ptIntegral = {values.integral.x, values.integral.y};
    }
    if (values.mask & kBandInfoActual) {
        info->ptActual = {values.actual.x, values.actual.y};
    }
    if (values.mask & kBandInfoTitle) {
        info->wszTitle[0] = L'\0';
    }
    if (values.mask & kBandInfoModeFlags) {
        info->dwModeFlags = values.modeFlags;
    }
    info->dwMask = values.mask;
    return S_OK;
}

// IObjectWithSite

STDMETHODIMP NotaraTBObj::SetSite(IUnknown* newSite) {
    return GuardEntryPoint([&] { return ChangeSite(newSite); });
}

HRESULT NotaraTBObj::ChangeSite(IUnknown* newSite) {
    DocumentHandler* handler = toolbar->Handler();
    if (site) {
        if (handler != nullptr) {
            handler->AttachBrowser(nullptr);
        }
        site.Reset();
    }
    if (newSite == nullptr) {
        return S_OK;
    }

    parentWindow = nullptr;
    ComPtr<IOleWindow> oleWindow;
    if (SUCCEEDED(newSite->QueryInterface(IID_IOleWindow, oleWindow.PutVoid())) && oleWindow) {
        oleWindow->GetWindow(&parentWindow);
    }
    if (parentWindow == nullptr || !IsWindow(parentWindow)) {
        return E_FAIL;
    }
    HRESULT hr = MakeWindows(parentWindow);
    if (FAILED(hr)) {
        return hr;
    }

    if (FAILED(newSite->QueryInterface(IID_IInputObjectSite, site.PutVoid())) || !site) {
        site.Reset();
        return E_FAIL;
    }

    ComPtr<IOleCommandTarget> commandTarget;
    ComPtr<IServiceProvider> services;
    if (FAILED(newSite->QueryInterface(IID_IOleCommandTarget, commandTarget.PutVoid())) || !commandTarget ||
        FAILED(commandTarget->QueryInterface(IID_IServiceProvider, services.PutVoid())) || !services) {
        return S_OK;
    }
    ComPtr<IWebBrowser2> browser;
    if (FAILED(services->QueryService(SID_SWebBrowserApp, IID_IWebBrowser2, browser.PutVoid()))) {
        browser.Reset();
    }
    if (handler != nullptr) {
        handler->AttachBrowser(browser.Get());
    }
    return S_OK;
}

HRESULT NotaraTBObj::MakeWindows(HWND parent) {
    const bool exist = host.Exists();
    switch (DecideSiteWindows(exist, exist && GetParent(host.Window()) == parent)) {
        case SiteWindowAction::kCreate:
            host.Create(parent);
            break;
        case SiteWindowAction::kReparent:
            host.Reparent(parent);
            break;
        case SiteWindowAction::kReuse:
            break;
    }
    HWND toolbarWindow = toolbar->Window();
    return toolbarWindow != nullptr && IsWindow(toolbarWindow) ? S_OK : E_FAIL;
}

STDMETHODIMP NotaraTBObj::GetSite(REFIID interfaceId, void** result) {
    if (result == nullptr) {
        return E_INVALIDARG;
    }
    *result = nullptr;
    if (!site) {
        return E_FAIL;
    }
    return site->QueryInterface(interfaceId, result);
}
