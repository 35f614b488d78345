// The tags of one JPEG: caption, layers and their positions, read from the tag packet of the file's
// APP9 segment.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

class JpegSectionList;
class XmlDocument;
class XmlNode;

struct TagRegion {
    int32_t isRect = 0;  // 1 for a rectangle, 0 for no region
    int32_t left = 0;
    int32_t top = 0;
    int32_t width = 0;
    int32_t height = 0;
};

struct TagLayer {
    int32_t x = 0;
    int32_t y = 0;
    std::string name;  // in the ANSI code page
    TagRegion region;
};

struct TagCaption {
    int32_t x = 0;
    int32_t y = 0;
    std::string text;  // in the ANSI code page
};

// Which parts of the file Load reads: the segments before the image always; the compressed image data
// only with kLoadImageData. The answers are the same either way; without the image data a Load reads
// only the head of the file.
enum LoadMode : int { kLoadMetadata = 1, kLoadImageData = 2, kLoadAll = 3 };

class ImageTags {
public:
    ImageTags() = default;
    ImageTags(const ImageTags&) = default;
    ImageTags& operator=(const ImageTags&) = default;
    virtual ~ImageTags() = default;

    // Reads the packet of a file and parses it once: the queries below answer from that parse, so a
    // packet with thousands of layers costs no more per layer than one with a few.
    bool Load(const char* path, int mode = kLoadAll);
    int LayerCount() const;
    bool GetLayer(int index, TagLayer& out) const;
    bool GetCaption(TagCaption& out) const;
    void SetDisplaySize(int32_t width, int32_t height);

    // The packet text in the normal form of the last Load (UTF-8 after it).
    const std::string& Packet() const { return packet; }
    // Replaces the packet text; the queries answer from the new text from now on.
    void SetPacket(std::string text);

    // Decodes the references of layer names and captions ("&lt;br&gt;" is CR LF, and so on).
    static std::string UnescapeTagText(const std::string& text);

    // The packet's version and raw layer names, as the legacy upgrade uses them; public for tests and tools.
    int PacketVersion() const;
    std::string GetLayerName(int index) const;
    void SetLayerName(int index, const std::string& text);

    std::string caption;  // UTF-8 after Load
    int32_t lastSizeX = 0;
    int32_t lastSizeY = 0;
    int32_t sizeX = 0;
    int32_t sizeY = 0;

private:
    struct ParsedTags;

    bool ReadPacket(const char* path, int mode, bool& packetChanged);
    // The text of the first APP9 section into `packet`; a file without one gets the default packet,
    // laid out as a section of the list. False when no section could be made.
    bool TakePacket(JpegSectionList& sections);
    // Reads the sizes of a parsed packet and writes it back into `packet` in the normal form the queries
    // read. A document that is no tag packet is replaced by the default packet first.
    bool NormalisePacket(XmlDocument& document);
    void BuildDefaultPacket(XmlDocument& document);
    void UpgradeLegacyPacket();
    void ParseForQueries();

    std::string packet;
    // What the queries read, parsed from `packet` whenever it changes. Never changed in place, so that
    // copies share it and const queries may run on several threads.
    std::shared_ptr<const ParsedTags> parsed;
};

// The URI of the suite's tag namespace, also the subject of the packet's description.
extern const char* const SuiteNamespaceUri;
