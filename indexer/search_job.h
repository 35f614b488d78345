// The search job: scans the index for a text on its own worker thread.
#pragma once

#include <string>

#include "indexer/progress.h"
#include "indexer/worker_thread.h"

class SearchJob : public WorkerThread {
public:
    // Starts a scan of the index at `indexPath` for `query`, lower-cased in the active code page.
    bool Start(const std::string& query, SearchCallback callback, void* userData,
               const std::string& indexPath);
};
