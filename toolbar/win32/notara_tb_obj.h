// NotaraTBObj: the browser toolbar band. So far the object the class factory makes, with its dual
// interface; the band interfaces come with the band's window layer.
#pragma once

#include <windows.h>

#include "notara_toolbar.h"
#include "dual_dispatch.h"
#include "server_module.h"
#include "server_object.h"

// COM interfaces have no virtual destructor by design: an object deletes itself, as its own class, in
// Release.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class NotaraTBObj : public DualDispatch<INotaraTBObj> {
public:
    NotaraTBObj() = default;

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID interfaceId, void** result) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

private:
    ~NotaraTBObj() override = default;

    ReferenceCount references;
    ModuleLock moduleLock;
};
#pragma GCC diagnostic pop

HRESULT CreateNotaraTBObj(REFIID interfaceId, void** result);
