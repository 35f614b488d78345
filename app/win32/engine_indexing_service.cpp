#include "app/win32/engine_indexing_service.h"

#include <windows.h>

#include "indexer/index_engine.h"

namespace vellumar {

namespace {

// Runs on the reporting job's thread; the job waits until the user closes the box. Owner-less, so it
// never waits for the dialog's thread, and a stop still returns after its grace period.
void ShowEngineMessage(const char* text, const char* caption, void*) {
    MessageBoxA(nullptr, text != nullptr ? text : "", caption != nullptr ? caption : "", MB_OK);
}

}  // namespace

void EngineIndexingService::OpenEngine() {
    SetMessageSink(&ShowEngineMessage, nullptr);
    // Without an index file the dialog still runs; each job reports what it cannot do.
    TheIndexEngine().Open();
}

bool EngineIndexingService::IsRebuildRunning() {
    return TheIndexEngine().IsRebuildRunning();
}

void EngineIndexingService::StartRebuild(JobProgressCallback callback, void* userData) {
    TheIndexEngine().StartRebuild(callback, userData);
}

void EngineIndexingService::CancelRebuild() {
    TheIndexEngine().CancelRebuild();
}

bool EngineIndexingService::IsAddFolderRunning() {
    return TheIndexEngine().IsAddFolderRunning();
}

void EngineIndexingService::StartAddFolder(const char* folder, JobProgressCallback callback, void* userData) {
    TheIndexEngine().StartAddFolder(folder, callback, userData);
}

void EngineIndexingService::CancelAddFolder() {
    TheIndexEngine().CancelAddFolder();
}

}  // namespace vellumar
