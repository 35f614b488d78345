#include "thumbnail_cache.h"

#include <climits>
#include <cstdio>
#include <vector>

#include "environment.h"
#include "picture_renderer.h"
#include "platform.h"
#include "scoped_file.h"
#include "search_index.h"
#include "thumbnail_bitmap.h"
#include "worker_thread.h"

ThumbnailCache::ThumbnailCache(std::string programFolderIn, std::shared_ptr<std::recursive_mutex> writeLockIn,
                               WorkerRun* runIn)
    : programFolder(std::move(programFolderIn)), writeLock(std::move(writeLockIn)), run(runIn) {
    if (!writeLock) {
        writeLock = std::make_shared<std::recursive_mutex>();
    }
}

std::string ThumbnailCache::ThumbsFolder() const {
    return JoinPath(programFolder, "thumbs");
}

std::string ThumbnailCache::CounterPath() const {
    return JoinPath(programFolder, "tb.idx");
}

bool ThumbnailCache::Guarded(const std::function<void()>& change) const {
    if (run == nullptr) {
        change();
        return true;
    }
    return run->WriteGuarded(change);
}

void ThumbnailCache::EnsureThumbsFolder() const {
    Guarded([&] { CreateFolder(ThumbsFolder()); });
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

std::string ThumbnailCache::NextThumbnailName() const {
    std::lock_guard<std::recursive_mutex> lock(*writeLock);
    int32_t number = 1;
    {
        ScopedFile counter(std::fopen(CounterPath().c_str(), "rb"));
        uint8_t bytes[4];
        if (counter && std::fread(bytes, 1, 4, counter.Get()) == 4) {
            number = static_cast<int32_t>(
                static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
                (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24));
        }
    }
    if (number < 1 || number == INT32_MAX) {
        return {};  // a damaged counter: no number can be handed out safely
    }
    char name[32];
    std::snprintf(name, sizeof(name), "%.6d.tb", static_cast<int>(number));
    bool written = false;
    Guarded([&] {
        const uint32_t next = static_cast<uint32_t>(number) + 1;
        const uint8_t bytes[4] = {static_cast<uint8_t>(next), static_cast<uint8_t>(next >> 8),
                                  static_cast<uint8_t>(next >> 16), static_cast<uint8_t>(next >> 24)};
        ScopedFile counter(std::fopen(CounterPath().c_str(), "wb"));
        written = counter && std::fwrite(bytes, 1, 4, counter.Get()) == 4 && counter.Close();
    });
    if (!written) {
        return {};
    }
    return JoinPath(ThumbsFolder(), name);
}

std::string ThumbnailCache::MakeThumbnail(const std::string& jpegPath) const {
    std::lock_guard<std::recursive_mutex> lock(*writeLock);
    if (JoinPath(ThumbsFolder(), "000000.tb").size() > kMaxPathLength) {
        return {};  // no record could hold the name
    }
    const std::string name = NextThumbnailName();
    if (name.empty() || name.size() > kMaxPathLength) {
        return {};
    }
    ThumbnailBitmap bitmap;
    PictureResult result;
    try {
        result = RenderThumbnail(jpegPath, bitmap);
    } catch (...) {
        bitmap = BlackThumbnail();
    }
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
    Guarded([&] {
        ScopedFile out(std::fopen(name.c_str(), "wb"));
        if (out) {
            std::fwrite(file.data(), 1, file.size(), out.Get());
        }
    });
    return name;
}
