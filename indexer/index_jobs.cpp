#include "index_jobs.h"

#include <cstdio>
#include <utility>

#include "environment.h"
#include "file_list.h"
#include "image_tags.h"
#include "platform.h"
#include "search_index.h"
#include "text_case.h"
#include "thumbnail_cache.h"
#include "walk_rules.h"

namespace {

std::string Format(const char* format, const std::string& text) {
    std::string out(std::snprintf(nullptr, 0, format, text.c_str()) + 1, '\0');
    std::snprintf(out.data(), out.size(), format, text.c_str());
    out.pop_back();
    return out;
}

// One run of an indexing job: everything its worker touches.
class IndexRun : public WorkerRun {
public:
    explicit IndexRun(IndexJobSettings settingsIn)
        : settings(std::move(settingsIn)),
          output(this),
          cache(settings.programFolder, settings.indexWriteLock, this),
          textCase(settings.codePage) {
        cache.SetMessageHandler([this](const std::string& text, const char* caption) {
            pendingMessages.emplace_back(text, caption);
        });
    }

protected:
    // A progress call, unless a cancel was asked for: from then on nothing of this run reaches the
    // caller, so a stopped job never reports late.
    void Report(int value, const std::string& text, int finished) {
        if (settings.callback != nullptr && !IsCancelled()) {
            settings.callback(value, text.c_str(), finished, settings.userData);
        }
    }

    // A message for the user; none once the run is being cancelled (the user asked it to stop).
    void Message(const std::string& text, const char* caption) {
        if (!IsCancelled()) {
            ShowMessage(text.c_str(), caption);
        }
    }

    // Messages gathered while the IndexWriteLock was held.
    void ShowPendingMessages() {
        std::vector<std::pair<std::string, const char*>> messages;
        messages.swap(pendingMessages);
        for (const auto& [text, caption] : messages) {
            Message(text, caption);
        }
    }

    // The cancel flag, or a write that failed (a full disk): both end the walks the same way.
    bool ShouldStop() const { return writeFailed || IsCancelled(); }

    // Loads the file's tags and appends its record. True when a record was written.
    bool IndexFile(const std::string& path) {
        if (ShouldStop()) {
            return false;
        }
        try {
            ImageTags tags;
            if (!tags.Load(path.c_str(), kLoadMetadata)) {
                return false;  // not a readable JPEG: no record, no thumbnail
            }
            const AppendResult result = AppendRecord(
                output, path, [&] { return cache.MakeThumbnail(path); }, tags, textCase);
            if (result == AppendResult::kWriteFailed) {
                writeFailed = true;
                pendingMessages.emplace_back(Format("Failed to index file %s", path), "Index Fail");
            }
            return result == AppendResult::kWritten;
        } catch (...) {
            pendingMessages.emplace_back(Format("Failed to index file %s", path), "Index Fail");
            return false;
        }
    }

    // The job's stream is closed here when the run is abandoned (under the write gate, so never in the
    // middle of a write).
    void OnAbandon() override { output.Stream().Close(); }

    IndexJobSettings settings;
    IndexOutput output;
    ThumbnailCache cache;
    CodePageCase textCase;
    int counter = 1;
    bool writeFailed = false;
    std::vector<std::pair<std::string, const char*>> pendingMessages;
};

class RebuildRun : public IndexRun {
public:
    RebuildRun(IndexJobSettings settingsIn, std::vector<std::string> rootsIn)
        : IndexRun(std::move(settingsIn)), roots(std::move(rootsIn)) {}

    int Run() override {
        try {
            if (!output.Open(settings.indexPath, "wb")) {
                return 0;  // no index: the run ends without a call
            }
            if (settings.afterIndexTruncated) {
                settings.afterIndexTruncated(*this);
            }
            counter = 1;
            cache.EnsureThumbsFolder();
            if (IsCancelled()) {
                output.Close();
                return 0;
            }
            Report(100, "Deleting old index data...", 0);
            cache.WipeThumbnails();
            if (roots.empty()) {
                roots = FixedDriveRoots();
            }
            for (const std::string& root : roots) {
                if (ShouldStop() || !WalkFolder(root)) {
                    break;
                }
            }
            output.Close();
        } catch (...) {
            Message("Unknown error during indexing", "Unknown error");
            output.Close();
        }
        ShowPendingMessages();
        Report(100, "", 1);
        return 0;
    }

private:
    // False only when the cancel flag was set on entry.
    bool WalkFolder(const std::string& folder) {
        Report(counter, folder, 0);
        if (ShouldStop()) {
            return false;
        }
        DirectoryListing listing;
        if (!ListingPatternFits(folder) || !listing.Open(folder)) {
            return true;  // skipped without a word
        }
        DirectoryEntry entry;
        while (listing.Next(entry)) {
            if (ShouldStop()) {
                return true;
            }
            try {
                if (IsFolderToEnter(entry)) {
                    // Each root is walked on its own: a mount point inside it is another disk.
                    if (!entry.isOtherDevice && !WalkFolder(JoinPath(folder, entry.name))) {
                        return true;
                    }
                } else if (!entry.isFolder && IsJpegName(entry.name)) {
                    const bool written = IndexFile(JoinPath(folder, entry.name));
                    ShowPendingMessages();
                    if (written) {
                        Report(counter, folder, 0);
                        ++counter;
                    }
                }
            } catch (...) {
                Message(Format("Failed to index folder %s", folder), "Index Fail");
            }
        }
        return true;
    }

    std::vector<std::string> roots;
};

class AddFolderRun : public IndexRun {
public:
    AddFolderRun(IndexJobSettings settingsIn, std::string folderIn)
        : IndexRun(std::move(settingsIn)), folder(std::move(folderIn)) {}

    int Run() override {
        try {
            FileList files;
            counter = 1;
            Report(counter, "Start file list creation", 0);
            counter = 2;
            if (!ListWalk(folder, files) || ShouldStop()) {
                return 0;
            }
            const RemoveResult removed = RemoveRecordsOfFiles(
                settings.indexPath, files,
                [this] { Report(0, "Removing old file entries from index...", 0); }, this);
            if (removed == RemoveResult::kWriteFailed) {
                // The old records stay beside the new ones; the index itself is unchanged.
                Message(Format("Failed to index folder %s", folder), "Index Fail");
            }
            if (ShouldStop() || removed == RemoveResult::kAbandoned) {
                return 0;
            }
            if (!output.Open(settings.indexPath, "ab")) {
                return 0;
            }
            cache.EnsureThumbsFolder();
            for (size_t i = 0; i < files.Count(); ++i) {
                const std::string path = files.Entry(i);
                {
                    std::lock_guard<IndexWriteLock> lock(*settings.indexWriteLock);
                    IndexFile(path);
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
            Message("Unknown error while indexing folder", "Error");
            output.Close();
        }
        ShowPendingMessages();
        Report(0, "", 1);
        return 0;
    }

private:
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
                    Message(Format("Failed to index folder %s", path), "Index Fail");
                }
            } else if (!entry.isFolder && IsJpegName(entry.name)) {
                files.Append(JoinPath(path, entry.name));
            }
        }
        return true;
    }

    std::string folder;
};

}  // namespace

void IndexJob::Cancel(int limitMilliseconds) {
    if (std::shared_ptr<WorkerRun> current = CurrentRun()) {
        current->RequestCancel();
    }
    JoinOrForceStop(limitMilliseconds);
}

bool RebuildJob::Start(const IndexJobSettings& settings, const std::vector<std::string>& roots) {
    return WorkerThread::Start(std::make_shared<RebuildRun>(settings, roots));
}

bool AddFolderJob::Start(const IndexJobSettings& settings, const std::string& folder) {
    return WorkerThread::Start(std::make_shared<AddFolderRun>(settings, folder));
}
