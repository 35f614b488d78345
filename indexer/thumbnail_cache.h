// The thumbnail cache: 100 x 100 bitmaps in the "thumbs" folder of the program folder, numbered from
// the counter in "tb.idx" (4 bytes, signed little-endian: the number the next thumbnail gets).
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>

class WorkerRun;

class ThumbnailCache {
public:
    // `writeLock` is the engine's IndexWriteLock; `run`, when given, is the run whose write gate every
    // file change passes (nothing is changed once that run has been abandoned).
    ThumbnailCache(std::string programFolder, std::shared_ptr<std::recursive_mutex> writeLock,
                   WorkerRun* run = nullptr);

    std::string ThumbsFolder() const;
    std::string CounterPath() const;

    // Creates the thumbs folder; an existing folder or a failure is ignored.
    void EnsureThumbsFolder() const;
    // Deletes the counter file and every file of the thumbs folder whose name ends in ".tb".
    void WipeThumbnails() const;
    // The path of the next thumbnail ("thumbs" + "%.6d.tb" of the counter) and the counter moved on.
    // Empty when the counter could not be moved on: handing the number out again would make two
    // records share one thumbnail.
    std::string NextThumbnailName() const;
    // Takes a name, draws the picture into it and returns the name, also when the picture could not be
    // decoded (the file is then black). Empty when no name could be taken or the name would be too long
    // for the index. Holds the IndexWriteLock throughout.
    std::string MakeThumbnail(const std::string& jpegPath) const;

    // Where the picture loader's messages go (the message sink unless set): a job collects them and
    // shows them once it no longer holds the IndexWriteLock.
    using MessageHandler = std::function<void(const std::string& text, const char* caption)>;
    void SetMessageHandler(MessageHandler handler) { onMessage = std::move(handler); }

private:
    bool Guarded(const std::function<void()>& change) const;

    std::string programFolder;
    std::shared_ptr<std::recursive_mutex> writeLock;
    WorkerRun* run;
    MessageHandler onMessage;
};
