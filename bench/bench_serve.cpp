// "vellumar-cli serve" under load on loopback: concurrent clients search an index of 200 MB for a fixed
// time. Every answer is checked against the engine's own scan of the same file (the hit count and the
// first hits); the server's resident memory is sampled throughout.
//
// Usage: bench_serve [--work DIR] [--clients N] [--seconds S]
// The index is generated on the first run into the work folder (default: a folder in the system's temp
// folder) and reused by later runs; the server is the vellumar-cli beside this program.
#include <fcntl.h>
#include <httplib.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <nlohmann/json.hpp>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/generated_index.h"
#include "indexer/search_index.h"
#include "indexer/text_case.h"

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kIndexMegabytes = 200;
constexpr size_t kLimit = 100;  // hits per answer, as a script would page them

// The records of the scan benchmark (bench_index_engine), as the server's index.
fs::path EnsureIndex(const fs::path& home) {
    const fs::path path = home / "index";
    if (fs::exists(path) && fs::file_size(path) >= kIndexMegabytes << 20) {
        return path;
    }
    fs::create_directories(home);
    std::printf("made an index of %zu MB\n", WriteGeneratedIndex(path, kIndexMegabytes) >> 20);
    return path;
}

struct Expected {
    std::string query;
    size_t count = 0;
    std::vector<std::string> first;  // paths of the first kLimit hits
};

// The server as a child process; its address comes from its first line of output.
struct ServerProcess {
    pid_t pid = -1;
    std::string host;
    int port = 0;

    bool Start(const fs::path& cli, const fs::path& home) {
        int out[2];
        if (pipe(out) != 0) {
            return false;
        }
        pid = fork();
        if (pid == 0) {
            dup2(out[1], STDOUT_FILENO);
            // The request log goes nowhere: a terminal would cost more than the server.
            const int nothing = open("/dev/null", O_WRONLY);
            dup2(nothing, STDERR_FILENO);
            close(out[0]);
            execl(cli.c_str(), "vellumar-cli", "serve", "--home", home.c_str(), "--codepage", "1252",
                  "--port", "0", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(out[1]);
        std::string line;
        char c = 0;
        while (read(out[0], &c, 1) == 1 && c != '\n') {
            line += c;
        }
        close(out[0]);
        const size_t colon = line.rfind(':');
        if (line.rfind("http://", 0) != 0 || colon == std::string::npos) {
            return false;
        }
        host = line.substr(7, colon - 7);
        port = std::atoi(line.c_str() + colon + 1);
        return port > 0;
    }

    long RssKilobytes() const {
        std::ifstream status("/proc/" + std::to_string(pid) + "/status");
        std::string key;
        while (status >> key) {
            if (key == "VmRSS:") {
                long value = 0;
                status >> value;
                return value;
            }
        }
        return 0;
    }

    // User and system processor time of the server so far, in seconds.
    double CpuSeconds() const {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
        const size_t close = text.rfind(')');  // the command name may hold blanks
        if (close == std::string::npos) {
            return 0;
        }
        std::istringstream fields(text.substr(close + 2));
        std::string field;
        double ticks = 0;
        for (int i = 3; i <= 15 && fields >> field; ++i) {
            if (i == 14 || i == 15) {
                ticks += std::stod(field);
            }
        }
        return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
    }

    int Stop() const {
        kill(pid, SIGINT);
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
};

double Percentile(std::vector<double>& values, double fraction) {
    if (values.empty()) {
        return 0;
    }
    const size_t at =
        std::min(values.size() - 1, static_cast<size_t>(fraction * static_cast<double>(values.size())));
    std::nth_element(values.begin(), values.begin() + static_cast<long>(at), values.end());
    return values[at];
}

}  // namespace

int main(int argc, char** argv) {
    fs::path work = fs::temp_directory_path() / "vellumar-bench";
    int clients = 50;
    int seconds = 10;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--work") == 0) {
            work = argv[i + 1];
        } else if (std::strcmp(argv[i], "--clients") == 0) {
            clients = std::atoi(argv[i + 1]);
        } else if (std::strcmp(argv[i], "--seconds") == 0) {
            seconds = std::atoi(argv[i + 1]);
        }
    }
    const fs::path home = work / "serve-home";
    const fs::path index = EnsureIndex(home);
    const fs::path cli = fs::canonical("/proc/self/exe").parent_path() / "vellumar-cli";

    // What every answer must say, from the engine's scan of the same file.
    std::vector<Expected> expected;
    CodePageCase textCase(1252);
    for (const char* word : kGeneratedIndexWords) {
        Expected e;
        e.query = word;
        ScanIndex(
            index.string(), word, textCase,
            [&](const std::string& path, const std::string&) {
                if (e.first.size() < kLimit) {
                    e.first.push_back(path);
                }
                ++e.count;
            },
            nullptr);
        expected.push_back(std::move(e));
    }
    expected.push_back({"lighthouse", 0, {}});

    ServerProcess server;
    if (!server.Start(cli, home)) {
        std::fprintf(stderr, "bench_serve: %s serve did not start\n", cli.c_str());
        return 1;
    }
    const auto firstStart = Clock::now();
    {
        httplib::Client warm(server.host, server.port);
        warm.set_read_timeout(300, 0);
        auto answer = warm.Get("/api/search?q=lake&limit=1");
        if (!answer || answer->status != 200) {
            std::fprintf(stderr, "bench_serve: the first search failed\n");
            server.Stop();
            return 1;
        }
    }
    const double firstSeconds = std::chrono::duration<double>(Clock::now() - firstStart).count();
    const long rssAfterWarmUp = server.RssKilobytes();

    std::atomic<bool> running{true};
    std::atomic<long> rssMax{rssAfterWarmUp};
    std::atomic<long> rssMin{rssAfterWarmUp};
    std::thread sampler([&] {
        while (running) {
            const long rss = server.RssKilobytes();
            rssMax = std::max(rssMax.load(), rss);
            rssMin = std::min(rssMin.load(), rss);
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
    });

    std::mutex mutex;
    std::vector<double> latencies;
    size_t errors = 0;
    size_t wrong = 0;
    std::string firstProblem;
    const double cpuBefore = server.CpuSeconds();
    const auto start = Clock::now();
    const auto end = start + std::chrono::seconds(seconds);
    std::vector<std::thread> threads;
    for (int c = 0; c < clients; ++c) {
        threads.emplace_back([&, c] {
            httplib::Client client(server.host, server.port);
            client.set_keep_alive(true);
            client.set_read_timeout(300, 0);
            std::vector<double> mine;
            size_t myErrors = 0;
            size_t myWrong = 0;
            std::string problem;
            for (size_t k = static_cast<size_t>(c); Clock::now() < end; ++k) {
                const Expected& e = expected[k % expected.size()];
                const auto sent = Clock::now();
                auto answer = client.Get("/api/search?q=" + e.query + "&limit=" + std::to_string(kLimit));
                const double ms = std::chrono::duration<double, std::milli>(Clock::now() - sent).count();
                if (!answer || answer->status != 200) {
                    ++myErrors;
                    if (problem.empty()) {
                        problem = answer ? "status " + std::to_string(answer->status)
                                         : httplib::to_string(answer.error());
                    }
                    continue;
                }
                mine.push_back(ms);
                const auto body = nlohmann::json::parse(answer->body, nullptr, false);
                bool right = !body.is_discarded() && body.value("count", size_t{0}) == e.count &&
                             body["hits"].size() == e.first.size();
                for (size_t h = 0; right && h < e.first.size(); ++h) {
                    right = body["hits"][h]["path"] == e.first[h];
                }
                if (!right) {
                    ++myWrong;
                    if (problem.empty()) {
                        problem = "wrong answer for " + e.query;
                    }
                }
            }
            std::lock_guard<std::mutex> lock(mutex);
            latencies.insert(latencies.end(), mine.begin(), mine.end());
            errors += myErrors;
            wrong += myWrong;
            if (firstProblem.empty()) {
                firstProblem = problem;
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    const double cpu = server.CpuSeconds() - cpuBefore;
    running = false;
    sampler.join();
    const long rssEnd = server.RssKilobytes();
    const int status = server.Stop();

    const size_t answered = latencies.size();
    const double median = Percentile(latencies, 0.5);
    const double p99 = Percentile(latencies, 0.99);
    std::printf("index %.0f MB, %d clients, %.1f s, %zu queries in rotation\n",
                static_cast<double>(fs::file_size(index)) / (1 << 20), clients, elapsed, expected.size());
    std::printf("first search (waits for the record table, read at start-up): %.2f s\n", firstSeconds);
    std::printf("answers %zu (%.1f per second), errors %zu, wrong answers %zu%s%s\n", answered,
                static_cast<double>(answered) / elapsed, errors, wrong, firstProblem.empty() ? "" : ": ",
                firstProblem.c_str());
    std::printf("latency median %.0f ms, 99th percentile %.0f ms\n", median, p99);
    std::printf("server processor time %.1f s, %.0f ms per answer (%u processors)\n", cpu,
                answered > 0 ? 1000 * cpu / static_cast<double>(answered) : 0.0,
                std::thread::hardware_concurrency());
    std::printf(
        "server memory (resident): after the first search %ld MB, during the load %ld to %ld MB, "
        "at the end %ld MB\n",
        rssAfterWarmUp >> 10, rssMin.load() >> 10, rssMax.load() >> 10, rssEnd >> 10);
    std::printf("server exit status %d\n", status);
    return errors == 0 && wrong == 0 && status == 130 ? 0 : 1;
}
