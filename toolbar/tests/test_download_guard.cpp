// The bounds of the handler's downloads: where a JPEG header ends (exactly where the tag reader's
// metadata-only load stops reading), the size cap, stalls, time limits and cancellation.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "toolbar/download_guard.h"
#include "toolbar/jpeg_header_scanner.h"
#include "taglib/jpeg_sections.h"
#include "toolbar/tests/tagged_jpeg.h"

namespace {

using State = JpegHeaderScanner::State;

const uint8_t* Bytes(const std::string& text) {
    return reinterpret_cast<const uint8_t*>(text.data());
}

// What the section reader makes of the bytes: whether it reached the start of scan, and where it stopped.
bool ReaderReachesScan(const std::string& bytes, long& position) {
    std::FILE* file = std::tmpfile();
    if (file == nullptr) {
        ADD_FAILURE() << "no temporary file";
        return false;
    }
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::rewind(file);
    JpegSectionList sections;
    const bool reached = sections.ReadSections(file, kReadMetadata);
    position = std::ftell(file);
    std::fclose(file);
    return reached;
}

TEST(JpegHeaderScanner, EndsWhereTheMetadataLoadStops) {
    const std::string tagged = TaggedJpeg(100, 100, {{"A", 1, 1}});
    struct Case {
        const char* what;
        std::string bytes;
        State state;
    };
    const Case cases[] = {
        {"sample photo", ReadTestFile("samples/photos/packet_regions.jpg"), State::kComplete},
        {"tagged test image", tagged, State::kComplete},
        {"six fill bytes", std::string("\xFF\xD8\xFF\xFF\xFF\xFF\xFF\xFF\xDA\x00\x02rest", 14),
         State::kComplete},
        {"marker without 0xFF", std::string("\xFF\xD8\xE2\x00\x04\xAA\xBB\xFF\xDA\x00\x03\x01rest", 16),
         State::kComplete},
        {"empty segments", std::string("\xFF\xD8\xFF\xE2\x00\x02\xFF\xDA\x00\x02", 10), State::kComplete},
        {"seven fill bytes", std::string("\xFF\xD8\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xDA\x00\x02", 12),
         State::kInvalid},
        {"not a JPEG", std::string("GIF89a\x01\x00\x01\x00", 10), State::kInvalid},
        {"HTML error page", "<html><body>not found</body></html>", State::kInvalid},
        {"end of image first", std::string("\xFF\xD8\xFF\xD9\x00\x02", 6), State::kInvalid},
        {"length below 2", std::string("\xFF\xD8\xFF\xE1\x00\x01\x00\x00", 8), State::kInvalid},
        {"cut inside the header", tagged.substr(0, 40), State::kNeedMore},
    };
    for (const Case& c : cases) {
        ASSERT_GT(c.bytes.size(), 4u) << c.what;
        long position = 0;
        const bool reached = ReaderReachesScan(c.bytes, position);
        EXPECT_EQ(reached, c.state == State::kComplete) << c.what;

        JpegHeaderScanner whole;
        const size_t used = whole.Feed(Bytes(c.bytes), c.bytes.size());
        EXPECT_EQ(whole.GetState(), c.state) << c.what;
        EXPECT_EQ(used, whole.HeaderBytes()) << c.what;
        if (reached) {
            EXPECT_EQ(whole.HeaderBytes(), static_cast<uint64_t>(position)) << c.what;
        }

        // A byte per network read gives the same answer.
        JpegHeaderScanner bytewise;
        for (size_t i = 0; i < c.bytes.size() && bytewise.GetState() == State::kNeedMore; ++i) {
            bytewise.Feed(Bytes(c.bytes) + i, 1);
        }
        EXPECT_EQ(bytewise.GetState(), c.state) << c.what;
        EXPECT_EQ(bytewise.HeaderBytes(), whole.HeaderBytes()) << c.what;
    }
}

constexpr DownloadLimits kTestLimits{1000, 5000, 15000};

TEST(DownloadGuard, HeaderDownloadStopsAtTheEndOfTheHeader) {
    const std::string jpeg = TaggedJpeg(100, 100, {{"A", 1, 1}});
    JpegHeaderScanner scanner;
    scanner.Feed(Bytes(jpeg), jpeg.size());
    const size_t header = static_cast<size_t>(scanner.HeaderBytes());
    ASSERT_LT(header, jpeg.size());

    // In three network reads, the last one running on into the image data.
    DownloadGuard guard(DownloadExtent::kJpegHeader, {4096, 5000, 15000}, 0);
    EXPECT_EQ(guard.Receive(Bytes(jpeg), 10, 1), 10u);
    EXPECT_EQ(guard.Receive(Bytes(jpeg) + 10, 20, 2), 20u);
    EXPECT_FALSE(guard.Finished());
    EXPECT_EQ(guard.Receive(Bytes(jpeg) + 30, jpeg.size() - 30, 3), header - 30);
    EXPECT_EQ(guard.Outcome(), DownloadOutcome::kHeaderComplete);
    EXPECT_TRUE(guard.Succeeded());
    EXPECT_EQ(guard.BytesKept(), header);
    EXPECT_EQ(guard.Receive(Bytes(jpeg), 5, 4), 0u);
}

TEST(DownloadGuard, SizeCapAndEarlyEnds) {
    const std::string tagged = TaggedJpeg(100, 100, {{"A", 1, 1}});
    const std::string endlessHeader = "\xFF\xD8" + std::string(2000, '\xFF');  // fill bytes, then a fault
    std::string segments("\xFF\xD8", 2);
    for (int i = 0; i < 30; ++i) {
        segments += std::string("\xFF\xE2\x00\x64", 4) + std::string(98, 'x');  // 100-byte segments
    }
    struct Case {
        const char* what;
        DownloadExtent extent;
        std::string bytes;
        bool bodyEnds;
        DownloadOutcome outcome;
        uint64_t kept;
    };
    const Case cases[] = {
        {"header longer than the cap", DownloadExtent::kJpegHeader,
         std::string("\xFF\xD8\xFF\xE2\x0F\xFF", 6) + std::string(2000, 'x'), false, DownloadOutcome::kCapped,
         1000},
        {"not a JPEG", DownloadExtent::kJpegHeader, "<html>", false, DownloadOutcome::kNotJpeg, 1},
        {"too many fill bytes", DownloadExtent::kJpegHeader, endlessHeader, false, DownloadOutcome::kNotJpeg,
         9},
        {"body ends inside the header", DownloadExtent::kJpegHeader, tagged.substr(0, 50), true,
         DownloadOutcome::kBodyComplete, 50},
        {"whole file within the cap", DownloadExtent::kWholeFile, std::string(1000, 'x'), true,
         DownloadOutcome::kBodyComplete, 1000},
        {"whole file over the cap", DownloadExtent::kWholeFile, std::string(1001, 'x'), true,
         DownloadOutcome::kCapped, 1000},
        {"segments running past the cap", DownloadExtent::kJpegHeader, segments, false,
         DownloadOutcome::kCapped, 1000},
    };
    for (const Case& c : cases) {
        DownloadGuard guard(c.extent, kTestLimits, 0);
        guard.Receive(Bytes(c.bytes), c.bytes.size(), 10);
        if (c.bodyEnds) {
            guard.BodyEnded(true);
        }
        EXPECT_EQ(guard.Outcome(), c.outcome) << c.what;
        EXPECT_EQ(guard.BytesKept(), c.kept) << c.what;
        EXPECT_LE(guard.BytesKept(), kTestLimits.maxBytes) << c.what;
    }
}

TEST(DownloadGuard, StallTimeoutCancelAndFailure) {
    DownloadGuard stalled(DownloadExtent::kJpegHeader, kTestLimits, 0);
    stalled.Receive(Bytes("\xFF"), 1, 1000);
    EXPECT_EQ(stalled.MillisecondsToDeadline(1000), 5000u);
    stalled.CheckTime(5999);
    EXPECT_FALSE(stalled.Finished());
    stalled.CheckTime(6000);
    EXPECT_EQ(stalled.Outcome(), DownloadOutcome::kStalled);

    // A byte every second never stalls, but the whole download has its limit.
    const std::string jpeg = TaggedJpeg(100, 100, {});
    DownloadGuard trickled(DownloadExtent::kJpegHeader, kTestLimits, 0);
    uint64_t now = 0;
    for (size_t i = 0; !trickled.Finished(); ++i) {
        now = 1000 * (i + 1);
        trickled.Receive(Bytes(jpeg) + i, 1, now);
        trickled.CheckTime(now);
    }
    EXPECT_EQ(trickled.Outcome(), DownloadOutcome::kTimedOut);
    EXPECT_EQ(now, 15000u);
    EXPECT_EQ(trickled.MillisecondsToDeadline(now), 0u);

    DownloadGuard cancelled(DownloadExtent::kWholeFile, kTestLimits, 0);
    cancelled.Cancel();
    cancelled.BodyEnded(true);
    EXPECT_EQ(cancelled.Outcome(), DownloadOutcome::kCancelled);
    EXPECT_FALSE(cancelled.Succeeded());

    DownloadGuard failed(DownloadExtent::kWholeFile, kTestLimits, 0);
    failed.Receive(Bytes("abc"), 3, 1);
    failed.BodyEnded(false);
    EXPECT_EQ(failed.Outcome(), DownloadOutcome::kFailed);
    EXPECT_FALSE(failed.Succeeded());
}

}  // namespace
