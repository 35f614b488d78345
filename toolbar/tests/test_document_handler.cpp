// The document handler over an in-memory page: which images qualify, where boxes go, their ids and
// styles, showing and hiding, the event table, and the working files. Downloads write real files that
// the tag library reads.
#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "toolbar/document_handler_logic.h"
#include "toolbar/tests/fake_page_model.h"
#include "toolbar/tests/tagged_jpeg.h"
#include "test_support/temp_folder.h"

namespace {

using fake::FakePageModel;

const std::vector<std::pair<std::string, std::string>> kHiddenStyleNames = {
    {"backgroundColor", "#FFFFAA"}, {"borderWidth", "1px"}, {"borderStyle", "solid"}};

class DocumentHandlerTest : public ::testing::Test {
protected:
    void SetUp() override {
        page.tempPath = folder.Path() + "/";
        browser->document = document;
        handler.AttachBrowser(browser);
    }

    std::shared_ptr<fake::Element> AddImage(const std::string& url, const std::string& bytes,
                                            const std::string& mimeType = "JPEG Image", int32_t width = 0,
                                            int32_t height = 0) {
        auto image = std::make_shared<fake::Element>();
        image->tag = "IMG";
        image->isImage = true;
        image->mimeType = mimeType;
        image->src = url;
        image->width = width;
        image->height = height;
        image->offsetParent = document->body;
        document->images.push_back(image);
        if (!bytes.empty()) {
            page.resources[url] = bytes;
        }
        return image;
    }

    std::vector<std::string> SpanIds() const {
        std::vector<std::string> ids;
        for (const auto& span : document->Spans()) {
            ids.push_back(span->id);
        }
        return ids;
    }

    int LiveConnections(const std::shared_ptr<fake::Connections>& connections) const {
        return static_cast<int>(connections->live.size());
    }

    TempFolder folder;
    FakePageModel page;
    std::shared_ptr<fake::Browser> browser = std::make_shared<fake::Browser>();
    std::shared_ptr<fake::Document> document = std::make_shared<fake::Document>();
    DocumentHandlerLogic handler{page};
};

TEST(IsJpegImageType, AcceptsOnlyCaseSensitiveJpegNames) {
    struct Case {
        const char* text;
        bool accepted;
    };
    const Case cases[] = {
        {"JPEG Image", true}, {"image/jpeg", true},  {"image/pjpeg", true}, {"JPG", true},
        {"jpg", true},        {"a JPG file", true},  {"GIF Image", false},  {"PNG Image", false},
        {"Jpg", false},       {"Jpeg Image", false}, {"JP", false},         {"", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsJpegImageType(c.text), c.accepted) << c.text;
    }
}

TEST(CaptionElementId, NumbersTheSuiteSpanName) {
    EXPECT_EQ(CaptionElementId(0), "LumenoteSpan0");
    EXPECT_EQ(CaptionElementId(17), "LumenoteSpan17");
}

TEST(TempFilePath, JoinsWithOneSeparatorAndRespectsThePathLimit) {
    EXPECT_EQ(TempFilePath("C:\\Temp\\", "file.jpg"), "C:\\Temp\\file.jpg");
    EXPECT_EQ(TempFilePath("C:\\Temp", "file.jpg"), "C:\\Temp\\file.jpg");
    EXPECT_EQ(TempFilePath("", "file.jpg"), "");

    // 259 characters and the terminator fit; one more does not.
    const std::string name = "context_source.jpg";
    const std::string fitting(kMaxPathLength - 1 - name.size() - 1, 'a');
    EXPECT_EQ(TempFilePath(fitting + "\\", name).size(), kMaxPathLength - 1);
    EXPECT_EQ(TempFilePath(fitting + "a\\", name), "");
}

TEST(WorkingFileName, DiffersByProcessAndSerial) {
    EXPECT_EQ(WorkingFileName(12, 3), "file-12-3.jpg");
    EXPECT_NE(WorkingFileName(12, 3), WorkingFileName(13, 3));
    EXPECT_NE(WorkingFileName(12, 3), WorkingFileName(12, 4));
}

TEST_F(DocumentHandlerTest, PageWithoutImagesIsAnnotatedWithNoIds) {
    handler.AnnotatePage();
    EXPECT_TRUE(handler.Annotated());
    EXPECT_TRUE(handler.ElementIds().empty());
    EXPECT_TRUE(page.downloads.empty());
}

TEST_F(DocumentHandlerTest, NoDocumentOrNoImagesCollectionLeavesAnnotatedUnchanged) {
    document->hasImages = false;
    handler.AnnotatePage();
    EXPECT_FALSE(handler.Annotated());

    browser->document = nullptr;
    handler.AnnotatePage();
    EXPECT_FALSE(handler.Annotated());
}

TEST_F(DocumentHandlerTest, OnlyJpegTypeTextsAreDownloaded) {
    const std::string jpeg = TaggedJpeg(100, 100, {{"One", 1, 1}});
    AddImage("http://a/1", jpeg, "JPEG Image");
    AddImage("http://a/2", jpeg, "GIF Image");
    AddImage("http://a/3", jpeg, "image/jpeg");
    AddImage("http://a/4", jpeg, "Jpg");
    AddImage("http://a/5", jpeg, "JP");
    handler.AnnotatePage();
    ASSERT_EQ(page.downloads.size(), 2u);
    EXPECT_EQ(page.downloads[0].url, "http://a/1");
    EXPECT_EQ(page.downloads[1].url, "http://a/3");
    EXPECT_EQ(handler.ElementIds(), (std::vector<std::string>{"LumenoteSpan0", "LumenoteSpan1"}));
}

TEST_F(DocumentHandlerTest, ItemsThatAreNoImageElementsAreSkipped) {
    const std::string jpeg = TaggedJpeg(100, 100, {{"One", 1, 1}});
    AddImage("http://a/1", jpeg)->isImage = false;
    AddImage("http://a/2", jpeg)->isElement = false;
    AddImage("http://a/3", jpeg);
    handler.AnnotatePage();
    ASSERT_EQ(page.downloads.size(), 1u);
    EXPECT_EQ(page.downloads[0].url, "http://a/3");
}

TEST_F(DocumentHandlerTest, ZeroDisplaySizeKeepsStoredImageCoordinates) {
    auto image = AddImage("http://a/1", TaggedJpeg(1000, 800, {{"Far", 900, 700}}), "JPEG Image", 0, 0);
    image->offsetLeft = 5;
    image->offsetTop = 7;
    handler.AnnotatePage();
    auto spans = document->Spans();
    ASSERT_EQ(spans.size(), 1u);
    EXPECT_EQ(spans[0]->style->Get("pixelLeft"), "905");
    EXPECT_EQ(spans[0]->style->Get("pixelTop"), "707");
}

TEST_F(DocumentHandlerTest, OnlyOneZeroDimensionAlsoKeepsStoredCoordinates) {
    AddImage("http://a/1", TaggedJpeg(1000, 800, {{"Far", 900, 700}}), "JPEG Image", 500, 0);
    handler.AnnotatePage();
    auto spans = document->Spans();
    ASSERT_EQ(spans.size(), 1u);
    EXPECT_EQ(spans[0]->style->Get("pixelLeft"), "900");
    EXPECT_EQ(spans[0]->style->Get("pixelTop"), "700");
}

TEST_F(DocumentHandlerTest, DisplaySizeScalesPositions) {
    AddImage("http://a/1", TaggedJpeg(1024, 1024, {{"Mid", 512, 256}}), "JPEG Image", 256, 512);
    handler.AnnotatePage();
    auto spans = document->Spans();
    ASSERT_EQ(spans.size(), 1u);
    EXPECT_EQ(spans[0]->style->Get("pixelLeft"), "128");
    EXPECT_EQ(spans[0]->style->Get("pixelTop"), "128");
}

TEST_F(DocumentHandlerTest, OffsetParentsAddUpToThePagePosition) {
    // Stored at 1000 x 800, shown at 500 x 400, 10 px into a cell 100 px into the body.
    auto cell = std::make_shared<fake::Element>();
    cell->offsetLeft = 100;
    cell->offsetTop = 30;
    cell->offsetParent = document->body;
    auto image = AddImage("http://a/1", TaggedJpeg(1000, 800, {{"Boat", 100, 50}}), "JPEG Image", 500, 400);
    image->offsetLeft = 10;
    image->offsetTop = 4;
    image->offsetParent = cell;
    handler.AnnotatePage();
    auto spans = document->Spans();
    ASSERT_EQ(spans.size(), 1u);
    EXPECT_EQ(spans[0]->style->Get("pixelLeft"), "160");
    EXPECT_EQ(spans[0]->style->Get("pixelTop"), "59");
}

TEST_F(DocumentHandlerTest, PositionsBeyondThe32BitRangeAreClamped) {
    // A packet size of 0 x 0 leaves positions unscaled.
    auto image = AddImage("http://a/1", TaggedJpeg(0, 0, {{"Edge", 2000000000, -2000000000}}));
    image->offsetLeft = 2000000000;
    image->offsetTop = -2000000000;
    handler.AnnotatePage();
    auto spans = document->Spans();
    ASSERT_EQ(spans.size(), 1u);
    EXPECT_EQ(spans[0]->style->Get("pixelLeft"), std::to_string(INT_MAX));
    EXPECT_EQ(spans[0]->style->Get("pixelTop"), std::to_string(INT_MIN));
}

TEST_F(DocumentHandlerTest, IdsRunAcrossImagesInPageAndLayerOrder) {
    AddImage("http://a/1", TaggedJpeg(100, 100, {{"A", 1, 1}, {"B", 2, 2}}));
    AddImage("http://a/2", TaggedJpeg(100, 100, {{"C", 3, 3}, {"D", 4, 4}, {"E", 5, 5}}));
    handler.AnnotatePage();
    const std::vector<std::string> expected = {"LumenoteSpan0", "LumenoteSpan1", "LumenoteSpan2",
                                               "LumenoteSpan3", "LumenoteSpan4"};
    EXPECT_EQ(handler.ElementIds(), expected);
    EXPECT_EQ(SpanIds(), expected);
    std::string texts;
    for (const auto& span : document->Spans()) {
        texts += span->innerText;
    }
    EXPECT_EQ(texts, "ABCDE");
}

TEST_F(DocumentHandlerTest, StylesAreSetInOrderAndHiddenWhileNotShowing) {
    AddImage("http://a/1", TaggedJpeg(100, 100, {{"Boat", 11, 22}}));
    handler.AnnotatePage();
    auto spans = document->Spans();
    ASSERT_EQ(spans.size(), 1u);
    const std::vector<std::pair<std::string, std::string>> expected = {{"backgroundColor", "#FFFFAA"},
                                                                       {"borderWidth", "1px"},
                                                                       {"borderStyle", "solid"},
                                                                       {"pixelLeft", "11"},
                                                                       {"pixelTop", "22"},
                                                                       {"fontSize", "12px"},
                                                                       {"display", "none"},
                                                                       {"position", "absolute"}};
    EXPECT_EQ(spans[0]->style->log, expected);
    EXPECT_EQ(spans[0]->tag, "SPAN");
    EXPECT_EQ(spans[0]->innerText, "Boat");
}

TEST_F(DocumentHandlerTest, BoxesMadeWhileShowingHaveNoDisplayProperty) {
    AddImage("http://a/1", TaggedJpeg(100, 100, {{"Boat", 11, 22}}));
    handler.ShowCaptions();
    handler.AnnotatePage();
    auto spans = document->Spans();
    ASSERT_EQ(spans.size(), 1u);
    for (const auto& [name, value] : spans[0]->style->log) {
        EXPECT_NE(name, "display");
    }
    EXPECT_EQ(spans[0]->style->log.back(), (std::pair<std::string, std::string>{"position", "absolute"}));
}

TEST_F(DocumentHandlerTest, ShowAndHideSetDisplayOnEveryBox) {
    AddImage("http://a/1", TaggedJpeg(100, 100, {{"A", 1, 1}, {"B", 2, 2}}));
    handler.AnnotatePage();
    for (const auto& span : document->Spans()) {
        EXPECT_EQ(span->style->Get("display"), "none");
    }
    handler.ShowCaptions();
    EXPECT_TRUE(handler.Showing());
    for (const auto& span : document->Spans()) {
        EXPECT_EQ(span->style->log.back(), (std::pair<std::string, std::string>{"display", ""}));
    }
    handler.HideCaptions();
    EXPECT_FALSE(handler.Showing());
    for (const auto& span : document->Spans()) {
        EXPECT_EQ(span->style->Get("display"), "none");
    }
}

TEST_F(DocumentHandlerTest, SecondPassRestartsNumberingAndReplacesTheFirstPassBoxes) {
    auto first = AddImage("http://a/1", TaggedJpeg(100, 100, {{"A", 1, 1}, {"B", 2, 2}}));
    AddImage("http://a/2", TaggedJpeg(100, 100, {{"C", 3, 3}}));
    handler.AnnotatePage();
    ASSERT_EQ(SpanIds().size(), 3u);

    first->mimeType = "GIF Image";
    handler.AnnotatePage();
    EXPECT_EQ(handler.ElementIds(), (std::vector<std::string>{"LumenoteSpan0"}));
    EXPECT_EQ(SpanIds(), (std::vector<std::string>{"LumenoteSpan0"}));
    ASSERT_EQ(document->Spans().size(), 1u);
    EXPECT_EQ(document->Spans()[0]->innerText, "C");
}

TEST_F(DocumentHandlerTest, PassOnANewDocumentLeavesTheOldDocumentAlone) {
    AddImage("http://a/1", TaggedJpeg(100, 100, {{"A", 1, 1}}));
    handler.AnnotatePage();
    auto oldDocument = document;
    auto newDocument = std::make_shared<fake::Document>();
    browser->document = newDocument;
    handler.AnnotatePage();
    EXPECT_EQ(oldDocument->Spans().size(), 1u);
    EXPECT_TRUE(newDocument->Spans().empty());
}

TEST_F(DocumentHandlerTest, LayersWithoutNameOrPositionAreSkippedWithoutUsingANumber) {
    TestLayer noName{"", 1, 1, false, true};
    TestLayer noPosition{"Lost", 0, 0, true, false};
    AddImage("http://a/1", TaggedJpeg(100, 100, {{"A", 1, 1}, noName, noPosition, {"B", 2, 2}}));
    handler.AnnotatePage();
    EXPECT_EQ(handler.ElementIds(), (std::vector<std::string>{"LumenoteSpan0", "LumenoteSpan1"}));
    ASSERT_EQ(document->Spans().size(), 2u);
    EXPECT_EQ(document->Spans()[1]->innerText, "B");
}

TEST_F(DocumentHandlerTest, MissingBodyStyleOrSecondStyleAddsNoBoxButKeepsTheIds) {
    AddImage("http://a/1", TaggedJpeg(100, 100, {{"A", 1, 1}, {"B", 2, 2}}));
    const std::vector<std::string> expected = {"LumenoteSpan0", "LumenoteSpan1"};

    document->newElementsHaveStyle2 = false;
    handler.AnnotatePage();
    EXPECT_EQ(handler.ElementIds(), expected);
    EXPECT_TRUE(document->Spans().empty());

    document->newElementsHaveStyle2 = true;
    document->newElementsHaveStyle = false;
    handler.AnnotatePage();
    EXPECT_EQ(handler.ElementIds(), expected);
    EXPECT_TRUE(document->Spans().empty());

    document->newElementsHaveStyle = true;
    document->canCreateElements = false;
    handler.AnnotatePage();
    EXPECT_EQ(handler.ElementIds(), expected);

    document->canCreateElements = true;
    document->body->isDomNode = false;
    const size_t createdBefore = document->created.size();
    handler.AnnotatePage();
    EXPECT_EQ(handler.ElementIds(), expected);
    EXPECT_EQ(document->created.size(), createdBefore);  // nothing made without a body to put it in
    EXPECT_TRUE(document->Spans().empty());
    EXPECT_TRUE(handler.Annotated());
}

TEST_F(DocumentHandlerTest, DisplayLookupThatFindsSeveralElementsChangesNothing) {
    AddImage("http://a/1", TaggedJpeg(100, 100, {{"A", 1, 1}, {"B", 2, 2}}));
    handler.AnnotatePage();
    // The page itself carries an element with the first id.
    auto impostor = std::make_shared<fake::Element>();
    impostor->id = "LumenoteSpan0";
    document->body->children.push_back(impostor);
    impostor->parent = document->body.get();

    handler.ShowCaptions();
    auto spans = document->Spans();
    ASSERT_EQ(spans.size(), 2u);
    EXPECT_EQ(spans[0]->style->Get("display"), "none");
    EXPECT_EQ(spans[1]->style->Get("display"), "");
    EXPECT_TRUE(impostor->style->log.empty());
}

TEST_F(DocumentHandlerTest, NotAJpegOrAHostileDownloadSkipsOnlyThatImage) {
    const std::string good = TaggedJpeg(100, 100, {{"Good", 1, 1}});
    std::string truncated = good.substr(0, good.size() / 2);
    std::string hugeLength = JpegWithPacket(TagPacket(100, 100, {{"X", 1, 1}}));
    hugeLength[4] = '\xFF';  // an APP9 length far beyond the end of the file
    hugeLength[5] = '\xFF';
    AddImage("http://a/gif", std::string("GIF89a\x01\x00\x01\x00", 10));
    AddImage("http://a/html", "<html><body>not found</body></html>");
    AddImage("http://a/empty", std::string(1, '\0'));
    AddImage("http://a/truncated", truncated);
    AddImage("http://a/length", hugeLength);
    AddImage("http://a/garbage", JpegWithPacket("<rdf:RDF><rdf:Description><nto:layer><<<&&&"));
    AddImage("http://a/missing", "");  // not served: the download fails
    AddImage("http://a/good", good);
    handler.AnnotatePage();
    EXPECT_EQ(page.downloads.size(), 8u);
    EXPECT_TRUE(handler.Annotated());
    ASSERT_FALSE(document->Spans().empty());
    EXPECT_EQ(document->Spans().back()->innerText, "Good");
}

TEST_F(DocumentHandlerTest, EachPassHasItsOwnWorkingFileRemovedAfterwards) {
    AddImage("http://a/1", TaggedJpeg(100, 100, {{"A", 1, 1}}));
    AddImage("http://a/2", TaggedJpeg(100, 100, {{"B", 1, 1}}));
    handler.AnnotatePage();
    handler.AnnotatePage();
    ASSERT_EQ(page.downloads.size(), 4u);
    EXPECT_EQ(page.downloads[0].path, page.downloads[1].path);  // one file per pass
    EXPECT_NE(page.downloads[0].path, page.downloads[2].path);  // a new one for the next pass
    EXPECT_EQ(page.downloads[0].path.rfind(page.tempPath, 0), 0u);
    EXPECT_EQ(page.removedFiles, (std::vector<std::string>{page.downloads[0].path, page.downloads[2].path}));
    EXPECT_TRUE(std::filesystem::is_empty(folder.path));
}

TEST_F(DocumentHandlerTest, LoadEventDuringADownloadRunsOneMorePassAfterIt) {
    // The page finishes loading while the pass of its first load event downloads its first image.
    AddImage("http://a/1", TaggedJpeg(100, 100, {{"A", 1, 1}, {"B", 2, 2}}));
    handler.ShowCaptions();
    int nested = 0;
    page.onDownload = [&] {
        if (nested++ == 0) {
            AddImage("http://a/2", TaggedJpeg(100, 100, {{"C", 3, 3}}));
            handler.Invoke(kDispIdDocumentComplete, true);
            handler.Invoke(kDispIdDownloadComplete, true);
        }
    };
    handler.Invoke(kDispIdNavigateComplete2, true);
    ASSERT_EQ(page.downloads.size(), 3u);  // one more pass for both events, not one each
    EXPECT_EQ(page.downloads[2].url, "http://a/2");
    EXPECT_EQ(SpanIds(), (std::vector<std::string>{"LumenoteSpan0", "LumenoteSpan1", "LumenoteSpan2"}));
    EXPECT_EQ(handler.ElementIds(), SpanIds());
    EXPECT_TRUE(handler.Annotated());
    EXPECT_EQ(LiveConnections(document->connections), 1);
}

TEST_F(DocumentHandlerTest, CappedStalledOrAbortedDownloadSkipsOnlyThatImage) {
    AddImage("http://a/capped", TaggedJpeg(100, 100, {{"X", 1, 1}}));
    AddImage("http://a/1", TaggedJpeg(100, 100, {{"A", 1, 1}, {"B", 2, 2}}));
    AddImage("http://a/stalled", TaggedJpeg(100, 100, {{"Y", 1, 1}}));
    AddImage("http://a/2", TaggedJpeg(100, 100, {{"C", 3, 3}}));
    page.refusals["http://a/capped"] = kPageFail;
    page.refusals["http://a/stalled"] = kPageAbort;
    handler.AnnotatePage();
    ASSERT_EQ(page.downloads.size(), 4u);
    for (const fake::Download& download : page.downloads) {
        EXPECT_EQ(download.extent, DownloadExtent::kJpegHeader) << download.url;
    }
    EXPECT_EQ(SpanIds(), (std::vector<std::string>{"LumenoteSpan0", "LumenoteSpan1", "LumenoteSpan2"}));
    std::string texts;
    for (const auto& span : document->Spans()) {
        texts += span->innerText;
    }
    EXPECT_EQ(texts, "ABC");
    EXPECT_TRUE(handler.Annotated());
}

TEST_F(DocumentHandlerTest, LeavingThePageHidingOrDetachingEndsTheRunningPass) {
    struct Row {
        const char* what;
        std::function<void(DocumentHandlerLogic&)> act;
    };
    const Row rows[] = {
        {"BeforeNavigate2", [](DocumentHandlerLogic& h) { h.Invoke(kDispIdBeforeNavigate2, true); }},
        {"HideCaptions", [](DocumentHandlerLogic& h) { h.HideCaptions(); }},
        {"AttachBrowser(none)", [](DocumentHandlerLogic& h) { h.AttachBrowser(nullptr); }},
        {"DisconnectBrowserEvents", [](DocumentHandlerLogic& h) { h.DisconnectBrowserEvents(); }},
    };
    AddImage("http://a/1", TaggedJpeg(100, 100, {{"A", 1, 1}}));
    AddImage("http://a/2", TaggedJpeg(100, 100, {{"B", 1, 1}}));
    for (const Row& row : rows) {
        handler.AttachBrowser(browser);
        handler.ShowCaptions();
        page.downloads.clear();
        page.onDownload = [&] { row.act(handler); };
        handler.Invoke(kDispIdNavigateComplete2, true);
        page.onDownload = nullptr;
        ASSERT_EQ(page.downloads.size(), 1u) << row.what;
        EXPECT_TRUE(page.downloads[0].cancelled) << row.what;
        EXPECT_FALSE(handler.Annotated()) << row.what;
        EXPECT_TRUE(document->Spans().empty()) << row.what;
        EXPECT_TRUE(std::filesystem::is_empty(folder.path)) << row.what;
    }
}

TEST_F(DocumentHandlerTest, PageLoadedWhileTheLeftPageDownloadedGetsItsOwnPass) {
    AddImage("http://a/1", TaggedJpeg(100, 100, {{"A", 1, 1}}));
    AddImage("http://a/2", TaggedJpeg(100, 100, {{"B", 1, 1}}));
    auto next = std::make_shared<fake::Document>();
    auto image = std::make_shared<fake::Element>();
    image->isImage = true;
    image->mimeType = "JPEG Image";
    image->src = "http://b/1";
    next->images.push_back(image);
    page.resources["http://b/1"] = TaggedJpeg(100, 100, {{"Next", 1, 1}});
    handler.ShowCaptions();
    page.onDownload = [&] {
        if (browser->document == document) {
            handler.Invoke(kDispIdBeforeNavigate2, true);
            browser->document = next;
            handler.Invoke(kDispIdDocumentComplete, true);
        }
    };
    handler.Invoke(kDispIdDocumentComplete, true);
    ASSERT_EQ(page.downloads.size(), 2u);
    EXPECT_TRUE(page.downloads[0].cancelled);
    EXPECT_EQ(page.downloads[1].url, "http://b/1");
    EXPECT_TRUE(document->Spans().empty());
    ASSERT_EQ(next->Spans().size(), 1u);
    EXPECT_EQ(next->Spans()[0]->id, "LumenoteSpan0");
    EXPECT_TRUE(handler.Annotated());
}

TEST_F(DocumentHandlerTest, LeavingThePageReleasesItsDocumentAndCaptions) {
    auto next = std::make_shared<fake::Document>();
    auto navigate = [&] {
        browser->document = next;
        handler.Invoke(kDispIdBeforeNavigate2, true);
        handler.Invoke(kDispIdNavigateComplete2, true);
    };
    struct Row {
        const char* what;
        std::function<void()> act;
    };
    // The captions stay hidden: no pass on the next page would let go of the left one.
    const Row rows[] = {
        {"next page's first load event", navigate},
        {"next page loaded during a download of a pass",
         [&] {
             bool navigated = false;
             page.onDownload = [&] {
                 if (!navigated) {
                     navigated = true;
                     navigate();
                 }
             };
             handler.AnnotatePage();
             page.onDownload = nullptr;
         }},
        {"DisconnectBrowserEvents",
         [&] {
             browser->document = next;
             handler.DisconnectBrowserEvents();
         }},
        {"AttachBrowser(none)",
         [&] {
             browser->document = next;
             handler.AttachBrowser(nullptr);
         }},
    };
    for (const Row& row : rows) {
        auto left = std::make_shared<fake::Document>();
        browser->document = left;
        handler.AttachBrowser(browser);
        auto image = std::make_shared<fake::Element>();
        image->isImage = true;
        image->mimeType = "JPEG Image";
        image->src = "http://a/1";
        left->images.push_back(image);
        page.resources["http://a/1"] = TaggedJpeg(100, 100, {{"A", 1, 1}});
        handler.Invoke(kDispIdDocumentComplete, true);
        handler.AnnotatePage();
        ASSERT_EQ(left->Spans().size(), 1u) << row.what;
        std::weak_ptr<fake::Document> leftDocument = left;
        std::weak_ptr<fake::Element> caption = left->Spans()[0];
        std::weak_ptr<fake::Connections> leftEvents = left->connections;
        left.reset();
        image.reset();

        row.act();
        EXPECT_TRUE(leftDocument.expired()) << row.what;
        EXPECT_TRUE(caption.expired()) << row.what;
        EXPECT_TRUE(leftEvents.expired()) << row.what;
    }
}

TEST_F(DocumentHandlerTest, OverlongOrUnknownTempFolderSkipsThePass) {
    AddImage("http://a/1", TaggedJpeg(100, 100, {{"A", 1, 1}}));
    page.tempPath = std::string(kMaxPathLength, 'x') + "/";
    handler.AnnotatePage();
    page.tempPath.clear();
    handler.AnnotatePage();
    EXPECT_TRUE(page.downloads.empty());
    EXPECT_FALSE(handler.Annotated());
}

TEST_F(DocumentHandlerTest, SkippedPassForgetsTheIdsOfTheEarlierPass) {
    AddImage("http://a/1", TaggedJpeg(100, 100, {{"A", 1, 1}}));
    handler.AnnotatePage();
    ASSERT_EQ(handler.ElementIds(), (std::vector<std::string>{"LumenoteSpan0"}));
    // On the next page the pass cannot run; the old ids must not reach the new page's elements.
    handler.Invoke(kDispIdBeforeNavigate2, true);
    page.tempPath = std::string(kMaxPathLength, 'x') + "/";
    handler.AnnotatePage();
    EXPECT_TRUE(handler.ElementIds().empty());
    EXPECT_FALSE(handler.Annotated());
}

TEST_F(DocumentHandlerTest, InvokeWithoutParametersIsRejectedAndDoesNothing) {
    AddImage("http://a/1", TaggedJpeg(100, 100, {{"A", 1, 1}}));
    handler.ShowCaptions();
    for (int32_t dispId : {kDispIdBeforeNavigate2, kDispIdDownloadComplete, kDispIdNavigateComplete2,
                           kDispIdDocumentComplete, kDispIdContextMenu}) {
        EXPECT_EQ(handler.Invoke(dispId, false), kPageInvalidArg);
    }
    EXPECT_TRUE(page.downloads.empty());
    EXPECT_EQ(document->connections->advises, 0);
}

TEST_F(DocumentHandlerTest, LoadEventsConnectTheDocumentOnceAndPassOnlyWhileShowing) {
    AddImage("http://a/1", TaggedJpeg(100, 100, {{"A", 1, 1}, {"B", 2, 2}}));
    for (int32_t dispId : {kDispIdNavigateComplete2, kDispIdDownloadComplete, kDispIdDocumentComplete}) {
        EXPECT_EQ(handler.Invoke(dispId, true), kPageOk);
    }
    EXPECT_TRUE(page.downloads.empty());
    EXPECT_FALSE(handler.Annotated());
    EXPECT_EQ(LiveConnections(document->connections), 1);

    handler.ShowCaptions();
    for (int32_t dispId : {kDispIdNavigateComplete2, kDispIdDownloadComplete, kDispIdDocumentComplete}) {
        EXPECT_EQ(handler.Invoke(dispId, true), kPageOk);
    }
    EXPECT_EQ(page.downloads.size(), 3u);
    EXPECT_TRUE(handler.Annotated());
    EXPECT_EQ(LiveConnections(document->connections), 1);
    EXPECT_EQ(document->connections->failedUnadvises, 0);
    // One box per id after three passes, so each can be found and switched.
    EXPECT_EQ(SpanIds(), (std::vector<std::string>{"LumenoteSpan0", "LumenoteSpan1"}));
    handler.HideCaptions();
    for (const auto& span : document->Spans()) {
        EXPECT_EQ(span->style->Get("display"), "none");
    }
}

TEST_F(DocumentHandlerTest, BeforeNavigateClearsAnnotatedAndDisconnectsTheDocument) {
    handler.Invoke(kDispIdDocumentComplete, true);
    handler.AnnotatePage();
    ASSERT_TRUE(handler.Annotated());
    ASSERT_EQ(LiveConnections(document->connections), 1);
    EXPECT_EQ(handler.Invoke(kDispIdBeforeNavigate2, true), kPageOk);
    EXPECT_FALSE(handler.Annotated());
    EXPECT_EQ(LiveConnections(document->connections), 0);
    EXPECT_FALSE(handler.DocumentEventsConnected());
}

TEST_F(DocumentHandlerTest, UnknownEventsDoNothing) {
    handler.AnnotatePage();
    EXPECT_EQ(handler.Invoke(105, true), kPageOk);
    EXPECT_EQ(handler.Invoke(0, true), kPageOk);
    EXPECT_TRUE(handler.Annotated());
    EXPECT_EQ(document->connections->advises, 0);
}

TEST_F(DocumentHandlerTest, ContextMenuOverTextDownloadsNothing) {
    auto text = std::make_shared<fake::Element>();
    text->tag = "P";
    document->window->event = std::make_shared<fake::Event>();
    document->window->event->source = text;
    EXPECT_EQ(handler.Invoke(kDispIdContextMenu, true), kPageOk);
    EXPECT_TRUE(page.downloads.empty());

    document->window->event = nullptr;
    EXPECT_EQ(handler.Invoke(kDispIdContextMenu, true), kPageOk);
    EXPECT_TRUE(page.downloads.empty());
}

TEST_F(DocumentHandlerTest, ContextMenuOverAnImageReplacesTheContextFile) {
    auto image = AddImage("http://a/photo", "first bytes");
    document->window->event = std::make_shared<fake::Event>();
    document->window->event->source = image;
    EXPECT_EQ(handler.Invoke(kDispIdContextMenu, true), kPageOk);
    page.resources["http://a/photo"] = "second";
    EXPECT_EQ(handler.Invoke(kDispIdContextMenu, true), kPageOk);
    ASSERT_EQ(page.downloads.size(), 2u);
    const std::filesystem::path saved = folder.path / kContextImageFileName;
    EXPECT_EQ(page.downloads[1].path, page.tempPath + kContextImageFileName);
    EXPECT_EQ(page.downloads[1].extent, DownloadExtent::kWholeFile);  // a copy of the image, not its header
    std::ifstream in(saved, std::ios::binary);
    std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(content, "second");
    EXPECT_TRUE(page.removedFiles.empty());  // the copy stays for the user
}

TEST_F(DocumentHandlerTest, AttachBrowserResetsStateAndConnectsItsEvents) {
    EXPECT_TRUE(handler.BrowserEventsConnected());
    EXPECT_EQ(LiveConnections(browser->connections), 1);
    AddImage("http://a/1", TaggedJpeg(100, 100, {{"A", 1, 1}}));
    handler.ShowCaptions();
    handler.Invoke(kDispIdDocumentComplete, true);
    ASSERT_TRUE(handler.Annotated());
    ASSERT_EQ(LiveConnections(document->connections), 1);

    handler.AttachBrowser(nullptr);
    EXPECT_FALSE(handler.Showing());
    EXPECT_FALSE(handler.Annotated());
    EXPECT_TRUE(handler.ElementIds().empty());
    EXPECT_EQ(LiveConnections(document->connections), 0);
    // The browser's connection stays for the teardown's disconnect.
    EXPECT_EQ(LiveConnections(browser->connections), 1);
    EXPECT_EQ(handler.DisconnectBrowserEvents(), kPageOk);
    EXPECT_EQ(LiveConnections(browser->connections), 0);
    EXPECT_EQ(browser->connections->failedUnadvises, 0);
}

TEST_F(DocumentHandlerTest, AttachingAnotherBrowserDropsTheFirstConnection) {
    auto second = std::make_shared<fake::Browser>();
    second->document = std::make_shared<fake::Document>();
    handler.AttachBrowser(second);
    EXPECT_EQ(LiveConnections(browser->connections), 0);
    EXPECT_EQ(LiveConnections(second->connections), 1);
    handler.AttachBrowser(second);
    EXPECT_EQ(LiveConnections(second->connections), 1);
    EXPECT_EQ(second->connections->failedUnadvises, 0);
}

TEST_F(DocumentHandlerTest, BrowserWithoutConnectionPointsStaysUnconnected) {
    auto other = std::make_shared<fake::Browser>();
    other->hasConnections = false;
    handler.AttachBrowser(other);
    EXPECT_FALSE(handler.BrowserEventsConnected());

    auto refusing = std::make_shared<fake::Browser>();
    refusing->connections->canAdvise = false;
    handler.AttachBrowser(refusing);
    EXPECT_FALSE(handler.BrowserEventsConnected());
    EXPECT_EQ(handler.ConnectBrowserEvents(), kPageFail);
}

TEST_F(DocumentHandlerTest, TeardownDropsTheDocumentConnectionToo) {
    handler.Invoke(kDispIdDocumentComplete, true);
    ASSERT_EQ(LiveConnections(document->connections), 1);
    EXPECT_EQ(handler.DisconnectBrowserEvents(), kPageOk);
    EXPECT_EQ(LiveConnections(document->connections), 0);
    EXPECT_EQ(LiveConnections(browser->connections), 0);
}

TEST_F(DocumentHandlerTest, DetachedHandlerDoesNothing) {
    AddImage("http://a/1", TaggedJpeg(100, 100, {{"A", 1, 1}}));
    handler.AttachBrowser(nullptr);
    handler.AnnotatePage();
    handler.ShowCaptions();
    handler.Invoke(kDispIdContextMenu, true);
    EXPECT_TRUE(page.downloads.empty());
    EXPECT_FALSE(handler.Annotated());
}

}  // namespace
