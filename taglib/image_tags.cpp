#include "taglib/image_tags.h"

#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <string_view>
#include <utility>
#include <vector>

#include "foundation/ascii_case.h"
#include "taglib/codepage.h"
#include "taglib/diagnostics.h"
#include "taglib/jpeg_sections.h"
#include "taglib/xml_document.h"

const char* const SuiteNamespaceUri = "http://ns.lumenote.example/tags/1.0/";

namespace {

constexpr const char* kRdfSyntaxNamespaceUri = "http://www.w3.org/1999/02/22-rdf-syntax-ns#";

// The comment that the GD graphics library's JPEG writer puts into the images it makes; the suite's
// online editor saves through it.
constexpr std::string_view kGdCreatorLine = "CREATOR: gd-jpeg v1.0 (using IJG JPEG v62), default quality";
constexpr const char* kGdCaption = "Created with Lumenote online editor";

ParseOptions MakeParseOptions(bool trimValue, char escapeChar) {
    ParseOptions options;
    options.trimValue = trimValue;
    options.escapeChar = escapeChar;
    return options;
}

// The packet is read without an escape character where the editor's raw texts matter (the main parse,
// the caption text, the version) and with the backslash escape by the queries. LayerCount is defined on
// a parse without trimming; trimming changes values only, never which nodes a parse makes, so the
// queries' parse counts the same layers.
ParseOptions MainParseOptions() {
    return MakeParseOptions(true, '\0');
}
ParseOptions QueryParseOptions() {
    return MakeParseOptions(true, '\\');
}

// Packets are kept on one line, values written as they are.
WriteOptions PacketWriteOptions() {
    WriteOptions options;
    options.newLine = false;
    options.encodeEntities = true;
    options.quoteChar = '"';
    return options;
}

// A parsed packet; the document lives only as long as the operation that parsed it.
class ParsedPacket {
public:
    ParsedPacket(const std::string& packet, ParseOptions options) : parseOptions(std::move(options)) {
        document.Load(packet.c_str(), &parseOptions);
    }

    // "rdf:RDF" / "rdf:Description", or nullptr.
    XmlNode* Description() const {
        XmlNode* root = document.GetChild("rdf:RDF");
        return root != nullptr ? root->GetChild("rdf:Description") : nullptr;
    }

    XmlNode* LayerList() const {
        XmlNode* description = Description();
        return description != nullptr ? description->GetChild("nto:layer") : nullptr;
    }

    // Child `index` of the layer list, whatever its kind, or nullptr.
    XmlNode* Layer(int index) const {
        XmlNode* layers = LayerList();
        return layers != nullptr ? layers->GetChild(index) : nullptr;
    }

    XmlDocument document;

private:
    ParseOptions parseOptions;
};

bool IsDecimalSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The C library's leading-integer rule: leading white space, an optional sign, digits up to the first
// non-digit; no digits read as 0. Values beyond 32 bits saturate, as strtol does with a 32-bit long.
int32_t ReadDecimal(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && IsDecimalSpace(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    int64_t magnitude = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        magnitude = magnitude * 10 + (text[i] - '0');
        if (magnitude > kLimit) {
            magnitude = kLimit;
        }
    }
    int64_t value = negative ? -magnitude : magnitude;
    if (value > std::numeric_limits<int32_t>::max()) {
        return std::numeric_limits<int32_t>::max();
    }
    return static_cast<int32_t>(value);
}

int32_t ReadChildDecimal(const XmlNode& node, const char* childName) {
    return ReadDecimal(node.GetChildText(childName));
}

// value × numerator / denominator in signed 32-bit arithmetic: the product wraps around as a 32-bit
// multiplication does, the quotient truncates toward zero. Defined for every input, including the
// product's overflow and the minimum divided by -1.
int32_t Scale(int32_t value, int32_t numerator, int32_t denominator) {
    auto product = static_cast<int32_t>(static_cast<uint32_t>(int64_t{value} * numerator));
    if (denominator == 0) {
        return value;
    }
    if (denominator == -1) {
        return static_cast<int32_t>(0u - static_cast<uint32_t>(product));
    }
    return product / denominator;
}

void AppendNumberChild(XmlNode& parent, const char* name, int32_t value) {
    parent.AppendChild(XmlNode::CreateNode(name, std::to_string(value).c_str()));
}

// Gives every layer a fresh "nto:UID", numbered from 1 in document order, and makes the list a
// collection.
void RenumberLayerUids(XmlNode& layerList) {
    if (layerList.GetAttribute("rdf:parseType") == nullptr) {
        layerList.AppendAttribute(XmlNode::CreateAttribute("rdf:parseType", "Collection"));
    }
    for (int i = 0; i < layerList.GetChildCount(); ++i) {
        XmlNode* layer = layerList.GetChild(i);
        if (XmlAttribute* uid = layer->GetAttribute("UID")) {
            layer->RemoveAttribute(uid);
        }
        if (XmlAttribute* uid = layer->GetAttribute("nto:UID")) {
            layer->RemoveAttribute(uid);
        }
        layer->AppendAttribute(XmlNode::CreateAttribute("nto:UID", std::to_string(i + 1).c_str()));
    }
}

// Lays a packet this library built out as an APP9 section: length (text + zero + the two length bytes),
// the text and a terminating zero.
const JpegSection* InsertPacketSection(JpegSectionList& sections, const std::string& text) {
    size_t size = text.size() + 3;
    if (size > 0xFFFF) {
        return nullptr;
    }
    std::unique_ptr<uint8_t[]> data(new (std::nothrow) uint8_t[size]);
    if (!data) {
        return nullptr;
    }
    data[0] = static_cast<uint8_t>(size >> 8);
    data[1] = static_cast<uint8_t>(size & 0xFF);
    std::memcpy(data.get() + 2, text.data(), text.size());
    data[size - 1] = 0;
    return sections.InsertSection(kMarkerApp9, std::move(data), size);
}

// A region as written: a rectangle only for the type "rect" in any case, otherwise all zero. A
// rectangle lacking a coordinate reads it as 0 (the leading-integer rule on an empty text).
TagRegion ReadRegion(const XmlNode& region) {
    TagRegion out;
    const XmlAttribute* type = region.GetAttribute("nto:region_type");
    if (type == nullptr || !EqualsIgnoringAsciiCase(type->value, "rect")) {
        return out;
    }
    out.isRect = 1;
    out.left = ReadChildDecimal(region, "nto:region_left");
    out.top = ReadChildDecimal(region, "nto:region_top");
    out.width = ReadChildDecimal(region, "nto:region_width");
    out.height = ReadChildDecimal(region, "nto:region_height");
    return out;
}

// Protects the characters that the queries' backslash escape would otherwise take away or read as
// markup: the backslash itself, "<" in element text and the quote around attribute values.
std::string EscapeForQueries(const std::string& text, char special) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c == '\\' || c == special) {
            out += '\\';
        }
        out += c;
    }
    return out;
}

// Writes a document parsed with the queries' options back as a packet that the same options read
// back to the same values: each value is escaped for the backslash escape the parse took away.
std::string WriteForQueries(XmlDocument& document) {
    std::vector<XmlNode*> pending{&document};
    while (!pending.empty()) {
        XmlNode* node = pending.back();
        pending.pop_back();
        if (node->type == XmlNodeType::Element) {
            node->value = EscapeForQueries(node->value, '<');
        }
        for (const auto& attribute : node->attributes) {
            attribute->value = EscapeForQueries(attribute->value, '"');
        }
        for (const auto& child : node->children) {
            pending.push_back(child.get());
        }
    }
    return document.GetXml(PacketWriteOptions());
}

// Closes the file on every path out of Load.
struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// The segments that hold tags all come before the scan; the image data is read only on request.
bool ReadFileSections(const char* path, int mode, JpegSectionList& sections) {
    if (path == nullptr) {
        return false;
    }
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path, "rb"));
    if (!file) {
        return false;
    }
    const int readMode = kReadMetadata | ((mode & kLoadImageData) != 0 ? kReadImage : 0);
    return sections.ReadSections(file.get(), readMode);
}

// The packet's "nto:cap_text", else the file's first comment as it is. The comment of the GD writer
// stands for the suite's online editor, which saves through it.
std::string ReadCaption(const ParsedPacket& parsedPacket, const JpegSectionList& sections) {
    std::string text;
    const XmlNode* description = parsedPacket.Description();
    const XmlNode* capText = description != nullptr ? description->GetChild("nto:cap_text") : nullptr;
    if (capText != nullptr) {
        text = ImageTags::UnescapeTagText(capText->value);
    } else if (const JpegSection* comment = sections.FindSection(kMarkerComment)) {
        text = std::string(comment->PayloadText());
    }
    if (text.find(kGdCreatorLine) != std::string::npos) {
        text = kGdCaption;
    }
    return text;
}

// The "nto:version" of a packet's description; 0 without one.
int ReadVersion(const XmlNode* description) {
    if (description == nullptr || description->GetChild("nto:version") == nullptr) {
        return 0;
    }
    return ReadChildDecimal(*description, "nto:version");
}

}  // namespace

// What the queries answer, read from one parse of the packet: positions and regions as written
// (scaling needs the display size of the moment), names unescaped but still UTF-8.
struct ImageTags::ParsedTags {
    struct Layer {
        bool complete = false;  // has "nto:name", "nto:pos_x" and "nto:pos_y"
        int32_t x = 0;
        int32_t y = 0;
        std::string name;
        bool hasRegion = false;
        TagRegion region;  // all zero unless a rectangle

        static Layer Read(const XmlNode& node);
    };

    // The position of "nto:caption" when there is one, else "nto:caption_x" and "nto:caption_y".
    void ReadCaptionPosition(const XmlNode& description);

    int layerCount = 0;         // children of the layer list, comments and sections included
    std::vector<Layer> layers;  // one per child
    bool hasCaptionPosition = false;
    int32_t captionX = 0;
    int32_t captionY = 0;
};

ImageTags::ParsedTags::Layer ImageTags::ParsedTags::Layer::Read(const XmlNode& node) {
    Layer layer;
    if (node.GetChild("nto:name") == nullptr || node.GetChild("nto:pos_x") == nullptr ||
        node.GetChild("nto:pos_y") == nullptr) {
        return layer;
    }
    layer.complete = true;
    layer.x = ReadChildDecimal(node, "nto:pos_x");
    layer.y = ReadChildDecimal(node, "nto:pos_y");
    layer.name = UnescapeTagText(node.GetChildText("nto:name"));
    if (const XmlNode* region = node.GetChild("nto:region")) {
        layer.hasRegion = true;
        layer.region = ReadRegion(*region);
    }
    return layer;
}

void ImageTags::ParsedTags::ReadCaptionPosition(const XmlNode& description) {
    const XmlNode* source = &description;
    const char* xName = "nto:caption_x";
    const char* yName = "nto:caption_y";
    if (const XmlNode* captionNode = description.GetChild("nto:caption")) {
        source = captionNode;
        xName = "nto:pos_x";
        yName = "nto:pos_y";
    }
    if (source->GetChild(xName) != nullptr && source->GetChild(yName) != nullptr) {
        hasCaptionPosition = true;
        captionX = ReadChildDecimal(*source, xName);
        captionY = ReadChildDecimal(*source, yName);
    }
}

bool ImageTags::Load(const char* path, int mode) {
    DiagnosticSubject subject(path);
    bool packetChanged = false;
    try {
        bool loaded = ReadPacket(path, mode, packetChanged);
        if (packetChanged) {
            ParseForQueries();
        }
        return loaded;
    } catch (...) {
        // The packet may be half replaced: answer nothing rather than the previous file's tags.
        if (packetChanged) {
            parsed.reset();
        }
        throw;
    }
}

bool ImageTags::ReadPacket(const char* path, int mode, bool& packetChanged) {
    JpegSectionList sections;  // each Load reads into a list of its own
    caption.clear();
    if (!ReadFileSections(path, mode, sections)) {
        return false;
    }
    packetChanged = true;
    if (!TakePacket(sections)) {
        return false;
    }

    // One parse serves every step that reads the packet as the editor wrote it: the caption text, the
    // sizes, the normal form and the version.
    ParsedPacket main(packet, MainParseOptions());
    caption = ReadCaption(main, sections);
    sections.DiscardSections();
    if (!NormalisePacket(main.document)) {
        return false;
    }
    if (ReadVersion(main.Description()) < 2) {
        UpgradeLegacyPacket();
    }
    return true;
}

bool ImageTags::TakePacket(JpegSectionList& sections) {
    const JpegSection* section = sections.FindSection(kMarkerApp9);
    if (section == nullptr) {
        XmlDocument defaultDocument;
        BuildDefaultPacket(defaultDocument);
        section = InsertPacketSection(sections, packet);
        if (section == nullptr) {
            sections.DiscardSections();
            return false;
        }
    }
    packet = std::string(section->PayloadText());
    return true;
}

bool ImageTags::NormalisePacket(XmlDocument& document) {
    if (document.GetChild("rdf:RDF") == nullptr) {
        // Not a tag packet at all: the image counts as untagged.
        BuildDefaultPacket(document);
    }
    XmlNode* root = document.GetChild("rdf:RDF");
    if (root == nullptr) {
        return false;
    }
    XmlNode* description = root->GetChild("rdf:Description");
    if (description == nullptr || description->GetChild("nto:size_x") == nullptr ||
        description->GetChild("nto:size_y") == nullptr) {
        return false;
    }
    sizeX = ReadChildDecimal(*description, "nto:size_x");
    sizeY = ReadChildDecimal(*description, "nto:size_y");
    lastSizeX = sizeX;
    lastSizeY = sizeY;

    if (XmlNode* layerList = description->GetChild("nto:layer")) {
        RenumberLayerUids(*layerList);
    }
    packet = document.GetXml(PacketWriteOptions());
    return true;
}

void ImageTags::SetPacket(std::string text) {
    packet = std::move(text);
    ParseForQueries();
}

void ImageTags::ParseForQueries() {
    auto result = std::make_shared<ParsedTags>();
    ParsedPacket query(packet, QueryParseOptions());
    if (const XmlNode* layerList = query.LayerList()) {
        result->layerCount = layerList->GetChildCount();
        result->layers.reserve(static_cast<size_t>(result->layerCount));
        for (int i = 0; i < result->layerCount; ++i) {
            result->layers.push_back(ParsedTags::Layer::Read(*layerList->GetChild(i)));
        }
    }
    if (const XmlNode* description = query.Description()) {
        result->ReadCaptionPosition(*description);
    }
    parsed = std::move(result);
}

void ImageTags::BuildDefaultPacket(XmlDocument& document) {
    packet.clear();
    document.Close();
    if (sizeX == 0) {
        sizeX = lastSizeX;
    }
    if (sizeY == 0) {
        sizeY = lastSizeY;
    }

    XmlNode* root = document.AppendChild(XmlNode::CreateNode("rdf:RDF"));
    root->AppendAttribute(XmlNode::CreateAttribute("xmlns:nto", SuiteNamespaceUri));
    root->AppendAttribute(XmlNode::CreateAttribute("xmlns:rdf", kRdfSyntaxNamespaceUri));
    XmlNode* description = root->AppendChild(XmlNode::CreateNode("rdf:Description"));
    description->AppendAttribute(XmlNode::CreateAttribute("rdf:about", SuiteNamespaceUri));
    AppendNumberChild(*description, "nto:size_x", sizeX);
    AppendNumberChild(*description, "nto:size_y", sizeY);
    AppendNumberChild(*description, "nto:last_size_x", lastSizeX);
    AppendNumberChild(*description, "nto:last_size_y", lastSizeY);
    XmlNode* layerList = description->AppendChild(XmlNode::CreateNode("nto:layer"));
    layerList->AppendAttribute(XmlNode::CreateAttribute("rdf:parseType", "Collection"));
    description->AppendChild(XmlNode::CreateNode("nto:caption_x", "10"));
    description->AppendChild(XmlNode::CreateNode("nto:caption_y", "10"));
    description->AppendChild(XmlNode::CreateNode("nto:version", "2"));

    packet = document.GetXml(PacketWriteOptions());
}

int ImageTags::PacketVersion() const {
    ParsedPacket parsedPacket(packet, MainParseOptions());
    return ReadVersion(parsedPacket.Description());
}

// Legacy packets hold their texts in the ANSI code page; the queries expect UTF-8. The packet keeps its
// version, so every Load of it converts again. All names are converted in one parse and written back
// escaped, so that the queries read each name exactly as converted.
void ImageTags::UpgradeLegacyPacket() {
    caption = AnsiToUtf8(caption);
    ParsedPacket query(packet, QueryParseOptions());
    XmlNode* layerList = query.LayerList();
    bool renamed = false;
    for (int i = 0; layerList != nullptr && i < layerList->GetChildCount(); ++i) {
        XmlNode* layer = layerList->GetChild(i);
        // A layer without a name stays as it is: it gets none, and GetLayer passes it over either way.
        XmlNode* name = layer != nullptr ? layer->GetChild("nto:name") : nullptr;
        if (name != nullptr) {
            name->value = AnsiToUtf8(name->GetText());
            renamed = true;
        }
    }
    if (renamed) {
        packet = WriteForQueries(query.document);
    }
}

std::string ImageTags::GetLayerName(int index) const {
    ParsedPacket parsedPacket(packet, QueryParseOptions());
    XmlNode* layer = parsedPacket.Layer(index);
    return layer != nullptr ? layer->GetChildText("nto:name") : std::string();
}

void ImageTags::SetLayerName(int index, const std::string& text) {
    ParsedPacket parsedPacket(packet, QueryParseOptions());
    XmlNode* layer = parsedPacket.Layer(index);
    XmlNode* name = layer != nullptr ? layer->GetChild("nto:name") : nullptr;
    if (name == nullptr) {
        return;
    }
    name->value = text;
    SetPacket(WriteForQueries(parsedPacket.document));
}

int ImageTags::LayerCount() const {
    return parsed != nullptr ? parsed->layerCount : 0;
}

bool ImageTags::GetLayer(int index, TagLayer& out) const {
    if (parsed == nullptr || index < 0 || static_cast<size_t>(index) >= parsed->layers.size()) {
        return false;
    }
    const ParsedTags::Layer& layer = parsed->layers[static_cast<size_t>(index)];
    if (!layer.complete) {
        return false;
    }
    const bool scaled = sizeX != 0 && sizeY != 0;
    out.x = scaled ? Scale(layer.x, lastSizeX, sizeX) : layer.x;
    out.y = scaled ? Scale(layer.y, lastSizeY, sizeY) : layer.y;
    out.name = Utf8ToAnsi(layer.name);
    if (layer.hasRegion) {
        out.region = layer.region;
        if (layer.region.isRect != 0 && scaled) {
            out.region.left = Scale(layer.region.left, lastSizeX, sizeX);
            out.region.width = Scale(layer.region.width, lastSizeX, sizeX);
            out.region.top = Scale(layer.region.top, lastSizeY, sizeY);
            out.region.height = Scale(layer.region.height, lastSizeY, sizeY);
        }
    }
    return true;
}

bool ImageTags::GetCaption(TagCaption& out) const {
    if (parsed == nullptr || !parsed->hasCaptionPosition) {
        return false;
    }
    // Each axis is scaled on its own here, unlike layer positions.
    out.x = sizeX != 0 ? Scale(parsed->captionX, lastSizeX, sizeX) : parsed->captionX;
    out.y = sizeY != 0 ? Scale(parsed->captionY, lastSizeY, sizeY) : parsed->captionY;
    out.text = Utf8ToAnsi(caption);
    return true;
}

void ImageTags::SetDisplaySize(int32_t width, int32_t height) {
    lastSizeX = width;
    lastSizeY = height;
}

std::string ImageTags::UnescapeTagText(const std::string& text) {
    struct Reference {
        std::string_view text;
        const char* replacement;
    };
    // Tested in this order; "&lt;br&gt;" before "&lt;" so that a line break is not read as "<br>".
    static constexpr Reference kReferences[] = {
        {"&lt;br&gt;", "\r\n"}, {"&apos;", "'"}, {"&quot;", "\""}, {"&amp;", "&"},
        {"&lt;", "<"},          {"&gt;", ">"},   {"&#092;", "\\"},
    };
    std::string out;
    out.reserve(text.size());
    std::string_view rest(text);
    while (!rest.empty()) {
        if (rest.front() != '&') {
            out += rest.front();
            rest.remove_prefix(1);
            continue;
        }
        bool matched = false;
        for (const Reference& reference : kReferences) {
            if (rest.starts_with(reference.text)) {
                out += reference.replacement;
                rest.remove_prefix(reference.text.size());
                matched = true;
                break;
            }
        }
        if (!matched) {
            rest.remove_prefix(1);  // a bare ampersand is dropped
        }
    }
    return out;
}
