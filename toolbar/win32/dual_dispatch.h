// IDispatch of the server's dual interfaces, answered from the type library embedded in the library
// (TYPELIB 1). The interfaces declare nothing of their own, so Invoke finds no member; a class that
// sinks events overrides Invoke.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include "foundation/win32/com_ptr.h"
#include "toolbar/win32/server_module.h"

// Loads the type information of one interface from the library's own type library.
HRESULT LoadServerTypeInfo(REFGUID interfaceId, ComPtr<ITypeInfo>& typeInfo);

// COM interfaces have no virtual destructor by design: an object deletes itself, as its own class, in
// Release.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
template <typename DualInterface>
class DualDispatch : public DualInterface {
public:
    // IDispatch
    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        if (count == nullptr) {
            return E_POINTER;
        }
        *count = 1;
        return S_OK;
    }

    STDMETHODIMP GetTypeInfo(UINT index, LCID, ITypeInfo** result) override {
        if (result == nullptr) {
            return E_POINTER;
        }
        *result = nullptr;
        if (index != 0) {
            return DISP_E_BADINDEX;
        }
        HRESULT hr = EnsureTypeInfo();
        if (SUCCEEDED(hr)) {
            typeInfo->AddRef();
            *result = typeInfo.Get();
        }
        return hr;
    }

    STDMETHODIMP GetIDsOfNames(REFIID reserved, LPOLESTR* names, UINT count, LCID, DISPID* dispIds) override {
        if (!IsEqualIID(reserved, IID_NULL)) {
            return DISP_E_UNKNOWNINTERFACE;
        }
        HRESULT hr = EnsureTypeInfo();
        if (SUCCEEDED(hr)) {
            hr = DispGetIDsOfNames(typeInfo.Get(), names, count, dispIds);
        }
        return hr;
    }

    STDMETHODIMP Invoke(DISPID member, REFIID reserved, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, UINT* argumentError) override {
        if (!IsEqualIID(reserved, IID_NULL)) {
            return DISP_E_UNKNOWNINTERFACE;
        }
        HRESULT hr = EnsureTypeInfo();
        if (SUCCEEDED(hr)) {
            hr = DispInvoke(static_cast<DualInterface*>(this), typeInfo.Get(), member, flags, params, result,
                            exception, argumentError);
        }
        return hr;
    }

protected:
    DualDispatch() = default;
    virtual ~DualDispatch() = default;

private:
    HRESULT EnsureTypeInfo() {
        if (typeInfo) {
            return S_OK;
        }
        return LoadServerTypeInfo(__uuidof(DualInterface), typeInfo);
    }

    ComPtr<ITypeInfo> typeInfo;
};
#pragma GCC diagnostic pop
