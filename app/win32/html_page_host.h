// HtmlPageHost: the dialog's page area, a child window hosting the platform's web browser control,
// and the sink of the browser's events.
#pragma once

#include <windows.h>
#include <exdisp.h>

#include <string>

#include "foundation/win32/com_ptr.h"
#include "app/win32/control_site.h"

namespace vellumar {

// Identifier of the browser control's window inside the host.
constexpr int kBrowserControlId = 0xE900;

// COM objects are destroyed only by their own Release, never through an interface pointer, so the
// interfaces' non-virtual destructors are harmless here.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class HtmlPageHost {
public:
    HtmlPageHost();
    ~HtmlPageHost();
    HtmlPageHost(const HtmlPageHost&) = delete;
    HtmlPageHost& operator=(const HtmlPageHost&) = delete;

    // Creates the host at `rect` (the parent's client pixels) and the browser inside it. False when the
    // browser could not be created; the host then shows nothing and ignores navigation requests.
    bool Create(HWND parent, const RECT& rect, DWORD style);
    void Destroy();

    // An embedded page: "res://" + the executable's path + "/" + the page's resource name.
    void NavigateToResource(const char* pageName);
    void NavigateToUrl(const std::string& url);

    bool HasBrowser() const { return static_cast<bool>(browser); }
    bool EventsConnected() const { return cookie != 0; }
    HWND Window() const { return hostWindow; }
    HWND ControlWindow() const { return controlWindow; }
    // The URL of the latest navigation request and of the latest BeforeNavigate2 event.
    const std::string& LastRequestedUrl() const { return lastRequestedUrl; }
    const std::string& LastNavigationEventUrl() const { return sink.lastUrl; }
    // The browser's control site (for inspection).
    ControlSite* Site() const { return site; }

private:
    // The host's sink of the browser's events; it lives inside the host, so its reference count
    // never deletes it.
    class PageEventSink : public IDispatch {
    public:
        explicit PageEventSink(HtmlPageHost& owner) : host(owner) {}
        virtual ~PageEventSink() = default;

        // IUnknown
        STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
        STDMETHODIMP_(ULONG) AddRef() override;
        STDMETHODIMP_(ULONG) Release() override;
        // IDispatch
        STDMETHODIMP GetTypeInfoCount(UINT* count) override;
        STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
        STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
        STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                            VARIANT* result, EXCEPINFO* exception, UINT* argError) override;

        std::string lastUrl;

    private:
        HtmlPageHost& host;
        LONG refCount = 0;
    };

    void Navigate(const std::string& url);
    void Disconnect();
    void DestroyControl();

    HWND hostWindow = nullptr;
    HWND controlWindow = nullptr;
    ControlSite* site = nullptr;
    ComPtr<IOleObject> control;
    ComPtr<IWebBrowser2> browser;
    DWORD cookie = 0;
    PageEventSink sink;
    std::string lastRequestedUrl;
};

#pragma GCC diagnostic pop

}  // namespace vellumar
