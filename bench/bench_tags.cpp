// What reading every layer of a packet costs, as "vellumar-cli tags", the index engine and the page
// annotation do it: one Load, LayerCount, then GetLayer for each layer. The packets are the largest a
// segment holds (65533 bytes): over 16,000 empty layers, or some 350 named ones with regions. Goal: any
// such packet in under 50 ms.
//
// For comparison, GetLayerName still parses the whole packet on each call, as every query once did; its
// row reads only the first 200 layers (the figure is per call, so it scales to the whole packet).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "taglib/codepage.h"
#include "taglib/image_tags.h"

namespace {

namespace fs = std::filesystem;

constexpr size_t kMaxPacketBytes = 65533;

std::string NamedLayer(int index) {
    const std::string n = std::to_string(index);
    return "<rdf:li><nto:name>Layer " + n + "</nto:name><nto:pos_x>" + n + "</nto:pos_x><nto:pos_y>" + n +
           "</nto:pos_y><nto:region nto:region_type=\"rect\"><nto:region_left>1</nto:region_left>"
           "</nto:region></rdf:li>";
}

// A version 2 packet with as many layers as fit in a segment, as a JPEG file in the temp folder.
class PacketPhoto {
public:
    explicit PacketPhoto(bool named) {
        const std::string head =
            "<rdf:RDF><rdf:Description><nto:size_x>4000</nto:size_x><nto:size_y>3000</nto:size_y>"
            "<nto:layer rdf:parseType=\"Collection\">";
        const std::string tail = "</nto:layer><nto:version>2</nto:version></rdf:Description></rdf:RDF>";
        std::string layers;
        for (;;) {
            // Load numbers the layers ("nto:UID") when it writes the packet back; leave room for that.
            const std::string next = named ? NamedLayer(layerCount) : "<a/>";
            if (head.size() + layers.size() + next.size() + tail.size() + 1 > kMaxPacketBytes) {
                break;
            }
            layers += next;
            ++layerCount;
        }
        const std::string packet = head + layers + tail;
        const size_t length = packet.size() + 3;  // the length bytes and a terminating zero
        std::string bytes = "\xFF\xD8\xFF\xE9";
        bytes += static_cast<char>(length >> 8);
        bytes += static_cast<char>(length & 0xFF);
        bytes += packet;
        bytes += '\0';
        bytes += std::string("\xFF\xDA\x00\x08\x01\x01\x00\x00\x3F\x00\x12\x34\xFF\xD9", 14);
        path = (fs::temp_directory_path() /
                ("vellumar_bench_tags_" + std::to_string(std::random_device()()) + ".jpg"))
                   .string();
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    ~PacketPhoto() {
        std::error_code ignored;
        fs::remove(path, ignored);
    }
    PacketPhoto(const PacketPhoto&) = delete;
    PacketPhoto& operator=(const PacketPhoto&) = delete;

    std::string path;
    int layerCount = 0;
};

void ReadEveryLayer(benchmark::State& state, bool named) {
    SetActiveCodePage(1252);
    const PacketPhoto photo(named);
    int64_t found = 0;
    for (auto _ : state) {
        ImageTags tags;
        tags.Load(photo.path.c_str(), kLoadMetadata);
        const int count = tags.LayerCount();
        for (int i = 0; i < count; ++i) {
            TagLayer layer;
            found += tags.GetLayer(i, layer) ? 1 : 0;
        }
        if (count != photo.layerCount) {
            state.SkipWithError("the layer count differs from the packet's");
            return;
        }
    }
    benchmark::DoNotOptimize(found);
    state.counters["layers"] = photo.layerCount;
}

void EveryEmptyLayerOfAFullPacket(benchmark::State& state) {
    ReadEveryLayer(state, false);
}
BENCHMARK(EveryEmptyLayerOfAFullPacket)->Unit(benchmark::kMillisecond)->UseRealTime();

void EveryNamedLayerOfAFullPacket(benchmark::State& state) {
    ReadEveryLayer(state, true);
}
BENCHMARK(EveryNamedLayerOfAFullPacket)->Unit(benchmark::kMillisecond)->UseRealTime();

// A parse of the whole packet per call, as each query once made.
void GetLayerNameParsingPerCall(benchmark::State& state) {
    SetActiveCodePage(1252);
    const PacketPhoto photo(false);
    ImageTags tags;
    tags.Load(photo.path.c_str(), kLoadMetadata);
    constexpr int kCalls = 200;
    for (auto _ : state) {
        for (int i = 0; i < kCalls; ++i) {
            benchmark::DoNotOptimize(tags.GetLayerName(i));
        }
    }
    state.SetItemsProcessed(state.iterations() * kCalls);
}
BENCHMARK(GetLayerNameParsingPerCall)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
