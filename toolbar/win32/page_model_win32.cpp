#include "toolbar/win32/page_model_win32.h"

#include <exdisp.h>
#include <mshtml.h>
#include <urlmon.h>

#include "foundation/win32/wide_text.h"
#include "toolbar/win32/com_values.h"
#include "toolbar/win32/url_download_win32.h"

namespace {

IUnknown* Raw(const PageRef& object) {
    auto* page = dynamic_cast<ComPageObject*>(object.get());
    return page != nullptr ? page->Get() : nullptr;
}

// The page object seen through interface I, or nothing.
template <typename I>
ComPtr<I> Query(const PageRef& object, REFIID interfaceId) {
    ComPtr<I> result;
    IUnknown* raw = Raw(object);
    if (raw != nullptr) {
        raw->QueryInterface(interfaceId, result.PutVoid());
    }
    return result;
}

template <typename I>
PageRef Wrap(ComPtr<I>& pointer) {
    return WrapPageObject(pointer.Detach());
}

// Most of the page model is one property read through one interface; these read it, and answer nothing,
// zero or an empty text when the object lacks the interface or the read fails.
template <typename I, typename Child>
PageRef ChildOf(const PageRef& object, REFIID interfaceId, HRESULT (STDMETHODCALLTYPE I::*get)(Child**)) {
    auto source = Query<I>(object, interfaceId);
    ComPtr<Child> child;
    if (source) {
        (source.Get()->*get)(child.Put());
    }
    return Wrap(child);
}

template <typename I>
int32_t NumberOf(const PageRef& object, REFIID interfaceId, HRESULT (STDMETHODCALLTYPE I::*get)(long*)) {
    auto source = Query<I>(object, interfaceId);
    long value = 0;
    if (!source || FAILED((source.Get()->*get)(&value))) {
        return 0;
    }
    return static_cast<int32_t>(value);
}

PageRef WrapDispatch(IDispatch* object) {
    return WrapPageObject(object);
}

// Texts of the page are UTF-16; URLs travel through the logic as UTF-8 so that no character of them is
// lost, other texts (type names, ids, style values) are ASCII.
std::string Utf8(const Bstr& text) {
    return ToNarrow(text.Text(), CP_UTF8).value_or(std::string());
}

template <typename I>
std::string TextOf(const PageRef& object, REFIID interfaceId, HRESULT (STDMETHODCALLTYPE I::*get)(BSTR*)) {
    auto source = Query<I>(object, interfaceId);
    Bstr text;
    if (!source || FAILED((source.Get()->*get)(text.Put()))) {
        return {};
    }
    return Utf8(text);
}

std::wstring Wide(const std::string& utf8OrAscii) {
    return ToWide(utf8OrAscii, CP_UTF8).value_or(std::wstring());
}

REFIID EventInterface(EventSource source) {
    return source == EventSource::kBrowser ? DIID_DWebBrowserEvents2 : kHtmlDocumentEvents2;
}

// The connection point of the container for the events of `source`.
HRESULT FindEventPoint(const PageRef& container, EventSource source, ComPtr<IConnectionPoint>& point) {
    auto points = Query<IConnectionPointContainer>(container, IID_IConnectionPointContainer);
    if (!points) {
        return E_NOINTERFACE;
    }
    HRESULT hr = points->FindConnectionPoint(EventInterface(source), point.Put());
    if (SUCCEEDED(hr) && !point) {
        hr = E_FAIL;
    }
    return hr;
}

}  // namespace

PageRef WrapPageObject(IUnknown* object) {
    if (object == nullptr) {
        return nullptr;
    }
    return std::make_shared<ComPageObject>(object);
}

PageRef SharePageObject(IUnknown* object) {
    if (object != nullptr) {
        object->AddRef();
    }
    return WrapPageObject(object);
}

PageRef Win32PageModel::GetDocument(const PageRef& browser) {
    auto webBrowser = Query<IWebBrowser2>(browser, IID_IWebBrowser2);
    ComPtr<IDispatch> document;
    if (!webBrowser || FAILED(webBrowser->get_Document(document.Put())) || !document) {
        return nullptr;
    }
    ComPtr<IHTMLDocument2> htmlDocument;
    document->QueryInterface(IID_IHTMLDocument2, htmlDocument.PutVoid());
    return Wrap(htmlDocument);
}

PageRef Win32PageModel::GetImages(const PageRef& document) {
    return ChildOf(document, IID_IHTMLDocument2, &IHTMLDocument2::get_images);
}

PageRef Win32PageModel::GetAll(const PageRef& document) {
    return ChildOf(document, IID_IHTMLDocument2, &IHTMLDocument2::get_all);
}

PageRef Win32PageModel::GetBody(const PageRef& document) {
    return ChildOf(document, IID_IHTMLDocument2, &IHTMLDocument2::get_body);
}

PageRef Win32PageModel::CreateElement(const PageRef& document, const std::string& tag) {
    auto htmlDocument = Query<IHTMLDocument2>(document, IID_IHTMLDocument2);
    Bstr tagName(Wide(tag));
    ComPtr<IHTMLElement> element;
    if (htmlDocument && tagName.Get() != nullptr) {
        htmlDocument->createElement(tagName.Get(), element.Put());
    }
    return Wrap(element);
}

PageRef Win32PageModel::GetParentWindow(const PageRef& document) {
    return ChildOf(document, IID_IHTMLDocument2, &IHTMLDocument2::get_parentWindow);
}

int32_t Win32PageModel::GetLength(const PageRef& collection) {
    return NumberOf(collection, IID_IHTMLElementCollection, &IHTMLElementCollection::get_length);
}

PageRef Win32PageModel::ItemAt(const PageRef& collection, int32_t index) {
    auto elements = Query<IHTMLElementCollection>(collection, IID_IHTMLElementCollection);
    IDispatch* item = nullptr;
    if (elements) {
        Variant name(static_cast<LONG>(index));
        Variant position(static_cast<LONG>(index));
        if (FAILED(elements->item(name.Get(), position.Get(), &item))) {
            item = nullptr;
        }
    }
    return WrapDispatch(item);
}

PageRef Win32PageModel::ItemById(const PageRef& collection, const std::string& id) {
    auto elements = Query<IHTMLElementCollection>(collection, IID_IHTMLElementCollection);
    IDispatch* item = nullptr;
    if (elements) {
        Variant name(Wide(id));
        Variant noIndex;
        if (FAILED(elements->item(name.Get(), noIndex.Get(), &item))) {
            item = nullptr;
        }
    }
    return WrapDispatch(item);
}

PageRef Win32PageModel::AsElement(const PageRef& object) {
    auto element = Query<IHTMLElement>(object, IID_IHTMLElement);
    return Wrap(element);
}

PageRef Win32PageModel::AsImage(const PageRef& object) {
    auto image = Query<IHTMLImgElement>(object, IID_IHTMLImgElement);
    return Wrap(image);
}

PageRef Win32PageModel::AsDomNode(const PageRef& object) {
    auto node = Query<IHTMLDOMNode>(object, IID_IHTMLDOMNode);
    return Wrap(node);
}

int32_t Win32PageModel::GetOffsetLeft(const PageRef& element) {
    return NumberOf(element, IID_IHTMLElement, &IHTMLElement::get_offsetLeft);
}

int32_t Win32PageModel::GetOffsetTop(const PageRef& element) {
    return NumberOf(element, IID_IHTMLElement, &IHTMLElement::get_offsetTop);
}

PageRef Win32PageModel::GetOffsetParent(const PageRef& element) {
    return ChildOf(element, IID_IHTMLElement, &IHTMLElement::get_offsetParent);
}

PageResult Win32PageModel::PutInnerText(const PageRef& element, const std::string& ansiText) {
    auto htmlElement = Query<IHTMLElement>(element, IID_IHTMLElement);
    Bstr text(ToWide(ansiText, CP_ACP).value_or(std::wstring()));
    if (!htmlElement || text.Get() == nullptr) {
        return E_FAIL;
    }
    return htmlElement->put_innerText(text.Get());
}

PageResult Win32PageModel::PutId(const PageRef& element, const std::string& id) {
    auto htmlElement = Query<IHTMLElement>(element, IID_IHTMLElement);
    Bstr text(Wide(id));
    if (!htmlElement || text.Get() == nullptr) {
        return E_FAIL;
    }
    return htmlElement->put_id(text.Get());
}

PageRef Win32PageModel::GetStyle(const PageRef& element) {
    return ChildOf(element, IID_IHTMLElement, &IHTMLElement::get_style);
}

std::string Win32PageModel::GetMimeType(const PageRef& image) {
    return TextOf(image, IID_IHTMLImgElement, &IHTMLImgElement::get_mimeType);
}

std::string Win32PageModel::GetSrc(const PageRef& image) {
    return TextOf(image, IID_IHTMLImgElement, &IHTMLImgElement::get_src);
}

int32_t Win32PageModel::GetWidth(const PageRef& image) {
    return NumberOf(image, IID_IHTMLImgElement, &IHTMLImgElement::get_width);
}

int32_t Win32PageModel::GetHeight(const PageRef& image) {
    return NumberOf(image, IID_IHTMLImgElement, &IHTMLImgElement::get_height);
}

PageResult Win32PageModel::PutStyleText(const PageRef& style, StyleProperty property,
                                        const std::string& value) {
    auto htmlStyle = Query<IHTMLStyle>(style, IID_IHTMLStyle);
    if (!htmlStyle) {
        return E_NOINTERFACE;
    }
    const std::wstring text = Wide(value);
    switch (property) {
        case StyleProperty::kBackgroundColor: {
            Variant color(text);
            return htmlStyle->put_backgroundColor(color.Get());
        }
        case StyleProperty::kFontSize: {
            Variant size(text);
            return htmlStyle->put_fontSize(size.Get());
        }
        case StyleProperty::kBorderWidth: {
            Bstr width(text);
            return htmlStyle->put_borderWidth(width.Get());
        }
        case StyleProperty::kBorderStyle: {
            Bstr borderStyle(text);
            return htmlStyle->put_borderStyle(borderStyle.Get());
        }
        case StyleProperty::kDisplay: {
            Bstr display(text);
            return htmlStyle->put_display(display.Get());
        }
        case StyleProperty::kPixelLeft:
        case StyleProperty::kPixelTop:
            break;
    }
    return E_INVALIDARG;
}

PageResult Win32PageModel::PutStylePixels(const PageRef& style, StyleProperty property, int32_t value) {
    auto htmlStyle = Query<IHTMLStyle>(style, IID_IHTMLStyle);
    if (!htmlStyle) {
        return E_NOINTERFACE;
    }
    if (property == StyleProperty::kPixelLeft) {
        return htmlStyle->put_pixelLeft(value);
    }
    if (property == StyleProperty::kPixelTop) {
        return htmlStyle->put_pixelTop(value);
    }
    return E_INVALIDARG;
}

PageRef Win32PageModel::AsStyle2(const PageRef& style) {
    auto style2 = Query<IHTMLStyle2>(style, IID_IHTMLStyle2);
    return Wrap(style2);
}

PageResult Win32PageModel::PutPosition(const PageRef& style2, const std::string& value) {
    auto htmlStyle2 = Query<IHTMLStyle2>(style2, IID_IHTMLStyle2);
    Bstr position(Wide(value));
    if (!htmlStyle2) {
        return E_NOINTERFACE;
    }
    return htmlStyle2->put_position(position.Get());
}

PageResult Win32PageModel::AppendChild(const PageRef& parentNode, const PageRef& childNode) {
    auto parent = Query<IHTMLDOMNode>(parentNode, IID_IHTMLDOMNode);
    auto child = Query<IHTMLDOMNode>(childNode, IID_IHTMLDOMNode);
    if (!parent || !child) {
        return E_NOINTERFACE;
    }
    ComPtr<IHTMLDOMNode> appended;
    return parent->appendChild(child.Get(), appended.Put());
}

PageResult Win32PageModel::RemoveNode(const PageRef& node) {
    auto domNode = Query<IHTMLDOMNode>(node, IID_IHTMLDOMNode);
    if (!domNode) {
        return E_NOINTERFACE;
    }
    ComPtr<IHTMLDOMNode> removed;
    return domNode->removeNode(VARIANT_TRUE, removed.Put());
}

PageRef Win32PageModel::GetEvent(const PageRef& window) {
    return ChildOf(window, IID_IHTMLWindow2, &IHTMLWindow2::get_event);
}

PageRef Win32PageModel::GetSrcElement(const PageRef& event) {
    return ChildOf(event, IID_IHTMLEventObj, &IHTMLEventObj::get_srcElement);
}

bool Win32PageModel::SameObject(const PageRef& a, const PageRef& b) {
    auto identityA = Query<IUnknown>(a, IID_IUnknown);
    auto identityB = Query<IUnknown>(b, IID_IUnknown);
    return identityA && identityA.Get() == identityB.Get();
}

PageRef Win32PageModel::GetConnectionContainer(const PageRef& browserOrDocument) {
    auto container = Query<IConnectionPointContainer>(browserOrDocument, IID_IConnectionPointContainer);
    return Wrap(container);
}

PageResult Win32PageModel::Advise(const PageRef& container, EventSource source, uint32_t& cookie) {
    ComPtr<IConnectionPoint> point;
    HRESULT hr = FindEventPoint(container, source, point);
    if (SUCCEEDED(hr)) {
        DWORD newCookie = 0;
        hr = point->Advise(eventSink, &newCookie);
        cookie = newCookie;
    }
    return hr;
}

PageResult Win32PageModel::Unadvise(const PageRef& container, EventSource source, uint32_t cookie) {
    ComPtr<IConnectionPoint> point;
    HRESULT hr = FindEventPoint(container, source, point);
    if (SUCCEEDED(hr)) {
        hr = point->Unadvise(cookie);
    }
    return hr;
}

PageResult Win32PageModel::DownloadToFile(const std::string& url, const std::string& path,
                                          DownloadExtent extent, const DownloadCancelled& cancelled) {
    // Wide forms: a URL may hold characters the ANSI code page lacks.
    const std::wstring wideUrl = Wide(url);
    const std::wstring widePath = ToWide(path, CP_ACP).value_or(std::wstring());
    if (wideUrl.empty() || widePath.empty()) {
        return E_INVALIDARG;
    }
    return DownloadUrlToFile(wideUrl, widePath, extent, downloadLimits.value_or(LimitsFor(extent)),
                             cancelled);
}

std::string Win32PageModel::GetTempFolder() {
    char buffer[MAX_PATH + 1] = {};
    DWORD length = GetTempPathA(sizeof buffer, buffer);
    if (length == 0 || length >= sizeof buffer) {
        return {};
    }
    return std::string(buffer, length);
}

bool Win32PageModel::RemoveFile(const std::string& path) {
    return DeleteFileA(path.c_str()) != FALSE;
}

uint32_t Win32PageModel::ProcessId() {
    return GetCurrentProcessId();
}
