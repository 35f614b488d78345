#include "app/win32/html_page_host.h"

#include <exdispid.h>
#include <ocidl.h>

#include "app/page_urls.h"
#include "foundation/win32/wide_text.h"

namespace vellumar {

namespace {

constexpr char kHostClassName[] = "VellumarPageHost";
constexpr DISPID kDispidBeforeNavigate = 100;
constexpr DISPID kDispidQuit = 103;

ATOM RegisterHostClass() {
    static ATOM atom = [] {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = DefWindowProcA;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        windowClass.lpszClassName = kHostClassName;
        return RegisterClassA(&windowClass);
    }();
    return atom;
}

std::string Narrow(const wchar_t* text) {
    return text == nullptr ? std::string() : ToNarrow(text, CP_ACP).value_or(std::string());
}

// A BSTR argument, passed by value or by reference inside a variant.
std::string UrlArgument(const VARIANT& arg) {
    const VARIANT* v = &arg;
    if (v->vt == (VT_BYREF | VT_VARIANT) && v->pvarVal != nullptr) {
        v = v->pvarVal;
    }
    if (v->vt == VT_BSTR) {
        return Narrow(v->bstrVal);
    }
    if (v->vt == (VT_BYREF | VT_BSTR) && v->pbstrVal != nullptr) {
        return Narrow(*v->pbstrVal);
    }
    return {};
}

}  // namespace

HtmlPageHost::HtmlPageHost() : sink(*this) {}

HtmlPageHost::~HtmlPageHost() {
    Destroy();
}

bool HtmlPageHost::Create(HWND parent, const RECT& rect, DWORD style) {
    Destroy();
    RegisterHostClass();
    // No identifier of its own: -1.
    hostWindow = CreateWindowExA(
        0, kHostClassName, "", style, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
        parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(-1)), GetModuleHandleA(nullptr), nullptr);
    if (hostWindow == nullptr) {
        return false;
    }
    RECT client{};
    GetClientRect(hostWindow, &client);

    site = CreateControlSite(hostWindow);
    HRESULT hr =
        CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject, control.PutVoid());
    if (SUCCEEDED(hr)) {
        hr = control->SetClientSite(site);
    }
    if (SUCCEEDED(hr)) {
        hr = control->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site, 0, hostWindow, &client);
    }
    ComPtr<IOleInPlaceObject> inPlace;
    if (SUCCEEDED(hr)) {
        hr = control.As(inPlace);
    }
    if (SUCCEEDED(hr)) {
        hr = inPlace->GetWindow(&controlWindow);
    }
    if (FAILED(hr) || controlWindow == nullptr) {
        Destroy();
        return false;
    }
    inPlace->SetObjectRects(&client, &client);
    SetWindowLongPtrA(controlWindow, GWLP_ID, kBrowserControlId);
    ShowWindow(controlWindow, SW_SHOW);

    if (FAILED(control.As(browser))) {
        Destroy();
        return false;
    }

    ComPtr<IConnectionPointContainer> container;
    ComPtr<IConnectionPoint> point;
    if (SUCCEEDED(browser.As(container)) &&
        SUCCEEDED(container->FindConnectionPoint(DIID_DWebBrowserEvents2, point.Put()))) {
        DWORD newCookie = 0;
        if (SUCCEEDED(point->Advise(&sink, &newCookie))) {
            cookie = newCookie;
        }
    }
    return true;
}

void HtmlPageHost::Disconnect() {
    if (cookie == 0 || !browser) {
        cookie = 0;
        return;
    }
    ComPtr<IConnectionPointContainer> container;
    ComPtr<IConnectionPoint> point;
    if (SUCCEEDED(browser.As(container)) &&
        SUCCEEDED(container->FindConnectionPoint(DIID_DWebBrowserEvents2, point.Put()))) {
        point->Unadvise(cookie);
    }
    cookie = 0;
}

void HtmlPageHost::DestroyControl() {
    browser.Reset();
    if (control) {
        control->Close(OLECLOSE_NOSAVE);
        control->SetClientSite(nullptr);
        control.Reset();
    }
    controlWindow = nullptr;
    if (site != nullptr) {
        site->Release();
        site = nullptr;
    }
}

void HtmlPageHost::Destroy() {
    Disconnect();
    DestroyControl();
    if (hostWindow != nullptr) {
        DestroyWindow(hostWindow);
        hostWindow = nullptr;
    }
}

void HtmlPageHost::NavigateToResource(const char* pageName) {
    char path[MAX_PATH + 1] = {};
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH || pageName == nullptr) {
        return;
    }
    Navigate(ResourceUrl(path, pageName));
}

void HtmlPageHost::NavigateToUrl(const std::string& url) {
    Navigate(url);
}

void HtmlPageHost::Navigate(const std::string& url) {
    lastRequestedUrl = url;
    // Visible to a debugger (and to the checks under Wine) without any other side effect.
    OutputDebugStringA(("Vellumar page " + url + "\n").c_str());
    if (!browser) {
        return;
    }
    BSTR address = SysAllocString(ToWide(url, CP_ACP).value_or(std::wstring()).c_str());
    if (address == nullptr) {
        return;
    }
    VARIANT empty;
    VariantInit(&empty);
    // A failing navigation leaves the page area as it was.
    browser->Navigate(address, &empty, &empty, &empty, &empty);
    SysFreeString(address);
}

// IUnknown
STDMETHODIMP HtmlPageHost::PageEventSink::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        return E_INVALIDARG;
    }
    // The browser's connection point asks for the events interface it fires; the older one is answered
    // for hosts that connect to that.
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == DIID_DWebBrowserEvents2 ||
        riid == DIID_DWebBrowserEvents) {
        *ppv = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}
STDMETHODIMP_(ULONG) HtmlPageHost::PageEventSink::AddRef() {
    return static_cast<ULONG>(InterlockedIncrement(&refCount));
}
STDMETHODIMP_(ULONG) HtmlPageHost::PageEventSink::Release() {
    // Owned by the host: the count only tells who still holds it.
    return static_cast<ULONG>(InterlockedDecrement(&refCount));
}

// IDispatch
STDMETHODIMP HtmlPageHost::PageEventSink::GetTypeInfoCount(UINT* count) {
    if (count != nullptr) {
        *count = 0;
    }
    return E_NOTIMPL;
}
STDMETHODIMP HtmlPageHost::PageEventSink::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    if (info != nullptr) {
        *info = nullptr;
    }
    return E_NOTIMPL;
}
STDMETHODIMP HtmlPageHost::PageEventSink::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) {
    return E_NOTIMPL;
}

STDMETHODIMP HtmlPageHost::PageEventSink::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*,
                                                 EXCEPINFO*, UINT*) {
    switch (id) {
        case DISPID_BEFORENAVIGATE2:
        case kDispidBeforeNavigate: {
            // Arguments arrive last to first: the cancel flag is the first, the URL the last.
            UINT urlFromEnd = id == DISPID_BEFORENAVIGATE2 ? 2 : 1;
            if (params == nullptr || params->rgvarg == nullptr || params->cArgs < urlFromEnd + 1) {
                return E_FAIL;
            }
            lastUrl = UrlArgument(params->rgvarg[params->cArgs - urlFromEnd]);
            VARIANT& cancel = params->rgvarg[0];
            if (cancel.vt == (VT_BYREF | VT_BOOL) && cancel.pboolVal != nullptr) {
                *cancel.pboolVal = VARIANT_FALSE;
            }
            OutputDebugStringA(("Vellumar navigation event " + lastUrl + "\n").c_str());
            return S_OK;
        }
        case DISPID_ONQUIT:
        case kDispidQuit:
            host.Disconnect();
            return S_OK;
        default:
            return S_OK;
    }
}

}  // namespace vellumar
