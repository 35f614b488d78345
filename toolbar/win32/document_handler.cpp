#include "document_handler.h"

HRESULT CreateDocumentHandler(REFIID interfaceId, void** result) {
    return CreateServerObject<DocumentHandler>(interfaceId, result);
}

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
