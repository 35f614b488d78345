// What the main dialog needs of the index engine: the two jobs, each started, asked about and
// stopped. The program adapts the engine to this; the tests use a scripted fake.
#pragma once

namespace vellumar {

// Progress report of a running job, called on the job's worker thread: value, text (valid during the
// call only), finished (non-zero on the last call of a run), user data. The result is ignored.
using JobProgressCallback = int (*)(int value, const char* text, int finished, void* userData);

class IndexingService {
public:
    virtual ~IndexingService() = default;

    virtual bool IsRebuildRunning() = 0;
    virtual void StartRebuild(JobProgressCallback callback, void* userData) = 0;
    // Returns after the job has ended or, past its grace period, been abandoned; no report of the
    // stopped run reaches the callback after that.
    virtual void CancelRebuild() = 0;

    virtual bool IsAddFolderRunning() = 0;
    virtual void StartAddFolder(const char* folder, JobProgressCallback callback, void* userData) = 0;
    virtual void CancelAddFolder() = 0;
};

}  // namespace vellumar
