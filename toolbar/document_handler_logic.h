// What the document handler does with a page: which images qualify, where each layer's caption box goes,
// how boxes are numbered and styled, when a pass runs, and what each browser or document event means.
// It reaches the page only through a PageModel; the COM class on Windows feeds it the browser's events.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "taglib/image_tags.h"
#include "toolbar/page_model.h"

// Room for a file path, terminator included.
constexpr size_t kMaxPathLength = 260;

// Event ids of the browser's navigation events and of the document's context menu.
constexpr int32_t kDispIdDownloadComplete = 104;
constexpr int32_t kDispIdBeforeNavigate2 = 250;
constexpr int32_t kDispIdNavigateComplete2 = 252;
constexpr int32_t kDispIdDocumentComplete = 259;
constexpr int32_t kDispIdContextMenu = 1023;

constexpr const char* kContextImageFileName = "context_source.jpg";
constexpr const char* kCaptionTag = "SPAN";

// True when the image's type text names a JPEG: at least 3 characters holding "JPG", "JPEG", "jpg" or
// "jpeg" (case-sensitive, so "Jpg" does not count).
bool IsJpegImageType(const std::string& typeText);

// "LumenoteSpan<counter>".
std::string CaptionElementId(int counter);

// The temp folder joined with a file name by exactly one backslash. Empty when the folder is unknown
// (empty) or the result would not fit into kMaxPathLength characters with its terminator.
std::string TempFilePath(const std::string& tempFolder, const std::string& fileName);

// The working file of one pass: "file-<process>-<serial>.jpg", unique per pass within the machine, so
// that overlapping passes of several browser windows never read each other's download.
std::string WorkingFileName(uint32_t processId, uint32_t serial);

// What the band's button drives.
class CaptionSwitch {
public:
    virtual ~CaptionSwitch() = default;
    virtual bool Annotated() const = 0;
    virtual void AnnotatePage() = 0;
    virtual void ShowCaptions() = 0;
    virtual void HideCaptions() = 0;
};

class DocumentHandlerLogic : public CaptionSwitch {
public:
    explicit DocumentHandlerLogic(PageModel& page);
    DocumentHandlerLogic(const DocumentHandlerLogic&) = delete;
    DocumentHandlerLogic& operator=(const DocumentHandlerLogic&) = delete;

    // Attaches to a browser (or to none): captions hidden, page not annotated, id list empty, a running
    // pass ended; connects the browser's events. An earlier browser's event connection is dropped first.
    void AttachBrowser(const PageRef& browser);

    PageResult ConnectBrowserEvents();
    // Drops the browser's event connection and the document's, ends a running pass and lets go of the
    // latest pass's page: what the band's teardown needs so that nothing keeps the handler or a page
    // alive.
    PageResult DisconnectBrowserEvents();
    void ConnectDocumentEvents();
    // Drops the document's event connection and the hold on the document it needs.
    void DisconnectDocumentEvents();

    // One annotation pass over the current document. Its downloads let the browser handle its messages,
    // so events and button presses may arrive while it runs: a request for a pass made then runs one more
    // pass when this one ends (the page may have changed since it read its images); leaving the page,
    // hiding the captions or detaching ends the pass and its downloads.
    void AnnotatePage() override;
    void ShowCaptions() override;
    void HideCaptions() override;
    bool Annotated() const override { return annotated; }

    // The event sink: kPageInvalidArg without parameters, otherwise kPageOk; never cancels the event.
    PageResult Invoke(int32_t dispId, bool hasParameters);

    // Copies the image under the pointer at a context-menu event to the temp folder.
    void SaveContextImage();

    // Sets display on the one element with this id; nothing when none or several carry it.
    void SetCaptionDisplay(const std::string& id, const std::string& value);

    bool Showing() const { return showing; }
    const std::vector<std::string>& ElementIds() const { return elementIds; }
    bool BrowserEventsConnected() const { return browserConnected; }
    bool DocumentEventsConnected() const { return documentConnected; }

private:
    void RunPass();
    // Downloads the head of one image of the page into the working file and reads its tags, scaled to
    // the image as shown. False when it has none to show or the pass was cancelled during the download.
    bool ReadImageTags(const PageRef& image, const std::string& workingPath);
    // A caption box over `element` for each layer of `tags` that has a name and a position.
    void AddLayerCaptions(const PageRef& document, const PageRef& element);
    void CancelPass();
    void ReleaseCaptions();
    void CreateCaptionElement(const PageRef& document, const std::string& id, int32_t x, int32_t y,
                              const std::string& text);
    void PagePosition(const PageRef& element, int64_t& x, int64_t& y);
    void RemoveEarlierCaptions(const PageRef& document);
    std::string NewWorkingPath();

    PageModel& page;
    PageRef browser;
    PageRef browserEvents;  // kept after detaching, for the final disconnect
    uint32_t browserCookie = 0;
    bool browserConnected = false;
    PageRef documentEvents;
    uint32_t documentCookie = 0;
    bool documentConnected = false;
    bool showing = false;
    bool annotated = false;
    bool passRunning = false;
    bool passRequested = false;  // asked for while a pass ran: one more pass follows it
    bool passCancelled = false;  // the running pass ends before its next download, and that download too
    // Counts attachments and teardowns, so that a context-menu copy ends when its browser goes.
    uint32_t attachment = 0;
    std::vector<std::string> elementIds;  // ids made by the latest pass, in creation order
    ImageTags tags;                       // reused for every image of every pass

    // The caption boxes the latest pass put on its document, so that the next pass over the same
    // document replaces them instead of stacking a second box with each id.
    PageRef captionDocument;
    std::vector<PageRef> captionNodes;
};
