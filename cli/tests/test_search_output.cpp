#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "cli/search_output.h"

namespace {

// Lines reach the stream in large writes: an unbuffered stream sees nothing until Finish.
TEST(SearchOutput, HoldsItsLinesUntilFinishAndWritesJsonInUtf8) {
    std::FILE* stream = std::tmpfile();
    ASSERT_NE(stream, nullptr);
    std::setvbuf(stream, nullptr, _IONBF, 0);
    {
        SearchOutput output(stream, SearchFormat::kJson, 1252);
        output.Hit("C:\\caf\xE9\n.jpg", "t\"1");
        output.Hit("b.jpg", "");
        EXPECT_EQ(std::ftell(stream), 0);
        EXPECT_TRUE(output.Finish());
        EXPECT_EQ(output.Count(), 2u);
    }
    std::rewind(stream);
    std::string written(200, '\0');
    written.resize(std::fread(written.data(), 1, written.size(), stream));
    std::fclose(stream);
    EXPECT_EQ(written,
              "{\"path\":\"C:\\\\caf\xC3\xA9\\n.jpg\",\"thumbnail\":\"t\\\"1\"}\n"
              "{\"path\":\"b.jpg\",\"thumbnail\":\"\"}\n");
}

}  // namespace
