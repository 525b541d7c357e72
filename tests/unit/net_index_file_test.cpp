// Reading the update index: sections, keys, blanks, quotes, line ends and the value limit.
#include <gtest/gtest.h>

#include "net/index_file.h"

namespace mivetrak {
namespace {

struct IndexCase {
    const char* name;
    std::string text;
    const char* key;  // in section "ZAVFile"
    std::string value;
};

class IndexFileTest : public ::testing::TestWithParam<IndexCase> {};

TEST_P(IndexFileTest, Reads) {
    const IndexCase& c = GetParam();
    EXPECT_EQ(ReadIndexValue(c.text, "ZAVFile", c.key), c.value);
}

const std::string kIndex =
    "; index\r\n[Other]\r\nPrimary=x\r\n[ZAVFile]\r\nPrimary=p\r\nBackup=b\r\n";
const std::string k259(259, 'v');

INSTANTIATE_TEST_SUITE_P(
    Cases, IndexFileTest,
    ::testing::Values(
        IndexCase{"Primary", kIndex, "Primary", "p"},
        IndexCase{"LineFeeds", "[ZAVFile]\nPrimary=p\nBackup=b", "Backup", "b"},
        IndexCase{"CarriageReturns", "[ZAVFile]\rPrimary=p\r", "Primary", "p"},
        IndexCase{"ByteOrderMark", "\xEF\xBB\xBF[ZAVFile]\nPrimary=p", "Primary", "p"},
        IndexCase{"MarkNotAtStart", "[ZAVFile]\n\xEF\xBB\xBFPrimary=p", "Primary", ""},
        IndexCase{"NamesWithoutCase", "[zavFILE]\nPRIMARY=p", "Primary", "p"},
        IndexCase{"Blanks", " \t[ZAVFile] \n\t Primary \t= \tp q \t\x1A\n", "Primary", "p q"},
        IndexCase{"FirstKeyWins", "[ZAVFile]\nPrimary=1\nPrimary=2", "Primary", "1"},
        IndexCase{"FirstSectionWins", "[ZAVFile]\nBackup=b\n[ZAVFile]\nPrimary=p", "Primary", ""},
        IndexCase{"KeyBeforeSections", "Primary=p\n[ZAVFile]\n", "Primary", ""},
        IndexCase{"NoSection", "[Other]\nPrimary=p", "Primary", ""},
        IndexCase{"Empty", "", "Primary", ""},
        IndexCase{"LineWithoutEquals", "[ZAVFile]\nPrimary\nPrimary=p", "Primary", ""},
        IndexCase{"OtherLineWithoutEquals", "[ZAVFile]\nBackup\nPrimary=p", "Primary", "p"},
        IndexCase{"CommentedOut", "[ZAVFile]\n;Primary=c\nPrimary=p", "Primary", "p"},
        IndexCase{"UnclosedHeader", "[ZAVFile\nPrimary=p", "Primary", ""},
        IndexCase{"TextAfterHeader", "[ZAVFile] ; main\nPrimary=p", "Primary", "p"},
        IndexCase{"BlanksInsideBrackets", "[ \tZAVFile ]\nPrimary=p", "Primary", "p"},
        IndexCase{"EqualsInValue", "[ZAVFile]\nPrimary=http://h/a?b=c", "Primary",
                  "http://h/a?b=c"},
        IndexCase{"DoubleQuotes", "[ZAVFile]\nPrimary=\" p \"", "Primary", " p "},
        IndexCase{"SingleQuotes", "[ZAVFile]\nPrimary='p'", "Primary", "p"},
        IndexCase{"EmptyQuotes", "[ZAVFile]\nPrimary=\"\"", "Primary", ""},
        IndexCase{"LoneQuote", "[ZAVFile]\nPrimary=\"", "Primary", "\""},
        IndexCase{"MixedQuotes", "[ZAVFile]\nPrimary=\"p'", "Primary", "\"p'"},
        IndexCase{"EndsAtNul", std::string("[ZAVFile]\nPrimary=\"p\0q\"", 23), "Primary", "\"p"},
        IndexCase{"Value259", "[ZAVFile]\nPrimary=" + k259, "Primary", k259},
        IndexCase{"ValueCut", "[ZAVFile]\nPrimary=" + k259 + "cut", "Primary", k259},
        IndexCase{"QuotesOffBeforeCut", "[ZAVFile]\nPrimary='" + k259 + "'", "Primary", k259}),
    [](const ::testing::TestParamInfo<IndexCase>& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace mivetrak
