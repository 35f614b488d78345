// The indexing jobs end to end on real folders: progress sequences, what the walks take, cancels.
#include <gtest/gtest.h>

#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <stdexcept>
#include <thread>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "taglib/codepage.h"
#include "indexer/file_list.h"
#include "indexer/index_engine.h"
#include "indexer/index_jobs.h"
#include "indexer/tests/indexer_test_support.h"
#include "indexer/picture_renderer.h"
#include "indexer/search_index.h"
#include "indexer/walk_rules.h"

namespace {

// Every progress call of a run, as "value|text|finished".
struct Progress {
    std::mutex mutex;
    std::condition_variable signal;
    std::vector<std::string> calls;
    int blockOnCall = -1;  // the call (0-based) at which the callback waits until released
    bool released = false;

    static int Callback(int value, const char* text, int finished, void* userData) {
        auto* progress = static_cast<Progress*>(userData);
        std::unique_lock<std::mutex> lock(progress->mutex);
        progress->calls.push_back(std::to_string(value) + "|" + text + "|" + std::to_string(finished));
        progress->signal.notify_all();
        if (static_cast<int>(progress->calls.size()) - 1 == progress->blockOnCall) {
            progress->signal.wait(lock, [progress] { return progress->released; });
        }
        return 0;
    }
    std::vector<std::string> Calls() {
        std::lock_guard<std::mutex> lock(mutex);
        return calls;
    }
    void WaitFor(size_t count) {
        std::unique_lock<std::mutex> lock(mutex);
        signal.wait(lock, [&] { return calls.size() >= count; });
    }
    void Release() {
        std::lock_guard<std::mutex> lock(mutex);
        released = true;
        signal.notify_all();
    }
};

struct Messages {
    std::mutex mutex;
    std::vector<std::string> entries;
    static void Sink(const char* text, const char* caption, void* userData) {
        auto* messages = static_cast<Messages*>(userData);
        std::lock_guard<std::mutex> lock(messages->mutex);
        messages->entries.push_back(std::string(caption) + ": " + text);
    }
};

std::string Call(int value, const std::string& text, int finished) {
    return std::to_string(value) + "|" + text + "|" + std::to_string(finished);
}

void CopySample(const std::string& sample, const std::string& to) {
    std::filesystem::copy_file(SourcePath("samples/photos/" + sample), to,
                               std::filesystem::copy_options::overwrite_existing);
}

std::vector<std::string> IndexedPaths(const std::string& index) {
    std::vector<std::string> paths;
    IndexReader reader;
    IndexRecord record;
    if (reader.Open(index)) {
        while (reader.Next(record)) {
            paths.push_back(record.path);
        }
    }
    return paths;
}

// The first of two names in the platform's listing order of a folder.
std::string ListedFirst(const std::string& folder, const std::string& a, const std::string& b) {
    DirectoryListing listing;
    DirectoryEntry entry;
    EXPECT_TRUE(listing.Open(folder));
    while (listing.Next(entry)) {
        if (entry.name == a || entry.name == b) {
            return entry.name;
        }
    }
    return {};
}

// Every file a home holds (the index, the counter, the thumbnails) by its path inside the home.
std::map<std::string, std::vector<uint8_t>> HomeFiles(const std::string& home) {
    std::map<std::string, std::vector<uint8_t>> files;
    for (const auto& file : std::filesystem::recursive_directory_iterator(home)) {
        if (file.is_regular_file()) {
            files[std::filesystem::relative(file.path(), home).string()] = ReadAll(file.path().string());
        }
    }
    return files;
}

// A thumbnail decoder that waits at a gate, so that a test can hold a job's decoders in the middle of a
// picture.
struct DecoderGate {
    std::mutex mutex;
    std::condition_variable signal;
    int entered = 0;
    bool open = false;

    PictureResult Render(const std::string& path, ThumbnailBitmap& bitmap) {
        {
            std::unique_lock<std::mutex> lock(mutex);
            ++entered;
            signal.notify_all();
            signal.wait(lock, [this] { return open; });
        }
        return RenderThumbnail(path, bitmap);
    }
    void WaitEntered(int count) {
        std::unique_lock<std::mutex> lock(mutex);
        signal.wait(lock, [&] { return entered >= count; });
    }
    void Open() {
        std::lock_guard<std::mutex> lock(mutex);
        open = true;
        signal.notify_all();
    }
};

// A job whose test may ask whether a cancel has reached its current run.
template <typename Job>
class ObservedJob : public Job {
public:
    bool CancelRequested() const {
        const std::shared_ptr<WorkerRun> current = this->CurrentRun();
        return current && current->IsCancelled();
    }
};

class IndexJobsTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetActiveCodePage(1252);
        SetMessageSink(Messages::Sink, &messages);
        std::filesystem::create_directories(photos);
        settings.callback = Progress::Callback;
        settings.userData = &progress;
        settings.indexPath = home.File("index");
        settings.programFolder = home.Path();
        settings.indexWriteLock = std::make_shared<IndexWriteLock>();
        settings.codePage = 1252;
        settings.decoders = 3;  // more than one: a pool, also on a machine with a single core
        ASSERT_TRUE(CreateIndexIfMissing(settings.indexPath));
    }
    void TearDown() override {
        SetMessageSink(nullptr, nullptr);
        SetActiveCodePage(SystemCodePage());
    }

    // photos/p.jpg and photos/sub/q.jpg.
    void MakeSmallTree() {
        CopySample("no_packet.jpg", JoinPath(photos, "p.jpg"));
        std::filesystem::create_directory(JoinPath(photos, "sub"));
        CopySample("packet_search_words.jpg", JoinPath(JoinPath(photos, "sub"), "q.jpg"));
    }

    TempFolder home;
    TempFolder tree;
    std::string photos = tree.File("photos");
    Progress progress;
    Messages messages;
    IndexJobSettings settings;
};

TEST(WalkRules, JpegNames) {
    struct Case {
        const char* name;
        bool jpeg;
    };
    for (const Case& c :
         {Case{"x.jpg", true}, Case{".jpg", false}, Case{"PHOTO.JPEG", true}, Case{"a.JpG", true},
          Case{"a.jpe", false}, Case{".jpeg", true}, Case{"jpg", false}, Case{"a.jpg.txt", false},
          Case{"a.jpeg", true}, Case{"ajpg", false}, Case{"a.gif", false}, Case{"x.JPEg", true}}) {
        EXPECT_EQ(IsJpegName(c.name), c.jpeg) << c.name;
    }
}

TEST(WalkRules, OnlyRegularFilesAreIndexed) {
    DirectoryEntry entry;
    entry.name = "x.jpg";
    EXPECT_FALSE(IsFileToIndex(entry));  // a FIFO, device or socket: opening it could wait forever
    entry.isRegularFile = true;
    EXPECT_TRUE(IsFileToIndex(entry));
    entry.name = "x.txt";
    EXPECT_FALSE(IsFileToIndex(entry));
}

TEST(WalkRules, FoldersToEnter) {
    DirectoryEntry entry;
    entry.isFolder = true;
    entry.name = "Photos";
    EXPECT_TRUE(IsFolderToEnter(entry));
    for (const char* dots : {".", ".."}) {
        entry.name = dots;
        EXPECT_FALSE(IsFolderToEnter(entry)) << dots;
    }
    entry.name = "x";
    entry.isHidden = true;
    EXPECT_FALSE(IsFolderToEnter(entry));
    entry.isHidden = false;
    entry.isTemporary = true;
    EXPECT_FALSE(IsFolderToEnter(entry));
    entry.isTemporary = false;
    entry.isFolder = false;
    EXPECT_FALSE(IsFolderToEnter(entry));
}

TEST(WalkRules, ListingPatternLimit) {
    EXPECT_TRUE(ListingPatternFits(std::string(257, 'a')));  // + separator, "*" and the zero: 260
    EXPECT_FALSE(ListingPatternFits(std::string(258, 'a')));
    EXPECT_TRUE(ListingPatternFits(std::string(257, 'a') + "\\"));
    EXPECT_FALSE(ListingPatternFits(std::string(258, 'a') + "/"));
}

TEST_F(IndexJobsTest, AddFolderReportsEveryStepInOrder) {
    MakeSmallTree();
    AddFolderJob job;
    ASSERT_TRUE(job.Start(settings, photos));
    job.Join();
    EXPECT_FALSE(job.IsRunning());
    const std::string p = JoinPath(photos, "p.jpg");
    const std::string sub = JoinPath(photos, "sub");
    const std::string q = JoinPath(sub, "q.jpg");
    const bool fileFirst = ListedFirst(photos, "p.jpg", "sub") == "p.jpg";
    std::vector<std::string> expected = {
        Call(1, "Start file list creation", 0),
        Call(0, "Creating file list for folder " + photos, 0),
        Call(0, "Creating file list for folder " + sub, 0),
        Call(0, "Removing old file entries from index...", 0),  // the empty index: one attempt to read
        Call(2, "Add file " + (fileFirst ? p : q) + " to index", 0),
        Call(3, "Add file " + (fileFirst ? q : p) + " to index", 0),
        Call(0, "", 1),
    };
    EXPECT_EQ(progress.Calls(), expected);
    EXPECT_EQ(IndexedPaths(settings.indexPath),
              (fileFirst ? std::vector<std::string>{p, q} : std::vector<std::string>{q, p}));
    EXPECT_TRUE(messages.entries.empty());
}

TEST_F(IndexJobsTest, RebuildReportsEveryFolderAndRecordInOrder) {
    MakeSmallTree();
    TempFolder oldThumbs;
    RebuildJob job;
    ASSERT_TRUE(job.Start(settings, {photos}));
    job.Join();
    const std::string sub = JoinPath(photos, "sub");
    std::vector<std::string> expected = {Call(100, "Deleting old index data...", 0), Call(1, photos, 0)};
    if (ListedFirst(photos, "p.jpg", "sub") == "p.jpg") {
        // The value after the n-th record is n; a folder entered next reports the counter as it stands.
        expected.insert(expected.end(), {Call(1, photos, 0), Call(2, sub, 0), Call(2, sub, 0)});
    } else {
        expected.insert(expected.end(), {Call(1, sub, 0), Call(1, sub, 0), Call(2, photos, 0)});
    }
    expected.push_back(Call(100, "", 1));
    EXPECT_EQ(progress.Calls(), expected);
    EXPECT_EQ(IndexedPaths(settings.indexPath).size(), 2u);
    // Each record got its thumbnail, numbered from 1 after the wipe.
    IndexReader reader;
    IndexRecord record;
    ASSERT_TRUE(reader.Open(settings.indexPath));
    ASSERT_TRUE(reader.Next(record));
    EXPECT_EQ(record.thumbnail, JoinPath(home.File("thumbs"), "000001.tb"));
    EXPECT_TRUE(std::filesystem::exists(record.thumbnail));
}

TEST_F(IndexJobsTest, HiddenFoldersAreSkippedAndHiddenFilesIndexed) {
    std::filesystem::create_directory(JoinPath(photos, ".hidden"));
    MarkHidden(JoinPath(photos, ".hidden"));
    CopySample("no_packet.jpg", JoinPath(JoinPath(photos, ".hidden"), "in-hidden.jpg"));
    CopySample("no_packet.jpg", JoinPath(photos, ".secret.jpg"));
    MarkHidden(JoinPath(photos, ".secret.jpg"));
    CopySample("no_packet.jpg", JoinPath(photos, "x.jpg"));
    CopySample("no_packet.jpg", JoinPath(photos, "not.jpe"));
    for (int round = 0; round < 2; ++round) {
        progress.calls.clear();
        if (round == 0) {
            AddFolderJob job;
            ASSERT_TRUE(job.Start(settings, photos));
            job.Join();
        } else {
            RebuildJob job;
            ASSERT_TRUE(job.Start(settings, {photos}));
            job.Join();
        }
        std::vector<std::string> paths = IndexedPaths(settings.indexPath);
        std::sort(paths.begin(), paths.end());
        EXPECT_EQ(paths,
                  (std::vector<std::string>{JoinPath(photos, ".secret.jpg"), JoinPath(photos, "x.jpg")}))
            << (round == 0 ? "add-folder" : "rebuild");
    }
}

TEST_F(IndexJobsTest, AFileThatIsNoJpegGetsNoRecordButItsProgressCall) {
    WriteText(JoinPath(photos, "broken.jpg"), "not a picture");
    AddFolderJob job;
    ASSERT_TRUE(job.Start(settings, photos));
    job.Join();
    const std::vector<std::string> calls = progress.Calls();
    ASSERT_EQ(calls.size(), 5u);
    EXPECT_EQ(calls[3], Call(2, "Add file " + JoinPath(photos, "broken.jpg") + " to index", 0));
    EXPECT_TRUE(IndexedPaths(settings.indexPath).empty());
    EXPECT_FALSE(std::filesystem::exists(JoinPath(home.File("thumbs"), "000001.tb")));
}

TEST_F(IndexJobsTest, AddingAFolderTwiceLeavesOneRecordPerFile) {
    MakeSmallTree();
    for (int round = 0; round < 2; ++round) {
        AddFolderJob job;
        ASSERT_TRUE(job.Start(settings, photos));
        job.Join();
    }
    EXPECT_EQ(IndexedPaths(settings.indexPath).size(), 2u);
    // The second run read the two records of the first before the end.
    const std::vector<std::string> calls = progress.Calls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), Call(0, "Removing old file entries from index...", 0)),
              1 + 3);
}

TEST_F(IndexJobsTest, TheSameFolderWrittenDifferentlyLeavesBothRecords) {
    MakeSmallTree();
    AddFolderJob job;
    ASSERT_TRUE(job.Start(settings, photos));
    job.Join();
#ifdef _WIN32
    // Windows finds the folder in any letter case; the index compares paths exactly.
    std::string other = photos;
    for (char& c : other) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
#else
    const std::string other = tree.File("link");
    std::filesystem::create_directory_symlink(photos, other);
#endif
    ASSERT_TRUE(job.Start(settings, other));
    job.Join();
    EXPECT_EQ(IndexedPaths(settings.indexPath).size(), 4u);
}

TEST_F(IndexJobsTest, AddingARootWithItsSeparatorDoesNotDoubleIt) {
    MakeSmallTree();
    AddFolderJob job;
    ASSERT_TRUE(job.Start(settings, photos + kPathSeparator));
    job.Join();
    std::vector<std::string> paths = IndexedPaths(settings.indexPath);
    std::sort(paths.begin(), paths.end());
    EXPECT_EQ(paths, (std::vector<std::string>{JoinPath(photos, "p.jpg"),
                                               JoinPath(JoinPath(photos, "sub"), "q.jpg")}));
}

TEST_F(IndexJobsTest, AStartFolderThatCannotBeListedEndsTheRunSilently) {
    AddFolderJob job;
    ASSERT_TRUE(job.Start(settings, tree.File("missing")));
    job.Join();
    EXPECT_EQ(progress.Calls(), (std::vector<std::string>{
                                    Call(1, "Start file list creation", 0),
                                    Call(0, "Creating file list for folder " + tree.File("missing"), 0)}));
    EXPECT_TRUE(messages.entries.empty());
}

TEST_F(IndexJobsTest, AnIndexThatCannotBeOpenedEndsTheRunWithoutACall) {
    settings.indexPath = tree.File("no-such-folder/index");
    RebuildJob job;
    ASSERT_TRUE(job.Start(settings, {photos}));
    job.Join();
    EXPECT_TRUE(progress.Calls().empty());
}

TEST_F(IndexJobsTest, CancellingARebuildRightAfterTheTruncationKeepsTheOldThumbnails) {
    IndexBytes old;
    old.Record("C:\\old.jpg", "t", "", {});
    WriteAll(settings.indexPath, old.bytes);
    std::filesystem::create_directory(home.File("thumbs"));
    const std::string oldThumbnail = JoinPath(home.File("thumbs"), "000001.tb");
    WriteText(oldThumbnail, "old");
    MakeSmallTree();
    std::mutex mutex;
    std::condition_variable signal;
    bool truncated = false;
    settings.afterIndexTruncated = [&](WorkerRun& run) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            truncated = true;
            signal.notify_all();
        }
        while (!run.IsCancelled()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    };
    RebuildJob job;
    ASSERT_TRUE(job.Start(settings, {photos}));
    {
        std::unique_lock<std::mutex> lock(mutex);
        signal.wait(lock, [&] { return truncated; });
    }
    job.Cancel(5000);
    EXPECT_FALSE(job.IsRunning());
    EXPECT_EQ(std::filesystem::file_size(settings.indexPath), 0u);
    EXPECT_TRUE(progress.Calls().empty());  // not even the final call
    EXPECT_EQ(ReadAll(oldThumbnail).size(), 3u);
}

#ifndef _WIN32
bool IsOpenInThisProcess(const std::string& path) {
    for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        if (std::filesystem::read_symlink(fd.path(), error) == std::filesystem::path(path)) {
            return true;
        }
    }
    return false;
}
#endif

TEST_F(IndexJobsTest, AJobWhoseCallbackNeverReturnsIsLeftBehindWithItsStreamClosed) {
    MakeSmallTree();
    // Its data outlives the test, one per repetition: the abandoned worker may still be in the callback
    // at the end.
    static auto* const leftBehind = new std::deque<Progress>;
    Progress* const blocked = &leftBehind->emplace_back();
    blocked->blockOnCall = 4;  // the first "Add file": the index is open for appending then
    settings.userData = blocked;
    TempFolder ownHome;  // the worker left behind must not meet another test's files
    settings.indexPath = ownHome.File("index");
    settings.programFolder = ownHome.Path();
    AddFolderJob job;
    ASSERT_TRUE(job.Start(settings, photos));
    blocked->WaitFor(5);
    job.Cancel(1000);
    EXPECT_FALSE(job.IsRunning());
#ifdef _WIN32
    EXPECT_TRUE(std::filesystem::remove(settings.indexPath));  // an open stream would prevent this
#else
    EXPECT_FALSE(IsOpenInThisProcess(std::filesystem::canonical(settings.indexPath).string()));
#endif
    const size_t callsAtCancel = blocked->Calls().size();
    blocked->Release();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(blocked->Calls().size(), callsAtCancel);  // nothing after the cancel returned
    // A new run starts at once and is not disturbed by the one left behind.
    TempFolder freshHome;
    settings.userData = &progress;
    settings.indexPath = freshHome.File("index");
    settings.programFolder = freshHome.Path();
    ASSERT_TRUE(job.Start(settings, photos));
    job.Join();
    EXPECT_EQ(IndexedPaths(settings.indexPath).size(), 2u);
    EXPECT_EQ(progress.Calls().back(), Call(0, "", 1));
}

TEST_F(IndexJobsTest, AJobThatStopsWithinTheGraceClosesItsOwnStream) {
    MakeSmallTree();
    progress.blockOnCall = 4;
    ObservedJob<AddFolderJob> job;
    ASSERT_TRUE(job.Start(settings, photos));
    progress.WaitFor(5);
    // Released only once the cancel has reached the run, which is then inside the grace.
    std::thread release([&] {
        while (!job.CancelRequested()) {
            std::this_thread::yield();
        }
        progress.Release();
    });
    job.Cancel(5000);
    release.join();
    EXPECT_FALSE(job.IsRunning());
    // It stopped after the file it was on: one record, and no call after the cancel.
    EXPECT_EQ(IndexedPaths(settings.indexPath).size(), 1u);
    EXPECT_EQ(progress.Calls().size(), 5u);
}

TEST_F(IndexJobsTest, DecodersAheadOfTheWriterChangeNoByteOfTheIndexOrTheThumbnails) {
    MakeSmallTree();
    CopySample("packet_regions.jpg", JoinPath(photos, "r.jpg"));
    CopySample("packet_caption_element.jpg", JoinPath(photos, "c.jpg"));
    std::filesystem::copy_file(SourcePath("indexer/tests/data/bands_4000x1000.jpg"),
                               JoinPath(photos, "b.jpg"));
    std::filesystem::copy_file(SourcePath("indexer/tests/data/not_a_jpeg.jpg"), JoinPath(photos, "n.jpg"));
    std::filesystem::create_directory(JoinPath(photos, "sub2"));
    CopySample("packet_legacy_cp1252.jpg", JoinPath(JoinPath(photos, "sub2"), "l.jpg"));
    for (bool rebuild : {false, true}) {
        std::vector<std::map<std::string, std::vector<uint8_t>>> homes;
        std::vector<std::vector<std::string>> calls;
        for (int decoders : {1, 3}) {
            TempFolder ownHome;
            Progress runProgress;
            settings.userData = &runProgress;
            settings.indexPath = ownHome.File("index");
            settings.programFolder = ownHome.Path();
            settings.decoders = decoders;
            ASSERT_TRUE(CreateIndexIfMissing(settings.indexPath));
            if (rebuild) {
                RebuildJob job;
                ASSERT_TRUE(job.Start(settings, {photos}));
                job.Join();
            } else {
                AddFolderJob job;
                ASSERT_TRUE(job.Start(settings, photos));
                job.Join();
            }
            // The same bytes in each home, which differ only by their own folder in the thumbnail paths.
            std::map<std::string, std::vector<uint8_t>> files = HomeFiles(ownHome.Path());
            std::string index(files["index"].begin(), files["index"].end());
            for (size_t at = index.find(ownHome.Path()); at != std::string::npos;
                 at = index.find(ownHome.Path())) {
                index.replace(at, ownHome.Path().size(), std::string(ownHome.Path().size(), '*'));
            }
            files["index"].assign(index.begin(), index.end());
            homes.push_back(files);
            calls.push_back(runProgress.Calls());
        }
        EXPECT_EQ(homes[0].size(), 9u) << rebuild;  // the index, its lock file, the counter, six thumbnails
        EXPECT_EQ(homes[0], homes[1]) << rebuild;
        EXPECT_EQ(calls[0], calls[1]) << rebuild;
    }
}

TEST_F(IndexJobsTest, ADecoderThatThrowsBlackensOnlyThatFilesThumbnail) {
    MakeSmallTree();
    CopySample("packet_regions.jpg", JoinPath(photos, "r.jpg"));
    const std::string failing = JoinPath(photos, "p.jpg");
    settings.renderThumbnail = [failing](const std::string& path, ThumbnailBitmap& bitmap) {
        if (path == failing) {
            throw std::runtime_error("decoder failure");
        }
        return RenderThumbnail(path, bitmap);
    };
    AddFolderJob job;
    ASSERT_TRUE(job.Start(settings, photos));
    job.Join();
    EXPECT_FALSE(job.LastRunFailed());
    IndexReader reader;
    IndexRecord record;
    ASSERT_TRUE(reader.Open(settings.indexPath));
    const std::vector<uint8_t> black = EncodeBitmapFile(BlackThumbnail());
    int records = 0;
    while (reader.Next(record)) {
        ++records;
        ThumbnailBitmap own;
        RenderThumbnail(record.path, own);
        EXPECT_EQ(ReadAll(record.thumbnail), record.path == failing ? black : EncodeBitmapFile(own))
            << record.path;
    }
    EXPECT_EQ(records, 3);
}

TEST_F(IndexJobsTest, AnAbandonedRunsDecodersFinishOnTheirOwnAndWriteNothing) {
    MakeSmallTree();
    static DecoderGate* const gate = new DecoderGate;  // outlives the test, like the run left behind
    TempFolder ownHome;  // the run left behind must not meet another test's files
    settings.indexPath = ownHome.File("index");
    settings.programFolder = ownHome.Path();
    ASSERT_TRUE(CreateIndexIfMissing(settings.indexPath));
    settings.decoders = 2;
    auto runAlive = std::make_shared<int>(0);  // held by the run's settings until its worker lets go
    settings.renderThumbnail = [runAlive](const std::string& path, ThumbnailBitmap& bitmap) {
        return gate->Render(path, bitmap);
    };
    const std::weak_ptr<int> runHeld = runAlive;
    runAlive.reset();
    AddFolderJob job;
    ASSERT_TRUE(job.Start(settings, photos));
    settings.renderThumbnail = nullptr;
    gate->WaitEntered(2);  // both pictures are being decoded, the writer waits for the first
    job.Cancel(100);
    EXPECT_FALSE(job.IsRunning());
    const auto atCancel = HomeFiles(ownHome.Path());
    gate->Open();
    for (int waited = 0; !runHeld.expired() && waited < 20000; ++waited) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_TRUE(runHeld.expired());  // the decoders and the writer have ended by themselves
    EXPECT_EQ(HomeFiles(ownHome.Path()), atCancel);
}

TEST_F(IndexJobsTest, RebuildWalksTheGivenRootsInOrder) {
    TempFolder second;
    CopySample("no_packet.jpg", JoinPath(photos, "a.jpg"));
    CopySample("no_packet.jpg", second.File("b.jpg"));
    RebuildJob job;
    ASSERT_TRUE(job.Start(settings, {second.Path(), photos}));
    job.Join();
    EXPECT_EQ(IndexedPaths(settings.indexPath),
              (std::vector<std::string>{second.File("b.jpg"), JoinPath(photos, "a.jpg")}));
    const std::vector<std::string> calls = progress.Calls();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[1], Call(1, second.Path(), 0));  // a root's first call is its own path
}

#ifndef _WIN32
TEST_F(IndexJobsTest, AFileWhosePathIsTooLongForARecordIsCountedButNotIndexed) {
    std::string deep = photos;
    while (deep.size() < 250) {
        deep = JoinPath(deep, "d");
    }
    std::filesystem::create_directories(deep);
    CopySample("no_packet.jpg", JoinPath(deep, "long-name-beyond.jpg"));
    AddFolderJob job;
    ASSERT_TRUE(job.Start(settings, photos));
    job.Join();
    EXPECT_TRUE(IndexedPaths(settings.indexPath).empty());
    const std::vector<std::string> calls = progress.Calls();
    EXPECT_EQ(std::count_if(calls.begin(), calls.end(),
                            [](const std::string& c) { return c.find("|Add file ") != std::string::npos; }),
              1);
    EXPECT_FALSE(std::filesystem::exists(home.File("thumbs/000001.tb")));
}
#endif

TEST_F(IndexJobsTest, ASecondWriterOfTheHomeFailsAtOnceAndTheFirstGoesOn) {
    MakeSmallTree();
    progress.blockOnCall = 4;  // the first "Add file": the first job holds the home's lock
    AddFolderJob first;
    ASSERT_TRUE(first.Start(settings, photos));
    progress.WaitFor(5);
    Progress secondProgress;
    IndexJobSettings second = settings;
    second.userData = &secondProgress;
    second.indexWriteLock = std::make_shared<IndexWriteLock>();  // as in another program
    AddFolderJob addFolder;
    ASSERT_TRUE(addFolder.Start(second, photos));
    addFolder.Join();
    RebuildJob rebuild;
    ASSERT_TRUE(rebuild.Start(second, {photos}));
    rebuild.Join();
    EXPECT_TRUE(secondProgress.Calls().empty());  // no call: the caller goes back to idle
    EXPECT_TRUE(addFolder.LastRunFailed());
    EXPECT_TRUE(rebuild.LastRunFailed());
    const std::string busy = "Index Fail: Another program is updating the search index in " + home.Path() +
                             ". Try again when it has finished.";
    EXPECT_EQ(messages.entries, (std::vector<std::string>{busy, busy}));
    progress.Release();
    first.Join();
    EXPECT_FALSE(first.LastRunFailed());
    EXPECT_EQ(IndexedPaths(settings.indexPath).size(), 2u);
    // Once the first has ended, the home is free again.
    ASSERT_TRUE(addFolder.Start(second, photos));
    addFolder.Join();
    EXPECT_FALSE(addFolder.LastRunFailed());
    EXPECT_EQ(secondProgress.Calls().back(), Call(0, "", 1));
}

TEST_F(IndexJobsTest, AnAbandonedRunLeavesTheHomeToTheNextRun) {
    MakeSmallTree();
    static Progress* const blocked = new Progress;  // outlives the test, like the worker left behind
    blocked->blockOnCall = 4;
    settings.userData = blocked;
    AddFolderJob job;
    ASSERT_TRUE(job.Start(settings, photos));
    blocked->WaitFor(5);
    job.Cancel(100);
    EXPECT_FALSE(job.IsRunning());
    settings.userData = &progress;
    ASSERT_TRUE(job.Start(settings, photos));
    job.Join();
    EXPECT_FALSE(job.LastRunFailed());
    EXPECT_EQ(IndexedPaths(settings.indexPath).size(), 2u);
    blocked->Release();
}

TEST_F(IndexJobsTest, AThumbsFolderThatCannotBeMadeStopsARunBeforeTheIndexIsTouched) {
    IndexBytes old;
    old.Record("C:\\old.jpg", "t", "", {});
    WriteAll(settings.indexPath, old.bytes);
    WriteText(home.File("thumbs"), "a file, not a folder");
    MakeSmallTree();
    AddFolderJob addFolder;
    ASSERT_TRUE(addFolder.Start(settings, photos));
    addFolder.Join();
    RebuildJob rebuild;
    ASSERT_TRUE(rebuild.Start(settings, {photos}));
    rebuild.Join();
    EXPECT_TRUE(addFolder.LastRunFailed());
    EXPECT_TRUE(rebuild.LastRunFailed());
    const std::string message = "Index Fail: Cannot create the thumbnail folder " + home.File("thumbs");
    EXPECT_EQ(messages.entries, (std::vector<std::string>{message, message}));
    EXPECT_EQ(ReadAll(settings.indexPath), old.bytes);
    EXPECT_NE(progress.Calls().back(), Call(0, "", 1));  // no last call: nothing was done
}

TEST_F(IndexJobsTest, ARebuildWithoutAnyRootToWalkLeavesTheIndexAlone) {
    IndexBytes old;
    old.Record("C:\\old.jpg", "t", "", {});
    WriteAll(settings.indexPath, old.bytes);
    RebuildJob job;
    ASSERT_TRUE(job.Start(settings, {tree.File("missing")}));
    job.Join();
    EXPECT_TRUE(job.LastRunFailed());
    EXPECT_EQ(messages.entries,
              (std::vector<std::string>{"Index Fail: Failed to index folder " + tree.File("missing")}));
    EXPECT_EQ(ReadAll(settings.indexPath), old.bytes);
    EXPECT_TRUE(progress.Calls().empty());
}

TEST_F(IndexJobsTest, RemovedRecordsTakeTheirThumbnailsWithThem) {
    MakeSmallTree();
    TempFolder other;
    CopySample("no_packet.jpg", other.File("kept.jpg"));
    AddFolderJob job;
    for (const std::string& folder : {other.Path(), photos, photos, photos}) {
        ASSERT_TRUE(job.Start(settings, folder));
        job.Join();
        EXPECT_FALSE(job.LastRunFailed());
    }
    std::vector<std::string> thumbnails;
    for (const auto& file : std::filesystem::directory_iterator(home.File("thumbs"))) {
        thumbnails.push_back(file.path().filename().string());
    }
    std::sort(thumbnails.begin(), thumbnails.end());
    EXPECT_EQ(thumbnails, (std::vector<std::string>{"000001.tb", "000006.tb", "000007.tb"}));
}

TEST_F(IndexJobsTest, ADamagedIndexIsKeptBesideTheRewrittenOneAndReported) {
    IndexBytes damaged;
    damaged.Record("C:\\a.jpg", "", "", {}).Raw("stray").Record("C:\\hidden.jpg", "", "", {});
    WriteAll(settings.indexPath, damaged.bytes);
    MakeSmallTree();
    AddFolderJob job;
    ASSERT_TRUE(job.Start(settings, photos));
    job.Join();
    EXPECT_FALSE(job.LastRunFailed());  // a warning: the run went on
    EXPECT_EQ(messages.entries,
              (std::vector<std::string>{"Index Warning: Part of the search index could not be read. Every "
                                        "readable record was kept, and the old index was saved as " +
                                        DamagedIndexPathFor(settings.indexPath)}));
    EXPECT_EQ(ReadAll(DamagedIndexPathFor(settings.indexPath)), damaged.bytes);
    EXPECT_EQ(IndexedPaths(settings.indexPath).size(), 3u);
    EXPECT_EQ(progress.Calls().back(), Call(0, "", 1));
}

#ifndef _WIN32
TEST_F(IndexJobsTest, AThumbnailThatCannotBeWrittenStopsTheRunWithoutARecord) {
    MakeSmallTree();
    std::filesystem::create_directory(home.File("thumbs"));
    // The next name leads nowhere: a link into a folder that does not exist.
    WriteAll(home.File("tb.idx"), {1, 0, 0, 0});
    std::filesystem::create_symlink(tree.File("missing/x.tb"), JoinPath(home.File("thumbs"), "000001.tb"));
    AddFolderJob job;
    ASSERT_TRUE(job.Start(settings, photos));
    job.Join();
    EXPECT_TRUE(job.LastRunFailed());
    ASSERT_EQ(messages.entries.size(), 1u);
    EXPECT_EQ(messages.entries[0].rfind("Index Fail: Failed to index file " + photos, 0), 0u);
    EXPECT_TRUE(IndexedPaths(settings.indexPath).empty());
    EXPECT_EQ(std::filesystem::file_size(settings.indexPath), 0u);
    EXPECT_EQ(progress.Calls().back(), Call(0, "", 1));
}
#endif

TEST(IndexEngine, OpenCreatesTheIndexInTheProgramFolderAndStartsJobs) {
    TempFolder home;
    TempFolder photos;
    CopySample("packet_search_words.jpg", photos.File("lake.jpg"));
    SetProgramFolder(home.Path());
    IndexEngine engine;
    ASSERT_TRUE(engine.Open());
    EXPECT_EQ(engine.IndexPath(), home.File("index"));
    Progress progress;
    engine.StartAddFolder(photos.Path().c_str(), Progress::Callback, &progress);
    engine.WaitForAddFolder();
    EXPECT_FALSE(engine.IsAddFolderRunning());
    EXPECT_EQ(progress.Calls().back(), Call(0, "", 1));
    EXPECT_EQ(IndexedPaths(home.File("index")), (std::vector<std::string>{photos.File("lake.jpg")}));
    engine.CancelAddFolder();  // nothing runs: returns at once
    engine.SetRebuildRoots({photos.Path()});
    Progress rebuild;
    engine.StartRebuild(Progress::Callback, &rebuild);
    engine.WaitForRebuild();
    EXPECT_FALSE(engine.IsRebuildRunning());
    EXPECT_EQ(rebuild.Calls().back(), Call(100, "", 1));
    EXPECT_EQ(IndexedPaths(home.File("index")), (std::vector<std::string>{photos.File("lake.jpg")}));
}

}  // namespace

namespace {

TEST(FileList, KeepsOrderAndAnswersMembershipExactly) {
    FileList list;
    list.Append("C:\\a.jpg");
    list.Append("C:\\b.jpg");
    list.Append("C:\\a.jpg");
    for (int i = 0; i < 1000; ++i) {  // growth must not move the texts the lookup points at
        list.Append("C:\\many\\" + std::to_string(i) + ".jpg");
    }
    EXPECT_EQ(list.Count(), 1003u);
    EXPECT_EQ(list.Entry(1), "C:\\b.jpg");
    EXPECT_EQ(list.Entry(5000), "");
    EXPECT_TRUE(list.Contains("C:\\many\\999.jpg"));
    EXPECT_FALSE(list.Contains("c:\\a.jpg"));
    list.RemoveFirst();
    EXPECT_TRUE(list.Contains("C:\\a.jpg"));  // the third entry has the same text
    EXPECT_EQ(list.Entry(0), "C:\\b.jpg");
    list.RemoveFirst();
    list.RemoveFirst();
    EXPECT_FALSE(list.Contains("C:\\a.jpg"));
    EXPECT_FALSE(list.Contains("C:\\b.jpg"));
    EXPECT_EQ(list.Count(), 1000u);
}

}  // namespace
