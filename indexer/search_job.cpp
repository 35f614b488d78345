#include "indexer/search_job.h"

#include <thread>

#include "taglib/codepage.h"
#include "indexer/search_index.h"

namespace {

class SearchRun : public WorkerRun {
public:
    SearchRun(std::string queryIn, SearchCallback callbackIn, void* userDataIn, std::string indexPathIn)
        : query(std::move(queryIn)),
          callback(callbackIn),
          userData(userDataIn),
          indexPath(std::move(indexPathIn)),
          textCase(ActiveCodePage()) {}

    int Run() override {
        ScanIndex(
            indexPath, query, textCase,
            [&](const std::string& path, const std::string& thumbnail) {
                // No hit is reported once a cancel was asked for.
                if (callback != nullptr &&
                    ReportUnlessCancelled([&] { callback(path.c_str(), thumbnail.c_str(), 0, userData); })) {
                    std::this_thread::yield();
                }
            },
            [&] { return IsCancelled(); }, 0, nullptr);
        // The closing call comes in every case (also when the index could not be opened or the scan
        // was cancelled), except after the run has been abandoned.
        if (callback != nullptr) {
            ReportUnlessAbandoned([&] { callback("", "", 1, userData); });
        }
        return 0;
    }

private:
    std::string query;
    SearchCallback callback;
    void* userData;
    std::string indexPath;
    CodePageCase textCase;
};

}  // namespace

bool SearchJob::Start(const std::string& query, SearchCallback callback, void* userData,
                      const std::string& indexPath) {
    return WorkerThread::Start(std::make_shared<SearchRun>(query, callback, userData, indexPath));
}
