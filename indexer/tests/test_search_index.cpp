// The index file: records as bytes, the writer's limits, the rewrite without a file list, the scan.
#include <gtest/gtest.h>

#include <random>

#include "taglib/codepage.h"
#include "indexer/file_list.h"
#include "taglib/image_tags.h"
#include "indexer/tests/indexer_test_support.h"
#include "indexer/platform.h"
#include "indexer/search_index.h"

namespace {

std::vector<IndexRecord> ReadRecords(const std::string& path) {
    std::vector<IndexRecord> records;
    IndexReader reader;
    if (!reader.Open(path)) {
        return records;
    }
    IndexRecord record;
    while (reader.Next(record)) {
        records.push_back(record);
    }
    return records;
}

std::vector<std::string> Scan(const std::string& path, const std::string& query, int codePage = 1252,
                              size_t blockSize = 0) {
    std::vector<std::string> hits;
    CodePageCase textCase(codePage);
    ScanIndex(
        path, query, textCase,
        [&](const std::string& hit, const std::string& thumbnail) { hits.push_back(hit + "|" + thumbnail); },
        [] { return false; }, blockSize);
    return hits;
}

TEST(IndexReader, ReadsHandBuiltRecordsBack) {
    TempFolder folder;
    IndexBytes bytes;
    bytes.Record("C:\\Photos\\a.jpg", "C:\\V\\thumbs\\000001.tb", "Harbour", {"Boat", "", "Gull"})
        .Record("C:\\b.jpg", "", "", {});
    WriteAll(folder.File("index"), bytes.bytes);
    const std::vector<IndexRecord> records = ReadRecords(folder.File("index"));
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].path, "C:\\Photos\\a.jpg");
    EXPECT_EQ(records[0].thumbnail, "C:\\V\\thumbs\\000001.tb");
    EXPECT_EQ(records[0].caption, "Harbour");
    EXPECT_EQ(records[0].layers, (std::vector<std::string>{"Boat", "", "Gull"}));
    EXPECT_EQ(records[1].path, "C:\\b.jpg");
    EXPECT_TRUE(records[1].layers.empty());
}

struct StopCase {
    const char* name;
    std::function<void(IndexBytes&)> tail;  // bytes after one good record
    size_t records;                         // records a reader returns
};

TEST(IndexReader, StopsWhereTheFormatSays) {
    const std::vector<StopCase> cases = {
        {"path of 260 bytes is read", [](IndexBytes& b) { b.Record(std::string(260, 'p'), "", "", {}); }, 2},
        {"path of 261 bytes ends", [](IndexBytes& b) { b.Record(std::string(261, 'p'), "", "", {}); }, 1},
        {"thumbnail of 261 bytes ends", [](IndexBytes& b) { b.Record("p", std::string(261, 't'), "", {}); },
         1},
        {"caption of 20480 bytes is read",
         [](IndexBytes& b) { b.Record("p", "", std::string(20480, 'c'), {}); }, 2},
        {"caption of 20481 bytes ends", [](IndexBytes& b) { b.Record("p", "", std::string(20481, 'c'), {}); },
         1},
        {"short length ends", [](IndexBytes& b) { b.Raw(std::string("\x05\x00", 2)); }, 1},
        {"short path ends", [](IndexBytes& b) { b.Length(10).Raw("abc"); }, 1},
        {"missing layer count ends", [](IndexBytes& b) { b.Text("p").Text("").Text(""); }, 1},
        {"short layer name keeps the record",
         [](IndexBytes& b) { b.Text("p").Text("").Text("").Length(1).Length(9).Raw("ab"); }, 2},
    };
    for (const StopCase& c : cases) {
        TempFolder folder;
        IndexBytes bytes;
        bytes.Record("first.jpg", "", "", {});
        c.tail(bytes);
        WriteAll(folder.File("index"), bytes.bytes);
        EXPECT_EQ(ReadRecords(folder.File("index")).size(), c.records) << c.name;
    }
}

TEST(IndexReader, OverLongLayerNameEndsOnlyThatRecordsNames) {
    TempFolder folder;
    IndexBytes bytes;
    // Two names announced, the first too long: reading goes on right after its length field, where
    // the next record starts.
    bytes.Text("a.jpg").Text("").Text("").Length(2).Length(20481);
    bytes.Record("b.jpg", "", "", {"x"});
    WriteAll(folder.File("index"), bytes.bytes);
    const std::vector<IndexRecord> records = ReadRecords(folder.File("index"));
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].path, "a.jpg");
    EXPECT_TRUE(records[0].layers.empty());
    EXPECT_EQ(records[1].path, "b.jpg");
}

TEST(IndexReader, PositionIsWhereTheNextRecordStartsAndOpenAtReadsFromThere) {
    TempFolder folder;
    IndexBytes bytes;
    bytes.Text("a.jpg").Text("").Text("").Length(2).Length(20481);  // ends its names after the bad length
    const size_t second = bytes.bytes.size();
    bytes.Record("b.jpg", "t", "c", {"x"});
    const size_t end = bytes.bytes.size();
    bytes.Raw(std::string("\x05\x00", 2));
    WriteAll(folder.File("index"), bytes.bytes);
    IndexReader reader;
    IndexRecord record;
    ASSERT_TRUE(reader.Open(folder.File("index")));
    ASSERT_TRUE(reader.Next(record));
    EXPECT_EQ(reader.Position(), static_cast<int64_t>(second));
    ASSERT_TRUE(reader.Next(record));
    EXPECT_EQ(reader.Position(), static_cast<int64_t>(end));
    EXPECT_FALSE(reader.Next(record));

    IndexReader again;
    ASSERT_TRUE(again.OpenAt(folder.File("index"), static_cast<int64_t>(second)));
    ASSERT_TRUE(again.Next(record));
    EXPECT_EQ(record.path, "b.jpg");
    EXPECT_EQ(record.layers, std::vector<std::string>{"x"});
    EXPECT_FALSE(again.OpenAt(folder.File("missing"), 0));
}

TEST(OpenIndex, CreatesAMissingIndexAndKeepsAnExistingOne) {
    TempFolder folder;
    const std::string index = IndexPathFor(folder.Path());
    EXPECT_EQ(index, folder.File("index"));
    ASSERT_TRUE(CreateIndexIfMissing(index));
    EXPECT_TRUE(std::filesystem::exists(index));
    EXPECT_EQ(std::filesystem::file_size(index), 0u);
    WriteText(index, "keep");
    ASSERT_TRUE(CreateIndexIfMissing(index));
    EXPECT_EQ(ReadAll(index).size(), 4u);
    EXPECT_FALSE(CreateIndexIfMissing(folder.File("no-such-folder/index")));
}

class AppendRecordTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetActiveCodePage(1252);
        ASSERT_TRUE(output.Open(index, "wb"));
    }
    void TearDown() override { SetActiveCodePage(SystemCodePage()); }

    ImageTags LoadSample(const std::string& name) {
        ImageTags tags;
        EXPECT_TRUE(tags.Load(SourcePath("samples/photos/" + name).c_str())) << name;
        return tags;
    }

    TempFolder folder;
    std::string index = folder.File("index");
    IndexOutput output;
    CodePageCase textCase{1252};
};

TEST_F(AppendRecordTest, WritesPathThumbnailCaptionAndLayersByteForByte) {
    const ImageTags tags = LoadSample("packet_search_words.jpg");
    int thumbnailCalls = 0;
    auto thumbnail = [&] {
        ++thumbnailCalls;
        // The path is already in the file, flushed, when the thumbnail is made.
        EXPECT_EQ(ReadAll(index).size(), 4u + 7u);
        return std::string("T\\1.tb");
    };
    ASSERT_EQ(AppendRecord(output, "P\\x.jpg", thumbnail, tags, textCase), AppendResult::kWritten);
    output.Close();
    IndexBytes expected;
    expected.Record("P\\x.jpg", "T\\1.tb", "Summer at the lake", {"Grandma", "Lighthouse"});
    EXPECT_EQ(ReadAll(index), expected.bytes);
    EXPECT_EQ(thumbnailCalls, 1);
}

TEST_F(AppendRecordTest, APictureWithoutPacketGetsSixteenBytesAndItsPaths) {
    const ImageTags plain = LoadSample("no_packet.jpg");
    const ImageTags commented = LoadSample("no_packet_comment.jpg");
    ASSERT_EQ(AppendRecord(
                  output, "a.jpg", [] { return std::string("t"); }, plain, textCase),
              AppendResult::kWritten);
    ASSERT_EQ(AppendRecord(
                  output, "b.jpg", [] { return std::string(); }, commented, textCase),
              AppendResult::kWritten);
    output.Close();
    IndexBytes expected;
    expected.Record("a.jpg", "t", "", {}).Record("b.jpg", "", "Harbour at dawn", {});
    EXPECT_EQ(ReadAll(index), expected.bytes);
    EXPECT_EQ(expected.bytes.size(), 16u + 5u + 1u + 16u + 5u + 15u);
}

TEST_F(AppendRecordTest, LayerCountEqualsEntriesAndConvertsNamesToTheCodePage) {
    const ImageTags tags = LoadSample("packet_v2_utf8_escapes.jpg");
    ASSERT_EQ(AppendRecord(output, "c.jpg", nullptr, tags, textCase), AppendResult::kWritten);
    output.Close();
    const std::vector<IndexRecord> records = ReadRecords(index);
    ASSERT_EQ(records.size(), 1u);
    ASSERT_EQ(records[0].layers.size(), 6u);
    EXPECT_EQ(records[0].layers[0], "Caf\xE9");  // é in code page 1252
    EXPECT_EQ(records[0].layers[1], "a\r\nb");
    EXPECT_EQ(records[0].caption, "Line one\r\nline two");
}

TEST_F(AppendRecordTest, APathOverTheReadersLimitGetsNoRecordAndNoThumbnail) {
    const ImageTags tags = LoadSample("no_packet.jpg");
    bool thumbnailMade = false;
    auto thumbnail = [&] {
        thumbnailMade = true;
        return std::string("t");
    };
    EXPECT_EQ(AppendRecord(output, std::string(261, 'p'), thumbnail, tags, textCase),
              AppendResult::kPathTooLong);
    EXPECT_EQ(AppendRecord(
                  output, std::string(260, 'p'), [] { return std::string(261, 't'); }, tags, textCase),
              AppendResult::kWritten);
    output.Close();
    EXPECT_FALSE(thumbnailMade);
    const std::vector<IndexRecord> records = ReadRecords(index);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].path.size(), 260u);
    EXPECT_EQ(records[0].thumbnail, "");  // a too long thumbnail path is left out, not written
}

TEST_F(AppendRecordTest, OverLongCaptionIsCutAtACharacterBoundary) {
    SetActiveCodePage(kCodePageUtf8);
    CodePageCase utf8(kCodePageUtf8);
    ImageTags tags = LoadSample("no_packet.jpg");
    std::string caption = "a";
    for (int i = 0; i < 15000; ++i) {
        caption += "\xC3\xA9";  // é: two bytes, so byte 20480 is the first half of one
    }
    tags.caption = caption;
    ASSERT_EQ(AppendRecord(output, "x.jpg", nullptr, tags, utf8), AppendResult::kWritten);
    IndexRecord extra;
    ImageTags plain = LoadSample("no_packet.jpg");
    ASSERT_EQ(AppendRecord(output, "y.jpg", nullptr, plain, utf8), AppendResult::kWritten);
    output.Close();
    const std::vector<IndexRecord> records = ReadRecords(index);
    ASSERT_EQ(records.size(), 2u);  // the long caption did not hide the next record
    EXPECT_EQ(records[0].caption, caption.substr(0, 20479));
}

TEST_F(AppendRecordTest, AFullDiskTakesTheUnfinishedRecordBackOut) {
    const ImageTags tags = LoadSample("packet_search_words.jpg");
    ASSERT_EQ(AppendRecord(output, "first.jpg", nullptr, tags, textCase), AppendResult::kWritten);
    const int64_t size = output.Position();
    output.LimitSizeForTesting(size + 30);  // room for the path, not for the whole record
    EXPECT_EQ(AppendRecord(output, "second.jpg", nullptr, tags, textCase), AppendResult::kWriteFailed);
    EXPECT_EQ(output.Position(), size);
    output.LimitSizeForTesting(-1);
    ASSERT_EQ(AppendRecord(output, "third.jpg", nullptr, tags, textCase), AppendResult::kWritten);
    output.Close();
    const std::vector<IndexRecord> records = ReadRecords(index);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].path, "first.jpg");
    EXPECT_EQ(records[1].path, "third.jpg");
}

TEST(RemoveRecordsOfFiles, RemovesExactPathsAndKeepsCaseVariants) {
    TempFolder folder;
    const std::string index = folder.File("index");
    IndexBytes bytes;
    bytes.Record("C:\\Photos\\a.jpg", "t1", "one", {"x"})
        .Record("c:\\photos\\A.JPG", "t2", "two", {})
        .Record("C:\\Photos\\b.jpg", "t3", "", {"y", "z"});
    WriteAll(index, bytes.bytes);
    FileList list;
    list.Append("C:\\Photos\\a.jpg");
    list.Append("C:\\Photos\\b.jpg");
    int reports = 0;
    EXPECT_EQ(RemoveRecordsOfFiles(
                  index, list, [&] { ++reports; }, nullptr)
                  .result,
              RemoveResult::kDone);
    EXPECT_EQ(reports, 4);  // before each attempt to read a record: three records and the end
    IndexBytes expected;
    expected.Record("c:\\photos\\A.JPG", "t2", "two", {});
    EXPECT_EQ(ReadAll(index), expected.bytes);
    EXPECT_FALSE(std::filesystem::exists(index + ".new"));
}

TEST(RemoveRecordsOfFiles, LeavesOutARecordCutShortBeforeItsLayerCount) {
    TempFolder folder;
    const std::string index = folder.File("index");
    IndexBytes bytes;
    bytes.Record("gone.jpg", "", "", {}).Text("cut.jpg").Text("thumb").Length(50).Raw("only part");
    WriteAll(index, bytes.bytes);
    FileList list;
    list.Append("gone.jpg");
    // Copied up to its last complete field, it would swallow the next record appended after it.
    const RewriteOutcome outcome = RemoveRecordsOfFiles(index, list, nullptr, nullptr);
    EXPECT_EQ(outcome.result, RemoveResult::kDone);
    EXPECT_EQ(outcome.oldIndex.end, IndexEnd::kCutShort);
    EXPECT_FALSE(outcome.keptDamaged);  // what a stopped job leaves is no damage
    EXPECT_TRUE(ReadAll(index).empty());
    EXPECT_FALSE(std::filesystem::exists(DamagedIndexPathFor(index)));
}

TEST(RemoveRecordsOfFiles, WithoutAnIndexDoesNothing) {
    TempFolder folder;
    FileList list;
    EXPECT_EQ(RemoveRecordsOfFiles(folder.File("index"), list, nullptr, nullptr).result, RemoveResult::kDone);
    EXPECT_FALSE(std::filesystem::exists(folder.File("index")));
    EXPECT_FALSE(std::filesystem::exists(folder.File("index.new")));
}

TEST(RemoveRecordsOfFiles, LeavesTheIndexAloneWhenTheCopyCannotBeMade) {
    TempFolder folder;
    const std::string index = folder.File("index");
    IndexBytes bytes;
    bytes.Record("a.jpg", "", "", {});
    WriteAll(index, bytes.bytes);
    std::filesystem::create_directory(index + ".new");  // a folder where the copy should go
    FileList list;
    list.Append("a.jpg");
    EXPECT_EQ(RemoveRecordsOfFiles(index, list, nullptr, nullptr).result, RemoveResult::kNoTemporaryFile);
    EXPECT_EQ(ReadAll(index), bytes.bytes);
}

std::string Describe(const IndexRecord& record) {
    std::string text = record.path + "|" + record.thumbnail + "|" + record.caption;
    for (const std::string& name : record.layers) {
        text += "|" + name;
    }
    return text;
}

// The record reader (dump), the scan (search), the measure over all bytes and the rewrite read `bytes`:
// they must find the same records and stop at the same place; after the rewrite, a record appended at
// the end is readable like every record before it. Returns how the readers found the file.
IndexStop ExpectEveryReaderAgrees(const std::vector<uint8_t>& bytes, const std::string& name,
                                  size_t& recordCount) {
    SCOPED_TRACE(name);
    recordCount = 0;
    TempFolder folder;
    const std::string index = folder.File("index");
    WriteAll(index, bytes);

    std::vector<std::string> records;
    std::vector<std::string> pathsAndThumbnails;
    IndexReader reader;
    EXPECT_TRUE(reader.Open(index));
    IndexRecord record;
    while (reader.Next(record)) {
        records.push_back(Describe(record));
        pathsAndThumbnails.push_back(record.path + "|" + record.thumbnail);
    }
    const IndexStop stop = reader.Stop();
    reader.Close();  // the rewrite below replaces the file
    if (stop.end == IndexEnd::kClean) {
        EXPECT_EQ(stop.readableEnd, static_cast<int64_t>(bytes.size()));
    }

    IndexStop scanStop;
    CodePageCase textCase(1252);
    std::vector<std::string> hits;
    // The smallest block: the scan's default of 4 MB would be most of this test's time.
    EXPECT_TRUE(ScanIndex(
        index, "", textCase, [&](const std::string& p, const std::string& t) { hits.push_back(p + "|" + t); },
        nullptr, 1, &scanStop));
    EXPECT_EQ(hits, pathsAndThumbnails);
    EXPECT_EQ(scanStop.end, stop.end);
    EXPECT_EQ(scanStop.readableEnd, stop.readableEnd);
    EXPECT_EQ(scanStop.namesEnded, stop.namesEnded);

    size_t measured = 0;
    size_t at = 0;
    for (;;) {
        const RecordExtent extent = MeasureRecord(bytes.data() + at, bytes.size() - at);
        measured += extent.readable ? 1 : 0;
        at += extent.size;
        if (extent.end != RecordEnd::kComplete || at == bytes.size()) {
            EXPECT_EQ(extent.end == RecordEnd::kUnreadable, stop.end == IndexEnd::kUnreadable);
            break;
        }
    }
    EXPECT_EQ(measured, records.size());
    EXPECT_EQ(static_cast<int64_t>(at), stop.readableEnd);

    const RewriteOutcome outcome = RemoveRecordsOfFiles(index, FileList(), nullptr, nullptr);
    EXPECT_EQ(outcome.result, RemoveResult::kDone);
    EXPECT_EQ(outcome.oldIndex.end, stop.end);
    const bool damaged = stop.end == IndexEnd::kUnreadable || stop.namesEnded;
    EXPECT_EQ(outcome.keptDamaged, damaged);
    EXPECT_EQ(std::filesystem::exists(DamagedIndexPathFor(index)), damaged);
    if (damaged) {
        EXPECT_EQ(ReadAll(DamagedIndexPathFor(index)), bytes);
    }

    IndexOutput output;
    EXPECT_TRUE(output.Open(index, "ab"));
    static const ImageTags tags = [] {
        ImageTags loaded;
        EXPECT_TRUE(loaded.Load(SourcePath("samples/photos/packet_search_words.jpg").c_str()));
        return loaded;
    }();
    EXPECT_EQ(AppendRecord(
                  output, "new.jpg", [] { return std::string("t"); }, tags, textCase),
              AppendResult::kWritten);
    output.Close();
    records.push_back("new.jpg|t|Summer at the lake|Grandma|Lighthouse");
    std::vector<std::string> after;
    EXPECT_TRUE(reader.Open(index));
    while (reader.Next(record)) {
        after.push_back(Describe(record));
    }
    EXPECT_EQ(after, records);
    EXPECT_EQ(reader.Stop().end, IndexEnd::kClean);
    recordCount = records.size() - 1;
    return stop;
}

TEST(DamagedIndex, EveryReaderFindsTheSameRecordsAndARewriteKeepsThemReadable) {
    IndexBytes good;
    good.Record("C:\\a.jpg", "C:\\V\\thumbs\\000001.tb", "", {"Boat", "Gull"})
        .Record("C:\\b.jpg", "C:\\V\\thumbs\\000002.tb", "Harbour", {})
        .Record("C:\\c.jpg", "", "x", {"Lake"});
    const std::vector<uint8_t>& whole = good.bytes;
    size_t records = 0;
    for (size_t size = 0; size <= whole.size(); ++size) {
        const IndexStop stop =
            ExpectEveryReaderAgrees(std::vector<uint8_t>(whole.data(), whole.data() + size),
                                    "cut at byte " + std::to_string(size), records);
        EXPECT_NE(stop.end, IndexEnd::kUnreadable) << size;
    }
    EXPECT_EQ(records, 3u);

    // The middle record with an over-long field or a huge layer count, or stray bytes, between two good
    // records; how many records readers find there.
    struct Middle {
        const char* name;
        std::function<void(IndexBytes&)> bytes;
        size_t records;
        IndexEnd end;
    };
    const std::string path261(261, 'p');
    const std::string text20481(20481, 't');  // read on after it: "tttt" is an over-long path length
    const std::vector<Middle> middles = {
        {"path over 260", [&](IndexBytes& b) { b.Record(path261, "", "", {}); }, 1, IndexEnd::kUnreadable},
        {"thumbnail over 260", [&](IndexBytes& b) { b.Record("m.jpg", path261, "", {}); }, 1,
         IndexEnd::kUnreadable},
        {"caption over 20480", [&](IndexBytes& b) { b.Record("m.jpg", "", text20481, {}); }, 1,
         IndexEnd::kUnreadable},
        {"first name over 20480",
         [&](IndexBytes& b) {
             b.Record("m.jpg", "", "", {text20481, "n"});
         },
         2, IndexEnd::kUnreadable},
        {"last name over 20480",
         [&](IndexBytes& b) { b.Text("m.jpg").Text("").Text("").Length(2).Text("n").Length(20481); }, 3,
         IndexEnd::kClean},
        // The last record is read as names, until "\0\0\0z" makes an over-long one.
        {"count of 4294967295", [&](IndexBytes& b) { b.Text("m.jpg").Text("").Text("").Length(0xFFFFFFFF); },
         2, IndexEnd::kClean},
        {"count of 1000", [&](IndexBytes& b) { b.Text("m.jpg").Text("").Text("").Length(1000).Text("n"); }, 2,
         IndexEnd::kClean},
        {"stray bytes", [&](IndexBytes& b) { b.Raw("garbage"); }, 1, IndexEnd::kUnreadable},
        {"stray zero bytes", [&](IndexBytes& b) { b.Raw(std::string(7, '\0')); }, 1, IndexEnd::kUnreadable},
    };
    for (const Middle& middle : middles) {
        IndexBytes bytes;
        bytes.Record("first.jpg", "t1", "", {});
        middle.bytes(bytes);
        bytes.Record("last.jpg", "t3", "", {"z"});
        const IndexStop stop = ExpectEveryReaderAgrees(bytes.bytes, middle.name, records);
        EXPECT_EQ(records, middle.records) << middle.name;
        EXPECT_EQ(stop.end, middle.end) << middle.name;
    }

    // Stray bytes before a good index.
    std::mt19937 random(11);
    for (int round = 0; round < 4; ++round) {
        std::vector<uint8_t> bytes;
        for (int i = 0; i < 100; ++i) {
            bytes.push_back(static_cast<uint8_t>(round == 0 ? 0x01 : random()));
        }
        for (uint8_t byte : whole) {  // (a range insert here trips GCC 12's array-bounds warning at -O3)
            bytes.push_back(byte);
        }
        ExpectEveryReaderAgrees(bytes, "100 stray bytes first, round " + std::to_string(round), records);
    }
}

TEST(ScanIndex, MatchesTheFileNameNotItsFolderOrThumbnail) {
    TempFolder folder;
    const std::string index = folder.File("index");
    IndexBytes bytes;
    bytes.Record("C:\\pets\\CAT.JPG", "t1", "", {})
        .Record("C:\\cat\\dog.jpg", "C:\\cat.tb", "", {})
        .Record("/home/cat/x.jpg", "", "", {})
        .Record("D:/pets/Tomcat.jpg", "t4", "", {})
        .Record("nocat", "t5", "", {})
        .Record("E:\\a.jpg", "t6", "a Cat", {})
        .Record("E:\\b.jpg", "t7", "", {"dog", "bobCAT"});
    WriteAll(index, bytes.bytes);
    EXPECT_EQ(Scan(index, "cat"), (std::vector<std::string>{"C:\\pets\\CAT.JPG|t1", "D:/pets/Tomcat.jpg|t4",
                                                            "nocat|t5", "E:\\a.jpg|t6", "E:\\b.jpg|t7"}));
    EXPECT_EQ(Scan(index, "CAT.J"),
              (std::vector<std::string>{"C:\\pets\\CAT.JPG|t1", "D:/pets/Tomcat.jpg|t4"}));
    EXPECT_EQ(Scan(index, "").size(), 7u);  // the empty text is in every record
    EXPECT_TRUE(Scan(index, "pets").empty());
}

TEST(ScanIndex, OverLongCaptionEndsTheScanAfterEarlierHits) {
    TempFolder folder;
    const std::string index = folder.File("index");
    IndexBytes bytes;
    bytes.Record("one.jpg", "t1", "x", {}).Record("two.jpg", "t2", std::string(20481, 'o'), {});
    bytes.Record("three.jpg", "t3", "", {});
    WriteAll(index, bytes.bytes);
    EXPECT_EQ(Scan(index, "o"), (std::vector<std::string>{"one.jpg|t1"}));
}

TEST(ScanIndex, OverLongLayerNameJudgesTheRecordOnWhatCameBefore) {
    TempFolder folder;
    const std::string index = folder.File("index");
    IndexBytes bytes;
    bytes.Text("hit.jpg").Text("t1").Text("").Length(3).Text("lake").Length(20481);
    bytes.Record("next lake.jpg", "t2", "", {});
    WriteAll(index, bytes.bytes);
    EXPECT_EQ(Scan(index, "lake"), (std::vector<std::string>{"hit.jpg|t1", "next lake.jpg|t2"}));
}

TEST(ScanIndex, IgnoresLetterCaseOfTheCodePage) {
    TempFolder folder;
    const std::string index = folder.File("index");
    IndexBytes bytes;
    bytes.Record("caf\xC9.jpg", "t", "", {});  // É in code page 1252
    WriteAll(index, bytes.bytes);
    EXPECT_EQ(Scan(index, "CAF\xE9", 1252).size(), 1u);
    EXPECT_EQ(Scan(index, "Caf\xC9", 1252).size(), 1u);
}

TEST(ScanIndex, MissingIndexIsReported) {
    TempFolder folder;
    CodePageCase textCase(1252);
    EXPECT_FALSE(ScanIndex(
        folder.File("index"), "x", textCase, [](auto&, auto&) {}, nullptr));
}

// The records as the format prescribes reading them: each with its path and thumbnail path, and the
// searched texts (the file name part of the path, the caption, the layer names) lowered.
struct PrescribedRecord {
    std::string hit;
    std::vector<std::string> lowered;
};

std::vector<PrescribedRecord> PrescribedRecords(const std::string& path, int codePage) {
    CodePageCase textCase(codePage);
    std::vector<uint8_t> data = ReadAll(path);
    size_t at = 0;
    auto length = [&](uint32_t& value) {
        if (data.size() - at < 4) {
            at = data.size();
            return false;
        }
        value = data[at] | (data[at + 1] << 8) | (data[at + 2] << 16) |
                (static_cast<uint32_t>(data[at + 3]) << 24);
        at += 4;
        return true;
    };
    auto text = [&](uint32_t size, std::string& out) {
        const size_t available = std::min<size_t>(size, data.size() - at);
        out.assign(reinterpret_cast<const char*>(data.data()) + at, available);
        at += available;
        return available == size;
    };
    auto lowered = [&](std::string field) {
        textCase.Lower(field);
        return field;
    };
    std::vector<PrescribedRecord> records;
    for (;;) {
        uint32_t size = 0;
        std::string file, thumbnail, caption;
        if (!length(size) || size > 260 || !text(size, file)) {
            break;
        }
        PrescribedRecord record;
        const size_t slash = file.find_last_of("\\/");
        record.lowered.push_back(lowered(slash == std::string::npos ? file : file.substr(slash + 1)));
        if (!length(size) || size > 260 || !text(size, thumbnail)) {
            break;
        }
        if (!length(size) || size > 20480 || !text(size, caption)) {
            break;
        }
        record.lowered.push_back(lowered(caption));
        uint32_t count = 0;
        if (!length(count)) {
            break;
        }
        for (uint32_t i = 0; i < count; ++i) {
            std::string name;
            if (!length(size) || size > 20480 || !text(size, name)) {
                break;
            }
            record.lowered.push_back(lowered(name));
        }
        record.hit = file + "|" + thumbnail;
        records.push_back(std::move(record));
    }
    return records;
}

// The scan as the format prescribes it, record by record, each field lowered and searched.
std::vector<std::string> PrescribedScan(const std::vector<PrescribedRecord>& records,
                                        const std::string& query, int codePage) {
    std::string lowered = query;
    CodePageCase(codePage).Lower(lowered);
    std::vector<std::string> hits;
    for (const PrescribedRecord& record : records) {
        if (std::any_of(record.lowered.begin(), record.lowered.end(),
                        [&](const std::string& field) { return field.find(lowered) != std::string::npos; })) {
            hits.push_back(record.hit);
        }
    }
    return hits;
}

TEST(ScanIndex, FindsExactlyWhatTheRecordByRecordScanFinds) {
    std::mt19937 random(20261208);
    // Letters in both cases, separators, bytes above ASCII that are letters in some code pages and lead
    // bytes in others.
    const std::string alphabet = "aAbBcC/\\.xX \xC9\xE9\xC3\xA9\x81\x41\x82\x61\xD0\xB0\x90";
    auto randomText = [&](size_t maxLength) {
        std::string text(std::uniform_int_distribution<size_t>(0, maxLength)(random), ' ');
        for (char& c : text) {
            c = alphabet[std::uniform_int_distribution<size_t>(0, alphabet.size() - 1)(random)];
        }
        return text;
    };
    for (int codePage : {1252, kCodePageUtf8, 932, 1251}) {
        if (!IsCodePageSupported(codePage)) {
            continue;
        }
        TempFolder folder;
        const std::string index = folder.File("index");
        IndexBytes bytes;
        for (int i = 0; i < 2000; ++i) {
            std::vector<std::string> layers;
            for (int k = std::uniform_int_distribution<int>(0, 3)(random); k > 0; --k) {
                layers.push_back(randomText(30));
            }
            if (i % 500 == 250) {
                for (int k = 0; k < 30; ++k) {  // a record longer than the smallest window
                    layers.push_back(randomText(1500));
                }
            }
            if (i % 500 == 499) {
                bytes.Text("bad.jpg").Text("").Text("").Length(1).Length(20481);  // read on after it
            }
            bytes.Record(randomText(40), randomText(8), randomText(60), layers);
        }
        bytes.Length(30).Raw("cut short");
        WriteAll(index, bytes.bytes);
        std::vector<std::string> queries = {
            "a",   "A",        "ab", "\xC9", "\xE9",     "\xC3\xA9", "\x82\x61", "a/b",
            "xa.", "\xD0\xB0", "",   "bca",  "\x41\x82", "AbC",      "x x",      std::string(70, 'a')};
        // The first and last bytes of fields of the index: queries at the start and end of a field,
        // some as long as the field.
        for (const IndexRecord& record : ReadRecords(index)) {
            if (queries.size() >= 40) {
                break;
            }
            for (const std::string* text :
                 {&record.caption, record.layers.empty() ? &record.path : &record.layers[0]}) {
                if (text->size() > 6) {
                    queries.push_back(text->substr(0, 2 + queries.size() % 5));
                    queries.push_back(text->substr(text->size() - 2 - queries.size() % 7));
                }
            }
        }
        const std::vector<PrescribedRecord> prescribed = PrescribedRecords(index, codePage);
        size_t queriesWithHits = 0;
        for (const std::string& query : queries) {
            const std::vector<std::string> expected = PrescribedScan(prescribed, query, codePage);
            // Windows of the smallest and of odd sizes put window edges inside many records; one pass
            // maps the index instead of reading it.
            for (const size_t window : {size_t{0}, size_t{1}, size_t{33333}}) {
                MapFileWindows(window == 33333);
                EXPECT_EQ(Scan(index, query, codePage, window), expected)
                    << "code page " << codePage << ", query " << query << ", window " << window;
            }
            MapFileWindows(false);
            queriesWithHits += expected.empty() ? 0 : 1;
        }
        EXPECT_GE(queriesWithHits, 30u) << "code page " << codePage;
        EXPECT_EQ(Scan(index, "", codePage).size(), 2004u);  // every record, also those after a bad name
    }
}

}  // namespace
