// The page model over the browser's object model: each operation is one call (or one interface query)
// of IWebBrowser2, IHTMLDocument2, IHTMLElementCollection, IHTMLElement, IHTMLImgElement, IHTMLStyle,
// IHTMLStyle2, IHTMLDOMNode, IHTMLWindow2, IHTMLEventObj, the connection points, the download service and
// the temp folder.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <optional>

#include "foundation/win32/com_ptr.h"
#include "toolbar/download_guard.h"
#include "toolbar/page_model.h"

// The document's event interface. Declared by the platform headers, but not in MinGW's uuid library.
inline constexpr IID kHtmlDocumentEvents2 = {
    0x3050f613, 0x98b5, 0x11cf, {0xbb, 0x82, 0x00, 0xaa, 0x00, 0xbd, 0xce, 0x0b}};

// A page object: one counted interface pointer. Each operation asks it for the interface it needs.
class ComPageObject : public PageObject {
public:
    explicit ComPageObject(IUnknown* object) : pointer(object) {}  // takes over the reference
    ~ComPageObject() override {
        if (pointer != nullptr) {
            pointer->Release();
        }
    }
    ComPageObject(const ComPageObject&) = delete;
    ComPageObject& operator=(const ComPageObject&) = delete;

    IUnknown* Get() const { return pointer; }

private:
    IUnknown* pointer;
};

// Wraps a new reference (or nothing) as a page object.
PageRef WrapPageObject(IUnknown* object);
// A page object for an interface pointer the caller keeps: the page object takes a reference of its own.
PageRef SharePageObject(IUnknown* object);

class Win32PageModel : public PageModel {
public:
    // `sink` receives the events of every connection this model makes. Not counted: the sink owns the
    // model.
    explicit Win32PageModel(IDispatch* sink) : eventSink(sink) {}

    PageRef GetDocument(const PageRef& browser) override;
    PageRef GetImages(const PageRef& document) override;
    PageRef GetAll(const PageRef& document) override;
    PageRef GetBody(const PageRef& document) override;
    PageRef CreateElement(const PageRef& document, const std::string& tag) override;
    PageRef GetParentWindow(const PageRef& document) override;
    int32_t GetLength(const PageRef& collection) override;
    PageRef ItemAt(const PageRef& collection, int32_t index) override;
    PageRef ItemById(const PageRef& collection, const std::string& id) override;
    PageRef AsElement(const PageRef& object) override;
    PageRef AsImage(const PageRef& object) override;
    PageRef AsDomNode(const PageRef& object) override;
    int32_t GetOffsetLeft(const PageRef& element) override;
    int32_t GetOffsetTop(const PageRef& element) override;
    PageRef GetOffsetParent(const PageRef& element) override;
    PageResult PutInnerText(const PageRef& element, const std::string& ansiText) override;
    PageResult PutId(const PageRef& element, const std::string& id) override;
    PageRef GetStyle(const PageRef& element) override;
    std::string GetMimeType(const PageRef& image) override;
    std::string GetSrc(const PageRef& image) override;
    int32_t GetWidth(const PageRef& image) override;
    int32_t GetHeight(const PageRef& image) override;
    PageResult PutStyleText(const PageRef& style, StyleProperty property, const std::string& value) override;
    PageResult PutStylePixels(const PageRef& style, StyleProperty property, int32_t value) override;
    PageRef AsStyle2(const PageRef& style) override;
    PageResult PutPosition(const PageRef& style2, const std::string& value) override;
    PageResult AppendChild(const PageRef& parentNode, const PageRef& childNode) override;
    PageResult RemoveNode(const PageRef& node) override;
    PageRef GetEvent(const PageRef& window) override;
    PageRef GetSrcElement(const PageRef& event) override;
    bool SameObject(const PageRef& a, const PageRef& b) override;
    PageRef GetConnectionContainer(const PageRef& browserOrDocument) override;
    PageResult Advise(const PageRef& container, EventSource source, uint32_t& cookie) override;
    PageResult Unadvise(const PageRef& container, EventSource source, uint32_t cookie) override;
    PageResult DownloadToFile(const std::string& url, const std::string& path, DownloadExtent extent,
                              const DownloadCancelled& cancelled) override;
    std::string GetTempFolder() override;
    bool RemoveFile(const std::string& path) override;
    uint32_t ProcessId() override;

    // Limits for every download instead of those of each extent, so that checks of stalls and time
    // limits need not wait for the real ones.
    void SetDownloadLimits(const DownloadLimits& limits) { downloadLimits = limits; }

private:
    IDispatch* eventSink;
    std::optional<DownloadLimits> downloadLimits;
};
