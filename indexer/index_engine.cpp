#include "indexer/index_engine.h"

#include "taglib/codepage.h"
#include "indexer/search_index.h"

namespace {

constexpr int kCancelGraceMilliseconds = 1000;

}  // namespace

IndexEngine::IndexEngine() : indexWriteLock(std::make_shared<IndexWriteLock>()) {}

// The jobs abandon runs that are still going; their workers hold everything they touch.
IndexEngine::~IndexEngine() = default;

bool IndexEngine::Open() {
    programFolder = ProgramFolder();
    indexPath = IndexPathFor(programFolder);
    return CreateIndexIfMissing(indexPath);
}

IndexJobSettings IndexEngine::JobSettings(ProgressCallback callback, void* userData) const {
    IndexJobSettings settings;
    settings.callback = callback;
    settings.userData = userData;
    settings.indexPath = indexPath;
    settings.programFolder = programFolder;
    settings.indexWriteLock = indexWriteLock;
    settings.codePage = ActiveCodePage();
    settings.decoders = decoders;
    return settings;
}

void IndexEngine::StartRebuild(ProgressCallback callback, void* userData) {
    rebuildJob.Start(JobSettings(callback, userData), rebuildRoots);
}

bool IndexEngine::IsRebuildRunning() const {
    return rebuildJob.IsRunning();
}

void IndexEngine::CancelRebuild() {
    rebuildJob.Cancel(kCancelGraceMilliseconds);
}

void IndexEngine::StartAddFolder(const char* folder, ProgressCallback callback, void* userData) {
    addFolderJob.Start(JobSettings(callback, userData), folder != nullptr ? folder : "");
}

bool IndexEngine::IsAddFolderRunning() const {
    return addFolderJob.IsRunning();
}

void IndexEngine::CancelAddFolder() {
    addFolderJob.Cancel(kCancelGraceMilliseconds);
}

void IndexEngine::StartSearch(const char* query, SearchCallback callback, void* userData) {
    searchJob.Start(query != nullptr ? query : "", callback, userData, indexPath);
}

bool IndexEngine::IsSearchRunning() const {
    return searchJob.IsRunning();
}

void IndexEngine::CancelSearch() {
    searchJob.Cancel(kCancelGraceMilliseconds);
}

void IndexEngine::WaitForRebuild() {
    rebuildJob.Join();
}

void IndexEngine::WaitForAddFolder() {
    addFolderJob.Join();
}

bool IndexEngine::RebuildFailed() const {
    return rebuildJob.LastRunFailed();
}

bool IndexEngine::AddFolderFailed() const {
    return addFolderJob.LastRunFailed();
}

void IndexEngine::SetRebuildRoots(std::vector<std::string> roots) {
    rebuildRoots = std::move(roots);
}

IndexEngine& TheIndexEngine() {
    static IndexEngine engine;
    return engine;
}
