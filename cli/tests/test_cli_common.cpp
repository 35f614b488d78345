#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/cli_common.h"
#include "taglib/codepage.h"

namespace {

struct Argv {
    explicit Argv(std::vector<std::string> words) : storage(std::move(words)) {
        for (std::string& word : storage) {
            pointers.push_back(word.data());
        }
    }
    int Count() const { return static_cast<int>(pointers.size()); }
    char** Get() { return pointers.data(); }

    std::vector<std::string> storage;
    std::vector<char*> pointers;
};

TEST(ParseCommandLine, SplitsOptionsAndPositionalArguments) {
    Argv argv({"tags", "--codepage", "1252", "a.jpg", "--display=640x480", "--", "--not-an-option.jpg"});
    CommandLine commandLine;
    std::string error;
    ASSERT_TRUE(
        ParseCommandLine(argv.Count(), argv.Get(), {"--codepage", "--display"}, {}, commandLine, error))
        << error;
    EXPECT_EQ(commandLine.Value("--codepage"), "1252");
    EXPECT_EQ(commandLine.Value("--display"), "640x480");
    EXPECT_EQ(commandLine.positional, (std::vector<std::string>{"a.jpg", "--not-an-option.jpg"}));
}

TEST(ParseCommandLine, RepeatedOptionsKeepEveryValue) {
    Argv argv({"rebuild", "--drive", "/a", "--drive=/b", "--quiet"});
    CommandLine commandLine;
    std::string error;
    ASSERT_TRUE(ParseCommandLine(argv.Count(), argv.Get(), {"--drive"}, {"--quiet"}, commandLine, error));
    EXPECT_EQ(commandLine.options["--drive"], (std::vector<std::string>{"/a", "/b"}));
    EXPECT_TRUE(commandLine.Has("--quiet"));
    EXPECT_EQ(commandLine.Value("--drive"), "/b");
}

TEST(ParseCommandLine, RejectsUnknownOptionsAndMissingValues) {
    const std::vector<std::vector<std::string>> bad = {
        {"tags", "--colour", "x.jpg"},
        {"tags", "x.jpg", "--codepage"},
        {"tags", "--quiet=yes"},
        {"tags", "-x", "x.jpg"},
    };
    for (const auto& words : bad) {
        Argv argv(words);
        CommandLine commandLine;
        std::string error;
        EXPECT_FALSE(
            ParseCommandLine(argv.Count(), argv.Get(), {"--codepage"}, {"--quiet"}, commandLine, error))
            << words[1];
        EXPECT_FALSE(error.empty());
    }
}

TEST(ParseCommandLine, HelpDescribesTheCommandsOptions) {
    Argv argv({"tags", "--codepage", "1252", "--help", "a.jpg"});
    CommandLine commandLine;
    std::string error;
    ASSERT_TRUE(
        ParseCommandLine(argv.Count(), argv.Get(), {"--codepage", "--display"}, {}, commandLine, error));
    EXPECT_NE(commandLine.help.find("vellumar-cli tags"), std::string::npos) << commandLine.help;
    EXPECT_NE(commandLine.help.find("--display WxH"), std::string::npos) << commandLine.help;
    EXPECT_NE(commandLine.help.find("FILE"), std::string::npos) << commandLine.help;
}

TEST(ApplyCodePageOption, AcceptsOnlyConvertibleCodePageNumbers) {
    int saved = ActiveCodePage();
    struct Case {
        const char* value;
        bool accepted;
    };
    const Case cases[] = {{"1252", true}, {"65001", true}, {"0", false},      {"-1", false},
                          {"12a", false}, {"", false},     {"123456", false}, {"12345", false}};
    for (const Case& c : cases) {
        Argv argv({"tags", std::string("--codepage=") + c.value});
        CommandLine commandLine;
        std::string error;
        ASSERT_TRUE(ParseCommandLine(argv.Count(), argv.Get(), {"--codepage"}, {}, commandLine, error));
        EXPECT_EQ(ApplyCodePageOption(commandLine, error), c.accepted) << c.value;
    }
    Argv argv({"tags", "--codepage", "1251"});
    CommandLine commandLine;
    std::string error;
    ASSERT_TRUE(ParseCommandLine(argv.Count(), argv.Get(), {"--codepage"}, {}, commandLine, error));
    ASSERT_TRUE(ApplyCodePageOption(commandLine, error));
    EXPECT_EQ(ActiveCodePage(), 1251);
    SetActiveCodePage(saved);
}

TEST(JsonString, EscapesAndConvertsToUtf8) {
    struct Case {
        std::string text;
        int codePage;
        std::string json;
    };
    const Case cases[] = {
        {"plain", 1252, "\"plain\""},
        {"a\"b\\c", 1252, "\"a\\\"b\\\\c\""},
        {"line\r\nbreak\ttab", 1252, "\"line\\r\\nbreak\\ttab\""},
        {std::string("nul\0x", 5), 1252, "\"nul\\u0000x\""},
        {"\x01\x1f\x7f", 1252, "\"\\u0001\\u001f\\u007f\""},
        {"Caf\xE9", 1252, "\"Caf\xC3\xA9\""},
        {"Caf\xE9", kCodePageUtf8, "\"Caf\xEF\xBF\xBD\""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(JsonString(c.text, c.codePage), c.json);
    }
}

TEST(EscapeControlCharacters, KeepsOneFieldOnOneLine) {
    struct Case {
        std::string text;
        std::string escaped;
    };
    const Case cases[] = {
        {"plain/Caf\xC3\xA9.jpg", "plain/Caf\xC3\xA9.jpg"},
        {"two\nlines\tand tab", "two\\nlines\\tand tab"},
        {"C:\\photos\\a.jpg", "C:\\photos\\a.jpg"},
        {"\x1B[31mred\r\x7F", "\\x1B[31mred\\x0D\\x7F"},
        {std::string("nul\0", 4), "nul\\x00"},
        {"caf\xE9 \xFF.jpg", "caf\xE9 \xFF.jpg"},
        {"C:\\x\tb.jpg", "C:\\x\\tb.jpg"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(EscapeControlCharacters(c.text), c.escaped);
    }
}

// Every diagnostic is one line that names its file, whatever the path or the library's text hold.
TEST(DiagnosticLine, IsOneLineNamingItsFile) {
    const int saved = ActiveCodePage();
    SetActiveCodePage(kCodePageUtf8);
    struct Case {
        std::string path;
        std::string text;
        std::string line;
    };
    const Case cases[] = {
        {"a.jpg", "Premature end of file?", "vellumar-cli tags: a.jpg: Premature end of file?"},
        {"a.jpg", "too many padding bytes\n", "vellumar-cli tags: a.jpg: too many padding bytes"},
        {"a.jpg", "No image in jpeg!\r\n", "vellumar-cli tags: a.jpg: No image in jpeg!"},
        {"two\nlines.jpg", "x\ny", "vellumar-cli tags: two?lines.jpg: x y"},
        {"", "Too few sections!", "vellumar-cli tags: Too few sections!"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DiagnosticLine("tags", c.path, c.text), c.line);
    }
    SetActiveCodePage(saved);
}

}  // namespace
