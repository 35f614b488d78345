// The thumbnail cache: numbering, wiping, the bitmap file and what the pictures look like.
#include <gtest/gtest.h>

#include <memory>

#include "indexer/environment.h"
#include "indexer/tests/indexer_test_support.h"
#include "indexer/picture_limits.h"
#include "indexer/picture_renderer.h"
#include "indexer/platform.h"
#include "indexer/resample.h"
#include "indexer/thumbnail_bitmap.h"
#include "indexer/thumbnail_cache.h"

namespace {

int32_t Counter(const ThumbnailCache& cache) {
    const std::vector<uint8_t> bytes = ReadAll(cache.CounterPath());
    if (bytes.size() != 4) {
        return -1;
    }
    return static_cast<int32_t>(bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) |
                                (static_cast<uint32_t>(bytes[3]) << 24));
}

// Blue, green, red of the thumbnail pixel at (x, y), y counted from the top.
struct Colour {
    int blue, green, red;
};
Colour PixelAt(const ThumbnailBitmap& bitmap, int x, int y) {
    const size_t row = ThumbnailRowSize(bitmap.bitsPerPixel) * static_cast<size_t>(kThumbnailSize - 1 - y);
    const int bytes = bitmap.bitsPerPixel / 8;
    const uint8_t* p = &bitmap.pixels[row + static_cast<size_t>(x) * bytes];
    if (bitmap.bitsPerPixel == 16) {  // 5-5-5
        const int v = p[0] | (p[1] << 8);
        return {(v & 31) * 255 / 31, ((v >> 5) & 31) * 255 / 31, ((v >> 10) & 31) * 255 / 31};
    }
    return {p[0], p[1], p[2]};
}

// A JPEG as small as one gets, of any claimed size: one quantisation table, Huffman tables with a single
// one-bit code each (DC difference 0, end of block), a frame header, one scan (the DC scan of a
// progressive picture) and `dataBytes` zero bytes of coded data, each coding blocks of flat grey.
// Decoders fill what the data lacks with the same grey.
std::vector<uint8_t> TinyJpeg(uint16_t width, uint16_t height, int components, bool progressive,
                              size_t dataBytes = 16) {
    std::vector<uint8_t> bytes = {0xFF, 0xD8};
    auto segment = [&bytes](uint8_t marker, const std::vector<uint8_t>& payload) {
        const size_t length = payload.size() + 2;
        bytes.insert(bytes.end(),
                     {0xFF, marker, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)});
        bytes.insert(bytes.end(), payload.begin(), payload.end());
    };
    std::vector<uint8_t> quantisation(65, 1);
    quantisation[0] = 0;
    segment(0xDB, quantisation);
    std::vector<uint8_t> frame = {8,
                                  static_cast<uint8_t>(height >> 8),
                                  static_cast<uint8_t>(height),
                                  static_cast<uint8_t>(width >> 8),
                                  static_cast<uint8_t>(width),
                                  static_cast<uint8_t>(components)};
    std::vector<uint8_t> scan = {static_cast<uint8_t>(components)};
    for (int c = 1; c <= components; ++c) {
        frame.insert(frame.end(), {static_cast<uint8_t>(c), 0x11, 0});
        scan.insert(scan.end(), {static_cast<uint8_t>(c), 0x00});
    }
    segment(progressive ? 0xC2 : 0xC0, frame);
    for (uint8_t tableClass : {0x00, 0x10}) {
        std::vector<uint8_t> table(18, 0);
        table[0] = tableClass;
        table[1] = 1;  // one code of one bit, for the symbol 0
        segment(0xC4, table);
    }
    scan.insert(scan.end(), {0, static_cast<uint8_t>(progressive ? 0 : 63), 0});
    segment(0xDA, scan);
    bytes.insert(bytes.end(), dataBytes, 0);
    bytes.insert(bytes.end(), {0xFF, 0xD9});
    return bytes;
}

class ThumbnailCacheTest : public ::testing::Test {
protected:
    std::string NextThumbnailName() {
        const IndexWriteHold hold(*writeLock);
        return cache.NextThumbnailName(hold);
    }

    TempFolder folder;
    std::shared_ptr<IndexWriteLock> writeLock = std::make_shared<IndexWriteLock>();
    ThumbnailCache cache{folder.Path(), writeLock};
};

TEST_F(ThumbnailCacheTest, NumbersStartAtOneAndTheCounterHoldsTheNext) {
    cache.EnsureThumbsFolder();
    EXPECT_TRUE(std::filesystem::is_directory(cache.ThumbsFolder()));
    EXPECT_EQ(cache.CounterPath(), folder.File("tb.idx"));
    EXPECT_EQ(NextThumbnailName(), JoinPath(JoinPath(folder.Path(), "thumbs"), "000001.tb"));
    EXPECT_EQ(Counter(cache), 2);
    EXPECT_EQ(NextThumbnailName(), JoinPath(cache.ThumbsFolder(), "000002.tb"));
    EXPECT_EQ(Counter(cache), 3);
}

TEST_F(ThumbnailCacheTest, NumbersBeyondSixDigitsGrowTheName) {
    const uint8_t million[4] = {0x40, 0x42, 0x0F, 0x00};  // 1000000
    WriteAll(cache.CounterPath(), std::vector<uint8_t>(million, million + 4));
    EXPECT_EQ(NextThumbnailName(), JoinPath(cache.ThumbsFolder(), "1000000.tb"));
}

TEST_F(ThumbnailCacheTest, ACounterThatCannotBeTrustedContinuesAfterTheHighestThumbnail) {
    struct Case {
        const char* name;
        std::vector<uint8_t> counter;
    };
    const std::vector<Case> cases = {
        {"missing", {}},
        {"empty", {}},
        {"three bytes", {9, 0, 0}},
        {"five bytes", {9, 0, 0, 0, 0}},
        {"zero", {0, 0, 0, 0}},
        {"negative", {0, 0, 0, 0x80}},
        {"-1", {0xFF, 0xFF, 0xFF, 0xFF}},
        {"2147483647", {0xFF, 0xFF, 0xFF, 0x7F}},
        {"behind", {2, 0, 0, 0}},  // 000002.tb exists
    };
    cache.EnsureThumbsFolder();
    for (const char* name : {"000001.tb", "000002.tb", "000007.TB", "12.tbx", "notes.txt", "x000099.tb"}) {
        WriteText(JoinPath(cache.ThumbsFolder(), name), "old");
    }
    for (const Case& c : cases) {
        std::filesystem::remove(cache.CounterPath());
        if (std::string(c.name) != "missing") {
            WriteAll(cache.CounterPath(), c.counter);
        }
        EXPECT_EQ(NextThumbnailName(), JoinPath(cache.ThumbsFolder(), "000008.tb")) << c.name;
        EXPECT_EQ(Counter(cache), 9) << c.name;
    }
    EXPECT_FALSE(std::filesystem::exists(cache.CounterPath() + ".new"));
}

TEST_F(ThumbnailCacheTest, AThumbnailThatCannotBeWrittenLeavesNothingBehind) {
    const std::string jpeg = SourcePath("samples/photos/packet_regions.jpg");
    // No thumbs folder: no name is good.
    EXPECT_EQ(cache.MakeThumbnail(jpeg), "");
    EXPECT_FALSE(std::filesystem::exists(JoinPath(cache.ThumbsFolder(), "000001.tb")));
    // A file in the folder's place.
    WriteText(cache.ThumbsFolder(), "not a folder");
    EXPECT_FALSE(cache.EnsureThumbsFolder());
    EXPECT_EQ(cache.MakeThumbnail(jpeg), "");
    std::filesystem::remove(cache.ThumbsFolder());
    EXPECT_TRUE(cache.EnsureThumbsFolder());
    EXPECT_EQ(cache.MakeThumbnail(jpeg),
              JoinPath(cache.ThumbsFolder(), "000003.tb"));  // numbers never go back
}

TEST_F(ThumbnailCacheTest, ARewriteReleasesOnlyItsOwnThumbnailsThatNoKeptRecordNames) {
    EXPECT_EQ(cache.NumberOf(cache.ThumbnailPath(12)), 12);
    EXPECT_EQ(cache.NumberOf(cache.ThumbnailPath(1234567)), 1234567);
    for (const std::string& other :
         {JoinPath(cache.ThumbsFolder(), "12.tb"), JoinPath(cache.ThumbsFolder(), "000012.TB"),
          JoinPath(folder.File("elsewhere"), "000012.tb"), std::string(), cache.ThumbnailPath(0)}) {
        EXPECT_EQ(cache.NumberOf(other), -1) << other;
    }
    ThumbnailReleases releases(cache);
    releases.Note(cache.ThumbnailPath(3), true);
    releases.Note(cache.ThumbnailPath(1), false);
    releases.Note(cache.ThumbnailPath(2), false);
    releases.Note(cache.ThumbnailPath(3), false);  // a kept record names it too
    releases.Note(JoinPath(folder.File("elsewhere"), "000004.tb"), false);
    releases.Note(cache.ThumbnailPath(2), true);  // also after the removed one
    EXPECT_EQ(releases.Unreferenced(), std::vector<int32_t>{1});
}

TEST_F(ThumbnailCacheTest, NumberingRestartsAfterAWipeThatLeavesOtherFiles) {
    cache.EnsureThumbsFolder();
    const std::string jpeg = SourcePath("indexer/tests/data/not_a_jpeg.jpg");
    const std::string first = cache.MakeThumbnail(jpeg);
    const std::string second = cache.MakeThumbnail(jpeg);
    EXPECT_TRUE(std::filesystem::exists(first));
    EXPECT_TRUE(std::filesystem::exists(second));
    WriteText(JoinPath(cache.ThumbsFolder(), "notes.txt"), "keep me");
    WriteText(JoinPath(cache.ThumbsFolder(), "000009.tbx"), "keep me too");
    std::filesystem::create_directory(JoinPath(cache.ThumbsFolder(), "folder.tb"));

    cache.WipeThumbnails();
    EXPECT_FALSE(std::filesystem::exists(cache.CounterPath()));
    EXPECT_FALSE(std::filesystem::exists(first));
    EXPECT_FALSE(std::filesystem::exists(second));
    EXPECT_TRUE(std::filesystem::exists(JoinPath(cache.ThumbsFolder(), "notes.txt")));
    EXPECT_TRUE(std::filesystem::exists(JoinPath(cache.ThumbsFolder(), "000009.tbx")));
    EXPECT_TRUE(std::filesystem::is_directory(JoinPath(cache.ThumbsFolder(), "folder.tb")));
    EXPECT_EQ(cache.MakeThumbnail(jpeg), first);
}

TEST_F(ThumbnailCacheTest, APictureThatCannotBeDecodedGetsABlackBitmap) {
    cache.EnsureThumbsFolder();
    const std::string name = cache.MakeThumbnail(SourcePath("indexer/tests/data/not_a_jpeg.jpg"));
    ASSERT_FALSE(name.empty());
    ThumbnailBitmap bitmap;
    ASSERT_TRUE(DecodeBitmapFile(ReadAll(name), bitmap));
    for (uint8_t byte : bitmap.pixels) {
        ASSERT_EQ(byte, 0);
    }
}

struct OversizeCase {
    const char* label;
    uint16_t width;
    uint16_t height;
    int components;
};

// A few hundred bytes can claim a picture of gigabytes. Over the limits the picture is not decoded: it
// gets the black thumbnail, as an undecodable one does, without the memory. A small picture of the same
// make is decoded.
TEST_F(ThumbnailCacheTest, AHeaderClaimingAHugePictureGetsTheBlackThumbnailWithoutItsMemory) {
    const std::string path = folder.File("crafted.jpg");
    ThumbnailBitmap bitmap;
    WriteAll(path, TinyJpeg(200, 200, 1, true, 200));
    ASSERT_EQ(RenderThumbnail(path, bitmap).error, PictureError::kNone);
    const Colour grey = PixelAt(bitmap, 50, 50);
    EXPECT_GT(grey.red + grey.green + grey.blue, 300);
    ASSERT_GT(PeakResidentMemory(), 0);

    const OversizeCase cases[] = {
        {"20000 x 20000 in colour", 20000, 20000, 3},
        {"just over the pixel limit", 11586, 11586, 1},
#ifndef _WIN32
        // Under the pixel limit, but its coefficients need more than the decoder may use. (The
        // platform's decoder on Windows has no such bound.)
        {"11000 x 11000, colour not subsampled", 11000, 11000, 3},
#endif
    };
    for (const OversizeCase& c : cases) {
        SCOPED_TRACE(c.label);
        const std::vector<uint8_t> bytes = TinyJpeg(c.width, c.height, c.components, true);
        ASSERT_LT(bytes.size(), 1000u);
        WriteAll(path, bytes);
        const int64_t peakBefore = PeakResidentMemory();
        EXPECT_EQ(RenderThumbnail(path, bitmap).error, PictureError::kDecodeFailed);
        const int64_t grown = PeakResidentMemory() - peakBefore;
        EXPECT_LT(grown, int64_t{64} << 20);
        for (uint8_t byte : bitmap.pixels) {
            ASSERT_EQ(byte, 0);
        }
    }
}

struct FrameSizeCase {
    const char* label;
    std::vector<uint8_t> bytes;
    bool found;
    uint32_t width;
    uint32_t height;
};

// The rule both decoders apply before decoding: the size of the first frame header, against the limit.
TEST(PictureLimits, TheFirstFrameHeaderGivesTheSizeThatTheLimitIsAppliedTo) {
    std::vector<uint8_t> withSegmentsFirst = {0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x06, 0xFF, 0xC0, 0x01,
                                              0x02, 0xFF, 0xFF, 0xFF, 0xC1, 0x00, 0x0B, 0x08, 0x00,
                                              0x07, 0x00, 0x05, 0x01, 0x01, 0x11, 0x00};
    std::vector<uint8_t> scanFirst = {0xFF, 0xD8, 0xFF, 0xDA, 0x00, 0x02};
    std::vector<uint8_t> baseline = TinyJpeg(300, 200, 3, false);
    std::vector<uint8_t> cut(baseline.begin(), baseline.begin() + 78);  // inside the frame header
    const FrameSizeCase cases[] = {
        {"baseline", baseline, true, 300, 200},
        {"progressive, the largest size", TinyJpeg(65535, 65535, 1, true), true, 65535, 65535},
        {"after a segment holding a fake header, and fill bytes", withSegmentsFirst, true, 5, 7},
        {"scan before any frame header", scanFirst, false, 0, 0},
        {"cut inside the frame header", cut, false, 0, 0},
        {"not a JPEG", {'G', 'I', 'F', '8'}, false, 0, 0},
        {"nothing", {}, false, 0, 0},
    };
    for (const FrameSizeCase& c : cases) {
        SCOPED_TRACE(c.label);
        uint32_t width = 0;
        uint32_t height = 0;
        EXPECT_EQ(ReadFrameSize(c.bytes.data(), c.bytes.size(), width, height), c.found);
        EXPECT_EQ(width, c.width);
        EXPECT_EQ(height, c.height);
    }

    EXPECT_FALSE(IsPictureTooLarge(16384, 8192));  // exactly the limit
    EXPECT_TRUE(IsPictureTooLarge(16384, 8193));
    EXPECT_FALSE(IsPictureTooLarge(11585, 11585));
    EXPECT_TRUE(IsPictureTooLarge(11586, 11586));
    EXPECT_TRUE(IsPictureTooLarge(65535, 65535));
    EXPECT_FALSE(IsPictureTooLarge(0, 65535));
}

struct MessageLog {
    std::vector<std::string> entries;
    static void Sink(const char* text, const char* caption, void* userData) {
        static_cast<MessageLog*>(userData)->entries.push_back(std::string(caption) + ": " + text);
    }
};

TEST_F(ThumbnailCacheTest, AMissingPictureIsReportedAndStillGetsItsName) {
    MessageLog log;
    SetMessageSink(MessageLog::Sink, &log);
    cache.EnsureThumbsFolder();
    const std::string missing = folder.File("missing.jpg");
    const std::string name = cache.MakeThumbnail(missing);
    SetMessageSink(nullptr, nullptr);
    EXPECT_EQ(name, JoinPath(cache.ThumbsFolder(), "000001.tb"));
    EXPECT_TRUE(std::filesystem::exists(name));
    ASSERT_EQ(log.entries.size(), 1u);
    EXPECT_EQ(log.entries[0].rfind("CPicture Error: ", 0), 0u);
    EXPECT_NE(log.entries[0].find(missing), std::string::npos) << log.entries[0];
}

TEST_F(ThumbnailCacheTest, AWidePhotoIsSqueezedIntoTheWholeSquare) {
    cache.EnsureThumbsFolder();
    const std::string name = cache.MakeThumbnail(SourcePath("indexer/tests/data/bands_4000x1000.jpg"));
    const std::vector<uint8_t> file = ReadAll(name);
    ASSERT_GE(file.size(), 54u);
    // File header and information header as written.
    EXPECT_EQ(file[0], 'B');
    EXPECT_EQ(file[1], 'M');
    const auto u32 = [&](size_t at) {
        return file[at] | (file[at + 1] << 8) | (file[at + 2] << 16) | (file[at + 3] << 24);
    };
    const auto u16 = [&](size_t at) { return file[at] | (file[at + 1] << 8); };
    const int bits = u16(28);
    EXPECT_EQ(u32(2), static_cast<int>(file.size()));
    EXPECT_EQ(u32(10), 54);
    EXPECT_EQ(u32(14), 40);
    EXPECT_EQ(u32(18), 100);
    EXPECT_EQ(u32(22), 100);
    EXPECT_EQ(u16(26), 1);
    EXPECT_EQ(u32(30), 0);
    EXPECT_EQ(u32(34), static_cast<int>(ThumbnailRowSize(bits) * 100));
#ifndef _WIN32
    EXPECT_EQ(bits, 32);
    EXPECT_EQ(file.size(), 40054u);
#else
    EXPECT_TRUE(bits == 16 || bits == 24 || bits == 32) << bits;
#endif
    ThumbnailBitmap bitmap;
    ASSERT_TRUE(DecodeBitmapFile(file, bitmap));
    // Four bands of 1000 pixels (red, green, blue, white) become four bands of 25, on every row: the
    // top and bottom rows are picture too, not letterbox bars.
    for (int y : {0, 50, 99}) {
        const Colour red = PixelAt(bitmap, 12, y);
        const Colour green = PixelAt(bitmap, 37, y);
        const Colour blue = PixelAt(bitmap, 62, y);
        const Colour white = PixelAt(bitmap, 87, y);
        EXPECT_GT(red.red, 200) << y;
        EXPECT_LT(red.green + red.blue, 60) << y;
        EXPECT_GT(green.green, 200) << y;
        EXPECT_LT(green.red + green.blue, 60) << y;
        EXPECT_GT(blue.blue, 200) << y;
        EXPECT_LT(blue.red + blue.green, 60) << y;
        EXPECT_GT(white.red + white.green + white.blue, 700) << y;
    }
}

TEST_F(ThumbnailCacheTest, TheTopOfThePictureIsTheTopOfTheThumbnail) {
    // The sample has sky above (blue) and grass below (green); rows are stored bottom-up.
    cache.EnsureThumbsFolder();
    ThumbnailBitmap bitmap;
    ASSERT_TRUE(DecodeBitmapFile(
        ReadAll(cache.MakeThumbnail(SourcePath("samples/photos/packet_regions.jpg"))), bitmap));
    const Colour top = PixelAt(bitmap, 10, 3);
    const Colour bottom = PixelAt(bitmap, 10, 96);
    EXPECT_GT(top.blue, top.green);
    EXPECT_GT(top.blue, 150);
    EXPECT_GT(bottom.green, bottom.blue + 40);
    EXPECT_GT(bottom.green, bottom.red + 40);
}

// libjpeg takes no bitmap; on Windows the platform's picture object, which does, draws what libjpeg
// refuses.
TEST_F(ThumbnailCacheTest, WhatTheJpegDecoderRefusesGoesToThePlatformsPictureObject) {
    ThumbnailBitmap red = BlackThumbnail();
    for (size_t i = 2; i < red.pixels.size(); i += 4) {
        red.pixels[i] = 255;
    }
    const std::string path = folder.File("bitmap.jpg");
    WriteAll(path, EncodeBitmapFile(red));
    ThumbnailBitmap bitmap;
    const PictureResult result = RenderThumbnail(path, bitmap);
    const Colour middle = PixelAt(bitmap, 50, 50);
#ifdef _WIN32
    EXPECT_EQ(result.error, PictureError::kNone);
    EXPECT_GT(middle.red, 200);
    EXPECT_LT(middle.green + middle.blue, 40);
#else
    EXPECT_EQ(result.error, PictureError::kDecodeFailed);
    EXPECT_EQ(middle.red + middle.green + middle.blue, 0);
#endif
}

TEST(ThumbnailBitmap, FileLayoutAtEveryDepth) {
    struct Case {
        int bits;
        size_t colours;
        size_t fileSize;
    };
    for (const Case& c : {Case{1, 2, 14 + 40 + 8 + 1600}, Case{4, 16, 14 + 40 + 64 + 5200},
                          Case{8, 256, 14 + 40 + 1024 + 10000}, Case{16, 0, 14 + 40 + 20000},
                          Case{24, 0, 30054}, Case{32, 0, 40054}}) {
        ThumbnailBitmap bitmap;
        bitmap.bitsPerPixel = c.bits;
        bitmap.colorTable.assign(c.colours, 0x00112233);
        bitmap.pixels.assign(ThumbnailRowSize(c.bits) * 100, 0x5A);
        const std::vector<uint8_t> file = EncodeBitmapFile(bitmap);
        ASSERT_EQ(file.size(), c.fileSize) << c.bits;
        EXPECT_EQ(file[10] | (file[11] << 8), static_cast<int>(54 + 4 * c.colours)) << c.bits;
        ThumbnailBitmap back;
        ASSERT_TRUE(DecodeBitmapFile(file, back)) << c.bits;
        EXPECT_EQ(back.colorTable, bitmap.colorTable);
        EXPECT_EQ(back.pixels, bitmap.pixels);
        bitmap.colorTable.clear();
        if (c.colours > 0) {
            EXPECT_TRUE(EncodeBitmapFile(bitmap).empty()) << "a palette depth needs its colour table";
        }
    }
}

TEST(Resample, KeepsFlatColoursAndStretchesEachAxisOnItsOwn) {
    // 40 x 10: left half black, right half white; to 100 x 100.
    std::vector<uint8_t> source(size_t{40} * 10);
    for (int y = 0; y < 10; ++y) {
        for (int x = 0; x < 40; ++x) {
            source[y * 40 + x] = x < 20 ? 0 : 255;
        }
    }
    std::vector<uint8_t> target(size_t{100} * 100);
    ResampleImage(source.data(), 40, 10, 1, target.data(), 100, 100);
    for (int y = 0; y < 100; ++y) {
        EXPECT_EQ(target[y * 100 + 10], 0);
        EXPECT_EQ(target[y * 100 + 90], 255);
        EXPECT_GT(target[y * 100 + 50], target[y * 100 + 49]);  // the edge stays in the middle
    }
    // Shrinking averages: a fine checkerboard becomes an even grey.
    std::vector<uint8_t> board(size_t{400} * 400);
    for (int y = 0; y < 400; ++y) {
        for (int x = 0; x < 400; ++x) {
            board[y * 400 + x] = ((x + y) % 2) != 0 ? 255 : 0;
        }
    }
    ResampleImage(board.data(), 400, 400, 1, target.data(), 100, 100);
    for (int y = 2; y < 98; ++y) {  // away from the edges, where the filter has fewer pixels
        for (int x = 2; x < 98; ++x) {
            ASSERT_NEAR(target[y * 100 + x], 128, 3) << x << "," << y;
        }
    }
}

}  // namespace
