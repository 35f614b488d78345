#include "search_output.h"

#include "cli_common.h"

namespace {

constexpr size_t kBufferSize = 64 << 10;

bool IsControl(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
}

void AppendEscaped(std::string& out, std::string_view text) {
    bool control = false;
    for (char c : text) {
        control = control || IsControl(c);
    }
    if (!control) {
        out += text;
        return;
    }
    for (char c : text) {
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\\') {
            out += "\\\\";
        } else if (IsControl(c)) {
            static constexpr char kHex[] = "0123456789ABCDEF";
            const auto byte = static_cast<unsigned char>(c);
            out += "\\x";
            out += kHex[byte >> 4];
            out += kHex[byte & 0x0F];
        } else {
            out += c;
        }
    }
}

}  // namespace

std::string EscapeControlCharacters(std::string_view text) {
    std::string out;
    AppendEscaped(out, text);
    return out;
}

SearchOutput::SearchOutput(std::FILE* streamIn, SearchFormat formatIn, int codePageIn)
    : stream(streamIn), format(formatIn), codePage(codePageIn) {
    buffer.reserve(kBufferSize + 1024);
}

SearchOutput::~SearchOutput() {
    Finish();
}

void SearchOutput::Hit(std::string_view path, std::string_view thumbnail) {
    ++count;
    if (format == SearchFormat::kJson) {
        buffer += "{\"path\":";
        buffer += JsonString(path, codePage);
        buffer += ",\"thumbnail\":";
        buffer += JsonString(thumbnail, codePage);
        buffer += "}\n";
    } else {
        AppendEscaped(buffer, path);
        buffer += '\t';
        AppendEscaped(buffer, thumbnail);
        buffer += '\n';
    }
    if (buffer.size() >= kBufferSize) {
        Write();
    }
}

bool SearchOutput::Finish() {
    Write();
    failed = std::fflush(stream) != 0 || failed;
    return !failed;
}

void SearchOutput::Write() {
    if (!buffer.empty() && std::fwrite(buffer.data(), 1, buffer.size(), stream) != buffer.size()) {
        failed = true;
    }
    buffer.clear();
}
