// vellumar-cli serve: the search index in a browser, over HTTP on this computer.
//
// Prints the address of the search page on standard output, one line per request on standard error,
// and serves until Ctrl-C (status 130) or a termination signal (143).
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#include "cli/cli_common.h"
#include "taglib/codepage.h"
#include "cli/commands.h"
#include "indexer/environment.h"
#include "cli/serve/index_catalog.h"
#include "cli/serve/photo_server.h"

namespace {

const char* const kSynopsis = SynopsisOf("serve");
constexpr int kDefaultPort = 8637;
constexpr const char* kDefaultAddress = "127.0.0.1";

volatile std::sig_atomic_t stopSignal = 0;

void OnStopSignal(int signal) {
    stopSignal = signal;
}

bool ParsePort(const std::string& text, int& port) {
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    port = std::stoi(text);
    return port <= 65535;
}

}  // namespace

int RunServeCommand(int argc, char** argv) {
    CommandLine commandLine;
    std::string error;
    if (!ParseCommandLine(argc, argv, {"--home", "--codepage", "--port", "--bind"}, {}, commandLine, error) ||
        !ApplyCodePageOption(commandLine, error)) {
        return UsageError("serve", error, kSynopsis);
    }
    if (!commandLine.help.empty()) {
        return PrintHelp(commandLine);
    }
    if (!commandLine.positional.empty()) {
        return UsageError("serve", "unexpected argument " + commandLine.positional[0], kSynopsis);
    }
    int port = kDefaultPort;
    if (commandLine.Has("--port") && !ParsePort(commandLine.Value("--port"), port)) {
        return UsageError("serve", "--port needs a port number from 0 (any free port) to 65535", kSynopsis);
    }
    const std::string address = commandLine.Value("--bind", kDefaultAddress);
    if (address.empty()) {
        return UsageError("serve", "--bind needs an address, e.g. 127.0.0.1", kSynopsis);
    }
    std::string home = ProgramFolder();
    if (commandLine.Has("--home")) {
        std::error_code failure;
        const std::filesystem::path given = commandLine.Value("--home");
        if (given.empty() || !std::filesystem::is_directory(given, failure)) {
            std::fprintf(stderr, "vellumar-cli serve: no home folder %s\n", given.string().c_str());
            return 1;
        }
        home = std::filesystem::absolute(given, failure).string();
    }

    IndexCatalog catalog(IndexPathFor(home), ActiveCodePage());
    PhotoServer server(catalog, stderr);
    if (!IsLoopbackAddress(address)) {
        std::fprintf(stderr,
                     "vellumar-cli serve: warning: serving on %s, so the index, its photos and their tags "
                     "are visible to every computer that can reach this address\n",
                     address.c_str());
    }
    if (!server.Bind(address, port, error)) {
        std::fprintf(stderr, "vellumar-cli serve: %s\n", error.c_str());
        return 1;
    }
    std::fprintf(stderr, "vellumar-cli serve: serving %s; Ctrl-C stops\n", catalog.IndexPath().c_str());
    std::printf("%s\n", server.Url().c_str());
    std::fflush(stdout);

    stopSignal = 0;
    std::signal(SIGINT, OnStopSignal);
    std::signal(SIGTERM, OnStopSignal);
    // A client or a log reader that goes away must not end the server.
    std::signal(SIGPIPE, SIG_IGN);
    std::atomic<bool> ended{false};
    std::thread runner([&] {
        server.Run();
        ended = true;
    });
    // The table of a large index takes a while to read: it is read now rather than at the first search,
    // and what is wrong with the index is said at once.
    std::atomic<bool> checked{false};
    std::thread checker([&] {
        const IndexStatus status = catalog.Status();
        if (status.state != IndexState::kReady) {
            std::fprintf(stderr, "vellumar-cli serve: %s\n", status.message.c_str());
        }
        checked = true;
    });
    while (stopSignal == 0 && !ended) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    const int exitStatus = stopSignal == 0 ? 1 : 128 + stopSignal;
    server.Stop();
    // Connections still being answered get a moment; a download that takes longer is cut off.
    for (int wait = 0; wait < 40 && !(ended && checked); ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    std::fflush(nullptr);
    if (!ended || !checked) {
        std::_Exit(exitStatus);
    }
    runner.join();
    checker.join();
    return exitStatus;
}
