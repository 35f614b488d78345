#include "search_index.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <memory>

#include "environment.h"
#include "file_list.h"
#include "image_tags.h"
#include "platform.h"
#include "worker_thread.h"

namespace {

void PutLength(uint8_t* out, uint32_t value) {
    out[0] = static_cast<uint8_t>(value);
    out[1] = static_cast<uint8_t>(value >> 8);
    out[2] = static_cast<uint8_t>(value >> 16);
    out[3] = static_cast<uint8_t>(value >> 24);
}

uint32_t GetLength(const uint8_t* in) {
    return static_cast<uint32_t>(in[0]) | (static_cast<uint32_t>(in[1]) << 8) |
           (static_cast<uint32_t>(in[2]) << 16) | (static_cast<uint32_t>(in[3]) << 24);
}

}  // namespace

std::string IndexPathFor(const std::string& programFolder) {
    return JoinPath(programFolder, "index");
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
    if (run != nullptr) {
        run->WriteGuarded(open);
    } else {
        open();
    }
    return opened;
}

bool IndexOutput::IsOpen() const {
    return static_cast<bool>(file);
}

bool IndexOutput::Close() {
    bool closed = true;
    auto close = [&] { closed = file.Close(); };
    if (run != nullptr) {
        run->WriteGuarded(close);
    } else {
        close();
    }
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
    PutLength(length, static_cast<uint32_t>(text.size()));
    bool written = false;
    auto write = [&] {
        written = Put(length, 4) && Put(text.data(), text.size()) && std::fflush(file.Get()) == 0;
    };
    if (run != nullptr) {
        run->WriteGuarded(write);
    } else {
        write();
    }
    return written;
}

bool IndexOutput::WriteCount(uint32_t count) {
    uint8_t bytes[4];
    PutLength(bytes, count);
    bool written = false;
    auto write = [&] { written = Put(bytes, 4) && std::fflush(file.Get()) == 0; };
    if (run != nullptr) {
        run->WriteGuarded(write);
    } else {
        write();
    }
    return written;
}

int64_t IndexOutput::Position() {
    int64_t position = -1;
    auto tell = [&] {
        if (file) {
            position = TellFile(file.Get());
        }
    };
    if (run != nullptr) {
        run->WriteGuarded(tell);
    } else {
        tell();
    }
    return position;
}

bool IndexOutput::CutBackTo(int64_t position) {
    bool cut = false;
    auto truncate = [&] { cut = file && position >= 0 && TruncateFile(file.Get(), position); };
    if (run != nullptr) {
        run->WriteGuarded(truncate);
    } else {
        truncate();
    }
    return cut;
}

AppendResult AppendRecord(IndexOutput& output, const std::string& path,
                          const std::function<std::string()>& makeThumbnail, const ImageTags& tags,
                          const CodePageCase& textCase) {
    if (path.size() > kMaxPathLength) {
        return AppendResult::kPathTooLong;
    }
    const int64_t start = output.Position();
    auto fail = [&] {
        // A record cut short would end every later scan: take it out again.
        output.CutBackTo(start);
        return AppendResult::kWriteFailed;
    };
    if (start < 0 || !output.WriteText(path)) {
        return fail();
    }
    std::string thumbnail = makeThumbnail ? makeThumbnail() : std::string();
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

// The rewrite's reading side: one field at a time into a fixed buffer.
struct FieldReader {
    std::FILE* file;
    std::unique_ptr<uint8_t[]> buffer = std::make_unique<uint8_t[]>(4 + kMaxTextLength);
    size_t size = 0;  // bytes of the last complete field in `buffer`, length included

    bool ReadCount(uint32_t& value) {
        if (std::fread(buffer.get(), 1, 4, file) != 4) {
            return false;
        }
        value = GetLength(buffer.get());
        size = 4;
        return true;
    }
    bool ReadText(uint32_t limit) {
        uint32_t length = 0;
        if (!ReadCount(length) || length > limit) {
            return false;
        }
        if (std::fread(buffer.get() + 4, 1, length, file) != length) {
            return false;
        }
        size = 4 + length;
        return true;
    }
    std::string_view Text() const {
        return std::string_view(reinterpret_cast<const char*>(buffer.get()) + 4, size - 4);
    }
};

}  // namespace

RemoveResult RemoveRecordsOfFiles(const std::string& indexPath, const FileList& files,
                                  const std::function<void()>& report, WorkerRun* run) {
    ScopedFile index(std::fopen(indexPath.c_str(), "rb"));
    if (!index) {
        return RemoveResult::kDone;  // nothing to remove
    }
    const std::string temporaryPath = indexPath + ".new";
    ScopedFile copy;
    auto guarded = [run](auto&& action) {
        if (run == nullptr) {
            action();
            return true;
        }
        return run->WriteGuarded(action);
    };
    if (!guarded([&] { copy.Reset(std::fopen(temporaryPath.c_str(), "wb")); })) {
        return RemoveResult::kAbandoned;
    }
    if (!copy) {
        return RemoveResult::kNoTemporaryFile;
    }
    // The copy is written unbuffered from a buffer of ours, so that nothing of it reaches the disk
    // after the run has been abandoned (not even when the stream is closed).
    std::setvbuf(copy.Get(), nullptr, _IONBF, 0);
    constexpr size_t kFlushSize = 1 << 20;
    std::string pending;
    bool writeFailed = false;
    bool abandoned = false;
    auto flushPending = [&] {
        if (pending.empty() || writeFailed || abandoned) {
            return;
        }
        if (!guarded([&] {
                writeFailed = std::fwrite(pending.data(), 1, pending.size(), copy.Get()) != pending.size();
            })) {
            abandoned = true;
        }
        pending.clear();
    };
    FieldReader reader{index.Get()};
    auto keep = [&](bool kept) {
        if (kept) {
            pending.append(reinterpret_cast<const char*>(reader.buffer.get()), reader.size);
            if (pending.size() >= kFlushSize) {
                flushPending();
            }
        }
    };
    while (!abandoned && !writeFailed && (run == nullptr || !run->IsAbandoned())) {
        if (report) {
            report();
        }
        if (!reader.ReadText(kMaxPathLength)) {
            break;
        }
        const bool kept = !files.Contains(reader.Text());
        keep(kept);
        if (!reader.ReadText(kMaxPathLength)) {
            break;
        }
        keep(kept);
        if (!reader.ReadText(kMaxTextLength)) {
            break;
        }
        keep(kept);
        uint32_t count = 0;
        if (!reader.ReadCount(count)) {
            break;
        }
        keep(kept);
        bool complete = true;
        for (uint32_t i = 0; i < count && complete; ++i) {
            complete = reader.ReadText(kMaxTextLength);
            if (complete) {
                keep(kept);
            }
        }
        if (!complete) {
            break;
        }
    }
    flushPending();
    index.Close();
    bool replaced = false;
    guarded([&] {
        writeFailed = !FlushFileToDisk(copy.Get()) || writeFailed;
        writeFailed = !copy.Close() || writeFailed;
        if (!writeFailed && !abandoned) {
            replaced = ReplaceFileAtomically(temporaryPath, indexPath);
        }
        if (!replaced) {
            DeleteFileAt(temporaryPath);
        }
    });
    if (abandoned || (run != nullptr && run->IsAbandoned() && !replaced)) {
        return RemoveResult::kAbandoned;
    }
    return replaced ? RemoveResult::kDone : RemoveResult::kWriteFailed;
}

bool IndexReader::Open(const std::string& path) {
    file.Reset(std::fopen(path.c_str(), "rb"));
    return static_cast<bool>(file);
}

bool IndexReader::OpenAt(const std::string& path, int64_t offset) {
    if (!Open(path) || offset < 0 || !SeekFile(file.Get(), offset)) {
        file.Close();
        return false;
    }
    return true;
}

int64_t IndexReader::Position() const {
    return file ? TellFile(file.Get()) : -1;
}

bool IndexReader::ReadLength(uint32_t& length) {
    uint8_t bytes[4];
    if (!file || std::fread(bytes, 1, 4, file.Get()) != 4) {
        return false;
    }
    length = GetLength(bytes);
    return true;
}

bool IndexReader::ReadText(uint32_t length, std::string& text) {
    text.resize(length);
    return length == 0 || std::fread(text.data(), 1, length, file.Get()) == length;
}

bool IndexReader::Next(IndexRecord& record) {
    record = IndexRecord{};
    uint32_t length = 0;
    if (!ReadLength(length) || length > kMaxPathLength || !ReadText(length, record.path)) {
        return false;
    }
    if (!ReadLength(length) || length > kMaxPathLength || !ReadText(length, record.thumbnail)) {
        return false;
    }
    if (!ReadLength(length) || length > kMaxTextLength || !ReadText(length, record.caption)) {
        return false;
    }
    uint32_t count = 0;
    if (!ReadLength(count)) {
        return false;
    }
    for (uint32_t i = 0; i < count; ++i) {
        std::string name;
        if (!ReadLength(length) || length > kMaxTextLength) {
            break;
        }
        if (!ReadText(length, name)) {
            break;
        }
        record.layers.push_back(std::move(name));
    }
    return true;
}
