#include "toolbar/document_handler_logic.h"

#include <algorithm>
#include <atomic>
#include <limits>
#include <utility>

namespace {

// Offset parents of a real page end at the body within a few steps; the bound only keeps a broken
// chain from looping for ever.
constexpr int kMaxOffsetParents = 4096;

// Serial numbers of working files, shared by every handler of the process (one per browser window).
std::atomic<uint32_t> workingFileSerial{0};

int32_t ClampToInt32(int64_t value) {
    return static_cast<int32_t>(
        std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

}  // namespace

bool IsJpegImageType(const std::string& typeText) {
    if (typeText.size() < 3) {
        return false;
    }
    for (const char* name : {"JPG", "JPEG", "jpg", "jpeg"}) {
        if (typeText.find(name) != std::string::npos) {
            return true;
        }
    }
    return false;
}

std::string CaptionElementId(int counter) {
    return "LumenoteSpan" + std::to_string(counter);
}

std::string TempFilePath(const std::string& tempFolder, const std::string& fileName) {
    if (tempFolder.empty()) {
        return {};
    }
    std::string path = tempFolder;
    if (path.back() != '\\' && path.back() != '/') {
        path += '\\';
    }
    path += fileName;
    if (path.size() + 1 > kMaxPathLength) {
        return {};
    }
    return path;
}

std::string WorkingFileName(uint32_t processId, uint32_t serial) {
    return "file-" + std::to_string(processId) + "-" + std::to_string(serial) + ".jpg";
}

DocumentHandlerLogic::DocumentHandlerLogic(PageModel& pageModel) : page(pageModel) {}

void DocumentHandlerLogic::AttachBrowser(const PageRef& newBrowser) {
    showing = false;
    annotated = false;
    elementIds.clear();
    CancelPass();
    ++attachment;
    // The captions of the earlier browser's page stay where they are; only our hold on them goes.
    DisconnectDocumentEvents();
    ReleaseCaptions();

    browser = newBrowser;
    if (browser) {
        if (browserConnected) {
            // Another browser's connection would otherwise feed this handler events of two windows.
            page.Unadvise(browserEvents, EventSource::kBrowser, browserCookie);
            browserConnected = false;
        }
        browserEvents = page.GetConnectionContainer(browser);
        if (browserEvents) {
            ConnectBrowserEvents();
        }
    }
}

PageResult DocumentHandlerLogic::ConnectBrowserEvents() {
    if (!browserEvents) {
        return kPageFail;
    }
    uint32_t cookie = 0;
    PageResult result = page.Advise(browserEvents, EventSource::kBrowser, cookie);
    if (result >= 0) {
        browserCookie = cookie;
        browserConnected = true;
    }
    return result;
}

PageResult DocumentHandlerLogic::DisconnectBrowserEvents() {
    CancelPass();
    ++attachment;
    DisconnectDocumentEvents();
    ReleaseCaptions();
    if (!browserEvents) {
        return kPageFail;
    }
    if (!browserConnected) {
        return kPageOk;
    }
    browserConnected = false;
    return page.Unadvise(browserEvents, EventSource::kBrowser, browserCookie);
}

void DocumentHandlerLogic::ConnectDocumentEvents() {
    // One connection per document at most: each load event of a page comes here again.
    DisconnectDocumentEvents();
    PageRef document = browser ? page.GetDocument(browser) : PageRef();
    // The page of the latest pass has been left once the browser shows another: its boxes and nodes
    // are let go now, not at the next pass, which may never come while the captions are hidden. Until
    // then they are kept, since a navigation that leaves the page in place (a frame's, a cancelled one,
    // a file download) is followed by a pass over the same page, which must replace them.
    if (captionDocument && !(document && page.SameObject(captionDocument, document))) {
        CancelPass();  // a pass that runs reads the page that was left
        ReleaseCaptions();
    }
    documentEvents = document ? page.GetConnectionContainer(document) : PageRef();
    if (!documentEvents) {
        return;
    }
    uint32_t cookie = 0;
    if (page.Advise(documentEvents, EventSource::kDocument, cookie) >= 0) {
        documentCookie = cookie;
        documentConnected = true;
    }
}

void DocumentHandlerLogic::DisconnectDocumentEvents() {
    if (documentEvents && documentConnected) {
        page.Unadvise(documentEvents, EventSource::kDocument, documentCookie);
    }
    // The container is the document itself: holding it would keep a page that was left alive.
    documentEvents.reset();
    documentConnected = false;
    documentCookie = 0;
}

void DocumentHandlerLogic::ReleaseCaptions() {
    captionDocument.reset();
    captionNodes.clear();
}

void DocumentHandlerLogic::CancelPass() {
    if (passRunning) {
        passCancelled = true;
        passRequested = false;
    }
}

std::string DocumentHandlerLogic::NewWorkingPath() {
    uint32_t serial = workingFileSerial.fetch_add(1, std::memory_order_relaxed);
    return TempFilePath(page.GetTempFolder(), WorkingFileName(page.ProcessId(), serial));
}

void DocumentHandlerLogic::RemoveEarlierCaptions(const PageRef& document) {
    if (captionDocument && page.SameObject(captionDocument, document)) {
        for (const PageRef& node : captionNodes) {
            page.RemoveNode(node);
        }
    }
    captionNodes.clear();
    captionDocument = document;
}

namespace {

// Sets a flag for the lifetime of a scope, also when the scope is left by an exception.
class FlagScope {
public:
    explicit FlagScope(bool& target) : flag(target) { flag = true; }
    ~FlagScope() { flag = false; }
    FlagScope(const FlagScope&) = delete;
    FlagScope& operator=(const FlagScope&) = delete;

private:
    bool& flag;
};

// The pass's working file, removed when the pass ends however it ends.
class WorkingFile {
public:
    WorkingFile(PageModel& pageModel, std::string filePath) : page(pageModel), path(std::move(filePath)) {}
    ~WorkingFile() {
        try {
            page.RemoveFile(path);
        } catch (...) {
            // A file left in the temp folder is harmless; the next pass uses a file of its own.
        }
    }
    WorkingFile(const WorkingFile&) = delete;
    WorkingFile& operator=(const WorkingFile&) = delete;

private:
    PageModel& page;
    std::string path;
};

}  // namespace

void DocumentHandlerLogic::AnnotatePage() {
    if (passRunning) {
        passRequested = true;
        return;
    }
    FlagScope running(passRunning);
    do {
        passRequested = false;
        passCancelled = false;
        RunPass();
    } while (passRequested && browser);
    passCancelled = false;
}

void DocumentHandlerLogic::RunPass() {
    elementIds.clear();
    // Without a working file that fits the path limit there is nothing a pass could read.
    std::string workingPath = NewWorkingPath();
    if (workingPath.empty()) {
        return;
    }
    PageRef document = browser ? page.GetDocument(browser) : PageRef();
    if (!document) {
        return;
    }
    RemoveEarlierCaptions(document);
    PageRef images = page.GetImages(document);
    if (!images) {
        return;
    }
    WorkingFile workingFile(page, workingPath);

    const int32_t length = page.GetLength(images);
    for (int32_t i = 0; i < length; ++i) {
        if (passCancelled) {
            return;
        }
        PageRef item = page.ItemAt(images, i);
        PageRef element = item ? page.AsElement(item) : PageRef();
        PageRef image = item ? page.AsImage(item) : PageRef();
        if (!element || !image || !IsJpegImageType(page.GetMimeType(image))) {
            continue;
        }
        if (!ReadImageTags(image, workingPath)) {
            if (passCancelled) {
                return;
            }
            continue;
        }
        AddLayerCaptions(document, element);
    }
    annotated = true;
}

bool DocumentHandlerLogic::ReadImageTags(const PageRef& image, const std::string& workingPath) {
    // Only the header is fetched: the tags live before the image data, so the rest is never read.
    const PageResult downloaded = page.DownloadToFile(
        page.GetSrc(image), workingPath, DownloadExtent::kJpegHeader, [this] { return passCancelled; });
    if (passCancelled || downloaded < 0) {
        return false;
    }
    // The page is untrusted: whatever the download holds, a false Load only skips this image.
    if (!tags.Load(workingPath.c_str(), kLoadMetadata)) {
        return false;
    }
    const int32_t width = page.GetWidth(image);
    const int32_t height = page.GetHeight(image);
    if (width != 0 && height != 0) {
        tags.SetDisplaySize(width, height);
    }
    return true;
}

void DocumentHandlerLogic::AddLayerCaptions(const PageRef& document, const PageRef& element) {
    const int layerCount = tags.LayerCount();
    for (int k = 0; k < layerCount; ++k) {
        TagLayer layer;
        if (!tags.GetLayer(k, layer)) {
            continue;
        }
        int64_t x = 0;
        int64_t y = 0;
        PagePosition(element, x, y);
        x += layer.x;
        y += layer.y;
        // Numbered in creation order across the whole pass.
        std::string id = CaptionElementId(static_cast<int>(elementIds.size()));
        CreateCaptionElement(document, id, ClampToInt32(x), ClampToInt32(y), layer.name);
        elementIds.push_back(std::move(id));
    }
}

void DocumentHandlerLogic::PagePosition(const PageRef& element, int64_t& x, int64_t& y) {
    x = page.GetOffsetLeft(element);
    y = page.GetOffsetTop(element);
    PageRef parent = page.GetOffsetParent(element);
    for (int depth = 0; parent && depth < kMaxOffsetParents; ++depth) {
        x += page.GetOffsetLeft(parent);
        y += page.GetOffsetTop(parent);
        parent = page.GetOffsetParent(parent);
    }
}

void DocumentHandlerLogic::CreateCaptionElement(const PageRef& document, const std::string& id, int32_t x,
                                                int32_t y, const std::string& text) {
    PageRef body = page.GetBody(document);
    PageRef bodyNode = body ? page.AsDomNode(body) : PageRef();
    if (!bodyNode) {
        return;
    }
    PageRef span = page.CreateElement(document, kCaptionTag);
    if (!span) {
        return;
    }
    // Inner text, not markup: a layer name from a downloaded file never becomes part of the page's code.
    page.PutInnerText(span, text);
    page.PutId(span, id);
    PageRef style = page.GetStyle(span);
    if (!style) {
        return;
    }
    page.PutStyleText(style, StyleProperty::kBackgroundColor, "#FFFFAA");
    page.PutStyleText(style, StyleProperty::kBorderWidth, "1px");
    page.PutStyleText(style, StyleProperty::kBorderStyle, "solid");
    page.PutStylePixels(style, StyleProperty::kPixelLeft, x);
    page.PutStylePixels(style, StyleProperty::kPixelTop, y);
    page.PutStyleText(style, StyleProperty::kFontSize, "12px");
    if (!showing) {
        page.PutStyleText(style, StyleProperty::kDisplay, "none");
    }
    PageRef style2 = page.AsStyle2(style);
    if (!style2) {
        return;
    }
    page.PutPosition(style2, "absolute");
    PageRef spanNode = page.AsDomNode(span);
    if (spanNode && page.AppendChild(bodyNode, spanNode) >= 0) {
        captionNodes.push_back(spanNode);
    }
}

void DocumentHandlerLogic::ShowCaptions() {
    showing = true;
    for (const std::string& id : elementIds) {
        SetCaptionDisplay(id, "");
    }
}

void DocumentHandlerLogic::HideCaptions() {
    // A second press of the button while the first press's pass downloads: the user no longer waits for it.
    CancelPass();
    showing = false;
    for (const std::string& id : elementIds) {
        SetCaptionDisplay(id, "none");
    }
}

void DocumentHandlerLogic::SetCaptionDisplay(const std::string& id, const std::string& value) {
    PageRef document = browser ? page.GetDocument(browser) : PageRef();
    PageRef all = document ? page.GetAll(document) : PageRef();
    PageRef found = all ? page.ItemById(all, id) : PageRef();
    // Several elements with the id come back as a collection, which is no element.
    PageRef element = found ? page.AsElement(found) : PageRef();
    PageRef style = element ? page.GetStyle(element) : PageRef();
    if (style) {
        page.PutStyleText(style, StyleProperty::kDisplay, value);
    }
}

PageResult DocumentHandlerLogic::Invoke(int32_t dispId, bool hasParameters) {
    if (!hasParameters) {
        return kPageInvalidArg;
    }
    switch (dispId) {
        case kDispIdBeforeNavigate2:
            annotated = false;
            CancelPass();
            DisconnectDocumentEvents();
            break;
        case kDispIdDownloadComplete:
        case kDispIdNavigateComplete2:
        case kDispIdDocumentComplete:
            ConnectDocumentEvents();
            // A pass that runs (the button's, while the captions are not shown yet) may have read the
            // page before it was complete: it is followed by one more.
            if (showing || (passRunning && !passCancelled)) {
                AnnotatePage();
            }
            break;
        case kDispIdContextMenu:
            SaveContextImage();
            break;
        default:
            break;
    }
    return kPageOk;
}

void DocumentHandlerLogic::SaveContextImage() {
    PageRef document = browser ? page.GetDocument(browser) : PageRef();
    PageRef window = document ? page.GetParentWindow(document) : PageRef();
    PageRef event = window ? page.GetEvent(window) : PageRef();
    PageRef source = event ? page.GetSrcElement(event) : PageRef();
    PageRef image = source ? page.AsImage(source) : PageRef();
    if (!image) {
        return;
    }
    std::string path = TempFilePath(page.GetTempFolder(), kContextImageFileName);
    if (path.empty()) {
        return;
    }
    // A copy of the whole image for the suite's other programs, within the same bounds as a pass; it
    // ends when the browser goes, not when the page does.
    const uint32_t current = attachment;
    page.DownloadToFile(page.GetSrc(image), path, DownloadExtent::kWholeFile,
                        [this, current] { return attachment != current; });
}
