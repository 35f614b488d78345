// Thumbnail decoding ahead of an indexing job's writer. The job walks, reads tags and writes records in
// one ordered stream; the pictures of the next few files are decoded and scaled meanwhile on threads of
// their own. A decoder only makes a bitmap in memory: numbering, files and messages stay with the writer,
// which takes the bitmaps in its own order, so a run writes the same bytes whatever the number of
// decoders.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "indexer/picture_renderer.h"
#include "indexer/thumbnail_bitmap.h"

struct RenderedThumbnail {
    ThumbnailBitmap bitmap;
    PictureResult result;
};

// Draws the thumbnail of one JPEG file (RenderThumbnail unless a test gives another).
using ThumbnailRenderer = std::function<PictureResult(const std::string& jpegPath, ThumbnailBitmap& bitmap)>;

// Renders with `render` (RenderThumbnail when empty). A renderer that throws leaves the black thumbnail
// and no error, as a picture that cannot be decoded does.
RenderedThumbnail RenderSafely(const ThumbnailRenderer& render, const std::string& jpegPath);

// The number of decoders a run uses when asked for `requested` (0 or less: one per processor core).
int DecoderCount(int requested);

class ThumbnailDecoders {
public:
    // `decoders` threads; with fewer than 2 there are none and every thumbnail is rendered by the
    // writer itself, in the order of the old single-threaded job.
    ThumbnailDecoders(int decoders, ThumbnailRenderer render);
    // Drops the files not started and waits for the decodes in progress.
    ~ThumbnailDecoders();
    ThumbnailDecoders(const ThumbnailDecoders&) = delete;
    ThumbnailDecoders& operator=(const ThumbnailDecoders&) = delete;

    // Whether one more file may be queued: the queue holds a few files per decoder, decoded or not, so
    // the memory of a run does not grow with the number of files.
    bool HasRoom() const;
    // Queues a file, in the order the writer will take them.
    void Queue(const std::string& path);
    // The thumbnail of `path`, waiting for its decoder. The files queued before it are dropped. Nothing
    // when it was not queued or was no plain file when its turn came: the writer renders it itself.
    std::optional<RenderedThumbnail> Take(const std::string& path);

private:
    struct Slot {
        std::string path;
        enum class State { kQueued, kDecoding, kDone, kSkipped } state = State::kQueued;
        RenderedThumbnail rendered;
    };

    void DecoderMain();

    ThumbnailRenderer render;
    size_t capacity = 0;
    mutable std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::shared_ptr<Slot>> slots;
    bool stopping = false;
    std::vector<std::thread> threads;
};
