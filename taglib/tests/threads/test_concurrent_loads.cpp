// Several threads of one process read tags at once (the browser add-on's windows and its icon overlay):
// every Load keeps its own state, so each thread sees exactly what a lone Load sees.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "taglib/codepage.h"
#include "taglib/image_tags.h"

namespace {

struct Answer {
    bool loaded = false;
    int layerCount = 0;
    std::string firstName;
    std::string caption;
};

Answer Read(const std::string& path) {
    ImageTags tags;
    Answer answer;
    answer.loaded = tags.Load(path.c_str());
    answer.layerCount = tags.LayerCount();
    TagLayer layer;
    if (tags.GetLayer(0, layer)) {
        answer.firstName = layer.name;
    }
    TagCaption caption;
    if (tags.GetCaption(caption)) {
        answer.caption = caption.text;
    }
    return answer;
}

TEST(ConcurrentLoads, EveryThreadSeesWhatALoneLoadSees) {
    SetActiveCodePage(1252);
    const std::string folder = std::string(VELLUMAR_SOURCE_DIR) + "/samples/photos/";
    const std::vector<std::string> files = {
        folder + "packet_search_words.jpg", folder + "packet_legacy_cp1252.jpg",
        folder + "no_packet_comment.jpg",   folder + "packet_regions.jpg",
        folder + "packet_missing_size.jpg", folder + "packet_not_xml.jpg",
    };
    std::vector<Answer> expected;
    for (const std::string& file : files) {
        expected.push_back(Read(file));
    }
    ASSERT_TRUE(expected[0].loaded);
    ASSERT_EQ(expected[0].layerCount, 2);

    constexpr int kThreads = 6;
    constexpr int kRounds = 40;
    std::vector<int> mismatches(kThreads, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < kRounds; ++round) {
                size_t index = static_cast<size_t>(t + round) % files.size();
                Answer answer = Read(files[index]);
                const Answer& want = expected[index];
                if (answer.loaded != want.loaded || answer.layerCount != want.layerCount ||
                    answer.firstName != want.firstName || answer.caption != want.caption) {
                    ++mismatches[static_cast<size_t>(t)];
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(mismatches[static_cast<size_t>(t)], 0) << "thread " << t;
    }
}

}  // namespace
