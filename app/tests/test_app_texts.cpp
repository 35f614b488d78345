#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/activation_filter.h"
#include "app/app_strings.h"
#include "app/format_text.h"
#include "app/page_urls.h"

namespace vellumar {
namespace {

TEST(FormatText, FillsDirectivesInOrder) {
    struct Case {
        const char* format;
        std::vector<std::string> args;
        const char* expected;
    };
    const Case cases[] = {
        {"%d files were indexed (process folder %s)",
         {"12", "C:\\A"},
         "12 files were indexed (process folder C:\\A)"},
        {"Folder %s has been added to the search index",
         {"D:\\"},
         "Folder D:\\ has been added to the search index"},
        // Arguments are never read as formats themselves.
        {"Folder %s is invalid for indexing", {"50%s %d %n"}, "Folder 50%s %d %n is invalid for indexing"},
        {"100%% done", {}, "100% done"},
        {"missing %s and %d", {"one"}, "missing one and "},
        {"odd %x and trailing %", {"unused"}, "odd %x and trailing %"},
        {"", {"a"}, ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FormatText(c.format, c.args), c.expected) << c.format;
    }
}

TEST(PageUrls, ResourceUrlKeepsThePathUnescaped) {
    EXPECT_EQ(ResourceUrl("C:\\Program Files\\Vellumar\\Vellumar.exe", "UPDATE_INDEX.HTM"),
              "res://C:\\Program Files\\Vellumar\\Vellumar.exe/UPDATE_INDEX.HTM");
    EXPECT_EQ(ResourceUrl("C:\\a b#c%20\\V.exe", "STYLE.CSS"), "res://C:\\a b#c%20\\V.exe/STYLE.CSS");
}

TEST(PageUrls, AddPageCutsAtLastForwardSlashElseBackslash) {
    struct Case {
        const char* exe;
        const char* url;
    };
    const Case cases[] = {
        {"C:\\Program Files\\Vellumar\\Vellumar.exe", "C:\\Program Files\\Vellumar/add.htm"},
        {"C:\\Vellumar.exe", "C:/add.htm"},
        {"C:/x\\y/Vellumar.exe", "C:/x\\y/add.htm"},
        // A forward slash wins even when a backslash comes after it.
        {"C:/x\\y\\Vellumar.exe", "C:/add.htm"},
        {"Vellumar.exe", "add.htm"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(AddPageUrl(c.exe), c.url) << c.exe;
    }
}

TEST(AppStrings, TableHoldsFifteenEntries) {
    EXPECT_EQ(AppString(0), nullptr);
    EXPECT_EQ(AppString(16), nullptr);
    for (int id = kFirstStringId; id <= kLastStringId; ++id) {
        ASSERT_NE(AppString(id), nullptr) << id;
        EXPECT_NE(std::string(AppString(id)), "") << id;
    }
    EXPECT_STREQ(AppString(1), "Can't start Vellumar while Find Files dialog is running");
    EXPECT_STREQ(AppString(8), "Rebuild index");
    EXPECT_STREQ(AppString(11), "%d files were indexed (process folder %s)");
    EXPECT_STREQ(AppString(15), "Index building in progress");
}

class CountingTarget : public ActivationTarget {
public:
    int shown = 0;
    void ShowWindow() override { ++shown; }
};

TEST(ActivationFilter, OnlyTheActivationMessageIsTakenAndShowsTheWindow) {
    CountingTarget target;
    EXPECT_TRUE(FilterActivation(0xC123, 0xC123, &target));
    EXPECT_EQ(target.shown, 1);
    EXPECT_FALSE(FilterActivation(0x0111, 0xC123, &target));
    EXPECT_EQ(target.shown, 1);
    // Handled even without a main window.
    EXPECT_TRUE(FilterActivation(0xC123, 0xC123, nullptr));
    // A failed registration (0) must not swallow WM_NULL.
    EXPECT_FALSE(FilterActivation(0, 0, &target));
    EXPECT_EQ(target.shown, 1);
}

}  // namespace
}  // namespace vellumar
