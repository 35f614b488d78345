#include "indexer/thumbnail_cache.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <string_view>
#include <vector>

#include "foundation/ascii_case.h"
#include "indexer/environment.h"
#include "foundation/little_endian.h"
#include "indexer/picture_renderer.h"
#include "indexer/platform.h"
#include "indexer/scoped_file.h"
#include "indexer/search_index.h"
#include "indexer/thumbnail_bitmap.h"
#include "indexer/worker_thread.h"

ThumbnailCache::ThumbnailCache(std::string programFolderIn, std::shared_ptr<IndexWriteLock> writeLockIn,
                               WorkerRun* runIn)
    : programFolder(std::move(programFolderIn)), writeLock(std::move(writeLockIn)), run(runIn) {
    if (!writeLock) {
        writeLock = std::make_shared<IndexWriteLock>();
    }
}

std::string ThumbnailCache::ThumbsFolder() const {
    return JoinPath(programFolder, "thumbs");
}

std::string ThumbnailCache::CounterPath() const {
    return JoinPath(programFolder, "tb.idx");
}

std::string ThumbnailCache::ThumbnailPath(int32_t number) const {
    char name[32];
    std::snprintf(name, sizeof(name), "%.6d.tb", static_cast<int>(number));
    return JoinPath(ThumbsFolder(), name);
}

namespace {

// The number of a name of digits followed by ".tb" (any letter case), or -1.
int32_t ParseThumbnailName(std::string_view name) {
    if (name.size() < 4 || !EndsWithIgnoringAsciiCase(name, ".tb")) {
        return -1;
    }
    const std::string_view digits = name.substr(0, name.size() - 3);
    int64_t number = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') {
            return -1;
        }
        number = number * 10 + (c - '0');
        if (number > INT32_MAX) {
            return -1;
        }
    }
    return static_cast<int32_t>(number);
}

}  // namespace

int32_t ThumbnailCache::NumberOf(const std::string& thumbnailPath) const {
    const std::string folder = JoinPath(ThumbsFolder(), "");
    if (thumbnailPath.size() <= folder.size() || thumbnailPath.compare(0, folder.size(), folder) != 0) {
        return -1;
    }
    const int32_t number = ParseThumbnailName(std::string_view(thumbnailPath).substr(folder.size()));
    // Only the cache's own spelling of the number: another file may share it ("1.tb", "000001.TB").
    return number > 0 && ThumbnailPath(number) == thumbnailPath ? number : -1;
}

bool ThumbnailCache::Guarded(const std::function<void()>& change) const {
    return WriteGuardedBy(run, change);
}

bool ThumbnailCache::EnsureThumbsFolder() const {
    Guarded([&] { CreateFolder(ThumbsFolder()); });
    return KindOfPath(ThumbsFolder()) == PathKind::kFolder;
}

void ThumbnailCache::WipeThumbnails() const {
    Guarded([&] { DeleteFileAt(CounterPath()); });
    DirectoryListing listing;
    const std::string folder = ThumbsFolder();
    if (!listing.Open(folder)) {
        return;
    }
    // Names first, deletions after: some platforms list a folder unreliably while it changes.
    std::vector<std::string> names;
    DirectoryEntry entry;
    while (listing.Next(entry)) {
        const std::string& name = entry.name;
        if (entry.isFolder || name == "." || name == ".." || name.size() < 3) {
            continue;
        }
        const std::string ending = name.substr(name.size() - 3);
        if (ending == ".tb" || ending == ".TB" || ending == ".Tb" || ending == ".tB") {
            names.push_back(name);
        }
    }
    for (const std::string& name : names) {
        if (!Guarded([&] { DeleteFileAt(JoinPath(folder, name)); })) {
            return;
        }
    }
}

int32_t ThumbnailCache::HighestNumberPresent() const {
    int32_t highest = 0;
    DirectoryListing listing;
    if (!listing.Open(ThumbsFolder())) {
        return highest;
    }
    DirectoryEntry entry;
    while (listing.Next(entry)) {
        highest = std::max(highest, ParseThumbnailName(entry.name));  // any kind of entry takes its name
    }
    return highest;
}

bool ThumbnailCache::WriteCounter(int32_t next) const {
    // Written beside the counter and put in its place: a stop in the middle leaves the old counter.
    const std::string temporary = CounterPath() + ".new";
    bool written = false;
    Guarded([&] {
        uint8_t bytes[4];
        WriteLittleEndian32(bytes, static_cast<uint32_t>(next));
        ScopedFile counter(std::fopen(temporary.c_str(), "wb"));
        written = counter && std::fwrite(bytes, 1, 4, counter.Get()) == 4 && counter.Close() &&
                  RenameReplacing(temporary, CounterPath());
        if (!written) {
            DeleteFileAt(temporary);
        }
    });
    return written;
}

std::string ThumbnailCache::NextThumbnailName(const IndexWriteHold&) const {
    int32_t number = 0;  // none: the counter cannot be used
    {
        ScopedFile counter(std::fopen(CounterPath().c_str(), "rb"));
        uint8_t bytes[5];
        if (counter && std::fread(bytes, 1, 5, counter.Get()) == 4) {
            const auto value = static_cast<int32_t>(ReadLittleEndian32(bytes));
            // The number after it must fit too.
            number = value >= 1 && value < INT32_MAX ? value : 0;
        }
    }
    if (number == 0 || KindOfPath(ThumbnailPath(number)) != PathKind::kMissing) {
        // Numbering goes on after every thumbnail there is, so that none is overwritten.
        const int32_t highest = HighestNumberPresent();
        if (highest >= INT32_MAX - 1) {
            return {};
        }
        number = highest + 1;
    }
    if (!WriteCounter(number + 1)) {
        return {};  // handing the number out again would make two records share one thumbnail
    }
    return ThumbnailPath(number);
}

std::string ThumbnailCache::MakeThumbnail(const std::string& jpegPath) const {
    const IndexWriteHold hold(*writeLock);
    return MakeThumbnail(hold, [&] { return RenderSafely(nullptr, jpegPath); });
}

std::string ThumbnailCache::MakeThumbnail(const IndexWriteHold& hold,
                                          const std::function<RenderedThumbnail()>& render) const {
    if (ThumbnailPath(0).size() > kMaxPathLength) {
        return {};  // no record could hold the name
    }
    const std::string name = NextThumbnailName(hold);
    if (name.empty() || name.size() > kMaxPathLength) {
        return {};
    }
    RenderedThumbnail rendered = render();
    const ThumbnailBitmap& bitmap = rendered.bitmap;
    const PictureResult& result = rendered.result;
    const auto message = [&](const std::string& text) {
        if (onMessage) {
            onMessage(text, "CPicture Error");
        } else {
            ShowMessage(text.c_str(), "CPicture Error");
        }
    };
    switch (result.error) {
        case PictureError::kCannotOpen:
            message(result.systemText);
            break;
        case PictureError::kNoMemory:
            message("Can not allocate enough memory\t");
            break;
        case PictureError::kNotSupported:
            message("IPicture interface is not supported\t");
            break;
        default:
            break;
    }
    std::vector<uint8_t> file = EncodeBitmapFile(bitmap);
    if (file.empty()) {
        file = EncodeBitmapFile(BlackThumbnail());
    }
    bool written = false;
    Guarded([&] {
        ScopedFile out(std::fopen(name.c_str(), "wb"));
        written = out && std::fwrite(file.data(), 1, file.size(), out.Get()) == file.size() && out.Close();
        if (!written) {
            out.Reset();
            DeleteFileAt(name);  // a part of a bitmap is no thumbnail
        }
    });
    return written ? name : std::string();
}

void ThumbnailCache::DeleteThumbnails(const std::vector<int32_t>& numbers) const {
    for (int32_t number : numbers) {
        if (!Guarded([&] { DeleteFileAt(ThumbnailPath(number)); })) {
            return;
        }
    }
}

ThumbnailReleases::ThumbnailReleases(const ThumbnailCache& cacheIn)
    : cache(cacheIn), folderPrefix(JoinPath(cacheIn.ThumbsFolder(), "")) {}

void ThumbnailReleases::Note(const std::string& thumbnailPath, bool keep) {
    // Called for every record of the index: most paths are told apart by their start alone.
    if (thumbnailPath.compare(0, folderPrefix.size(), folderPrefix) != 0) {
        return;
    }
    const int32_t number = cache.NumberOf(thumbnailPath);
    if (number < 0) {
        return;  // no thumbnail of this cache
    }
    if (keep) {
        kept.push_back(number);
    } else {
        removed.insert(number);
    }
}

std::vector<int32_t> ThumbnailReleases::Unreferenced() const {
    std::unordered_set<int32_t> left = removed;
    for (int32_t number : kept) {
        left.erase(number);
    }
    return std::vector<int32_t>(left.begin(), left.end());
}
