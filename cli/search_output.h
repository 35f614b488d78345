// The hit lines of "vellumar-cli search": plain (path, tab, thumbnail path) or JSON Lines.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

enum class SearchFormat { kPlain, kJson };

// Writes hit lines to a stream through a buffer of its own, so that a search with many hits makes a
// few large writes, not one per hit. Not thread-safe: one thread reports the hits.
class SearchOutput {
public:
    // `codePage`: the code page of the index, for the JSON format's conversion to UTF-8.
    SearchOutput(std::FILE* stream, SearchFormat format, int codePage);
    ~SearchOutput();
    SearchOutput(const SearchOutput&) = delete;
    SearchOutput& operator=(const SearchOutput&) = delete;

    void Hit(std::string_view path, std::string_view thumbnail);
    // Writes what is buffered and flushes the stream; false when a write failed.
    bool Finish();
    size_t Count() const { return count; }

private:
    void Write();
    std::FILE* stream;
    SearchFormat format;
    int codePage;
    std::string buffer;
    size_t count = 0;
    bool failed = false;
};
