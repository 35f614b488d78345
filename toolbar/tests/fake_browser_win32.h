// The browser the band's checks give it: a page with one image, a body, connection points for the
// browser's and the document's events, and a record of what the handler did to them.
#pragma once

#include "toolbar/tests/fake_html_win32.h"
#include "toolbar/win32/page_model_win32.h"

namespace fakehtml {

class Page {
public:
    Page() {
        browser = Make("browser");
        document = Make("document");
        images = Make("images");
        all = Make("all");
        body = Make("body");
        image = Make("image");
        browserEvents = Make("browser events");
        window = Make("window");
        event = Make("event");
        documentEvents = Make("document events");

        Fill(AddFace(*browser, IID_IWebBrowser2), &IWebBrowser2::get_Document, &GetDocument);
        AddContainer(*browser, *browserEvents);
        AddContainer(*document, *documentEvents);
        Table& doc = AddFace(*document, IID_IHTMLDocument2);
        Fill(doc, &IHTMLDocument2::get_images, &GetImages);
        Fill(doc, &IHTMLDocument2::get_all, &GetAll);
        Fill(doc, &IHTMLDocument2::get_body, &GetBody);
        Fill(doc, &IHTMLDocument2::createElement, &CreateElement);
        Fill(doc, &IHTMLDocument2::get_parentWindow, &GetParentWindow);
        for (Object* collection : {images, all}) {
            Table& table = AddFace(*collection, IID_IHTMLElementCollection);
            Fill(table, &IHTMLElementCollection::get_length, &GetLength);
            Fill(table, &IHTMLElementCollection::item, &Item);
        }
        AddElementFaces(*body);
        AddElementFaces(*image);
        Table& img = AddFace(*image, IID_IHTMLImgElement);
        Fill(img, &IHTMLImgElement::get_mimeType, &GetMimeType);
        Fill(img, &IHTMLImgElement::get_src, &GetSrc);
        Fill(img, &IHTMLImgElement::get_width, &GetWidth);
        Fill(img, &IHTMLImgElement::get_height, &GetHeight);
        Fill(AddFace(*window, IID_IHTMLWindow2), &IHTMLWindow2::get_event, &GetEvent);
        Fill(AddFace(*event, IID_IHTMLEventObj), &IHTMLEventObj::get_srcElement, &GetSrcElement);
        image->mimeType = L"JPEG Image";
        image->offsetParent = body;
        body->offsetLeft = 8;
        body->offsetTop = 8;
    }
    Page(const Page&) = delete;
    Page& operator=(const Page&) = delete;

    IWebBrowser2* Browser() { return Interface<IWebBrowser2>(browser, IID_IWebBrowser2); }

    // The caption elements in the body, in order.
    std::vector<Object*> Spans() const {
        std::vector<Object*> spans;
        for (Object* child : body->children) {
            if (child->kind == "SPAN") {
                spans.push_back(child);
            }
        }
        return spans;
    }

    // Sends an event with no arguments to every sink connected to the browser's or the document's events.
    void Fire(Object* events, DISPID member) {
        const auto sinks = events->sinks;  // a handler may connect or disconnect while it handles one
        for (auto& [cookie, sink] : sinks) {
            DISPPARAMS params = {};
            sink->Invoke(member, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr,
                         nullptr);
        }
    }

    Object* browser;
    Object* document;
    Object* images;
    Object* all;
    Object* body;
    Object* image;
    Object* browserEvents;
    Object* documentEvents;
    Object* window;
    Object* event;
    Object* eventSource = nullptr;  // the element under the pointer at the current event
    std::vector<std::unique_ptr<Object>> objects;

private:
    static Page*& Current() {
        static Page* page = nullptr;
        return page;
    }

public:
    // The slot functions find the page through this while it is the test's current page.
    void MakeCurrent() { Current() = this; }

private:
    Object* Make(const std::string& kind) {
        objects.push_back(std::make_unique<Object>());
        objects.back()->kind = kind;
        return objects.back().get();
    }

    void AddElementFaces(Object& element) {
        Table& table = AddFace(element, IID_IHTMLElement);
        Fill(table, &IHTMLElement::get_offsetLeft, &GetOffsetLeft);
        Fill(table, &IHTMLElement::get_offsetTop, &GetOffsetTop);
        Fill(table, &IHTMLElement::get_offsetParent, &GetOffsetParent);
        Fill(table, &IHTMLElement::put_innerText, &PutInnerText);
        Fill(table, &IHTMLElement::put_id, &PutId);
        Fill(table, &IHTMLElement::get_style, &GetStyle);
        Table& node = AddFace(element, IID_IHTMLDOMNode);
        Fill(node, &IHTMLDOMNode::appendChild, &AppendChild);
        Fill(node, &IHTMLDOMNode::removeNode, &RemoveNode);
    }

    void AddContainer(Object& owner, Object& events) {
        Fill(AddFace(owner, IID_IConnectionPointContainer), &IConnectionPointContainer::FindConnectionPoint,
             &FindConnectionPoint);
        owner.events = &events;
        Table& point = AddFace(events, IID_IConnectionPoint);
        Fill(point, &IConnectionPoint::Advise, &Advise);
        Fill(point, &IConnectionPoint::Unadvise, &Unadvise);
    }

    template <typename I>
    static HRESULT Hand(Object* object, REFIID iid, I** out) {
        if (out == nullptr) {
            return E_POINTER;
        }
        *out = Interface<I>(object, iid);
        return S_OK;
    }

    static HRESULT __stdcall GetDocument(void* self, IDispatch** out) {
        ++Owner(self)->calls["get_Document"];
        return Hand(Current()->document, IID_IHTMLDocument2, reinterpret_cast<IHTMLDocument2**>(out));
    }
    static HRESULT __stdcall GetImages(void* self, IHTMLElementCollection** out) {
        ++Owner(self)->calls["get_images"];
        return Hand(Current()->images, IID_IHTMLElementCollection, out);
    }
    static HRESULT __stdcall GetAll(void* self, IHTMLElementCollection** out) {
        ++Owner(self)->calls["get_all"];
        return Hand(Current()->all, IID_IHTMLElementCollection, out);
    }
    static HRESULT __stdcall GetBody(void*, IHTMLElement** out) {
        return Hand(Current()->body, IID_IHTMLElement, out);
    }
    static HRESULT __stdcall CreateElement(void*, BSTR tag, IHTMLElement** out) {
        Page* page = Current();
        Object* element = page->Make(std::string(tag != nullptr && Text(tag) == L"SPAN" ? "SPAN" : "other"));
        page->AddElementFaces(*element);
        element->style = page->Make("style");
        Table& style = AddFace(*element->style, IID_IHTMLStyle);
        Fill(style, &IHTMLStyle::put_backgroundColor, &PutBackgroundColor);
        Fill(style, &IHTMLStyle::put_borderWidth, &PutBorderWidth);
        Fill(style, &IHTMLStyle::put_borderStyle, &PutBorderStyle);
        Fill(style, &IHTMLStyle::put_pixelLeft, &PutPixelLeft);
        Fill(style, &IHTMLStyle::put_pixelTop, &PutPixelTop);
        Fill(style, &IHTMLStyle::put_fontSize, &PutFontSize);
        Fill(style, &IHTMLStyle::put_display, &PutDisplay);
        Fill(AddFace(*element->style, IID_IHTMLStyle2), &IHTMLStyle2::put_position, &PutPosition);
        return Hand(element, IID_IHTMLElement, out);
    }
    static HRESULT __stdcall GetParentWindow(void*, IHTMLWindow2** out) {
        return Hand(Current()->window, IID_IHTMLWindow2, out);
    }
    static HRESULT __stdcall GetEvent(void*, IHTMLEventObj** out) {
        return Hand(Current()->event, IID_IHTMLEventObj, out);
    }
    static HRESULT __stdcall GetSrcElement(void*, IHTMLElement** out) {
        return Hand(Current()->eventSource, IID_IHTMLElement, out);
    }
    static HRESULT __stdcall GetLength(void* self, long* out) {
        *out = Owner(self) == Current()->images ? 1 : 0;
        return S_OK;
    }
    static HRESULT __stdcall Item(void* self, VARIANT name, VARIANT, IDispatch** out) {
        Page* page = Current();
        *out = nullptr;
        if (Owner(self) == page->images) {
            if (V_VT(&name) == VT_I4 && V_I4(&name) == 0) {
                *out = reinterpret_cast<IDispatch*>(Interface<IHTMLElement>(page->image, IID_IHTMLElement));
            }
            return S_OK;
        }
        std::vector<Object*> found;
        for (Object* child : page->body->children) {
            if (child->id == VariantText(name)) {
                found.push_back(child);
            }
        }
        if (found.size() == 1) {
            *out = reinterpret_cast<IDispatch*>(Interface<IHTMLElement>(found[0], IID_IHTMLElement));
        } else if (found.size() > 1) {
            *out = reinterpret_cast<IDispatch*>(
                Interface<IHTMLElementCollection>(page->all, IID_IHTMLElementCollection));
        }
        return S_OK;
    }
    static HRESULT __stdcall GetOffsetLeft(void* self, long* out) {
        *out = Owner(self)->offsetLeft;
        return S_OK;
    }
    static HRESULT __stdcall GetOffsetTop(void* self, long* out) {
        *out = Owner(self)->offsetTop;
        return S_OK;
    }
    static HRESULT __stdcall GetOffsetParent(void* self, IHTMLElement** out) {
        return Hand(Owner(self)->offsetParent, IID_IHTMLElement, out);
    }
    static HRESULT __stdcall PutInnerText(void* self, BSTR text) {
        Owner(self)->text = Text(text);
        return S_OK;
    }
    static HRESULT __stdcall PutId(void* self, BSTR id) {
        Owner(self)->id = Text(id);
        return S_OK;
    }
    static HRESULT __stdcall GetStyle(void* self, IHTMLStyle** out) {
        return Hand(Owner(self)->style, IID_IHTMLStyle, out);
    }
    static HRESULT __stdcall GetMimeType(void* self, BSTR* out) {
        *out = SysAllocString(Owner(self)->mimeType.c_str());
        return S_OK;
    }
    static HRESULT __stdcall GetSrc(void* self, BSTR* out) {
        ++Owner(self)->calls["get_src"];
        *out = SysAllocString(Owner(self)->src.c_str());
        return S_OK;
    }
    static HRESULT __stdcall GetWidth(void* self, long* out) {
        *out = Owner(self)->width;
        return S_OK;
    }
    static HRESULT __stdcall GetHeight(void* self, long* out) {
        *out = Owner(self)->height;
        return S_OK;
    }
    static HRESULT Log(void* self, const wchar_t* name, const std::wstring& value) {
        Owner(self)->styleLog.emplace_back(name, value);
        return S_OK;
    }
    static HRESULT __stdcall PutBackgroundColor(void* self, VARIANT value) {
        return Log(self, L"backgroundColor", VariantText(value));
    }
    static HRESULT __stdcall PutBorderWidth(void* self, BSTR value) {
        return Log(self, L"borderWidth", Text(value));
    }
    static HRESULT __stdcall PutBorderStyle(void* self, BSTR value) {
        return Log(self, L"borderStyle", Text(value));
    }
    static HRESULT __stdcall PutPixelLeft(void* self, long value) {
        return Log(self, L"pixelLeft", std::to_wstring(value));
    }
    static HRESULT __stdcall PutPixelTop(void* self, long value) {
        return Log(self, L"pixelTop", std::to_wstring(value));
    }
    static HRESULT __stdcall PutFontSize(void* self, VARIANT value) {
        return Log(self, L"fontSize", VariantText(value));
    }
    static HRESULT __stdcall PutDisplay(void* self, BSTR value) { return Log(self, L"display", Text(value)); }
    static HRESULT __stdcall PutPosition(void* self, BSTR value) {
        return Log(self, L"position", Text(value));
    }
    static HRESULT __stdcall AppendChild(void* self, IHTMLDOMNode* child, IHTMLDOMNode** out) {
        Object* parent = Owner(self);
        Object* element = Owner(child);
        parent->children.push_back(element);
        element->parent = parent;
        child->AddRef();
        *out = child;
        return S_OK;
    }
    static HRESULT __stdcall RemoveNode(void* self, VARIANT_BOOL, IHTMLDOMNode** out) {
        Object* element = Owner(self);
        *out = nullptr;
        if (element->parent != nullptr) {
            auto& siblings = element->parent->children;
            siblings.erase(std::remove(siblings.begin(), siblings.end(), element), siblings.end());
            element->parent = nullptr;
        }
        return S_OK;
    }
    static HRESULT __stdcall FindConnectionPoint(void* self, REFIID iid, IConnectionPoint** out) {
        Object* owner = Owner(self);
        const bool browserSide = owner == Current()->browser;
        const IID& expected = browserSide ? DIID_DWebBrowserEvents2 : kHtmlDocumentEvents2;
        *out = nullptr;
        if (!IsEqualIID(iid, expected)) {
            return CONNECT_E_NOCONNECTION;
        }
        return Hand(owner->events, IID_IConnectionPoint, out);
    }
    static HRESULT __stdcall Advise(void* self, IUnknown* sink, DWORD* cookie) {
        Object* events = Owner(self);
        IDispatch* dispatch = nullptr;
        if (sink == nullptr ||
            FAILED(sink->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)))) {
            return CONNECT_E_CANNOTCONNECT;
        }
        *cookie = events->nextCookie++;
        events->sinks[*cookie] = dispatch;
        ++events->calls["Advise"];
        return S_OK;
    }
    static HRESULT __stdcall Unadvise(void* self, DWORD cookie) {
        Object* events = Owner(self);
        auto it = events->sinks.find(cookie);
        if (it == events->sinks.end()) {
            return CONNECT_E_NOCONNECTION;
        }
        IDispatch* sink = it->second;
        events->sinks.erase(it);
        sink->Release();
        return S_OK;
    }
};

}  // namespace fakehtml
