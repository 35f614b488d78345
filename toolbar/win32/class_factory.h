// The class factory of one server class. The server keeps one per class for its whole life (see
// DllGetClassObject); a factory holds no module lock, or the library could never unload.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include "toolbar/win32/server_object.h"

using CreateObjectFunction = HRESULT (*)(REFIID interfaceId, void** result);

// COM interfaces have no virtual destructor by design: an object deletes itself, as its own class, in
// Release.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class ClassFactory : public CountedObject<IClassFactory> {
public:
    explicit ClassFactory(CreateObjectFunction createObject) : create(createObject) {}

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID interfaceId, void** result) override;

    // IClassFactory
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID interfaceId, void** result) override;
    STDMETHODIMP LockServer(BOOL lock) override;

private:
    ~ClassFactory() override = default;

    CreateObjectFunction create;
};
#pragma GCC diagnostic pop
