#include "taglib/xml_document.h"

#include <cstring>
#include <string_view>

#include "foundation/ascii_case.h"

namespace {

// The C library's white space in the "C" locale, without depending on the locale in force.
bool IsSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

bool IsBlank(const std::string& text) {
    for (char c : text) {
        if (!IsSpace(c)) {
            return false;
        }
    }
    return true;
}

const char* SkipSpace(const char* position, const char* end) {
    while (position < end && IsSpace(*position)) {
        ++position;
    }
    return position;
}

// Searches run through the rest of the whole text, never past its end; nullptr when nothing is found.
const char* FindChar(const char* position, const char* end, char c) {
    if (position >= end) {
        return nullptr;
    }
    return static_cast<const char*>(std::memchr(position, c, static_cast<size_t>(end - position)));
}

const char* FindFirstOf(const char* position, const char* end, std::string_view set) {
    for (; position < end; ++position) {
        if (set.find(*position) != std::string_view::npos) {
            return position;
        }
    }
    return nullptr;
}

// A backslash protects the character after it, whatever the escape character of the parse is.
const char* FindCharEscaped(const char* position, const char* end, char c) {
    while (position < end) {
        if (*position == '\\') {
            if (end - position < 2) {
                return nullptr;
            }
            position += 2;
            continue;
        }
        if (*position == c) {
            return position;
        }
        ++position;
    }
    return nullptr;
}

bool StartsWithNoCase(const char* position, const char* end, std::string_view literal) {
    if (end - position < static_cast<std::ptrdiff_t>(literal.size())) {
        return false;
    }
    for (size_t i = 0; i < literal.size(); ++i) {
        if (ToLowerAscii(position[i]) != ToLowerAscii(literal[i])) {
            return false;
        }
    }
    return true;
}

// The end of a comment, character-data section or processing instruction. An escape character is
// never taken as the start of the terminator, but the character after it is.
const char* FindTerminator(const char* position, const char* end, std::string_view terminator, char escape) {
    bool afterEscape = false;
    for (; end - position >= static_cast<std::ptrdiff_t>(terminator.size()); ++position) {
        if (escape != 0 && *position == escape && !afterEscape) {
            afterEscape = true;
            continue;
        }
        afterEscape = false;
        if (StartsWithNoCase(position, end, terminator)) {
            return position;
        }
    }
    return nullptr;
}

// Copies [begin, end) into `target`. An empty range (after trimming) leaves `target` as it was.
void CopyValue(const char* begin, const char* end, bool trim, char escape, std::string& target) {
    if (trim) {
        begin = SkipSpace(begin, end);
        while (end > begin && IsSpace(end[-1])) {
            --end;
        }
    }
    if (end <= begin) {
        return;
    }
    if (escape == 0) {
        target.assign(begin, end);
        return;
    }
    std::string copy;
    copy.reserve(static_cast<size_t>(end - begin));
    for (const char* p = begin; p < end; ++p) {
        // An escape character at the very end of the range has nothing to protect and is dropped.
        if (*p == escape && ++p == end) {
            break;
        }
        copy += *p;
    }
    target = std::move(copy);
}

void CopyName(const char* begin, const char* end, std::string& target) {
    CopyValue(begin, end, false, 0, target);
}

bool Decodes(const ParseOptions& options) {
    return options.decodeEntities && options.entities != nullptr;
}

void DecodeValue(std::string& text, const ParseOptions& options) {
    if (Decodes(options)) {
        text = options.entities->Decode(text.data(), text.size());
    }
}

void RecordError(ParseOptions& options, const char* position, int code, std::string text) {
    if (options.errorOccurred) {
        return;
    }
    options.errorOccurred = true;
    options.errorPosition = position;
    options.errorCode = code;
    options.errorText = std::move(text);
}

// Reads the attributes of a start tag from just after its name. Returns the position of the ">" or "/"
// that ends them, or nullptr when the text ends inside the tag or an attribute has no name terminator.
//
// Inside a processing instruction, `end` is the position of its "?>": nothing past it is read, a
// missing terminator ends at it, and the result is always `end`.
const char* ReadAttributes(XmlNode& node, const char* position, const char* end, bool inInstruction,
                           ParseOptions& options) {
    for (;;) {
        position = SkipSpace(position, end);
        if (position >= end) {
            return inInstruction ? end : nullptr;
        }
        if (!inInstruction && (*position == '>' || *position == '/')) {
            return position;
        }
        const char* nameEnd = FindFirstOf(position, end, " =");
        if (nameEnd == nullptr) {
            if (!inInstruction) {
                RecordError(options, position, 4, "<" + node.name + "> attribute has error ");
                return nullptr;
            }
            nameEnd = end;
        }
        auto attribute = XmlNode::CreateAttribute(nullptr, nullptr);
        CopyName(position, nameEnd, attribute->name);
        XmlAttribute& added = *node.AppendAttribute(std::move(attribute));

        position = SkipSpace(nameEnd, end);
        if (position >= end || *position != '=') {
            continue;
        }
        position = SkipSpace(position + 1, end);
        if (position >= end) {
            continue;
        }
        if (*position == '"' || *position == '\'') {
            const char* valueStart = position + 1;
            const char* valueEnd = FindCharEscaped(valueStart, end, *position);
            if (valueEnd == nullptr) {
                // A quoted value that never closes: the tag cannot end either.
                if (!inInstruction) {
                    return nullptr;
                }
                valueEnd = end;
            }
            CopyValue(valueStart, valueEnd, options.trimValue, options.escapeChar, added.value);
            DecodeValue(added.value, options);
            position = valueEnd < end ? valueEnd + 1 : end;
        } else {
            const char* valueEnd = FindFirstOf(position, end, " >");
            if (valueEnd == nullptr) {
                valueEnd = end;
            }
            CopyValue(position, valueEnd, options.trimValue, options.escapeChar, added.value);
            DecodeValue(added.value, options);
            position = valueEnd;
        }
    }
}

// Takes the text from `position` up to the next unescaped "<" (or the end) as the element's value.
const char* ReadTextRun(XmlNode& node, const char* position, const char* end, const ParseOptions& options) {
    const char* runEnd = FindCharEscaped(position, end, '<');
    if (runEnd == nullptr) {
        runEnd = end;
    }
    CopyValue(position, runEnd, options.trimValue, options.escapeChar, node.value);
    if (Decodes(options)) {
        node.value = options.entities->Decode(node.value.data(), node.value.size());
        node.valuePresent = true;
    }
    return runEnd;
}

struct OtherNodesResult {
    const char* position = nullptr;
    bool insideElement = false;  // one node was consumed inside an element: the caller returns at once
    bool failed = false;         // a comment, section or instruction runs to the end of the text
};

std::unique_ptr<XmlNode> MakeNode(XmlNodeType type, const char* name, XmlNode* parent,
                                  XmlDocument* document) {
    auto node = XmlNode::CreateNode(name);
    node->type = type;
    node->parent = parent;
    node->document = document;
    return node;
}

// The markup besides elements, in the order each pass looks for it.
struct OtherNodeKind {
    std::string_view open;
    std::string_view close;
    XmlNodeType type;
    const char* name;  // instructions take theirs from the text
};

constexpr OtherNodeKind kOtherNodeKinds[] = {
    {"<?", "?>", XmlNodeType::ProcessingInstruction, nullptr},
    {"<!--", "-->", XmlNodeType::Comment, "#COMMENT"},
    {"<![CDATA[", "]]>", XmlNodeType::CharacterData, "#CDATA"},
};

// Adds the node of `kind` whose text runs from `text` to `close`. Instructions go to the document
// wherever they stand; comments and sections go to the parent of `node`.
void AddOtherNode(const OtherNodeKind& kind, XmlNode& node, const char* text, const char* close,
                  ParseOptions& options) {
    XmlDocument* document = node.document;
    if (kind.type == XmlNodeType::ProcessingInstruction) {
        if (document == nullptr) {
            return;
        }
        // The document owns the instruction, so it is also its parent.
        auto instruction = MakeNode(kind.type, nullptr, document, document);
        const char* nameEnd = FindFirstOf(text, close, " ?>\t\r\n");
        if (nameEnd == nullptr) {
            nameEnd = close;
        }
        CopyName(text, nameEnd, instruction->name);
        ReadAttributes(*instruction, nameEnd, close, true, options);
        document->children.push_back(std::move(instruction));
        return;
    }
    if (node.parent != nullptr) {
        auto other = MakeNode(kind.type, kind.name, node.parent, document);
        CopyValue(text, close, false, 0, other->value);
        node.parent->children.push_back(std::move(other));
    }
}

// Processing instructions, comments and character-data sections at `position`. Comments and sections
// go to the element they stand in (one per call, so that the element's child loop keeps them in order)
// or the document.
OtherNodesResult LoadOtherNodes(XmlNode& node, const char* position, const char* end, ParseOptions& options) {
    const bool insideElement = node.parent != nullptr && node.parent->type != XmlNodeType::Document;
    for (;;) {
        bool consumed = false;
        for (const OtherNodeKind& kind : kOtherNodeKinds) {
            position = SkipSpace(position, end);
            if (!StartsWithNoCase(position, end, kind.open)) {
                continue;
            }
            const char* text = position + kind.open.size();
            const char* close = FindTerminator(text, end, kind.close, options.escapeChar);
            if (close == nullptr) {
                return {position, false, true};
            }
            AddOtherNode(kind, node, text, close, options);
            position = close + kind.close.size();
            consumed = true;
            if (insideElement) {
                return {position, true, false};
            }
        }
        if (!consumed) {
            return {position, false, false};
        }
    }
}

bool IsEndTag(const char* position, const char* end) {
    return end - position >= 2 && position[0] == '<' && position[1] == '/';
}

// Where the search for an element's start tag ended.
struct StartTagSearch {
    const char* position = nullptr;
    bool found = false;  // at the "<" of a start tag; otherwise the element's load returns `position`
};

// Text before the first "<" is skipped, and so is text between instructions, comments and sections at
// the document level. An end tag belongs to the caller; inside an element, a comment or section found
// here is the node's whole load.
StartTagSearch FindStartTag(XmlNode& node, const char* position, const char* end, ParseOptions& options) {
    for (;;) {
        position = FindChar(position, end, '<');
        if (position == nullptr || IsEndTag(position, end)) {
            return {position, false};
        }
        OtherNodesResult other = LoadOtherNodes(node, position, end, options);
        if (other.failed) {
            return {nullptr, false};
        }
        if (other.insideElement) {
            return {other.position, false};
        }
        position = other.position;
        if (position < end && *position == '<' && !IsEndTag(position, end)) {
            return {position, true};
        }
    }
}

// Reads the name and the attributes of the start tag at `tagStart`. Returns the position of the ">" or
// "/" that ends them, or nullptr.
const char* ReadStartTag(XmlNode& node, const char* tagStart, const char* end, ParseOptions& options) {
    const char* nameEnd = FindFirstOf(tagStart + 1, end, " />\t\r\n");
    if (nameEnd == nullptr) {
        return nullptr;
    }
    CopyName(tagStart + 1, nameEnd, node.name);
    return ReadAttributes(node, nameEnd, end, false, options);
}

struct EndTagMatch {
    const char* after = nullptr;  // just past the end tag; nullptr when the element's load fails
    bool closes = false;          // the tag names the element
};

// The end tag at `tagStart` (at its "</"), read for the element `node`. An end tag of another element
// fails the load, unless the parse is forced: it is then passed over.
EndTagMatch MatchEndTag(const XmlNode& node, const char* tagStart, const char* end, ParseOptions& options) {
    const char* closingName = SkipSpace(tagStart + 2, end);
    const char* closingNameEnd = FindFirstOf(closingName, end, " >\t\r\n");
    if (closingNameEnd == nullptr) {
        RecordError(options, tagStart, 2, "it must be closed with </" + node.name + ">");
        return {};
    }
    // "</a >" is closed by its ">" too, so the blank does not leave a stray ">" behind.
    const char* after = closingNameEnd + 1;
    if (*closingNameEnd != '>') {
        after = SkipSpace(closingNameEnd, end);
        if (after < end && *after == '>') {
            ++after;
        }
    }
    std::string closing(closingName, closingNameEnd);
    if (closing == node.name) {
        return {after, true};
    }
    if (!options.forceParse) {
        RecordError(options, tagStart, 3, "'<" + node.name + "> ... </" + closing + ">' is not wel-formed.");
        return {};
    }
    return {after, false};
}

void AppendNewLine(std::string& out, int tabs) {
    out += "\r\n";
    if (tabs > 0) {
        out.append(static_cast<size_t>(tabs), '\t');
    }
}

std::string EncodeValue(const std::string& text, const WriteOptions& options) {
    if (options.encodeEntities && options.entities != nullptr) {
        return options.entities->Encode(text);
    }
    return text;
}

void AppendAttributes(std::string& out, const XmlNode& node, const WriteOptions& options) {
    if (node.attributes.empty()) {
        return;
    }
    out += ' ';
    for (const auto& attribute : node.attributes) {
        out += attribute->name;
        out += '=';
        if (options.quoteChar != 0) {
            out += options.quoteChar;
        }
        out += EncodeValue(attribute->value, options);
        if (options.quoteChar != 0) {
            out += options.quoteChar;
        }
        out += ' ';
    }
}

bool WritesEndTag(const XmlNode& node) {
    return !node.children.empty() || !node.value.empty() || node.valuePresent;
}

// Visits `top` and its subtree depth-first, with an explicit stack: trees built by hand may be deeper
// than any parse allows. `visitor.Enter` sees every node and says whether its children follow;
// `visitor.Leave` comes after the children of each node entered.
template <typename Visitor>
void WalkTree(const XmlNode& top, Visitor& visitor) {
    struct Frame {
        const XmlNode* node;
        size_t nextChild;
    };
    std::vector<Frame> stack;
    if (visitor.Enter(top)) {
        stack.push_back({&top, 0});
    }
    while (!stack.empty()) {
        Frame& frame = stack.back();
        if (frame.nextChild < frame.node->children.size()) {
            const XmlNode& child = *frame.node->children[frame.nextChild++];
            if (visitor.Enter(child)) {
                stack.push_back({&child, 0});
            }
        } else {
            visitor.Leave(*frame.node);
            stack.pop_back();
        }
    }
}

// Writes a subtree as markup. An element's value follows its children.
class XmlWriter {
public:
    explicit XmlWriter(const WriteOptions& writeOptions)
        : options(writeOptions), indent(writeOptions.indentLevel) {}

    bool Enter(const XmlNode& node) {
        if (options.newLine) {
            AppendNewLine(out, indent);
        }
        switch (node.type) {
            case XmlNodeType::Document:
                return true;
            case XmlNodeType::ProcessingInstruction:
                out += "<?";
                out += node.name;
                AppendAttributes(out, node, options);
                out += "?>";
                return false;
            case XmlNodeType::Comment:
                out += "<!--";
                out += node.value;
                out += "-->";
                return false;
            case XmlNodeType::CharacterData:
                out += "<![CDATA[";
                out += node.value;
                out += "]]>";
                return false;
            case XmlNodeType::Element:
                break;
        }
        out += '<';
        out += node.name;
        AppendAttributes(out, node, options);
        if (!WritesEndTag(node)) {
            out += "/>";
            return false;
        }
        out += '>';
        if (options.newLine && !node.children.empty()) {
            ++indent;
        }
        return true;
    }

    void Leave(const XmlNode& node) {
        if (node.type != XmlNodeType::Element) {
            return;
        }
        const bool layout = options.newLine && !node.children.empty();
        if (!node.value.empty()) {
            if (layout) {
                AppendNewLine(out, indent);
            }
            out += EncodeValue(node.value, options);
        }
        if (layout) {
            AppendNewLine(out, indent - 1);
        }
        out += "</";
        out += node.name;
        out += '>';
        if (layout) {
            --indent;
        }
    }

    std::string out;

private:
    const WriteOptions& options;
    int indent;
};

// Collects the text of a subtree: the values of elements (each after its children's) and the content of
// character-data sections. A document passes its options on to its children; the children of an
// element are written with the defaults.
class TextWriter {
public:
    explicit TextWriter(const WriteOptions& writeOptions) : topOptions(writeOptions) {}

    bool Enter(const XmlNode& node) {
        switch (node.type) {
            case XmlNodeType::Document:
                break;
            case XmlNodeType::Element:
                if (node.children.empty() && node.value.empty()) {
                    return false;
                }
                break;
            case XmlNodeType::CharacterData:
                out += node.value;
                return false;
            case XmlNodeType::ProcessingInstruction:
            case XmlNodeType::Comment:
                return false;
        }
        const WriteOptions* own = &topOptions;
        if (!entered.empty()) {
            own = entered.back().node->type == XmlNodeType::Document ? entered.back().options
                                                                     : &WriteOptions::Default();
        }
        entered.push_back({&node, own});
        return true;
    }

    void Leave(const XmlNode& node) {
        if (node.type == XmlNodeType::Element) {
            out += EncodeValue(node.value, *entered.back().options);
        }
        entered.pop_back();
    }

    std::string out;

private:
    struct Entered {
        const XmlNode* node;
        const WriteOptions* options;  // what the node's own value is written with
    };
    const WriteOptions& topOptions;
    std::vector<Entered> entered;  // the path from the top to the node being visited
};

}  // namespace

// EntityTable

void EntityTable::Add(char character, const char* reference) {
    if (reference == nullptr || *reference == 0) {
        return;  // an empty reference would match everywhere without moving on
    }
    EntityEntry entry;
    entry.character = character;
    size_t length = std::strlen(reference);
    if (length > sizeof(entry.reference) - 1) {
        length = sizeof(entry.reference) - 1;
    }
    std::memcpy(entry.reference, reference, length);
    entry.length = static_cast<int>(length);
    entries.push_back(entry);
}

std::string EntityTable::Decode(const char* text, size_t length) const {
    // Most values hold no reference and no zero character: they come back as they are, without a
    // character-by-character scan.
    bool mayChange = std::memchr(text, 0, length) != nullptr;
    for (const EntityEntry& entry : entries) {
        mayChange =
            mayChange || (entry.length > 0 && std::memchr(text, entry.reference[0], length) != nullptr);
    }
    if (!mayChange) {
        return std::string(text, length);
    }
    std::string out;
    out.reserve(length);
    size_t i = 0;
    while (i < length) {
        char emitted = text[i];
        size_t consumed = 1;
        for (const EntityEntry& entry : entries) {
            const auto referenceLength = static_cast<size_t>(entry.length);
            if (referenceLength > 0 && length - i >= referenceLength &&
                std::memcmp(text + i, entry.reference, referenceLength) == 0) {
                emitted = entry.character;
                consumed = referenceLength;
                break;
            }
        }
        if (emitted == 0) {
            break;  // the decoded text is a C string: a zero character ends it
        }
        out += emitted;
        i += consumed;
    }
    return out;
}

std::string EntityTable::Encode(const std::string& text) const {
    auto find = [this](char c) -> const EntityEntry* {
        for (const EntityEntry& entry : entries) {
            if (entry.character == c) {
                return &entry;
            }
        }
        return nullptr;
    };
    bool anyEntry = false;
    for (char c : text) {
        if (find(c) != nullptr) {
            anyEntry = true;
            break;
        }
    }
    if (!anyEntry) {
        return text;
    }
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (const EntityEntry* entry = find(c)) {
            out.append(entry->reference, static_cast<size_t>(entry->length));
        } else {
            out += c;
        }
    }
    return out;
}

const EntityTable& EntityTable::Default() {
    static const EntityTable table = [] {
        EntityTable defaults;
        defaults.Add('\0', "&#000;");
        return defaults;
    }();
    return table;
}

const WriteOptions& WriteOptions::Default() {
    static const WriteOptions options;
    return options;
}

// XmlNode

XmlNode::~XmlNode() {
    Close();
}

void XmlNode::Close() {
    attributes.clear();
    // Detach the subtree level by level, so that every node is destroyed without children of its own.
    std::vector<std::unique_ptr<XmlNode>> pending;
    pending.swap(children);
    while (!pending.empty()) {
        std::unique_ptr<XmlNode> node = std::move(pending.back());
        pending.pop_back();
        for (auto& child : node->children) {
            pending.push_back(std::move(child));
        }
        node->children.clear();
    }
}

const char* XmlNode::Load(const char* position, ParseOptions* options) {
    ParseOptions fallback;
    ParseOptions& parse = options != nullptr ? *options : fallback;
    if (position == nullptr) {
        Close();
        return nullptr;
    }
    return LoadElement(position, position + std::strlen(position), parse, 1);
}

const char* XmlNode::LoadElement(const char* position, const char* end, ParseOptions& options, int depth) {
    Close();
    name.clear();
    value.clear();
    valuePresent = false;

    const StartTagSearch start = FindStartTag(*this, position, end, options);
    if (!start.found) {
        return start.position;
    }
    if (depth > kMaxDepth) {
        return nullptr;
    }
    const char* tagEnd = ReadStartTag(*this, start.position, end, options);
    if (tagEnd == nullptr) {
        return nullptr;
    }
    if (*tagEnd == '/') {
        if (end - tagEnd >= 2 && tagEnd[1] == '>') {
            return tagEnd + 2;
        }
        RecordError(options, tagEnd, 1, "Element must be closed.");
        return nullptr;
    }
    return LoadContent(tagEnd + 1, end, options, depth);
}

const char* XmlNode::LoadContent(const char* position, const char* end, ParseOptions& options, int depth) {
    const char* cursor = ReadTextRun(*this, position, end, options);
    while (cursor < end) {
        auto child = MakeNode(XmlNodeType::Element, nullptr, this, document);
        const char* next = child->LoadElement(cursor, end, options, depth + 1);
        if (!child->name.empty()) {
            children.push_back(std::move(child));
        }
        if (next == nullptr) {
            return nullptr;
        }
        cursor = next;

        if (IsEndTag(cursor, end)) {
            const EndTagMatch endTag = MatchEndTag(*this, cursor, end, options);
            if (endTag.after == nullptr || endTag.closes) {
                return endTag.after;
            }
            cursor = endTag.after;
        } else if (IsBlank(value) && cursor < end && *cursor != '<') {
            cursor = ReadTextRun(*this, cursor, end, options);
        }
    }
    // The text ended inside the element: accepted without its end tag.
    return end;
}

std::string XmlNode::GetXml(const WriteOptions& options) const {
    XmlWriter writer(options);
    WalkTree(*this, writer);
    return std::move(writer.out);
}

std::string XmlNode::GetText(const WriteOptions& options) const {
    TextWriter writer(options);
    WalkTree(*this, writer);
    return std::move(writer.out);
}

XmlNode* XmlNode::GetChild(const char* childName) const {
    if (childName == nullptr) {
        return nullptr;
    }
    for (const auto& child : children) {
        if (child->name == childName) {
            return child.get();
        }
    }
    return nullptr;
}

XmlNode* XmlNode::GetChild(int index) const {
    if (index < 0 || index >= GetChildCount()) {
        return nullptr;
    }
    return children[static_cast<size_t>(index)].get();
}

int XmlNode::GetChildCount() const {
    return static_cast<int>(children.size());
}

const std::string* XmlNode::GetChildValue(const char* childName) const {
    const XmlNode* child = GetChild(childName);
    return child != nullptr ? &child->value : nullptr;
}

std::string XmlNode::GetChildText(const char* childName, const WriteOptions& options) const {
    const XmlNode* child = GetChild(childName);
    return child != nullptr ? child->GetText(options) : std::string();
}

XmlAttribute* XmlNode::GetAttribute(const char* attributeName) const {
    if (attributeName == nullptr) {
        return nullptr;
    }
    for (const auto& attribute : attributes) {
        if (attribute->name == attributeName) {
            return attribute.get();
        }
    }
    return nullptr;
}

std::unique_ptr<XmlNode> XmlNode::CreateNode(const char* nodeName, const char* nodeValue) {
    auto node = std::make_unique<XmlNode>();
    node->name = nodeName != nullptr ? nodeName : "";
    node->value = nodeValue != nullptr ? nodeValue : "";
    return node;
}

XmlNode* XmlNode::AppendChild(std::unique_ptr<XmlNode> node) {
    if (node == nullptr) {
        return nullptr;
    }
    node->parent = this;
    node->document = document;
    children.push_back(std::move(node));
    return children.back().get();
}

std::unique_ptr<XmlAttribute> XmlNode::CreateAttribute(const char* attributeName,
                                                       const char* attributeValue) {
    auto attribute = std::make_unique<XmlAttribute>();
    attribute->name = attributeName != nullptr ? attributeName : "";
    attribute->value = attributeValue != nullptr ? attributeValue : "";
    return attribute;
}

XmlAttribute* XmlNode::AppendAttribute(std::unique_ptr<XmlAttribute> attribute) {
    if (attribute == nullptr) {
        return nullptr;
    }
    attribute->owner = this;
    attributes.push_back(std::move(attribute));
    return attributes.back().get();
}

bool XmlNode::RemoveAttribute(XmlAttribute* attribute) {
    for (auto it = attributes.begin(); it != attributes.end(); ++it) {
        if (it->get() == attribute) {
            attributes.erase(it);
            return true;
        }
    }
    return false;
}

// XmlDocument

XmlDocument::XmlDocument() {
    type = XmlNodeType::Document;
    document = this;
}

const char* XmlDocument::Load(const char* text, ParseOptions* options) {
    ParseOptions& parse = options != nullptr ? *options : parseOptions;
    if (text == nullptr) {
        return nullptr;
    }
    const char* end = text + std::strlen(text);
    auto root = MakeNode(XmlNodeType::Element, nullptr, this, this);
    const char* position = root->LoadElement(text, end, parse, 1);
    if (position == nullptr) {
        return nullptr;
    }
    XmlNode& rootNode = *root;
    children.push_back(std::move(root));
    // Trailing instructions, comments and sections belong to the document. One that never ends is
    // left out, and the position reached is where it starts.
    return LoadOtherNodes(rootNode, position, end, parse).position;
}
