// The index engine as the dialog uses it.
#pragma once

#include "app/indexing_service.h"

namespace vellumar {

class EngineIndexingService : public IndexingService {
public:
    // Routes the engine's owner-less messages to message boxes and makes sure the index exists.
    static void OpenEngine();

    bool IsRebuildRunning() override;
    void StartRebuild(JobProgressCallback callback, void* userData) override;
    void CancelRebuild() override;
    bool IsAddFolderRunning() override;
    void StartAddFolder(const char* folder, JobProgressCallback callback, void* userData) override;
    void CancelAddFolder() override;
};

}  // namespace vellumar
