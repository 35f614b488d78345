// The index engine: the one object through which the program builds and updates the search index.
//
// It owns the index path, the search job, the rebuild job and the add-folder job, and the process-wide
// IndexWriteLock. Each job runs on its own worker thread, reports through a ProgressCallback on that
// thread and can be cancelled; a cancel returns after at most about a second.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "indexer/environment.h"
#include "indexer/index_jobs.h"
#include "indexer/progress.h"
#include "indexer/search_job.h"

class IndexEngine {
public:
    IndexEngine();
    ~IndexEngine();
    IndexEngine(const IndexEngine&) = delete;
    IndexEngine& operator=(const IndexEngine&) = delete;

    // Remembers the index path (program folder + "index") and creates an empty index when there is
    // none. True when the index file exists or was created.
    bool Open();

    // Starts a rebuild of the whole index over the fixed drives. The caller starts a job only when no
    // indexing job runs.
    void StartRebuild(ProgressCallback callback, void* userData);
    bool IsRebuildRunning() const;
    // Asks the rebuild to stop and waits up to 1000 ms; a worker that overruns is abandoned. When this
    // returns, the job counts as not running, its index stream is closed and no further progress call
    // of that run reaches the caller.
    void CancelRebuild();

    // Starts re-indexing one folder tree.
    void StartAddFolder(const char* folder, ProgressCallback callback, void* userData);
    bool IsAddFolderRunning() const;
    void CancelAddFolder();  // as CancelRebuild

    // The scan that the programs searching the index run: every record whose file name, caption or
    // layer name contains `query` (case ignored), then one call with finished 1.
    void StartSearch(const char* query, SearchCallback callback, void* userData);
    bool IsSearchRunning() const;
    void CancelSearch();

    // Waits until the job's current run has ended by itself (no cancel). For programs without a
    // message loop, such as the command-line tool.
    void WaitForRebuild();
    void WaitForAddFolder();

    // After a wait: whether the run reported a failure (a message said which).
    bool RebuildFailed() const;
    bool AddFolderFailed() const;

    // How many threads of the next indexing jobs decode thumbnails ahead of the writer (0, the default:
    // one per processor core; 1: the writer decodes each picture itself).
    void SetDecoders(int count) { decoders = count; }

    // The drive roots a rebuild walks instead of the platform's fixed drives (empty: the platform's).
    void SetRebuildRoots(std::vector<std::string> roots);

    const std::string& IndexPath() const { return indexPath; }

private:
    IndexJobSettings JobSettings(ProgressCallback callback, void* userData) const;

    SearchJob searchJob;
    RebuildJob rebuildJob;
    AddFolderJob addFolderJob;
    std::string indexPath;
    std::shared_ptr<IndexWriteLock> indexWriteLock;
    std::vector<std::string> rebuildRoots;
    int decoders = 0;
    std::string programFolder;  // where Open found the index; holds the thumbnail cache
};

// The program-wide engine, created on first use.
IndexEngine& TheIndexEngine();
