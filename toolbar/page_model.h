// The browser's page object model as the document handler sees it.
//
// Every operation maps to one call (or one interface query) of the browser's object model, so that the
// Windows adapter stays a thin layer; the tests put an in-memory page behind the same interface. Page
// objects (browser, documents, collections, elements, styles, windows, events, connection point
// containers) are opaque handles: an empty handle means the platform yielded nothing.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

// Base of every page object of one page model. The model's own subclasses hold the real objects.
class PageObject {
public:
    virtual ~PageObject() = default;
};
using PageRef = std::shared_ptr<PageObject>;

// Result codes of the platform (HRESULT values on Windows): negative means failure.
using PageResult = int32_t;
constexpr PageResult kPageOk = 0;
constexpr PageResult kPageFail = static_cast<PageResult>(0x80004005u);
constexpr PageResult kPageInvalidArg = static_cast<PageResult>(0x80070057u);
constexpr PageResult kPageAbort = static_cast<PageResult>(0x80004004u);

// Inline style properties the handler sets, in the order it sets them.
enum class StyleProperty {
    kBackgroundColor,
    kBorderWidth,
    kBorderStyle,
    kPixelLeft,
    kPixelTop,
    kFontSize,
    kDisplay,
};

// How much of an image a download keeps.
enum class DownloadExtent {
    kJpegHeader,  // the segments before the compressed image: all the tag reader reads
    kWholeFile,   // every byte, as a copy of the image
};

// Polled while a download waits: true once the download is no longer wanted.
using DownloadCancelled = std::function<bool()>;

// The two event interfaces the handler listens to.
enum class EventSource {
    kBrowser,   // the browser's navigation events
    kDocument,  // the document's events (context menu)
};

class PageModel {
public:
    virtual ~PageModel() = default;

    // Browser: the current document, or empty.
    virtual PageRef GetDocument(const PageRef& browser) = 0;

    // Document.
    virtual PageRef GetImages(const PageRef& document) = 0;  // image elements, in document order
    virtual PageRef GetAll(const PageRef& document) = 0;     // all elements, searchable by id
    virtual PageRef GetBody(const PageRef& document) = 0;
    virtual PageRef CreateElement(const PageRef& document, const std::string& tag) = 0;
    virtual PageRef GetParentWindow(const PageRef& document) = 0;

    // Element collection. ItemById answers what the platform answers: one element, or a collection
    // when several elements carry the id, or empty.
    virtual int32_t GetLength(const PageRef& collection) = 0;
    virtual PageRef ItemAt(const PageRef& collection, int32_t index) = 0;
    virtual PageRef ItemById(const PageRef& collection, const std::string& id) = 0;

    // Interface queries: the same object seen as an element, an image, a DOM node, or empty.
    virtual PageRef AsElement(const PageRef& object) = 0;
    virtual PageRef AsImage(const PageRef& object) = 0;
    virtual PageRef AsDomNode(const PageRef& object) = 0;

    // Element.
    virtual int32_t GetOffsetLeft(const PageRef& element) = 0;
    virtual int32_t GetOffsetTop(const PageRef& element) = 0;
    virtual PageRef GetOffsetParent(const PageRef& element) = 0;
    virtual PageResult PutInnerText(const PageRef& element, const std::string& ansiText) = 0;
    virtual PageResult PutId(const PageRef& element, const std::string& id) = 0;
    virtual PageRef GetStyle(const PageRef& element) = 0;

    // Image element: type text, absolute URL, displayed size in pixels.
    virtual std::string GetMimeType(const PageRef& image) = 0;
    virtual std::string GetSrc(const PageRef& image) = 0;
    virtual int32_t GetWidth(const PageRef& image) = 0;
    virtual int32_t GetHeight(const PageRef& image) = 0;

    // Inline style. Pixel properties take a number, the others a string value.
    virtual PageResult PutStyleText(const PageRef& style, StyleProperty property,
                                    const std::string& value) = 0;
    virtual PageResult PutStylePixels(const PageRef& style, StyleProperty property, int32_t value) = 0;
    virtual PageRef AsStyle2(const PageRef& style) = 0;
    virtual PageResult PutPosition(const PageRef& style2, const std::string& value) = 0;

    // DOM node: append as last child; remove from its parent.
    virtual PageResult AppendChild(const PageRef& parentNode, const PageRef& childNode) = 0;
    virtual PageResult RemoveNode(const PageRef& node) = 0;

    // Window and event: the event being dispatched, the element it happened on.
    virtual PageRef GetEvent(const PageRef& window) = 0;
    virtual PageRef GetSrcElement(const PageRef& event) = 0;

    // Whether two handles are the same page object (COM identity on Windows).
    virtual bool SameObject(const PageRef& a, const PageRef& b) = 0;

    // Event connections of the handler's own sink, identified by a cookie.
    virtual PageRef GetConnectionContainer(const PageRef& browserOrDocument) = 0;
    virtual PageResult Advise(const PageRef& container, EventSource source, uint32_t& cookie) = 0;
    virtual PageResult Unadvise(const PageRef& container, EventSource source, uint32_t cookie) = 0;

    // Files: a bounded download replacing the file (see DownloadGuard), which returns once it has what
    // the extent asks for, or has failed, or is cancelled; the browser's messages are handled while it
    // waits. A failure leaves no file. Then the user's temp folder (ends with a separator, empty when it
    // cannot be determined); removing a file; this process's id for unique file names.
    virtual PageResult DownloadToFile(const std::string& url, const std::string& path, DownloadExtent extent,
                                      const DownloadCancelled& cancelled) = 0;
    virtual std::string GetTempFolder() = 0;
    virtual bool RemoveFile(const std::string& path) = 0;
    virtual uint32_t ProcessId() = 0;
};
