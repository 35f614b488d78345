#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "taglib/jpeg_sections.h"
#include "taglib/tests/jpeg_test_support.h"

using testsupport::Segment;
using testsupport::StartOfImage;
using testsupport::StartOfScan;

namespace {

const std::string kImageBytes("\x12\x34\xFF\x00\x56\xFF\xD9", 7);

class JpegSectionsTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(diagnostics.IsOpen()); }

    // Writes the bytes to a file and reads its sections into `list`.
    bool Read(const std::string& bytes, int mode = kReadMetadata | kReadImage) {
        file.Write(bytes);
        testsupport::StdioFile stream(file.path, "rb");
        EXPECT_NE(stream.file, nullptr);
        if (!stream.file) {
            return false;
        }
        return list.ReadSections(stream.file, mode);
    }

    std::vector<int> Markers() const {
        std::vector<int> markers;
        for (int i = 0; i < list.Count(); ++i) {
            markers.push_back(list.At(i).marker);
        }
        return markers;
    }

    testsupport::ScratchPath file;
    testsupport::DiagnosticCapture diagnostics;
    JpegSectionList list;
};

TEST_F(JpegSectionsTest, RefusesFilesWithoutStartOfImageSilently) {
    const std::string cases[] = {"", std::string("\xFF", 1), std::string("\xD8\xFF", 2),
                                 std::string("\xFF\xD9\xFF\xD8", 4), "GIF89a"};
    for (const std::string& bytes : cases) {
        SCOPED_TRACE(testing::PrintToString(bytes));
        EXPECT_FALSE(Read(bytes));
        EXPECT_EQ(list.Count(), 0);
        EXPECT_EQ(diagnostics.Take(), "");
    }
}

TEST_F(JpegSectionsTest, ReadsSegmentsUpToTheScanAndTheImageAfterIt) {
    std::string bytes = StartOfImage() + Segment(0xDB, "quant") + Segment(0xC0, "frame") +
                        Segment(0xE9, "packet") + StartOfScan() + kImageBytes;
    ASSERT_TRUE(Read(bytes));
    EXPECT_EQ(Markers(), (std::vector<int>{0xDB, 0xC0, 0xE9, 0xDA, kMarkerImageData}));
    const JpegSection& packet = list.At(2);
    ASSERT_EQ(packet.size, 8u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(packet.data.get()), packet.size),
              std::string("\x00\x08packet", 8));
    const JpegSection& image = list.At(4);
    ASSERT_EQ(image.size, kImageBytes.size());
    EXPECT_EQ(std::memcmp(image.data.get(), kImageBytes.data(), image.size), 0);
    EXPECT_EQ(diagnostics.Take(), "");
}

TEST_F(JpegSectionsTest, WithoutImageModeStopsAfterTheScanHeader) {
    ASSERT_TRUE(Read(StartOfImage() + Segment(0xE9, "p") + StartOfScan() + kImageBytes, kReadMetadata));
    EXPECT_EQ(Markers(), (std::vector<int>{0xE9, 0xDA}));
}

TEST_F(JpegSectionsTest, ScanRightAfterStartOfImageGivesTwoEntries) {
    ASSERT_TRUE(Read(StartOfImage() + StartOfScan() + kImageBytes));
    EXPECT_EQ(Markers(), (std::vector<int>{0xDA, kMarkerImageData}));
    EXPECT_NE(list.FindSection(0xDA), nullptr);
    EXPECT_EQ(list.FindSection(kMarkerImageData), nullptr);
}

TEST_F(JpegSectionsTest, EmptyImageDataStillGivesItsEntry) {
    ASSERT_TRUE(Read(StartOfImage() + StartOfScan()));
    EXPECT_EQ(Markers(), (std::vector<int>{0xDA, kMarkerImageData}));
    EXPECT_EQ(list.At(1).size, 0u);
}

TEST_F(JpegSectionsTest, ReadsLargeImageDataCompletely) {
    std::string image(300000, '\0');
    for (size_t i = 0; i < image.size(); ++i) {
        image[i] = static_cast<char>((i * 7919) % 251);
    }
    ASSERT_TRUE(Read(StartOfImage() + StartOfScan() + image));
    ASSERT_EQ(list.Count(), 2);
    ASSERT_EQ(list.At(1).size, image.size());
    EXPECT_EQ(std::memcmp(list.At(1).data.get(), image.data(), image.size()), 0);
}

struct FillCase {
    int fillBytes;
    bool accepted;
    const char* message;
};

TEST_F(JpegSectionsTest, AcceptsUpToSixFillBytesBeforeAMarker) {
    const FillCase cases[] = {
        {1, true, ""},
        {6, true, ""},
        {7, false, "too many padding bytes\n"},
        {12, false, "too many padding bytes\n"},
    };
    for (const FillCase& c : cases) {
        SCOPED_TRACE(c.fillBytes);
        list.DiscardSections();
        std::string packet = Segment(0xE9, "p");
        std::string bytes = StartOfImage() + std::string(static_cast<size_t>(c.fillBytes), '\xFF') +
                            packet.substr(1) + StartOfScan();
        EXPECT_EQ(Read(bytes), c.accepted);
        EXPECT_EQ(diagnostics.Take(), c.message);
    }
}

TEST_F(JpegSectionsTest, TakesAMarkerCodeThatNoFillBytePrecedes) {
    std::string comment = Segment(0xFE, "note");
    ASSERT_TRUE(Read(StartOfImage() + Segment(0xE9, "p") + comment.substr(1) + StartOfScan()));
    EXPECT_EQ(Markers(), (std::vector<int>{0xE9, 0xFE, 0xDA, kMarkerImageData}));
}

struct KeepCase {
    const char* label;
    std::string segments;
    int mode;
    std::vector<int> kept;  // markers before the scan header
};

TEST_F(JpegSectionsTest, DropsAndKeepsSegmentsByKind) {
    const int all = kReadMetadata | kReadImage;
    const KeepCase cases[] = {
        {"app0 always dropped", Segment(0xE0, "JFIF") + Segment(0xE0, "JFXX"), all, {}},
        {"exif app1 kept", Segment(0xE1, std::string("Exif\0\0MM", 8)), all, {0xE1}},
        {"other app1 dropped", Segment(0xE1, "http://ns.example/xap/1.0/"), all, {}},
        {"short app1 dropped", Segment(0xE1, "Ex"), all, {}},
        {"empty app1 dropped", Segment(0xE1, ""), all, {}},
        {"exif app1 dropped without metadata", Segment(0xE1, "Exif\0\0"), kReadImage, {}},
        {"first comment only",
         Segment(0xFE, "one") + Segment(0xFE, "two") + Segment(0xFE, "three"),
         all,
         {0xFE}},
        {"comment dropped without metadata", Segment(0xFE, "one"), kReadImage, {}},
        {"app9 and tables stay",
         Segment(0xE9, "") + Segment(0xC4, "h") + Segment(0xEF, "x"),
         all,
         {0xE9, 0xC4, 0xEF}},
        {"frame headers stay",
         Segment(0xC0, "a") + Segment(0xC2, "b") + Segment(0xCF, "c"),
         all,
         {0xC0, 0xC2, 0xCF}},
        {"unexpected codes stay",
         Segment(0x00, "") + Segment(0xD0, "") + Segment(0xD8, ""),
         all,
         {0x00, 0xD0, 0xD8}},
    };
    for (const KeepCase& c : cases) {
        SCOPED_TRACE(c.label);
        list.DiscardSections();
        ASSERT_TRUE(Read(StartOfImage() + c.segments + StartOfScan(), c.mode));
        std::vector<int> expected = c.kept;
        expected.push_back(0xDA);
        if (c.mode & kReadImage) {
            expected.push_back(kMarkerImageData);
        }
        EXPECT_EQ(Markers(), expected);
    }
}

TEST_F(JpegSectionsTest, EndOfImageBeforeTheScanFails) {
    EXPECT_FALSE(Read(StartOfImage() + Segment(0xE9, "p") + Segment(0xD9, "")));
    EXPECT_EQ(diagnostics.Take(), "No image in jpeg!\n");
}

TEST_F(JpegSectionsTest, LengthsBelowTwoEndTheRead) {
    const std::string cases[] = {std::string("\xFF\xE9\x00\x00", 4), std::string("\xFF\xE9\x00\x01", 4)};
    for (const std::string& bad : cases) {
        list.DiscardSections();
        EXPECT_FALSE(Read(StartOfImage() + Segment(0xFE, "c") + bad + StartOfScan()));
        EXPECT_EQ(diagnostics.Take(), "invalid marker");
        EXPECT_EQ(Markers(), (std::vector<int>{0xFE}));
    }
}

TEST_F(JpegSectionsTest, FileCutInsideASegmentFailsAndKeepsTheDeclaredSize) {
    std::string whole = Segment(0xE9, "0123456789");
    EXPECT_FALSE(Read(StartOfImage() + whole.substr(0, 8)));
    EXPECT_EQ(diagnostics.Take(), "Premature end of file?invalid marker");
    ASSERT_EQ(list.Count(), 1);
    const JpegSection& cut = list.At(0);
    ASSERT_EQ(cut.size, 12u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(cut.data.get()) + 2, 10),
              std::string("0123\0\0\0\0\0\0", 10));
}

TEST_F(JpegSectionsTest, FileEndingInsideMarkerOrLengthFails) {
    const std::string cases[] = {
        std::string("\xFF", 1),              // inside the fill bytes
        std::string("\xFF\xE9", 2),          // before the length
        std::string("\xFF\xE9\x05", 3),      // after half of the length
        std::string("\xFF\xE9\x00\x02", 4),  // a complete empty segment, then nothing
    };
    for (const std::string& tail : cases) {
        SCOPED_TRACE(testing::PrintToString(tail));
        list.DiscardSections();
        EXPECT_FALSE(Read(StartOfImage() + tail));
        EXPECT_EQ(diagnostics.Take(), "invalid marker");
    }
}

// Only memory and the file's size bound the list: a split colour profile alone brings a dozen APP2
// segments, and a file may hold thousands of held segments before its scan.
TEST_F(JpegSectionsTest, HoldsAnyNumberOfSegmentsBeforeTheScan) {
    for (int held : {20, 5000}) {
        SCOPED_TRACE(held);
        std::string bytes = StartOfImage();
        for (int i = 0; i < held; ++i) {
            bytes += Segment(0xE2, "ICC_PROFILE" + std::to_string(i));
        }
        list.DiscardSections();
        ASSERT_TRUE(Read(bytes + Segment(0xE9, "packet") + StartOfScan() + kImageBytes));
        EXPECT_EQ(diagnostics.Take(), "");
        ASSERT_EQ(list.Count(), held + 3);
        EXPECT_EQ(list.At(held - 1).PayloadText(), "ICC_PROFILE" + std::to_string(held - 1));
        ASSERT_NE(list.FindSection(0xE9), nullptr);
        EXPECT_EQ(list.FindSection(0xE9)->PayloadText(), "packet");
        EXPECT_EQ(list.At(held + 2).marker, kMarkerImageData);
    }
}

TEST_F(JpegSectionsTest, ScanAsTheTwentiethEntryStillGetsItsImageData) {
    std::string bytes = StartOfImage();
    for (int i = 0; i < 18; ++i) {
        bytes += Segment(0xEA, "x");
    }
    // The first comment is held; dropped segments take no entry.
    bytes +=
        Segment(0xE0, "JFIF") + Segment(0xFE, "first") + Segment(0xFE, "second") + Segment(0xE1, "not exif");
    ASSERT_TRUE(Read(bytes + StartOfScan() + kImageBytes));
    ASSERT_EQ(list.Count(), 21);
    EXPECT_EQ(list.At(19).marker, 0xDA);
    EXPECT_EQ(list.At(20).marker, kMarkerImageData);
    EXPECT_EQ(list.At(20).size, kImageBytes.size());
    EXPECT_EQ(diagnostics.Take(), "");
}

TEST_F(JpegSectionsTest, FindSectionSkipsTheLastEntry) {
    ASSERT_TRUE(
        Read(StartOfImage() + Segment(0xFE, "c") + Segment(0xE9, "a") + Segment(0xE9, "b") + StartOfScan(),
             kReadMetadata));
    const JpegSection* packet = list.FindSection(0xE9);
    ASSERT_NE(packet, nullptr);
    EXPECT_EQ(packet->PayloadText(), "a");
    EXPECT_EQ(list.FindSection(0xDA), nullptr);
    EXPECT_EQ(list.FindSection(0xC0), nullptr);
}

TEST_F(JpegSectionsTest, InsertSectionGoesToPositionTwo) {
    ASSERT_TRUE(
        Read(StartOfImage() + Segment(0xC0, "") + Segment(0xC4, "") + Segment(0xDB, "") + StartOfScan()));
    ASSERT_EQ(list.Count(), 5);
    std::unique_ptr<uint8_t[]> data(new uint8_t[3]{0, 3, 'z'});
    JpegSection* inserted = list.InsertSection(0xE9, std::move(data), 3);
    ASSERT_NE(inserted, nullptr);
    EXPECT_EQ(inserted->marker, 0xE9);
    EXPECT_EQ(Markers(), (std::vector<int>{0xC0, 0xC4, 0xE9, 0xDB, 0xDA, kMarkerImageData}));
    EXPECT_EQ(list.FindSection(0xE9), &list.At(2));
    EXPECT_EQ(diagnostics.Take(), "");
}

TEST_F(JpegSectionsTest, InsertSectionOnShortListAppendsWithoutGap) {
    std::unique_ptr<uint8_t[]> first(new uint8_t[2]{0, 2});
    JpegSection* entry = list.InsertSection(0xE9, std::move(first), 2);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(diagnostics.Take(), "Too few sections!");
    EXPECT_EQ(Markers(), (std::vector<int>{0xE9}));

    std::unique_ptr<uint8_t[]> second(new uint8_t[2]{0, 2});
    ASSERT_NE(list.InsertSection(0xFE, std::move(second), 2), nullptr);
    EXPECT_EQ(diagnostics.Take(), "Too few sections!");
    EXPECT_EQ(Markers(), (std::vector<int>{0xE9, 0xFE}));
}

TEST_F(JpegSectionsTest, InsertSectionOnALongListGrowsIt) {
    std::string bytes = StartOfImage();
    for (int i = 0; i < 19; ++i) {
        bytes += Segment(0xEA, std::string(1, static_cast<char>('a' + i)));
    }
    ASSERT_TRUE(Read(bytes + StartOfScan()));
    ASSERT_EQ(list.Count(), 21);
    std::unique_ptr<uint8_t[]> data(new uint8_t[3]{0, 3, 'P'});
    ASSERT_NE(list.InsertSection(0xE9, std::move(data), 3), nullptr);
    EXPECT_EQ(diagnostics.Take(), "");
    ASSERT_EQ(list.Count(), 22);
    EXPECT_EQ(list.At(2).PayloadText(), "P");
    EXPECT_EQ(list.At(3).PayloadText(), "c");
    EXPECT_EQ(list.At(20).marker, 0xDA);
    EXPECT_EQ(list.At(21).marker, kMarkerImageData);
}

TEST_F(JpegSectionsTest, DiscardEmptiesTheListForTheNextRead) {
    ASSERT_TRUE(Read(StartOfImage() + Segment(0xE9, "one") + StartOfScan()));
    list.DiscardSections();
    EXPECT_EQ(list.Count(), 0);
    ASSERT_TRUE(Read(StartOfImage() + Segment(0xFE, "two") + StartOfScan()));
    EXPECT_EQ(Markers(), (std::vector<int>{0xFE, 0xDA, kMarkerImageData}));
}

struct PayloadCase {
    const char* label;
    std::string data;
    std::string text;
};

TEST(JpegSectionPayload, StopsAtZeroTheDeclaredLengthAndTheBuffer) {
    const PayloadCase cases[] = {
        {"whole payload",
         std::string("\x00\x05"
                     "abc",
                     5),
         "abc"},
        {"up to the first zero",
         std::string("\x00\x07"
                     "ab\0cd",
                     7),
         "ab"},
        {"declared length shorter than the buffer",
         std::string("\x00\x04"
                     "abcd",
                     6),
         "ab"},
        {"declared length longer than the buffer",
         std::string("\x01\x00"
                     "abc",
                     5),
         "abc"},
        {"length bytes only", std::string("\x00\x02", 2), ""},
        {"declared length below two",
         std::string("\x00\x01"
                     "abc",
                     5),
         ""},
        {"no length bytes", std::string("\x00", 1), ""},
    };
    for (const PayloadCase& c : cases) {
        SCOPED_TRACE(c.label);
        JpegSection section;
        section.size = c.data.size();
        section.data.reset(new uint8_t[section.size]);
        std::memcpy(section.data.get(), c.data.data(), section.size);
        EXPECT_EQ(section.PayloadText(), c.text);
    }
}

}  // namespace
