// The page model's downloads under Wine: the real URL monikers against download_server.py on 127.0.0.1
// (its address comes in VELLUMAR_TEST_HTTP), with short limits so that stalls and time limits show in
// seconds. Times are checked only as generous upper bounds.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "toolbar/tests/com_test_support_win32.h"
#include "taglib/image_tags.h"
#include "toolbar/jpeg_header_scanner.h"
#include "toolbar/win32/page_model_win32.h"
#include "toolbar/tests/tagged_jpeg.h"
#include "toolbar/win32/url_download_win32.h"

namespace {

constexpr DownloadLimits kShortLimits{1024 * 1024, 1000, 3000};
// Far beyond any limit above: only a hang gets near it.
constexpr DWORD kHangMs = 30000;

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

size_t HeaderLength(const std::string& jpeg) {
    JpegHeaderScanner scanner;
    scanner.Feed(reinterpret_cast<const uint8_t*>(jpeg.data()), jpeg.size());
    return static_cast<size_t>(scanner.HeaderBytes());
}

// The names of the layers a metadata-only load finds.
std::string LayerNames(const std::string& path) {
    ImageTags tags;
    if (!tags.Load(path.c_str(), kLoadMetadata)) {
        return "<not loaded>";
    }
    std::string names;
    for (int k = 0; k < tags.LayerCount(); ++k) {
        TagLayer layer;
        if (tags.GetLayer(k, layer)) {
            names += layer.name + ";";
        }
    }
    return names;
}

class PageDownloadTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(apartment.result));
        const char* base = std::getenv("VELLUMAR_TEST_HTTP");
        ASSERT_NE(base, nullptr) << "run through page_check.sh, which starts the test server";
        server = base;
        page.SetDownloadLimits(kShortLimits);
        path = testsupport::Narrow(folder.File(L"file.jpg"));
    }

    HRESULT Download(const char* name, DownloadExtent extent) {
        const DWORD start = GetTickCount();
        HRESULT hr = page.DownloadToFile(server + name, path, extent, [] { return false; });
        EXPECT_LT(GetTickCount() - start, kHangMs) << name;
        return hr;
    }

    testsupport::ComApartment apartment;
    TempFolder folder;
    Win32PageModel page{nullptr};
    std::string server;
    std::string path;
    const std::string photo = ReadTestFile("samples/photos/packet_regions.jpg");
};

TEST_F(PageDownloadTest, TaggedPhotoStopsAtItsHeaderWithItsTags) {
    ASSERT_GT(photo.size(), HeaderLength(photo));
    EXPECT_EQ(Download("/tagged.jpg", DownloadExtent::kJpegHeader), S_OK);
    EXPECT_EQ(ReadFile(path), photo.substr(0, HeaderLength(photo)));
    EXPECT_NE(LayerNames(path), "");
    EXPECT_EQ(LayerNames(path),
              LayerNames(std::string(VELLUMAR_SOURCE_DIR) + "/samples/photos/packet_regions.jpg"));
}

TEST_F(PageDownloadTest, WholeFileIsACopyOfThePhoto) {
    EXPECT_EQ(Download("/tagged.jpg", DownloadExtent::kWholeFile), S_OK);
    EXPECT_EQ(ReadFile(path), photo);
}

TEST_F(PageDownloadTest, HeaderOverManyNetworkReadsIsFoundWhole) {
    EXPECT_EQ(Download("/split.jpg", DownloadExtent::kJpegHeader), S_OK);
    const size_t filler = 60000 + 4;  // the served segment in front of the photo's own
    EXPECT_EQ(ReadFile(path).size(), HeaderLength(photo) + filler);
    EXPECT_EQ(LayerNames(path),
              LayerNames(std::string(VELLUMAR_SOURCE_DIR) + "/samples/photos/packet_regions.jpg"));
}

TEST_F(PageDownloadTest, HundredMegabytesStopAtTheHeaderOrTheCap) {
    EXPECT_EQ(Download("/huge.jpg", DownloadExtent::kJpegHeader), S_OK);
    EXPECT_EQ(ReadFile(path), photo.substr(0, HeaderLength(photo)));

    // As a copy of the whole image it is over the cap: nothing stays.
    EXPECT_EQ(Download("/huge.jpg", DownloadExtent::kWholeFile), kDownloadCapped);
    EXPECT_FALSE(Exists(path));
}

TEST_F(PageDownloadTest, EndlessHeaderStopsAtTheCap) {
    EXPECT_EQ(Download("/endless.jpg", DownloadExtent::kJpegHeader), kDownloadCapped);
    EXPECT_FALSE(Exists(path));
}

TEST_F(PageDownloadTest, TrickleAndStallEndAtTheirLimits) {
    EXPECT_EQ(Download("/trickle.jpg", DownloadExtent::kJpegHeader), kDownloadTimedOut);
    EXPECT_FALSE(Exists(path));
    EXPECT_EQ(Download("/stall.jpg", DownloadExtent::kJpegHeader), kDownloadTimedOut);
    EXPECT_FALSE(Exists(path));
}

TEST_F(PageDownloadTest, ErrorPageIsNoImage) {
    EXPECT_EQ(Download("/missing.jpg", DownloadExtent::kWholeFile), kDownloadHttpError);
    EXPECT_FALSE(Exists(path));
}

// While a download waits, the thread's messages are handled; one of them ends the download.
bool cancelRequested = false;
int timerCalls = 0;

void CALLBACK RequestCancel(HWND, UINT, UINT_PTR, DWORD) {
    ++timerCalls;
    cancelRequested = true;
}

TEST_F(PageDownloadTest, MessagesAreHandledWhileWaitingAndCanEndTheDownload) {
    page.SetDownloadLimits({kShortLimits.maxBytes, kHangMs, kHangMs});
    cancelRequested = false;
    timerCalls = 0;
    const UINT_PTR timer = SetTimer(nullptr, 0, 300, RequestCancel);
    ASSERT_NE(timer, 0u);
    const DWORD start = GetTickCount();
    const HRESULT hr = page.DownloadToFile(server + "/stall.jpg", path, DownloadExtent::kJpegHeader,
                                           [] { return cancelRequested; });
    const DWORD elapsed = GetTickCount() - start;
    KillTimer(nullptr, timer);
    EXPECT_EQ(hr, E_ABORT);
    EXPECT_GE(timerCalls, 1);
    EXPECT_LT(elapsed, kHangMs / 2);
    EXPECT_FALSE(Exists(path));
}

}  // namespace
