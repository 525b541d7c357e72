#include "platform/code_page.h"

#include <gtest/gtest.h>

#include "fakes/fake_code_page.h"

namespace mivetrak {
namespace {

using ShiftJisLike = DoubleByteCodePage;

TEST(CodePage, TrailBytesAreNeverDelimiters) {
    ShiftJisLike cp;
    const std::string text = "C:\x95\\x\\y\\z";  // 0x95 0x5C is one character
    EXPECT_EQ(FindCharMb(cp, text, '\\'), 5u);
    EXPECT_EQ(FindLastCharMb(cp, text, '\\'), 7u);
    EXPECT_EQ(FindCharMb(cp, text, '\\', 6), 7u);
    EXPECT_EQ(FindCharMb(cp, "abc", '/'), std::string::npos);
    EXPECT_EQ(FindLastCharMb(cp, "", '/'), std::string::npos);
}

TEST(CodePage, LeadByteAtTheEndStandsAlone) {
    ShiftJisLike cp;
    const std::string text = "ab\x95";
    EXPECT_EQ(FindCharMb(cp, text, '\x95'), 2u);
}

}  // namespace
}  // namespace mivetrak
