#include "notara_tb_obj.h"

HRESULT CreateNotaraTBObj(REFIID interfaceId, void** result) {
    return CreateServerObject<NotaraTBObj>(interfaceId, result);
}

// IUnknown

STDMETHODIMP NotaraTBObj::QueryInterface(REFIID interfaceId, void** result) {
    if (result == nullptr) {
        return E_POINTER;
    }
    if (IsEqualIID(interfaceId, IID_IUnknown) || IsEqualIID(interfaceId, IID_IDispatch) ||
        IsEqualIID(interfaceId, __uuidof(INotaraTBObj))) {
        *result = static_cast<INotaraTBObj*>(this);
    } else {
        *result = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) NotaraTBObj::AddRef() {
    return references.Increment();
}

STDMETHODIMP_(ULONG) NotaraTBObj::Release() {
    ULONG left = references.Decrement();
    if (left == 0) {
        delete this;
    }
    return left;
}
