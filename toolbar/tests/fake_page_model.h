// An in-memory page behind the PageModel interface: a browser with a document, elements with offsets and
// inline styles, event connections, and downloads that write real files from a table of URLs.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "toolbar/page_model.h"

namespace fake {

struct Element;

struct Style : PageObject {
    std::vector<std::pair<std::string, std::string>> log;  // every assignment, in order
    std::map<std::string, std::string> values;
    bool hasStyle2 = true;

    void Put(const std::string& name, const std::string& value) {
        log.emplace_back(name, value);
        values[name] = value;
    }
    std::string Get(const std::string& name) const {
        auto it = values.find(name);
        return it == values.end() ? std::string() : it->second;
    }
};

// The style seen through its second interface.
struct Style2 : PageObject {
    std::shared_ptr<Style> style;
};

struct Element : PageObject {
    std::string tag;
    std::string id;
    std::string innerText;
    int32_t offsetLeft = 0;
    int32_t offsetTop = 0;
    std::shared_ptr<Element> offsetParent;
    std::shared_ptr<Style> style = std::make_shared<Style>();
    bool isElement = true;  // false: an item that offers no element interface
    bool isImage = false;
    bool isDomNode = true;
    std::string mimeType;
    std::string src;
    int32_t width = 0;
    int32_t height = 0;
    std::vector<std::shared_ptr<Element>> children;
    Element* parent = nullptr;
};

// What an id lookup answers when several elements carry the id.
struct Collection : PageObject {
    std::vector<std::shared_ptr<Element>> items;
};

struct Event : PageObject {
    std::shared_ptr<Element> source;
};

struct Window : PageObject {
    std::shared_ptr<Event> event;
};

struct Connections : PageObject {
    bool canAdvise = true;
    uint32_t nextCookie = 1;
    std::map<uint32_t, EventSource> live;  // cookie -> event interface
    int advises = 0;
    int unadvises = 0;
    int failedUnadvises = 0;
};

struct Document : PageObject {
    std::vector<std::shared_ptr<Element>> images;  // the images collection, in document order
    bool hasImages = true;
    std::shared_ptr<Element> body = std::make_shared<Element>();
    bool canCreateElements = true;
    bool newElementsHaveStyle = true;
    bool newElementsHaveStyle2 = true;
    std::shared_ptr<Window> window = std::make_shared<Window>();
    std::shared_ptr<Connections> connections = std::make_shared<Connections>();
    std::vector<std::shared_ptr<Element>> created;  // every element made by createElement

    Document() { body->tag = "BODY"; }

    // Every element in the body's tree with the id (what the "all" collection finds).
    std::vector<std::shared_ptr<Element>> FindById(const std::string& wanted) const {
        std::vector<std::shared_ptr<Element>> found;
        Walk(body, wanted, found);
        for (const auto& image : images) {
            if (image->id == wanted && image->parent == nullptr) {
                found.push_back(image);
            }
        }
        return found;
    }
    static void Walk(const std::shared_ptr<Element>& node, const std::string& wanted,
                     std::vector<std::shared_ptr<Element>>& found) {
        if (node->id == wanted) {
            found.push_back(node);
        }
        for (const auto& child : node->children) {
            Walk(child, wanted, found);
        }
    }
    // The body's children of tag SPAN, in order.
    std::vector<std::shared_ptr<Element>> Spans() const {
        std::vector<std::shared_ptr<Element>> spans;
        for (const auto& child : body->children) {
            if (child->tag == "SPAN") {
                spans.push_back(child);
            }
        }
        return spans;
    }
};

// The "all" collection of a document.
struct AllCollection : PageObject {
    std::shared_ptr<Document> document;
};

// The images collection of a document.
struct ImageCollection : PageObject {
    std::shared_ptr<Document> document;
};

struct Browser : PageObject {
    std::shared_ptr<Document> document;
    std::shared_ptr<Connections> connections = std::make_shared<Connections>();
    bool hasConnections = true;
};

struct Download {
    std::string url;
    std::string path;
    DownloadExtent extent = DownloadExtent::kJpegHeader;
    bool cancelled = false;  // the download was told to end while it waited
};

class FakePageModel : public PageModel {
public:
    std::string tempPath;                          // what GetTempFolder answers
    std::map<std::string, std::string> resources;  // URL -> bytes served
    std::map<std::string, PageResult> refusals;    // URL -> how its download ends early (abort, cap, stall)
    std::vector<Download> downloads;
    std::vector<std::string> removedFiles;
    uint32_t processId = 4242;
    std::function<void()> onDownload;  // runs inside each download, as a browser's events may

    template <class T>
    static std::shared_ptr<T> As(const PageRef& object) {
        return std::dynamic_pointer_cast<T>(object);
    }

    PageRef GetDocument(const PageRef& browser) override {
        auto b = As<Browser>(browser);
        return b ? b->document : nullptr;
    }
    PageRef GetImages(const PageRef& document) override {
        auto d = As<Document>(document);
        if (!d || !d->hasImages) {
            return nullptr;
        }
        auto images = std::make_shared<ImageCollection>();
        images->document = d;
        return images;
    }
    PageRef GetAll(const PageRef& document) override {
        auto d = As<Document>(document);
        if (!d) {
            return nullptr;
        }
        auto all = std::make_shared<AllCollection>();
        all->document = d;
        return all;
    }
    PageRef GetBody(const PageRef& document) override {
        auto d = As<Document>(document);
        return d ? d->body : nullptr;
    }
    PageRef CreateElement(const PageRef& document, const std::string& tag) override {
        auto d = As<Document>(document);
        if (!d || !d->canCreateElements) {
            return nullptr;
        }
        auto element = std::make_shared<Element>();
        element->tag = tag;
        if (!d->newElementsHaveStyle) {
            element->style = nullptr;
        } else {
            element->style->hasStyle2 = d->newElementsHaveStyle2;
        }
        d->created.push_back(element);
        return element;
    }
    PageRef GetParentWindow(const PageRef& document) override {
        auto d = As<Document>(document);
        return d ? d->window : nullptr;
    }
    int32_t GetLength(const PageRef& collection) override {
        auto images = As<ImageCollection>(collection);
        return images ? static_cast<int32_t>(images->document->images.size()) : 0;
    }
    PageRef ItemAt(const PageRef& collection, int32_t index) override {
        auto images = As<ImageCollection>(collection);
        if (!images || index < 0 || index >= static_cast<int32_t>(images->document->images.size())) {
            return nullptr;
        }
        return images->document->images[static_cast<size_t>(index)];
    }
    PageRef ItemById(const PageRef& collection, const std::string& id) override {
        auto all = As<AllCollection>(collection);
        if (!all) {
            return nullptr;
        }
        auto found = all->document->FindById(id);
        if (found.empty()) {
            return nullptr;
        }
        if (found.size() == 1) {
            return found[0];
        }
        auto several = std::make_shared<Collection>();
        several->items = found;
        return several;
    }
    PageRef AsElement(const PageRef& object) override {
        auto e = As<Element>(object);
        return e && e->isElement ? e : nullptr;
    }
    PageRef AsImage(const PageRef& object) override {
        auto e = As<Element>(object);
        return e && e->isImage ? e : nullptr;
    }
    PageRef AsDomNode(const PageRef& object) override {
        auto e = As<Element>(object);
        return e && e->isDomNode ? e : nullptr;
    }
    int32_t GetOffsetLeft(const PageRef& element) override { return As<Element>(element)->offsetLeft; }
    int32_t GetOffsetTop(const PageRef& element) override { return As<Element>(element)->offsetTop; }
    PageRef GetOffsetParent(const PageRef& element) override { return As<Element>(element)->offsetParent; }
    PageResult PutInnerText(const PageRef& element, const std::string& ansiText) override {
        As<Element>(element)->innerText = ansiText;
        return kPageOk;
    }
    PageResult PutId(const PageRef& element, const std::string& id) override {
        As<Element>(element)->id = id;
        return kPageOk;
    }
    PageRef GetStyle(const PageRef& element) override { return As<Element>(element)->style; }
    std::string GetMimeType(const PageRef& image) override { return As<Element>(image)->mimeType; }
    std::string GetSrc(const PageRef& image) override { return As<Element>(image)->src; }
    int32_t GetWidth(const PageRef& image) override { return As<Element>(image)->width; }
    int32_t GetHeight(const PageRef& image) override { return As<Element>(image)->height; }

    static const char* PropertyName(StyleProperty property) {
        switch (property) {
            case StyleProperty::kBackgroundColor:
                return "backgroundColor";
            case StyleProperty::kBorderWidth:
                return "borderWidth";
            case StyleProperty::kBorderStyle:
                return "borderStyle";
            case StyleProperty::kPixelLeft:
                return "pixelLeft";
            case StyleProperty::kPixelTop:
                return "pixelTop";
            case StyleProperty::kFontSize:
                return "fontSize";
            case StyleProperty::kDisplay:
                return "display";
        }
        return "?";
    }
    PageResult PutStyleText(const PageRef& style, StyleProperty property, const std::string& value) override {
        As<Style>(style)->Put(PropertyName(property), value);
        return kPageOk;
    }
    PageResult PutStylePixels(const PageRef& style, StyleProperty property, int32_t value) override {
        As<Style>(style)->Put(PropertyName(property), std::to_string(value));
        return kPageOk;
    }
    PageRef AsStyle2(const PageRef& style) override {
        auto s = As<Style>(style);
        if (!s || !s->hasStyle2) {
            return nullptr;
        }
        auto style2 = std::make_shared<Style2>();
        style2->style = s;
        return style2;
    }
    PageResult PutPosition(const PageRef& style2, const std::string& value) override {
        As<Style2>(style2)->style->Put("position", value);
        return kPageOk;
    }
    PageResult AppendChild(const PageRef& parentNode, const PageRef& childNode) override {
        auto parent = As<Element>(parentNode);
        auto child = As<Element>(childNode);
        parent->children.push_back(child);
        child->parent = parent.get();
        return kPageOk;
    }
    PageResult RemoveNode(const PageRef& node) override {
        auto child = As<Element>(node);
        if (!child->parent) {
            return kPageFail;
        }
        auto& siblings = child->parent->children;
        std::erase(siblings, child);
        child->parent = nullptr;
        return kPageOk;
    }
    PageRef GetEvent(const PageRef& window) override {
        auto w = As<Window>(window);
        return w ? w->event : nullptr;
    }
    PageRef GetSrcElement(const PageRef& event) override {
        auto e = As<Event>(event);
        return e ? e->source : nullptr;
    }
    bool SameObject(const PageRef& a, const PageRef& b) override { return a == b; }
    PageRef GetConnectionContainer(const PageRef& browserOrDocument) override {
        if (auto b = As<Browser>(browserOrDocument)) {
            return b->hasConnections ? b->connections : nullptr;
        }
        if (auto d = As<Document>(browserOrDocument)) {
            return d->connections;
        }
        return nullptr;
    }
    PageResult Advise(const PageRef& container, EventSource source, uint32_t& cookie) override {
        auto c = As<Connections>(container);
        if (!c->canAdvise) {
            return kPageFail;
        }
        ++c->advises;
        cookie = c->nextCookie++;
        c->live[cookie] = source;
        return kPageOk;
    }
    PageResult Unadvise(const PageRef& container, EventSource source, uint32_t cookie) override {
        auto c = As<Connections>(container);
        ++c->unadvises;
        auto it = c->live.find(cookie);
        if (it == c->live.end() || it->second != source) {
            ++c->failedUnadvises;
            return kPageFail;
        }
        c->live.erase(it);
        return kPageOk;
    }
    PageResult DownloadToFile(const std::string& url, const std::string& path, DownloadExtent extent,
                              const DownloadCancelled& cancelled) override {
        const size_t index = downloads.size();
        downloads.push_back({url, path, extent});
        // What the browser may deliver while a download waits.
        if (onDownload) {
            onDownload();
        }
        std::error_code error;
        if (cancelled()) {
            downloads[index].cancelled = true;
            std::filesystem::remove(ToLocalPath(path), error);
            return kPageAbort;
        }
        auto refused = refusals.find(url);
        auto it = resources.find(url);
        if (refused != refusals.end() || it == resources.end()) {
            std::filesystem::remove(ToLocalPath(path), error);
            return refused != refusals.end() ? refused->second : kPageFail;
        }
        std::ofstream out(ToLocalPath(path), std::ios::binary | std::ios::trunc);
        out.write(it->second.data(), static_cast<std::streamsize>(it->second.size()));
        return out.good() ? kPageOk : kPageFail;
    }
    std::string GetTempFolder() override { return tempPath; }
    bool RemoveFile(const std::string& path) override {
        removedFiles.push_back(path);
        std::error_code error;
        return std::filesystem::remove(ToLocalPath(path), error);
    }
    uint32_t ProcessId() override { return processId; }

    // The handler joins with a backslash; the POSIX file system needs a slash.
    static std::string ToLocalPath(std::string path) {
#ifndef _WIN32
        for (char& c : path) {
            if (c == '\\') {
                c = '/';
            }
        }
#endif
        return path;
    }
};

}  // namespace fake
