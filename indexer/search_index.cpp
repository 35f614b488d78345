#include "indexer/search_index.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <memory>

#include "indexer/environment.h"
#include "foundation/little_endian.h"
#include "indexer/file_list.h"
#include "taglib/image_tags.h"
#include "indexer/platform.h"
#include "indexer/worker_thread.h"

std::string IndexPathFor(const std::string& programFolder) {
    return JoinPath(programFolder, "index");
}

std::string DamagedIndexPathFor(const std::string& indexPath) {
    return indexPath + ".damaged";
}

std::string IndexLockPathFor(const std::string& indexPath) {
    return indexPath + ".lock";
}

bool CreateIndexIfMissing(const std::string& indexPath) {
    if (indexPath.empty()) {
        return false;
    }
    ScopedFile existing(std::fopen(indexPath.c_str(), "rb"));
    if (existing) {
        return true;
    }
    ScopedFile created(std::fopen(indexPath.c_str(), "wb"));
    return created && created.Close();
}

bool IndexOutput::Open(const std::string& path, const char* mode) {
    bool opened = false;
    auto open = [&] {
        file.Reset(std::fopen(path.c_str(), mode));
        // An appending stream starts at the end, so that Position gives the offset of the next record.
        opened = file && std::fseek(file.Get(), 0, SEEK_END) == 0;
    };
    WriteGuardedBy(run, open);
    return opened;
}

bool IndexOutput::IsOpen() const {
    return static_cast<bool>(file);
}

bool IndexOutput::Close() {
    bool closed = true;
    auto close = [&] { closed = file.Close(); };
    WriteGuardedBy(run, close);
    return closed;
}

bool IndexOutput::Put(const void* data, size_t size) {
    if (!file) {
        return false;
    }
    if (size == 0) {
        return true;
    }
    if (sizeLimit >= 0) {
        const int64_t position = TellFile(file.Get());
        const int64_t room = position < 0 ? 0 : std::max<int64_t>(0, sizeLimit - position);
        if (static_cast<int64_t>(size) > room) {
            std::fwrite(data, 1, static_cast<size_t>(room), file.Get());
            std::fflush(file.Get());
            return false;
        }
    }
    return std::fwrite(data, 1, size, file.Get()) == size;
}

bool IndexOutput::WriteText(std::string_view text) {
    // Length and text go out together, then the stream is flushed: a run that stops leaves at most
    // one incomplete record at the end of the file.
    uint8_t length[4];
    WriteLittleEndian32(length, static_cast<uint32_t>(text.size()));
    bool written = false;
    auto write = [&] {
        written = Put(length, 4) && Put(text.data(), text.size()) && std::fflush(file.Get()) == 0;
    };
    WriteGuardedBy(run, write);
    return written;
}

bool IndexOutput::WriteCount(uint32_t count) {
    uint8_t bytes[4];
    WriteLittleEndian32(bytes, count);
    bool written = false;
    auto write = [&] { written = Put(bytes, 4) && std::fflush(file.Get()) == 0; };
    WriteGuardedBy(run, write);
    return written;
}

int64_t IndexOutput::Position() {
    int64_t position = -1;
    auto tell = [&] {
        if (file) {
            position = TellFile(file.Get());
        }
    };
    WriteGuardedBy(run, tell);
    return position;
}

bool IndexOutput::CutBackTo(int64_t position) {
    bool cut = false;
    auto truncate = [&] { cut = file && position >= 0 && TruncateFile(file.Get(), position); };
    WriteGuardedBy(run, truncate);
    return cut;
}

AppendResult AppendRecord(IndexOutput& output, const std::string& path,
                          const MakeThumbnailFunction& makeThumbnail, const ImageTags& tags,
                          const CodePageCase& textCase) {
    if (path.size() > kMaxPathLength) {
        return AppendResult::kPathTooLong;
    }
    const int64_t start = output.Position();
    auto fail = [&](AppendResult result = AppendResult::kWriteFailed) {
        // A record cut short would hide whatever is appended after it: take it out again.
        output.CutBackTo(start);
        return result;
    };
    if (start < 0 || !output.WriteText(path)) {
        return fail();
    }
    std::optional<std::string> made = makeThumbnail ? makeThumbnail() : std::string();
    if (!made) {
        return fail(AppendResult::kThumbnailFailed);
    }
    std::string thumbnail = std::move(*made);
    if (thumbnail.size() > kMaxPathLength) {
        thumbnail.clear();
    }
    if (!output.WriteText(thumbnail)) {
        return fail();
    }
    TagCaption caption;
    std::string_view captionText;
    if (tags.GetCaption(caption)) {
        captionText = caption.text;
        captionText = captionText.substr(0, textCase.CutAtCharBoundary(captionText, kMaxTextLength));
    }
    if (!output.WriteText(captionText)) {
        return fail();
    }
    const int count = tags.LayerCount();
    if (!output.WriteCount(static_cast<uint32_t>(count < 0 ? 0 : count))) {
        return fail();
    }
    for (int i = 0; i < count; ++i) {
        TagLayer layer;
        std::string_view name;
        if (tags.GetLayer(i, layer)) {
            name = layer.name;
            name = name.substr(0, textCase.CutAtCharBoundary(name, kMaxTextLength));
        }
        if (!output.WriteText(name)) {
            return fail();
        }
    }
    return AppendResult::kWritten;
}

namespace {

void AppendLength(std::string& out, uint32_t value) {
    uint8_t bytes[4];
    WriteLittleEndian32(bytes, value);
    out.append(reinterpret_cast<const char*>(bytes), 4);
}

void AppendText(std::string& out, std::string_view text) {
    AppendLength(out, static_cast<uint32_t>(text.size()));
    out.append(text);
}

// A record as readers read it: the layer count is the number of names they got.
void AppendRecordBytes(std::string& out, const IndexRecord& record) {
    AppendText(out, record.path);
    AppendText(out, record.thumbnail);
    AppendText(out, record.caption);
    AppendLength(out, static_cast<uint32_t>(record.layers.size()));
    for (const std::string& name : record.layers) {
        AppendText(out, name);
    }
}

// Copies a file through `to` + ".new", which then replaces `to`. Inside the run's write gate.
bool CopyFileReplacing(const std::string& from, const std::string& to) {
    ScopedFile in(std::fopen(from.c_str(), "rb"));
    const std::string temporary = to + ".new";
    ScopedFile out(std::fopen(temporary.c_str(), "wb"));
    if (!in || !out) {
        return false;
    }
    std::vector<char> buffer(1 << 16);
    bool written = true;
    for (;;) {
        const size_t read = std::fread(buffer.data(), 1, buffer.size(), in.Get());
        if (read == 0) {
            written = std::ferror(in.Get()) == 0;
            break;
        }
        if (std::fwrite(buffer.data(), 1, read, out.Get()) != read) {
            written = false;
            break;
        }
    }
    written = FlushFileToDisk(out.Get()) && written;
    written = out.Close() && written;
    if (!written || !ReplaceFileAtomically(temporary, to)) {
        DeleteFileAt(temporary);
        return false;
    }
    return true;
}

}  // namespace

namespace {

// One rewrite of the index through its ".new" copy: the records that stay are gathered and written in
// large pieces, and the copy takes the index's place at the end. Every change of a file passes the
// run's write gate.
class IndexRewrite {
public:
    IndexRewrite(const std::string& indexPathIn, WorkerRun* runIn)
        : indexPath(indexPathIn), temporaryPath(indexPathIn + ".new"), run(runIn) {}

    // Creates the copy; kDone when it is open.
    RemoveResult OpenCopy() {
        if (!WriteGuardedBy(run, [&] { copy.Reset(std::fopen(temporaryPath.c_str(), "wb")); })) {
            return RemoveResult::kAbandoned;
        }
        if (!copy) {
            return RemoveResult::kNoTemporaryFile;
        }
        // The copy is written unbuffered from a buffer of ours, so that nothing of it reaches the disk
        // after the run has been abandoned (not even when the stream is closed).
        std::setvbuf(copy.Get(), nullptr, _IONBF, 0);
        return RemoveResult::kDone;
    }

    // False once a write failed or the run was abandoned: nothing more is worth copying.
    bool CanGoOn() const { return !abandoned && !writeFailed && (run == nullptr || !run->IsAbandoned()); }

    void Keep(const IndexRecord& record) {
        AppendRecordBytes(pending, record);
        if (pending.size() >= kFlushSize) {
            Flush();
        }
    }

    // Puts the copy on disk and in the index's place, after saving the old index as the damaged copy
    // when `keepOldIndex`; else deletes it. Sets the outcome's result and keptDamaged.
    void Finish(bool keepOldIndex, RewriteOutcome& outcome) {
        Flush();
        bool replaced = false;
        WriteGuardedBy(run, [&] {
            writeFailed = !FlushFileToDisk(copy.Get()) || writeFailed;
            writeFailed = !copy.Close() || writeFailed;
            if (!writeFailed && !abandoned && keepOldIndex) {
                writeFailed = !CopyFileReplacing(indexPath, DamagedIndexPathFor(indexPath));
                outcome.keptDamaged = !writeFailed;
            }
            if (!writeFailed && !abandoned) {
                replaced = ReplaceFileAtomically(temporaryPath, indexPath);
            }
            if (!replaced) {
                DeleteFileAt(temporaryPath);
            }
        });
        if (abandoned || (run != nullptr && run->IsAbandoned() && !replaced)) {
            outcome.result = RemoveResult::kAbandoned;
        } else {
            outcome.result = replaced ? RemoveResult::kDone : RemoveResult::kWriteFailed;
        }
    }

private:
    static constexpr size_t kFlushSize = 1 << 20;

    void Flush() {
        if (pending.empty() || writeFailed || abandoned) {
            return;
        }
        if (!WriteGuardedBy(run, [&] {
                writeFailed = std::fwrite(pending.data(), 1, pending.size(), copy.Get()) != pending.size();
            })) {
            abandoned = true;
        }
        pending.clear();
    }

    const std::string& indexPath;
    const std::string temporaryPath;
    WorkerRun* run;
    ScopedFile copy;
    std::string pending;
    bool writeFailed = false;
    bool abandoned = false;
};

// Reads the index record by record, shows each to `onRecord` and copies those of files not in `files`.
// True when it read to the end of the index (a clean or a damaged one).
bool CopyKeptRecords(IndexReader& reader, const FileList& files, const std::function<void()>& report,
                     const RewriteVisitor& onRecord, IndexRewrite& rewrite) {
    IndexRecord record;
    while (rewrite.CanGoOn()) {
        if (report) {
            report();
        }
        if (!reader.Next(record)) {
            return true;
        }
        const bool kept = !files.Contains(record.path);
        if (onRecord) {
            onRecord(record, kept);
        }
        if (kept) {
            rewrite.Keep(record);
        }
    }
    return false;
}

}  // namespace

RewriteOutcome RemoveRecordsOfFiles(const std::string& indexPath, const FileList& files,
                                    const std::function<void()>& report, WorkerRun* run,
                                    const RewriteVisitor& onRecord) {
    RewriteOutcome outcome;
    IndexReader reader;
    if (!reader.Open(indexPath)) {
        return outcome;  // nothing to remove
    }
    IndexRewrite rewrite(indexPath, run);
    outcome.result = rewrite.OpenCopy();
    if (outcome.result != RemoveResult::kDone) {
        return outcome;
    }
    const bool readToTheEnd = CopyKeptRecords(reader, files, report, onRecord, rewrite);
    outcome.oldIndex = reader.Stop();
    reader.Close();
    // A cut-short last record is what a stopped job leaves; anything else the copy leaves out may be
    // someone's records, so the old file stays beside the index.
    const bool damaged =
        readToTheEnd && (outcome.oldIndex.end == IndexEnd::kUnreadable || outcome.oldIndex.namesEnded);
    rewrite.Finish(damaged, outcome);
    return outcome;
}

bool IndexReader::Open(const std::string& path) {
    file.Reset(std::fopen(path.c_str(), "rb"));
    position = 0;
    stop = IndexStop{};
    ended = false;
    return static_cast<bool>(file);
}

bool IndexReader::OpenAt(const std::string& path, int64_t offset) {
    if (!Open(path) || offset < 0 || !SeekFile(file.Get(), offset)) {
        file.Close();
        return false;
    }
    position = offset;
    return true;
}

int64_t IndexReader::Position() const {
    return file ? position : -1;
}

bool IndexReader::Read(void* data, size_t size) {
    if (size == 0) {
        return true;
    }
    const size_t read = file ? std::fread(data, 1, size, file.Get()) : 0;
    position += static_cast<int64_t>(read);
    return read == size;
}

bool IndexReader::Next(IndexRecord& record) {
    // Cleared, not replaced: the texts keep their buffers from record to record.
    record.path.clear();
    record.thumbnail.clear();
    record.caption.clear();
    record.layers.clear();
    if (ended || !file) {
        return false;
    }
    const int64_t start = position;
    int64_t readableEnd = start;
    RecordCursor cursor;
    bool cut = false;
    while (!cursor.IsComplete()) {
        const RecordField field = cursor.Next();
        uint8_t bytes[4];
        if (!Read(bytes, 4)) {
            cut = true;
            break;
        }
        const RecordCursor::Step step = cursor.Take(ReadLittleEndian32(bytes));
        if (step == RecordCursor::Step::kUnreadable) {
            ended = true;
            stop.end = IndexEnd::kUnreadable;
            stop.readableEnd = start;
            return false;
        }
        if (step == RecordCursor::Step::kNamesEnd) {
            stop.namesEnded = true;
            readableEnd = position;
            break;
        }
        std::string* text = nullptr;
        switch (field) {
            case RecordField::kPath:
                text = &record.path;
                break;
            case RecordField::kThumbnail:
                text = &record.thumbnail;
                break;
            case RecordField::kCaption:
                text = &record.caption;
                break;
            case RecordField::kLayerName:
                text = &record.layers.emplace_back();
                break;
            default:
                break;
        }
        if (text != nullptr) {
            text->resize(cursor.TextLength());
            if (!Read(text->data(), text->size())) {
                if (field == RecordField::kLayerName) {
                    record.layers.pop_back();
                }
                cut = true;
                break;
            }
        }
        readableEnd = position;
    }
    if (!cut) {
        stop.readableEnd = position;
        return true;
    }
    ended = true;
    if (position == start) {
        stop.end = IndexEnd::kClean;  // the file ends between two records
        stop.readableEnd = start;
        return false;
    }
    stop.end = IndexEnd::kCutShort;
    stop.readableEnd = cursor.IsReadableIfCut() ? readableEnd : start;
    return cursor.IsReadableIfCut();
}
