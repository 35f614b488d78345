// Paths copied into the shell's fixed-size buffers: never past the end, never cut.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "toolbar/copy_terminated.h"

namespace {

struct CopyCase {
    size_t capacity;
    bool fits;
};

TEST(CopyTerminated, NeverWritesPastTheBuffer) {
    const std::u16string text = u"C:\\Lumenote\\LumenoteToolbar.dll";
    const CopyCase cases[] = {
        {text.size() + 1, true}, {text.size() + 40, true}, {text.size(), false}, {1, false}, {5, false},
    };
    for (const CopyCase& c : cases) {
        std::u16string buffer(c.capacity + 8, u'#');
        EXPECT_EQ(CopyTerminated(std::u16string_view(text), buffer.data(), c.capacity), c.fits) << c.capacity;
        if (c.fits) {
            EXPECT_EQ(std::u16string(buffer.c_str()), text);
        } else {
            EXPECT_EQ(buffer[0], u'\0') << "a cut path must not be left behind";
        }
        for (size_t i = c.capacity; i < buffer.size(); ++i) {
            ASSERT_EQ(buffer[i], u'#') << "written past the capacity at " << i;
        }
    }
}

TEST(CopyTerminated, WithoutRoom) {
    wchar_t untouched = L'#';
    EXPECT_FALSE(CopyTerminated(std::wstring_view(L"x"), &untouched, 0));
    EXPECT_EQ(untouched, L'#');
    EXPECT_FALSE(CopyTerminated(std::wstring_view(L"x"), static_cast<wchar_t*>(nullptr), 10));
    wchar_t one[1] = {L'#'};
    EXPECT_TRUE(CopyTerminated(std::wstring_view(), one, 1));
    EXPECT_EQ(one[0], L'\0');
}

}  // namespace
