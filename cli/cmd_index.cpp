// vellumar-cli add-folder, rebuild, search and dump: the index engine from a terminal.
//
// Every command works on a home folder that holds "index", "tb.idx" and "thumbs" (--home; by default the
// folder of the executable, like the Windows program). While a job runs, a progress line on standard
// error shows the latest report when standard error is a terminal; Ctrl-C cancels the job, waits for the
// index to be closed and ends with status 130.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/cli_common.h"
#include "taglib/codepage.h"
#include "cli/commands.h"
#include "cli/console.h"
#include "indexer/environment.h"
#include "indexer/index_engine.h"
#include "indexer/platform.h"
#include "indexer/search_index.h"
#include "cli/search_output.h"

namespace {

const char* const kAddFolderSynopsis = SynopsisOf("add-folder");
const char* const kRebuildSynopsis = SynopsisOf("rebuild");
const char* const kSearchSynopsis = SynopsisOf("search");
const char* const kDumpSynopsis = SynopsisOf("dump");

volatile std::sig_atomic_t interrupted = 0;

void OnInterrupt(int) {
    interrupted = 1;
}

using Clock = std::chrono::steady_clock;

// The progress line on standard error, shared by the job's thread (reports, messages) and the main
// thread (the end).
class ProgressLine {
public:
    explicit ProgressLine(bool countsRecords)
        : enabled(IsTerminal(stderr)), rebuild(countsRecords), start(Clock::now()) {}

    void Report(int value, const char* text, int finished) {
        std::lock_guard<std::mutex> lock(mutex);
        if (finished != 0) {
            sawFinish = true;
            return;
        }
        // The value counts the files processed so far, plus one; a rebuild's first value counts nothing.
        if (!(rebuild && firstReport) && value - 1 > files) {
            files = value - 1;
        }
        firstReport = false;
        latest = text;
        const auto now = Clock::now();
        if (enabled && now - lastDraw >= std::chrono::milliseconds(100)) {
            lastDraw = now;
            Draw();
        }
    }

    void Message(const char* text, const char* caption) {
        Line(std::string(caption) + ": " + TerminalText(text));
    }

    // A line of its own, above the progress line.
    void Line(const std::string& text) {
        std::lock_guard<std::mutex> lock(mutex);
        Clear();
        std::fprintf(stderr, "%s\n", text.c_str());
        if (enabled) {
            Draw();
        }
        std::fflush(stderr);
    }

    // Ends the line (the bar stays with its last state).
    void Close() {
        std::lock_guard<std::mutex> lock(mutex);
        if (enabled && drawn > 0) {
            Draw();
            std::fputc('\n', stderr);
            drawn = 0;
        }
    }

    bool SawFinish() {
        std::lock_guard<std::mutex> lock(mutex);
        return sawFinish;
    }
    int Files() {
        std::lock_guard<std::mutex> lock(mutex);
        return files;
    }

private:
    void Clear() {
        if (drawn > 0) {
            std::fprintf(stderr, "\r%*s\r", drawn, "");
            drawn = 0;
        }
    }

    void Draw() {
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        const int elapsed = static_cast<int>(seconds);
        // Nobody knows how much is left: the bar is an activity indicator that walks to and fro.
        constexpr int kWidth = 12;
        const int step = static_cast<int>(seconds * 8) % (2 * kWidth - 2);
        const int at = step < kWidth ? step : 2 * kWidth - 2 - step;
        char bar[kWidth + 1];
        for (int i = 0; i < kWidth; ++i) {
            bar[i] = i == at ? '#' : '-';
        }
        bar[kWidth] = '\0';
        char head[96];
        std::snprintf(head, sizeof(head), "[%s] %d files  %.1f/s  %02d:%02d  ", bar, files,
                      seconds > 0 ? files / seconds : 0.0, elapsed / 60, elapsed % 60);
        std::string line = head;
        std::string text = TerminalText(latest);
        constexpr size_t kColumns = 100;
        const size_t room = kColumns > line.size() ? kColumns - line.size() : 0;
        if (text.size() > room) {
            // The end of a path says most: keep it, starting on a character.
            size_t from = text.size() - room + 3;
            while (from < text.size() && (static_cast<unsigned char>(text[from]) & 0xC0) == 0x80) {
                ++from;
            }
            text.replace(0, from, "...");
        }
        line += text;
        const int length = static_cast<int>(line.size());
        std::fprintf(stderr, "\r%s%*s", line.c_str(), drawn > length ? drawn - length : 0, "");
        std::fflush(stderr);
        drawn = length;
    }

    std::mutex mutex;
    bool enabled;
    bool rebuild;
    Clock::time_point start;
    Clock::time_point lastDraw{};
    std::string latest;
    int files = 0;
    bool firstReport = true;
    int drawn = 0;  // columns of the line on screen
    bool sawFinish = false;
};

ProgressLine* activeLine = nullptr;

int OnProgress(int value, const char* text, int finished, void* userData) {
    static_cast<ProgressLine*>(userData)->Report(value, text, finished);
    return 0;
}

void OnMessage(const char* text, const char* caption, void*) {
    if (activeLine != nullptr) {
        activeLine->Message(text, caption);
    } else {
        std::fprintf(stderr, "%s: %s\n", caption, text);
    }
}

void OnDiagnosticLine(const std::string& line) {
    if (activeLine != nullptr) {
        activeLine->Line(line);
    } else {
        std::fprintf(stderr, "%s\n", line.c_str());
    }
}

// The full form of a path as the engine writes paths (the platform's narrow code page).
std::string AbsolutePath(const std::string& path) {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    return error ? path : absolute.string();
}

// An existing folder as an absolute path without a separator at its end (a root keeps its own), so that
// two spellings of one folder compare equal.
std::string NormalFolderPath(const std::string& path) {
    std::error_code error;
    std::filesystem::path absolute = std::filesystem::absolute(path, error);
    if (error) {
        return path;
    }
    absolute = absolute.lexically_normal();
    if (absolute.has_relative_path() && !absolute.has_filename()) {
        absolute = absolute.parent_path();
    }
    return absolute.string();
}

// Parses the options every index command takes, sets the code page and the home folder (which is not
// created here: only a job that writes creates it). Returns -1 when the command may go on, else its exit
// status.
int Prepare(const char* name, const char* synopsis, int argc, char** argv,
            std::initializer_list<const char*> valued, CommandLine& commandLine,
            std::initializer_list<const char*> flags = {}) {
    std::string error;
    if (!ParseCommandLine(argc, argv, valued, flags, commandLine, error) ||
        !ApplyCodePageOption(commandLine, error)) {
        return UsageError(name, error, synopsis);
    }
    if (!commandLine.help.empty()) {
        return PrintHelp(commandLine);
    }
    if (commandLine.Has("--home")) {
        const std::string home = commandLine.Value("--home");
        if (home.empty()) {
            return UsageError(name, "--home needs a folder", synopsis);
        }
        // The index keeps full paths of thumbnails, which other programs read.
        SetProgramFolder(AbsolutePath(home));
    }
    SetMessageSink(OnMessage, nullptr);
    ReportTagDiagnostics(name, OnDiagnosticLine);
    return -1;
}

// --decoders N, 1 to 64: how many threads decode thumbnails (default: one per processor core). Returns -1
// when the command may go on, else its exit status.
int ApplyDecodersOption(const char* name, const char* synopsis, const CommandLine& commandLine) {
    if (!commandLine.Has("--decoders")) {
        return -1;
    }
    const std::string text = commandLine.Value("--decoders");
    int count = 0;
    bool valid = !text.empty() && text.size() <= 2;
    for (char c : text) {
        valid = valid && c >= '0' && c <= '9';
        count = count * 10 + (c - '0');
    }
    if (!valid || count < 1 || count > 64) {
        return UsageError(name, "--decoders needs a number from 1 to 64", synopsis);
    }
    TheIndexEngine().SetDecoders(count);
    return -1;
}

// The checks of the home folder that a job which writes makes before anything is touched. Returns -1
// when the command may go on, else its exit status.
int CheckHomeForWriting(const char* name, const char* synopsis) {
    // Every record names its thumbnail; a home whose thumbnail paths do not fit a record cannot be used.
    const std::string thumbnail = JoinPath(JoinPath(ProgramFolder(), "thumbs"), "000000.tb");
    if (thumbnail.size() > kMaxPathLength) {
        return UsageError(name,
                          "the home folder's path is too long: its thumbnail paths (" +
                              std::to_string(thumbnail.size()) + " bytes) would pass the index's limit of " +
                              std::to_string(kMaxPathLength),
                          synopsis);
    }
    return -1;
}

// Creates the home folder when it is missing, and opens (or creates) its index for writing. False with a
// message naming the folder.
bool OpenIndexForWriting(const char* name) {
    CreateFolder(ProgramFolder());  // an existing home is used as it is
    IndexEngine& engine = TheIndexEngine();
    bool writable = engine.Open();
    if (writable) {
        std::FILE* probe = std::fopen(engine.IndexPath().c_str(), "ab");
        writable = probe != nullptr;
        if (probe != nullptr) {
            std::fclose(probe);
        }
    }
    if (!writable) {
        std::fprintf(stderr, "vellumar-cli %s: cannot write the index in the home folder %s\n", name,
                     ProgramFolder().c_str());
    }
    return writable;
}

// Waits for a job, cancelling it on Ctrl-C. Returns the exit status: 0 when the run came to its end,
// 1 when it did not or reported a failure.
int WaitForJob(ProgressLine& line, bool (IndexEngine::*isRunning)() const, void (IndexEngine::*cancel)(),
               bool (IndexEngine::*failed)() const, const char* name) {
    IndexEngine& engine = TheIndexEngine();
    while ((engine.*isRunning)()) {
        if (interrupted != 0) {
            (engine.*cancel)();  // returns with the index closed, after at most about a second
            line.Close();
            std::fprintf(stderr, "vellumar-cli %s: interrupted\n", name);
            std::fflush(nullptr);
            // A worker left behind must not meet the program's objects being destroyed.
            std::_Exit(130);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    line.Close();
    return line.SawFinish() && !(engine.*failed)() ? 0 : 1;
}

void InstallInterruptHandler() {
    interrupted = 0;
    std::signal(SIGINT, OnInterrupt);
}

}  // namespace

int RunAddFolderCommand(int argc, char** argv) {
    CommandLine commandLine;
    const int early = Prepare("add-folder", kAddFolderSynopsis, argc, argv,
                              {"--home", "--codepage", "--decoders"}, commandLine);
    if (early >= 0) {
        return early;
    }
    const int decodersStatus = ApplyDecodersOption("add-folder", kAddFolderSynopsis, commandLine);
    if (decodersStatus >= 0) {
        return decodersStatus;
    }
    if (commandLine.positional.size() != 1 || commandLine.positional[0].empty()) {
        return UsageError("add-folder", "one FOLDER is needed", kAddFolderSynopsis);
    }
    const std::string folder = AbsolutePath(commandLine.positional[0]);
    if (KindOfPath(folder) != PathKind::kFolder) {
        return UsageError("add-folder", "no folder " + commandLine.positional[0], kAddFolderSynopsis);
    }
    const int homeStatus = CheckHomeForWriting("add-folder", kAddFolderSynopsis);
    if (homeStatus >= 0) {
        return homeStatus;
    }
    if (!OpenIndexForWriting("add-folder")) {
        return 1;
    }
    ProgressLine line(false);
    activeLine = &line;
    InstallInterruptHandler();
    TheIndexEngine().StartAddFolder(folder.c_str(), OnProgress, &line);
    const int status = WaitForJob(line, &IndexEngine::IsAddFolderRunning, &IndexEngine::CancelAddFolder,
                                  &IndexEngine::AddFolderFailed, "add-folder");
    activeLine = nullptr;
    if (status != 0) {
        if (line.SawFinish()) {
            std::fprintf(stderr, "vellumar-cli add-folder: indexing %s failed after %d files\n",
                         folder.c_str(), line.Files());
        } else {
            std::fprintf(stderr, "vellumar-cli add-folder: cannot index the folder %s\n", folder.c_str());
        }
        return status;
    }
    std::fprintf(stderr, "%d files processed in %s\n", line.Files(), folder.c_str());
    return 0;
}

int RunRebuildCommand(int argc, char** argv) {
    CommandLine commandLine;
    const int early = Prepare("rebuild", kRebuildSynopsis, argc, argv,
                              {"--home", "--codepage", "--drive", "--decoders"}, commandLine);
    if (early >= 0) {
        return early;
    }
    const int decodersStatus = ApplyDecodersOption("rebuild", kRebuildSynopsis, commandLine);
    if (decodersStatus >= 0) {
        return decodersStatus;
    }
    if (!commandLine.positional.empty()) {
        return UsageError("rebuild", "unexpected argument " + commandLine.positional[0], kRebuildSynopsis);
    }
    std::vector<std::string> roots;
    if (commandLine.Has("--drive")) {
        for (const std::string& root : commandLine.options.at("--drive")) {
            if (root.empty()) {
                return UsageError("rebuild", "--drive needs a folder", kRebuildSynopsis);
            }
            // Checked before anything is touched: a rebuild begins by emptying the index.
            if (KindOfPath(root) != PathKind::kFolder) {
                return UsageError("rebuild", "no folder " + root, kRebuildSynopsis);
            }
            const std::string normal = NormalFolderPath(root);
            if (std::find(roots.begin(), roots.end(), normal) == roots.end()) {
                roots.push_back(normal);  // a root given twice is walked once
            }
        }
    } else if (FixedDriveRoots().empty()) {
        std::fprintf(stderr, "vellumar-cli rebuild: no local disk to index\n");
        return 1;
    }
    const int homeStatus = CheckHomeForWriting("rebuild", kRebuildSynopsis);
    if (homeStatus >= 0) {
        return homeStatus;
    }
    if (!OpenIndexForWriting("rebuild")) {
        return 1;
    }
    IndexEngine& engine = TheIndexEngine();
    engine.SetRebuildRoots(roots);
    ProgressLine line(true);
    activeLine = &line;
    InstallInterruptHandler();
    engine.StartRebuild(OnProgress, &line);
    const int status = WaitForJob(line, &IndexEngine::IsRebuildRunning, &IndexEngine::CancelRebuild,
                                  &IndexEngine::RebuildFailed, "rebuild");
    activeLine = nullptr;
    // The reports cannot tell a new folder from a new record; the index can.
    size_t records = 0;
    IndexReader reader;
    IndexRecord record;
    if (line.SawFinish() && reader.Open(engine.IndexPath())) {
        while (reader.Next(record)) {
            ++records;
        }
    }
    if (status != 0) {
        if (line.SawFinish()) {
            std::fprintf(stderr, "vellumar-cli rebuild: failed after %zu files indexed\n", records);
        } else {
            std::fprintf(stderr, "vellumar-cli rebuild: the index was not rebuilt\n");
        }
        return status;
    }
    std::fprintf(stderr, "%zu files indexed\n", records);
    return 0;
}

namespace {

// The index of the home folder must exist for the reading commands. False with a message.
bool IndexExists(const char* name) {
    const std::string path = IndexPathFor(ProgramFolder());
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        std::fprintf(stderr, "vellumar-cli %s: no index in the home folder %s\n", name,
                     ProgramFolder().c_str());
        return false;
    }
    std::fclose(file);
    return true;
}

// A warning on standard error when reading stopped before the end of the index file: the records after
// that point were neither shown nor searched.
void WarnWhereReadingStopped(const char* name, const IndexStop& stop) {
    if (stop.end == IndexEnd::kClean) {
        return;
    }
    const std::string path = IndexPathFor(ProgramFolder());
    ScopedFile file(std::fopen(path.c_str(), "rb"));
    int64_t size = -1;
    if (file && std::fseek(file.Get(), 0, SEEK_END) == 0) {
        size = TellFile(file.Get());
    }
    const auto from = static_cast<long long>(stop.readableEnd);
    const auto to = static_cast<long long>(size);
    if (stop.end == IndexEnd::kCutShort) {
        std::fprintf(
            stderr,
            "vellumar-cli %s: warning: the index of %lld bytes ends in an incomplete record after byte "
            "%lld (a job is writing it, or one stopped while writing it)\n",
            name, to, from);
    } else {
        std::fprintf(
            stderr,
            "vellumar-cli %s: warning: the index is damaged at byte %lld; the records in its last %lld "
            "bytes cannot be read (the next add-folder keeps the whole file as %s)\n",
            name, from, to - from, DamagedIndexPathFor(path).c_str());
    }
}

}  // namespace

int RunSearchCommand(int argc, char** argv) {
    CommandLine commandLine;
    const int early =
        Prepare("search", kSearchSynopsis, argc, argv, {"--home", "--codepage"}, commandLine, {"--json"});
    if (early >= 0) {
        return early;
    }
    if (commandLine.positional.size() != 1) {
        return UsageError("search", "one TEXT is needed", kSearchSynopsis);
    }
    if (!IndexExists("search")) {
        return 1;
    }
    SearchOutput output(stdout, commandLine.Has("--json") ? SearchFormat::kJson : SearchFormat::kPlain,
                        ActiveCodePage());
    // The scan of the engine's search job, on this thread: the job hands each hit over with a yield of
    // the processor, which costs more than the scan itself when there are many hits.
    IndexStop stop;
    const bool scanned = ScanIndex(
        IndexPathFor(ProgramFolder()), commandLine.positional[0], CodePageCase(ActiveCodePage()),
        [&](const std::string& path, const std::string& thumbnail) { output.Hit(path, thumbnail); }, nullptr,
        0, &stop);
    output.Finish();
    WarnWhereReadingStopped("search", stop);
    std::fprintf(stderr, "%zu hits\n", output.Count());
    return scanned ? 0 : 1;
}

int RunDumpCommand(int argc, char** argv) {
    CommandLine commandLine;
    const int early = Prepare("dump", kDumpSynopsis, argc, argv, {"--home", "--codepage"}, commandLine);
    if (early >= 0) {
        return early;
    }
    if (!commandLine.positional.empty()) {
        return UsageError("dump", "unexpected argument " + commandLine.positional[0], kDumpSynopsis);
    }
    if (!IndexExists("dump")) {
        return 1;
    }
    IndexReader reader;
    if (!reader.Open(IndexPathFor(ProgramFolder()))) {
        return 1;
    }
    const int codePage = ActiveCodePage();
    IndexRecord record;
    while (reader.Next(record)) {
        nlohmann::ordered_json line;
        line["path"] = ToUtf8Lossy(record.path, codePage);
        line["thumbnail"] = ToUtf8Lossy(record.thumbnail, codePage);
        line["caption"] = ToUtf8Lossy(record.caption, codePage);
        line["layers"] = nlohmann::ordered_json::array();
        for (const std::string& layer : record.layers) {
            line["layers"].push_back(ToUtf8Lossy(layer, codePage));
        }
        std::fputs((JsonText(line) + "\n").c_str(), stdout);
    }
    std::fflush(stdout);
    WarnWhereReadingStopped("dump", reader.Stop());
    return 0;
}
