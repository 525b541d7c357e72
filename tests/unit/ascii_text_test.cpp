#include "platform/ascii_text.h"

#include <gtest/gtest.h>

namespace mivetrak {
namespace {

TEST(EqualsNoCase, ComparesAsciiWithoutCase) {
    EXPECT_TRUE(EqualsNoCase("post", "POST"));
    EXPECT_TRUE(EqualsNoCase("GeT", "GET"));
    EXPECT_TRUE(EqualsNoCase("", ""));
    EXPECT_FALSE(EqualsNoCase("GETX", "GET"));
    EXPECT_FALSE(EqualsNoCase("GE", "GET"));
    EXPECT_FALSE(EqualsNoCase("PUT", "GET"));
    // Only ASCII letters fold: an accented capital and its small letter stay apart, and so do
    // the two characters that lie 32 apart around the letters.
    EXPECT_FALSE(EqualsNoCase("\xC4", "\xE4"));
    EXPECT_FALSE(EqualsNoCase("@", "`"));
    EXPECT_FALSE(EqualsNoCase("[", "{"));
}

TEST(ToLowerAscii, FoldsOnlyTheAsciiCapitals) {
    EXPECT_EQ(ToLowerAscii(std::string("C:\\Program Files\\\xC4Z@[")),
              "c:\\program files\\\xC4z@[");
}

}  // namespace
}  // namespace mivetrak
