// Speed of the index engine against common tools on the same data, in the same run:
//   thumbnails  thumbnails per second for 4000 x 3000 JPEGs, against vipsthumbnail --size 100x100!
//   search      scan throughput over an index of at least 200 MB, against grep -c -i
//   add-folder  the whole add-folder job (walk, tags, index, thumbnails) over 300 camera-size JPEGs
//               with tag packets, against vipsthumbnail making the same thumbnails alone
//   many-files  add-folder over a tree of 100,000 small JPEGs: files per second and peak memory
//   search-tools   the engine and vellumar-cli search against rg -i, grep -i and cat over the same
//                  records (index and text copy of about 200 MB each, generated once), sides alternating
//   search-memory  vellumar-cli search over a 2 GB index: time and peak memory
//   throughput     add-folder with every core and with one decoder over 60 camera photos (4:2:2 and
//                  4:2:0, two progressive) against vipsthumbnail, runs alternating; with --windows-cli EXE
//                  also that Windows build under Wine against the native build on 12 of the photos
// Usage: bench_index_engine [--work DIR] [--windows-cli EXE] [--rounds N]
//                           [thumbnails|search|search-tools|search-memory|add-folder|many-files|throughput]...
// The generated data stays in the work folder (default: a folder in the system's temp folder) and is
// reused by later runs.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "taglib/codepage.h"
#include "bench/generated_index.h"
#include "indexer/environment.h"
#include "taglib/image_tags.h"
#include "indexer/platform.h"
#include "indexer/search_index.h"
#include "indexer/text_case.h"
#include "indexer/thumbnail_cache.h"

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

// Joins texts by appending (GCC 12 warns wrongly about "literal" + std::string at -O3).
std::string Cat(std::initializer_list<std::string_view> parts) {
    std::string out;
    for (std::string_view part : parts) {
        out += part;
    }
    return out;
}

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// How a camera stores its picture: chroma halved across only (4:2:2) or both ways (4:2:0, libjpeg's
// default), sequential or progressive.
struct JpegMake {
    bool chroma422 = false;
    bool progressive = false;
};

// A photo-like picture: smooth gradients, a few shapes and sensor noise, so that it compresses like a
// camera picture (a few megabytes at 4000 x 3000), optionally with a tag packet in APP9.
void WriteJpeg(const std::string& path, int width, int height, unsigned seed, const std::string& packet,
               JpegMake make = {}) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        std::perror(path.c_str());
        std::exit(1);
    }
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 90, TRUE);
    if (make.chroma422) {
        info.comp_info[0].h_samp_factor = 2;
        info.comp_info[0].v_samp_factor = 1;
    }
    if (make.progressive) {
        jpeg_simple_progression(&info);
    }
    jpeg_start_compress(&info, TRUE);
    if (!packet.empty()) {
        jpeg_write_marker(&info, JPEG_APP0 + 9, reinterpret_cast<const JOCTET*>(packet.data()),
                          static_cast<unsigned>(packet.size()));
    }
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> noise(-6, 6);
    const int cx = static_cast<int>(random() % static_cast<unsigned>(width));
    const int cy = static_cast<int>(random() % static_cast<unsigned>(height));
    std::vector<uint8_t> row(static_cast<size_t>(width) * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int dx = x - cx;
            const int dy = y - cy;
            const bool sun = dx * dx + dy * dy < (height / 8) * (height / 8);
            int r = sun ? 250 : 40 + 180 * y / height;
            int g = sun ? 220 : 90 + 100 * x / width;
            int b = sun ? 120 : 200 - 150 * y / height;
            const int n = noise(random);
            row[3 * x] = static_cast<uint8_t>(std::clamp(r + n, 0, 255));
            row[3 * x + 1] = static_cast<uint8_t>(std::clamp(g + n, 0, 255));
            row[3 * x + 2] = static_cast<uint8_t>(std::clamp(b + n, 0, 255));
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::fclose(file);
}

std::string Packet(unsigned number) {
    const std::string ns = SuiteNamespaceUri;
    return "<rdf:RDF xmlns:nto=\"" + ns + "\" xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">" +
           "<rdf:Description rdf:about=\"" + ns +
           "\"><nto:size_x>4000</nto:size_x><nto:size_y>3000</nto:size_y>"
           "<nto:layer rdf:parseType=\"Collection\"><rdf:li nto:UID=\"1\"><nto:name>Lighthouse " +
           std::to_string(number) +
           "</nto:name><nto:pos_x>100</nto:pos_x><nto:pos_y>200</nto:pos_y></rdf:li></nto:layer>"
           "<nto:caption_x>10</nto:caption_x><nto:caption_y>10</nto:caption_y><nto:version>2</nto:version>"
           "<nto:cap_text>Summer at the lake</nto:cap_text></rdf:Description></rdf:RDF>";
}

// Makes `count` JPEGs in `folder` unless they are there from an earlier run.
std::vector<std::string> EnsurePhotos(const fs::path& folder, int count, int width, int height,
                                      bool packets) {
    fs::create_directories(folder);
    std::vector<std::string> paths;
    int made = 0;
    for (int i = 0; i < count; ++i) {
        char name[32];
        std::snprintf(name, sizeof(name), "photo%05d.jpg", i);
        const fs::path path = folder / name;
        if (!fs::exists(path)) {
            WriteJpeg(path.string(), width, height, static_cast<unsigned>(i), packets ? Packet(i) : "");
            ++made;
        }
        paths.push_back(path.string());
    }
    if (made > 0) {
        std::printf("  made %d pictures of %d x %d in %s\n", made, width, height, folder.string().c_str());
    }
    return paths;
}

// Runs a command line through the shell; its wall time in seconds and the peak memory of the
// processes it started, in kilobytes.
struct Measured {
    double seconds = 0;
    long peakKilobytes = 0;
    int status = 0;
};

Measured RunCommand(const std::string& command) {
    const auto start = Clock::now();
    const pid_t child = fork();
    if (child == 0) {
        execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    Measured measured;
    measured.seconds = Seconds(Clock::now() - start);
    measured.peakKilobytes = usage.ru_maxrss;  // the child and the processes it waited for
    measured.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return measured;
}

std::string Quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

std::string VipsCommand(const std::vector<std::string>& photos, const fs::path& outFolder, bool oneThread) {
    fs::remove_all(outFolder);
    fs::create_directories(outFolder);
    std::string command = oneThread ? "VIPS_CONCURRENCY=1 " : "";
    command += "vipsthumbnail --size '100x100!' -o " + Quote((outFolder / "%s.bmp").string());
    for (const std::string& photo : photos) {
        command += ' ';
        command += Quote(photo);
    }
    return command;
}

void BenchThumbnails(const fs::path& work) {
    std::printf("thumbnails (4000 x 3000 JPEGs)\n");
    const std::vector<std::string> photos = EnsurePhotos(work / "camera", 40, 4000, 3000, false);
    const fs::path home = work / "thumb-home";
    fs::remove_all(home);
    fs::create_directories(home);
    ThumbnailCache cache(home.string(), nullptr);
    cache.EnsureThumbsFolder();
    cache.MakeThumbnail(photos[0]);  // load the files into the page cache for both sides
    RunCommand(VipsCommand(photos, work / "vips-out", false));
    const auto start = Clock::now();
    for (const std::string& photo : photos) {
        cache.MakeThumbnail(photo);
    }
    const double ours = Seconds(Clock::now() - start);
    const Measured vips = RunCommand(VipsCommand(photos, work / "vips-out", false));
    const Measured vipsOne = RunCommand(VipsCommand(photos, work / "vips-out", true));
    const double n = static_cast<double>(photos.size());
    std::printf("  engine:                      %6.1f thumbnails/s (%.3f s)\n", n / ours, ours);
    std::printf("  vipsthumbnail:               %6.1f thumbnails/s (%.3f s)  time ratio engine/vips %.2f\n",
                n / vips.seconds, vips.seconds, ours / vips.seconds);
    std::printf("  vipsthumbnail, one thread:   %6.1f thumbnails/s (%.3f s)  time ratio engine/vips %.2f\n",
                n / vipsOne.seconds, vipsOne.seconds, ours / vipsOne.seconds);
}

// An index of `megabytes` of made-up records: paths, thumbnails, captions and layer names of words.
fs::path EnsureIndex(const fs::path& work, size_t megabytes) {
    const fs::path path = work / "search-index";
    if (fs::exists(path) && fs::file_size(path) >= megabytes << 20) {
        return path;
    }
    std::printf("  made an index of %zu MB\n", WriteGeneratedIndex(path, megabytes) >> 20);
    return path;
}

void BenchSearch(const fs::path& work) {
    std::printf("search scan\n");
    const fs::path index = EnsureIndex(work, 200);
    const double megabytes = static_cast<double>(fs::file_size(index)) / (1 << 20);
    CodePageCase textCase(1252);
    for (const char* query : {"lighthouse", "Grandma", "e"}) {
        size_t hits = 0;
        double best = 1e9;
        for (int round = 0; round < 3; ++round) {  // the first round also brings the file into the cache
            hits = 0;
            const auto start = Clock::now();
            ScanIndex(
                index.string(), query, textCase, [&](const std::string&, const std::string&) { ++hits; },
                [] { return false; });
            best = std::min(best, Seconds(Clock::now() - start));
        }
        // grep's output goes to a file: with output to /dev/null grep stops at the first match.
        auto grepSeconds = [&](const char* locale) {
            double fastest = 1e9;
            for (int round = 0; round < 3; ++round) {
                const Measured grep =
                    RunCommand(Cat({"LC_ALL=", locale, " grep -c -i ", Quote(query), " ",
                                    Quote(index.string()), " > ", Quote((work / "grep.out").string())}));
                fastest = std::min(fastest, grep.seconds);
            }
            return fastest;
        };
        const double grepUtf8 = grepSeconds("C.UTF-8");
        const double grepC = grepSeconds("C");
        std::printf(
            "  %-11s engine %6.0f MB/s (%7zu hits)  grep -c -i: C.UTF-8 %6.0f MB/s, C %6.0f MB/s  "
            "engine/grep speed %.2f, %.2f\n",
            query, megabytes / best, hits, megabytes / grepUtf8, megabytes / grepC, grepUtf8 / best,
            grepC / best);
    }
    // The same scan over windows mapped into memory instead of read (platform.h's MapFileWindows).
    MapFileWindows(true);
    double mapped = 1e9;
    for (int round = 0; round < 3; ++round) {
        const auto start = Clock::now();
        ScanIndex(
            index.string(), "lighthouse", textCase, [](const std::string&, const std::string&) {},
            [] { return false; });
        mapped = std::min(mapped, Seconds(Clock::now() - start));
    }
    MapFileWindows(false);
    std::printf("  lighthouse  engine over mapped windows %6.0f MB/s\n", megabytes / mapped);
}

// The records of EnsureIndex's kind (two of whose words have letters beyond ASCII) as an index in
// `codePage` in a home folder of their own, and as a text copy for the general-purpose tools: one line
// per record, its fields joined by tabs, in the same code page.
struct ToolData {
    fs::path home;
    fs::path index;
    fs::path text;
};

ToolData EnsureToolData(const fs::path& work, int codePage, size_t megabytes) {
    ToolData data;
    data.home = work / (codePage == kCodePageUtf8 ? "tools-utf8" : "tools-1252");
    data.index = data.home / "index";
    data.text = data.home / "records.txt";
    if (fs::exists(data.index) && fs::exists(data.text) && fs::file_size(data.index) >= megabytes << 20) {
        return data;
    }
    fs::create_directories(data.home);
    static const char* const kWords[] = {
        "summer", "lake",   "harbour", "Grandma", "birthday",     "beach",       "Paris",    "holiday",
        "snow",   "garden", "Dog",     "cat",     "sunset",       "bridge",      "mountain", "Wedding",
        "party",  "river",  "forest",  "city",    "Cr\xC3\xA8me", "For\xC3\xAAt"};
    constexpr size_t kWordCount = sizeof(kWords) / sizeof(kWords[0]);
    std::vector<std::string> words;
    for (const char* word : kWords) {
        std::string converted;
        ConvertCodePage(word, kCodePageUtf8, codePage, converted);
        words.push_back(converted);
    }
    std::mt19937 random(7);
    auto word = [&] { return words[random() % kWordCount]; };
    std::ofstream index(data.index, std::ios::binary | std::ios::trunc);
    std::ofstream text(data.text, std::ios::binary | std::ios::trunc);
    std::string block;
    std::string lines;
    size_t written = 0;
    unsigned number = 0;
    auto field = [&](const std::string& value, bool first) {
        AppendField(block, value);
        lines += first ? "" : "\t";
        lines += value;
    };
    while (written < megabytes << 20) {
        block.clear();
        lines.clear();
        for (int i = 0; i < 10000; ++i, ++number) {
            const std::string folder = "C:\\Photos\\" + word() + "\\" + std::to_string(2000 + number % 25);
            field(folder + "\\IMG_" + std::to_string(number) + ".jpg", true);
            char thumb[64];
            std::snprintf(thumb, sizeof(thumb), "C:\\Program Files\\Vellumar\\thumbs\\%.6u.tb", number);
            field(thumb, false);
            field(number % 3 == 0 ? word() + " at the " + word() + " with " + word() : "", false);
            const uint32_t layers = number % 4;
            block.append(reinterpret_cast<const char*>(&layers), 4);  // little-endian hosts only
            for (uint32_t k = 0; k < layers; ++k) {
                field(word(), false);
            }
            lines += '\n';
        }
        index.write(block.data(), static_cast<std::streamsize>(block.size()));
        text.write(lines.data(), static_cast<std::streamsize>(lines.size()));
        written += block.size();
    }
    std::printf("  made an index of %zu MB and its text copy in %s\n", written >> 20, data.home.c_str());
    return data;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The engine's scan and vellumar-cli against ripgrep and grep on the text copy of the same records, and
// cat of the index to /dev/null as the ceiling of reading it; the sides take turns, round after round,
// and each side's median time counts. The searches write what they print to a file (grep stops at the
// first match when its output is /dev/null).
void BenchSearchTools(const fs::path& work, const fs::path& cli) {
    std::printf("search against ripgrep, grep and cat (medians of 7 rounds, sides alternating)\n");
    constexpr int kRounds = 7;
    struct Query {
        const char* label;
        const char* text;  // UTF-8
        int codePage;
    };
    const Query queries[] = {
        {"a word found nowhere", "lighthouse", 1252},
        {"a file name found once", "IMG_1234567", 1252},
        {"a layer name, hits printed", "Grandma", 1252},
        {"beyond ASCII, code page 1252", "CR\xC3\x88ME", 1252},
        {"beyond ASCII, UTF-8", "CR\xC3\x88ME", kCodePageUtf8},
    };
    const fs::path out = work / "tool.out";
    for (const Query& query : queries) {
        const ToolData data = EnsureToolData(work, query.codePage, 200);
        const double megabytes = static_cast<double>(fs::file_size(data.index)) / (1 << 20);
        std::string inCodePage;
        ConvertCodePage(query.text, kCodePageUtf8, query.codePage, inCodePage);
        const bool ascii =
            std::all_of(inCodePage.begin(), inCodePage.end(), [](char c) { return (c & 0x80) == 0; });
        const std::string o = " > " + Quote(out.string());
        const std::string cliCommand =
            "exec " + Quote(cli.string()) + " search --home " + Quote(data.home.string()) + " --codepage " +
            std::to_string(query.codePage) + " " + Quote(inCodePage) + o + " 2>/dev/null";
        // ripgrep takes a UTF-8 pattern and transcodes text in another encoding; grep in the C locale
        // folds ASCII letters only, so its hits for letters beyond ASCII are not the same.
        const std::string rgCommand = std::string("exec rg -i ") +
                                      (query.codePage == 1252 ? "-E windows-1252 " : "") + Quote(query.text) +
                                      " " + Quote(data.text.string()) + o;
        const std::string grepCommand =
            std::string("export LC_ALL=") + (query.codePage == kCodePageUtf8 ? "C.UTF-8" : "C") +
            "; exec grep -i " + Quote(inCodePage) + " " + Quote(data.text.string()) + o;
        const std::string catCommand = "exec cat " + Quote(data.index.string()) + " > /dev/null";
        const CodePageCase textCase(query.codePage);
        std::vector<double> engine, ours, rg, grep, cat;
        size_t hits = 0;
        for (int round = 0; round < kRounds + 1; ++round) {  // round 0 brings the files into the cache
            hits = 0;
            const auto start = Clock::now();
            ScanIndex(
                data.index.string(), inCodePage, textCase,
                [&](const std::string&, const std::string&) { ++hits; }, [] { return false; });
            const double engineSeconds = Seconds(Clock::now() - start);
            const double cliSeconds = RunCommand(cliCommand).seconds;
            const double rgSeconds = RunCommand(rgCommand).seconds;
            const double grepSeconds = RunCommand(grepCommand).seconds;
            const double catSeconds = RunCommand(catCommand).seconds;
            if (round > 0) {
                engine.push_back(engineSeconds);
                ours.push_back(cliSeconds);
                rg.push_back(rgSeconds);
                grep.push_back(grepSeconds);
                cat.push_back(catSeconds);
            }
        }
        const double e = Median(engine), c = Median(ours), r = Median(rg), g = Median(grep), k = Median(cat);
        std::printf("  %-30s %-12s %7zu hits%s\n", query.label,
                    inCodePage == query.text ? query.text : "(code page)", hits,
                    ascii ? "" : " (beyond ASCII)");
        std::printf(
            "    engine %5.0f MB/s  cli %5.0f MB/s  rg -i %5.0f MB/s  grep -i %5.0f MB/s  cat %5.0f MB/s\n",
            megabytes / e, megabytes / c, megabytes / r, megabytes / g, megabytes / k);
        std::printf(
            "    speed against rg: engine %.2f, cli %.2f; against grep: engine %.2f, cli %.2f; "
            "engine against cat %.2f\n",
            r / e, r / c, g / e, g / c, k / e);
    }
}

// The peak memory of vellumar-cli search over an index of 2 GB (the 200 MB index ten times).
void BenchSearchMemory(const fs::path& work, const fs::path& cli) {
    const ToolData data = EnsureToolData(work, 1252, 200);
    const fs::path home = work / "tools-2gb";
    fs::create_directories(home);
    if (!fs::exists(home / "index") || fs::file_size(home / "index") < 10 * fs::file_size(data.index)) {
        std::string command = "cat";
        for (int i = 0; i < 10; ++i) {
            command += ' ';
            command += Quote(data.index.string());
        }
        RunCommand(command + " > " + Quote((home / "index").string()));
    }
    const double megabytes = static_cast<double>(fs::file_size(home / "index")) / (1 << 20);
    for (const char* query : {"lighthouse", "Grandma"}) {
        const Measured run = RunCommand("exec " + Quote(cli.string()) + " search --home " +
                                        Quote(home.string()) + " --codepage 1252 " + query + " > " +
                                        Quote((work / "tool.out").string()) + " 2>/dev/null");
        std::printf("  search %s over %.0f MB: %.2f s, peak memory %ld MB\n", query, megabytes, run.seconds,
                    run.peakKilobytes / 1024);
    }
}

// Tag packets in APP9 as the editor writes them: a 16-bit length and the text.
void BenchAddFolder(const fs::path& work, const fs::path& cli) {
    std::printf("add-folder, 300 pictures of 4000 x 3000 with tag packets\n");
    const std::vector<std::string> photos = EnsurePhotos(work / "tagged", 300, 4000, 3000, true);
    const fs::path home = work / "add-home";
    fs::remove_all(home);
    fs::create_directories(home);
    RunCommand("cat " + Quote((work / "tagged").string()) + "/*.jpg > /dev/null");
    const Measured ours = RunCommand(Quote(cli.string()) + " add-folder --home " + Quote(home.string()) +
                                     " " + Quote((work / "tagged").string()) + " 2>/dev/null");
    const Measured vips = RunCommand(VipsCommand(photos, work / "vips-out", false));
    const Measured vipsOne = RunCommand(VipsCommand(photos, work / "vips-out", true));
    const double n = static_cast<double>(photos.size());
    std::printf("  vellumar-cli add-folder:     %6.1f files/s (%.2f s, peak memory %ld MB, exit %d)\n",
                n / ours.seconds, ours.seconds, ours.peakKilobytes / 1024, ours.status);
    std::printf("  vipsthumbnail alone:         %6.1f files/s (%.2f s)  time ratio job/vips %.2f\n",
                n / vips.seconds, vips.seconds, ours.seconds / vips.seconds);
    std::printf("  vipsthumbnail, one thread:   %6.1f files/s (%.2f s)  time ratio job/vips %.2f\n",
                n / vipsOne.seconds, vipsOne.seconds, ours.seconds / vipsOne.seconds);
}

// Peak memory of the add-folder job over trees of small JPEGs of two sizes.
void BenchManyFiles(const fs::path& work, const fs::path& cli) {
    std::printf("add-folder, trees of small JPEGs\n");
    const fs::path tree = work / "many";
    // One small tagged picture per ten folders, each linked under many names (a file system allows only
    // so many links to one file).
    auto sampleFor = [&](int folder) {
        const fs::path sample = work / Cat({"small", std::to_string(folder / 10), ".jpg"});
        if (!fs::exists(sample)) {
            WriteJpeg(sample.string(), 160, 120, static_cast<unsigned>(folder),
                      Packet(static_cast<unsigned>(folder)));
        }
        return sample;
    };
    const int kFolders = 100;
    const int kPerFolder = 1000;
    if (!fs::exists(tree / "done")) {
        for (int f = 0; f < kFolders; ++f) {
            const fs::path folder = tree / Cat({"f", std::to_string(f)});
            fs::create_directories(folder);
            for (int i = 0; i < kPerFolder; ++i) {
                const fs::path file = folder / Cat({"p", std::to_string(i), ".jpg"});
                if (!fs::exists(file)) {
                    fs::create_hard_link(sampleFor(f), file);  // 100,000 names, ten pictures on disk
                }
            }
        }
        std::ofstream(tree / "done") << "ok";
        std::printf("  made %d files in %d folders\n", kFolders * kPerFolder, kFolders);
    }
    for (const auto& [folder, files] :
         {std::pair{(tree / "f0").string(), kPerFolder}, std::pair{tree.string(), kFolders * kPerFolder}}) {
        const fs::path home = work / "many-home";
        fs::remove_all(home);
        fs::create_directories(home);
        const Measured run = RunCommand(Quote(cli.string()) + " add-folder --home " + Quote(home.string()) +
                                        " " + Quote(folder) + " 2>/dev/null");
        std::printf("  %6d files: %7.0f files/s (%.1f s), peak memory %ld MB (exit %d)\n", files,
                    files / run.seconds, run.seconds, run.peakKilobytes / 1024, run.status);
    }
}

// 60 photos of 4000 x 3000 at quality 90 with tag packets: half 4:2:2, half 4:2:0, the first two
// progressive.
std::vector<std::string> EnsureCameraPhotos(const fs::path& folder) {
    fs::create_directories(folder);
    std::vector<std::string> paths;
    int made = 0;
    for (int i = 0; i < 60; ++i) {
        char name[32];
        std::snprintf(name, sizeof(name), "camera%02d.jpg", i);
        const fs::path path = folder / name;
        if (!fs::exists(path)) {
            WriteJpeg(path.string(), 4000, 3000, static_cast<unsigned>(1000 + i),
                      Packet(static_cast<unsigned>(i)), JpegMake{i % 2 == 1, i < 2});
            ++made;
        }
        paths.push_back(path.string());
    }
    if (made > 0) {
        std::printf("  made %d camera photos in %s\n", made, folder.string().c_str());
    }
    return paths;
}

std::string AddFolderCommand(const std::string& cli, const fs::path& home, const std::string& folder,
                             const std::string& options) {
    fs::remove_all(home);
    fs::create_directories(home);
    return Cat(
        {cli, " add-folder ", options, " --home ", Quote(home.string()), " ", Quote(folder), " 2>/dev/null"});
}

// Whole-process times, median of `rounds` rounds in which the commands run one after another (so that a
// change in the machine's load meets all of them alike), after one round that is not counted.
std::vector<double> AlternatingMedians(int rounds,
                                       const std::vector<std::function<std::string()>>& commands) {
    std::vector<std::vector<double>> times(commands.size());
    for (int round = 0; round <= rounds; ++round) {
        for (size_t i = 0; i < commands.size(); ++i) {
            const Measured run = RunCommand(commands[i]());
            if (run.status != 0) {
                std::printf("  (a run ended with status %d)\n", run.status);
            }
            if (round > 0) {
                times[i].push_back(run.seconds);
            }
        }
    }
    std::vector<double> medians;
    for (const std::vector<double>& t : times) {
        medians.push_back(Median(t));
    }
    return medians;
}

void BenchThroughput(const fs::path& work, const fs::path& cli, const std::string& windowsCli, int rounds) {
    std::printf(
        "throughput: add-folder over 60 camera photos (4000 x 3000, q90, 4:2:2 and 4:2:0, two "
        "progressive), median of %d alternating rounds\n",
        rounds);
    const fs::path folder = work / "camera60";
    const std::vector<std::string> photos = EnsureCameraPhotos(folder);
    const fs::path home = work / "throughput-home";
    const std::string ours = Quote(cli.string());
    const std::vector<double> medians = AlternatingMedians(
        rounds, {[&] { return AddFolderCommand(ours, home, folder.string(), ""); },
                 [&] { return AddFolderCommand(ours, home, folder.string(), "--decoders 1"); },
                 [&] { return VipsCommand(photos, work / "vips-out", false); }});
    const double n = static_cast<double>(photos.size());
    std::printf("  add-folder, every core:      %6.1f files/s (%.2f s)  %.2f x vipsthumbnail's files/s\n",
                n / medians[0], medians[0], medians[2] / medians[0]);
    std::printf("  add-folder --decoders 1:     %6.1f files/s (%.2f s)  %.2f x vipsthumbnail's files/s\n",
                n / medians[1], medians[1], medians[2] / medians[1]);
    std::printf("  vipsthumbnail --size 100x100!: %4.1f files/s (%.2f s)\n", n / medians[2], medians[2]);
    if (windowsCli.empty()) {
        return;
    }
    // 12 of the photos, both progressive ones among them; the start of each process is measured on an
    // empty folder and taken off, so that the figure is the time per file.
    const fs::path twelve = work / "camera12";
    const fs::path empty = work / "camera0";
    fs::create_directories(twelve);
    fs::create_directories(empty);
    for (int i = 0; i < 12; ++i) {
        const fs::path link = twelve / fs::path(photos[static_cast<size_t>(i)]).filename();
        if (!fs::exists(link)) {
            fs::create_hard_link(photos[static_cast<size_t>(i)], link);
        }
    }
    // Wine sees the host's root as drive Z:; the program runs in the 64-bit prefix of its build folder.
    const std::string wine = Cat({"VELLUMAR_WINEARCH=win64 ", Quote(VELLUMAR_SOURCE_DIR "/cmake/wine-run.sh"),
                                  " ", Quote(windowsCli)});
    const fs::path windowsHome = work / "throughput-home-windows";
    RunCommand(Cat({wine, " --version >/dev/null 2>&1"}));  // makes the prefix and starts its server
    const std::vector<double> times = AlternatingMedians(
        rounds, {[&] { return AddFolderCommand(ours, home, twelve.string(), ""); },
                 [&] { return AddFolderCommand(wine, windowsHome, "Z:" + twelve.string(), ""); },
                 [&] { return AddFolderCommand(ours, home, empty.string(), ""); },
                 [&] { return AddFolderCommand(wine, windowsHome, "Z:" + empty.string(), ""); }});
    const double nativePerFile = (times[0] - times[2]) / 12;
    const double windowsPerFile = (times[1] - times[3]) / 12;
    std::printf("  12 photos, native:             %.3f s per file (run %.2f s, start %.2f s)\n",
                nativePerFile, times[0], times[2]);
    std::printf(
        "  12 photos, Windows under Wine: %.3f s per file (run %.2f s, start %.2f s)  %.2f x native\n",
        windowsPerFile, times[1], times[3], windowsPerFile / nativePerFile);
}

}  // namespace

int main(int argc, char** argv) {
    fs::path work = fs::temp_directory_path() / "vellumar-bench";
    std::string windowsCli;
    int rounds = 5;
    std::vector<std::string> parts;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--work") == 0 && i + 1 < argc) {
            work = argv[++i];
        } else if (std::strcmp(argv[i], "--windows-cli") == 0 && i + 1 < argc) {
            windowsCli = argv[++i];
        } else if (std::strcmp(argv[i], "--rounds") == 0 && i + 1 < argc) {
            rounds = std::max(1, std::atoi(argv[++i]));
        } else {
            parts.push_back(argv[i]);
        }
    }
    if (parts.empty()) {
        parts = {"thumbnails", "search", "add-folder", "many-files"};
    }
    fs::create_directories(work);
    work = fs::absolute(work);  // the commands run in other folders
    SetActiveCodePage(1252);
    SetMessageSink([](const char*, const char*, void*) {}, nullptr);
    const fs::path cli = fs::canonical("/proc/self/exe").parent_path() / "vellumar-cli";
    for (const std::string& part : parts) {
        if (part == "thumbnails") {
            BenchThumbnails(work);
        } else if (part == "search") {
            BenchSearch(work);
        } else if (part == "search-tools") {
            BenchSearchTools(work, cli);
        } else if (part == "search-memory") {
            BenchSearchMemory(work, cli);
        } else if (part == "add-folder") {
            BenchAddFolder(work, cli);
        } else if (part == "many-files") {
            BenchManyFiles(work, cli);
        } else if (part == "throughput") {
            BenchThroughput(work, cli, windowsCli, rounds);
        } else {
            std::fprintf(stderr, "unknown part %s\n", part.c_str());
            return 2;
        }
    }
    return 0;
}
