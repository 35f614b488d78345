// The band's logic: the band information it reports, its "Show" button driving the document handler,
// and what a new site does to existing windows.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "toolbar/band_logic.h"
#include "toolbar/tests/fake_page_model.h"
#include "toolbar/tests/tagged_jpeg.h"
#include "test_support/temp_folder.h"

namespace {

TEST(FillBandInfo, MinAndActualSizeAndBackgroundBitCleared) {
    BandInfo info;
    info.mask = kBandInfoMinSize | kBandInfoActual | kBandInfoBackColor;
    FillBandInfo(info);
    EXPECT_EQ(info.minSize.x, 250);
    EXPECT_EQ(info.minSize.y, 20);
    EXPECT_EQ(info.actual.x, 250);
    EXPECT_EQ(info.actual.y, 20);
    EXPECT_EQ(info.mask, kBandInfoMinSize | kBandInfoActual);
    // Fields not asked for stay as the caller gave them.
    EXPECT_EQ(info.maxSize.y, 0);
    EXPECT_EQ(info.modeFlags, 0u);
    EXPECT_FALSE(info.titleSet);
}

TEST(FillBandInfo, EveryFieldOfTheFullMask) {
    BandInfo info;
    info.mask = kBandInfoMinSize | kBandInfoMaxSize | kBandInfoIntegral | kBandInfoActual | kBandInfoTitle |
                kBandInfoModeFlags;
    FillBandInfo(info);
    EXPECT_EQ(info.maxSize.x, 0);
    EXPECT_EQ(info.maxSize.y, -1);
    EXPECT_EQ(info.integral.x, 1);
    EXPECT_EQ(info.integral.y, 1);
    EXPECT_TRUE(info.titleSet);
    EXPECT_EQ(info.modeFlags, kBandModeVariableHeight);
    EXPECT_EQ(info.mask, kBandInfoMinSize | kBandInfoMaxSize | kBandInfoIntegral | kBandInfoActual |
                             kBandInfoTitle | kBandInfoModeFlags);
}

TEST(FillBandInfo, EmptyMaskChangesNothing) {
    BandInfo info;
    info.minSize = {7, 8};
    FillBandInfo(info);
    EXPECT_EQ(info.minSize.x, 7);
    EXPECT_EQ(info.mask, 0u);
}

// Records what the button asks of the handler.
class RecordingSwitch : public CaptionSwitch {
public:
    bool annotated = false;
    std::vector<std::string> calls;
    bool Annotated() const override { return annotated; }
    void AnnotatePage() override {
        calls.push_back("annotate");
        annotated = true;
    }
    void ShowCaptions() override { calls.push_back("show"); }
    void HideCaptions() override { calls.push_back("hide"); }
};

TEST(HandleBandCommand, TableOfCommands) {
    struct Case {
        uint16_t code;
        uint16_t command;
        bool checked;
        bool annotated;
        int32_t result;
        std::vector<std::string> calls;
        int stateQueries;  // the state is asked again after a pass
    };
    const Case cases[] = {
        {0, kButtonCommand, true, false, 0, {"annotate", "show"}, 2},
        {0, kButtonCommand, true, true, 0, {"show"}, 1},
        {0, kButtonCommand, false, false, 0, {"hide"}, 1},
        {0, kButtonCommand, false, true, 0, {"hide"}, 1},
        {1, kButtonCommand, true, false, -1, {}, 0},  // a notification, not a click
        {0, 203, true, false, -1, {}, 0},
        {0, 0, false, false, -1, {}, 0},
    };
    for (const Case& c : cases) {
        RecordingSwitch captions;
        captions.annotated = c.annotated;
        int stateQueries = 0;
        auto isChecked = [&] {
            ++stateQueries;
            return c.checked;
        };
        EXPECT_EQ(HandleBandCommand(c.code, c.command, isChecked, captions), c.result);
        EXPECT_EQ(captions.calls, c.calls) << c.code << " " << c.command;
        EXPECT_EQ(stateQueries, c.stateQueries);
    }
}

TEST(DecideSiteWindows, CreatesOnceAndNeverDuplicates) {
    EXPECT_EQ(DecideSiteWindows(false, false), SiteWindowAction::kCreate);
    EXPECT_EQ(DecideSiteWindows(false, true), SiteWindowAction::kCreate);
    EXPECT_EQ(DecideSiteWindows(true, true), SiteWindowAction::kReuse);
    EXPECT_EQ(DecideSiteWindows(true, false), SiteWindowAction::kReparent);
}

// The button over the real handler and an in-memory page with one tagged image.
class BandButtonTest : public ::testing::Test {
protected:
    void SetUp() override {
        page.tempPath = folder.Path() + "/";
        browser->document = document;
        AddTaggedImage(document, "http://a/1");
        handler.AttachBrowser(browser);
    }

    void AddTaggedImage(const std::shared_ptr<fake::Document>& target, const std::string& url) {
        auto image = std::make_shared<fake::Element>();
        image->isImage = true;
        image->mimeType = "JPEG Image";
        image->src = url;
        target->images.push_back(image);
        page.resources[url] = TaggedJpeg(100, 100, {{"A", 1, 1}, {"B", 2, 2}});
    }

    int32_t Press() {
        checked = !checked;
        return HandleBandCommand(
            0, kButtonCommand, [this] { return checked; }, handler);
    }

    std::vector<std::string> Displays(const std::shared_ptr<fake::Document>& target) const {
        std::vector<std::string> displays;
        for (const auto& span : target->Spans()) {
            displays.push_back(span->style->Get("display"));
        }
        return displays;
    }

    TempFolder folder;
    fake::FakePageModel page;
    std::shared_ptr<fake::Browser> browser = std::make_shared<fake::Browser>();
    std::shared_ptr<fake::Document> document = std::make_shared<fake::Document>();
    DocumentHandlerLogic handler{page};
    bool checked = false;
};

TEST_F(BandButtonTest, FirstPressAnnotatesAndShowsSecondHidesThirdShowsWithoutNewPass) {
    EXPECT_EQ(Press(), 0);
    EXPECT_EQ(page.downloads.size(), 1u);
    EXPECT_EQ(Displays(document), (std::vector<std::string>{"", ""}));

    EXPECT_EQ(Press(), 0);
    EXPECT_EQ(Displays(document), (std::vector<std::string>{"none", "none"}));

    EXPECT_EQ(Press(), 0);
    EXPECT_EQ(page.downloads.size(), 1u);
    EXPECT_EQ(Displays(document), (std::vector<std::string>{"", ""}));
}

TEST_F(BandButtonTest, PressAfterBeforeNavigateRunsANewPassOnTheNewPage) {
    EXPECT_EQ(Press(), 0);
    EXPECT_EQ(Press(), 0);  // hidden again, so the new page loads without a pass
    handler.Invoke(kDispIdBeforeNavigate2, true);
    auto next = std::make_shared<fake::Document>();
    AddTaggedImage(next, "http://b/1");
    browser->document = next;
    handler.Invoke(kDispIdDocumentComplete, true);
    EXPECT_TRUE(next->Spans().empty());

    EXPECT_EQ(Press(), 0);
    ASSERT_EQ(page.downloads.size(), 2u);
    EXPECT_EQ(page.downloads[1].url, "http://b/1");
    EXPECT_EQ(Displays(next), (std::vector<std::string>{"", ""}));
}

TEST_F(BandButtonTest, SecondPressWhileTheFirstPassDownloadsEndsItAndShowsNothing) {
    AddTaggedImage(document, "http://a/2");
    bool pressed = false;
    page.onDownload = [&] {
        if (!pressed) {
            pressed = true;
            EXPECT_EQ(Press(), 0);
        }
    };
    EXPECT_EQ(Press(), 0);
    EXPECT_FALSE(checked);
    ASSERT_EQ(page.downloads.size(), 1u);
    EXPECT_TRUE(page.downloads[0].cancelled);
    EXPECT_FALSE(handler.Showing());
    EXPECT_FALSE(handler.Annotated());
    EXPECT_TRUE(document->Spans().empty());

    EXPECT_EQ(Press(), 0);  // pressed once more: the pass runs whole
    EXPECT_EQ(page.downloads.size(), 3u);
    EXPECT_EQ(Displays(document), (std::vector<std::string>{"", "", "", ""}));
}

TEST_F(BandButtonTest, PageCompletingDuringTheButtonsPassGetsOneMorePass) {
    bool completed = false;
    page.onDownload = [&] {
        if (!completed) {
            completed = true;
            AddTaggedImage(document, "http://a/2");
            handler.Invoke(kDispIdDocumentComplete, true);
        }
    };
    EXPECT_EQ(Press(), 0);
    ASSERT_EQ(page.downloads.size(), 3u);
    EXPECT_EQ(page.downloads[2].url, "http://a/2");
    EXPECT_EQ(Displays(document), (std::vector<std::string>{"", "", "", ""}));
}

TEST_F(BandButtonTest, ButtonOfADetachedBandShowsNothing) {
    handler.AttachBrowser(nullptr);
    EXPECT_EQ(Press(), 0);
    EXPECT_TRUE(page.downloads.empty());
    EXPECT_TRUE(document->Spans().empty());
}

}  // namespace
