#include "toolbar/win32/document_handler.h"

HRESULT CreateDocumentHandler(REFIID interfaceId, void** result) {
    return CreateServerObject<DocumentHandler>(interfaceId, result);
}

namespace {

std::unique_ptr<Win32PageModel> MakeBrowserPageModel(IDispatch* sink) {
    return std::make_unique<Win32PageModel>(sink);
}

}  // namespace

DocumentHandler::DocumentHandler() : DocumentHandler(MakeBrowserPageModel) {}

DocumentHandler::DocumentHandler(PageModelMaker makePage)
    : page(makePage(static_cast<IDispatch*>(this))), logic(*page) {}

// IUnknown

STDMETHODIMP DocumentHandler::QueryInterface(REFIID interfaceId, void** result) {
    if (result == nullptr) {
        return E_POINTER;
    }
    if (IsEqualIID(interfaceId, IID_IUnknown) || IsEqualIID(interfaceId, IID_IDispatch) ||
        IsEqualIID(interfaceId, __uuidof(IDocumentHandler))) {
        *result = static_cast<IDocumentHandler*>(this);
    } else {
        *result = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

// IDispatch

STDMETHODIMP DocumentHandler::Invoke(DISPID member, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*,
                                     EXCEPINFO*, UINT*) {
    // An event may drop the last outside reference (a disconnect) while it is being handled, and a pass
    // lets the browser handle messages, the band's teardown among them.
    AddRef();
    // Running out of memory in a pass ends the pass; the browser goes on.
    HRESULT hr =
        GuardEntryPoint([&] { return static_cast<HRESULT>(logic.Invoke(member, params != nullptr)); });
    Release();
    return hr;
}

// Event connections

HRESULT DocumentHandler::ConnectBrowserEvents() {
    return GuardEntryPoint([&] { return static_cast<HRESULT>(logic.ConnectBrowserEvents()); });
}

HRESULT DocumentHandler::DisconnectBrowserEvents() {
    AddRef();
    HRESULT hr = GuardEntryPoint([&] { return static_cast<HRESULT>(logic.DisconnectBrowserEvents()); });
    Release();
    return hr;
}

HRESULT DocumentHandler::AttachBrowser(IWebBrowser2* browser) {
    AddRef();
    HRESULT hr = GuardEntryPoint([&] {
        logic.AttachBrowser(SharePageObject(browser));
        return S_OK;
    });
    Release();
    return hr;
}
