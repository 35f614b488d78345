// Any text as a tag packet, under each set of parse options the tag reader uses, then written back.
// Also checks what the tag reader relies on to count layers from its trimmed parse: trimming changes
// values only, never which nodes a parse makes.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "taglib/xml_document.h"

namespace {

// The nodes of a tree in document order, as their types and names.
std::string Shape(const XmlNode& top) {
    std::string shape;
    std::vector<const XmlNode*> pending{&top};
    while (!pending.empty()) {
        const XmlNode* node = pending.back();
        pending.pop_back();
        shape += std::to_string(static_cast<int>(node->type)) + node->name + "(" +
                 std::to_string(node->children.size()) + ")";
        for (auto child = node->children.rbegin(); child != node->children.rend(); ++child) {
            pending.push_back(child->get());
        }
    }
    return shape;
}

std::string ShapeOfParse(const std::string& text, bool trimValue) {
    XmlDocument document;
    ParseOptions options;
    options.trimValue = trimValue;
    options.escapeChar = '\\';
    const bool loaded = document.Load(text.c_str(), &options) != nullptr;
    return (loaded ? "loaded:" : "failed:") + Shape(document);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The parser reads zero-terminated text, as packets are.
    std::string text(reinterpret_cast<const char*>(data), size);
    const struct {
        bool trimValue;
        char escapeChar;
        bool forceParse;
    } variants[] = {{true, 0, false}, {false, '\\', false}, {true, '\\', true}};
    for (const auto& variant : variants) {
        XmlDocument document;
        ParseOptions options;
        options.trimValue = variant.trimValue;
        options.escapeChar = variant.escapeChar;
        options.forceParse = variant.forceParse;
        document.Load(text.c_str(), &options);
        WriteOptions writeOptions;
        writeOptions.newLine = false;
        std::string written = document.GetXml(writeOptions);
        std::string content = document.GetText();
        if (XmlNode* root = document.GetChild("rdf:RDF")) {
            (void)root->GetChildCount();
        }
        document.Close();
    }
    if (ShapeOfParse(text, true) != ShapeOfParse(text, false)) {
        std::abort();
    }
    return 0;
}
