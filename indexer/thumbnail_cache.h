// The thumbnail cache: 100 x 100 bitmaps in the "thumbs" folder of the program folder, numbered from
// the counter in "tb.idx" (4 bytes, signed little-endian: the number the next thumbnail gets).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_set>
#include <vector>

#include "indexer/thumbnail_decoders.h"

class WorkerRun;

// The engine's process-wide lock: it serialises thumbnail numbering and, in an add-folder run, each
// record as a whole. It is taken once, by whoever writes: the cache's steps that number thumbnails take
// the hold as proof instead of locking again.
using IndexWriteLock = std::mutex;
using IndexWriteHold = std::unique_lock<IndexWriteLock>;

class ThumbnailCache {
public:
    // `writeLock` is the engine's IndexWriteLock; `run`, when given, is the run whose write gate every
    // file change passes (nothing is changed once that run has been abandoned).
    ThumbnailCache(std::string programFolder, std::shared_ptr<IndexWriteLock> writeLock,
                   WorkerRun* run = nullptr);

    std::string ThumbsFolder() const;
    std::string CounterPath() const;
    // The path of thumbnail `number`: "thumbs" + "%.6d.tb".
    std::string ThumbnailPath(int32_t number) const;
    // The number of a path that ThumbnailPath gives, or -1 for any other path.
    int32_t NumberOf(const std::string& thumbnailPath) const;

    // Creates the thumbs folder. False when there is no folder afterwards (a file of that name, or no
    // right to create it).
    bool EnsureThumbsFolder() const;
    // Deletes the counter file and every file of the thumbs folder whose name ends in ".tb".
    void WipeThumbnails() const;
    // The path of the next thumbnail, and the counter moved on. The counter file is replaced in one step,
    // so that it is never found half-written. A number is never handed out while its file exists: a
    // counter that is missing, damaged, out of range or behind continues after the highest number in
    // the thumbs folder. Empty when no number could be taken or the counter could not be moved on.
    std::string NextThumbnailName(const IndexWriteHold& hold) const;
    // Takes a name, draws the picture into it and returns the name, also when the picture could not be
    // decoded (the file is then black). Empty when no whole thumbnail could be written (a full disk, a
    // missing thumbs folder, a name too long for the index): nothing is left under the name then. Takes
    // the IndexWriteLock for the whole step.
    std::string MakeThumbnail(const std::string& jpegPath) const;
    // The same under the caller's hold of the IndexWriteLock, with the picture drawn by `render` once
    // the name is taken (a job's decoders may have drawn it already).
    std::string MakeThumbnail(const IndexWriteHold& hold,
                              const std::function<RenderedThumbnail()>& render) const;
    // Deletes thumbnails by number (those of records that left the index).
    void DeleteThumbnails(const std::vector<int32_t>& numbers) const;

    // Where the picture loader's messages go (the message sink unless set): a job collects them and
    // shows them once it no longer holds the IndexWriteLock.
    using MessageHandler = std::function<void(const std::string& text, const char* caption)>;
    void SetMessageHandler(MessageHandler handler) { onMessage = std::move(handler); }

private:
    bool Guarded(const std::function<void()>& change) const;
    // The highest number among the names in the thumbs folder, 0 when there is none.
    int32_t HighestNumberPresent() const;
    bool WriteCounter(int32_t next) const;

    std::string programFolder;
    std::shared_ptr<IndexWriteLock> writeLock;
    WorkerRun* run;
    MessageHandler onMessage;
};

// The thumbnails that a rewrite of the index takes out with the records it removes: every record the
// rewrite reads is noted, and the thumbnails of this cache that removed records named and no kept record
// names are the ones to delete.
class ThumbnailReleases {
public:
    explicit ThumbnailReleases(const ThumbnailCache& cacheIn);

    void Note(const std::string& thumbnailPath, bool kept);
    std::vector<int32_t> Unreferenced() const;

private:
    const ThumbnailCache& cache;
    std::string folderPrefix;   // the thumbs folder and a separator: other paths are no concern
    std::vector<int32_t> kept;  // 4 bytes per record of the index
    std::unordered_set<int32_t> removed;
};
