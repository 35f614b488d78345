// The search scan. The result is that of reading the index record by record, lower-casing each file
// name, caption and layer name and looking for the lower-cased query in it; but instead of lower-casing
// every field, the raw bytes of a large block are searched for the query with the letter case ignored,
// and the hits are mapped to records and fields by walking the chain of lengths with a RecordCursor.
#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "search_index.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr size_t kDefaultBlockSize = 4 << 20;
constexpr size_t kSmallestBlockSize = 4 + kMaxTextLength;
constexpr size_t kSlack = 64;             // zeroed bytes after the data, so that vector loads may overrun
constexpr int kCancelCheckInterval = 64;  // records between two looks at the cancel flag

// How the query is found in a field.
enum class MatchMode {
    kEmpty,     // the empty query: every field contains it
    kExact,     // bytes lower on their own: a block hit is a field hit
    kVerified,  // double-byte code pages: a block hit is a candidate, confirmed by lowering the field
    kLowered,   // UTF-8 with letters beyond ASCII: every field is lowered and searched
};

class QueryMatcher {
public:
    QueryMatcher(std::string_view queryIn, const CodePageCase& textCaseIn) : textCase(textCaseIn) {
        query.assign(queryIn);
        textCase.Lower(query);
        if (query.empty()) {
            mode = MatchMode::kEmpty;
        } else if (textCase.IsSingleByte()) {
            mode = MatchMode::kExact;
        } else if (textCase.IsUtf8()) {
            bool ascii = std::all_of(query.begin(), query.end(), [](char c) { return (c & 0x80) == 0; });
            mode = ascii ? MatchMode::kExact : MatchMode::kLowered;
        } else {
            mode = MatchMode::kVerified;
        }
        // Every byte compares through the code page's byte lowering; for double-byte code pages this
        // finds a superset of the real hits, since lowering is idempotent.
        for (char c : query) {
            folded.push_back(textCase.ByteLower(static_cast<uint8_t>(c)));
        }
        for (unsigned b = 0; b < 256; ++b) {
            const uint8_t lowered = textCase.ByteLower(static_cast<uint8_t>(b));
            if (!folded.empty() && lowered == folded.front()) {
                firstVariants.push_back(static_cast<uint8_t>(b));
            }
            if (!folded.empty() && lowered == folded.back()) {
                lastVariants.push_back(static_cast<uint8_t>(b));
            }
        }
        scratch = std::make_unique<char[]>(kMaxTextLength);
    }

    MatchMode Mode() const { return mode; }
    size_t Length() const { return query.size(); }

    // The positions in data[0, size) where the folded query starts, ascending. data[size, size + kSlack)
    // must be readable.
    void FindCandidates(const uint8_t* data, size_t size, std::vector<uint32_t>& out) const {
        out.clear();
        const size_t n = folded.size();
        if (mode == MatchMode::kEmpty || mode == MatchMode::kLowered || size < n) {
            return;
        }
        const size_t last = size - n;  // the last possible start
        size_t start = 0;
#if defined(__SSE2__)
        if (firstVariants.size() <= 2 && lastVariants.size() <= 2) {
            const __m128i f0 = _mm_set1_epi8(static_cast<char>(firstVariants[0]));
            const __m128i f1 = _mm_set1_epi8(static_cast<char>(firstVariants.back()));
            const __m128i l0 = _mm_set1_epi8(static_cast<char>(lastVariants[0]));
            const __m128i l1 = _mm_set1_epi8(static_cast<char>(lastVariants.back()));
            for (; start + 16 <= last + 1; start += 16) {
                const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + start));
                const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + start + n - 1));
                const __m128i firstHit = _mm_or_si128(_mm_cmpeq_epi8(a, f0), _mm_cmpeq_epi8(a, f1));
                const __m128i lastHit = _mm_or_si128(_mm_cmpeq_epi8(b, l0), _mm_cmpeq_epi8(b, l1));
                unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(firstHit, lastHit)));
                while (mask != 0) {
                    const size_t position = start + static_cast<size_t>(__builtin_ctz(mask));
                    if (Matches(data + position)) {
                        out.push_back(static_cast<uint32_t>(position));
                    }
                    mask &= mask - 1;
                }
            }
        }
#endif
        for (size_t position = start; position <= last; ++position) {
            if (textCase.ByteLower(data[position]) == folded[0] && Matches(data + position)) {
                out.push_back(static_cast<uint32_t>(position));
            }
        }
    }

    // Whether the text holds the query, given that the candidate test found a start in it.
    bool Confirm(const uint8_t* text, size_t size) const {
        if (mode == MatchMode::kExact) {
            return true;
        }
        if (mode == MatchMode::kEmpty) {
            return true;
        }
        std::memcpy(scratch.get(), text, size);
        textCase.Lower(scratch.get(), size);
        return std::search(scratch.get(), scratch.get() + size, query.begin(), query.end()) !=
               scratch.get() + size;
    }

private:
    bool Matches(const uint8_t* at) const {
        for (size_t i = 0; i < folded.size(); ++i) {
            if (textCase.ByteLower(at[i]) != folded[i]) {
                return false;
            }
        }
        return true;
    }

    const CodePageCase& textCase;
    std::string query;  // lower-cased
    std::vector<uint8_t> folded;
    std::vector<uint8_t> firstVariants;
    std::vector<uint8_t> lastVariants;
    MatchMode mode = MatchMode::kExact;
    std::unique_ptr<char[]> scratch;
};

// The index file in large blocks, with the candidate positions of the current block.
class BlockReader {
public:
    BlockReader(std::FILE* fileIn, const QueryMatcher& matcherIn, size_t blockSizeIn)
        : file(fileIn),
          matcher(matcherIn),
          blockSize(blockSizeIn),
          data(std::make_unique<uint8_t[]>(blockSize + kSlack)) {}

    // Makes `count` bytes available at the read position; false at the end of the file.
    bool Ensure(size_t count) {
        if (size - position >= count) {
            return true;
        }
        if (!atEnd) {
            Refill();
        }
        return size - position >= count;
    }
    // Consumes up to `count` bytes (a short read takes what there is).
    void Skip(size_t count) { position += std::min(count, size - position); }
    const uint8_t* At() const { return data.get() + position; }
    size_t Position() const { return position; }
    // The offset of the read position in the file.
    int64_t Offset() const { return base + static_cast<int64_t>(position); }
    const uint8_t* Data() const { return data.get(); }

    // True when some candidate starts in [from, to - query length] of the block.
    bool HasCandidate(size_t from, size_t to) {
        while (next < candidates.size() && candidates[next] < from) {
            ++next;
        }
        return next < candidates.size() && candidates[next] + matcher.Length() <= to;
    }

private:
    void Refill() {
        base += static_cast<int64_t>(position);
        std::memmove(data.get(), data.get() + position, size - position);
        size -= position;
        position = 0;
        while (size < blockSize && !atEnd) {
            const size_t read = std::fread(data.get() + size, 1, blockSize - size, file);
            size += read;
            atEnd = read == 0;
        }
        std::memset(data.get() + size, 0, kSlack);
        matcher.FindCandidates(data.get(), size, candidates);
        next = 0;
    }

    std::FILE* file;
    const QueryMatcher& matcher;
    size_t blockSize;
    std::unique_ptr<uint8_t[]> data;
    size_t size = 0;
    size_t position = 0;
    int64_t base = 0;  // file offset of data[0]
    bool atEnd = false;
    std::vector<uint32_t> candidates;
    size_t next = 0;
};

}  // namespace

bool ScanIndex(const std::string& indexPath, std::string_view query, const CodePageCase& textCase,
               const std::function<void(const std::string& path, const std::string& thumbnail)>& onHit,
               const std::function<bool()>& isCancelled, size_t blockSize, IndexStop* stop) {
    ScopedFile file(std::fopen(indexPath.c_str(), "rb"));
    if (!file) {
        return false;
    }
    const QueryMatcher matcher(query, textCase);
    BlockReader reader(file.Get(), matcher,
                       blockSize == 0 ? kDefaultBlockSize : std::max(blockSize, kSmallestBlockSize));
    std::string path;
    std::string thumbnail;
    IndexStop where;

    // Whether the text [start, start + length) holds the query from `searchFrom` on.
    auto textMatches = [&](size_t start, size_t length, size_t searchFrom) {
        switch (matcher.Mode()) {
            case MatchMode::kEmpty:
                return true;
            case MatchMode::kLowered:
                return matcher.Confirm(reader.Data() + searchFrom, start + length - searchFrom);
            default:
                return reader.HasCandidate(searchFrom, start + length) &&
                       matcher.Confirm(reader.Data() + searchFrom, start + length - searchFrom);
        }
    };

    for (uint64_t record = 0;; ++record) {
        if (record % kCancelCheckInterval == 0 && isCancelled && isCancelled()) {
            return true;  // `stop` stays as it was: the scan did not reach an end
        }
        const int64_t recordStart = reader.Offset();
        if (!reader.Ensure(1)) {
            where.end = IndexEnd::kClean;
            where.readableEnd = recordStart;
            break;
        }
        RecordCursor cursor;
        int64_t readableEnd = recordStart;
        bool matched = false;
        bool cut = false;
        bool unreadable = false;
        while (!cursor.IsComplete()) {
            const RecordField field = cursor.Next();
            if (!reader.Ensure(4)) {
                reader.Skip(4);
                cut = true;
                break;
            }
            const RecordCursor::Step step = cursor.Take(ReadLittleEndian32(reader.At()));
            reader.Skip(4);
            if (step == RecordCursor::Step::kUnreadable) {
                unreadable = true;
                break;
            }
            if (step == RecordCursor::Step::kNamesEnd) {
                where.namesEnded = true;
                readableEnd = reader.Offset();
                break;
            }
            const uint32_t length = cursor.TextLength();
            if (!reader.Ensure(length)) {
                reader.Skip(length);
                cut = true;
                break;
            }
            const size_t start = reader.Position();
            if (field == RecordField::kPath) {
                // Only the file name of the path is searched.
                if (matcher.Mode() == MatchMode::kEmpty || reader.HasCandidate(start, start + length) ||
                    matcher.Mode() == MatchMode::kLowered) {
                    const uint8_t* text = reader.At();
                    size_t name = length;
                    while (name > 0 && text[name - 1] != '\\' && text[name - 1] != '/') {
                        --name;
                    }
                    matched = textMatches(start, length, start + name);
                }
                path.assign(reinterpret_cast<const char*>(reader.At()), length);
            } else if (field == RecordField::kThumbnail) {
                thumbnail.assign(reinterpret_cast<const char*>(reader.At()), length);  // not searched
            } else if (field == RecordField::kCaption || field == RecordField::kLayerName) {
                if (!matched) {
                    matched = textMatches(start, length, start);
                }
            }
            reader.Skip(length);
            readableEnd = reader.Offset();
        }
        if (unreadable) {
            where.end = IndexEnd::kUnreadable;
            where.readableEnd = recordStart;
            break;
        }
        if (cut && !cursor.IsReadableIfCut()) {
            where.end = IndexEnd::kCutShort;
            where.readableEnd = recordStart;
            break;
        }
        if (matched) {
            onHit(path, thumbnail);
        }
        if (cut) {
            where.end = IndexEnd::kCutShort;
            where.readableEnd = readableEnd;
            break;
        }
    }
    if (stop != nullptr) {
        *stop = where;
    }
    return true;
}
