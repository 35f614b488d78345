// Any text as a tag packet, under each set of parse options the tag reader uses, then written back.
#include <cstdint>
#include <string>

#include "xml_document.h"

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
    return 0;
}
