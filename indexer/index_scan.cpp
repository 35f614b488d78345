// The search scan. The result is that of reading the index record by record, lower-casing each file
// name, caption and layer name and looking for the lower-cased query in it. Instead, the file is taken a
// window at a time (platform.h says why windows are read rather than mapped by default); in each window
// the raw bytes are searched for candidates (two of the query's rarest bytes compared 16 positions at a
// time in every letter case, then the whole query) a short stretch ahead of the walk over the records,
// so that both passes find the bytes in the processor's cache. Records are measured with MeasureRecord,
// which follows the same rule as every reader; only a record that holds a candidate (or crosses the end
// of a window, or the end of the readable part) is walked field by field, to find the field that holds
// the candidate.
#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "indexer/platform.h"
#include "indexer/search_index.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// A read window stays in the second-level cache while it is searched and walked; a mapped one is large,
// as each mapping costs system calls and page-table work.
constexpr size_t kReadWindowSize = 256 << 10;
constexpr size_t kMappedWindowSize = 16 << 20;
constexpr size_t kLongestField = 4 + kMaxTextLength;
// Candidates are found this far ahead of the record walk: small enough to stay in the first-level cache.
constexpr size_t kCandidateChunk = 16 << 10;
constexpr uint64_t kCancelCheckInterval = 64;  // records between two looks at the cancel flag

// How the query is found in a field.
enum class MatchMode {
    kEmpty,     // the empty query: every field contains it
    kExact,     // bytes lower on their own: a candidate is a hit of the field that holds it
    kVerified,  // double-byte code pages: a candidate is confirmed by lowering the field
    kLowered,   // UTF-8 with letters beyond ASCII: every field is lowered and searched
};

// How often a lower-cased byte turns up in paths, thumbnail paths, captions and names (higher: more
// often). Only the order matters: the candidate test compares the query's two rarest bytes.
int ByteFrequency(uint8_t byte) {
    if (byte == ' ' || byte == '\\' || byte == '/' || byte == '.') {
        return 100;
    }
    if (byte >= '0' && byte <= '9') {
        return 80;
    }
    if (byte >= 'a' && byte <= 'z') {
        static constexpr char kLettersByFrequency[] = "etaoinsrhldcumfpgwybvkxjqz";
        const char* at = std::strchr(kLettersByFrequency, byte);
        return 75 - static_cast<int>(at - kLettersByFrequency) * 2;
    }
    if (byte == '_' || byte == '-' || byte == ':') {
        return 40;
    }
    return byte < 0x80 && byte >= 0x20 ? 10 : 1;
}

// One byte of the query as the vector test checks it: a data byte matches when (byte | orMask) equals
// one of two values. That covers a byte without letter case (one value), an ASCII-like pair of cases
// that differ in bit 5 (or 0x20, one value) and any other pair.
struct Probe {
    size_t offset = 0;
    uint8_t orMask = 0;
    uint8_t first = 0;
    uint8_t second = 0;
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
        ChooseProbes();
        scratch = std::make_unique<char[]>(kMaxTextLength);
    }

    MatchMode Mode() const { return mode; }
    size_t Length() const { return query.size(); }

    // Appends the positions p in [from, to) where the folded query starts in data[0, size), ascending;
    // p + Length() <= size for every p given.
    void FindCandidates(const uint8_t* data, size_t size, size_t from, size_t to,
                        std::vector<uint32_t>& out) const {
        const size_t n = folded.size();
        if (n == 0 || size < n) {
            return;
        }
        to = std::min(to, size - n + 1);
        size_t position = from;
#if defined(__SSE2__)
        if (vectorProbes) {
            // The common probes compare against one value; the loop is made for each mix.
            const bool single0 = probes[0].first == probes[0].second;
            const bool single1 = probes[1].first == probes[1].second;
            if (single0 && single1) {
                position = FindVectorCandidates<true, true>(data, from, to, out);
            } else if (single0) {
                position = FindVectorCandidates<true, false>(data, from, to, out);
            } else if (single1) {
                position = FindVectorCandidates<false, true>(data, from, to, out);
            } else {
                position = FindVectorCandidates<false, false>(data, from, to, out);
            }
        }
#endif
        for (; position < to; ++position) {
            if (textCase.ByteLower(data[position + probes[0].offset]) == folded[probes[0].offset] &&
                Matches(data + position)) {
                out.push_back(static_cast<uint32_t>(position));
            }
        }
    }

#if defined(__SSE2__)
    // The vector part of FindCandidates: 32 positions a round, while they fit before `to`. Returns the
    // first position it did not test.
    template <bool kSingle0, bool kSingle1>
    size_t FindVectorCandidates(const uint8_t* data, size_t from, size_t to,
                                std::vector<uint32_t>& out) const {
        const __m128i or0 = _mm_set1_epi8(static_cast<char>(probes[0].orMask));
        const __m128i a0 = _mm_set1_epi8(static_cast<char>(probes[0].first));
        const __m128i b0 = _mm_set1_epi8(static_cast<char>(probes[0].second));
        const __m128i or1 = _mm_set1_epi8(static_cast<char>(probes[1].orMask));
        const __m128i a1 = _mm_set1_epi8(static_cast<char>(probes[1].first));
        const __m128i b1 = _mm_set1_epi8(static_cast<char>(probes[1].second));
        const uint8_t* at0 = data + probes[0].offset;
        const uint8_t* at1 = data + probes[1].offset;
        auto test = [&](size_t position) {
            const __m128i x0 =
                _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at0 + position)), or0);
            const __m128i x1 =
                _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at1 + position)), or1);
            __m128i hit0 = _mm_cmpeq_epi8(x0, a0);
            if constexpr (!kSingle0) {
                hit0 = _mm_or_si128(hit0, _mm_cmpeq_epi8(x0, b0));
            }
            __m128i hit1 = _mm_cmpeq_epi8(x1, a1);
            if constexpr (!kSingle1) {
                hit1 = _mm_or_si128(hit1, _mm_cmpeq_epi8(x1, b1));
            }
            return static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(hit0, hit1)));
        };
        // The loads reach position + 31 + offset <= to - 1 + Length() - 1, inside the data.
        size_t position = from;
        for (; position + 32 <= to; position += 32) {
            uint32_t mask = test(position) | (test(position + 16) << 16);
            while (mask != 0) {
                const size_t candidate = position + static_cast<size_t>(__builtin_ctz(mask));
                if (Matches(data + candidate)) {
                    out.push_back(static_cast<uint32_t>(candidate));
                }
                mask &= mask - 1;
            }
        }
        return position;
    }
#endif

    // Whether the text holds the query, given that the candidate test found a start in it.
    bool Confirm(const uint8_t* text, size_t size) const {
        if (mode == MatchMode::kExact || mode == MatchMode::kEmpty) {
            return true;
        }
        std::memcpy(scratch.get(), text, size);
        textCase.Lower(scratch.get(), size);
        return std::search(scratch.get(), scratch.get() + size, query.begin(), query.end()) !=
               scratch.get() + size;
    }

private:
    void ChooseProbes() {
        // The two rarest positions whose byte has at most two forms; the scalar loop alone where no
        // such byte exists.
        std::vector<std::pair<int, size_t>> ranked;
        for (size_t i = 0; i < folded.size(); ++i) {
            int forms = 0;
            for (unsigned b = 0; b < 256; ++b) {
                forms += textCase.ByteLower(static_cast<uint8_t>(b)) == folded[i] ? 1 : 0;
            }
            if (forms <= 2) {
                ranked.emplace_back(ByteFrequency(folded[i]), i);
            }
        }
        if (ranked.empty()) {
            return;
        }
        std::stable_sort(ranked.begin(), ranked.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        probes[0] = MakeProbe(ranked[0].second);
        probes[1] = MakeProbe(ranked.size() > 1 ? ranked[1].second : ranked[0].second);
        vectorProbes = true;
    }

    Probe MakeProbe(size_t offset) const {
        std::vector<uint8_t> forms;
        for (unsigned b = 0; b < 256; ++b) {
            if (textCase.ByteLower(static_cast<uint8_t>(b)) == folded[offset]) {
                forms.push_back(static_cast<uint8_t>(b));
            }
        }
        Probe probe;
        probe.offset = offset;
        probe.first = forms[0];
        probe.second = forms.back();
        if (forms.size() == 2 && (forms[0] ^ forms[1]) == 0x20) {
            probe.orMask = 0x20;
            probe.first = probe.second = forms[0] | 0x20;
        }
        return probe;
    }

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
    Probe probes[2];
    bool vectorProbes = false;
    MatchMode mode = MatchMode::kExact;
    std::unique_ptr<char[]> scratch;
};

// The index file, one window at a time, with the candidates of the current window found a chunk ahead
// of the walk.
class IndexWindow {
public:
    IndexWindow(const QueryMatcher& matcherIn, size_t windowSizeIn)
        : matcher(matcherIn), windowSize(windowSizeIn) {}

    bool Open(const std::string& path) { return file.Open(path); }
    int64_t FileSize() const { return file.Size(); }

    // Makes bytes [offset, offset + count) readable through At; count at most kLongestField. False
    // when they lie beyond the end of the file (or cannot be read).
    bool Ensure(int64_t offset, size_t count) {
        if (offset >= base && offset + static_cast<int64_t>(count) <= base + static_cast<int64_t>(size)) {
            return true;
        }
        if (offset + static_cast<int64_t>(count) > file.Size()) {
            return false;
        }
        return MapFrom(offset);
    }
    // Maps a new window at `offset` when the current one does not hold it, or when `force` and the
    // current one neither starts there nor reaches the end of the file.
    bool EnsureStart(int64_t offset, bool force) {
        const bool held = offset >= base && offset < base + static_cast<int64_t>(size);
        if (held && (!force || offset == base || ReachesEndOfFile())) {
            return true;
        }
        return MapFrom(offset);
    }
    // Bytes of the window from `offset` on.
    size_t Available(int64_t offset) const {
        return static_cast<size_t>(base + static_cast<int64_t>(size) - offset);
    }
    bool ReachesEndOfFile() const { return base + static_cast<int64_t>(size) == file.Size(); }
    const uint8_t* At(int64_t offset) const { return data + (offset - base); }

    // Whether a candidate starts in [from, to - query length] (file offsets inside the window).
    bool HasCandidate(int64_t from, int64_t to) {
        const auto start = static_cast<size_t>(from - base);
        const auto end = static_cast<size_t>(to - base);
        if (end - start < matcher.Length()) {
            return false;
        }
        const size_t lastStart = end - matcher.Length();
        while (scanned <= lastStart) {
            FindMore();
        }
        while (next < candidates.size() && candidates[next] < start) {
            ++next;
        }
        return next < candidates.size() && candidates[next] <= lastStart;
    }

private:
    bool MapFrom(int64_t offset) {
        const size_t length =
            static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(windowSize), file.Size() - offset));
        data = file.View(offset, length);
        if (data == nullptr) {
            base = 0;
            size = 0;
            return false;
        }
        base = offset;
        size = length;
        candidates.clear();
        next = 0;
        scanned = 0;
        return true;
    }

    void FindMore() {
        // Candidates the walk has passed go, so that the list holds about one chunk's worth.
        candidates.erase(candidates.begin(), candidates.begin() + static_cast<std::ptrdiff_t>(next));
        next = 0;
        const size_t to = scanned + kCandidateChunk;
        matcher.FindCandidates(data, size, scanned, to, candidates);
        scanned = to;
#if defined(__SSE2__)
        // The walk over this chunk reads what is already in the cache; meanwhile the next chunk is on
        // its way from memory.
        for (size_t line = to; line < std::min(size, to + kCandidateChunk); line += 64) {
            _mm_prefetch(reinterpret_cast<const char*>(data + line), _MM_HINT_T0);
        }
#endif
    }

    FileWindow file;
    const QueryMatcher& matcher;
    size_t windowSize;
    const uint8_t* data = nullptr;
    int64_t base = 0;  // file offset of data[0]
    size_t size = 0;
    std::vector<uint32_t> candidates;  // window positions, ascending
    size_t next = 0;                   // the first candidate not yet passed by the walk
    size_t scanned = 0;                // candidates are known for starts below this position
};

// What the walk of one record found.
struct RecordWalk {
    enum class End : uint8_t { kComplete, kCut, kUnreadable } end = End::kComplete;
    bool matched = false;
    bool readableIfCut = false;
    bool namesEnded = false;
    int64_t readableEnd = 0;  // the end of its last complete field
};

class IndexScan {
public:
    IndexScan(const QueryMatcher& matcherIn, IndexWindow& windowIn) : matcher(matcherIn), window(windowIn) {}

    // The record at `start`, field by field: the general path, for records that hold a candidate or
    // that a window or the file cuts.
    RecordWalk Walk(int64_t start) {
        RecordWalk walk;
        RecordCursor cursor;
        int64_t at = start;
        walk.readableEnd = start;
        while (!cursor.IsComplete()) {
            const RecordField field = cursor.Next();
            if (!window.Ensure(at, 4)) {
                walk.end = RecordWalk::End::kCut;
                break;
            }
            const RecordCursor::Step step = cursor.Take(ReadLittleEndian32(window.At(at)));
            at += 4;
            if (step == RecordCursor::Step::kUnreadable) {
                walk.end = RecordWalk::End::kUnreadable;
                return walk;
            }
            if (step == RecordCursor::Step::kNamesEnd) {
                walk.namesEnded = true;
                walk.readableEnd = at;
                break;
            }
            const uint32_t length = cursor.TextLength();
            if (!window.Ensure(at, length)) {
                walk.end = RecordWalk::End::kCut;
                break;
            }
            const uint8_t* text = window.At(at);
            if (field == RecordField::kPath) {
                // Only the file name of the path is searched.
                size_t name = length;
                while (name > 0 && text[name - 1] != '\\' && text[name - 1] != '/') {
                    --name;
                }
                walk.matched = TextMatches(at + static_cast<int64_t>(name), at + length);
                path.assign(reinterpret_cast<const char*>(text), length);
            } else if (field == RecordField::kThumbnail) {
                thumbnail.assign(reinterpret_cast<const char*>(text), length);  // not searched
            } else if (field == RecordField::kCaption || field == RecordField::kLayerName) {
                walk.matched = walk.matched || TextMatches(at, at + length);
            }
            at += length;
            walk.readableEnd = at;
        }
        walk.readableIfCut = cursor.IsReadableIfCut();
        return walk;
    }

    // The path and thumbnail path of a whole record in the window (for the empty query's hits).
    void TakeNames(int64_t start) {
        const uint8_t* record = window.At(start);
        const uint32_t pathLength = ReadLittleEndian32(record);
        const uint8_t* thumbnailField = record + 4 + pathLength;
        path.assign(reinterpret_cast<const char*>(record + 4), pathLength);
        thumbnail.assign(reinterpret_cast<const char*>(thumbnailField + 4),
                         ReadLittleEndian32(thumbnailField));
    }

    std::string path;
    std::string thumbnail;

private:
    // Whether the text [from, to) of the window holds the query.
    bool TextMatches(int64_t from, int64_t to) {
        switch (matcher.Mode()) {
            case MatchMode::kEmpty:
                return true;
            case MatchMode::kLowered:
                return matcher.Confirm(window.At(from), static_cast<size_t>(to - from));
            default:
                return window.HasCandidate(from, to) &&
                       matcher.Confirm(window.At(from), static_cast<size_t>(to - from));
        }
    }

    const QueryMatcher& matcher;
    IndexWindow& window;
};

}  // namespace

namespace {

using HitFunction = std::function<void(const std::string& path, const std::string& thumbnail)>;

// Ends the scan at `readableEnd`: the index ended there as `end` says.
inline bool EndScan(IndexStop& where, IndexEnd end, int64_t readableEnd) {
    where.end = end;
    where.readableEnd = readableEnd;
    return false;
}

// The fast path: a whole record in the window. Only one that holds a candidate (or every record, when
// every field is lowered) is walked; one without is measured and passed. Returns where the next starts.
inline int64_t PassWholeRecord(IndexScan& scan, IndexWindow& window, MatchMode mode, int64_t at,
                               const RecordExtent& extent, IndexStop& where, const HitFunction& onHit) {
    const int64_t end = at + static_cast<int64_t>(extent.size);
    bool matched = mode == MatchMode::kEmpty;
    if (mode == MatchMode::kLowered || (mode != MatchMode::kEmpty && window.HasCandidate(at, end))) {
        matched = scan.Walk(at).matched;
    } else if (matched) {
        scan.TakeNames(at);
    }
    if (matched) {
        onHit(scan.path, scan.thumbnail);
    }
    where.namesEnded = where.namesEnded || extent.namesEnded;
    return end;
}

// A record that runs past the window or the file, walked field by field. False when the scan ends
// with it; else `at` is where the next starts.
inline bool PassLongRecord(IndexScan& scan, int64_t& at, IndexStop& where, const HitFunction& onHit) {
    const RecordWalk walk = scan.Walk(at);
    where.namesEnded = where.namesEnded || walk.namesEnded;
    if (walk.end == RecordWalk::End::kUnreadable) {
        return EndScan(where, IndexEnd::kUnreadable, at);
    }
    if (walk.end == RecordWalk::End::kCut && !walk.readableIfCut) {
        return EndScan(where, IndexEnd::kCutShort, at);
    }
    if (walk.matched) {
        onHit(scan.path, scan.thumbnail);
    }
    if (walk.end == RecordWalk::End::kCut) {
        return EndScan(where, IndexEnd::kCutShort, walk.readableEnd);
    }
    at = walk.readableEnd;
    return true;
}

// The record at `at`: reported when it matches, and `at` moved to the next one. False when the scan
// ends here, with `where` saying how the index ended.
inline bool PassRecord(IndexScan& scan, IndexWindow& window, MatchMode mode, int64_t& at, IndexStop& where,
                       const HitFunction& onHit) {
    if (at >= window.FileSize()) {
        return EndScan(where, IndexEnd::kClean, at);
    }
    if (!window.EnsureStart(at, false)) {
        return EndScan(where, IndexEnd::kCutShort, at);  // the rest of the file cannot be read
    }
    RecordExtent extent = MeasureRecord(window.At(at), window.Available(at));
    if (extent.end == RecordEnd::kCut && !window.ReachesEndOfFile()) {
        if (!window.EnsureStart(at, true)) {
            return EndScan(where, IndexEnd::kCutShort, at);
        }
        extent = MeasureRecord(window.At(at), window.Available(at));
    }
    if (extent.end == RecordEnd::kUnreadable) {
        return EndScan(where, IndexEnd::kUnreadable, at);
    }
    if (extent.end == RecordEnd::kComplete) {
        at = PassWholeRecord(scan, window, mode, at, extent, where, onHit);
        return true;
    }
    return PassLongRecord(scan, at, where, onHit);
}

}  // namespace

bool ScanIndex(const std::string& indexPath, std::string_view query, const CodePageCase& textCase,
               const HitFunction& onHit, const std::function<bool()>& isCancelled, size_t blockSize,
               IndexStop* stop) {
    const QueryMatcher matcher(query, textCase);
    const size_t defaultSize = FileWindowsAreMapped() ? kMappedWindowSize : kReadWindowSize;
    IndexWindow window(matcher, blockSize == 0 ? defaultSize : std::max(blockSize, kLongestField));
    if (!window.Open(indexPath)) {
        return false;
    }
    IndexScan scan(matcher, window);
    const MatchMode mode = matcher.Mode();
    IndexStop where;
    int64_t at = 0;  // where the next record starts
    for (uint64_t record = 0;; ++record) {
        if (record % kCancelCheckInterval == 0 && isCancelled && isCancelled()) {
            return true;  // `stop` stays as it was: the scan did not reach an end
        }
        if (!PassRecord(scan, window, mode, at, where, onHit)) {
            break;
        }
    }
    if (stop != nullptr) {
        *stop = where;
    }
    return true;
}
