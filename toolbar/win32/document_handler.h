// DocumentHandler: lays the layer names of tagged JPEGs over the images of the browser's page. So
// far the object the class factory makes, with its dual interface; the browser events come with the page
// layer.
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
class DocumentHandler : public DualDispatch<IDocumentHandler> {
public:
    DocumentHandler() = default;

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID interfaceId, void** result) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

private:
    ~DocumentHandler() override = default;

    ReferenceCount references;
    ModuleLock moduleLock;
};
#pragma GCC diagnostic pop

HRESULT CreateDocumentHandler(REFIID interfaceId, void** result);
