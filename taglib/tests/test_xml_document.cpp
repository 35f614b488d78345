#include "taglib/xml_document.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace {

// The parser reads zero-terminated text. Each input gets a heap block of exactly its length plus the
// terminator, so that the address sanitizer reports any read past the end.
class ExactText {
public:
    explicit ExactText(const std::string& text) : length(text.size()), data(new char[text.size() + 1]) {
        std::memcpy(data.get(), text.c_str(), text.size() + 1);
    }
    const char* get() const { return data.get(); }
    const char* end() const { return data.get() + length; }

private:
    size_t length;
    std::unique_ptr<char[]> data;
};

std::string ChildNames(const XmlNode& node) {
    std::string names;
    for (const auto& child : node.children) {
        if (!names.empty()) {
            names += ',';
        }
        names += child->name;
    }
    return names;
}

std::string AttributeList(const XmlNode& node) {
    std::string list;
    for (const auto& attribute : node.attributes) {
        if (!list.empty()) {
            list += ';';
        }
        list += attribute->name + "=" + attribute->value;
    }
    return list;
}

WriteOptions OneLine() {
    WriteOptions options;
    options.newLine = false;
    return options;
}

enum Tweak { kDefaults, kTrim, kNoEscape, kForce };

struct ParseCase {
    const char* input;
    Tweak tweak;
    bool loads;
    int errorCode;
    const char* errorText;
    const char* documentChildren;  // names of the document's children, in order
    const char* rootValue;
    const char* rootChildren;
    const char* rootAttributes;
};

const ParseCase kParseCases[] = {
    {"<a>x<b/>y</a>", kDefaults, true, 0, "", "a", "x", "b", ""},
    {"<a>  x  </a>", kDefaults, true, 0, "", "a", "  x  ", "", ""},
    {"<a>  x  </a>", kTrim, true, 0, "", "a", "x", "", ""},
    {"<a>p\\<q</a>", kDefaults, true, 0, "", "a", "p<q", "", ""},
    {"<a>p\\<q</a>", kNoEscape, true, 0, "", "a", "p\\<q", "", ""},
    {"<a b=1 c='2' d ></a>", kDefaults, true, 0, "", "a", "", "", "b=1;c=2;d="},
    {"<a d>", kDefaults, false, 4, "<a> attribute has error ", "", "", "", ""},
    {"<a></b>", kDefaults, false, 3, "'<a> ... </b>' is not wel-formed.", "", "", "", ""},
    {"<a></b>", kForce, true, 0, "", "a", "", "", ""},
    {"<a/ >", kDefaults, false, 1, "Element must be closed.", "", "", "", ""},
    {"<a>text", kDefaults, true, 0, "", "a", "text", "", ""},
    {"<a></a", kDefaults, false, 2, "it must be closed with </a>", "", "", "", ""},
    {"<a><b/>", kDefaults, true, 0, "", "a", "", "b", ""},
    {"<!-- c --><a/>", kDefaults, true, 0, "", "#COMMENT,a", "", "", ""},
    {"<a><!--c--><b/></a>", kDefaults, true, 0, "", "a", "", "#COMMENT,b", ""},
    // Later text runs never replace a non-blank value, but a blank first run is replaced.
    {"<a>  <b/>y<c/>z</a>", kDefaults, true, 0, "", "a", "y", "b,c", ""},
    {"<a>x<b>in</b>y</a>", kDefaults, true, 0, "", "a", "x", "b", ""},
    {"leading text <a>v</a>", kDefaults, true, 0, "", "a", "v", "", ""},
    {"<!--c--> text <?p?> more <a/>", kDefaults, true, 0, "", "#COMMENT,p,a", "", "", ""},
    {"<a b=\"1\" c='x\\'y'/>", kDefaults, true, 0, "", "a", "", "", "b=1;c=x'y"},
    {"<a b=' 1 '/>", kTrim, true, 0, "", "a", "", "", "b=1"},
    {"<a b=' 1 '/>", kDefaults, true, 0, "", "a", "", "", "b= 1 "},
    {"<a\n\tb = \"1\"\r\n/>", kDefaults, true, 0, "", "a", "", "", "b=1"},
    {"<a><b></c></a>", kDefaults, false, 3, "'<b> ... </c>' is not wel-formed.", "", "", "", ""},
    {"<a><b></c></a>", kForce, true, 0, "", "a", "", "b", ""},
    {"<a>x</a >", kDefaults, true, 0, "", "a", "x", "", ""},
    // A blank before the ">" of an end tag does not leave a stray ">" as the parent's value.
    {"<r><a></a ></r>", kDefaults, true, 0, "", "r", "", "a", ""},
    {"<a><b/ ></a>", kDefaults, false, 1, "Element must be closed.", "", "", "", ""},
    {"<?xml version=\"1.0\"?><a/><!--t-->", kDefaults, true, 0, "", "xml,a,#COMMENT", "", "", ""},
    {"<a><![CDATA[x<y]]><b/></a>", kDefaults, true, 0, "", "a", "", "#CDATA,b", ""},
    {"<a><![cdata[x]]></a>", kDefaults, true, 0, "", "a", "", "#CDATA", ""},
    {"<a><?pi?><b/></a>", kDefaults, true, 0, "", "pi,a", "", "b", ""},
};

// Test listings show a row by its input text rather than as raw bytes.
void PrintTo(const ParseCase& row, std::ostream* stream) {
    *stream << '"' << row.input << '"';
}

class ParseTable : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseTable, LoadsTreeOrReportsFirstError) {
    const ParseCase& row = GetParam();
    SCOPED_TRACE(row.input);
    ParseOptions options;
    options.trimValue = row.tweak == kTrim;
    options.escapeChar = row.tweak == kNoEscape ? 0 : '\\';
    options.forceParse = row.tweak == kForce;

    ExactText text(row.input);
    XmlDocument document;
    const char* result = document.Load(text.get(), &options);

    EXPECT_EQ(result != nullptr, row.loads);
    EXPECT_EQ(options.errorOccurred, row.errorCode != 0);
    EXPECT_EQ(options.errorCode, row.errorCode);
    EXPECT_EQ(options.errorText, row.errorText);
    if (row.errorCode != 0) {
        ASSERT_NE(options.errorPosition, nullptr);
        EXPECT_GE(options.errorPosition, text.get());
        EXPECT_LE(options.errorPosition, text.end());
    }
    EXPECT_EQ(ChildNames(document), row.documentChildren);
    if (!row.loads) {
        return;
    }
    EXPECT_GE(result, text.get());
    EXPECT_LE(result, text.end());
    const XmlNode* root = document.GetChild("a") != nullptr ? document.GetChild("a") : document.GetChild("r");
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->value, row.rootValue);
    EXPECT_EQ(ChildNames(*root), row.rootChildren);
    EXPECT_EQ(AttributeList(*root), row.rootAttributes);
}

INSTANTIATE_TEST_SUITE_P(XmlDocument, ParseTable, ::testing::ValuesIn(kParseCases));

TEST(XmlDocumentParse, CommentBeforeRootKeepsItsBlanks) {
    XmlDocument document;
    ASSERT_NE(document.Load("<!-- c --><a/>"), nullptr);
    ASSERT_EQ(document.GetChildCount(), 2);
    EXPECT_EQ(document.GetChild(0)->type, XmlNodeType::Comment);
    EXPECT_EQ(document.GetChild(0)->value, " c ");
    EXPECT_EQ(document.GetChild(1)->type, XmlNodeType::Element);
    EXPECT_EQ(document.GetChild(1)->name, "a");
}

TEST(XmlDocumentParse, NodesHangUnderTheirParentAndDocument) {
    XmlDocument document;
    ASSERT_NE(document.Load("<a><!--c--><b><c/></b></a>"), nullptr);
    XmlNode* a = document.GetChild("a");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->parent, &document);
    EXPECT_EQ(a->document, &document);
    EXPECT_EQ(document.document, &document);
    EXPECT_EQ(document.parent, nullptr);
    ASSERT_EQ(a->GetChildCount(), 2);
    EXPECT_EQ(a->GetChild(0)->parent, a);
    EXPECT_EQ(a->GetChild(0)->document, &document);
    XmlNode* c = a->GetChild("b")->GetChild("c");
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->parent, a->GetChild("b"));
    EXPECT_EQ(c->document, &document);
}

TEST(XmlDocumentParse, ProcessingInstructionsGoToTheDocumentWhereverTheyStand) {
    XmlDocument document;
    ASSERT_NE(
        document.Load("<?xml version=\"1.0\" encoding='UTF-8'?>\r\n<a><b><?inner x=1?></b></a><?tail?>"),
        nullptr);
    ASSERT_EQ(ChildNames(document), "xml,inner,a,tail");
    const XmlNode& declaration = *document.GetChild(0);
    EXPECT_EQ(declaration.type, XmlNodeType::ProcessingInstruction);
    EXPECT_EQ(AttributeList(declaration), "version=1.0;encoding=UTF-8");
    EXPECT_EQ(AttributeList(*document.GetChild(1)), "x=1");
    for (const auto& child : document.children) {
        EXPECT_EQ(child->parent, &document);
    }
    EXPECT_EQ(document.GetChild("a")->GetChild("b")->GetChildCount(), 0);
    EXPECT_EQ(declaration.GetXml(OneLine()), "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>");
}

TEST(XmlDocumentParse, InstructionAttributesStopAtItsEnd) {
    // Neither the name search nor a quoted value may run on into the rest of the document.
    XmlDocument document;
    ASSERT_NE(document.Load("<?p novalue?><?q v='open?><a w=\"1\"/>"), nullptr);
    ASSERT_EQ(ChildNames(document), "p,q,a");
    EXPECT_EQ(AttributeList(*document.GetChild(0)), "novalue=");
    EXPECT_EQ(AttributeList(*document.GetChild(1)), "v=open");
    EXPECT_EQ(AttributeList(*document.GetChild(2)), "w=1");
}

TEST(XmlDocumentParse, CommentsAndSectionsBecomeChildrenInDocumentOrder) {
    XmlDocument document;
    ASSERT_NE(document.Load("<a>v<!--one--><b/><![CDATA[two]]><!--three--><c/></a>"), nullptr);
    const XmlNode& a = *document.GetChild("a");
    EXPECT_EQ(ChildNames(a), "#COMMENT,b,#CDATA,#COMMENT,c");
    EXPECT_EQ(a.GetChild(0)->value, "one");
    EXPECT_EQ(a.GetChild(2)->type, XmlNodeType::CharacterData);
    EXPECT_EQ(a.GetChild(2)->value, "two");
    EXPECT_EQ(a.GetChild(3)->value, "three");
    EXPECT_EQ(a.value, "v");
}

TEST(XmlDocumentParse, CommentAndSectionContentIsTakenVerbatim) {
    ParseOptions options;
    options.trimValue = true;
    XmlDocument document;
    ASSERT_NE(document.Load("<a><!-- p\\q &#000; --><![CDATA[ <b>&#000;\\ ]]></a>", &options), nullptr);
    const XmlNode& a = *document.GetChild("a");
    ASSERT_EQ(a.GetChildCount(), 2);
    EXPECT_EQ(a.GetChild(0)->value, " p\\q &#000; ");
    EXPECT_EQ(a.GetChild(1)->value, " <b>&#000;\\ ");
}

TEST(XmlDocumentParse, TerminatorSearchPassesOverTheEscapeCharacter) {
    // With "-" as the escape character, a dash that escapes cannot start the terminator: the first
    // "-->" is passed over and the comment ends at the escaped dash's follower in "--->".
    ParseOptions options;
    options.escapeChar = '-';
    XmlDocument document;
    ASSERT_NE(document.Load("<a><!--x-->y---></a>", &options), nullptr);
    const XmlNode& a = *document.GetChild("a");
    ASSERT_EQ(a.GetChildCount(), 1);
    EXPECT_EQ(a.GetChild(0)->value, "x-->y-");
    EXPECT_EQ(a.value, "");

    XmlDocument plain;
    ASSERT_NE(plain.Load("<a><!--x-->y---></a>"), nullptr);
    ASSERT_EQ(plain.GetChild("a")->GetChildCount(), 1);
    EXPECT_EQ(plain.GetChild("a")->GetChild(0)->value, "x");
    EXPECT_EQ(plain.GetChild("a")->value, "y--->");
}

TEST(XmlDocumentParse, UnterminatedConstructsFailTheEnclosingElement) {
    const char* const inputs[] = {
        "<a><!-- never ends",
        "<a><!-- never ends -",
        "<a><![CDATA[ never ends ]]",
        "<a><?pi never ends ?",
        "<a b='never ends>",
        "<a b=\"never ends\\\"></a>",
        "<a><b c='x\\",
        "<!-- before the root",
        "<?pi",
        "<a",
        "<a b=",
        "<a b=1",
        "<",
    };
    for (const char* input : inputs) {
        SCOPED_TRACE(input);
        ExactText text(input);
        ParseOptions options;
        XmlDocument document;
        EXPECT_EQ(document.Load(text.get(), &options), nullptr);
        EXPECT_EQ(document.GetChild("a"), nullptr);
        // The text simply ends: no error record.
        EXPECT_FALSE(options.errorOccurred);
        EXPECT_EQ(options.errorCode, 0);
    }
}

TEST(XmlDocumentParse, UnterminatedCommentAfterTheRootKeepsTheRoot) {
    ExactText text("<a/> <!-- never ends");
    XmlDocument document;
    const char* result = document.Load(text.get());
    EXPECT_EQ(result, text.get() + 5);
    EXPECT_EQ(ChildNames(document), "a");
}

TEST(XmlDocumentParse, EscapeCharacterAsTheLastCharacter) {
    ExactText text("<a>p\\");
    XmlDocument document;
    EXPECT_EQ(document.Load(text.get()), text.end());
    EXPECT_EQ(document.GetChild("a")->value, "p");

    ParseOptions options;
    options.escapeChar = 0;
    XmlDocument unescaped;
    EXPECT_EQ(unescaped.Load(text.get(), &options), text.end());
    EXPECT_EQ(unescaped.GetChild("a")->value, "p\\");

    ExactText attribute("<a b=x\\ c=y/>");
    XmlDocument second;
    ASSERT_NE(second.Load(attribute.get()), nullptr);
    EXPECT_EQ(AttributeList(*second.GetChild("a")), "b=x;c=y/");
}

TEST(XmlDocumentParse, EscapeCharacterOfTheParseIsConfigurable) {
    ParseOptions options;
    options.escapeChar = '%';
    XmlDocument document;
    ASSERT_NE(document.Load("<a b='1%%2%x'>p%%q%r</a>", &options), nullptr);
    EXPECT_EQ(document.GetChild("a")->value, "p%qr");
    EXPECT_EQ(AttributeList(*document.GetChild("a")), "b=1%2x");
}

TEST(XmlDocumentParse, TextEndingInsideAStartTagLeavesNoErrorRecord) {
    ParseOptions options;
    XmlDocument document;
    EXPECT_EQ(document.Load("<a x='1' ", &options), nullptr);
    EXPECT_FALSE(options.errorOccurred);
    EXPECT_EQ(options.errorText, "");
    EXPECT_EQ(options.errorPosition, nullptr);
}

TEST(XmlDocumentParse, OnlyTheFirstErrorIsRecorded) {
    ParseOptions options;
    XmlDocument document;
    ExactText first("<a d>");
    EXPECT_EQ(document.Load(first.get(), &options), nullptr);
    EXPECT_EQ(options.errorCode, 4);
    EXPECT_EQ(options.errorPosition, first.get() + 3);

    EXPECT_EQ(document.Load("<a></b>", &options), nullptr);
    EXPECT_EQ(options.errorCode, 4);
    EXPECT_EQ(options.errorText, "<a> attribute has error ");
    EXPECT_EQ(options.errorPosition, first.get() + 3);
}

TEST(XmlDocumentParse, DocumentUsesItsOwnOptionsWhenNoneAreGiven) {
    XmlDocument document;
    EXPECT_EQ(document.Load("<a/ >"), nullptr);
    EXPECT_TRUE(document.parseOptions.errorOccurred);
    EXPECT_EQ(document.parseOptions.errorCode, 1);
    EXPECT_EQ(document.GetChildCount(), 0);
}

TEST(XmlDocumentParse, ReturnsThePositionAfterTheLastNodeRead) {
    // Blanks after the last node are passed over; other text is not.
    ExactText whole("<a/>\r\n<!--t-->  ");
    XmlDocument document;
    EXPECT_EQ(document.Load(whole.get()), whole.end());
    EXPECT_EQ(ChildNames(document), "a,#COMMENT");

    ExactText tail("<a/>tail<b/>");
    XmlDocument second;
    EXPECT_EQ(second.Load(tail.get()), tail.get() + 4);
    EXPECT_EQ(ChildNames(second), "a");
}

TEST(XmlDocumentParse, TwoDocumentsInOneDocumentObject) {
    XmlDocument document;
    ASSERT_NE(document.Load("<a>1</a>"), nullptr);
    ASSERT_NE(document.Load("<a>2</a>"), nullptr);
    ASSERT_EQ(document.GetChildCount(), 2);
    const std::string* value = document.GetChildValue("a");
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(*value, "1");
    EXPECT_EQ(document.GetChild(1)->value, "2");

    document.Close();
    EXPECT_EQ(document.GetChildCount(), 0);
    ASSERT_NE(document.Load("<c/>"), nullptr);
    EXPECT_EQ(ChildNames(document), "c");
}

TEST(XmlDocumentParse, NodeLoadReplacesWhatTheNodeHeld) {
    XmlNode node;
    ASSERT_NE(node.Load("<a k='v'>x<b/></a>", nullptr), nullptr);
    EXPECT_EQ(node.name, "a");
    // A node outside any document has nowhere to put instructions and top-level comments.
    ASSERT_NE(node.Load("<?pi?><!--c--><z>y</z>", nullptr), nullptr);
    EXPECT_EQ(node.name, "z");
    EXPECT_EQ(node.value, "y");
    EXPECT_EQ(node.GetChildCount(), 0);
    EXPECT_TRUE(node.attributes.empty());
    EXPECT_EQ(node.Load(nullptr, nullptr), nullptr);
}

TEST(XmlDocumentParse, EndTagAtTheStartBelongsToTheCaller) {
    ExactText text("  </a><b/>");
    XmlNode node;
    EXPECT_EQ(node.Load(text.get(), nullptr), text.get() + 2);
    EXPECT_EQ(node.name, "");
}

TEST(XmlDocumentParse, ZeroReferenceEndsTheDecodedValue) {
    XmlDocument document;
    ASSERT_NE(document.Load("<a k='ab&#000;cd'>xy&#000;z<b>&#000;</b></a>"), nullptr);
    const XmlNode& a = *document.GetChild("a");
    EXPECT_EQ(a.value, "xy");
    EXPECT_EQ(a.GetAttribute("k")->value, "ab");
    EXPECT_EQ(a.GetChild("b")->value, "");
    EXPECT_EQ(a.GetChild("b")->GetXml(OneLine()), "<b></b>");

    ParseOptions raw;
    raw.decodeEntities = false;
    XmlDocument undecoded;
    ASSERT_NE(undecoded.Load("<a k='ab&#000;cd'>xy&#000;z</a>", &raw), nullptr);
    EXPECT_EQ(undecoded.GetChild("a")->value, "xy&#000;z");
    EXPECT_EQ(undecoded.GetChild("a")->GetAttribute("k")->value, "ab&#000;cd");
}

TEST(XmlDocumentParse, OrdinaryReferencesPassThrough) {
    XmlDocument document;
    ASSERT_NE(document.Load("<a k=\"&quot;&amp;\">&lt;br&gt;&#092;</a>"), nullptr);
    EXPECT_EQ(document.GetChild("a")->value, "&lt;br&gt;&#092;");
    EXPECT_EQ(document.GetChild("a")->GetAttribute("k")->value, "&quot;&amp;");
}

// Nesting

std::string Nested(int depth) {
    std::string text;
    for (int i = 0; i < depth; ++i) {
        text += "<e>";
    }
    text += "v";
    for (int i = 0; i < depth; ++i) {
        text += "</e>";
    }
    return text;
}

TEST(XmlDocumentNesting, AcceptsTheDeepestAllowedTree) {
    XmlDocument document;
    ExactText text(Nested(XmlNode::kMaxDepth));
    ASSERT_EQ(document.Load(text.get()), text.end());
    const XmlNode* node = document.GetChild("e");
    int depth = 0;
    while (node != nullptr && node->GetChildCount() == 1) {
        node = node->GetChild(0);
        ++depth;
    }
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(depth + 1, XmlNode::kMaxDepth);
    EXPECT_EQ(node->value, "v");
    EXPECT_EQ(document.GetText(), "v");
}

TEST(XmlDocumentNesting, RejectsDeeperTrees) {
    const int depths[] = {XmlNode::kMaxDepth + 1, 100000};
    for (int depth : depths) {
        SCOPED_TRACE(depth);
        XmlDocument document;
        ExactText text(Nested(depth));
        EXPECT_EQ(document.Load(text.get()), nullptr);
        EXPECT_EQ(document.GetChildCount(), 0);
    }
    // Start tags only, as in a truncated packet.
    XmlDocument document;
    std::string starts;
    for (int i = 0; i < 50000; ++i) {
        starts += "<a>";
    }
    ExactText unclosed(starts);
    EXPECT_EQ(document.Load(unclosed.get()), nullptr);
}

TEST(XmlDocumentNesting, DeepTreesBuiltByHandAreWrittenAndFreedWithoutRecursion) {
    constexpr int kDepth = 200000;
    {
        XmlDocument document;
        XmlNode* leaf = document.AppendChild(XmlNode::CreateNode("e"));
        for (int i = 1; i < kDepth; ++i) {
            leaf = leaf->AppendChild(XmlNode::CreateNode("e"));
        }
        leaf->value = "v";

        const std::string xml = document.GetXml(OneLine());
        EXPECT_EQ(xml.size(), static_cast<size_t>(kDepth) * 7 + 1);
        EXPECT_EQ(xml.substr(0, 6), "<e><e>");
        EXPECT_EQ(xml.substr(static_cast<size_t>(kDepth) * 3 - 3, 12), "<e>v</e></e>");
        EXPECT_EQ(document.GetText(), "v");
    }  // the document is destroyed here

    XmlNode root;
    XmlNode* leaf = &root;
    for (int i = 0; i < kDepth; ++i) {
        leaf = leaf->AppendChild(XmlNode::CreateNode("e"));
    }
    root.Close();
    EXPECT_EQ(root.GetChildCount(), 0);
}

TEST(XmlDocumentRobustness, EveryPrefixAndDamagedCopyOfAPacketIsHandled) {
    const std::string packet =
        "<?xml version=\"1.0\"?>\n<!-- made by hand -->\n"
        "<rdf:RDF xmlns:nto=\"http://example.invalid/nto/\" xmlns:rdf=\"http://example.invalid/rdf#\">"
        "<rdf:Description rdf:about=\"http://example.invalid/nto/\">"
        "<nto:size_x>400</nto:size_x><nto:size_y>300</nto:size_y>"
        "<nto:layer rdf:parseType=\"Collection\"><rdf:li nto:UID='1'><nto:name>a\\<b &amp; c</nto:name>"
        "<![CDATA[raw]]><nto:pos_x>10</nto:pos_x><nto:pos_y>20</nto:pos_y></rdf:li></nto:layer>"
        "<nto:cap_text>caption</nto:cap_text></rdf:Description></rdf:RDF>\n<?tail?>";
    {
        XmlDocument whole;
        ExactText text(packet);
        ASSERT_EQ(whole.Load(text.get()), text.end());
        EXPECT_EQ(ChildNames(whole), "xml,#COMMENT,rdf:RDF,tail");
        const XmlNode* layer =
            whole.GetChild("rdf:RDF")->GetChild("rdf:Description")->GetChild("nto:layer")->GetChild(0);
        ASSERT_NE(layer, nullptr);
        EXPECT_EQ(layer->GetChild("nto:name")->value, "a<b &amp; c");
    }
    const char damage[] = {'<', '>', '/', '\\', '"', '\'', '=', ' ', '?', '-', '!', '['};
    for (size_t cut = 0; cut <= packet.size(); ++cut) {
        std::vector<std::string> variants{packet.substr(0, cut)};
        if (cut < packet.size()) {
            for (char c : damage) {
                std::string copy = packet;
                copy[cut] = c;
                variants.push_back(copy);
            }
        }
        for (size_t v = 0; v < variants.size(); ++v) {
            const std::string& variant = variants[v];
            // The option sets take turns, so that each meets every kind of damage at some cut.
            const size_t flags = (cut + v) % 4;
            ParseOptions options;
            options.trimValue = (flags & 1) != 0;
            options.forceParse = (flags & 2) != 0;
            XmlDocument document;
            ExactText text(variant);
            const char* result = document.Load(text.get(), &options);
            if (result != nullptr) {
                ASSERT_GE(result, text.get()) << variant;
                ASSERT_LE(result, text.end()) << variant;
                document.GetXml();
                document.GetText();
            }
            if (options.errorOccurred) {
                ASSERT_GE(options.errorCode, 1);
                ASSERT_LE(options.errorCode, 4);
                ASSERT_GE(options.errorPosition, text.get());
                ASSERT_LE(options.errorPosition, text.end());
            }
        }
    }
}

// Writing

TEST(XmlDocumentWrite, ParsedStartAndEndTagsAreWrittenBack) {
    XmlDocument document;
    ASSERT_NE(document.Load("<a></a>"), nullptr);
    EXPECT_EQ(document.GetChild("a")->GetXml(OneLine()), "<a></a>");
    EXPECT_EQ(document.GetXml(OneLine()), "<a></a>");

    XmlDocument empty;
    ASSERT_NE(empty.Load("<a/>"), nullptr);
    EXPECT_EQ(empty.GetXml(OneLine()), "<a/>");

    // Without decoding a value is only present when it has characters.
    ParseOptions raw;
    raw.decodeEntities = false;
    XmlDocument undecoded;
    ASSERT_NE(undecoded.Load("<a></a>", &raw), nullptr);
    EXPECT_EQ(undecoded.GetXml(OneLine()), "<a/>");
}

TEST(XmlDocumentWrite, CreatedNodes) {
    EXPECT_EQ(XmlNode::CreateNode("a")->GetXml(OneLine()), "<a/>");
    EXPECT_EQ(XmlNode::CreateNode("a", "")->GetXml(OneLine()), "<a/>");
    EXPECT_EQ(XmlNode::CreateNode("a", "v")->GetXml(OneLine()), "<a>v</a>");

    auto layer = XmlNode::CreateNode("nto:layer");
    layer->AppendAttribute(XmlNode::CreateAttribute("rdf:parseType", "Collection"));
    EXPECT_EQ(layer->GetXml(OneLine()), "<nto:layer rdf:parseType=\"Collection\" />");

    auto root = XmlNode::CreateNode("r");
    root->AppendAttribute(XmlNode::CreateAttribute("x", "1"));
    root->AppendAttribute(XmlNode::CreateAttribute("y", "2"));
    root->AppendChild(XmlNode::CreateNode("s", "10"));
    root->AppendChild(std::move(layer));
    EXPECT_EQ(root->GetXml(OneLine()),
              "<r x=\"1\" y=\"2\" ><s>10</s><nto:layer rdf:parseType=\"Collection\" /></r>");

    WriteOptions apostrophes = OneLine();
    apostrophes.quoteChar = '\'';
    EXPECT_EQ(root->GetXml(apostrophes).substr(0, 18), "<r x='1' y='2' ><s");
}

TEST(XmlDocumentWrite, NewLinesAndTabs) {
    XmlDocument document;
    ASSERT_NE(document.Load("<a><b>x</b><c/></a>"), nullptr);
    EXPECT_EQ(document.GetXml(), "\r\n\r\n<a>\r\n\t<b>x</b>\r\n\t<c/>\r\n</a>");
    EXPECT_EQ(document.GetChild("a")->GetXml(), "\r\n<a>\r\n\t<b>x</b>\r\n\t<c/>\r\n</a>");

    XmlDocument valued;
    ASSERT_NE(valued.Load("<a>v<b><c/></b></a>"), nullptr);
    EXPECT_EQ(valued.GetChild("a")->GetXml(), "\r\n<a>\r\n\t<b>\r\n\t\t<c/>\r\n\t</b>\r\n\tv\r\n</a>");

    WriteOptions deeper;
    deeper.indentLevel = 2;
    EXPECT_EQ(valued.GetChild("a")->GetChild("b")->GetXml(deeper), "\r\n\t\t<b>\r\n\t\t\t<c/>\r\n\t\t</b>");
    EXPECT_EQ(deeper.indentLevel, 2);
}

TEST(XmlDocumentWrite, OtherNodeKinds) {
    XmlDocument document;
    ASSERT_NE(document.Load("<?pi a='1'?><!--c--><a><![CDATA[<x>]]><?q?></a>"), nullptr);
    EXPECT_EQ(document.GetXml(OneLine()), "<?pi a=\"1\" ?><!--c--><?q?><a><![CDATA[<x>]]></a>");
}

TEST(XmlDocumentWrite, EncodingThroughTheTable) {
    auto node = XmlNode::CreateNode("a", "x&y");
    node->AppendAttribute(XmlNode::CreateAttribute("k", "1&2"));
    // The default table only knows the zero character: texts are written unchanged.
    EXPECT_EQ(node->GetXml(OneLine()), "<a k=\"1&2\" >x&y</a>");

    EntityTable table;
    table.Add('&', "&amp;");
    WriteOptions options = OneLine();
    options.entities = &table;
    EXPECT_EQ(node->GetXml(options), "<a k=\"1&amp;2\" >x&amp;y</a>");
    EXPECT_EQ(node->GetText(options), "x&amp;y");
    options.encodeEntities = false;
    EXPECT_EQ(node->GetXml(options), "<a k=\"1&2\" >x&y</a>");
    options.encodeEntities = true;
    options.entities = nullptr;
    EXPECT_EQ(node->GetXml(options), "<a k=\"1&2\" >x&y</a>");
}

TEST(XmlDocumentText, ChildrenFirstThenOwnValue) {
    XmlDocument document;
    ASSERT_NE(document.Load("<a>v<b>w</b><![CDATA[c]]><!--hidden--><?pi?><d/></a>"), nullptr);
    EXPECT_EQ(document.GetChild("a")->GetText(), "wcv");
    EXPECT_EQ(document.GetText(), "wcv");
    EXPECT_EQ(document.GetChildText("a"), "wcv");
    EXPECT_EQ(document.GetChildText("missing"), "");
    EXPECT_EQ(document.GetChild("a")->GetChild(2)->GetText(), "");

    // Children are written with the default options, the node itself with the given ones.
    EntityTable table;
    table.Add('v', "[V]");
    table.Add('w', "[W]");
    WriteOptions options;
    options.entities = &table;
    EXPECT_EQ(document.GetChild("a")->GetText(options), "wc[V]");
    EXPECT_EQ(document.GetText(options), "wc[V]");
}

// Entity table

TEST(EntityTableTest, DefaultTableHoldsOnlyTheZeroReference) {
    const EntityTable& table = EntityTable::Default();
    ASSERT_EQ(table.entries.size(), 1u);
    EXPECT_EQ(table.entries[0].character, '\0');
    EXPECT_STREQ(table.entries[0].reference, "&#000;");
    EXPECT_EQ(table.entries[0].length, 6);
    EXPECT_EQ(&EntityTable::Default(), &table);
    EXPECT_EQ(table.Encode("a&b<c>\"'"), "a&b<c>\"'");
}

struct DecodeCase {
    const char* input;
    const char* expected;
};

const DecodeCase kDecodeCases[] = {
    {"", ""},           {"plain", "plain"}, {"&amp;&lt;", "&<"},
    {"x&amp", "x&amp"}, {"&&amp;;", "&&;"}, {"a&#000;b&amp;", "a"},
    {"&#000;", ""},     {"&#00", "&#00"},   {"&verylong;&lt;", "!;<"},
};

TEST(EntityTableTest, DecodesThroughItsEntries) {
    EntityTable table;
    table.Add('&', "&amp;");
    table.Add('<', "&lt;");
    table.Add('\0', "&#000;");
    table.Add('!', "&verylong;");  // ten characters: only nine are kept
    ASSERT_EQ(table.entries.size(), 4u);
    EXPECT_EQ(table.entries[3].length, 9);
    for (const DecodeCase& row : kDecodeCases) {
        SCOPED_TRACE(row.input);
        ExactText text(row.input);
        EXPECT_EQ(table.Decode(text.get(), std::strlen(row.input)), row.expected);
    }
    // The length bounds the scan, not a terminator.
    EXPECT_EQ(table.Decode("&amp;&amp;", 7), "&&a");
}

TEST(EntityTableTest, IgnoresEmptyReferences) {
    EntityTable table;
    table.Add('x', "");
    table.Add('y', nullptr);
    EXPECT_TRUE(table.entries.empty());
    EXPECT_EQ(table.Decode("abc", 3), "abc");
}

TEST(EntityTableTest, EncodesEveryCharacterThatHasAnEntry) {
    EntityTable table;
    table.Add('&', "&amp;");
    table.Add('<', "&lt;");
    EXPECT_EQ(table.Encode("a<b&c<"), "a&lt;b&amp;c&lt;");
    EXPECT_EQ(table.Encode("none"), "none");
    EXPECT_EQ(table.Encode(std::string("z\0z", 3)), std::string("z\0z", 3));
    EXPECT_EQ(EntityTable::Default().Encode(std::string("z\0z", 3)), "z&#000;z");
}

// Tree access and editing

TEST(XmlNodeAccess, ChildrenByNameAndIndex) {
    XmlDocument document;
    ASSERT_NE(document.Load("<r><x>1</x><X>2</X><x>3</x><!--c--></r>"), nullptr);
    const XmlNode& r = *document.GetChild("r");
    EXPECT_EQ(r.GetChildCount(), 4);
    EXPECT_EQ(*r.GetChildValue("x"), "1");
    EXPECT_EQ(*r.GetChildValue("X"), "2");
    EXPECT_EQ(r.GetChildValue("y"), nullptr);
    EXPECT_EQ(r.GetChildValue(nullptr), nullptr);
    EXPECT_EQ(r.GetChild("#COMMENT"), r.GetChild(3));
    EXPECT_EQ(r.GetChild(-1), nullptr);
    EXPECT_EQ(r.GetChild(4), nullptr);
    EXPECT_EQ(r.GetChild(2)->value, "3");
}

TEST(XmlNodeAccess, AttributesByNameAreCaseSensitive) {
    XmlDocument document;
    ASSERT_NE(document.Load("<r k='1' K='2' k='3'/>"), nullptr);
    const XmlNode& r = *document.GetChild("r");
    ASSERT_NE(r.GetAttribute("k"), nullptr);
    EXPECT_EQ(r.GetAttribute("k")->value, "1");
    EXPECT_EQ(r.GetAttribute("K")->value, "2");
    EXPECT_EQ(r.GetAttribute("k")->owner, &r);
    EXPECT_EQ(r.GetAttribute("missing"), nullptr);
    EXPECT_EQ(r.GetAttribute(nullptr), nullptr);
}

TEST(XmlNodeEdit, AppendSetsParentAndDocument) {
    XmlDocument document;
    XmlNode* root = document.AppendChild(XmlNode::CreateNode("r"));
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->parent, &document);
    EXPECT_EQ(root->document, &document);
    XmlNode* child = root->AppendChild(XmlNode::CreateNode("c", "v"));
    EXPECT_EQ(child->parent, root);
    EXPECT_EQ(child->document, &document);
    EXPECT_EQ(root->AppendChild(nullptr), nullptr);
    EXPECT_EQ(root->GetChildCount(), 1);

    XmlAttribute* attribute = root->AppendAttribute(XmlNode::CreateAttribute("k", nullptr));
    EXPECT_EQ(attribute->owner, root);
    EXPECT_EQ(attribute->value, "");
    EXPECT_EQ(root->AppendAttribute(nullptr), nullptr);
    EXPECT_EQ(document.GetXml(OneLine()), "<r k=\"\" ><c>v</c></r>");
}

TEST(XmlNodeEdit, RemoveAttributeByIdentity) {
    auto node = XmlNode::CreateNode("n");
    XmlAttribute* first = node->AppendAttribute(XmlNode::CreateAttribute("UID", "1"));
    XmlAttribute* second = node->AppendAttribute(XmlNode::CreateAttribute("UID", "2"));
    node->AppendAttribute(XmlNode::CreateAttribute("nto:UID", "3"));

    auto other = XmlNode::CreateNode("o");
    XmlAttribute* foreign = other->AppendAttribute(XmlNode::CreateAttribute("UID", "1"));
    EXPECT_FALSE(node->RemoveAttribute(foreign));
    EXPECT_FALSE(node->RemoveAttribute(nullptr));
    EXPECT_EQ(AttributeList(*node), "UID=1;UID=2;nto:UID=3");

    EXPECT_TRUE(node->RemoveAttribute(second));
    EXPECT_EQ(AttributeList(*node), "UID=1;nto:UID=3");
    EXPECT_EQ(node->GetAttribute("UID"), first);
    EXPECT_TRUE(node->RemoveAttribute(first));
    EXPECT_EQ(AttributeList(*node), "nto:UID=3");
    EXPECT_EQ(AttributeList(*other), "UID=1");
}

TEST(XmlNodeEdit, CloseEmptiesTheNode) {
    XmlDocument document;
    ASSERT_NE(document.Load("<r k='1'>v<a><b/></a></r>"), nullptr);
    XmlNode& r = *document.GetChild("r");
    r.Close();
    EXPECT_EQ(r.GetChildCount(), 0);
    EXPECT_TRUE(r.attributes.empty());
    EXPECT_EQ(r.name, "r");
    EXPECT_EQ(document.GetChildCount(), 1);
}

}  // namespace
