// The server's view of the index: hits and their ids, ids that stop being good, the states of the file.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <thread>

#include "cli/serve/index_catalog.h"
#include "indexer/tests/indexer_test_support.h"
#include "indexer/text_case.h"

namespace {

std::vector<std::string> Paths(const SearchAnswer& answer) {
    std::vector<std::string> paths;
    for (const CatalogHit& hit : answer.hits) {
        paths.push_back(hit.record.path);
    }
    return paths;
}

// What the engine's scan reports, for comparison.
std::vector<std::string> ScanPaths(const std::string& index, const std::string& query) {
    std::vector<std::string> paths;
    CodePageCase textCase(1252);
    ScanIndex(
        index, query, textCase, [&](const std::string& path, const std::string&) { paths.push_back(path); },
        nullptr);
    return paths;
}

IndexBytes SampleIndex() {
    IndexBytes bytes;
    bytes.Record("C:\\Photos\\lake.jpg", "C:\\V\\thumbs\\000001.tb", "Summer at the lake", {"Grandma"})
        .Record("C:\\Photos\\caf\xe9.jpg", "C:\\V\\thumbs\\000002.tb", "", {"Cr\xe8me"})
        // A caption that holds the bytes of a record naming another file: an id inside it must not
        // lead there.
        .Record("C:\\Photos\\trap.jpg", "", std::string("\x0b\0\0\0/etc/passwd\0\0\0\0\0\0\0\0\0\0\0\0", 27),
                {})
        .Record("C:\\Photos\\LAKESIDE.JPG", "C:\\V\\thumbs\\000004.tb", "", {"", "Boat"});
    return bytes;
}

TEST(IndexCatalog, HitsAreThoseOfTheScanWithTheirRecordsAndIds) {
    TempFolder folder;
    WriteAll(folder.File("index"), SampleIndex().bytes);
    IndexCatalog catalog(folder.File("index"), 1252);
    for (const std::string query : {"lake", "LAKE", "", "boat", "nothing", "\xe9"}) {
        const SearchAnswer answer = catalog.Search(query == "\xe9" ? "\xc3\xa9" : query, 0, 100);
        ASSERT_EQ(answer.status.state, IndexState::kReady) << query;
        EXPECT_EQ(Paths(answer), ScanPaths(folder.File("index"), query)) << query;
        EXPECT_EQ(answer.count, answer.hits.size()) << query;
        for (const CatalogHit& hit : answer.hits) {
            IndexRecord record;
            IndexStatus status;
            ASSERT_EQ(catalog.Find(hit.id, record, status), PhotoLookup::kFound) << query;
            EXPECT_EQ(record.path, hit.record.path);
            EXPECT_EQ(record.caption, hit.record.caption);
            EXPECT_EQ(record.layers, hit.record.layers);
        }
    }
    const SearchAnswer lake = catalog.Search("lake", 0, 100);
    ASSERT_EQ(lake.hits.size(), 2u);
    EXPECT_EQ(lake.hits[0].id, 0);
    EXPECT_EQ(lake.hits[0].record.layers, std::vector<std::string>{"Grandma"});
}

TEST(IndexCatalog, OnlyTheStartOfARecordIsAnId) {
    TempFolder folder;
    const IndexBytes bytes = SampleIndex();
    WriteAll(folder.File("index"), bytes.bytes);
    IndexCatalog catalog(folder.File("index"), 1252);
    const SearchAnswer trap = catalog.Search("trap", 0, 1);
    ASSERT_EQ(trap.hits.size(), 1u);
    const int64_t fake = trap.hits[0].id + 4 + 18 + 4 + 4;  // where the caption's bytes begin
    IndexRecord planted;
    ASSERT_TRUE(ReadRecordAt(folder.File("index"), fake, planted));
    ASSERT_EQ(planted.path, "/etc/passwd");
    for (int64_t id : {int64_t{1}, fake, trap.hits[0].id - 1, static_cast<int64_t>(bytes.bytes.size()),
                       int64_t{-4}, INT64_MAX}) {
        IndexRecord record;
        IndexStatus status;
        EXPECT_EQ(catalog.Find(id, record, status), PhotoLookup::kNoSuchPhoto) << id;
        EXPECT_TRUE(record.path.empty()) << id;
    }
}

TEST(IndexCatalog, StartAndLimitTakeASliceAndEqualRecordsKeepTheirOwnIds) {
    TempFolder folder;
    IndexBytes bytes;
    for (int i = 0; i < 5; ++i) {
        bytes.Record("C:\\same.jpg", "", "copy " + std::to_string(i), {});
    }
    WriteAll(folder.File("index"), bytes.bytes);
    IndexCatalog catalog(folder.File("index"), 1252);
    const SearchAnswer all = catalog.Search("same", 0, 10);
    const SearchAnswer slice = catalog.Search("same", 2, 2);
    ASSERT_EQ(all.hits.size(), 5u);
    ASSERT_EQ(slice.hits.size(), 2u);
    EXPECT_EQ(slice.count, 5u);
    EXPECT_EQ(slice.hits[0].id, all.hits[2].id);
    EXPECT_EQ(slice.hits[1].record.caption, "copy 3");
    std::set<int64_t> ids;
    for (const CatalogHit& hit : all.hits) {
        ids.insert(hit.id);
    }
    EXPECT_EQ(ids.size(), 5u);
}

TEST(IndexCatalog, ARewrittenOrAppendedIndexCountsFromTheNextRequestOn) {
    TempFolder folder;
    IndexBytes first;
    first.Record("C:\\a.jpg", "", "", {}).Record("C:\\b.jpg", "", "", {});
    WriteAll(folder.File("index"), first.bytes);
    IndexCatalog catalog(folder.File("index"), 1252);
    const SearchAnswer before = catalog.Search("b.jpg", 0, 10);
    ASSERT_EQ(before.hits.size(), 1u);

    // A job's rewrite puts a new file in place: a.jpg is gone, so b.jpg's record moved to offset 0.
    IndexBytes second;
    second.Record("C:\\b.jpg", "", "", {});
    WriteAll(folder.File("index.new"), second.bytes);
    std::filesystem::rename(folder.File("index.new"), folder.File("index"));
    IndexRecord record;
    IndexStatus status;
    EXPECT_EQ(catalog.Find(before.hits[0].id, record, status), PhotoLookup::kNoSuchPhoto);
    const SearchAnswer after = catalog.Search("b.jpg", 0, 10);
    ASSERT_EQ(after.hits.size(), 1u);
    EXPECT_EQ(after.hits[0].id, 0);

    IndexBytes appended = second;
    appended.Record("C:\\c.jpg", "", "", {});
    WriteAll(folder.File("index"), appended.bytes);
    EXPECT_EQ(catalog.Search("c.jpg", 0, 10).count, 1u);
}

TEST(IndexCatalog, ReportsAMissingDamagedOrUnreadableIndex) {
    TempFolder folder;
    IndexCatalog missing(folder.File("index"), 1252);
    EXPECT_EQ(missing.Search("a", 0, 10).status.state, IndexState::kMissing);
    EXPECT_NE(missing.Status().message.find("no search index"), std::string::npos);

    IndexBytes damaged;
    damaged.Record("C:\\a.jpg", "", "", {}).Text("C:\\b.jpg").Text("").Length(20481).Raw("more bytes");
    WriteAll(folder.File("index"), damaged.bytes);
    IndexCatalog catalog(folder.File("index"), 1252);
    const IndexStatus status = catalog.Status();
    EXPECT_EQ(status.state, IndexState::kDamaged);
    EXPECT_EQ(status.records, 1u);
    EXPECT_NE(status.message.find("damaged"), std::string::npos);
    EXPECT_EQ(catalog.Search("a", 0, 10).status.state, IndexState::kDamaged);
    IndexRecord record;
    IndexStatus found;
    EXPECT_EQ(catalog.Find(0, record, found), PhotoLookup::kFound);  // the readable records still show

    // A file cut inside its last record is what a running job leaves: nothing is wrong with it.
    IndexBytes cut;
    cut.Record("C:\\a.jpg", "", "", {}).Text("C:\\b.jpg").Raw("\x05");
    WriteAll(folder.File("index"), cut.bytes);
    EXPECT_EQ(catalog.Status().state, IndexState::kReady);

    std::filesystem::remove(folder.File("index"));
    std::filesystem::create_directory(folder.File("index"));
    EXPECT_EQ(catalog.Status().state, IndexState::kUnreadable);
}

TEST(IndexCatalog, QueriesOfAnyBytes) {
    TempFolder folder;
    WriteAll(folder.File("index"), SampleIndex().bytes);
    IndexCatalog catalog(folder.File("index"), 1252);
    EXPECT_EQ(catalog.Search("cr\xc3\xa8me", 0, 10).count, 1u);  // UTF-8, converted to code page 1252
    EXPECT_EQ(catalog.Search("cr\xe8me", 0, 10).count, 1u);      // not UTF-8: the code page's own bytes
    EXPECT_EQ(catalog.Search("\xe6\x97\xa5\xe6\x9c\xac", 0, 10).count, 0u);  // not in code page 1252
    EXPECT_EQ(catalog.Search(std::string("\0\xff\xfe", 3), 0, 10).count, 0u);
    const SearchAnswer huge = catalog.Search(std::string(size_t{100} * 1024, 'a'), 0, 10);
    EXPECT_EQ(huge.status.state, IndexState::kReady);
    EXPECT_EQ(huge.count, 0u);
}

TEST(IndexCatalog, LookupsWhileTheIndexIsRewrittenFindOnlyRecordsOfTheIndex) {
    TempFolder folder;
    IndexBytes versions[2];
    std::set<std::string> names;
    for (int i = 0; i < 40; ++i) {
        const std::string name = "C:\\photo" + std::to_string(i) + ".jpg";
        versions[i % 2].Record(name, "", std::string(static_cast<size_t>(i * 7), 'c'), {"tag"});
        names.insert(name);
    }
    WriteAll(folder.File("index"), versions[0].bytes);
    IndexCatalog catalog(folder.File("index"), 1252);
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int round = 0; round < 60; ++round) {
            WriteAll(folder.File("index.new"), versions[round % 2].bytes);
            std::filesystem::rename(folder.File("index.new"), folder.File("index"));
        }
        done = true;
    });
    std::vector<std::thread> readers;
    std::atomic<int> strangers{0};
    for (int r = 0; r < 3; ++r) {
        readers.emplace_back([&] {
            while (!done) {
                const SearchAnswer answer = catalog.Search("photo", 0, 5);
                for (const CatalogHit& hit : answer.hits) {
                    IndexRecord record;
                    IndexStatus status;
                    if (catalog.Find(hit.id, record, status) == PhotoLookup::kFound &&
                        names.count(record.path) == 0) {
                        ++strangers;
                    }
                    strangers += names.count(hit.record.path) == 0 ? 1 : 0;
                }
            }
        });
    }
    writer.join();
    for (std::thread& reader : readers) {
        reader.join();
    }
    EXPECT_EQ(strangers, 0);
}

}  // namespace
