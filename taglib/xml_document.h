// A small, forgiving XML parser with a document tree, tree editing and serialisation.
//
// It reads zero-terminated 8-bit text, treats names as plain text (no namespaces, DTDs or encodings),
// and reports the first error of a parse through ParseOptions instead of failing loudly.
#pragma once

#include <memory>
#include <string>
#include <vector>

struct EntityEntry {
    char character = 0;
    char reference[10] = {};  // at most 9 characters and a terminator
    int length = 0;
};

// Ordered table of character references used for decoding and encoding values.
class EntityTable {
public:
    EntityTable() = default;
    void Add(char character, const char* reference);

    // Turns references into characters; the result ends at the first decoded zero character.
    std::string Decode(const char* text, size_t length) const;
    // Replaces every character that has an entry by its reference.
    std::string Encode(const std::string& text) const;

    // The shared default table: the zero character as "&#000;", nothing else.
    static const EntityTable& Default();

    std::vector<EntityEntry> entries;
};

struct ParseOptions {
    bool trimValue = false;
    bool decodeEntities = true;
    const EntityTable* entities = &EntityTable::Default();
    char escapeChar = '\\';  // zero: no escape character
    bool forceParse = false;

    // First error of a parse.
    bool errorOccurred = false;
    const char* errorPosition = nullptr;
    int errorCode = 0;  // 0 well-formed, 1 not closed, 2 closing tag missing, 3 not nested, 4 attribute error
    std::string errorText;
};

struct WriteOptions {
    bool newLine = true;
    bool encodeEntities = true;
    char quoteChar = '"';
    const EntityTable* entities = &EntityTable::Default();
    int indentLevel = 0;

    static const WriteOptions& Default();
};

enum class XmlNodeType {
    Element = 0,
    ProcessingInstruction = 1,
    Comment = 2,
    CharacterData = 3,
    Document = 4
};

class XmlNode;
class XmlDocument;

struct XmlAttribute {
    std::string name;
    std::string value;
    XmlNode* owner = nullptr;
};

class XmlNode {
public:
    XmlNode() = default;
    XmlNode(const XmlNode&) = delete;
    XmlNode& operator=(const XmlNode&) = delete;
    // Frees the subtree without recursion, so that a tree of any depth can be deleted.
    ~XmlNode();

    // Parses one node from `position`; returns the position just after it, or nullptr on failure.
    const char* Load(const char* position, ParseOptions* options);

    std::string GetXml(const WriteOptions& options = WriteOptions::Default()) const;
    std::string GetText(const WriteOptions& options = WriteOptions::Default()) const;

    XmlNode* GetChild(const char* childName) const;
    XmlNode* GetChild(int index) const;
    int GetChildCount() const;
    const std::string* GetChildValue(const char* childName) const;
    std::string GetChildText(const char* childName,
                             const WriteOptions& options = WriteOptions::Default()) const;
    XmlAttribute* GetAttribute(const char* attributeName) const;

    static std::unique_ptr<XmlNode> CreateNode(const char* nodeName, const char* nodeValue = nullptr);
    XmlNode* AppendChild(std::unique_ptr<XmlNode> node);
    static std::unique_ptr<XmlAttribute> CreateAttribute(const char* attributeName,
                                                         const char* attributeValue);
    XmlAttribute* AppendAttribute(std::unique_ptr<XmlAttribute> attribute);
    bool RemoveAttribute(XmlAttribute* attribute);
    void Close();

    std::string name;
    std::string value;
    // A value that went through decoding counts as present even when empty: the element is then
    // written with a start and an end tag rather than as an empty tag.
    bool valuePresent = false;
    XmlNode* parent = nullptr;
    std::vector<std::unique_ptr<XmlNode>> children;
    std::vector<std::unique_ptr<XmlAttribute>> attributes;
    XmlNodeType type = XmlNodeType::Element;
    XmlDocument* document = nullptr;

    // Elements nested deeper than this make a parse fail instead of exhausting the stack.
    static constexpr int kMaxDepth = 256;

private:
    friend class XmlDocument;
    const char* LoadElement(const char* position, const char* end, ParseOptions& options, int depth);
    // From just after the start tag's ">": text, children and the end tag.
    const char* LoadContent(const char* position, const char* end, ParseOptions& options, int depth);
};

class XmlDocument : public XmlNode {
public:
    XmlDocument();

    // Parses a whole document and appends it to the children (without clearing them first).
    // Returns the position after the last node read, or nullptr when the root element fails.
    const char* Load(const char* text, ParseOptions* options = nullptr);

    ParseOptions parseOptions;
};
