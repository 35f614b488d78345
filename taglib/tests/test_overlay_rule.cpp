// Which files get the overlay icon: the extension test, the layer count of the sample photos, and files
// that are not what their name says.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "taglib/overlay_rule.h"
#include "test_support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

std::string Photo(const char* name) {
    return std::string(VELLUMAR_SOURCE_DIR) + "/samples/photos/" + name;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct ExtensionCase {
    const char* path;
    bool member;
};

const ExtensionCase kExtensionCases[] = {
    {"photo.jpg", true},   {"C:\\Photos\\a b.jpg", true},
    {".jpg", true},        {"x.jpg.jpg", true},
    {"photo.JPG", false},  {"photo.Jpg", false},
    {"photo.jpG", false},  {"photo.jpeg", false},
    {"photo.jpg ", false}, {"photo.jpg.", false},
    {"photo.jpgx", false}, {"photo_jpg", false},
    {"jpg", false},        {"pg", false},
    {"", false},           {"photo.gif", false},
    {"photo.jp g", false},
};

TEST(OverlayRule, ExtensionIsExactlyDotJpg) {
    for (const ExtensionCase& c : kExtensionCases) {
        std::string narrow = c.path;
        EXPECT_EQ(HasOverlayExtension(std::string_view(narrow)), c.member) << c.path;
        std::u16string utf16(narrow.begin(), narrow.end());
        EXPECT_EQ(HasOverlayExtension(std::u16string_view(utf16)), c.member) << c.path;
        std::wstring wide(narrow.begin(), narrow.end());
        EXPECT_EQ(HasOverlayExtension(std::wstring_view(wide)), c.member) << c.path;
    }
}

TEST(OverlayRule, ExtensionComparesWholeUtf16Characters) {
    // A character whose low byte is 'j' must not pass for 'j'.
    std::u16string path = u"photo.\u016Apg";
    ASSERT_EQ(static_cast<char>(path[6] & 0xFF), 'j');
    EXPECT_FALSE(HasOverlayExtension(std::u16string_view(path)));
    EXPECT_TRUE(HasOverlayExtension(std::u16string_view(u"\u00E9t\u00E9.jpg")));
}

struct PhotoCase {
    const char* name;
    bool member;
};

// Layer counts as the tag packets of the sample photos hold them.
const PhotoCase kPhotoCases[] = {
    {"packet_regions.jpg", true},          // five layers
    {"packet_search_words.jpg", true},     // two layers
    {"packet_caption_element.jpg", true},  // one layer
    {"packet_legacy_cp1252.jpg", true},    // a packet from before version 2
    {"packet_v2_utf8_escapes.jpg", true},  // UTF-8 names with references
    {"packet_missing_size.jpg", true},     // Load fails on the missing size, the layer still counts
    {"packet_empty_layers.jpg", false},    // a packet with an empty layer list
    {"no_packet.jpg", false},              // the default packet has no layers
    {"no_packet_comment.jpg", false},
    {"gd_creator_inside_comment.jpg", false},
    {"packet_not_xml.jpg", false},  // a packet that does not parse has no layers
    {"does_not_exist.jpg", false},
};

TEST(OverlayRule, SamplePhotos) {
    for (const PhotoCase& c : kPhotoCases) {
        EXPECT_EQ(IsOverlayMember(Photo(c.name)), c.member) << c.name;
    }
}

TEST(OverlayRule, OtherExtensionsAreNotOpenedAtAll) {
    TempFolder folder;
    std::string tagged = ReadFile(Photo("packet_regions.jpg"));
    ASSERT_FALSE(tagged.empty());
    EXPECT_TRUE(IsOverlayMember(folder.Write("photo.jpg", tagged)));
    for (const char* name : {"photo.JPG", "photo.Jpg", "photo.jpeg", "photo.jpg.bak"}) {
        EXPECT_FALSE(IsOverlayMember(folder.Write(name, tagged))) << name;
    }
}

TEST(OverlayRule, DamagedOrForeignContentIsNoMember) {
    TempFolder folder;
    std::string tagged = ReadFile(Photo("packet_regions.jpg"));
    ASSERT_GT(tagged.size(), 64u);
    size_t packetStart = tagged.find("\xFF\xE9");
    ASSERT_NE(packetStart, std::string::npos);

    const std::pair<const char*, std::string> cases[] = {
        {"empty.jpg", std::string()},
        {"text.jpg", std::string("just some text, not a picture")},
        {"only_soi.jpg", std::string("\xFF\xD8", 2)},
        {"cut_in_packet.jpg", tagged.substr(0, packetStart + 40)},
        {"cut_after_marker.jpg", tagged.substr(0, packetStart + 2)},
        {"zeros.jpg", std::string(4096, '\0')},
        {"ff_run.jpg", std::string("\xFF\xD8", 2) + std::string(4096, '\xFF')},
    };
    for (const auto& [name, bytes] : cases) {
        EXPECT_FALSE(IsOverlayMember(folder.Write(name, bytes))) << name;
    }
}

TEST(OverlayRule, AFolderNamedLikeAPhotoIsNoMember) {
    TempFolder folder;
    fs::create_directories(folder.path / "album.jpg");
    EXPECT_FALSE(IsOverlayMember((folder.path / "album.jpg").string()));
}

TEST(OverlayRule, DamageAfterTheImageStartsDoesNotChangeTheAnswer) {
    // The answer comes from the segments before the image: the rest may be anything, or missing.
    TempFolder folder;
    std::string tagged = ReadFile(Photo("packet_regions.jpg"));
    size_t scan = tagged.find("\xFF\xDA");
    ASSERT_NE(scan, std::string::npos);
    std::string head = tagged.substr(0, scan);
    EXPECT_TRUE(IsOverlayMember(folder.Write("head_and_scan.jpg", head + tagged.substr(scan, 12))));
    EXPECT_TRUE(IsOverlayMember(
        folder.Write("garbage_scan.jpg", head + tagged.substr(scan, 12) + std::string(100000, '\xFF'))));
}

}  // namespace
