#include "indexer/index_jobs.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <utility>

#include "indexer/environment.h"
#include "indexer/file_list.h"
#include "taglib/image_tags.h"
#include "indexer/platform.h"
#include "indexer/search_index.h"
#include "indexer/text_case.h"
#include "indexer/thumbnail_cache.h"
#include "indexer/walk_rules.h"

namespace {

std::string Format(const char* format, const std::string& text) {
    std::string out(std::snprintf(nullptr, 0, format, text.c_str()) + 1, '\0');
    std::snprintf(out.data(), out.size(), format, text.c_str());
    out.pop_back();
    return out;
}

constexpr const char* kIndexFailCaption = "Index Fail";
constexpr const char* kIndexWarningCaption = "Index Warning";
constexpr const char* kHomeBusyMessage =
    "Another program is updating the search index in %s. Try again when it has finished.";
constexpr const char* kHomeLockFailedMessage = "Cannot lock the search index in %s";
constexpr const char* kThumbsFolderMessage = "Cannot create the thumbnail folder %s";
constexpr const char* kDamagedIndexMessage =
    "Part of the search index could not be read. Every readable record was kept, and the old index "
    "was saved as %s";

// One run of an indexing job: everything its worker touches.
class IndexRun : public WorkerRun {
public:
    explicit IndexRun(IndexJobSettings settingsIn)
        : settings(std::move(settingsIn)),
          output(this),
          cache(settings.programFolder, settings.indexWriteLock, this),
          textCase(settings.codePage) {
        cache.SetMessageHandler([this](const std::string& text, const char* caption) {
            pendingMessages.push_back({text, caption, true});
        });
    }

    // The run of every indexing job: the whole body holds the home's lock, so that no other job of any
    // program writes the index or the thumbnails meanwhile. The result is 1 when the run reported a
    // failure.
    int Run() override {
        if (!LockHome()) {
            return 1;
        }
        const bool completed = Body();
        WriteGuarded([&] { homeLock.Unlock(); });  // before the last report, which may wait for the user
        ShowPendingMessages();
        if (completed) {
            Report(FinalValue(), "", 1);
        }
        return failed ? 1 : 0;
    }

protected:
    // The job's own steps. False when the run ends without its last report.
    virtual bool Body() = 0;
    virtual int FinalValue() const = 0;

    // A progress call, unless a cancel was asked for: from then on nothing of this run reaches the
    // caller, so a stopped job never reports late.
    void Report(int value, const std::string& text, int finished) {
        if (settings.callback != nullptr) {
            ReportUnlessCancelled(
                [&] { settings.callback(value, text.c_str(), finished, settings.userData); });
        }
    }

    // A message for the user; none once the run is being cancelled (the user asked it to stop). A
    // failure also makes the run's result 1.
    void Message(const std::string& text, const char* caption, bool failure) {
        failed = failed || failure;
        ReportUnlessCancelled([&] { ShowMessage(text.c_str(), caption); });
    }
    void Failure(const std::string& text, const char* caption = kIndexFailCaption) {
        Message(text, caption, true);
    }
    void ThumbsFolderFailure() { Failure(Format(kThumbsFolderMessage, cache.ThumbsFolder())); }
    void DamagedIndexWarning() {
        Message(Format(kDamagedIndexMessage, DamagedIndexPathFor(settings.indexPath)), kIndexWarningCaption,
                false);
    }

    // Messages gathered while the IndexWriteLock was held.
    void ShowPendingMessages() {
        std::vector<PendingMessage> messages;
        messages.swap(pendingMessages);
        for (const PendingMessage& message : messages) {
            Message(message.text, message.caption, message.failure);
        }
    }

    // The cancel flag, or a write that failed (a full disk): both end the walks the same way.
    bool ShouldStop() const { return writeFailed || IsCancelled(); }

    // Loads the file's tags and appends its record, with the thumbnail the decoders drew for it when
    // there is one. `recordHold`: the IndexWriteLock held for the whole record; without it the lock is
    // taken only while the thumbnail is numbered and written. True when a record was written.
    bool IndexFile(const std::string& path, std::optional<RenderedThumbnail> rendered,
                   const IndexWriteHold* recordHold) {
        if (ShouldStop()) {
            return false;
        }
        try {
            // Whatever has taken the file's place since the walk is opened only if it is a plain file.
            if (KindOfPath(path) != PathKind::kRegularFile) {
                return false;
            }
            ImageTags tags;
            if (!tags.Load(path.c_str(), kLoadMetadata)) {
                return false;  // not a readable JPEG: no record, no thumbnail
            }
            std::string thumbnail;
            const AppendResult result = AppendRecord(
                output, path,
                [&]() -> std::optional<std::string> {
                    const auto render = [&] {
                        return rendered ? std::move(*rendered) : RenderSafely(settings.renderThumbnail, path);
                    };
                    if (recordHold != nullptr) {
                        thumbnail = cache.MakeThumbnail(*recordHold, render);
                    } else {
                        const IndexWriteHold numbering(*settings.indexWriteLock);
                        thumbnail = cache.MakeThumbnail(numbering, render);
                    }
                    if (thumbnail.empty()) {
                        return std::nullopt;
                    }
                    return thumbnail;
                },
                tags, textCase);
            if (result == AppendResult::kWriteFailed || result == AppendResult::kThumbnailFailed) {
                // The record was taken back out of the index; its thumbnail goes with it. The run stops
                // here, as a full disk would fail every later file too.
                if (!thumbnail.empty()) {
                    cache.DeleteThumbnails({cache.NumberOf(thumbnail)});
                }
                writeFailed = true;
                pendingMessages.push_back({Format("Failed to index file %s", path), kIndexFailCaption, true});
            }
            return result == AppendResult::kWritten;
        } catch (...) {
            pendingMessages.push_back({Format("Failed to index file %s", path), kIndexFailCaption, true});
            return false;
        }
    }

    // The job's stream is closed and the home's lock released here when the run is abandoned (under
    // the write gate, so never in the middle of a write): the worker left behind writes nothing more.
    void OnAbandon() override {
        output.Stream().Close();
        homeLock.Unlock();
    }

    IndexJobSettings settings;
    IndexOutput output;
    ThumbnailCache cache;
    CodePageCase textCase;
    int counter = 1;
    bool writeFailed = false;

private:
    // False, with a message, when another job holds the lock or it cannot be taken.
    bool LockHome() {
        FileLock::Result result = FileLock::Result::kFailed;
        if (!WriteGuarded([&] { result = homeLock.TryLock(IndexLockPathFor(settings.indexPath)); })) {
            return false;
        }
        if (result == FileLock::Result::kLocked) {
            return true;
        }
        Failure(Format(result == FileLock::Result::kBusy ? kHomeBusyMessage : kHomeLockFailedMessage,
                       settings.programFolder));
        return false;
    }

    struct PendingMessage {
        std::string text;
        const char* caption;
        bool failure;
    };

    FileLock homeLock;
    bool failed = false;
    std::vector<PendingMessage> pendingMessages;
};

class RebuildRun : public IndexRun {
public:
    RebuildRun(IndexJobSettings settingsIn, std::vector<std::string> rootsIn)
        : IndexRun(std::move(settingsIn)), roots(std::move(rootsIn)) {}

private:
    int FinalValue() const override { return 100; }

    bool Body() override {
        try {
            if (roots.empty()) {
                roots = FixedDriveRoots();
            }
            // The rebuild begins by emptying the index and the cache: not when there is nothing to walk.
            if (!AnyRootCanBeListed()) {
                for (const std::string& root : roots) {
                    Failure(Format("Failed to index folder %s", root));
                }
                return false;
            }
            if (!cache.EnsureThumbsFolder()) {
                ThumbsFolderFailure();
                return false;
            }
            if (!output.Open(settings.indexPath, "wb")) {
                return false;  // no index: the run ends without a call
            }
            if (settings.afterIndexTruncated) {
                settings.afterIndexTruncated(*this);
            }
            counter = 1;
            if (IsCancelled()) {
                output.Close();
                return false;
            }
            Report(100, "Deleting old index data...", 0);
            cache.WipeThumbnails();
            ThumbnailDecoders pool(DecoderCount(settings.decoders), settings.renderThumbnail);
            decoders = &pool;
            for (const std::string& root : roots) {
                if (ShouldStop() || !WalkFolder(root)) {
                    break;
                }
            }
            decoders = nullptr;
            output.Close();
        } catch (...) {
            Failure("Unknown error during indexing", "Unknown error");
            output.Close();
        }
        return true;
    }

    bool AnyRootCanBeListed() const {
        for (const std::string& root : roots) {
            DirectoryListing listing;
            if (ListingPatternFits(root) && listing.Open(root)) {
                return true;
            }
        }
        return false;
    }

    // False only when the cancel flag was set on entry.
    bool WalkFolder(const std::string& folder) {
        Report(counter, folder, 0);
        if (ShouldStop()) {
            return false;
        }
        // The whole listing first: the decoders work on the files ahead of the one being indexed.
        std::vector<DirectoryEntry> entries;
        {
            DirectoryListing listing;
            if (!ListingPatternFits(folder) || !listing.Open(folder)) {
                return true;  // skipped without a word
            }
            DirectoryEntry entry;
            while (listing.Next(entry)) {
                if (ShouldStop()) {
                    return true;
                }
                entries.push_back(entry);
            }
        }
        size_t queued = 0;
        for (size_t i = 0; i < entries.size(); ++i) {
            if (ShouldStop()) {
                return true;
            }
            const DirectoryEntry& current = entries[i];
            try {
                if (IsFolderToEnter(current)) {
                    // Each root is walked on its own: a mount point inside it is another disk.
                    if (!current.isOtherDevice && !WalkFolder(JoinPath(folder, current.name))) {
                        return true;
                    }
                } else if (IsFileToIndex(current)) {
                    // Up to the next folder: what lies beyond it comes after that folder's own files.
                    for (queued = std::max(queued, i); queued < entries.size() && decoders->HasRoom();
                         ++queued) {
                        if (IsFolderToEnter(entries[queued])) {
                            break;
                        }
                        if (IsFileToIndex(entries[queued])) {
                            decoders->Queue(JoinPath(folder, entries[queued].name));
                        }
                    }
                    const std::string path = JoinPath(folder, current.name);
                    const bool written = IndexFile(path, decoders->Take(path), nullptr);
                    ShowPendingMessages();
                    if (written) {
                        Report(counter, folder, 0);
                        ++counter;
                    }
                }
            } catch (...) {
                Failure(Format("Failed to index folder %s", folder));
            }
        }
        return true;
    }

    std::vector<std::string> roots;
    ThumbnailDecoders* decoders = nullptr;  // during the walks
};

class AddFolderRun : public IndexRun {
public:
    AddFolderRun(IndexJobSettings settingsIn, std::string folderIn)
        : IndexRun(std::move(settingsIn)), folder(std::move(folderIn)) {}

private:
    int FinalValue() const override { return 0; }

    bool Body() override {
        try {
            FileList files;
            counter = 1;
            Report(counter, "Start file list creation", 0);
            counter = 2;
            if (!ListWalk(folder, files) || ShouldStop()) {
                return false;
            }
            // Checked before the old records go: without thumbnails no new record could replace them.
            if (!cache.EnsureThumbsFolder()) {
                ThumbsFolderFailure();
                return false;
            }
            ThumbnailReleases releases(cache);
            const RewriteOutcome rewrite = RemoveRecordsOfFiles(
                settings.indexPath, files,
                [this] { Report(0, "Removing old file entries from index...", 0); }, this,
                [&](const IndexRecord& record, bool kept) { releases.Note(record.thumbnail, kept); });
            if (rewrite.result == RemoveResult::kAbandoned || ShouldStop()) {
                return false;
            }
            if (rewrite.result != RemoveResult::kDone) {
                // The index is unchanged. Records appended now would stand beside the old records of
                // the same files, or, after an unreadable end, could not be read at all.
                Failure(Format("Failed to index folder %s", folder));
                return false;
            }
            if (rewrite.keptDamaged) {
                DamagedIndexWarning();
            }
            cache.DeleteThumbnails(releases.Unreferenced());
            if (!output.Open(settings.indexPath, "ab")) {
                return false;
            }
            ThumbnailDecoders decoders(DecoderCount(settings.decoders), settings.renderThumbnail);
            size_t queued = 0;
            for (size_t i = 0; i < files.Count(); ++i) {
                const std::string path = files.Entry(i);
                for (queued = std::max(queued, i); queued < files.Count() && decoders.HasRoom(); ++queued) {
                    decoders.Queue(files.Entry(queued));
                }
                // Waited for before the lock is taken: the lock is held only while the record is written.
                std::optional<RenderedThumbnail> rendered = decoders.Take(path);
                {
                    const IndexWriteHold record(*settings.indexWriteLock);
                    IndexFile(path, std::move(rendered), &record);
                }
                ShowPendingMessages();
                Report(counter, "Add file " + path + " to index", 0);
                ++counter;
                if (ShouldStop()) {
                    break;
                }
            }
            output.Close();
        } catch (...) {
            Failure("Unknown error while indexing folder", "Error");
            output.Close();
        }
        return true;
    }

    // Collects the JPEGs of a folder tree, depth first in listing order. False when the folder cannot
    // be listed or the cancel flag was set on entry.
    bool ListWalk(const std::string& path, FileList& files) {
        Report(0, "Creating file list for folder " + path, 0);
        if (ShouldStop()) {
            return false;
        }
        if (!ListingPatternFits(path)) {
            return true;  // skipped: no path below it would fit a record
        }
        DirectoryListing listing;
        if (!listing.Open(path)) {
            return false;
        }
        DirectoryEntry entry;
        while (listing.Next(entry)) {
            if (ShouldStop()) {
                return true;
            }
            if (IsFolderToEnter(entry)) {
                // A cancel is not a failure of the folder: no message for it.
                if (!ListWalk(JoinPath(path, entry.name), files) && !ShouldStop()) {
                    Failure(Format("Failed to index folder %s", path));
                }
            } else if (IsFileToIndex(entry)) {
                files.Append(JoinPath(path, entry.name));
            }
        }
        return true;
    }

    std::string folder;
};

}  // namespace

bool IndexJob::LastRunFailed() const {
    const std::shared_ptr<WorkerRun> current = CurrentRun();
    return current && current->IsFinished() && current->ExitCode() != 0;
}

bool RebuildJob::Start(const IndexJobSettings& settings, const std::vector<std::string>& roots) {
    return WorkerThread::Start(std::make_shared<RebuildRun>(settings, roots));
}

bool AddFolderJob::Start(const IndexJobSettings& settings, const std::string& folder) {
    return WorkerThread::Start(std::make_shared<AddFolderRun>(settings, folder));
}
