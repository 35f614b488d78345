#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "taglib/codepage.h"
#include "taglib/image_tags.h"
#include "taglib/tests/jpeg_test_support.h"

using testsupport::Segment;
using testsupport::StartOfImage;
using testsupport::StartOfScan;

namespace {

const std::string kRdf = "http://www.w3.org/1999/02/22-rdf-syntax-ns#";
const std::string kImageBytes("\x11\x22\x33\xFF\x00\x44", 6);

std::string SamplePath(const char* name) {
    return std::string(VELLUMAR_SOURCE_DIR "/samples/photos/") + name;
}

// A packet around the given children of rdf:Description.
std::string Packet(const std::string& descriptionBody) {
    std::string ns = SuiteNamespaceUri;
    return "<rdf:RDF xmlns:nto=\"" + ns + "\" xmlns:rdf=\"" + kRdf + "\">\r\n <rdf:Description rdf:about=\"" +
           ns + "\">\r\n" + descriptionBody + "\r\n </rdf:Description>\r\n</rdf:RDF>";
}

std::string Sizes(int x, int y) {
    return "<nto:size_x>" + std::to_string(x) + "</nto:size_x><nto:size_y>" + std::to_string(y) +
           "</nto:size_y>";
}

std::string Layer(const std::string& name, const std::string& x, const std::string& y,
                  const std::string& extra = "") {
    return "<rdf:li><nto:name>" + name + "</nto:name><nto:pos_x>" + x + "</nto:pos_x><nto:pos_y>" + y +
           "</nto:pos_y>" + extra + "</rdf:li>";
}

std::string Layers(const std::string& children) {
    return "<nto:layer rdf:parseType=\"Collection\">" + children + "</nto:layer>";
}

std::string Jpeg(const std::string& packet, const std::string& comment = "") {
    std::string bytes = StartOfImage() + Segment(0xE0, std::string("JFIF\0\1\1", 7));
    if (!comment.empty()) {
        bytes += Segment(0xFE, comment);
    }
    bytes += Segment(0xE9, packet + std::string(1, '\0'));
    return bytes + Segment(0xDB, "tables") + StartOfScan() + kImageBytes;
}

std::string JpegWithoutPacket(const std::string& comment = "") {
    std::string bytes = StartOfImage();
    if (!comment.empty()) {
        bytes += Segment(0xFE, comment);
    }
    return bytes + Segment(0xDB, "tables") + StartOfScan() + kImageBytes;
}

std::string DefaultPacket(int sizeX, int sizeY, int lastX, int lastY) {
    std::string ns = SuiteNamespaceUri;
    return "<rdf:RDF xmlns:nto=\"" + ns + "\" xmlns:rdf=\"" + kRdf + "\" ><rdf:Description rdf:about=\"" +
           ns + "\" ><nto:size_x>" + std::to_string(sizeX) + "</nto:size_x><nto:size_y>" +
           std::to_string(sizeY) + "</nto:size_y><nto:last_size_x>" + std::to_string(lastX) +
           "</nto:last_size_x><nto:last_size_y>" + std::to_string(lastY) +
           "</nto:last_size_y><nto:layer rdf:parseType=\"Collection\" /><nto:caption_x>10</nto:caption_x>"
           "<nto:caption_y>10</nto:caption_y><nto:version>2</nto:version></rdf:Description></rdf:RDF>";
}

class ImageTagsTest : public ::testing::Test {
protected:
    void SetUp() override {
        savedCodePage = ActiveCodePage();
        SetActiveCodePage(1252);
    }
    void TearDown() override { SetActiveCodePage(savedCodePage); }

    bool LoadBytes(const std::string& bytes, int mode = kLoadAll) {
        file.Write(bytes);
        return tags.Load(file.path.c_str(), mode);
    }

    bool LoadPacket(const std::string& packet, const std::string& comment = "") {
        return LoadBytes(Jpeg(packet, comment));
    }

    int savedCodePage = 0;
    testsupport::ScratchPath file;
    testsupport::DiagnosticCapture diagnostics;
    ImageTags tags;
};

struct UnescapeCase {
    std::string text;
    std::string expected;
};

TEST(UnescapeTagText, DecodesTheReferencesInOrderAndDropsBareAmpersands) {
    const UnescapeCase cases[] = {
        {"a&lt;br&gt;b", "a\r\nb"},
        {"x&y", "xy"},
        {"C:&#092;photos", "C:\\photos"},
        {"&apos;&quot;&amp;&lt;&gt;", "'\"&<>"},
        {"&amp;lt;", "&lt;"},  // one pass: the emitted ampersand starts nothing
        {"&lt;br", "<br"},
        {"&lt;br&gt", "<brgt"},  // the unfinished reference is a bare ampersand
        {"&&amp;", "&"},
        {"tail&", "tail"},
        {"&#92;", "#92;"},
        {"&AMP;", "AMP;"},
        {"plain text", "plain text"},
        {"", ""},
    };
    for (const UnescapeCase& c : cases) {
        EXPECT_EQ(ImageTags::UnescapeTagText(c.text), c.expected) << c.text;
    }
}

TEST_F(ImageTagsTest, JpegWithoutPacketLoadsWithTheDefaultPacket) {
    ASSERT_TRUE(LoadBytes(JpegWithoutPacket("First comment") + ""));
    EXPECT_EQ(tags.Packet(), DefaultPacket(0, 0, 0, 0));
    EXPECT_EQ(tags.caption, "First comment");
    EXPECT_EQ(tags.LayerCount(), 0);
    TagCaption caption;
    ASSERT_TRUE(tags.GetCaption(caption));
    EXPECT_EQ(caption.x, 10);
    EXPECT_EQ(caption.y, 10);
    EXPECT_EQ(caption.text, "First comment");
    EXPECT_EQ(tags.PacketVersion(), 2);
}

TEST_F(ImageTagsTest, DefaultPacketTakesTheDisplaySizeWhenNoSizeIsKnown) {
    tags.SetDisplaySize(640, 480);
    ASSERT_TRUE(LoadBytes(JpegWithoutPacket()));
    EXPECT_EQ(tags.Packet(), DefaultPacket(640, 480, 640, 480));
    EXPECT_EQ(tags.sizeX, 640);
    EXPECT_EQ(tags.lastSizeY, 480);
    EXPECT_EQ(tags.caption, "");
}

TEST_F(ImageTagsTest, OnlyTheFirstCommentBecomesTheCaption) {
    std::string bytes = StartOfImage() + Segment(0xFE, "one") + Segment(0xFE, "two") + StartOfScan();
    ASSERT_TRUE(LoadBytes(bytes));
    EXPECT_EQ(tags.caption, "one");
}

TEST_F(ImageTagsTest, CommentIsTakenUnchangedWithoutUnescaping) {
    ASSERT_TRUE(LoadBytes(JpegWithoutPacket("Fish &amp; chips\\")));
    EXPECT_EQ(tags.caption, "Fish &amp; chips\\");
}

struct CaptionCase {
    const char* label;
    std::string bytes;
    std::string caption;
};

TEST_F(ImageTagsTest, CaptionComesFromCapTextThenTheCommentAndGdLinesAreReplaced) {
    const std::string gd = "CREATOR: gd-jpeg v1.0 (using IJG JPEG v62), default quality";
    const std::string body = Sizes(100, 100) + Layers("");
    const CaptionCase cases[] = {
        {"cap_text wins over the comment",
         Jpeg(Packet(body + "<nto:cap_text>  Lake &amp; hills&lt;br&gt;x  </nto:cap_text>"), "comment"),
         "Lake & hills\r\nx"},
        {"cap_text keeps backslashes", Jpeg(Packet(body + "<nto:cap_text>a\\b</nto:cap_text>")), "a\\b"},
        // Its normal form does not read back (the backslash protects the "<" after it): the version is
        // the one the packet was read with, so the UTF-8 caption is not converted a second time.
        {"version 2 cap_text ending in a lone backslash",
         Jpeg(Packet(body + "<nto:cap_text>\xC3\xA0 a\\ </nto:cap_text><nto:version>2</nto:version>")),
         "\xC3\xA0 a\\"},
        {"comment without cap_text", Jpeg(Packet(body), "From the comment"), "From the comment"},
        {"neither", Jpeg(Packet(body)), ""},
        {"gd line alone", JpegWithoutPacket(gd + "\n"), "Created with Lumenote online editor"},
        {"gd line inside a comment", JpegWithoutPacket("x " + gd + " y"),
         "Created with Lumenote online editor"},
        {"gd line in cap_text", Jpeg(Packet(body + "<nto:cap_text>" + gd + "</nto:cap_text>")),
         "Created with Lumenote online editor"},
        {"part of the gd line only", JpegWithoutPacket("CREATOR: gd-jpeg v1.0"), "CREATOR: gd-jpeg v1.0"},
    };
    for (const CaptionCase& c : cases) {
        SCOPED_TRACE(c.label);
        ImageTags fresh;
        tags = fresh;
        ASSERT_TRUE(LoadBytes(c.bytes));
        EXPECT_EQ(tags.caption, c.caption);
    }
}

struct LoadResultCase {
    const char* label;
    std::string bytes;
    bool loaded;
};

TEST_F(ImageTagsTest, LoadFailsOnlyForUnreadableFilesAndIncompletePackets) {
    const LoadResultCase cases[] = {
        {"not xml at all", Jpeg("just words"), true},
        {"empty packet", Jpeg(""), true},
        {"other root element", Jpeg("<x:meta><a/></x:meta>"), true},
        {"root without description", Jpeg("<rdf:RDF><rdf:Other/></rdf:RDF>"), false},
        {"description without size_x", Jpeg(Packet("<nto:size_y>5</nto:size_y>")), false},
        {"description without size_y", Jpeg(Packet("<nto:size_x>5</nto:size_x>")), false},
        {"sizes only", Jpeg(Packet(Sizes(1, 2))), true},
        {"no start of image", "GIF89a", false},
        {"end of image before the scan", StartOfImage() + Segment(0xD9, ""), false},
        {"cut inside a segment", StartOfImage() + Segment(0xE9, "<rdf:RDF>").substr(0, 7), false},
    };
    for (const LoadResultCase& c : cases) {
        SCOPED_TRACE(c.label);
        ImageTags fresh;
        tags = fresh;
        EXPECT_EQ(LoadBytes(c.bytes), c.loaded);
    }
}

TEST_F(ImageTagsTest, LoadOfAMissingFileFails) {
    EXPECT_FALSE(tags.Load((file.path + ".missing").c_str()));
    EXPECT_FALSE(tags.Load(nullptr));
}

TEST_F(ImageTagsTest, ManySectionsWithoutPacketStillLoadTheDefaultPacket) {
    std::string bytes = StartOfImage();
    for (int i = 0; i < 19; ++i) {
        bytes += Segment(0xEA, "x");
    }
    bytes += StartOfScan() + kImageBytes;
    for (int mode : {kLoadAll, kLoadMetadata}) {
        SCOPED_TRACE(mode);
        ImageTags fresh;
        tags = fresh;
        ASSERT_TRUE(LoadBytes(bytes, mode));
        EXPECT_EQ(tags.Packet(), DefaultPacket(0, 0, 0, 0));
        EXPECT_EQ(tags.LayerCount(), 0);
    }
    // A scan right after the start of image: the smallest list there is.
    for (int mode : {kLoadAll, kLoadMetadata}) {
        ImageTags fresh;
        tags = fresh;
        ASSERT_TRUE(LoadBytes(StartOfImage() + StartOfScan(), mode));
        EXPECT_EQ(tags.Packet(), DefaultPacket(0, 0, 0, 0));
    }
}

// Photos from editors and phones carry their colour profile in a dozen APP2 chunks, and more segments
// besides: none of that keeps the tags from loading.
TEST_F(ImageTagsTest, ManyHeaderSegmentsBeforeThePacketStillLoad) {
    for (int chunks : {12, 300}) {
        SCOPED_TRACE(chunks);
        std::string bytes = StartOfImage() + Segment(0xE1, std::string("Exif\0\0", 6));
        for (int i = 0; i < chunks; ++i) {
            std::string chunk = "ICC_PROFILE";
            chunk += '\0';
            chunk += static_cast<char>(i + 1);
            bytes += Segment(0xE2, chunk);
        }
        bytes += Segment(0xE9, Packet(Sizes(40, 30) + Layers(Layer("Lighthouse", "4", "3"))));
        // Two quantisation tables, the frame header and four Huffman tables, as a camera writes them.
        for (int marker : {0xDB, 0xDB, 0xC0, 0xC4, 0xC4, 0xC4, 0xC4}) {
            bytes += Segment(marker, "table");
        }
        bytes += StartOfScan() + kImageBytes;
        for (int mode : {kLoadAll, kLoadMetadata}) {
            ImageTags fresh;
            tags = fresh;
            ASSERT_TRUE(LoadBytes(bytes, mode));
            TagLayer layer;
            ASSERT_EQ(tags.LayerCount(), 1);
            ASSERT_TRUE(tags.GetLayer(0, layer));
            EXPECT_EQ(layer.name, "Lighthouse");
        }
    }
    EXPECT_EQ(diagnostics.Take(), "");
}

TEST_F(ImageTagsTest, PacketEndsAtItsFirstZeroByte) {
    std::string packet = Packet(Sizes(10, 20) + Layers(Layer("A", "1", "2")));
    std::string bytes = StartOfImage() + Segment(0xE9, packet + std::string("\0<garbage", 9)) + StartOfScan();
    ASSERT_TRUE(LoadBytes(bytes));
    EXPECT_EQ(tags.LayerCount(), 1);
    EXPECT_EQ(tags.sizeY, 20);
}

TEST_F(ImageTagsTest, OnlyTheFirstPacketCounts) {
    std::string bytes =
        StartOfImage() + Segment(0xE9, Packet(Sizes(1, 1) + Layers(Layer("First", "1", "1")))) +
        Segment(0xE9, Packet(Sizes(2, 2) + Layers(Layer("Second", "1", "1")))) + StartOfScan();
    ASSERT_TRUE(LoadBytes(bytes));
    TagLayer layer;
    ASSERT_TRUE(tags.GetLayer(0, layer));
    EXPECT_EQ(layer.name, "First");
}

// The largest packet a segment holds: over 16,000 layers, a few of them named. Each layer is
// answered from the one parse of the Load, so this takes milliseconds where a parse per query took
// minutes.
TEST_F(ImageTagsTest, APacketFullOfLayersAnswersEveryLayer) {
    std::string layers;
    int count = 0;
    for (; layers.size() < 65100; ++count) {
        if (count % 4096 == 0) {
            const std::string number = std::to_string(count);
            layers += Layer("L" + number, number, "2");
        } else {
            layers += "<a/>";
        }
    }
    const std::string packet = Packet(Sizes(200, 100) + Layers(layers) + "<nto:version>2</nto:version>");
    ASSERT_LE(packet.size() + 3, 0xFFFFu);
    ASSERT_TRUE(LoadPacket(packet));
    tags.SetDisplaySize(100, 100);
    ASSERT_EQ(tags.LayerCount(), count);
    int named = 0;
    for (int i = 0; i < count; ++i) {
        TagLayer layer;
        if (tags.GetLayer(i, layer)) {
            ++named;
            EXPECT_EQ(layer.name, "L" + std::to_string(i));
            EXPECT_EQ(layer.x, i / 2);
            EXPECT_EQ(layer.y, 2);
        }
    }
    EXPECT_EQ(named, (count + 4095) / 4096);
    EXPECT_GT(count, 16000);
}

TEST_F(ImageTagsTest, LoadRenumbersLayersAndWritesThePacketOnOneLine) {
    std::string layers =
        "<nto:layer><a UID=\"7\" foo=\"x\" nto:UID=\"3\"><nto:name>n</nto:name></a>"
        "<b nto:UID=\"1\"/><!--note--></nto:layer>";
    ASSERT_TRUE(LoadPacket(Packet(Sizes(3, 4) + "\r\n  " + layers + "<nto:version>2</nto:version>")));
    std::string ns = SuiteNamespaceUri;
    EXPECT_EQ(tags.Packet(), "<rdf:RDF xmlns:nto=\"" + ns + "\" xmlns:rdf=\"" + kRdf +
                                 "\" ><rdf:Description rdf:about=\"" + ns +
                                 "\" ><nto:size_x>3</nto:size_x><nto:size_y>4</nto:size_y>"
                                 "<nto:layer rdf:parseType=\"Collection\" ><a foo=\"x\" nto:UID=\"1\" >"
                                 "<nto:name>n</nto:name></a><b nto:UID=\"2\" /><!--note--></nto:layer>"
                                 "<nto:version>2</nto:version></rdf:Description></rdf:RDF>");
    EXPECT_EQ(tags.LayerCount(), 3);
}

TEST_F(ImageTagsTest, LoadSetsBothSizePairs) {
    tags.SetDisplaySize(999, 999);
    ASSERT_TRUE(LoadPacket(Packet(" <nto:size_x> 640px</nto:size_x><nto:size_y>-48</nto:size_y>")));
    EXPECT_EQ(tags.sizeX, 640);
    EXPECT_EQ(tags.sizeY, -48);
    EXPECT_EQ(tags.lastSizeX, 640);
    EXPECT_EQ(tags.lastSizeY, -48);
}

struct DecimalCase {
    std::string text;
    int32_t value;
};

TEST_F(ImageTagsTest, PositionsFollowTheLeadingIntegerRule) {
    const DecimalCase cases[] = {
        {"42", 42},
        {"  42abc", 42},
        {"-7", -7},
        {"+5", 5},
        {"abc", 0},
        {"", 0},
        {"- 3", 0},
        {"12 34", 12},
        {"0x1F", 0},
        {"2147483647", std::numeric_limits<int32_t>::max()},
        {"2147483648", std::numeric_limits<int32_t>::max()},
        {"99999999999999999999", std::numeric_limits<int32_t>::max()},
        {"-2147483648", std::numeric_limits<int32_t>::min()},
        {"-99999999999999999999", std::numeric_limits<int32_t>::min()},
    };
    for (const DecimalCase& c : cases) {
        SCOPED_TRACE(c.text);
        ASSERT_TRUE(LoadPacket(Packet(Sizes(0, 0) + Layers(Layer("n", c.text, "1")))));
        TagLayer layer;
        ASSERT_TRUE(tags.GetLayer(0, layer));
        EXPECT_EQ(layer.x, c.value);
    }
}

struct ScaleCase {
    const char* label;
    int sizeX, sizeY;
    int displayX, displayY;
    std::string posX, posY;
    int32_t x, y;
};

TEST_F(ImageTagsTest, LayerPositionsScaleIn32BitArithmetic) {
    const ScaleCase cases[] = {
        {"half and quarter", 400, 400, 200, 100, "100", "100", 50, 25},
        {"size_y zero: unscaled", 400, 0, 200, 100, "100", "100", 100, 100},
        {"size_x zero: unscaled", 0, 400, 200, 100, "100", "100", 100, 100},
        {"truncates toward zero", 3, 3, 2, 2, "-5", "5", -3, 3},
        {"multiplies before dividing", 3, 3, 1, 1, "2", "1", 0, 0},
        {"product wraps at 32 bits", 1, 1, 65536, 46341, "65536", "46341", 0, -2147479015},
        {"wrapped product then divided", 2, 2, 65536, 1, "32768", "7", -1073741824, 3},
        {"minimum divided by minus one", -1, 1, 1, 1, "-2147483648", "3", std::numeric_limits<int32_t>::min(),
         3},
        {"negative sizes", -400, -400, 200, 100, "100", "100", -50, -25},
    };
    for (const ScaleCase& c : cases) {
        SCOPED_TRACE(c.label);
        ASSERT_TRUE(LoadPacket(Packet(Sizes(c.sizeX, c.sizeY) + Layers(Layer("n", c.posX, c.posY)))));
        tags.SetDisplaySize(c.displayX, c.displayY);
        TagLayer layer;
        ASSERT_TRUE(tags.GetLayer(0, layer));
        EXPECT_EQ(layer.x, c.x);
        EXPECT_EQ(layer.y, c.y);
    }
}

TEST_F(ImageTagsTest, PositionsComeBackUnscaledRightAfterLoad) {
    ASSERT_TRUE(LoadPacket(Packet(Sizes(400, 300) + Layers(Layer("n", "123", "45")))));
    TagLayer layer;
    ASSERT_TRUE(tags.GetLayer(0, layer));
    EXPECT_EQ(layer.x, 123);
    EXPECT_EQ(layer.y, 45);
}

struct CaptionPositionCase {
    const char* label;
    std::string body;
    bool found;
    int32_t x, y;
};

TEST_F(ImageTagsTest, CaptionPositionPrefersTheCaptionElementAndScalesEachAxisAlone) {
    const CaptionPositionCase cases[] = {
        {"caption element",
         Sizes(400, 400) + "<nto:caption_x>1</nto:caption_x><nto:caption_y>1</nto:caption_y>"
                           "<nto:caption><nto:pos_x>100</nto:pos_x><nto:pos_y>100</nto:pos_y></nto:caption>",
         true, 50, 25},
        {"caption_x and caption_y",
         Sizes(400, 400) + "<nto:caption_x>100</nto:caption_x><nto:caption_y>100</nto:caption_y>", true, 50,
         25},
        {"size_x zero scales only y",
         Sizes(0, 400) + "<nto:caption><nto:pos_x>100</nto:pos_x><nto:pos_y>100</nto:pos_y></nto:caption>",
         true, 100, 25},
        {"size_y zero scales only x",
         Sizes(400, 0) + "<nto:caption_x>100</nto:caption_x><nto:caption_y>100</nto:caption_y>", true, 50,
         100},
        {"caption element lacking pos_y",
         Sizes(400, 400) + "<nto:caption_x>1</nto:caption_x><nto:caption_y>1</nto:caption_y>"
                           "<nto:caption><nto:pos_x>100</nto:pos_x></nto:caption>",
         false, 0, 0},
        {"no caption_y", Sizes(400, 400) + "<nto:caption_x>100</nto:caption_x>", false, 0, 0},
        {"no caption position at all", Sizes(400, 400), false, 0, 0},
    };
    for (const CaptionPositionCase& c : cases) {
        SCOPED_TRACE(c.label);
        ASSERT_TRUE(LoadPacket(Packet(c.body)));
        tags.SetDisplaySize(200, 100);
        TagCaption caption{-1, -1, "untouched"};
        EXPECT_EQ(tags.GetCaption(caption), c.found);
        if (c.found) {
            EXPECT_EQ(caption.x, c.x);
            EXPECT_EQ(caption.y, c.y);
        } else {
            EXPECT_EQ(caption.x, -1);
            EXPECT_EQ(caption.text, "untouched");
        }
    }
}

TEST_F(ImageTagsTest, CaptionOfAnUnparsablePacketIsNotFound) {
    tags.SetPacket("no packet here");
    TagCaption caption;
    EXPECT_FALSE(tags.GetCaption(caption));
    EXPECT_EQ(tags.LayerCount(), 0);
    TagLayer layer;
    EXPECT_FALSE(tags.GetLayer(0, layer));
}

TEST_F(ImageTagsTest, GetLayerChecksIndexAndRequiredChildren) {
    std::string layers = Layer("Zero", "1", "2") + "<!--a comment counts-->" +
                         "<rdf:li><nto:pos_x>1</nto:pos_x><nto:pos_y>2</nto:pos_y></rdf:li>" +
                         "<rdf:li><nto:name>No y</nto:name><nto:pos_x>1</nto:pos_x></rdf:li>" +
                         "<any_name><nto:name>Odd</nto:name><nto:pos_x>5</nto:pos_x><nto:pos_y>6</nto:pos_y>"
                         "</any_name>";
    ASSERT_TRUE(LoadPacket(Packet(Sizes(10, 10) + Layers(layers))));
    ASSERT_EQ(tags.LayerCount(), 5);
    const struct {
        int index;
        bool found;
        const char* name;
    } cases[] = {{-1, false, ""}, {0, true, "Zero"}, {1, false, ""}, {2, false, ""},
                 {3, false, ""},  {4, true, "Odd"},  {5, false, ""}, {1000, false, ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.index);
        TagLayer layer;
        layer.x = -99;
        layer.name = "untouched";
        EXPECT_EQ(tags.GetLayer(c.index, layer), c.found);
        EXPECT_EQ(layer.name, c.found ? c.name : "untouched");
        if (!c.found) {
            EXPECT_EQ(layer.x, -99);
        }
    }
}

TEST_F(ImageTagsTest, LayerNamesAreUnescapedAndLoseBareBackslashes) {
    const std::string names[] = {"a&lt;br&gt;b", "x&y",        "C:&#092;photos",
                                 "C:\\photos",   "  padded  ", "a\\\\b"};
    std::string layers;
    for (const std::string& name : names) {
        layers += Layer(name, "1", "1");
    }
    ASSERT_TRUE(LoadPacket(Packet(Sizes(1, 1) + Layers(layers) + "<nto:version>2</nto:version>")));
    const std::string expected[] = {"a\r\nb", "xy", "C:\\photos", "C:photos", "padded", "a\\b"};
    for (size_t i = 0; i < std::size(expected); ++i) {
        TagLayer layer;
        ASSERT_TRUE(tags.GetLayer(static_cast<int>(i), layer));
        EXPECT_EQ(layer.name, expected[i]) << names[i];
    }
}

struct RegionCase {
    const char* label;
    std::string region;
    TagRegion expected;
};

TEST_F(ImageTagsTest, RegionsAreRectanglesOnlyForTheRectType) {
    const std::string coords =
        "<nto:region_left>40</nto:region_left><nto:region_top>80</nto:region_top>"
        "<nto:region_width>100</nto:region_width><nto:region_height>60</nto:region_height>";
    const RegionCase cases[] = {
        {"rect", "<nto:region nto:region_type=\"rect\">" + coords + "</nto:region>", {1, 20, 20, 50, 15}},
        {"RECT", "<nto:region nto:region_type=\"RECT\">" + coords + "</nto:region>", {1, 20, 20, 50, 15}},
        {"Rect", "<nto:region nto:region_type=\"Rect\">" + coords + "</nto:region>", {1, 20, 20, 50, 15}},
        {"other type",
         "<nto:region nto:region_type=\"ellipse\">" + coords + "</nto:region>",
         {0, 0, 0, 0, 0}},
        {"rect with a suffix",
         "<nto:region nto:region_type=\"rects\">" + coords + "</nto:region>",
         {0, 0, 0, 0, 0}},
        {"no type", "<nto:region>" + coords + "</nto:region>", {0, 0, 0, 0, 0}},
        {"rect lacking height",
         "<nto:region nto:region_type=\"rect\"><nto:region_left>40</nto:region_left>"
         "<nto:region_top>80</nto:region_top><nto:region_width>100</nto:region_width>"
         "</nto:region>",
         {1, 20, 20, 50, 0}},
        {"no region element", "", {7, 7, 7, 7, 7}},
    };
    for (const RegionCase& c : cases) {
        SCOPED_TRACE(c.label);
        ASSERT_TRUE(LoadPacket(Packet(Sizes(400, 400) + Layers(Layer("n", "1", "1", c.region)))));
        tags.SetDisplaySize(200, 100);
        TagLayer layer;
        layer.region = TagRegion{7, 7, 7, 7, 7};
        ASSERT_TRUE(tags.GetLayer(0, layer));
        EXPECT_EQ(layer.region.isRect, c.expected.isRect);
        EXPECT_EQ(layer.region.left, c.expected.left);
        EXPECT_EQ(layer.region.top, c.expected.top);
        EXPECT_EQ(layer.region.width, c.expected.width);
        EXPECT_EQ(layer.region.height, c.expected.height);
    }
}

TEST_F(ImageTagsTest, RegionIsUnscaledWhenASizeIsZero) {
    std::string region =
        "<nto:region nto:region_type=\"rect\"><nto:region_left>40</nto:region_left><nto:region_top>80"
        "</nto:region_top><nto:region_width>100</nto:region_width><nto:region_height>60</nto:region_height>"
        "</nto:region>";
    ASSERT_TRUE(LoadPacket(Packet(Sizes(400, 0) + Layers(Layer("n", "1", "1", region)))));
    tags.SetDisplaySize(200, 100);
    TagLayer layer;
    ASSERT_TRUE(tags.GetLayer(0, layer));
    EXPECT_EQ(layer.region.left, 40);
    EXPECT_EQ(layer.region.height, 60);
}

TEST_F(ImageTagsTest, LegacyPacketNamesAreConvertedFromTheAnsiCodePage) {
    std::string layers = Layer("Caf\xE9", "1", "1") + "<rdf:li><nto:pos_x>1</nto:pos_x></rdf:li>" +
                         Layer("Cr\xE8me &amp; jam", "2", "2");
    ASSERT_TRUE(LoadPacket(Packet(Sizes(1, 1) + Layers(layers) +
                                  "<nto:caption_x>1</nto:caption_x><nto:caption_y>1</nto:caption_y>"
                                  "<nto:cap_text>\xE0 la plage</nto:cap_text>")));
    EXPECT_EQ(tags.PacketVersion(), 0);  // the version is not written by the upgrade
    EXPECT_EQ(tags.caption, "\xC3\xA0 la plage");
    EXPECT_EQ(tags.GetLayerName(0), "Caf\xC3\xA9");
    EXPECT_EQ(tags.GetLayerName(2), "Cr\xC3\xA8me &amp; jam");
    TagLayer layer;
    ASSERT_TRUE(tags.GetLayer(0, layer));
    EXPECT_EQ(layer.name, "Caf\xE9");
    ASSERT_TRUE(tags.GetLayer(2, layer));
    EXPECT_EQ(layer.name, "Cr\xE8me & jam");
    TagCaption caption;
    ASSERT_TRUE(tags.GetCaption(caption));
    EXPECT_EQ(caption.text, "\xE0 la plage");
}

TEST_F(ImageTagsTest, VersionTwoPacketNamesAreConvertedToTheAnsiCodePage) {
    ASSERT_TRUE(
        LoadPacket(Packet(Sizes(1, 1) + Layers(Layer("Caf\xC3\xA9", "1", "1")) +
                          "<nto:caption_x>1</nto:caption_x><nto:caption_y>1</nto:caption_y>"
                          "<nto:cap_text>\xC3\xA0 la plage</nto:cap_text><nto:version>2</nto:version>")));
    EXPECT_EQ(tags.PacketVersion(), 2);
    EXPECT_EQ(tags.caption, "\xC3\xA0 la plage");
    EXPECT_EQ(tags.GetLayerName(0), "Caf\xC3\xA9");
    TagLayer layer;
    ASSERT_TRUE(tags.GetLayer(0, layer));
    EXPECT_EQ(layer.name, "Caf\xE9");
    TagCaption caption;
    ASSERT_TRUE(tags.GetCaption(caption));
    EXPECT_EQ(caption.text, "\xE0 la plage");
}

// A character the code page lacks becomes its default character, and the rest of the name survives;
// a name that is not UTF-8 at all comes back as it is.
TEST_F(ImageTagsTest, NamesKeepWhatTheCodePageCanShow) {
    const std::string japanese = "Caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC";  // no form for U+65E5, U+672C
    const std::string beyondUnicode = "x\xF4\x90\x80\x80";
    ASSERT_TRUE(
        LoadPacket(Packet(Sizes(1, 1) + Layers(Layer(japanese, "1", "1") + Layer(beyondUnicode, "1", "1")) +
                          "<nto:caption_x>1</nto:caption_x><nto:caption_y>1</nto:caption_y>"
                          "<nto:cap_text>" +
                          japanese + "</nto:cap_text><nto:version>2</nto:version>")));
    TagLayer layer;
    ASSERT_TRUE(tags.GetLayer(0, layer));
    EXPECT_EQ(layer.name, "Caf\xE9 ??");
    ASSERT_TRUE(tags.GetLayer(1, layer));
    EXPECT_EQ(layer.name, beyondUnicode);
    TagCaption caption;
    ASSERT_TRUE(tags.GetCaption(caption));
    EXPECT_EQ(caption.text, "Caf\xE9 ??");
}

// The upgrade writes each converted name back so that the queries read it as converted: a "<" does
// not break the packet, and backslashes mean what they mean in a version 2 packet.
TEST_F(ImageTagsTest, UpgradedLegacyNamesReadBackAsConverted) {
    const std::string names = Layer("Caf\xE9", "1", "2") + Layer("a\\\\b c\\<d", "3", "4") +
                              Layer("e\\\\\\\\f", "5", "6") + "<rdf:li><nto:pos_x>1</nto:pos_x></rdf:li>";
    const std::string body = Sizes(10, 10) + Layers(names) +
                             "<nto:caption_x>7</nto:caption_x><nto:caption_y>8</nto:caption_y>"
                             "<nto:cap_text>\xE0 la plage</nto:cap_text>";
    ASSERT_TRUE(LoadPacket(Packet(body)));
    EXPECT_EQ(tags.PacketVersion(), 0);
    EXPECT_EQ(tags.LayerCount(), 4);
    const char* expected[] = {"Caf\xE9@1,2", "a\\b c<d@3,4", "e\\\\f@5,6", "-"};
    for (int i = 0; i < 4; ++i) {
        TagLayer layer;
        EXPECT_EQ(tags.GetLayer(i, layer)
                      ? layer.name + "@" + std::to_string(layer.x) + "," + std::to_string(layer.y)
                      : "-",
                  expected[i]);
    }
    TagCaption caption;
    ASSERT_TRUE(tags.GetCaption(caption));
    EXPECT_EQ(caption.x, 7);
    EXPECT_EQ(caption.text, "\xE0 la plage");

    // The same names in a version 2 packet (already UTF-8) read the same.
    ImageTags versionTwo;
    file.Write(Jpeg(Packet(Sizes(10, 10) +
                           Layers(Layer("Caf\xC3\xA9", "1", "2") + Layer("a\\\\b c\\<d", "3", "4") +
                                  Layer("e\\\\\\\\f", "5", "6")) +
                           "<nto:version>2</nto:version>")));
    ASSERT_TRUE(versionTwo.Load(file.path.c_str()));
    for (int i = 0; i < 3; ++i) {
        TagLayer legacy;
        TagLayer current;
        ASSERT_TRUE(tags.GetLayer(i, legacy));
        ASSERT_TRUE(versionTwo.GetLayer(i, current));
        EXPECT_EQ(legacy.name, current.name) << i;
    }
}

struct VersionCase {
    std::string version;
    int expected;
};

TEST_F(ImageTagsTest, PacketVersionReadsTheVersionElement) {
    const VersionCase cases[] = {{"<nto:version>2</nto:version>", 2},
                                 {"<nto:version> 3abc </nto:version>", 3},
                                 {"<nto:version>one</nto:version>", 0},
                                 {"", 0}};
    for (const VersionCase& c : cases) {
        SCOPED_TRACE(c.version);
        ASSERT_TRUE(LoadPacket(Packet(Sizes(1, 1) + c.version)));
        EXPECT_EQ(tags.PacketVersion(), c.expected);
    }
    tags.SetPacket("<rdf:RDF/>");
    EXPECT_EQ(tags.PacketVersion(), 0);
}

TEST_F(ImageTagsTest, SetLayerNameReplacesOnlyAnExistingName) {
    std::string layers = Layer("Old", "1", "1") + "<rdf:li><nto:pos_x>1</nto:pos_x></rdf:li>";
    ASSERT_TRUE(LoadPacket(Packet(Sizes(1, 1) + Layers(layers) + "<nto:version>2</nto:version>")));
    tags.SetLayerName(0, "New &amp; better");
    EXPECT_EQ(tags.GetLayerName(0), "New &amp; better");
    std::string before = tags.Packet();
    tags.SetLayerName(1, "Ignored");
    tags.SetLayerName(2, "Ignored");
    tags.SetLayerName(-1, "Ignored");
    EXPECT_EQ(tags.Packet(), before);
    EXPECT_EQ(tags.GetLayerName(1), "");
    EXPECT_EQ(tags.GetLayerName(7), "");
}

TEST_F(ImageTagsTest, EachLoadReplacesTheEarlierTags) {
    ASSERT_TRUE(
        LoadPacket(Packet(Sizes(50, 60) + Layers(Layer("A", "1", "1")) + "<nto:cap_text>c</nto:cap_text>")));
    ImageTags copy = tags;
    ASSERT_TRUE(LoadBytes(JpegWithoutPacket()));
    EXPECT_EQ(tags.caption, "");
    EXPECT_EQ(tags.LayerCount(), 0);
    // The default packet of a reused object takes the sizes of the earlier Load.
    EXPECT_EQ(tags.sizeX, 50);
    EXPECT_EQ(copy.caption, "c");
    EXPECT_EQ(copy.LayerCount(), 1);
}

// What a query run can observe of the tags; compared between load modes and with expectations.
struct Observed {
    bool loaded = false;
    std::string caption;
    std::string packet;
    int32_t sizeX = 0, sizeY = 0;
    int layerCount = 0;
    std::vector<std::string> layers;
    bool hasCaption = false;
    TagCaption captionPosition;

    bool operator==(const Observed& other) const {
        return loaded == other.loaded && caption == other.caption && packet == other.packet &&
               sizeX == other.sizeX && sizeY == other.sizeY && layerCount == other.layerCount &&
               layers == other.layers && hasCaption == other.hasCaption &&
               captionPosition.x == other.captionPosition.x && captionPosition.y == other.captionPosition.y &&
               captionPosition.text == other.captionPosition.text;
    }
};

Observed Observe(const std::string& path, int mode) {
    ImageTags tags;
    Observed seen;
    seen.loaded = tags.Load(path.c_str(), mode);
    seen.caption = tags.caption;
    seen.packet = tags.Packet();
    seen.sizeX = tags.sizeX;
    seen.sizeY = tags.sizeY;
    seen.layerCount = tags.LayerCount();
    for (int i = 0; i < seen.layerCount; ++i) {
        TagLayer layer;
        if (tags.GetLayer(i, layer)) {
            const TagRegion& r = layer.region;
            seen.layers.push_back(layer.name + "@" + std::to_string(layer.x) + "," + std::to_string(layer.y) +
                                  (r.isRect
                                       ? " rect " + std::to_string(r.left) + "," + std::to_string(r.top) +
                                             "," + std::to_string(r.width) + "," + std::to_string(r.height)
                                       : ""));
        } else {
            seen.layers.push_back("-");
        }
    }
    seen.hasCaption = tags.GetCaption(seen.captionPosition);
    return seen;
}

struct SampleCase {
    const char* file;
    bool loaded;
    const char* caption;  // UTF-8, as Load leaves it
    std::vector<std::string> layers;
    int captionX, captionY;
};

class SamplePhotosTest : public ImageTagsTest {};

TEST_F(SamplePhotosTest, LoadAsExpected) {
    const std::string gd = "Created with Lumenote online editor";
    const SampleCase cases[] = {
        {"no_packet.jpg", true, "", {}, 10, 10},
        {"no_packet_comment.jpg", true, "Harbour at dawn", {}, 10, 10},
        {"no_packet_gd_creator.jpg", true, gd.c_str(), {}, 10, 10},
        {"gd_creator_inside_comment.jpg", true, gd.c_str(), {}, 10, 10},
        {"packet_legacy_cp1252.jpg",
         true,
         "Dessert \xC3\xA0 la plage",
         {"Caf\xE9@40,60", "Cr\xE8me & jam@200,150"},
         10,
         10},
        {"packet_v2_utf8_escapes.jpg",
         true,
         "Line one\r\nline two",
         {"Caf\xE9@40,60", "a\r\nb@80,90", "Tom & Jerry@120,100", "C:\\photos@160,110",
          "\"Quoted\" 'name'@200,120", "xy@240,130"},
         10,
         10},
        {"packet_regions.jpg",
         true,
         "",
         {"Boat@50,120 rect 30,100,60,40", "Buoy@150,140 rect 140,130,20,22", "Cloud@100,30", "Gull@260,40",
          "Pier@300,200"},
         10,
         10},
        {"packet_caption_element.jpg", true, "Evening & calm water", {"Jetty@160,170"}, 24, 200},
        {"packet_empty_layers.jpg", true, "Nothing tagged yet", {}, 10, 10},
        {"packet_search_words.jpg",
         true,
         "Summer at the lake",
         {"Grandma@70,150", "Lighthouse@250,80"},
         12,
         220},
        {"packet_not_xml.jpg", true, "Packet written by a broken tool", {}, 10, 10},
    };
    for (const SampleCase& c : cases) {
        SCOPED_TRACE(c.file);
        Observed seen = Observe(SamplePath(c.file), kLoadAll);
        EXPECT_EQ(seen.loaded, c.loaded);
        EXPECT_EQ(seen.caption, c.caption);
        EXPECT_EQ(seen.layers, c.layers);
        EXPECT_EQ(seen.layerCount, static_cast<int>(c.layers.size()));
        ASSERT_TRUE(seen.hasCaption);
        EXPECT_EQ(seen.captionPosition.x, c.captionX);
        EXPECT_EQ(seen.captionPosition.y, c.captionY);
    }
    EXPECT_FALSE(Observe(SamplePath("packet_missing_size.jpg"), kLoadAll).loaded);
}

TEST_F(SamplePhotosTest, MetadataOnlyLoadsGiveTheSameAnswers) {
    const char* files[] = {"no_packet.jpg",
                           "no_packet_comment.jpg",
                           "no_packet_gd_creator.jpg",
                           "gd_creator_inside_comment.jpg",
                           "packet_legacy_cp1252.jpg",
                           "packet_v2_utf8_escapes.jpg",
                           "packet_regions.jpg",
                           "packet_caption_element.jpg",
                           "packet_empty_layers.jpg",
                           "packet_search_words.jpg",
                           "packet_not_xml.jpg",
                           "packet_missing_size.jpg"};
    for (const char* name : files) {
        SCOPED_TRACE(name);
        Observed all = Observe(SamplePath(name), kLoadAll);
        Observed metadata = Observe(SamplePath(name), kLoadMetadata);
        EXPECT_TRUE(all == metadata);
        EXPECT_FALSE(all.packet.empty());
    }
}

}  // namespace
