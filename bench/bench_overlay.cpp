// How many IsMemberOf answers per second the icon overlay gives on camera-size JPEGs, against plainly
// reading the same files and against loading them whole through the tag library. The shell asks once per
// ".jpg" it shows, on its own thread, and waits for the answer.
//
// The corpus: copies of a tagged sample photo whose compressed image data is replaced by 5 MB of
// entropy-coded-looking bytes, about what a 12-megapixel camera writes. The files are fresh in the page
// cache, so the figures are a floor for what a cold folder costs.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "taglib/image_tags.h"
#include "taglib/overlay_rule.h"

namespace {

namespace fs = std::filesystem;

constexpr size_t kImageDataBytes = 5 * 1024 * 1024;
constexpr int kFileCount = 8;

class Corpus {
public:
    Corpus() {
        folder =
            fs::temp_directory_path() / ("vellumar_bench_overlay_" + std::to_string(std::random_device()()));
        fs::create_directories(folder);
        std::ifstream in(std::string(VELLUMAR_SOURCE_DIR) + "/samples/photos/packet_regions.jpg",
                         std::ios::binary);
        std::string sample((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        size_t scan = sample.find("\xFF\xDA");
        if (scan == std::string::npos) {
            return;
        }
        // The sample's segments and its scan header, then the image data: random bytes with every 0xFF
        // stuffed by a zero, as an encoder writes them, and the end-of-image marker.
        size_t scanHeaderLength = 2 + ((static_cast<unsigned char>(sample[scan + 2]) << 8) |
                                       static_cast<unsigned char>(sample[scan + 3]));
        std::string bytes = sample.substr(0, scan + scanHeaderLength);
        std::mt19937 random(12345);
        bytes.reserve(bytes.size() + kImageDataBytes + 2);
        while (bytes.size() < scan + scanHeaderLength + kImageDataBytes) {
            char byte = static_cast<char>(random() & 0xFF);
            bytes += byte;
            if (byte == '\xFF') {
                bytes += '\0';
            }
        }
        bytes += "\xFF\xD9";
        for (int i = 0; i < kFileCount; ++i) {
            std::string path = (folder / ("camera_" + std::to_string(i) + ".jpg")).string();
            std::ofstream out(path, std::ios::binary | std::ios::trunc);
            out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
            files.push_back(path);
        }
    }
    ~Corpus() {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }
    Corpus(const Corpus&) = delete;
    Corpus& operator=(const Corpus&) = delete;

    fs::path folder;
    std::vector<std::string> files;
};

const Corpus& TheCorpus() {
    static Corpus corpus;
    return corpus;
}

bool Ready(benchmark::State& state) {
    if (TheCorpus().files.empty()) {
        state.SkipWithError("samples/photos/packet_regions.jpg not found");
        return false;
    }
    return true;
}

// The overlay's rule as IsMemberOf runs it: the segments before the image only.
void IsMemberOfMetadataOnly(benchmark::State& state) {
    if (!Ready(state)) {
        return;
    }
    int64_t members = 0;
    for (auto _ : state) {
        for (const std::string& file : TheCorpus().files) {
            members += IsOverlayMember(file) ? 1 : 0;
        }
    }
    if (members != state.iterations() * kFileCount) {
        state.SkipWithError("a tagged file was not counted as a member");
    }
    state.SetItemsProcessed(state.iterations() * kFileCount);
}
BENCHMARK(IsMemberOfMetadataOnly)->Unit(benchmark::kMicrosecond)->UseRealTime();

// The same answer from a Load that reads the whole file, compressed image included.
void IsMemberOfReadingWholeFile(benchmark::State& state) {
    if (!Ready(state)) {
        return;
    }
    int64_t members = 0;
    for (auto _ : state) {
        for (const std::string& file : TheCorpus().files) {
            ImageTags tags;
            tags.Load(file.c_str(), kLoadAll);
            members += tags.LayerCount() >= 1 ? 1 : 0;
        }
    }
    if (members != state.iterations() * kFileCount) {
        state.SkipWithError("a tagged file was not counted as a member");
    }
    state.SetItemsProcessed(state.iterations() * kFileCount);
}
BENCHMARK(IsMemberOfReadingWholeFile)->Unit(benchmark::kMicrosecond)->UseRealTime();

// Only reading each file into memory, nothing parsed: the floor of any whole-file approach.
void PlainlyReadingTheFiles(benchmark::State& state) {
    if (!Ready(state)) {
        return;
    }
    std::vector<char> buffer(1 << 20);
    int64_t bytes = 0;
    for (auto _ : state) {
        for (const std::string& file : TheCorpus().files) {
            std::FILE* stream = std::fopen(file.c_str(), "rb");
            if (stream == nullptr) {
                continue;
            }
            size_t got = 0;
            while ((got = std::fread(buffer.data(), 1, buffer.size(), stream)) > 0) {
                bytes += static_cast<int64_t>(got);
            }
            std::fclose(stream);
        }
    }
    benchmark::DoNotOptimize(bytes);
    state.SetItemsProcessed(state.iterations() * kFileCount);
    state.SetBytesProcessed(bytes);
}
BENCHMARK(PlainlyReadingTheFiles)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
