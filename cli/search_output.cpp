#include "cli/search_output.h"

#include "cli/cli_common.h"

namespace {

constexpr size_t kBufferSize = 64 << 10;

}  // namespace

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
        AppendControlEscaped(buffer, path);
        buffer += '\t';
        AppendControlEscaped(buffer, thumbnail);
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
