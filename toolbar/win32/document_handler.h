// DocumentHandler: lays the layer names of tagged JPEGs over the images of the browser's page. Its
// decisions live in DocumentHandlerLogic; this class is the COM object the browser's events reach and the
// band drives.
#pragma once

#include <exdisp.h>
#include <windows.h>

#include <memory>

#include "toolbar/document_handler_logic.h"
#include "toolbar/win32/dual_dispatch.h"
#include "notara_toolbar.h"
#include "toolbar/win32/page_model_win32.h"
#include "toolbar/win32/server_module.h"
#include "toolbar/win32/server_object.h"

// COM interfaces have no virtual destructor by design: an object deletes itself, as its own class, in
// Release.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class DocumentHandler : public CountedObject<DualDispatch<IDocumentHandler>> {
public:
    // Makes the page model the handler works on, for the handler's own event sink.
    using PageModelMaker = std::unique_ptr<Win32PageModel> (*)(IDispatch* sink);

    DocumentHandler();
    // Over a page model of the caller's making, for checks of what the COM class does when the page
    // model fails.
    explicit DocumentHandler(PageModelMaker makePage);

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID interfaceId, void** result) override;

    // IDispatch: the sink of the browser's navigation events and of the document's events.
    STDMETHODIMP Invoke(DISPID member, REFIID reserved, LCID locale, WORD flags, DISPPARAMS* params,
                        VARIANT* result, EXCEPINFO* exception, UINT* argumentError) override;

    // Event connections to the attached browser.
    virtual HRESULT ConnectBrowserEvents();
    virtual HRESULT DisconnectBrowserEvents();

    // The browser whose pages are annotated, or none.
    HRESULT AttachBrowser(IWebBrowser2* browser);
    CaptionSwitch& Captions() { return logic; }

private:
    ~DocumentHandler() override = default;

    ModuleLock moduleLock;
    std::unique_ptr<Win32PageModel> page;
    DocumentHandlerLogic logic;
};
#pragma GCC diagnostic pop

HRESULT CreateDocumentHandler(REFIID interfaceId, void** result);
