// The two indexing jobs: the rebuild over every fixed drive and the add-folder run over one folder tree.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "indexer/progress.h"
#include "indexer/thumbnail_cache.h"
#include "indexer/thumbnail_decoders.h"
#include "indexer/worker_thread.h"

// What every run of an indexing job is given when it starts.
struct IndexJobSettings {
    ProgressCallback callback = nullptr;
    void* userData = nullptr;
    std::string indexPath;      // a copy of the engine's
    std::string programFolder;  // holds the thumbnail cache
    std::shared_ptr<IndexWriteLock> indexWriteLock;
    int codePage = 0;  // the active code page when the job starts
    // Threads that decode thumbnails ahead of the writer: 0 one per processor core, 1 none (the writer
    // decodes each picture itself). The index and the thumbnails are the same either way.
    int decoders = 0;
    // Draws a thumbnail; RenderThumbnail when empty (tests give a decoder that fails).
    ThumbnailRenderer renderThumbnail;
    // Called by a rebuild right after it has truncated the index, before anything else happens (tests
    // stop a run at this point).
    std::function<void(WorkerRun& run)> afterIndexTruncated;
};

// The common shape of the two jobs: a worker thread whose runs report progress and can be cancelled.
// A run that a cancel abandons has its index stream closed at once.
class IndexJob : public WorkerThread {
public:
    // Whether the run that has just ended by itself reported a failure (its messages said which). A run
    // holds the home's lock file (index path + ".lock") throughout: a second writer of the same home, in
    // this program or another, fails at once with a message.
    bool LastRunFailed() const;
};

class RebuildJob : public IndexJob {
public:
    // `roots`: the drive roots to walk in order ("C:" style on Windows); empty: the platform's fixed
    // drives.
    bool Start(const IndexJobSettings& settings, const std::vector<std::string>& roots);
};

class AddFolderJob : public IndexJob {
public:
    bool Start(const IndexJobSettings& settings, const std::string& folder);
};
