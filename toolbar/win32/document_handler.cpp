#include "document_handler.h"

HRESULT CreateDocumentHandler(REFIID interfaceId, void** result) {
    return CreateServerObject<DocumentHandler>(interfaceId, result);
}

DocumentHandler::DocumentHandler() : page(static_cast<IDispatch*>(this)), logic(page) {}

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

STDMETHODIMP_(ULONG) DocumentHandler::AddRef() {
    return references.Increment();
}

STDMETHODIMP_(ULONG) DocumentHandler::Release() {
    ULONG left = references.Decrement();
    if (left == 0) {
        delete this;
    }
    return left;
}

// IDispatch

STDMETHODIMP DocumentHandler::Invoke(DISPID member, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*,
                                     EXCEPINFO*, UINT*) {
    // An event may drop the last outside reference (a disconnect) while it is being handled.
    AddRef();
    HRESULT hr = logic.Invoke(member, params != nullptr);
    Release();
    return hr;
}

// Event connections

HRESULT DocumentHandler::ConnectBrowserEvents() {
    return logic.ConnectBrowserEvents();
}

HRESULT DocumentHandler::DisconnectBrowserEvents() {
    AddRef();
    HRESULT hr = logic.DisconnectBrowserEvents();
    Release();
    return hr;
}

void DocumentHandler::AttachBrowser(IWebBrowser2* browser) {
    AddRef();
    logic.AttachBrowser(SharePageObject(browser));
    Release();
}
